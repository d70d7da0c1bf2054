#include "effects/HalfBandFilter.h"

#include <cstring>

namespace {

constexpr double kCoefficientsA[HalfBandFilter::kSections] = {0.1271414136264853, 0.6528245886369117,
                                                              0.9176942834328115};
constexpr double kCoefficientsB[HalfBandFilter::kSections] = {0.40056789819445626, 0.8204163891923343,
                                                              0.9763114515836773};

// Both branches pass this constant at unity gain; it keeps their recursions away from denormal
// numbers in silence and is taken off again at the branch outputs. In silence rounding holds the
// sections a few units in the last place around it, in a cycle of four samples: silence comes out
// as a tiny signal of period four (about 1e-30), not as zeros.
constexpr double kAntiDenormal = 1e-15;
constexpr int kSilentCycle = 4;

}  // namespace

HalfBandFilter::HalfBandFilter() noexcept
    : state{{AllpassSection(kCoefficientsA[0]), AllpassSection(kCoefficientsA[1]),
             AllpassSection(kCoefficientsA[2])},
            {AllpassSection(kCoefficientsB[0]), AllpassSection(kCoefficientsB[1]),
             AllpassSection(kCoefficientsB[2])},
            0.0} {}

void HalfBandFilter::reset() noexcept {
    for (AllpassSection& section : state.branchA) section.reset();
    for (AllpassSection& section : state.branchB) section.reset();
    state.previousB = 0.0;
}

void HalfBandFilter::process(float* buffer, int count) noexcept {
    // The filter is deterministic: when the input repeats every kSilentCycle samples (silence) and
    // the state is back where it was after the first cycle, every later cycle of the block gives the
    // first one's output again and leaves the state as it found it. Those samples are copied.
    constexpr int P = kSilentCycle;
    if (count < 2 * P || std::memcmp(buffer, buffer + P, sizeof(float) * static_cast<unsigned>(count - P)) != 0) {
        filter(buffer, count);
        return;
    }
    const State before = state;
    filter(buffer, P);
    if (std::memcmp(&before, &state, sizeof(State)) != 0) {
        filter(buffer + P, count - P);
        return;
    }
    const int whole = count - count % P;
    for (int i = P; i < whole; ++i) buffer[i] = buffer[i - P];
    filter(buffer + whole, count - whole);
}

void HalfBandFilter::filter(float* buffer, int count) noexcept {
    // Working copies of the six sections, so that their state can live in registers for the block.
    static_assert(kSections == 3, "the loop below runs three sections per branch");
    AllpassSection a0 = state.branchA[0], a1 = state.branchA[1], a2 = state.branchA[2];
    AllpassSection b0 = state.branchB[0], b1 = state.branchB[1], b2 = state.branchB[2];
    double delayedB = state.previousB;
    for (int i = 0; i < count; ++i) {
        const double u = static_cast<double>(buffer[i]) + kAntiDenormal;
        const double ya = a2.process(a1.process(a0.process(u)));
        buffer[i] = static_cast<float>((ya - kAntiDenormal) + delayedB) * 0.5f;
        delayedB = b2.process(b1.process(b0.process(u))) - kAntiDenormal;
    }
    state.branchA[0] = a0;
    state.branchA[1] = a1;
    state.branchA[2] = a2;
    state.branchB[0] = b0;
    state.branchB[1] = b1;
    state.branchB[2] = b2;
    state.previousB = delayedB;
}
