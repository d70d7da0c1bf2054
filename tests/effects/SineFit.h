#pragma once

#include <cmath>
#include <cstddef>
#include <vector>

namespace effects_test {

constexpr double kPi = 3.14159265358979323846;

// A sine of the given frequency (cycles per sample) as float32 samples.
inline std::vector<float> makeSine(double cyclesPerSample, std::size_t length, double amplitude = 1.0) {
    std::vector<float> out(length);
    for (std::size_t n = 0; n < length; ++n)
        out[n] =
            static_cast<float>(amplitude * std::sin(2.0 * kPi * cyclesPerSample * static_cast<double>(n)));
    return out;
}

// Least-squares amplitude of the component at the given frequency in signal[from, to): fits
// s sin(wn) + c cos(wn) exactly, so windows need not hold whole periods.
inline double fittedAmplitude(const std::vector<float>& signal, double cyclesPerSample, std::size_t from,
                              std::size_t to) {
    double ss = 0, sc = 0, cc = 0, ys = 0, yc = 0;
    for (std::size_t n = from; n < to; ++n) {
        const double phase = 2.0 * kPi * cyclesPerSample * static_cast<double>(n);
        const double s = std::sin(phase), c = std::cos(phase), y = signal[n];
        ss += s * s;
        sc += s * c;
        cc += c * c;
        ys += y * s;
        yc += y * c;
    }
    const double det = ss * cc - sc * sc;
    const double a = (ys * cc - yc * sc) / det;
    const double b = (yc * ss - ys * sc) / det;
    return std::sqrt(a * a + b * b);
}

inline double toDb(double ratio) { return 20.0 * std::log10(ratio); }

}  // namespace effects_test
