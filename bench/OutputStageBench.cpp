// Cost of the output stage alone per host frame: half-band filter on the doubled-rate mix, pair sums
// down to the host rate, the three body resonators in series, the copy to the right channel and the
// chorus on both channels.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <ctime>
#include <random>
#include <vector>

#include "effects/BodyResonator.h"
#include "effects/HalfBandFilter.h"
#include "effects/StereoChorus.h"

namespace {

// Thread CPU time, so that other processes competing for the cores do not count as our cost.
double threadSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

void outputStage(benchmark::State& state) {
    const float rate = static_cast<float>(state.range(0));
    const int frames = static_cast<int>(state.range(1));

    HalfBandFilter halfBand;
    BodyResonator resonators[3] = {BodyResonator(100.0f), BodyResonator(200.0f), BodyResonator(300.0f)};
    StereoChorus chorus;
    chorus.setSampleRate(rate);
    const float gains[3] = {9.0f, -5.4f, 12.6f};
    for (int k = 0; k < 3; ++k) {
        resonators[k].setSampleRate(rate);
        resonators[k].setup(resonators[k].getFrequency(), 6.0f, gains[k]);
    }

    // A doubled-rate mix such as the voices leave: a few partials plus a little noise.
    std::vector<float> source(static_cast<std::size_t>(2 * frames) * 64);
    std::mt19937 rng(1);
    std::uniform_real_distribution<float> noise(-0.01f, 0.01f);
    for (std::size_t n = 0; n < source.size(); ++n) {
        const double t = static_cast<double>(n) / (2.0 * rate);
        source[n] = static_cast<float>(0.3 * std::sin(2.0 * 3.14159265358979 * 220.0 * t) +
                                       0.1 * std::sin(2.0 * 3.14159265358979 * 1870.0 * t)) +
                    noise(rng);
    }

    BodyResonator* const bands[3] = {&resonators[0], &resonators[1], &resonators[2]};
    std::vector<float> mix(static_cast<std::size_t>(2 * frames)), left(frames), right(frames);
    std::size_t block = 0;
    double nanoseconds = 0.0;
    for (auto _ : state) {
        std::copy_n(source.begin() + static_cast<std::ptrdiff_t>(block * mix.size()), mix.size(),
                    mix.begin());
        block = (block + 1) % 64;

        const double start = threadSeconds();
        halfBand.process(mix.data(), 2 * frames);
        for (int i = 0; i < frames; ++i) left[i] = mix[2 * i] + mix[2 * i + 1];
        BodyResonator::processInSeries(bands, left.data(), frames);
        std::copy_n(left.begin(), frames, right.begin());
        chorus.process(left.data(), right.data(), frames, 0.5f);
        const double stop = threadSeconds();

        benchmark::DoNotOptimize(left.data());
        benchmark::DoNotOptimize(right.data());
        benchmark::ClobberMemory();
        const double elapsed = stop - start;
        nanoseconds += elapsed * 1e9;
        state.SetIterationTime(elapsed);
    }
    state.counters["ns/frame"] =
        nanoseconds / (static_cast<double>(state.iterations()) * static_cast<double>(frames));
    state.SetItemsProcessed(state.iterations() * frames);
}

}  // namespace

BENCHMARK(outputStage)->ArgNames({"rate", "frames"})->Args({44100, 512})->Args({96000, 512})->UseManualTime();
