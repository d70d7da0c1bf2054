#include "effects/AllpassChain.h"

AllpassChain::AllpassChain(int count, const double* coefficients)
    : sections(new std::unique_ptr<AllpassSection>[count > 0 ? count : 0]), count(count > 0 ? count : 0) {
    for (int i = 0; i < this->count; ++i) sections[i] = std::make_unique<AllpassSection>(coefficients[i]);
}

AllpassChain::~AllpassChain() = default;
