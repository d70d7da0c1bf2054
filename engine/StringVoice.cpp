#include "engine/StringVoice.h"

#include <bit>
#include <cmath>

namespace {

constexpr auto kRelaxed = std::memory_order_relaxed;
constexpr float kTable = static_cast<float>(StringVoice::kTableLength);
constexpr float kExcitationSmoothing = 0.7f;  // 0x3F333333
constexpr float kKeyStep = 0.020833334f;      // nearest float to 1/48
constexpr int kKeyLowNote = 36;               // engine notes 36..84 span the Key range
constexpr int kKeySpan = 48;

static_assert(std::bit_cast<std::uint32_t>(kExcitationSmoothing) == 0x3F333333u);
static_assert(std::bit_cast<std::uint32_t>(2.3283064e-10f) == 0x2F800000u);  // 2^-32

}  // namespace

StringVoice::StringVoice(const std::atomic<float>* params, const float* noteFrequency, const float* sawTable,
                         const float* squareTable, std::uint32_t* noiseState, float* tables) noexcept
    : params(params),
      noteFrequency(noteFrequency),
      sawTable(sawTable),
      squareTable(squareTable),
      noiseState(noiseState),
      tables(tables) {}

void StringVoice::setEnvelopeRates(float attack, float decay, float release) noexcept {
    env.setRates(sampleRate(), attack, decay, release);
}

void StringVoice::start(float velocity, int note) noexcept {
    velocityGain = velocity * velocity;
    env.start();
    currentNote = note;
    isActive = true;
    isReleased = false;
    filterState[0] = 0.0f;
    filterState[1] = 0.0f;

    const float rnd = params[VoiceParameter::Noise].load(kRelaxed);
    const float saw = params[VoiceParameter::Saw].load(kRelaxed);
    const float sqr = params[VoiceParameter::Square].load(kRelaxed);
    const float preFilter = params[VoiceParameter::PreFilter].load(kRelaxed);
    const float damp = params[VoiceParameter::Damp].load(kRelaxed);
    const float vel = params[VoiceParameter::Velocity].load(kRelaxed);
    const float key = params[VoiceParameter::Key].load(kRelaxed);
    const float detune = params[VoiceParameter::Detune].load(kRelaxed);

    // Key tracking of the losses: full Damp at the bottom of the range, none at the top.
    int k = note - kKeyLowNote;
    k = k < 0 ? 0 : (k > kKeySpan ? kKeySpan : k);
    dampingCoefficient = ((1.0f - static_cast<float>(k) * kKeyStep) * damp - damp) * key + damp;

    // Pre-filter: Vel blends from a fixed cutoff to one that falls with velocity squared.
    const float pf = preFilter * 0.5f;
    const float g = (velocityGain * pf - pf) * vel + pf;

    // The table the heads read; the next period's is computed before head 0 wraps.
    float* wave = tables + currentTable * kTableOffset;
    std::uint32_t noise = *noiseState;
    float s = 0.0f;
    float f0 = 0.0f;
    float f1 = 0.0f;
    for (int i = 0; i < kTableLength; ++i) {
        float raw = drawNoise(noise) * rnd;
        raw = squareTable[i] * sqr * 0.3f + raw;
        raw = sawTable[i] * saw * 0.3f + raw;
        s = (raw - s) * kExcitationSmoothing + s;
        f0 = (s - f0) * g + f0;
        f1 = (f0 - f1) * g + f1;
        wave[i] = f1;
    }
    // The smoothing passes continue from where the pre-filter stopped.
    filterState[0] = f0;
    filterState[1] = f1;
    closeTable(wave);
    nextReady = false;

    // The detuned heads start at random points, up to Detune * 250 entries in.
    phases[0] = 0.0f;
    const float d1 = drawNoise(noise);
    const float d2 = drawNoise(noise);
    phases[1] = std::fabs(d1) * detune * 500.0f;
    phases[2] = std::fabs(d2) * detune * 500.0f;
    *noiseState = noise;

    // Junk notes outside the MIDI range play at the nearest end of the table.
    int index = note + 12;
    index = index < 0 ? 0 : (index >= kNoteTableSize ? kNoteTableSize - 1 : index);
    const float f = noteFrequency[index];
    const float sr = sampleRate();
    increments[0] = kTable / (sr / f);
    // Head 1 plays at f / (1 + 0.74d + 0.26d^2), head 2 the same with -d.
    float d = detune * 0.01f;
    float r = (d * 0.26f + 0.74f) * d + 1.0f;
    increments[1] = kTable / (r / f * sr);
    d = detune * -0.01f;
    r = (d * 0.26f + 0.74f) * d + 1.0f;
    increments[2] = kTable / (r / f * sr);
}
