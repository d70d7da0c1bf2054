#pragma once

#include <memory>

// Widens the mono instrument signal: adds to each channel its own past, read from a 2048-frame ring at
// a position swept by a 1.2 Hz sine, the right tap a quarter period behind the left. The dry signal
// always passes at unity.
class StereoChorus {
public:
    StereoChorus();
    ~StereoChorus();

    StereoChorus(const StereoChorus&) = delete;
    StereoChorus& operator=(const StereoChorus&) = delete;

    // Stores the host rate (finite, above 0) and places the taps so that the delay is that of a new
    // chorus at this rate, wherever the write position stands. Rings and oscillator are kept.
    void setSampleRate(float rate) noexcept;

    // Adds amount x the swept delayed signal to each channel, in place; left and right are distinct
    // buffers of count frames.
    void process(float* left, float* right, int count, float amount) noexcept;

    int getReadIndex() const noexcept { return readIndex; }
    int getWriteIndex() const noexcept { return writeIndex; }

private:
    std::unique_ptr<float[]> lineLeft;   // last 2048 left input frames
    std::unique_ptr<float[]> lineRight;  // last 2048 right input frames
    float lfoCos = 0.5f;
    float lfoSin = 0.0f;
    float sampleRate = 44100.0f;
    int writeIndex = 0;
    int readIndex = 0;
};
