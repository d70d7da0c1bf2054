#pragma once

#include <memory>

#include "effects/AllpassSection.h"

// A cascade of allpass sections; each section's output feeds the next.
class AllpassChain {
public:
    // One section per coefficient, in the given order.
    AllpassChain(int count, const double* coefficients);
    ~AllpassChain();

    AllpassChain(const AllpassChain&) = delete;
    AllpassChain& operator=(const AllpassChain&) = delete;

    // Runs one sample through every section and returns the last section's output.
    double process(double input) noexcept {
        double value = input;
        for (int i = 0; i < count; ++i) value = sections[i]->process(value);
        return value;
    }

    int size() const noexcept { return count; }
    // Direct access for owners that run the sections themselves over a whole block.
    AllpassSection& section(int index) noexcept { return *sections[index]; }

private:
    std::unique_ptr<std::unique_ptr<AllpassSection>[]> sections;
    int count;
};
