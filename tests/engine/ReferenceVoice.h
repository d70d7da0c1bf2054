// The scalar string voice of the reference engine (see ReferenceEngine.h).
#pragma once

#include <atomic>
#include <cstdint>

#include "engine/StringVoice.h"
#include "engine/VoiceEnvelope.h"

// Multiplies `count` samples in place by the envelope, one step per sample:
// the envelope as the scalar engine ran it.
void applyEnvelope(VoiceEnvelope& env, float* buffer, int count) noexcept;

// One voice of the engine: a struck string modelled as a single-period
// wavetable. A note start fills the table with an excitation (noise plus a
// square and a ramp shape, smoothed by a velocity-dependent pre-filter); the
// table is then read by three interpolating heads (one at pitch, two
// detuned) and low-pass smoothed once per period of the main head, so the
// tone darkens and decays. Output is scaled, clipped to -1..+1 and shaped by
// the voice's envelope. Everything runs at the engine rate.
class ReferenceVoice {
public:
    static constexpr int kTableLength = 511;            // one period
    static constexpr int kWaveSize = kTableLength + 1;  // plus a copy of entry 0
    static constexpr int kNoteTableSize = 128;
    static constexpr float kDefaultSampleRate = 44100.0f;
    static constexpr std::uint32_t kNoiseSeed = 656446u;

    // All pointers are borrowed from the owner and must outlive the voice.
    // `params` holds the VoiceParameter values; `noiseState` is the owner's
    // noise generator, shared by its voices.
    ReferenceVoice(const std::atomic<float>* params, const float* noteFrequency, const float* sawTable,
                   const float* squareTable, std::uint32_t* noiseState) noexcept;

    ReferenceVoice(const ReferenceVoice&) = delete;
    ReferenceVoice& operator=(const ReferenceVoice&) = delete;

    // Builds the string for `note` (engine note, MIDI - 12) and starts the envelope.
    void start(float velocity, int note) noexcept;

    // Adds `count` samples into mixBuffer, using voiceBuffer (>= count entries)
    // as work space. Does nothing while inactive.
    void render(int count, float* voiceBuffer, float* mixBuffer) noexcept;

    // One draw of the noise generator: advances `state` and returns the new
    // state as a signed value scaled into -0.5..0.5.
    static float drawNoise(std::uint32_t& state) noexcept {
        const std::uint32_t low = state & 1u;
        const std::uint32_t high = state >> 1;
        state = low * 1588635695u - high * 1117695901u;  // 0x5EB0A82F, 0x429EAF9D
        return static_cast<float>(static_cast<std::int32_t>(state)) * 2.3283064e-10f;
    }

    // Linear read of the table at position p (0..511). Positions outside the
    // table (which a sane rate and detune never produce) read entry 511
    // instead of memory beyond the table; exactly 511.0 reads entry 511.
    static float interpolate(const float* wave, float p) noexcept {
        if (!(p > -1.0f && p < static_cast<float>(kTableLength))) return wave[kTableLength];
        const int i = static_cast<int>(p);
        return (wave[i + 1] - wave[i]) * (p - static_cast<float>(i)) + wave[i];
    }

    // Engine-side control.
    void setSampleRate(float rate) noexcept { engineRate.store(rate, std::memory_order_relaxed); }
    float sampleRate() const noexcept { return engineRate.load(std::memory_order_relaxed); }
    // Envelope rates from the engine rate and the Attack, Decay and Release values.
    void setEnvelopeRates(float attack, float decay, float release) noexcept;
    void markUsed() noexcept { wasUsed = true; }
    void release() noexcept {
        isReleased = true;
        env.setStage(VoiceEnvelope::Release);
    }
    // Taken as the engine's reserve: fades out quickly from its current level.
    void fadeAsReserve() noexcept {
        isReleased = true;
        env.setStage(VoiceEnvelope::Fade);
    }
    void silence() noexcept { isActive = false; }

    // Read-only state.
    bool active() const noexcept { return isActive; }
    bool released() const noexcept { return isReleased; }
    bool used() const noexcept { return wasUsed; }
    int note() const noexcept { return currentNote; }
    float amplitude() const noexcept { return velocityGain; }
    float damping() const noexcept { return dampingCoefficient; }
    float phase(int head) const noexcept { return phases[head]; }
    float increment(int head) const noexcept { return increments[head]; }
    const float* wave() const noexcept { return table; }
    const VoiceEnvelope& envelope() const noexcept { return env; }

private:
    // One low-pass pass over the whole period, continuing the filter states.
    void smooth() noexcept;

    float velocityGain = 0.0f;
    std::atomic<float> engineRate{kDefaultSampleRate};
    bool isActive = false;
    bool isReleased = false;
    bool wasUsed = false;
    int currentNote = 0;
    VoiceEnvelope env;
    float table[kWaveSize] = {};
    float phases[3] = {};
    float increments[3] = {};
    float filterState[2] = {};
    float dampingCoefficient = 0.0f;
    const std::atomic<float>* params;
    const float* noteFrequency;
    const float* sawTable;
    const float* squareTable;
    std::uint32_t* noiseState;
};
