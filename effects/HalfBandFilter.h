#pragma once

#include "effects/AllpassSection.h"

// Steep low-pass at a quarter of the rate it runs at: the polyphase half-band filter applied to the
// engine's doubled-rate mix before it is folded down to the host rate. Two branches of three allpass
// sections each, in double precision; response (A(z) + z^-1 B(z)) / 2.
class HalfBandFilter {
public:
    static constexpr int kSections = 3;

    HalfBandFilter() noexcept;

    // The response is relative to the rate the filter runs at: nothing here depends on it.
    void setSampleRate(float) noexcept {}
    // Clears the history, as a new filter.
    void reset() noexcept;
    // Filters count samples in place. History carries over from call to call.
    void process(float* buffer, int count) noexcept;

private:
    void filter(float* buffer, int count) noexcept;

    struct State {
        AllpassSection branchA[kSections];  // undelayed branch
        AllpassSection branchB[kSections];  // branch delayed by one sample
        double previousB;                   // branch B's previous output, offset removed
    };
    static_assert(sizeof(State) == (2 * kSections * 7 + 1) * sizeof(double), "compared bit for bit");
    State state;
};
