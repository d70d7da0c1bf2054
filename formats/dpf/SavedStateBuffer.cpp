#include "SavedStateBuffer.h"

#include <algorithm>

char* SavedStateBuffer::room(std::uint32_t& count) {
    if (used >= kMaxBytes) return nullptr;
    // Reads of 4 KB, the storage doubling: linear in the state's length.
    count = static_cast<std::uint32_t>(std::min<std::size_t>(4096, kMaxBytes - used));
    if (bytes.size() < used + count) bytes.resize(std::max(used + count, bytes.size() * 2));
    return bytes.data() + used;
}

bool SavedStateBuffer::took(std::int64_t read, std::uint32_t count) noexcept {
    if (read < 0 || read > static_cast<std::int64_t>(count)) return false;
    const std::size_t start = used;
    used += static_cast<std::size_t>(read);
    for (std::size_t i = start; i < used && !terminated; ++i)
        terminated = bytes[i] == '\xfe' && (i == 0 || bytes[i - 1] == '\0');
    return true;
}
