#include "effects/BodyResonator.h"

#include <cmath>


BodyResonator::BodyResonator(float frequency) noexcept : frequency(frequency) { setup(frequency, 10.0f, 0.0f); }

void BodyResonator::setup(float frequency, float q, float gainDb) noexcept {
    this->frequency = frequency;
    this->q = q;
    this->gainDb = gainDb;

    // Peaking band of the audio EQ cookbook; the mixed precision is part of the sound.
    const float amplitude = static_cast<float>(std::pow(10.0, static_cast<double>(gainDb * 0.025f)));
    const float w0 = static_cast<float>(static_cast<double>(frequency) / static_cast<double>(sampleRate) * 6.2831853076);
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

void BodyResonator::setSampleRate(float rate) noexcept {
    sampleRate = rate;
    setup(frequency, q, gainDb);
}

void BodyResonator::reset() noexcept { history = History{}; }

void BodyResonator::process(float* buffer, int count) noexcept {
    BodyResonator* const single[1] = {this};
    processInSeries(single, buffer, count);
}

template <int Bands>
void BodyResonator::processInSeries(BodyResonator* const (&bands)[Bands], float* buffer, int count) noexcept {
    // Working copies in locals, so that the bands' states live in registers for the block.
    float c0[Bands], c1[Bands], c2[Bands], d1[Bands], d2[Bands];
    float xm1[Bands], xm2[Bands], ym1[Bands], ym2[Bands];
    for (int k = 0; k < Bands; ++k) {
        const BodyResonator& band = *bands[k];
        c0[k] = band.b0, c1[k] = band.b1, c2[k] = band.b2, d1[k] = band.a1, d2[k] = band.a2;
        xm1[k] = band.history.x1, xm2[k] = band.history.x2, ym1[k] = band.history.y1, ym2[k] = band.history.y2;
    }
    for (int i = 0; i < count; ++i) {
        float x = buffer[i];
#pragma GCC unroll 4
        for (int k = 0; k < Bands; ++k) {
            const float y = (((c1[k] * xm1[k] + c2[k] * xm2[k]) + c0[k] * x) - d1[k] * ym1[k]) - d2[k] * ym2[k];
            xm2[k] = xm1[k];
            xm1[k] = x;
            ym2[k] = ym1[k];
            ym1[k] = y;
            x = y;
        }
        buffer[i] = x;
    }
    for (int k = 0; k < Bands; ++k) bands[k]->history = History{ym1[k], ym2[k], xm1[k], xm2[k]};
}

template void BodyResonator::processInSeries<1>(BodyResonator* const (&)[1], float*, int) noexcept;
template void BodyResonator::processInSeries<3>(BodyResonator* const (&)[3], float*, int) noexcept;
