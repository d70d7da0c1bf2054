#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include <gtest/gtest.h>

#include "engine/StringVoice.h"
#include "tests/engine/EngineTestSupport.h"

namespace {

// One voice on its own, with the engine's tables and a private parameter
// array and noise generator.
struct VoiceRig {
    VoiceEngine tables;
    std::array<std::atomic<float>, 16> params{};
    std::uint32_t noise = StringVoice::kNoiseSeed;
    StringVoice voice{params.data(), tables.noteFrequencyTable(), tables.sawTable(), tables.squareTable(), &noise};

    explicit VoiceRig(float rate = 88200.0f, std::array<float, 16> program = kTestProgram)
    {
        for (int i = 0; i < 16; ++i)
            params[i] = program[i];
        voice.setSampleRate(rate);
        voice.setEnvelopeRates(program[10], program[11], program[12]);
    }
    void set(int index, float value) { params[index] = value; }
    void clear()
    {
        for (auto& p : params)
            p = 0.0f;
    }
    std::vector<float> render(int count)
    {
        std::vector<float> work(count), mix(count, 0.0f);
        voice.render(count, work.data(), mix.data());
        return mix;
    }
    std::vector<float> wave() const { return {voice.wave(), voice.wave() + StringVoice::kWaveSize}; }
};

double rms(const std::vector<float>& s, int from = 0, int to = StringVoice::kTableLength)
{
    double sum = 0.0;
    for (int i = from; i < to; ++i)
        sum += double(s[i]) * s[i];
    return std::sqrt(sum / (to - from));
}

// Level of the entry-to-entry steps relative to the level of the table.
double roughness(const std::vector<float>& s)
{
    std::vector<float> steps(StringVoice::kTableLength);
    for (int i = 0; i < StringVoice::kTableLength; ++i)
        steps[i] = s[i + 1] - s[i];
    return rms(steps) / rms(s);
}

double cents(double ratio) { return 1200.0 * std::log2(ratio); }

}  // namespace

TEST(StringVoice, NoiseGeneratorSequence)
{
    std::uint32_t state = StringVoice::kNoiseSeed;
    StringVoice::drawNoise(state);
    EXPECT_EQ(state, 1129873917u);
    StringVoice::drawNoise(state);
    EXPECT_EQ(state, 1591421545u);
    const float third = StringVoice::drawNoise(state);
    EXPECT_EQ(state, 3781532491u);
    EXPECT_EQ(third, -513434805.0f * 2.3283064e-10f);
    EXPECT_NEAR(third, -0.1195, 1e-4);

    // A note start takes 511 draws for the table and two for the detuned heads.
    VoiceRig rig;
    std::uint32_t expected = StringVoice::kNoiseSeed;
    for (int i = 0; i < 513; ++i)
        StringVoice::drawNoise(expected);
    rig.voice.start(1.0f, 48);
    EXPECT_EQ(rig.noise, expected);
}

TEST(StringVoice, ExcitationFollowsTheShapeAndFilterParameters)
{
    {  // no pre-filter: the string never moves
        VoiceRig rig;
        rig.set(StringVoice::PreFilter, 0.0f);
        rig.voice.start(1.0f, 48);
        for (float w : rig.wave())
            EXPECT_EQ(w, 0.0f);
        for (float s : rig.render(2000))
            EXPECT_EQ(s, 0.0f);
    }
    {  // no excitation source: silent as well
        VoiceRig rig;
        for (int p : {StringVoice::Rnd, StringVoice::Saw, StringVoice::Sqr})
            rig.set(p, 0.0f);
        rig.voice.start(1.0f, 48);
        for (float w : rig.wave())
            EXPECT_EQ(w, 0.0f);
    }
    {  // square alone, pre-filter wide open: -0.09 then +0.09, entry 511 copies entry 0
        VoiceRig rig;
        rig.clear();
        rig.set(StringVoice::Sqr, 1.0f);
        rig.set(StringVoice::PreFilter, 2.0f);
        rig.voice.start(1.0f, 48);
        const auto w = rig.wave();
        EXPECT_NEAR(w[200], -0.09f, 1e-6f);
        EXPECT_NEAR(w[500], 0.09f, 1e-6f);
        EXPECT_EQ(w[511], w[0]);
    }
    {  // ramp alone: rises from -0.15 to +0.15, lagging a little behind
        VoiceRig rig;
        rig.clear();
        rig.set(StringVoice::Saw, 1.0f);
        rig.set(StringVoice::PreFilter, 2.0f);
        rig.voice.start(1.0f, 48);
        const auto w = rig.wave();
        EXPECT_NEAR(w[255], 0.0f, 1e-3f);
        EXPECT_NEAR(w[510], 0.15f, 1e-3f);
        EXPECT_LT(w[100], w[101]);
    }
    {  // Vel 0: the table ignores velocity; Vel 1: soft notes are duller and quieter
        VoiceRig loudRig, softRig;
        loudRig.set(StringVoice::Vel, 0.0f);
        softRig.set(StringVoice::Vel, 0.0f);
        softRig.voice.start(0.3f, 48);
        loudRig.voice.start(1.0f, 48);
        EXPECT_EQ(loudRig.wave(), softRig.wave());
        VoiceRig loudVel, softVel;
        loudVel.set(StringVoice::Vel, 1.0f);
        softVel.set(StringVoice::Vel, 1.0f);
        softVel.voice.start(0.3f, 48);
        loudVel.voice.start(1.0f, 48);
        const auto soft = softVel.wave(), loud = loudVel.wave();
        EXPECT_LT(rms(soft), 0.6 * rms(loud));
        EXPECT_LT(roughness(soft), 0.6 * roughness(loud));
    }
}

