// Cost of a silent audio block after a loud passage, against the same block of
// an instance that never played. Decaying tails (voices, half-band filter,
// body resonators, chorus ring) that sank into subnormal numbers would make
// the silent block many times slower; the audio block runs with flush-to-zero
// and denormals-are-zero so that it stays within a small factor of the empty
// one. Compare the frames per second of the two families.
#include <benchmark/benchmark.h>

#include <cstddef>
#include <vector>

#include "plugin/VSTPlug.h"

namespace {

constexpr int kFrames = 512;

class Rig {
public:
    explicit Rig(float rate) : rate(rate) {
        plug.setSampleRate(rate);
        plug.setBlockSize(kFrames);
        plug.resume();
    }

    void render() { plug.processReplacing(nullptr, outputs, kFrames); }

    void renderSeconds(double seconds) {
        const auto blocks = static_cast<long>(seconds * static_cast<double>(rate) / kFrames);
        for (long b = 0; b < blocks; ++b) render();
    }

    // Sixteen notes at full velocity with every gain at its top, held for two
    // seconds and released.
    void loudPassage() {
        for (int band = 7; band <= 9; ++band) plug.setParameter(band, 1.0f);
        plug.setParameter(14, 1.0f);
        plug.setParameter(15, 1.0f);
        send(0x90, 127);
        renderSeconds(2.0);
        send(0x80, 0);
    }

private:
    void send(int status, int velocity) {
        std::vector<VstMidiEvent> notes(16);
        std::vector<unsigned char> storage(sizeof(VstEvents) + 16 * sizeof(VstEvent*));
        auto* events = reinterpret_cast<VstEvents*>(storage.data());
        auto* list = reinterpret_cast<VstEvent**>(storage.data() + offsetof(VstEvents, events));
        events->numEvents = 16;
        for (int n = 0; n < 16; ++n) {
            notes[n] = VstMidiEvent{};
            notes[n].type = kVstMidiType;
            notes[n].byteSize = sizeof(VstMidiEvent);
            notes[n].midiData[0] = static_cast<char>(status);
            notes[n].midiData[1] = static_cast<char>(30 + 4 * n);
            notes[n].midiData[2] = static_cast<char>(velocity);
            list[n] = reinterpret_cast<VstEvent*>(&notes[n]);
        }
        plug.processEvents(events);
        render();
    }

    float rate;
    VSTPlug plug{nullptr};
    float left[kFrames] = {}, right[kFrames] = {};
    float* outputs[2] = {left, right};
};

// Frames per second, to compare across the two families.
void perFrame(benchmark::State& state) { state.SetItemsProcessed(state.iterations() * kFrames); }

}  // namespace

// An instance that never played: the cheapest block there is.
static void BM_SilentBlockNeverPlayed(benchmark::State& state) {
    Rig rig(static_cast<float>(state.range(0)));
    rig.renderSeconds(1.0);
    for (auto _ : state) rig.render();
    perFrame(state);
}
BENCHMARK(BM_SilentBlockNeverPlayed)->Arg(44100)->Arg(96000);

// The same block after the loud passage and range(1) seconds of silence, when
// only the tails nobody hears any more are left (the timed blocks then carry on
// into the silence).
static void BM_SilentBlockAfterLoudPassage(benchmark::State& state) {
    Rig rig(static_cast<float>(state.range(0)));
    rig.loudPassage();
    rig.renderSeconds(static_cast<double>(state.range(1)));
    for (auto _ : state) rig.render();
    perFrame(state);
}
BENCHMARK(BM_SilentBlockAfterLoudPassage)->Args({44100, 10})->Args({44100, 60})->Args({96000, 60});
