#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "effects/BodyResonator.h"
#include "tests/effects/SineFit.h"

using effects_test::fittedAmplitude;
using effects_test::makeSine;
using effects_test::toDb;

namespace {

// Gain in dB of the resonator's steady state for a sine at the given frequency.
double measuredGainDb(BodyResonator& resonator, double hertz) {
    const double rate = resonator.getSampleRate();
    const std::size_t settle = static_cast<std::size_t>(rate), measure = static_cast<std::size_t>(rate / 2);
    const std::vector<float> in = makeSine(hertz / rate, settle + measure, 0.05);
    std::vector<float> out = in;
    resonator.process(out.data(), static_cast<int>(out.size()));
    return toDb(fittedAmplitude(out, hertz / rate, settle, settle + measure) /
                fittedAmplitude(in, hertz / rate, settle, settle + measure));
}

std::vector<float> noise(std::size_t length, unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> sample(-1.0f, 1.0f);
    std::vector<float> out(length);
    for (float& s : out) s = sample(rng);
    return out;
}

}  // namespace

TEST(BodyResonator, BuiltFlatAt44100) {
    const std::vector<float> in = noise(44100, 1);
    for (float hertz : {100.0f, 200.0f, 300.0f}) {
        BodyResonator resonator(hertz);
        EXPECT_EQ(resonator.getFrequency(), hertz);
        EXPECT_EQ(resonator.getQ(), 10.0f);
        EXPECT_EQ(resonator.getGainDb(), 0.0f);
        EXPECT_EQ(resonator.getSampleRate(), 44100.0);

        std::vector<float> out = in;
        resonator.process(out.data(), static_cast<int>(out.size()));
        // Unity up to the float32 rounding that the recursion's poles near the unit circle amplify.
        for (std::size_t i = 0; i < in.size(); ++i)
            ASSERT_NEAR(out[i], in[i], 1e-3f) << hertz << " Hz, sample " << i;
    }
}

TEST(BodyResonator, GainsAtTheCentreFrequency) {
    // The knobs' ends and middle, and a value between.
    for (float hertz : {100.0f, 200.0f, 300.0f}) {
        for (float gainDb : {18.0f, -18.0f, 0.0f, 7.2f}) {
            BodyResonator resonator(hertz);
            resonator.setup(hertz, 6.0f, gainDb);
            EXPECT_NEAR(measuredGainDb(resonator, hertz), gainDb, 0.01) << hertz << " Hz, " << gainDb << " dB";
        }
    }
    // Far from the band the gain is unity whatever the setting.
    BodyResonator boosted(100.0f);
    boosted.setup(100.0f, 6.0f, 18.0f);
    EXPECT_NEAR(measuredGainDb(boosted, 5000.0), 0.0, 0.01);
}

TEST(BodyResonator, SetupsAndEmptyBlocksKeepTheHistory) {
    // Re-running the same set-up between blocks, with or without an empty block and a rate change to
    // the same rate, must not disturb the signal: a cleared history would show as a transient.
    const std::vector<float> in = noise(30000, 2);
    BodyResonator reference(200.0f);
    reference.setup(200.0f, 6.0f, 12.0f);
    std::vector<float> expected = in;
    reference.process(expected.data(), static_cast<int>(expected.size()));

    BodyResonator resonator(200.0f);
    resonator.setup(200.0f, 6.0f, 12.0f);
    std::vector<float> out = in;
    std::mt19937 rng(3);
    std::uniform_int_distribution<int> blockSize(0, 900);
    for (std::size_t at = 0; at < out.size();) {
        const int n = std::min<int>(blockSize(rng), static_cast<int>(out.size() - at));
        const float guard = at + n < out.size() ? out[at + n] : 0.0f;
        resonator.process(out.data() + at, n);
        if (at + n < out.size()) {
            ASSERT_EQ(out[at + n], guard) << "wrote past the block";
        }
        if (n % 3 == 0) {
            resonator.setSampleRate(44100.0f);
        } else if (n % 3 == 1) {
            resonator.setup(200.0f, 6.0f, 12.0f);
        }
        at += static_cast<std::size_t>(n);
    }
    for (std::size_t i = 0; i < out.size(); ++i) ASSERT_EQ(out[i], expected[i]) << "sample " << i;
}

