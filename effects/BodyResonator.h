#pragma once

// One body resonance: a peaking equaliser band (second-order, direct form I, single precision) that
// colours the mono instrument signal like a sound box. Built flat (0 dB, Q 10) at 44100 Hz.
//
// setup(), setSampleRate() and reset() must not overlap process(): the owner hands new settings to
// the audio thread itself.
class BodyResonator {
public:
    explicit BodyResonator(float frequency) noexcept;

    // The rate the band runs at (finite, above 0): the band is computed again for it from its kept
    // settings. The history is kept.
    void setSampleRate(float rate) noexcept;
    // Computes the band's coefficients from the given settings and the current sample rate and keeps
    // the settings, so that a later rate change can recompute the same band. The history is kept.
    void setup(float frequency, float q, float gainDb) noexcept;
    // Clears the history; the band stays.
    void reset() noexcept;
    // Filters count samples in place; the history carries over from call to call.
    void process(float* buffer, int count) noexcept;
    // Filters count samples in place through the bands one after another, as their process() calls
    // in turn would, sample by sample so that the bands' recursions overlap in time. Built for one
    // and for three bands.
    template <int Bands>
    static void processInSeries(BodyResonator* const (&bands)[Bands], float* buffer, int count) noexcept;

    float getFrequency() const noexcept { return frequency; }
    float getQ() const noexcept { return q; }
    float getGainDb() const noexcept { return gainDb; }
    float getSampleRate() const noexcept { return sampleRate; }

private:
    float b0 = 0.0f, b1 = 0.0f, b2 = 0.0f;  // feed-forward, normalised by a0
    float a1 = 0.0f, a2 = 0.0f;             // feedback, normalised by a0
    struct History {
        float y1, y2;  // last and second-last output
        float x1, x2;  // last and second-last input
    };
    History history{};
    float frequency;
    float gainDb = 0.0f;
    float q = 10.0f;
    float sampleRate = 44100.0f;
};
