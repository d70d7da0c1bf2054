#include <cmath>
#include <vector>

#include <gtest/gtest.h>

#include "engine/VoiceEnvelope.h"

namespace {

// Steps the envelope one sample at a time until it leaves `stage`.
int samplesIn(VoiceEnvelope& env, int stage, int limit = 10'000'000)
{
    int n = 0;
    float one = 1.0f;
    while (env.stage() == stage && n < limit) {
        one = 1.0f;
        env.process(&one, 1);
        ++n;
    }
    return n;
}

// Samples for the distance to shrink from `from` to the threshold at the
// stage's nominal pace (0.008 of the distance left after `seconds`).
double nominalSamples(double rate, double seconds, double from = 1.0)
{
    return rate * seconds * std::log(VoiceEnvelope::kThreshold / from) / std::log(VoiceEnvelope::kThreshold);
}

}  // namespace

TEST(VoiceEnvelope, StageTimesFollowTheKnobsAtEveryRate)
{
    for (float rate : {44100.0f, 88200.0f, 192000.0f}) {
        for (float knob : {0.0f, 0.3f, 1.0f}) {
            SCOPED_TRACE(testing::Message() << "rate " << rate << " knob " << knob);
            VoiceEnvelope env;
            env.setRates(rate, knob * knob * 0.1f, knob * knob, knob * knob);
            const double tolerance = 2.0 + 0.01 * rate * (0.6 * knob * knob + 0.0006);

            env.start();
            const int attack = samplesIn(env, VoiceEnvelope::Attack);
            EXPECT_NEAR(attack, nominalSamples(rate, 0.6 * knob * knob + 0.0006), tolerance);
            EXPECT_EQ(env.stage(), VoiceEnvelope::Decay);

            // Decay heads for (almost) zero and never ends by itself.
            const float top = env.level();
            int decay = 0;
            float one = 1.0f;
            while (env.level() > VoiceEnvelope::kThreshold) {
                one = 1.0f;
                env.process(&one, 1);
                ++decay;
            }
            const double decayTime = 6.0 * knob * knob + 0.0012;
            EXPECT_NEAR(decay, nominalSamples(rate, decayTime, top), 2.0 + 0.01 * rate * decayTime);
            std::vector<float> tail(1000, 1.0f);
            env.process(tail.data(), 1000);
            EXPECT_EQ(env.stage(), VoiceEnvelope::Decay);

            // Release from the top of a fresh attack, then one sample of Fade.
            env.start();
            samplesIn(env, VoiceEnvelope::Attack);
            env.setStage(VoiceEnvelope::Release);
            const float from = env.level();
            const int release = samplesIn(env, VoiceEnvelope::Release);
            EXPECT_NEAR(release, nominalSamples(rate, decayTime, from), 2.0 + 0.01 * rate * decayTime);
            EXPECT_EQ(samplesIn(env, VoiceEnvelope::Fade), 1);
            EXPECT_EQ(env.stage(), VoiceEnvelope::Idle);

            // A reserve fade from full level lasts 0.6 ms whatever the knobs.
            env.start();
            samplesIn(env, VoiceEnvelope::Attack);
            env.setStage(VoiceEnvelope::Fade);
            EXPECT_NEAR(samplesIn(env, VoiceEnvelope::Fade), nominalSamples(rate, 0.0006, env.level()), 2.0);
        }
    }
    VoiceEnvelope env;
    env.setRates(88200.0f, 0.0f, 0.0f, 0.0f);
    EXPECT_NEAR(env.rate(VoiceEnvelope::Fade), 0.0872f, 0.0001f);
    EXPECT_EQ(env.rate(VoiceEnvelope::Idle), 0.0f);
}

TEST(VoiceEnvelope, ReleaseDuringAttackFallsFromTheCurrentLevel)
{
    VoiceEnvelope env;
    env.setRates(88200.0f, 0.1f, 1.0f, 0.01f);
    env.start();
    std::vector<float> ones(2000, 1.0f);
    env.process(ones.data(), 2000);
    ASSERT_EQ(env.stage(), VoiceEnvelope::Attack);
    const float reached = env.level();
    ASSERT_GT(reached, 0.05f);

    env.setStage(VoiceEnvelope::Release);
    float previous = reached;
    bool sawDecay = false;
    for (int i = 0; i < 100000 && env.stage() != VoiceEnvelope::Idle; ++i) {
        float one = 1.0f;
        env.process(&one, 1);
        sawDecay |= env.stage() == VoiceEnvelope::Decay;
        EXPECT_LE(one, previous);
        previous = one;
    }
    EXPECT_FALSE(sawDecay);
    EXPECT_EQ(env.stage(), VoiceEnvelope::Idle);
}

TEST(VoiceEnvelope, ReleaseUnderTheThresholdFadesThenGoesIdle)
{
    VoiceEnvelope env;
    env.setRates(88200.0f, 0.1f, 1.0f, 1.0f);  // slowest attack: tiny steps
    env.start();
    while (env.level() < 0.005f)
        samplesIn(env, VoiceEnvelope::Attack, 1);
    ASSERT_LT(env.level(), VoiceEnvelope::kThreshold);

    env.setStage(VoiceEnvelope::Release);
    float out[3] = {1.0f, 1.0f, 1.0f};
    env.process(out, 1);
    EXPECT_EQ(env.stage(), VoiceEnvelope::Fade);
    EXPECT_EQ(out[0], env.level());
    env.process(out + 1, 1);
    EXPECT_EQ(env.stage(), VoiceEnvelope::Idle);
    EXPECT_EQ(out[1], env.level());
    env.process(out + 2, 1);
    EXPECT_EQ(out[2], 0.0f);
}

TEST(VoiceEnvelope, IdleOutputsExactZeros)
{
    VoiceEnvelope env;  // a new envelope is idle
    env.setRates(44100.0f, 0.0f, 0.0f, 0.0f);
    std::vector<float> samples{1.0f, -1.0f, 3.0e38f, -1e-40f, 0.25f};
    env.process(samples.data(), static_cast<int>(samples.size()));
    for (float s : samples)
        EXPECT_EQ(s, 0.0f);
    EXPECT_TRUE(env.finished());
}
