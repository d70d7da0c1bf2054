#include "tests/formats/Score.h"

#include <algorithm>
#include <cstring>

#include "tests/support/BuiltPlugin.h"

std::vector<std::uint32_t> comparisonBlocks() {
    std::vector<std::uint32_t> blocks;
    for (std::uint32_t start = 0, block = 0; start < kScoreFrames; ++block) {
        const std::uint32_t frames = std::min(kComparisonBlocks[block % 8], kScoreFrames - start);
        blocks.push_back(frames);
        start += frames;
    }
    return blocks;
}

std::vector<float> renderVst2Reference(const std::vector<ScoreEvent>& score, bool withSettings) {
    return renderVst2Reference(score, withSettings, comparisonBlocks());
}

std::vector<float> renderVst2Reference(const std::vector<ScoreEvent>& score, bool withSettings,
                                       const std::vector<std::uint32_t>& blocks, bool restored) {
    std::uint32_t total = 0, largest = 1;
    for (std::uint32_t frames : blocks) {
        total += frames;
        largest = std::max(largest, frames);
    }
    auto vst = startedInstance(44100.0f, static_cast<VstInt32>(largest));
    if (!vst) return {};
    if (withSettings && restored) {
        auto saved = startedInstance(44100.0f, static_cast<VstInt32>(largest));
        if (!saved) return {};
        for (const ScoreSetting& setting : comparisonSettings()) saved->setParameter(setting.index, setting.value);
        vst->setChunk(saved->getChunk(false), false);
    } else if (withSettings) {
        for (const ScoreSetting& setting : comparisonSettings()) vst->setParameter(setting.index, setting.value);
    }
    std::vector<float> left(total), right(total);
    std::size_t next = 0;
    std::uint32_t start = 0;
    for (std::uint32_t frames : blocks) {
        std::vector<MidiMessage> messages;
        for (; next < score.size() && score[next].frame < start + frames; ++next)
            messages.push_back({static_cast<VstInt32>(score[next].frame - start), score[next].status, score[next].data1,
                                score[next].data2});
        vst->sendMidi(messages);
        vst->process(left.data() + start, right.data() + start, static_cast<VstInt32>(frames));
        start += frames;
    }
    left.insert(left.end(), right.begin(), right.end());
    return left;
}

std::size_t firstDifference(const std::vector<float>& a, const std::vector<float>& b) {
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i)
        if (std::memcmp(&a[i], &b[i], sizeof(float)) != 0) return i;
    return n;
}
