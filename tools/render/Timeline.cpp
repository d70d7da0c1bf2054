#include "tools/render/Timeline.h"

#include <cmath>

std::int64_t frameAt(double seconds, double sampleRate) {
    // Nearest, not floor: a time that is a whole frame in exact arithmetic can
    // come out a hair below it in doubles.
    return static_cast<std::int64_t>(std::llround(seconds * sampleRate));
}
