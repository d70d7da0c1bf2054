#pragma once

#include "effects/AllpassSection.h"

// Steep low-pass at a quarter of the rate it runs at: the polyphase half-band filter applied to the
// engine's doubled-rate mix before it is folded down to the host rate. Two branches of three allpass
// sections each, in double precision; response (A(z) + z^-1 B(z)) / 2.
class HalfBandFilter {
public:
    static constexpr int kSections = 3;

    HalfBandFilter() noexcept;

    // Filters count samples in place. History carries over from call to call.
    void process(float* buffer, int count) noexcept;

private:
    AllpassSection branchA[kSections];  // undelayed branch
    AllpassSection branchB[kSections];  // branch delayed by one sample
    double previousB = 0.0;             // branch B's previous output, offset removed
};
