#pragma once

// One body resonance: a peaking equaliser band (second-order, direct form I, single precision) that
// colours the mono instrument signal like a sound box. Built flat (0 dB, Q 10) at 44100 Hz.
//
// setup() and process() must not overlap: the owner hands new settings to the audio thread itself.
class BodyResonator {
public:
    explicit BodyResonator(float frequency);

    // Computes the band's coefficients from the given settings and the current sample rate and keeps
    // the settings, so that a later rate change can recompute the same band. The history is kept.
    void setup(float frequency, float q, float gainDb) noexcept;

    // Stores the rate only; the owner then calls setup(getFrequency(), getQ(), getGainDb()).
    void setSampleRate(double rate) noexcept;

    // Filters count samples in place; the history carries over from call to call.
    void process(float* buffer, int count) noexcept;

    float getFrequency() const noexcept { return frequency; }
    float getQ() const noexcept { return q; }
    float getGainDb() const noexcept { return gainDb; }
    double getSampleRate() const noexcept { return sampleRate; }

private:
    float b0 = 0.0f, b1 = 0.0f, b2 = 0.0f;  // feed-forward, normalised by a0
    float a1 = 0.0f, a2 = 0.0f;             // feedback, normalised by a0
    float y1 = 0.0f, y2 = 0.0f;             // last and second-last output
    float x1 = 0.0f, x2 = 0.0f;             // last and second-last input
    float frequency;
    float gainDb = 0.0f;
    float q = 10.0f;
    double sampleRate = 44100.0;
};
