#include "effects/HalfBandFilter.h"

#include "effects/AllpassChain.h"

namespace {

constexpr double kCoefficientsA[3] = {0.1271414136264853, 0.6528245886369117, 0.9176942834328115};
constexpr double kCoefficientsB[3] = {0.40056789819445626, 0.8204163891923343, 0.9763114515836773};

// Both branches pass this constant at unity gain; it keeps their recursions away from denormal
// numbers in silence and is taken off again at the branch outputs.
constexpr double kAntiDenormal = 1e-15;

}  // namespace

HalfBandFilter::HalfBandFilter()
    : chainA(std::make_unique<AllpassChain>(3, kCoefficientsA)),
      chainB(std::make_unique<AllpassChain>(3, kCoefficientsB)) {}

HalfBandFilter::~HalfBandFilter() = default;

void HalfBandFilter::process(float* buffer, int count) noexcept {
    AllpassChain& a = *chainA;
    AllpassChain& b = *chainB;
    double delayedB = previousB;
    for (int i = 0; i < count; ++i) {
        const double u = static_cast<double>(buffer[i]) + kAntiDenormal;
        const double ya = a.process(u);
        buffer[i] = static_cast<float>((ya - kAntiDenormal) + delayedB) * 0.5f;
        delayedB = b.process(u) - kAntiDenormal;
    }
    previousB = delayedB;
}
