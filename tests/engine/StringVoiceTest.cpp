#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "tests/engine/EngineTestSupport.h"
#include "tests/engine/ReferenceVoice.h"

namespace {

// One voice on its own: the engine's tables, private parameters and noise.
struct VoiceRig {
    VoiceEngine tables;
    std::array<std::atomic<float>, VoiceEngine::kParamCount> params{};
    std::uint32_t noise = StringVoice::kNoiseSeed;
    ReferenceVoice voice{params.data(), tables.noteFrequencyTable(), tables.sawTable(), tables.squareTable(),
                         &noise};

    explicit VoiceRig(float rate = 88200.0f) {
        for (int i = 0; i < VoiceEngine::kParamCount; ++i) params[i] = kTestProgram[i];
        voice.setSampleRate(rate);
        voice.setEnvelopeRates(kTestProgram[VoiceParameter::Attack], kTestProgram[VoiceParameter::Decay],
                               kTestProgram[VoiceParameter::Release]);
    }
    std::vector<float> render(int count) {
        std::vector<float> work(count), mix(count, 0.0f);
        voice.render(count, work.data(), mix.data());
        return mix;
    }
    std::vector<float> wave() const { return {voice.wave(), voice.wave() + StringVoice::kWaveSize}; }
    float increment(int head) const { return voice.increment(head); }
};

double rms(const std::vector<float>& s) {
    double sum = 0.0;
    for (int i = 0; i < StringVoice::kTableLength; ++i) sum += double(s[i]) * s[i];
    return std::sqrt(sum / StringVoice::kTableLength);
}

double cents(double ratio) { return 1200.0 * std::log2(ratio); }

// Frequency of the strongest component within 1.2 Hz of `near`: the peak of the
// Hann-windowed spectrum, located to 1e-5 Hz.
double spectralPeak(const std::vector<float>& sound, double rate, double near) {
    const double pi = 3.14159265358979323846;
    std::vector<double> windowed(sound.size());
    for (std::size_t i = 0; i < sound.size(); ++i)
        windowed[i] =
            sound[i] *
            (0.5 - 0.5 * std::cos(2.0 * pi * static_cast<double>(i) / static_cast<double>(sound.size())));
    const auto power = [&](double f) {  // Goertzel
        const double coeff = 2.0 * std::cos(2.0 * pi * f / rate);
        double s1 = 0.0, s2 = 0.0;
        for (double x : windowed) {
            const double s0 = x + coeff * s1 - s2;
            s2 = s1;
            s1 = s0;
        }
        return s1 * s1 + s2 * s2 - coeff * s1 * s2;
    };
    double best = near, bestPower = power(near);
    for (double f = near - 1.2; f <= near + 1.2; f += 0.02) {
        const double p = power(f);
        if (p > bestPower) best = f, bestPower = p;
    }
    double lo = best - 0.03, hi = best + 0.03;  // inside the main lobe: one maximum
    const double g = (std::sqrt(5.0) - 1.0) / 2.0;
    while (hi - lo > 1e-5) {
        const double a = hi - g * (hi - lo), b = lo + g * (hi - lo);
        if (power(a) < power(b))
            lo = a;
        else
            hi = b;
    }
    return (lo + hi) / 2.0;
}

}  // namespace

TEST(StringVoice, NoiseGeneratorSequence) {
    std::uint32_t state = StringVoice::kNoiseSeed;
    for (std::uint32_t expected : {1129873917u, 1591421545u, 3781532491u}) {
        const float value = StringVoice::drawNoise(state);
        EXPECT_EQ(state, expected);
        EXPECT_EQ(value, static_cast<float>(static_cast<std::int32_t>(expected)) * 0x1p-32f);
    }
    // A note start draws 511 times for the table and twice for the detuned heads.
    VoiceRig rig;
    std::uint32_t after = StringVoice::kNoiseSeed;
    for (int i = 0; i < 513; ++i) StringVoice::drawNoise(after);
    rig.voice.start(1.0f, 48);
    EXPECT_EQ(rig.noise, after);
}

