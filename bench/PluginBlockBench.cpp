// Cost of the whole audio block as the host pays it: MIDI intake, the engine at
// twice the host rate, the half-band filter, the body resonators and the chorus,
// with 16 held notes. Also the cost of a silent block (notes:0), which a
// decaying tail must not make expensive: hosts keep many silent instances.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstddef>
#include <vector>

#include "plugin/VSTPlug.h"

namespace {

constexpr int kHostFrames = 512;

void setFrameCounters(benchmark::State& state, float hostRate) {
    state.counters["ns/frame"] = benchmark::Counter(
        kHostFrames * 1e-9, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
    state.counters["realtime"] =
        benchmark::Counter(kHostFrames / static_cast<double>(hostRate), benchmark::Counter::kIsIterationInvariantRate);
}

void sendNotes(VSTPlug& plug, int count) {
    std::vector<VstMidiEvent> midi(static_cast<std::size_t>(count));
    std::vector<unsigned char> storage(offsetof(VstEvents, events) + sizeof(VstEvent*) * std::max<std::size_t>(midi.size(), 2));
    auto* events = reinterpret_cast<VstEvents*>(storage.data());
    // Written through the list's address: the record declares only two entries.
    auto* list = reinterpret_cast<VstEvent**>(storage.data() + offsetof(VstEvents, events));
    events->numEvents = count;
    for (int i = 0; i < count; ++i) {
        VstMidiEvent& e = midi[static_cast<std::size_t>(i)];
        e = {};
        e.type = kVstMidiType;
        e.byteSize = sizeof(VstMidiEvent);
        e.midiData[0] = static_cast<char>(0x90);
        e.midiData[1] = static_cast<char>(48 + 3 * i);
        e.midiData[2] = 100;
        list[i] = reinterpret_cast<VstEvent*>(&e);
    }
    plug.processEvents(events);
}

// Arguments: held notes, host rate.
void pluginBlock(benchmark::State& state) {
    const int notes = static_cast<int>(state.range(0));
    const float hostRate = static_cast<float>(state.range(1));
    VSTPlug plug(nullptr);
    plug.setSampleRate(hostRate);
    plug.setBlockSize(kHostFrames);
    plug.resume();
    plug.setProgram(1);
    plug.setParameter(4, 1.0f);   // no string losses: the notes keep sounding
    plug.setParameter(11, 1.0f);  // long decay
    sendNotes(plug, notes);
    std::vector<float> left(kHostFrames), right(kHostFrames);
    float* outputs[2] = {left.data(), right.data()};
    for (auto _ : state) {
        plug.processReplacing(nullptr, outputs, kHostFrames);
        benchmark::DoNotOptimize(left.data());
        benchmark::ClobberMemory();
    }
    setFrameCounters(state, hostRate);
}
BENCHMARK(pluginBlock)->ArgsProduct({{0, 1, 16}, {44100, 48000, 96000}})->ArgNames({"notes", "rate"});

}  // namespace