TEST(BodyResonator, RateChangeKeepsTheBodyGains) {
    BodyResonator resonator(100.0f);
    resonator.setup(100.0f, 6.0f, 18.0f);

    resonator.setSampleRate(48000.0f);

    EXPECT_EQ(resonator.getSampleRate(), 48000.0f);
    EXPECT_EQ(resonator.getFrequency(), 100.0f);
    EXPECT_EQ(resonator.getQ(), 6.0f);
    EXPECT_EQ(resonator.getGainDb(), 18.0f);
    EXPECT_NEAR(measuredGainDb(resonator, 100.0), 18.0, 0.01);
    // The band is still centred on 100 Hz, not shifted with the rate.
    EXPECT_LT(measuredGainDb(resonator, 100.0 * 48000.0 / 44100.0), 17.9);
}

TEST(BodyResonator, BandsWithoutAStablePeakAreLeftFlat) {
    // At these rates cos(w0) rounds to 1 and the peak's poles would sit on the
    // unit circle: the band passes the signal unchanged and stays finite.
    const std::vector<float> in = noise(200000, 7);
    const std::pair<double, float> bands[] = {{3e6, 100.0f}, {1e7, 100.0f}, {1e7, 300.0f}, {3.7e11, 300.0f}};
    for (const auto& [rate, hertz] : bands) {
        BodyResonator resonator(hertz);
        resonator.setSampleRate(static_cast<float>(rate));
        resonator.setup(hertz, 6.0f, 18.0f);
        std::vector<float> out = in;
        resonator.process(out.data(), static_cast<int>(out.size()));
        EXPECT_EQ(out, in) << hertz << " Hz at " << rate << " Hz";
    }
}

TEST(BodyResonator, BandsInSeriesFilterAsOneAfterAnother) {
    const std::vector<float> in = noise(20000, 5);
    const float gains[3] = {9.0f, -5.4f, 12.6f};
    BodyResonator apart[3] = {BodyResonator(100.0f), BodyResonator(200.0f), BodyResonator(300.0f)};
    BodyResonator together[3] = {BodyResonator(100.0f), BodyResonator(200.0f), BodyResonator(300.0f)};
    for (int k = 0; k < 3; ++k) {
        apart[k].setup(apart[k].getFrequency(), 6.0f, gains[k]);
        together[k].setup(together[k].getFrequency(), 6.0f, gains[k]);
    }
    BodyResonator* const bands[3] = {&together[0], &together[1], &together[2]};
    std::vector<float> expected = in, out = in;
    for (std::size_t at = 0; at < in.size(); at += 777) {
        const int n = static_cast<int>(std::min<std::size_t>(777, in.size() - at));
        for (BodyResonator& band : apart) band.process(expected.data() + at, n);
        BodyResonator::processInSeries(bands, out.data() + at, n);
    }
    EXPECT_EQ(out, expected);
}

TEST(BodyResonator, ResetForgetsTheHistoryEvenANaNButKeepsTheBand) {
    const std::vector<float> in = noise(4000, 9);
    BodyResonator fresh(200.0f), used(200.0f);
    for (BodyResonator* band : {&fresh, &used}) {
        band->setSampleRate(48000.0f);
        band->setup(200.0f, 6.0f, 12.0f);
    }
    std::vector<float> poisoned = noise(100, 4);
    poisoned[50] = std::numeric_limits<float>::quiet_NaN();
    used.process(poisoned.data(), static_cast<int>(poisoned.size()));
    used.reset();
    std::vector<float> expected = in, out = in;
    fresh.process(expected.data(), static_cast<int>(expected.size()));
    used.process(out.data(), static_cast<int>(out.size()));
    EXPECT_EQ(out, expected);
}
