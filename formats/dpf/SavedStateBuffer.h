// The bytes of a VST3 or CLAP saved state as the host's reads deliver them,
// kept whole so that the state can be checked before any of it is applied.
// A read is offered room for a count of bytes and took() is told how many
// arrived; the reads stop at DPF's terminator or at a limit far above any
// state this instrument writes (a few kilobytes).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

class SavedStateBuffer {
public:
    static constexpr std::size_t kMaxBytes = 1024u * 1024u;

    // Room for the next read and its count, or null when the state would pass kMaxBytes.
    char* room(std::uint32_t& count);
    // False when the host reports a count it cannot have delivered.
    bool took(std::int64_t read, std::uint32_t count) noexcept;

    // Whether the terminator (0xfe after a string's end, or first) has arrived.
    bool ended() const noexcept { return terminated; }
    const char* data() const noexcept { return bytes.data(); }
    std::size_t size() const noexcept { return used; }

private:
    std::vector<char> bytes;
    std::size_t used = 0;
    bool terminated = false;
};
