#pragma once

#include <cstdint>

// A timed event of the current block, applied by the engine at `offset`
// engine samples from the block start.
struct EngineEvent {
    enum Kind : std::int32_t { Start = 1, Release = 2, Bend = 3 };

    std::int32_t kind = 0;
    std::int32_t note = 0;    // engine note (Start only)
    float value = 0.0f;       // Start: velocity 0..1; Bend: amount -1..+1
    std::int32_t offset = 0;  // engine samples from the block start
    std::int32_t voice = 0;   // voice acted on (Start, Release)
};
