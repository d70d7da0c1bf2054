// Cost of the voice engine alone: rendering with 1, 4 and 16 sounding voices
// at the engine rates of 44.1 and 96 kHz hosts, one voice against its pitch,
// and one note start. Figures per host frame (two engine samples).
#include <benchmark/benchmark.h>

#include <array>
#include <vector>

#include "engine/VoiceEngine.h"

namespace {

constexpr int kHostFrames = 512;
constexpr int kEngineSamples = 2 * kHostFrames;

// Every excitation in use, slow decay. Damp 1 with Key 0 keeps the strings
// from settling while the benchmark holds them; the cost of a voice does not
// depend on the losses.
constexpr std::array<float, 16> kProgram{
    0.6f, 0.3f, 0.2f, 0.8f, 1.0f, 0.5f, 0.0f, 0.5f, 0.5f, 0.5f, 0.1f, 1.0f, 0.3f, 0.5f, 0.0f, 0.8f};

void prepare(VoiceEngine& engine, float hostRate)
{
    for (int i = 0; i < VoiceEngine::kParamCount; ++i)
        engine.setParam(i, kProgram[i]);
    engine.recomputeEnvelopeRates();
    engine.setSampleRate(hostRate * 2.0f);
}

void setFrameCounters(benchmark::State& state, float hostRate)
{
    // Inverted iteration rate: CPU time per host frame in ns (the console
    // reporter prints it with an "s" suffix). Realtime: seconds of host audio
    // rendered per CPU second.
    state.counters["ns/frame"] = benchmark::Counter(
        kHostFrames * 1e-9, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
    state.counters["realtime"] =
        benchmark::Counter(kHostFrames / static_cast<double>(hostRate), benchmark::Counter::kIsIterationInvariantRate);
}

void renderHeld(benchmark::State& state, VoiceEngine& engine, float hostRate)
{
    std::vector<float> work(kEngineSamples), mix(kEngineSamples);
    for (auto _ : state) {
        std::fill(mix.begin(), mix.end(), 0.0f);
        engine.render(work.data(), mix.data(), kEngineSamples);
        benchmark::DoNotOptimize(mix.data());
        benchmark::ClobberMemory();
    }
    setFrameCounters(state, hostRate);
}

// Arguments: sounding voices, host rate.
void engineBlock(benchmark::State& state)
{
    const int voices = static_cast<int>(state.range(0));
    const float hostRate = static_cast<float>(state.range(1));
    VoiceEngine engine;
    prepare(engine, hostRate);
    // Held notes spread over MIDI 48..96, all struck at the block start.
    for (int v = 0; v < voices; ++v)
        engine.noteOn(36 + (v * 48) / 16, 0.8f, 0);
    std::vector<float> work(kEngineSamples), mix(kEngineSamples);
    engine.render(work.data(), mix.data(), kEngineSamples);
    renderHeld(state, engine, hostRate);
}

// Argument: MIDI note of the one sounding voice, at a 44.1 kHz host.
void voicePitch(benchmark::State& state)
{
    constexpr float hostRate = 44100.0f;
    VoiceEngine engine;
    prepare(engine, hostRate);
    engine.noteOn(static_cast<int>(state.range(0)) - 12, 0.8f, 0);
    std::vector<float> work(kEngineSamples), mix(kEngineSamples);
    engine.render(work.data(), mix.data(), kEngineSamples);
    renderHeld(state, engine, hostRate);
}

// Choosing the voice and building its string: a note on, then a block of no
// samples, which applies the start and renders nothing.
void noteStart(benchmark::State& state)
{
    VoiceEngine engine;
    prepare(engine, 44100.0f);
    float work[1], mix[1];
    int note = 0;
    for (auto _ : state) {
        engine.noteOn(24 + note, 0.8f, 0);
        engine.render(work, mix, 0);
        note = (note + 7) % 60;
        benchmark::ClobberMemory();
    }
}

}  // namespace

BENCHMARK(engineBlock)
    ->ArgNames({"voices", "host_rate"})
    ->ArgsProduct({{1, 4, 16}, {44100, 96000}})
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(voicePitch)->ArgName("midi_note")->Arg(24)->Arg(48)->Arg(72)->Arg(96)->Arg(120)->Unit(benchmark::kMicrosecond);
BENCHMARK(noteStart)->Unit(benchmark::kMicrosecond);
