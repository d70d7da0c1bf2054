#include "effects/HalfBandFilter.h"

#include "effects/AllpassChain.h"

namespace {

// Each branch is three sections; process() relies on that count.
constexpr int kSections = 3;
constexpr double kCoefficientsA[kSections] = {0.1271414136264853, 0.6528245886369117, 0.9176942834328115};
constexpr double kCoefficientsB[kSections] = {0.40056789819445626, 0.8204163891923343, 0.9763114515836773};

// Both branches pass this constant at unity gain; it keeps their recursions away from denormal
// numbers in silence and is taken off again at the branch outputs.
constexpr double kAntiDenormal = 1e-15;

}  // namespace

HalfBandFilter::HalfBandFilter()
    : chainA(std::make_unique<AllpassChain>(kSections, kCoefficientsA)),
      chainB(std::make_unique<AllpassChain>(kSections, kCoefficientsB)) {}

HalfBandFilter::~HalfBandFilter() = default;

void HalfBandFilter::process(float* buffer, int count) noexcept {
    // Working copies of the six sections, so that their state can live in registers for the block.
    AllpassSection a0 = chainA->section(0), a1 = chainA->section(1), a2 = chainA->section(2);
    AllpassSection b0 = chainB->section(0), b1 = chainB->section(1), b2 = chainB->section(2);
    double delayedB = previousB;
    for (int i = 0; i < count; ++i) {
        const double u = static_cast<double>(buffer[i]) + kAntiDenormal;
        const double ya = a2.process(a1.process(a0.process(u)));
        buffer[i] = static_cast<float>((ya - kAntiDenormal) + delayedB) * 0.5f;
        delayedB = b2.process(b1.process(b0.process(u))) - kAntiDenormal;
    }
    chainA->section(0) = a0;
    chainA->section(1) = a1;
    chainA->section(2) = a2;
    chainB->section(0) = b0;
    chainB->section(1) = b1;
    chainB->section(2) = b2;
    previousB = delayedB;
}
