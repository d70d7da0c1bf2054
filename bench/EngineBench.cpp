// Cost of the voice engine alone, in ns per voice-sample at the 96 kHz engine
// rate (a 48 kHz host), on each lane path the processor can run: a 16-voice
// chord (MIDI 36..96), 16 high voices (MIDI 93..108) and single voices at
// MIDI 36, 60, 84, 96 and 108. Beside each figure:
//  - floor: the least any bit-exact engine can take. Each voice's
//    once-per-period smoothing pass is one serial recurrence over 511 entries;
//    the passes of all voices can share the time of the top voice's passes,
//    so a block takes at least (one bare pass) x (top frequency / engine
//    rate) per sample. The bare pass is timed in this run.
//  - x_floor: the engine's figure over the floor.
// plucked measures STK's Plucked string at the same rate (ns per sample), and
// noteStart the note start (choosing the voice and building its string).
#include <benchmark/benchmark.h>
#include <stk/Plucked.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <ctime>
#include <vector>

#include "engine/VoiceEngine.h"
#include "tests/engine/ReferenceEngine.h"

namespace {

constexpr float kEngineRate = 96000.0f;
constexpr int kEngineSamples = 1024;  // one 512-frame host block

// Every excitation in use, slow decay. Damp 1 with Key 0 keeps the strings
// from settling while the benchmark holds them; a voice costs the same at any
// losses (its pass runs once per period whatever the coefficient).
constexpr std::array<float, VoiceEngine::kParamCount> kProgram{0.6f, 0.3f, 0.2f, 0.8f, 1.0f, 0.5f,
                                                               0.0f, 0.1f, 1.0f, 0.3f, 0.5f, 0.8f};

double midiFrequency(int midi) { return 440.0 * std::exp2((midi - 69) / 12.0); }

// The bare smoothing pass: the voice's two-stage low-pass over one table.
float table[StringVoice::kWaveSize];
float filter0 = 0.0f, filter1 = 0.0f;

void barePass(float c) {
    float f0 = filter0, f1 = filter1;
    for (int i = 0; i < StringVoice::kTableLength; ++i) {
        f0 = (table[i] - f0) * c + f0;
        f1 = (f0 - f1) * c + f1;
        table[i] = f1;
    }
    filter0 = f0;
    filter1 = f1;
    table[StringVoice::kTableLength] = table[0];
}

// ns per bare pass: the median of 21 timings of 2000 passes.
double barePassNs() {
    static const double ns = [] {
        for (int i = 0; i < StringVoice::kWaveSize; ++i) table[i] = static_cast<float>(i % 37) * 0.01f;
        std::vector<double> runs;
        for (int run = 0; run < 21; ++run) {
            // CPU time of this thread: the machine may be shared.
            timespec start{}, end{};
            clock_gettime(CLOCK_THREAD_CPUTIME_ID, &start);
            for (int k = 0; k < 2000; ++k) {
                barePass(0.999f);
                benchmark::ClobberMemory();
            }
            clock_gettime(CLOCK_THREAD_CPUTIME_ID, &end);
            const double ns =
                (end.tv_sec - start.tv_sec) * 1e9 + static_cast<double>(end.tv_nsec - start.tv_nsec);
            runs.push_back(ns / 2000.0);
        }
        std::sort(runs.begin(), runs.end());
        return runs[runs.size() / 2];
    }();
    return ns;
}

void barePassBench(benchmark::State& state) {
    for (int i = 0; i < StringVoice::kWaveSize; ++i) table[i] = static_cast<float>(i % 37) * 0.01f;
    for (auto _ : state) {
        barePass(0.999f);
        benchmark::ClobberMemory();
    }
    state.counters["ns/pass"] =
        benchmark::Counter(1e-9, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

template <class Engine>
void renderWith(benchmark::State& state, Engine& engine, int firstMidi, int voices, int step) {
    for (int i = 0; i < VoiceEngine::kParamCount; ++i) engine.setParam(i, kProgram[i]);
    engine.setSampleRate(kEngineRate);
    int top = firstMidi;
    for (int v = 0; v < voices; ++v) {
        top = firstMidi + v * step;
        engine.noteOn(0, top - 12, 0.8f);
    }
    std::vector<float> mix(kEngineSamples);
    engine.render(mix.data(), kEngineSamples);
    for (auto _ : state) {
        std::fill(mix.begin(), mix.end(), 0.0f);
        engine.render(mix.data(), kEngineSamples);
        benchmark::DoNotOptimize(mix.data());
        benchmark::ClobberMemory();
    }
    const double voiceSamples = static_cast<double>(voices) * kEngineSamples;
    state.counters["ns/voice-sample"] = benchmark::Counter(
        voiceSamples * 1e-9, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
    const double floor = barePassNs() * midiFrequency(top) / kEngineRate / voices;
    state.counters["floor"] = floor;
    state.counters["x_floor"] =
        benchmark::Counter(voiceSamples * 1e-9 * floor,
                           benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

// Arguments: lane path (-1: the scalar reference engine the lanes replaced),
// first MIDI note, voices (one per `step` semitones).
void render(benchmark::State& state, int firstMidi, int voices, int step) {
    if (state.range(0) < 0) {
        ReferenceEngine reference;
        renderWith(state, reference, firstMidi, voices, step);
        return;
    }
    VoiceEngine engine;
    if (!engine.useLanePath(static_cast<VoiceLanes::Path>(state.range(0)))) {
        state.SkipWithError("lane path not available here");
        return;
    }
    renderWith(state, engine, firstMidi, voices, step);
}
void chord16(benchmark::State& state) { render(state, 36, 16, 4); }
void high16(benchmark::State& state) { render(state, 93, 16, 1); }
void single(benchmark::State& state) { render(state, static_cast<int>(state.range(1)), 1, 0); }

// STK's Plucked string (Karplus-Strong) at the engine rate, one sample per tick.
void plucked(benchmark::State& state) {
    stk::Stk::setSampleRate(kEngineRate);
    stk::Plucked string(20.0);
    string.noteOn(static_cast<stk::StkFloat>(midiFrequency(static_cast<int>(state.range(0)))), 0.8);
    stk::StkFloat sum = 0.0;
    for (auto _ : state) {
        for (int j = 0; j < kEngineSamples; ++j) sum += string.tick();
        benchmark::DoNotOptimize(sum);
    }
    state.counters["ns/sample"] = benchmark::Counter(
        kEngineSamples * 1e-9, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

// Choosing the voice and building its string: a note on, then a block of no
// samples, which applies the start and renders nothing. Argument: -1 for the
// scalar reference engine, else the engine.
template <class Engine>
void noteStartWith(benchmark::State& state, Engine& engine) {
    for (int i = 0; i < VoiceEngine::kParamCount; ++i) engine.setParam(i, kProgram[i]);
    engine.setSampleRate(kEngineRate);
    float mix[1];
    int note = 0;
    for (auto _ : state) {
        engine.noteOn(0, 24 + note, 0.8f);
        engine.render(mix, 0);
        note = (note + 7) % 60;
        benchmark::ClobberMemory();
    }
}

void noteStart(benchmark::State& state) {
    if (state.range(0) < 0) {
        ReferenceEngine reference;
        noteStartWith(state, reference);
    } else {
        VoiceEngine engine;
        noteStartWith(state, engine);
    }
}

void paths(benchmark::internal::Benchmark* b) {
    b->ArgName("path");
    b->Arg(-1);
    for (auto path : {VoiceLanes::Path::Sse2, VoiceLanes::Path::Avx2, VoiceLanes::Path::Portable})
        if (VoiceLanes::available(path)) b->Arg(static_cast<int>(path));
}

void pathsAndNotes(benchmark::internal::Benchmark* b) {
    b->ArgNames({"path", "midi"});
    for (int midi : {36, 60, 84, 96, 108}) b->Args({-1, midi});
    for (auto path : {VoiceLanes::Path::Sse2, VoiceLanes::Path::Avx2})
        if (VoiceLanes::available(path))
            for (int midi : {36, 60, 84, 96, 108}) b->Args({static_cast<int>(path), midi});
}

}  // namespace

BENCHMARK(barePassBench);
BENCHMARK(chord16)->Apply(paths)->Unit(benchmark::kMicrosecond);
BENCHMARK(high16)->Apply(paths)->Unit(benchmark::kMicrosecond);
BENCHMARK(single)->Apply(pathsAndNotes)->Unit(benchmark::kMicrosecond);
BENCHMARK(plucked)->Arg(60)->Unit(benchmark::kMicrosecond);
BENCHMARK(noteStart)->ArgName("engine")->Arg(-1)->Arg(0)->Unit(benchmark::kMicrosecond);
