#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <vector>

#include "effects/HalfBandFilter.h"
#include "tests/effects/SineFit.h"

using effects_test::fittedAmplitude;
using effects_test::makeSine;
using effects_test::toDb;

namespace {

std::vector<float> filtered(std::vector<float> signal) {
    HalfBandFilter filter;
    filter.process(signal.data(), static_cast<int>(signal.size()));
    return signal;
}

// Steady-state gain in dB of a fresh filter for a unit sine at the given fraction of its rate.
double gainDb(double cyclesPerSample) {
    constexpr std::size_t kSettle = 4096, kMeasure = 16384;
    const std::vector<float> in = makeSine(cyclesPerSample, kSettle + kMeasure);
    const std::vector<float> out = filtered(in);
    return toDb(fittedAmplitude(out, cyclesPerSample, kSettle, kSettle + kMeasure) /
                fittedAmplitude(in, cyclesPerSample, kSettle, kSettle + kMeasure));
}

}  // namespace

TEST(HalfBandFilter, ImpulseResponseStartsAsDesigned) {
    std::vector<float> impulse(16, 0.0f);
    impulse[0] = 1.0f;
    const std::vector<float> out = filtered(impulse);
    const double expected[6] = {0.0381, 0.1604, 0.3347, 0.4078, 0.2502, -0.0415};
    for (int i = 0; i < 6; ++i) EXPECT_NEAR(out[i], expected[i], 0.00005) << "sample " << i;
}

TEST(HalfBandFilter, SettlesAtTheEndsOfTheBand) {
    // DC passes at exactly unity once the transient is over.
    const std::vector<float> dc = filtered(std::vector<float>(4000, 1.0f));
    for (std::size_t i = 3000; i < dc.size(); ++i) ASSERT_EQ(dc[i], 1.0f) << "sample " << i;

    // Half the rate is a zero of the response.
    std::vector<float> alternating(4000);
    for (std::size_t i = 0; i < alternating.size(); ++i) alternating[i] = (i % 2 == 0) ? 1.0f : -1.0f;
    const std::vector<float> nyquist = filtered(alternating);
    for (std::size_t i = 3000; i < nyquist.size(); ++i)
        ASSERT_LT(std::fabs(nyquist[i]), 1e-11f) << "sample " << i;
}

TEST(HalfBandFilter, PassbandIsFlatAndStopbandDeep) {
    // Frequencies as fractions of the filter's own rate, on a 0.005 grid plus the band edges.
    for (int k = 1; k <= 49; ++k)
        EXPECT_LT(std::fabs(gainDb(k * 0.005)), 0.0001) << "passband at " << k * 0.005;
    EXPECT_LT(std::fabs(gainDb(0.245)), 0.0001);

    EXPECT_NEAR(gainDb(0.25), -3.0103, 0.001);

    EXPECT_LE(gainDb(0.255), -51.4);
    for (int k = 52; k <= 99; ++k) EXPECT_LE(gainDb(k * 0.005), -51.4) << "stopband at " << k * 0.005;
    EXPECT_LE(gainDb(0.499), -51.4);
}

TEST(HalfBandFilter, BlockSplitsAndEmptyBlocksDoNotChangeTheOutput) {
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> sample(-1.0f, 1.0f);
    std::vector<float> signal(20000);
    for (float& s : signal) s = sample(rng);

    const std::vector<float> whole = filtered(signal);

    HalfBandFilter filter;
    std::vector<float> pieces = signal;
    std::uniform_int_distribution<int> blockSize(0, 700);
    for (std::size_t at = 0; at < pieces.size();) {
        const int n = std::min<int>(blockSize(rng), static_cast<int>(pieces.size() - at));
        const float guard = pieces.size() > at + n ? pieces[at + n] : 0.0f;
        filter.process(pieces.data() + at, n);
        if (at + n < pieces.size()) {
            ASSERT_EQ(pieces[at + n], guard) << "wrote past the block";
        }
        at += static_cast<std::size_t>(n);
    }
    for (std::size_t i = 0; i < whole.size(); ++i) ASSERT_EQ(whole[i], pieces[i]) << "sample " << i;
}

TEST(HalfBandFilter, SilenceCopiedFromItsSettledCycleKeepsTheBitsOfAComputedOne) {
    // Sound, a long silence, sound again. In blocks, the settled silence is copied from its cycle of
    // four; sample by sample (blocks too short to show a cycle) every sample is computed.
    std::mt19937 rng(11);
    std::uniform_real_distribution<float> sample(-1.0f, 1.0f);
    std::vector<float> signal(2000);
    for (float& s : signal) s = sample(rng);
    signal.resize(202000, 0.0f);
    for (int i = 0; i < 2000; ++i) signal.push_back(sample(rng));

    std::vector<float> blocks = signal, computed = signal;
    HalfBandFilter inBlocks, bySample;
    for (std::size_t at = 0; at < blocks.size(); at += 1024)
        inBlocks.process(blocks.data() + at, static_cast<int>(std::min<std::size_t>(1024, blocks.size() - at)));
    for (float& s : computed) bySample.process(&s, 1);
    for (std::size_t i = 0; i < blocks.size(); ++i)
        ASSERT_EQ(std::bit_cast<std::uint32_t>(blocks[i]), std::bit_cast<std::uint32_t>(computed[i])) << "sample " << i;

    // The settled silence is not zeros: the anti-denormal offset leaves a tiny signal of period four.
    for (std::size_t i = 199000; i < 199004; ++i) {
        EXPECT_NE(blocks[i], 0.0f);
        EXPECT_LT(std::fabs(blocks[i]), 1e-28f);
        EXPECT_EQ(blocks[i], blocks[i + 4]);
    }
}

TEST(HalfBandFilter, ResetForgetsEverythingEvenANaN) {
    std::vector<float> poisoned(64, 0.5f), after(256, 0.0f);
    poisoned[10] = std::numeric_limits<float>::quiet_NaN();
    after[0] = 1.0f;
    HalfBandFilter filter;
    filter.process(poisoned.data(), static_cast<int>(poisoned.size()));
    filter.reset();
    std::vector<float> out = after;
    filter.process(out.data(), static_cast<int>(out.size()));
    EXPECT_EQ(out, filtered(after));
}
