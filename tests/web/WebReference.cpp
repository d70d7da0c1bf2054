// Writes what the web edition's page test compares with: the comparison piece
// with a program chosen before it and another during it, knob changes at block
// edges, as the page's events (score.json), and its render through the VST 2
// build in the worklet's 128-frame blocks (reference.f32: left, then right).
//   web-reference <folder>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "tests/formats/Score.h"
#include "tests/support/BuiltPlugin.h"

namespace {

constexpr std::uint32_t kBlock = 128;

// What the page sets between blocks: a program (index >= 0 alone) or a knob.
struct Setting {
    std::uint32_t frame;
    int program;  // -1 for a knob
    int index;
    float value;
};

std::vector<Setting> settings() {
    std::vector<Setting> list{{0, 3, 0, 0.0f}};
    for (const ScoreSetting& s : comparisonSettings()) list.push_back({0, -1, s.index, s.value});
    list.push_back({200 * kBlock, -1, 15, 0.6f});
    list.push_back({300 * kBlock, -1, 4, 0.3f});
    list.push_back({400 * kBlock, 5, 0, 0.0f});
    return list;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: web-reference <folder>\n");
        return 2;
    }
    const std::string folder = argv[1];
    auto vst = startedInstance(44100.0f, kBlock);
    if (!vst) return 1;

    std::ofstream json(folder + "/score.json");
    json << "{\"rate\": 44100, \"frames\": " << kScoreFrames << ", \"events\": [\n";
    const std::vector<Setting> changes = settings();
    const std::vector<ScoreEvent>& score = comparisonScore();
    std::vector<float> left(kScoreFrames), right(kScoreFrames);
    std::size_t nextChange = 0, nextEvent = 0;
    const char* separator = "";
    for (std::uint32_t start = 0; start < kScoreFrames; start += kBlock) {
        const std::uint32_t frames = std::min(kBlock, kScoreFrames - start);
        for (; nextChange < changes.size() && changes[nextChange].frame < start + frames; ++nextChange) {
            const Setting& s = changes[nextChange];
            char line[128];
            if (s.program >= 0) {
                vst->setProgram(s.program);
                std::snprintf(line, sizeof line, "{\"type\": \"program\", \"frame\": %u, \"index\": %d}", s.frame,
                              s.program);
            } else {
                vst->setParameter(s.index, s.value);
                std::snprintf(line, sizeof line, "{\"type\": \"parameter\", \"frame\": %u, \"index\": %d, \"value\": %.9g}",
                              s.frame, s.index, static_cast<double>(s.value));
            }
            json << separator << line;
            separator = ",\n";
        }
        std::vector<MidiMessage> messages;
        for (; nextEvent < score.size() && score[nextEvent].frame < start + frames; ++nextEvent) {
            const ScoreEvent& e = score[nextEvent];
            messages.push_back({static_cast<VstInt32>(e.frame - start), e.status, e.data1, e.data2});
            json << separator << "{\"type\": \"midi\", \"frame\": " << e.frame << ", \"data\": [" << int(e.status) << ", "
                 << int(e.data1) << ", " << int(e.data2) << "]}";
            separator = ",\n";
        }
        vst->sendMidi(messages);
        vst->process(left.data() + start, right.data() + start, static_cast<VstInt32>(frames));
    }
    json << "\n]}\n";
    std::ofstream raw(folder + "/reference.f32", std::ios::binary);
    raw.write(reinterpret_cast<const char*>(left.data()), static_cast<std::streamsize>(left.size() * sizeof(float)));
    raw.write(reinterpret_cast<const char*>(right.data()), static_cast<std::streamsize>(right.size() * sizeof(float)));
    return json && raw ? 0 : 1;
}
