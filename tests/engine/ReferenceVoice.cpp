#include "tests/engine/ReferenceVoice.h"

#include <bit>
#include <cmath>

namespace {

constexpr auto kRelaxed = std::memory_order_relaxed;
constexpr float kTable = static_cast<float>(ReferenceVoice::kTableLength);
constexpr float kExcitationSmoothing = 0.7f;  // 0x3F333333
constexpr float kKeyStep = 0.020833334f;      // nearest float to 1/48
constexpr int kKeyLowNote = 36;               // engine notes 36..84 span the Key range
constexpr int kKeySpan = 48;

static_assert(std::bit_cast<std::uint32_t>(kExcitationSmoothing) == 0x3F333333u);
static_assert(std::bit_cast<std::uint32_t>(2.3283064e-10f) == 0x2F800000u);  // 2^-32

}  // namespace

ReferenceVoice::ReferenceVoice(const std::atomic<float>* params, const float* noteFrequency,
                               const float* sawTable, const float* squareTable,
                               std::uint32_t* noiseState) noexcept
    : params(params),
      noteFrequency(noteFrequency),
      sawTable(sawTable),
      squareTable(squareTable),
      noiseState(noiseState) {}

void ReferenceVoice::setEnvelopeRates(float attack, float decay, float release) noexcept {
    env.setRates(sampleRate(), attack, decay, release);
}

void ReferenceVoice::start(float velocity, int note) noexcept {
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
        table[i] = f1;
    }
    // The smoothing passes continue from where the pre-filter stopped.
    filterState[0] = f0;
    filterState[1] = f1;
    table[kTableLength] = table[0];

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

void applyEnvelope(VoiceEnvelope& env, float* buffer, int count) noexcept {
    int stage = env.stage();
    float level = env.level();
    for (int j = 0; j < count; ++j) {
        if (stage == VoiceEnvelope::Idle) {
            buffer[j] = buffer[j] * 0.0f;
            continue;
        }
        // Rates are re-read every sample: another thread may change them.
        const float target = VoiceEnvelope::kTarget[stage];
        level = (target - level) * env.rate(stage) + level;
        // A NaN distance compares false and never ends a stage.
        if (std::fabs(level - target) <= VoiceEnvelope::kThreshold && stage != VoiceEnvelope::Decay) ++stage;
        buffer[j] = buffer[j] * level;
    }
    env.hold(stage, level);
}

void ReferenceVoice::smooth() noexcept {
    const float c = dampingCoefficient;
    float f0 = filterState[0];
    float f1 = filterState[1];
    for (int i = 0; i < kTableLength; ++i) {
        f0 = (table[i] - f0) * c + f0;
        f1 = (f0 - f1) * c + f1;
        table[i] = f1;
    }
    filterState[0] = f0;
    filterState[1] = f1;
    table[kTableLength] = table[0];
}

void ReferenceVoice::render(int count, float* voiceBuffer, float* mixBuffer) noexcept {
    if (!isActive || count < 1) return;

    float p0 = phases[0];
    float p1 = phases[1];
    float p2 = phases[2];
    const float inc0 = increments[0];
    const float inc1 = increments[1];
    const float inc2 = increments[2];
    const float amplitude = velocityGain;
    const std::atomic<float>& volume = params[VoiceParameter::Volume];

    for (int j = 0; j < count; ++j) {
        // Head 0 is read before the advance, the detuned heads after it.
        const float r0 = interpolate(table, p0);
        p0 = inc0 + p0;
        p1 = inc1 + p1;
        p2 = inc2 + p2;
        if (p1 > kTable) p1 = p1 - kTable;
        if (p2 > kTable) p2 = p2 - kTable;
        if (p0 > kTable) {
            p0 = p0 - kTable;
            smooth();
        }
        const float r1 = interpolate(table, p1);
        const float r2 = interpolate(table, p2);
        const float x = ((r0 + r1 * 0.5f) + r2 * 0.5f) * amplitude * volume.load(kRelaxed);
        // x clipped to -1..+1 without a branch.
        voiceBuffer[j] = (std::fabs(x + 1.0f) - std::fabs(x - 1.0f)) * 0.5f;
    }
    phases[0] = p0;
    phases[1] = p1;
    phases[2] = p2;

    applyEnvelope(env, voiceBuffer, count);
    isActive = !env.finished();
    for (int j = 0; j < count; ++j) mixBuffer[j] = voiceBuffer[j] + mixBuffer[j];
}
