#include "effects/HalfBandFilter.h"

namespace {

constexpr double kCoefficientsA[HalfBandFilter::kSections] = {0.1271414136264853, 0.6528245886369117,
                                                              0.9176942834328115};
constexpr double kCoefficientsB[HalfBandFilter::kSections] = {0.40056789819445626, 0.8204163891923343,
                                                              0.9763114515836773};

// Both branches pass this constant at unity gain; it keeps their recursions away from denormal
// numbers in silence and is taken off again at the branch outputs.
constexpr double kAntiDenormal = 1e-15;

}  // namespace

HalfBandFilter::HalfBandFilter() noexcept
    : branchA{AllpassSection(kCoefficientsA[0]), AllpassSection(kCoefficientsA[1]),
              AllpassSection(kCoefficientsA[2])},
      branchB{AllpassSection(kCoefficientsB[0]), AllpassSection(kCoefficientsB[1]),
              AllpassSection(kCoefficientsB[2])} {}

void HalfBandFilter::process(float* buffer, int count) noexcept {
    // Working copies of the six sections, so that their state can live in registers for the block.
    static_assert(kSections == 3, "the loop below runs three sections per branch");
    AllpassSection a0 = branchA[0], a1 = branchA[1], a2 = branchA[2];
    AllpassSection b0 = branchB[0], b1 = branchB[1], b2 = branchB[2];
    double delayedB = previousB;
    for (int i = 0; i < count; ++i) {
        const double u = static_cast<double>(buffer[i]) + kAntiDenormal;
        const double ya = a2.process(a1.process(a0.process(u)));
        buffer[i] = static_cast<float>((ya - kAntiDenormal) + delayedB) * 0.5f;
        delayedB = b2.process(b1.process(b0.process(u))) - kAntiDenormal;
    }
    branchA[0] = a0;
    branchA[1] = a1;
    branchA[2] = a2;
    branchB[0] = b0;
    branchB[1] = b1;
    branchB[2] = b2;
    previousB = delayedB;
}
