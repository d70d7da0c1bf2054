#pragma once

// Widens the mono instrument signal: adds to each channel its own past, read from a 2048-frame ring at
// a position swept by a 1.2 Hz sine, the right tap a quarter period behind the left. The dry signal
// always passes at unity.
class StereoChorus {
public:
    static constexpr int kRingLength = 2048;

    StereoChorus() noexcept;

    // Stores the host rate (finite, above 0) and places the taps so that the delay is that of a new
    // chorus at this rate, wherever the write position stands. Rings and oscillator are kept.
    void setSampleRate(float rate) noexcept;
    // Empty rings, and the oscillator and taps of a new chorus at the current rate.
    void reset() noexcept;

    // Adds amount x the swept delayed signal to each channel, in place; left and right are distinct
    // buffers of count frames.
    void process(float* left, float* right, int count, float amount) noexcept;

    int getReadIndex() const noexcept { return readIndex; }
    int getWriteIndex() const noexcept { return writeIndex; }

private:
    float lineLeft[kRingLength];   // last 2048 left input frames
    float lineRight[kRingLength];  // last 2048 right input frames
    float lfoCos = 0.5f;
    float lfoSin = 0.0f;
    float sampleRate = 44100.0f;
    int writeIndex = 0;
    int readIndex = 0;
};
