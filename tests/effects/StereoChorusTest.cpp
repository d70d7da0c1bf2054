#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "effects/StereoChorus.h"

namespace {

struct Stereo {
    std::vector<float> left, right;
};

Stereo noise(std::size_t length, unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> sample(-1.0f, 1.0f);
    Stereo out{std::vector<float>(length), std::vector<float>(length)};
    for (std::size_t i = 0; i < length; ++i) {
        out.left[i] = sample(rng);
        out.right[i] = sample(rng);
    }
    return out;
}

void run(StereoChorus& chorus, Stereo& signal, std::size_t from, std::size_t to, float amount) {
    chorus.process(signal.left.data() + from, signal.right.data() + from, static_cast<int>(to - from),
                   amount);
}

// Feeds a ramp (value = frame number) through both channels with amount 1 and returns, per frame, the
// delay in frames at which each tap read: the interpolation is exact on a straight line.
Stereo tapDelays(StereoChorus& chorus, std::size_t firstFrame, std::size_t frames) {
    Stereo ramp{std::vector<float>(frames), std::vector<float>(frames)};
    for (std::size_t i = 0; i < frames; ++i)
        ramp.left[i] = ramp.right[i] = static_cast<float>(firstFrame + i);
    Stereo out = ramp;
    for (std::size_t at = 0; at < frames; at += 512) run(chorus, out, at, std::min(frames, at + 512), 1.0f);
    Stereo delay{std::vector<float>(frames), std::vector<float>(frames)};
    for (std::size_t i = 0; i < frames; ++i) {
        delay.left[i] = ramp.left[i] - (out.left[i] - ramp.left[i]);
        delay.right[i] = ramp.right[i] - (out.right[i] - ramp.right[i]);
    }
    return delay;
}

// Frames (fractional) where the sequence rises through the level, from frame `from` on.
std::vector<double> upwardCrossings(const std::vector<float>& values, float level, std::size_t from) {
    std::vector<double> at;
    for (std::size_t i = from + 1; i < values.size(); ++i) {
        const double a = values[i - 1] - level, b = values[i] - level;
        if (a < 0.0 && b >= 0.0) at.push_back(static_cast<double>(i - 1) + a / (a - b));
    }
    return at;
}

}  // namespace

TEST(StereoChorus, AmountZeroPassesTheSignalButKeepsRunning) {
    const Stereo in = noise(10000, 11);
    Stereo dry = in;
    StereoChorus silent;
    run(silent, dry, 0, 3000, 0.0f);
    run(silent, dry, 3000, 6000, 0.0f);
    for (std::size_t i = 0; i < 6000; ++i) {
        ASSERT_EQ(dry.left[i], in.left[i]) << "frame " << i;
        ASSERT_EQ(dry.right[i], in.right[i]) << "frame " << i;
    }

    // The rings and the oscillator advanced meanwhile: switching the effect on continues exactly as if it
    // had been on all along.
    Stereo wet = in;
    StereoChorus always;
    run(always, wet, 0, 6000, 0.5f);
    run(silent, dry, 6000, 10000, 0.5f);
    run(always, wet, 6000, 10000, 0.5f);
    for (std::size_t i = 6000; i < 10000; ++i) {
        ASSERT_EQ(dry.left[i], wet.left[i]) << "frame " << i;
        ASSERT_EQ(dry.right[i], wet.right[i]) << "frame " << i;
    }
}

TEST(StereoChorus, ImpulseComesBackSweptAndSpread) {
    Stereo signal{std::vector<float>(4096, 0.0f), std::vector<float>(4096, 0.0f)};
    signal.left[0] = signal.right[0] = 1.0f;
    StereoChorus chorus;
    run(chorus, signal, 0, signal.left.size(), 0.5f);

    EXPECT_EQ(signal.left[0], 1.0f);
    EXPECT_EQ(signal.right[0], 1.0f);
    const auto echo = [](const std::vector<float>& channel, std::size_t expectedPeak, float expectedValue) {
        const auto peak = std::max_element(channel.begin() + 1, channel.end(),
                                           [](float a, float b) { return std::fabs(a) < std::fabs(b); });
        EXPECT_EQ(static_cast<std::size_t>(peak - channel.begin()), expectedPeak);
        EXPECT_NEAR(*peak, expectedValue, 0.005f);
        EXPECT_EQ(std::count_if(channel.begin() + 1, channel.end(), [](float v) { return v != 0.0f; }), 4);
    };
    echo(signal.left, 1625, 0.46f);
    echo(signal.right, 1664, 0.31f);
}