TEST(StringVoice, ExcitationFollowsShapeAndFilterParameters) {
    for (int silencer : {int{VoiceParameter::PreFilter}, -1}) {  // no pre-filter, or no source
        VoiceRig rig;
        if (silencer >= 0)
            rig.params[silencer] = 0.0f;
        else
            rig.params[VoiceParameter::Noise] = rig.params[VoiceParameter::Saw] = rig.params[VoiceParameter::Square] = 0.0f;
        rig.voice.start(1.0f, 48);
        EXPECT_EQ(rig.wave(), std::vector<float>(StringVoice::kWaveSize, 0.0f));
        EXPECT_EQ(rig.render(1000), std::vector<float>(1000, 0.0f));
    }
    {  // square alone, filter wide open: -0.09 then +0.09 (shape x 0.3)
        VoiceRig rig;
        for (auto& p : rig.params) p = 0.0f;
        rig.params[VoiceParameter::Square] = 1.0f;
        rig.params[VoiceParameter::PreFilter] = 2.0f;
        rig.voice.start(1.0f, 48);
        EXPECT_NEAR(rig.wave()[200], -0.09f, 1e-6f);
        EXPECT_NEAR(rig.wave()[500], 0.09f, 1e-6f);
        EXPECT_EQ(rig.wave()[511], rig.wave()[0]);
    }
    // Vel 0: the table ignores velocity. Vel 1: a soft note's table is weaker.
    VoiceRig loud, soft, loudVel, softVel;
    loud.params[VoiceParameter::Velocity] = soft.params[VoiceParameter::Velocity] = 0.0f;
    loudVel.params[VoiceParameter::Velocity] = softVel.params[VoiceParameter::Velocity] = 1.0f;
    for (VoiceRig* r : {&loud, &loudVel}) r->voice.start(1.0f, 48);
    for (VoiceRig* r : {&soft, &softVel}) r->voice.start(0.3f, 48);
    EXPECT_EQ(loud.wave(), soft.wave());
    EXPECT_LT(rms(softVel.wave()), 0.6 * rms(loudVel.wave()));
}

TEST(StringVoice, DampingSetsTheStringLosses) {
    {  // Damp 0: after one period the string holds the excitation's last value
        VoiceRig rig;
        rig.params[VoiceParameter::Damp] = 0.0f;
        rig.voice.start(1.0f, 48);
        const float last = rig.wave()[510];
        ASSERT_NE(last, 0.0f);
        rig.render(2000);
        EXPECT_EQ(rig.wave(), std::vector<float>(StringVoice::kWaveSize, last));
    }
    {  // Damp 1, Key 0: a second of passes leaves the string as it is
        VoiceRig rig;
        rig.params[VoiceParameter::Damp] = 1.0f;
        rig.params[VoiceParameter::Key] = 0.0f;
        rig.voice.start(1.0f, 48);
        EXPECT_EQ(rig.voice.damping(), 1.0f);
        const auto before = rig.wave();
        rig.render(88200);
        for (int i = 0; i < StringVoice::kWaveSize; ++i) EXPECT_NEAR(rig.wave()[i], before[i], 1e-5f);
    }
    // Key 1: full Damp up to engine note 36, none from note 84.
    VoiceRig rig;
    rig.params[VoiceParameter::Damp] = 0.8f;
    rig.params[VoiceParameter::Key] = 1.0f;
    for (auto [note, damping] : {std::pair{0, 0.8f}, {36, 0.8f}, {60, 0.4f}, {84, 0.0f}, {110, 0.0f}}) {
        rig.voice.start(1.0f, note);
        EXPECT_NEAR(rig.voice.damping(), damping, 1e-6f) << note;
    }
}

