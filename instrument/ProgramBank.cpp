#include "instrument/ProgramBank.h"

#include <cstring>

#include "instrument/FactoryPrograms.h"

ProgramBank::ProgramBank(std::int32_t programCount, std::int32_t paramCount)
    : programCount(programCount),
      paramCount(paramCount),
      records(new ProgramRecord[static_cast<std::size_t>(programCount)]) {}

void ProgramBank::loadFactoryPrograms() noexcept {
    static_assert(sizeof(kFactoryPrograms) == 8 * sizeof(ProgramRecord));
    std::memcpy(records.get(), kFactoryPrograms, static_cast<std::size_t>(byteSize()));
}