TEST(StereoChorus, DelayFollowsTheSampleRateEvenMidStream) {
    EXPECT_EQ(StereoChorus().getReadIndex(), 256);
    const struct {
        float rate;
        int readIndex;
    } cases[] = {{22050.0f, 128}, {44100.0f, 256}, {48000.0f, 278}, {88200.0f, 512}, {96000.0f, 557}};
    for (const auto& c : cases) {
        StereoChorus fresh;
        fresh.setSampleRate(c.rate);
        EXPECT_EQ(fresh.getReadIndex(), c.readIndex) << c.rate;
        EXPECT_EQ(fresh.getWriteIndex(), 0) << c.rate;

        // A chorus that has already run (write position anywhere) gets the same delay as a new one.
        StereoChorus running;
        Stereo before = noise(1000 + static_cast<std::size_t>(c.rate) % 997, 5);
        run(running, before, 0, before.left.size(), 0.5f);
        running.setSampleRate(c.rate);
        EXPECT_EQ((running.getReadIndex() - running.getWriteIndex()) & 2047, c.readIndex) << c.rate;

        // Over a whole sweep both read the same span of delays.
        const std::size_t frames = static_cast<std::size_t>(c.rate) + 4096;
        const Stereo expected = tapDelays(fresh, 0, frames);
        const Stereo measured = tapDelays(running, 0, frames);
        for (const auto& [m, e] :
             {std::pair(&measured.left, &expected.left), std::pair(&measured.right, &expected.right)}) {
            const auto got = std::minmax_element(m->begin() + 2048, m->end());
            const auto want = std::minmax_element(e->begin() + 2048, e->end());
            EXPECT_NEAR(*got.first, *want.first, 0.05f) << c.rate;
            EXPECT_NEAR(*got.second, *want.second, 0.05f) << c.rate;
        }
    }
}

TEST(StereoChorus, SweepTurnsAt1point2HzWithTheRightChannelAQuarterBehind) {
    for (float rate : {44100.0f, 96000.0f}) {
        StereoChorus chorus;
        chorus.setSampleRate(rate);
        const double period = rate / 1.2;
        const std::size_t frames = static_cast<std::size_t>(3.2 * period);
        const Stereo delay = tapDelays(chorus, 0, frames);
        // The sweep is centred on 0.22 x 512 frames of tap offset.
        const float centre = 2048.0f -
                             static_cast<float>((chorus.getReadIndex() - chorus.getWriteIndex()) & 2047) -
                             0.22f * 512.0f;
        const std::vector<double> left = upwardCrossings(delay.left, centre, 2048);
        const std::vector<double> right = upwardCrossings(delay.right, centre, 2048);
        ASSERT_GE(left.size(), 3u) << rate;
        ASSERT_GE(right.size(), 3u) << rate;
        const double measured = (left.back() - left.front()) / static_cast<double>(left.size() - 1);
        EXPECT_NEAR(measured, period, period * 5e-5) << rate;
        // A longer delay is a smaller tap offset, so each delay rises where its oscillator falls; the
        // right channel follows the left a quarter period later.
        const double lag = std::fmod(right.front() - left.front() + period, period);
        EXPECT_NEAR(lag, period / 4.0, period * 1e-3) << rate;
    }
}

TEST(StereoChorus, BlockSplitsAndEmptyBlocksDoNotChangeTheOutput) {
    const Stereo in = noise(30000, 13);
    Stereo whole = in;
    StereoChorus reference;
    run(reference, whole, 0, whole.left.size(), 0.37f);

    Stereo pieces = in;
    StereoChorus chorus;
    std::mt19937 rng(17);
    std::uniform_int_distribution<int> blockSize(0, 1500);
    for (std::size_t at = 0; at < pieces.left.size();) {
        const std::size_t n = std::min<std::size_t>(blockSize(rng), pieces.left.size() - at);
        run(chorus, pieces, at, at + n, 0.37f);
        at += n;
    }
    for (std::size_t i = 0; i < whole.left.size(); ++i) {
        ASSERT_EQ(whole.left[i], pieces.left[i]) << "frame " << i;
        ASSERT_EQ(whole.right[i], pieces.right[i]) << "frame " << i;
    }
    EXPECT_EQ(chorus.getWriteIndex(), reference.getWriteIndex());
    EXPECT_EQ(chorus.getReadIndex(), reference.getReadIndex());
}

TEST(StereoChorus, ResetIsANewChorusAtTheSameRateEvenAfterANaN) {
    const Stereo in = noise(6000, 21);
    StereoChorus fresh, used;
    fresh.setSampleRate(48000.0f);
    used.setSampleRate(48000.0f);
    Stereo poisoned = noise(3000, 22);
    poisoned.left[100] = std::numeric_limits<float>::quiet_NaN();
    run(used, poisoned, 0, poisoned.left.size(), 0.5f);
    used.reset();
    Stereo expected = in, out = in;
    run(fresh, expected, 0, in.left.size(), 0.5f);
    run(used, out, 0, in.left.size(), 0.5f);
    EXPECT_EQ(out.left, expected.left);
    EXPECT_EQ(out.right, expected.right);
    EXPECT_EQ(used.getReadIndex(), fresh.getReadIndex());
}
