// A plain timing program for the voice engine, for builds without Google
// Benchmark (the Windows builds under Wine, and the web edition's engine in
// Node.js). Prints ns per voice-sample at the
// 96 kHz engine rate for the cases of EngineBench.cpp, on the scalar reference
// and on each lane path this processor can run, beside the floor (one bare
// 511-entry smoothing pass x top frequency / engine rate, shared by the
// voices): the median of 15 timings (on Windows the fastest of 150 shorter
// ones). The last column is the path the engine
// chooses on this processor over the floor (bench/engine-speed.sh collects it
// from several runs of the Linux and Windows builds).
//
//   engine_timing                      all cases
//   engine_timing <case> <path> <n>    renders n blocks of one case and exits
//                                      (for instruction counts under callgrind;
//                                      case: chord, high or a MIDI note; path:
//                                      -1 reference, 0 portable, 1 SSE2, 2 AVX2)
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <ctime>
#endif

#include "engine/VoiceEngine.h"
#include "tests/engine/ReferenceEngine.h"

namespace {

constexpr float kEngineRate = 96000.0f;
constexpr int kEngineSamples = 1024;
constexpr std::array<float, VoiceEngine::kParamCount> kProgram{0.6f, 0.3f, 0.2f, 0.8f, 1.0f, 0.5f,
                                                               0.0f, 0.1f, 1.0f, 0.3f, 0.5f, 0.8f};

// The thread's CPU time on Linux. On Windows (and under Wine) the thread times
// tick in steps of many milliseconds, so the clock there is the performance
// counter: wall time over short runs, of which the fastest is taken (another
// process taking the core only ever adds to a run).
double cpuNanoseconds() {
#ifdef _WIN32
    LARGE_INTEGER now, frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(now.QuadPart) * 1e9 / static_cast<double>(frequency.QuadPart);
#else
    timespec t{};
#if defined(__EMSCRIPTEN__)
    clock_gettime(CLOCK_MONOTONIC, &t);  // Node.js runs the module on one thread and has no CPU clock
#else
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
#endif
    return static_cast<double>(t.tv_sec) * 1e9 + static_cast<double>(t.tv_nsec);
#endif
}

#ifdef _WIN32
// Wall time: many runs a tenth as long (under a millisecond), so that some
// pass while no other process takes the core; the fastest is taken.
constexpr const char* kEstimate = "fastest of 150";
constexpr int kRuns = 150, kShorter = 10;
#else
constexpr const char* kEstimate = "median of 15";
constexpr int kRuns = 15, kShorter = 1;
#endif

template <class Work>
double medianNs(Work work, int repeats) {
    std::vector<double> runs;
    repeats = repeats / kShorter > 0 ? repeats / kShorter : 1;
    for (int r = 0; r < kRuns; ++r) {
        const double start = cpuNanoseconds();
        for (int k = 0; k < repeats; ++k) work();
        runs.push_back((cpuNanoseconds() - start) / repeats);
    }
    std::sort(runs.begin(), runs.end());
#ifdef _WIN32
    return runs.front();
#else
    return runs[runs.size() / 2];
#endif
}

double midiFrequency(int midi) { return 440.0 * std::exp2((midi - 69) / 12.0); }

float table[StringVoice::kWaveSize];
volatile float sink;

double barePassNs() {
    for (int i = 0; i < StringVoice::kWaveSize; ++i) table[i] = static_cast<float>(i % 37) * 0.01f;
    static float state0 = 0.0f, state1 = 0.0f;
    return medianNs(
        [] {
            const float c = 0.999f;
            float f0 = state0, f1 = state1;
            for (int i = 0; i < StringVoice::kTableLength; ++i) {
                f0 = (table[i] - f0) * c + f0;
                f1 = (f0 - f1) * c + f1;
                table[i] = f1;
            }
            table[StringVoice::kTableLength] = table[0];
            state0 = f0;
            state1 = f1;
        },
        4000);
}

struct Case {
    const char* name;
    int firstMidi, voices, step;
};

template <class Engine>
void play(Engine& engine, const Case& c) {
    for (int i = 0; i < VoiceEngine::kParamCount; ++i) engine.setParam(i, kProgram[i]);
    engine.setSampleRate(kEngineRate);
    for (int v = 0; v < c.voices; ++v) engine.noteOn(0, c.firstMidi + v * c.step - 12, 0.8f);
}

template <class Engine>
double nsPerVoiceSample(Engine& engine, const Case& c) {
    play(engine, c);
    std::vector<float> mix(kEngineSamples);
    return medianNs(
               [&] {
                   std::fill(mix.begin(), mix.end(), 0.0f);
                   engine.render(mix.data(), kEngineSamples);
                   sink = mix[kEngineSamples / 2];
               },
               40) /
           (static_cast<double>(c.voices) * kEngineSamples);
}

// Renders `blocks` blocks of one case on one path; nothing is printed.
int renderOnly(const Case& c, int path, int blocks) {
    std::vector<float> mix(kEngineSamples);
    if (path < 0) {
        static ReferenceEngine reference;
        play(reference, c);
        for (int b = 0; b < blocks; ++b) reference.render(mix.data(), kEngineSamples);
    } else {
        static VoiceEngine engine;
        if (!engine.useLanePath(static_cast<VoiceLanes::Path>(path))) return 1;
        play(engine, c);
        for (int b = 0; b < blocks; ++b) engine.render(mix.data(), kEngineSamples);
    }
    sink = mix[0];
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const Case chord{"chord MIDI 36..96", 36, 16, 4}, high{"16 voices MIDI 93..108", 93, 16, 1};
    if (argc == 4) {
        const int midi = std::atoi(argv[1]);
        const Case single{"single", midi, 1, 0};
        const Case& c = std::strcmp(argv[1], "chord") == 0  ? chord
                        : std::strcmp(argv[1], "high") == 0 ? high
                                                            : single;
        return renderOnly(c, std::atoi(argv[2]), std::atoi(argv[3]));
    }

    const double pass = barePassNs();
    std::printf("bare 511-entry pass: %.0f ns; ns per voice-sample at %.0f Hz (%s)\n", pass,
                static_cast<double>(kEngineRate), kEstimate);
    std::printf("%-24s %8s %10s %8s %8s %8s %8s %8s\n", "case", "floor", "reference", "portable", "SSE2", "AVX2",
                "SIMD128", "x floor");
    std::vector<Case> cases{chord, high};
    static const char* names[] = {"single MIDI 36", "single MIDI 60", "single MIDI 84", "single MIDI 96",
                                  "single MIDI 108"};
    const int notes[] = {36, 60, 84, 96, 108};
    for (int i = 0; i < 5; ++i) cases.push_back({names[i], notes[i], 1, 0});
    for (const Case& c : cases) {
        const int top = c.firstMidi + (c.voices - 1) * c.step;
        const double floor = pass * midiFrequency(top) / kEngineRate / c.voices;
        ReferenceEngine reference;
        std::printf("%-24s %8.2f %10.2f", c.name, floor, nsPerVoiceSample(reference, c));
        double chosen = 0.0;
        for (auto path : {VoiceLanes::Path::Portable, VoiceLanes::Path::Sse2, VoiceLanes::Path::Avx2, VoiceLanes::Path::Simd128}) {
            VoiceEngine engine;
            if (engine.useLanePath(path)) {
                const double ns = nsPerVoiceSample(engine, c);
                if (path == VoiceLanes::best()) chosen = ns;
                std::printf(" %8.2f", ns);
            } else {
                std::printf(" %8s", "-");
            }
        }
        std::printf(" %8.2f\n", chosen / floor);
    }
    return 0;
}
