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

    VoiceEnvelope() noexcept;

    // Per-sample coefficients from the engine rate and the stage times in
    // seconds-like knob units (attack = A*A*0.1, decay = D*D, release = R*R).
    // May run on any thread while the audio thread processes.
    void setRates(float sampleRate, float attackTime, float decayTime, float releaseTime) noexcept;

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