TEST(StringVoice, HeadsPlayAtPitchAndDetuneInCents) {
    {  // Full Detune heard: Damp 1 and Key 0 keep the string as it is, and the
       // detuned heads sound 12.8 cents below and above A4.
        VoiceEngine e;
        VoiceProgram program = kTestProgram;
        program[VoiceParameter::Noise] = program[VoiceParameter::Square] = 0.0f;
        program[VoiceParameter::Saw] = program[VoiceParameter::Damp] = program[VoiceParameter::Detune] = 1.0f;
        program[VoiceParameter::Key] = program[VoiceParameter::Attack] = 0.0f;
        program[VoiceParameter::Decay] = 1.0f;
        loadProgram(e, program);
        e.setSampleRate(88200.0f);
        e.noteOn(0, 57, 1.0f);
        std::vector<float> sound;
        for (int block = 0; block < 3 * 88200 / 4096; ++block) {
            const auto out = renderBlock(e, 4096);
            sound.insert(sound.end(), out.begin(), out.end());
        }
        const double centre = spectralPeak(sound, 88200.0, 440.0);
        EXPECT_NEAR(centre, 440.0, 0.01);
        EXPECT_NEAR(cents(spectralPeak(sound, 88200.0, 440.0 * std::exp2(-12.8 / 1200)) / centre), -12.8,
                    0.05);
        EXPECT_NEAR(cents(spectralPeak(sound, 88200.0, 440.0 * std::exp2(12.8 / 1200)) / centre), 12.8, 0.05);
    }
    VoiceRig rig;
    rig.params[VoiceParameter::Detune] = 1.0f;
    rig.voice.start(1.0f, 57);  // A4
    EXPECT_NEAR(rig.increment(0) * 88200.0 / 511.0, 440.0, 1e-3);
    for (int head : {1, 2}) {
        EXPECT_GE(rig.voice.phase(head), 0.0f);
        EXPECT_LE(rig.voice.phase(head), 250.0f);
    }
    // Detune 0: three heads at one pitch, from position 0; lowest and highest notes.
    rig.params[VoiceParameter::Detune] = 0.0f;
    const float* freq = rig.tables.noteFrequencyTable();
    for (int note : {-12, 57, 115}) {
        rig.voice.start(1.0f, note);
        EXPECT_NEAR(rig.increment(0) * 88200.0 / 511.0, freq[note + 12], freq[note + 12] * 1e-6);
        EXPECT_NEAR(rig.increment(1), rig.increment(0), rig.increment(0) * 1e-6f);
        EXPECT_EQ(rig.increment(1), rig.increment(2));
        EXPECT_EQ(rig.voice.phase(1) + rig.voice.phase(2), 0.0f);
    }
    // Notes beyond the MIDI range play at the nearest end of the table.
    rig.voice.start(1.0f, 300);
    const float top = rig.increment(0);
    rig.voice.start(1.0f, 115);
    EXPECT_EQ(rig.increment(0), top);
    // A new rate reaches the next note.
    rig.voice.setSampleRate(192000.0f);
    rig.voice.start(1.0f, 57);
    EXPECT_NEAR(rig.increment(0) * 192000.0 / 511.0, 440.0, 1e-3);
}

TEST(StringVoice, PhaseOnExactly511ReadsTheLastEntryAndWrapsAfterIt) {
    VoiceRig rig(511.0f * 440.0f);  // head 0 steps exactly one entry per sample
    rig.voice.start(1.0f, 57);
    ASSERT_EQ(rig.increment(0), 1.0f);
    const auto fresh = rig.wave();
    rig.render(511);
    EXPECT_EQ(rig.voice.phase(0), 511.0f);
    EXPECT_EQ(rig.wave(), fresh);  // no smoothing pass yet
    rig.render(1);
    EXPECT_EQ(rig.voice.phase(0), 1.0f);
    EXPECT_NE(rig.wave(), fresh);

    // Nothing past the table is read, whatever the position.
    std::vector<float> wave(StringVoice::kWaveSize + 1, std::numeric_limits<float>::quiet_NaN());
    for (int i = 0; i < StringVoice::kWaveSize; ++i) wave[i] = 0.25f * static_cast<float>(i);
    EXPECT_EQ(ReferenceVoice::interpolate(wave.data(), 511.0f), 127.75f);
    EXPECT_EQ(ReferenceVoice::interpolate(wave.data(), 510.5f), 127.625f);
    EXPECT_EQ(ReferenceVoice::interpolate(wave.data(), 100.25f), 25.0625f);
    EXPECT_EQ(ReferenceVoice::interpolate(wave.data(), 0.0f), 0.0f);
    for (float odd :
         {1e9f, std::numeric_limits<float>::infinity(), std::numeric_limits<float>::quiet_NaN(), -5.0f})
        EXPECT_EQ(ReferenceVoice::interpolate(wave.data(), odd), wave[511]);
}

TEST(StringVoice, OutputIsClippedAtExtremeVolume) {
    for (int note : {-12, 48, 115}) {
        VoiceRig rig;
        rig.params[VoiceParameter::Volume] = 100.0f;
        rig.voice.start(1.0f, note);
        float peak = 0.0f;
        for (float s : rig.render(20000)) {
            ASSERT_TRUE(std::isfinite(s));
            peak = std::fmax(peak, std::fabs(s));
        }
        EXPECT_LE(peak, 1.0f) << note;
        EXPECT_GT(peak, 0.9f) << note;  // full scale, shaped only by the envelope
    }
}