TEST(StringVoice, DampingSetsTheStringLosses)
{
    {  // Damp 0: after one period the string holds a constant level
        VoiceRig rig;
        rig.set(StringVoice::Damp, 0.0f);
        rig.voice.start(1.0f, 48);
        const float last = rig.wave()[510];
        ASSERT_NE(last, 0.0f);
        rig.render(2000);  // several periods at 130 Hz
        for (float w : rig.wave())
            EXPECT_EQ(w, last);
    }
    {  // Damp 1, Key 0: the passes leave the string as it is
        VoiceRig rig;
        rig.set(StringVoice::Damp, 1.0f);
        rig.set(StringVoice::Key, 0.0f);
        rig.voice.start(1.0f, 48);
        EXPECT_EQ(rig.voice.damping(), 1.0f);
        const auto before = rig.wave();
        rig.render(88200);  // a second: about 130 passes
        const auto after = rig.wave();
        for (int i = 0; i < StringVoice::kWaveSize; ++i)
            EXPECT_NEAR(after[i], before[i], 1e-5f);
    }
    {  // Key 1: full Damp at engine note 36 and below, none from note 84 up
        VoiceRig rig;
        rig.set(StringVoice::Damp, 0.8f);
        rig.set(StringVoice::Key, 1.0f);
        const std::pair<int, float> expected[] = {{0, 0.8f}, {36, 0.8f}, {60, 0.4f}, {84, 0.0f}, {110, 0.0f}};
        for (auto [note, damping] : expected) {
            rig.voice.start(1.0f, note);
            EXPECT_NEAR(rig.voice.damping(), damping, 1e-6f) << "note " << note;
        }
    }
}

TEST(StringVoice, HeadsPlayAtPitchAndDetuneInCents)
{
    VoiceRig rig(88200.0f);
    const float* freq = rig.tables.noteFrequencyTable();
    rig.set(StringVoice::Detune, 1.0f);
    rig.voice.start(1.0f, 57);  // A4
    EXPECT_NEAR(rig.voice.increment(0) * 88200.0 / 511.0, 440.0, 1e-3);
    EXPECT_NEAR(cents(rig.voice.increment(1) / rig.voice.increment(0)), -cents(1.0 + 0.0074 + 0.000026), 0.01);
    EXPECT_NEAR(cents(rig.voice.increment(2) / rig.voice.increment(0)), -cents(1.0 - 0.0074 + 0.000026), 0.01);
    EXPECT_NEAR(cents(rig.voice.increment(1) / rig.voice.increment(0)), -12.8, 0.05);
    EXPECT_NEAR(cents(rig.voice.increment(2) / rig.voice.increment(0)), 12.8, 0.05);
    for (int head : {1, 2}) {
        EXPECT_GE(rig.voice.phase(head), 0.0f);
        EXPECT_LE(rig.voice.phase(head), 250.0f);
    }

    rig.set(StringVoice::Detune, 0.0f);
    for (int note : {-12, 20, 57, 115}) {
        rig.voice.start(1.0f, note);
        EXPECT_NEAR(rig.voice.increment(0) * 88200.0 / 511.0, freq[note + 12], freq[note + 12] * 1e-6);
        EXPECT_NEAR(rig.voice.increment(1), rig.voice.increment(0), rig.voice.increment(0) * 1e-6f);
        EXPECT_EQ(rig.voice.increment(1), rig.voice.increment(2));
        EXPECT_EQ(rig.voice.phase(1), 0.0f);
        EXPECT_EQ(rig.voice.phase(2), 0.0f);
    }
    // A rate change reaches the next note's pitch.
    rig.voice.setSampleRate(192000.0f);
    rig.voice.start(1.0f, 57);
    EXPECT_NEAR(rig.voice.increment(0) * 192000.0 / 511.0, 440.0, 1e-3);
}

