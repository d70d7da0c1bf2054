#include "TimedChanges.h"

bool TimedChanges::add(std::uint32_t frame, std::uint32_t index, float value) noexcept {
    if (count == kCapacity) return false;
    int at = count++;
    for (; at > 0 && changes[static_cast<std::size_t>(at - 1)].frame > frame; --at)
        changes[static_cast<std::size_t>(at)] = changes[static_cast<std::size_t>(at - 1)];
    changes[static_cast<std::size_t>(at)] = {frame, index, value};
    return true;
}
