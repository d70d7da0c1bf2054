#pragma once

#include <memory>

class AllpassChain;

// Steep low-pass at a quarter of the rate it runs at: the polyphase half-band filter applied to the
// engine's doubled-rate mix before it is folded down to the host rate. Two branches of three allpass
// sections each, in double precision; response (A(z) + z^-1 B(z)) / 2.
class HalfBandFilter {
public:
    HalfBandFilter();
    ~HalfBandFilter();

    HalfBandFilter(const HalfBandFilter&) = delete;
    HalfBandFilter& operator=(const HalfBandFilter&) = delete;

    // Filters count samples in place. History carries over from call to call.
    void process(float* buffer, int count) noexcept;

private:
    std::unique_ptr<AllpassChain> chainA;  // undelayed branch
    std::unique_ptr<AllpassChain> chainB;  // branch delayed by one sample
    double previousB = 0.0;                // chainB's previous output, offset removed
};
