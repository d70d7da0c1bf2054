// The bank of programs the host saves and restores as one block.
#pragma once

#include <cstdint>
#include <memory>

#include "instrument/ParameterTable.h"

// One program: a NUL-padded name (unterminated when 24 characters long) and the
// parameter values. The same 88-byte layout is used in memory and in the
// saved bank.
struct ProgramRecord {
    char name[24];
    float params[kParameterCount];
};
static_assert(sizeof(ProgramRecord) == 88, "saved banks depend on this layout");

class ProgramBank {
public:
    ProgramBank(std::int32_t programCount, std::int32_t paramCount);

    // Copies the built-in programs over the whole bank.
    void loadFactoryPrograms() noexcept;

    ProgramRecord& record(int program) noexcept { return records[static_cast<std::size_t>(program)]; }
    const ProgramRecord& record(int program) const noexcept {
        return records[static_cast<std::size_t>(program)];
    }
    // The contiguous record array, as saved in the bank block.
    ProgramRecord* data() noexcept { return records.get(); }
    std::int32_t byteSize() const noexcept {
        return programCount * static_cast<std::int32_t>(sizeof(ProgramRecord));
    }

    const std::int32_t programCount;
    const std::int32_t paramCount;

private:
    std::unique_ptr<ProgramRecord[]> records;
};