TEST(StringVoice, PhaseOnExactly511ReadsTheLastEntryAndWrapsAfterIt)
{
    // 511 x 440 Hz: head 0 steps exactly one entry per sample.
    VoiceRig rig(224840.0f);
    rig.voice.start(1.0f, 57);
    ASSERT_EQ(rig.voice.increment(0), 1.0f);
    const auto fresh = rig.wave();
    rig.render(511);
    EXPECT_EQ(rig.voice.phase(0), 511.0f);
    EXPECT_EQ(rig.wave(), fresh);  // no smoothing pass yet
    rig.render(1);
    EXPECT_EQ(rig.voice.phase(0), 1.0f);
    EXPECT_NE(rig.wave(), fresh);

    // The read at 511.0 must not touch anything past the table.
    std::vector<float> wave(StringVoice::kWaveSize + 1, std::numeric_limits<float>::quiet_NaN());
    for (int i = 0; i < StringVoice::kWaveSize; ++i)
        wave[i] = 0.001f * i;
    EXPECT_EQ(StringVoice::interpolate(wave.data(), 511.0f), wave[511]);
    EXPECT_EQ(StringVoice::interpolate(wave.data(), 510.5f), (wave[511] - wave[510]) * 0.5f + wave[510]);
    EXPECT_EQ(StringVoice::interpolate(wave.data(), 0.0f), wave[0]);
    EXPECT_EQ(StringVoice::interpolate(wave.data(), std::numeric_limits<float>::infinity()), wave[511]);
    EXPECT_EQ(StringVoice::interpolate(wave.data(), std::numeric_limits<float>::quiet_NaN()), wave[511]);
}

TEST(StringVoice, OutputStaysClippedAtExtremeSettingsAndNotes)
{
    for (int note : {-12, 48, 115}) {
        SCOPED_TRACE(note);
        VoiceRig rig;
        rig.set(StringVoice::Volume, 100.0f);  // heads far beyond full scale
        rig.set(StringVoice::Damp, 1.0f);
        rig.voice.start(1.0f, note);
        const auto out = rig.render(20000);
        float peak = 0.0f;
        for (float s : out) {
            ASSERT_TRUE(std::isfinite(s));
            peak = std::max(peak, std::fabs(s));
        }
        EXPECT_LE(peak, 1.0f);
        EXPECT_GT(peak, 0.9f);  // clipped at full scale, shaped only by the envelope
        EXPECT_TRUE(rig.voice.active());
    }
    // Notes beyond the MIDI range play at the nearest end of the table.
    VoiceRig rig;
    rig.voice.start(1.0f, 300);
    const float top = rig.voice.increment(0);
    rig.voice.start(1.0f, 115);
    EXPECT_EQ(rig.voice.increment(0), top);
    rig.voice.start(1.0f, -100);
    const float bottom = rig.voice.increment(0);
    rig.voice.start(1.0f, -12);
    EXPECT_EQ(rig.voice.increment(0), bottom);
}

TEST(StringVoice, SilentVoiceAddsNothingAndEndsWhenIdle)
{
    VoiceRig rig;
    std::vector<float> work(64, 7.0f), mix(64, 0.5f);
    rig.voice.render(64, work.data(), mix.data());
    EXPECT_EQ(mix, std::vector<float>(64, 0.5f));

    rig.voice.start(1.0f, 48);
    rig.render(500);
    rig.voice.release();
    EXPECT_TRUE(rig.voice.released());
    rig.render(88200);  // release knob 0.3: about 0.5 s
    EXPECT_FALSE(rig.voice.active());
    EXPECT_EQ(rig.voice.envelope().stage(), VoiceEnvelope::Idle);
}
