#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "engine/VoiceEnvelope.h"
#include "tests/engine/ReferenceVoice.h"

namespace {

// Steps one sample at a time while `more` holds; returns the samples taken.
template <typename Condition>
int stepWhile(VoiceEnvelope& env, Condition more) {
    int n = 0;
    for (float one = 1.0f; more() && n < 10'000'000; ++n, one = 1.0f) applyEnvelope(env, &one, 1);
    return n;
}

int samplesIn(VoiceEnvelope& env, int stage) {
    return stepWhile(env, [&] { return env.stage() == stage; });
}

// Samples for the distance to shrink from `from` to the threshold when it
// shrinks to 0.008 of itself in `seconds`.
double nominal(double rate, double seconds, double from = 1.0) {
    return rate * seconds * std::log(VoiceEnvelope::kThreshold / from) / std::log(VoiceEnvelope::kThreshold);
}

}  // namespace

TEST(VoiceEnvelope, StageTimesFollowTheKnobsAtEveryRate) {
    for (float rate : {44100.0f, 88200.0f, 192000.0f}) {
        for (float knob : {0.0f, 0.3f, 1.0f}) {
            SCOPED_TRACE(testing::Message() << rate << " Hz, knob " << knob);
            VoiceEnvelope env;
            env.setRates(rate, knob, knob, knob);
            const double attackTime = 0.6 * knob * knob + 0.0006, decayTime = 6.0 * knob * knob + 0.0012;
            const auto slack = [&](double seconds) { return 2.0 + 0.01 * rate * seconds; };

            env.start();
            EXPECT_NEAR(samplesIn(env, VoiceEnvelope::Attack), nominal(rate, attackTime), slack(attackTime));
            ASSERT_EQ(env.stage(), VoiceEnvelope::Decay);
            const float top = env.level();
            const int decay = stepWhile(env, [&] { return env.level() > VoiceEnvelope::kThreshold; });
            EXPECT_NEAR(decay, nominal(rate, decayTime, top), slack(decayTime));
            std::vector<float> tail(1000, 1.0f);
            applyEnvelope(env, tail.data(), 1000);
            EXPECT_EQ(env.stage(), VoiceEnvelope::Decay);  // never ends by itself

            // Release from the top of an attack, then one sample of Fade.
            env.start();
            samplesIn(env, VoiceEnvelope::Attack);
            env.setStage(VoiceEnvelope::Release);
            EXPECT_NEAR(samplesIn(env, VoiceEnvelope::Release), nominal(rate, decayTime, env.level()),
                        slack(decayTime));
            EXPECT_EQ(samplesIn(env, VoiceEnvelope::Fade), 1);
            EXPECT_EQ(env.stage(), VoiceEnvelope::Idle);

            // A reserve fade lasts 0.6 ms whatever the knobs.
            env.start();
            samplesIn(env, VoiceEnvelope::Attack);
            env.setStage(VoiceEnvelope::Fade);
            EXPECT_NEAR(samplesIn(env, VoiceEnvelope::Fade), nominal(rate, 0.0006, env.level()), 2.0);
        }
    }
}

TEST(VoiceEnvelope, ReleaseFallsFromWhereverTheLevelIs) {
    VoiceEnvelope env;
    env.setRates(88200.0f, 1.0f, 1.0f, 0.1f);
    env.start();
    std::vector<float> ones(2000, 1.0f);
    applyEnvelope(env, ones.data(), 2000);
    ASSERT_EQ(env.stage(), VoiceEnvelope::Attack);
    ASSERT_GT(env.level(), 0.05f);

    // Released during the attack: falls at once, never reaches Decay.
    env.setStage(VoiceEnvelope::Release);
    float previous = env.level();
    stepWhile(env, [&] {
        EXPECT_NE(env.stage(), VoiceEnvelope::Decay);
        EXPECT_LE(env.level(), previous);
        previous = env.level();
        return env.stage() != VoiceEnvelope::Idle;
    });

    // Released under the threshold: one sample of Release, one of Fade, then zeros.
    env.setRates(88200.0f, 1.0f, 1.0f, 1.0f);  // slowest attack: tiny steps
    env.start();
    stepWhile(env, [&] { return env.level() < 0.005f; });
    ASSERT_LT(env.level(), VoiceEnvelope::kThreshold);
    env.setStage(VoiceEnvelope::Release);
    float out[3] = {1.0f, 1.0f, 1.0f};
    applyEnvelope(env, out, 1);
    EXPECT_EQ(env.stage(), VoiceEnvelope::Fade);
    EXPECT_EQ(out[0], env.level());
    applyEnvelope(env, out + 1, 2);
    EXPECT_EQ(env.stage(), VoiceEnvelope::Idle);
    EXPECT_GT(out[1], 0.0f);
    EXPECT_EQ(out[2], 0.0f);
}

TEST(VoiceEnvelope, IdleOutputsExactZeros) {
    VoiceEnvelope env;  // a new envelope is idle
    std::vector<float> samples{1.0f, -1.0f, 3.0e38f, -1e-40f, 0.25f};
    applyEnvelope(env, samples.data(), static_cast<int>(samples.size()));
    EXPECT_EQ(samples, std::vector<float>(5, 0.0f));
    EXPECT_TRUE(env.finished());
}
