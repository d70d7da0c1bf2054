#pragma once

#include <array>
#include <atomic>

// Amplitude envelope of one string voice: a five-stage exponential follower
// running at the engine rate. In each stage the level moves towards the
// stage's target by a fixed fraction per sample; a stage ends when the level
// comes within `kThreshold` of its target (Decay never ends by itself).
class VoiceEnvelope {
public:
    enum Stage : int { Attack = 0, Decay = 1, Release = 2, Fade = 3, Idle = 4 };
    static constexpr int kStageCount = 5;

    // Distance from a target at which a stage ends; also the fraction of the
    // distance left after one stage time (0x3C03126F).
    static constexpr float kThreshold = 0.008f;
    // Level each stage heads for. Decay aims just above zero so that a held
    // note never ends by itself.
    static constexpr std::array<float, kStageCount> kTarget{1.0f, 1e-15f, 0.0f, 0.0f, 0.0f};

    // How long the Attack, Decay and Release stages last, from their knobs
    // (0..1): 6 x (units + offset) seconds to come within kThreshold of the
    // target, the units being knob^2 / 10 for Attack and knob^2 for Decay and
    // Release; the offsets keep every stage a fraction of a millisecond long.
    // The sound works this out in float in exactly this order (setRates), the
    // display in double.
    template <typename T>
    static constexpr T attackUnits(T knob) noexcept {
        return knob * knob * T(0.1);
    }
    template <typename T>
    static constexpr T decayUnits(T knob) noexcept {
        return knob * knob;
    }
    template <typename T>
    static constexpr T attackOffset() noexcept {
        return T(0.0001);
    }
    template <typename T>
    static constexpr T decayOffset() noexcept {
        return T(0.0002);
    }
    template <typename T>
    static constexpr T secondsPerUnit() noexcept {
        return T(6);
    }
    template <typename T>
    static constexpr T attackSeconds(T knob) noexcept {
        return secondsPerUnit<T>() * (attackUnits(knob) + attackOffset<T>());
    }
    template <typename T>
    static constexpr T decaySeconds(T knob) noexcept {
        return secondsPerUnit<T>() * (decayUnits(knob) + decayOffset<T>());
    }

    VoiceEnvelope() noexcept;

    // Per-sample coefficients from the engine rate and the Attack, Decay and
    // Release knobs (Release lasts as Decay does). May run on any thread while
    // the audio thread processes.
    void setRates(float sampleRate, float attack, float decay, float release) noexcept;

    // Note start: Attack from silence.
    void start() noexcept {
        currentStage = Attack;
        currentLevel = 0.0f;
    }
    // Release and Fade carry the level over from wherever it is.
    void setStage(Stage stage) noexcept { currentStage = stage; }
    // Where the renderer leaves the envelope after its samples.
    void hold(int stage, float level) noexcept {
        currentStage = stage;
        currentLevel = level;
    }

    int stage() const noexcept { return currentStage; }
    float level() const noexcept { return currentLevel; }
    bool finished() const noexcept { return currentStage == Idle; }
    float rate(int stage) const noexcept { return rates[stage].load(std::memory_order_relaxed); }

private:
    std::array<std::atomic<float>, kStageCount> rates;
    int currentStage = Idle;
    float currentLevel = 0.0f;
};
