#include "effects/AllpassSection.h"

AllpassSection::AllpassSection(double coefficient) noexcept : a(coefficient) {}
