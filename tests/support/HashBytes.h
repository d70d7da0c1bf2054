// A 64-bit hash of raw bytes, to compare renders bit for bit and to pin them
// in checksums: FNV-1a's steps (xor a byte, multiply by 1099511628211) from
// the start value kHashStart. That is FNV's offset basis without its last
// digit, so this is not FNV-1a; the stored checksums were made with it.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr std::uint64_t kHashStart = 1469598103934665603ull;

// Continues `hash` over `size` bytes from `data`.
inline std::uint64_t hashBytes(const void* data, std::size_t size, std::uint64_t hash = kHashStart) {
    const auto* bytes = static_cast<const unsigned char*>(data);
    for (std::size_t i = 0; i < size; ++i) {
        hash ^= bytes[i];
        hash *= 1099511628211ull;
    }
    return hash;
}
