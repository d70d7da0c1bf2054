#include "effects/StereoChorus.h"

#include <cmath>
#include <cstring>

namespace {

constexpr int kRingMask = StereoChorus::kRingLength - 1;

// Frames between write and read base per Hz of sample rate: the float nearest 256 / 44100.
constexpr float kBaseDelayPerHz = 0.0058049886f;

// Angular step per sample that, through the coupled-form oscillator, turns it at 1.2 Hz.
constexpr double kLfoAngle = 3.7699111002959187;

// Tap offset in frames from the base position, as a trunc and a fraction, Hermite-interpolated.
inline float readTap(const float* line, float mod, int base) noexcept {
    const float p = mod * 512.0f;
    const int n = static_cast<int>(p);
    const float f = p - static_cast<float>(n);
    const int at = n + base;
    const float ym1 = line[(at - 1) & kRingMask];
    const float y0 = line[at & kRingMask];
    const float y1 = line[(at + 1) & kRingMask];
    const float y2 = line[(at + 2) & kRingMask];
    const float c1 = (y1 - ym1) * 0.5f;
    const float c3 = (y2 - ym1) * 0.5f + (y0 - y1) * 1.5f;
    const float c2 = ((ym1 - y0) + c1) - c3;
    return ((c3 * f + c2) * f + c1) * f + y0;
}

}  // namespace

StereoChorus::StereoChorus() noexcept
    : lineLeft(), lineRight(), readIndex(static_cast<int>(sampleRate * kBaseDelayPerHz)) {}

void StereoChorus::setSampleRate(float rate) noexcept {
    sampleRate = rate;
    readIndex = (writeIndex + static_cast<int>(rate * kBaseDelayPerHz)) & kRingMask;
}

void StereoChorus::reset() noexcept {
    std::memset(lineLeft, 0, sizeof lineLeft);
    std::memset(lineRight, 0, sizeof lineRight);
    lfoCos = 0.5f;
    lfoSin = 0.0f;
    writeIndex = 0;
    readIndex = static_cast<int>(sampleRate * kBaseDelayPerHz) & kRingMask;
}

void StereoChorus::process(float* left, float* right, int count, float amount) noexcept {
    // The oscillator's coefficient follows the rate; the sweeps are worked out
    // afresh for every frame.
    const float step = static_cast<float>(std::sin(kLfoAngle / static_cast<double>(sampleRate))) * 2.0f;
    float* const ringL = lineLeft;
    float* const ringR = lineRight;
    float c = lfoCos, s = lfoSin;
    int w = writeIndex, r = readIndex;
    for (int i = 0; i < count; ++i) {
        c = c - step * s;
        s = c * step + s;
        const float mr = (s + 1.0f) * 0.22f;
        const float ml = (c + 1.0f) * 0.22f;

        const float dryL = left[i];
        const float dryR = right[i];
        ringL[w] = dryL;
        ringR[w] = dryR;
        w = (w + 1) & kRingMask;

        left[i] = readTap(ringL, ml, r) * amount + dryL;
        right[i] = readTap(ringR, mr, r) * amount + dryR;
        r = (r + 1) & kRingMask;
    }
    lfoCos = c;
    lfoSin = s;
    writeIndex = w;
    readIndex = r;
}
