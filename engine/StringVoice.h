#pragma once

#include <atomic>
#include <cstdint>

#include "engine/VoiceEnvelope.h"

// The knobs the voices read, in the engine's numbering (the instrument maps
// its parameters to these).
namespace VoiceParameter {
enum : int { Noise = 0, Saw, Square, PreFilter, Damp, Velocity, Key, Attack, Decay, Release, Detune, Volume, Count };
}

// One voice of the engine: a struck string modelled as a single-period
// wavetable. A note start fills the table with an excitation (noise plus a
// square and a ramp shape, smoothed by a velocity-dependent pre-filter); the
// table is then read by three interpolating heads (one at pitch, two
// detuned) and low-pass smoothed once per period of the main head, so the
// tone darkens and decays. Output is scaled, clipped to -1..+1 and shaped by
// the voice's envelope. Everything runs at the engine rate.
//
// This class holds one voice's state and builds its string at a note start;
// the engine renders all voices together, side by side in SIMD lanes
// (engine/VoiceLanes.h). The voice's two tables live in the engine's lane
// bank: the one the heads read, and the next period's, computed ahead of the
// moment head 0 wraps (the smoothing pass depends only on the table and the
// filter state, so it can run early, together with other voices' passes).
class StringVoice {
public:
    static constexpr int kTableLength = 511;            // one period
    static constexpr int kWaveSize = kTableLength + 1;  // plus a copy of entry 0
    static constexpr int kNoteTableSize = 128;
    static constexpr float kDefaultSampleRate = 44100.0f;
    static constexpr std::uint32_t kNoiseSeed = 656446u;

    // All pointers are borrowed from the owner and must outlive the voice.
    // `params` holds the VoiceParameter values; `noiseState` is the owner's
    // noise generator, shared by its voices.
    // `tables` is the voice's place in the lane bank: entry i of table t is
    // tables[t * kTableOffset + i].
    StringVoice(const std::atomic<float>* params, const float* noteFrequency, const float* sawTable,
                const float* squareTable, std::uint32_t* noiseState, float* tables) noexcept;

    StringVoice(const StringVoice&) = delete;
    StringVoice& operator=(const StringVoice&) = delete;

    // Distance between the voice's two tables in the lane bank (a little more
    // than a table, so that the voices' tables do not share cache sets).
    static constexpr int kTableOffset = kWaveSize + 16;

    // Builds the string for `note` (engine note, MIDI - 12) and starts the envelope.
    void start(float velocity, int note) noexcept;

    // One draw of the noise generator: advances `state` and returns the new
    // state as a signed value scaled into -0.5..0.5.
    static float drawNoise(std::uint32_t& state) noexcept {
        const std::uint32_t low = state & 1u;
        const std::uint32_t high = state >> 1;
        state = low * 1588635695u - high * 1117695901u;  // 0x5EB0A82F, 0x429EAF9D
        return static_cast<float>(static_cast<std::int32_t>(state)) * 2.3283064e-10f;
    }

    // Ends a table whose entries 0..510 are written: entry 511 repeats entry 0,
    // and the padding entry after it lies one below entry 511, so that a read
    // at exactly 511.0 that skips the range check still gives entry 511
    // ((e512 - e511) * 0 is -0, and e511 + -0 is e511 whatever its sign).
    static void closeTable(float* wave) noexcept {
        wave[kTableLength] = wave[0];
        wave[kTableLength + 1] = wave[kTableLength] - 1.0f;
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
    const VoiceEnvelope& envelope() const noexcept { return env; }

private:
    // The lanes render the voice and keep its state between blocks.
    friend struct VoiceLanes;

    float velocityGain = 0.0f;
    std::atomic<float> engineRate{kDefaultSampleRate};
    bool isActive = false;
    bool isReleased = false;
    bool wasUsed = false;
    int currentNote = 0;
    VoiceEnvelope env;
    float phases[3] = {};
    float increments[3] = {};
    // Filter state after the latest table computed (the next one once it is ready).
    float filterState[2] = {};
    float dampingCoefficient = 0.0f;
    int currentTable = 0;    // 0 or 1: the table the heads read
    bool nextReady = false;  // the other table holds the next period
    const std::atomic<float>* params;
    const float* noteFrequency;
    const float* sawTable;
    const float* squareTable;
    std::uint32_t* noiseState;
    float* tables;
};
