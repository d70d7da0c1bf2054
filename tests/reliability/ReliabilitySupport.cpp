#include "tests/reliability/ReliabilitySupport.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace reliability {

namespace {

// Two NaN payloads, one for guard samples and one for unwritten frames: no
// arithmetic of the plug-in produces either.
constexpr std::uint32_t kGuardBits = 0x7FC0F00Du;
constexpr std::uint32_t kMarkerBits = 0x7FC0BEEFu;
constexpr unsigned char kGuardByte = 0xCD;

float fromBits(std::uint32_t bits) {
    float value;
    std::memcpy(&value, &bits, 4);
    return value;
}

std::uint32_t bitsOf(float value) {
    std::uint32_t bits;
    std::memcpy(&bits, &value, 4);
    return bits;
}

}  // namespace


double workScale() {
    if (const char* text = std::getenv("HAMMERLYN2_RELIABILITY_SCALE")) {
        const double value = std::atof(text);
        if (value > 0.0) return value;
    }
    return HAMMERLYN2_RELIABILITY_SCALE;
}

int scaled(int count, int minimum) {
    const double value = static_cast<double>(count) * workScale();
    return value < minimum ? minimum : static_cast<int>(value);
}

void AudioCheck::add(const float* samples, int count) {
    for (int i = 0; i < count; ++i) {
        const float x = samples[i];
        if (!std::isfinite(x)) {
            finite = false;
            continue;
        }
        if (isSubnormal(x)) ++subnormals;
        const float magnitude = std::fabs(x);
        if (magnitude > peak) peak = magnitude;
    }
}

GuardedOutput::GuardedOutput(int capacity)
    : size(capacity),
      leftStore(static_cast<std::size_t>(capacity + 2 * kGuard), fromBits(kGuardBits)),
      rightStore(leftStore) {}

void GuardedOutput::render(PluginInstance& plugin, VstInt32 frames) {
    const float marker = fromBits(kMarkerBits);
    std::fill(left(), left() + size, marker);
    std::fill(right(), right() + size, marker);
    plugin.process(left(), right(), frames);
}

bool GuardedOutput::guardsIntact() const {
    for (const auto* store : {&leftStore, &rightStore}) {
        for (int i = 0; i < kGuard; ++i) {
            if (bitsOf((*store)[static_cast<std::size_t>(i)]) != kGuardBits) return false;
            if (bitsOf((*store)[static_cast<std::size_t>(kGuard + size + i)]) != kGuardBits) return false;
        }
    }
    return true;
}

int GuardedOutput::unwrittenFrames(VstInt32 frames) const {
    int unwritten = 0;
    for (int i = 0; i < frames && i < size; ++i)
        if (bitsOf(left()[i]) == kMarkerBits || bitsOf(right()[i]) == kMarkerBits) ++unwritten;
    return unwritten;
}

void GuardedOutput::addTo(AudioCheck& check, VstInt32 frames) const {
    const int n = frames < 0 ? 0 : (frames > size ? size : frames);
    check.add(left(), n);
    check.add(right(), n);
}

GuardedBytes::GuardedBytes(std::size_t size, unsigned char fill)
    : bytes(size), store(size + 2 * kGuard, kGuardByte), reference(size, fill) {
    std::memcpy(data(), reference.data(), size);
}

void GuardedBytes::assign(const std::vector<unsigned char>& contents) {
    reference.assign(bytes, 0);
    std::memcpy(reference.data(), contents.data(), std::min(bytes, contents.size()));
    std::memcpy(data(), reference.data(), bytes);
}

void GuardedBytes::fillRandom(std::mt19937& random) {
    for (auto& b : reference) b = static_cast<unsigned char>(random());
    std::memcpy(data(), reference.data(), bytes);
}

bool GuardedBytes::guardsIntact() const {
    for (std::size_t i = 0; i < kGuard; ++i)
        if (store[i] != kGuardByte || store[kGuard + bytes + i] != kGuardByte) return false;
    return true;
}

bool GuardedBytes::unchangedFrom(std::size_t offset) const {
    if (offset >= bytes) return true;
    return std::memcmp(data() + offset, reference.data() + offset, bytes - offset) == 0;
}

bool GuardedBytes::terminatedWithin(std::size_t count) const {
    for (std::size_t i = 0; i < count && i < bytes; ++i)
        if (data()[i] == 0) return true;
    return false;
}

bool isSubnormal(float value) {
    return value != 0.0f && std::fabs(value) < std::numeric_limits<float>::min();
}

float floatAt(const std::vector<unsigned char>& block, std::size_t offset) {
    float value = 0.0f;
    std::memcpy(&value, &block[offset], 4);
    return value;
}

std::vector<float> blockValues(const std::vector<unsigned char>& block) {
    std::vector<float> values;
    if (block.size() == 64) {
        for (std::size_t i = 0; i < 16; ++i) values.push_back(floatAt(block, 4 * i));
    } else if (block.size() == 704) {
        for (std::size_t p = 0; p < 8; ++p)
            for (std::size_t i = 0; i < 16; ++i) values.push_back(floatAt(block, 88 * p + 24 + 4 * i));
    }
    return values;
}

::testing::AssertionResult liveValuesInRange(PluginInstance& plugin) {
    for (VstInt32 i = 0; i < 16; ++i) {
        const float v = plugin.getParameter(i);
        if (!(v >= 0.0f && v <= 1.0f)) return ::testing::AssertionFailure() << "parameter " << i << " is " << v;
    }
    for (bool preset : {true, false}) {
        const std::vector<float> values = blockValues(plugin.getChunk(preset));
        if (values.size() != (preset ? 16u : 128u))
            return ::testing::AssertionFailure() << (preset ? "preset" : "bank") << " block has the wrong size";
        for (std::size_t i = 0; i < values.size(); ++i)
            if (!(values[i] >= 0.0f && values[i] <= 1.0f))
                return ::testing::AssertionFailure() << (preset ? "preset" : "bank") << " value " << i << " is "
                                                     << values[i];
    }
    return ::testing::AssertionSuccess();
}


}  // namespace reliability
