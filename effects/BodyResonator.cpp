#include "effects/BodyResonator.h"

#include <cmath>

BodyResonator::BodyResonator(float frequency) : frequency(frequency) { setup(frequency, 10.0f, 0.0f); }

void BodyResonator::setup(float frequency, float q, float gainDb) noexcept {
    this->frequency = frequency;
    this->q = q;
    this->gainDb = gainDb;

    // Peaking band of the audio EQ cookbook; the mixed precision is part of the sound.
    const float amplitude = static_cast<float>(std::pow(10.0, static_cast<double>(gainDb * 0.025f)));
    const float w0 = static_cast<float>(static_cast<double>(frequency) / sampleRate * 6.2831853076);
    const float sn = static_cast<float>(std::sin(static_cast<double>(w0)));
    const float cs = static_cast<float>(std::cos(static_cast<double>(w0)));
    const float alpha = sn / (q * 2.0f);

    // A band at or above half the sample rate (a host sending an absurdly low
    // rate) has no stable peaking filter: alpha turns negative or is not a
    // number, and the recursion would fill its history with infinities and NaN
    // that outlive any later rate. Such a band is left flat.
    if (!(alpha > 0.0f) || !(w0 < 3.14159265f)) {
        b0 = 1.0f;
        b1 = b2 = a1 = a2 = 0.0f;
        return;
    }

    const float nb0 = 1.0f + alpha * amplitude;
    const float nb1 = -2.0f * cs;
    const float nb2 = 1.0f - alpha * amplitude;
    const float na0 = 1.0f + alpha / amplitude;
    const float na1 = -2.0f * cs;
    const float na2 = 1.0f - alpha / amplitude;

    const float r = 1.0f / na0;
    const float feedback1 = r * na1;
    const float feedback2 = r * na2;
    // The rounded coefficients must keep both poles strictly inside the unit
    // circle (|a2| < 1 and |a1| < 1 + a2). At very high rates cos(w0) rounds to
    // 1 and puts a pole on the circle: such a band, too, is left flat.
    if (!(std::fabs(feedback2) < 1.0f && std::fabs(feedback1) < 1.0f + feedback2)) {
        b0 = 1.0f;
        b1 = b2 = a1 = a2 = 0.0f;
        return;
    }
    b0 = r * nb0;
    b1 = r * nb1;
    b2 = r * nb2;
    a1 = feedback1;
    a2 = feedback2;
}

void BodyResonator::setSampleRate(double rate) noexcept { sampleRate = rate; }

void BodyResonator::process(float* buffer, int count) noexcept {
    const float c0 = b0, c1 = b1, c2 = b2, d1 = a1, d2 = a2;
    float xm1 = x1, xm2 = x2, ym1 = y1, ym2 = y2;
    for (int i = 0; i < count; ++i) {
        const float x = buffer[i];
        const float y = (((c1 * xm1 + c2 * xm2) + c0 * x) - d1 * ym1) - d2 * ym2;
        xm2 = xm1;
        xm1 = x;
        ym2 = ym1;
        ym1 = y;
        buffer[i] = y;
    }
    x1 = xm1;
    x2 = xm2;
    y1 = ym1;
    y2 = ym2;
}
