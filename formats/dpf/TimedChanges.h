// Parameter changes a VST3 or CLAP host places at frames inside a block, kept
// in frame order until the block renders, so that the block can be rendered
// in pieces that end at each change's frame: automation moves at its frame,
// not at the block's start. Allocated with its owner; nothing here allocates,
// locks or throws. Audio thread only.
#pragma once

#include <array>
#include <cstdint>

class TimedChanges {
public:
    static constexpr int kCapacity = 1024;

    struct Change {
        std::uint32_t frame;
        std::uint32_t index;
        float value;
    };

    // Keeps the change after those at the same or earlier frames; false when
    // full (the caller then applies it at once).
    bool add(std::uint32_t frame, std::uint32_t index, float value) noexcept;
    int size() const noexcept { return count; }
    const Change& operator[](int i) const noexcept { return changes[static_cast<std::size_t>(i)]; }
    void clear() noexcept { count = 0; }

private:
    std::array<Change, kCapacity> changes{};
    int count = 0;
};
