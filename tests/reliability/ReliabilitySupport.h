// Shared pieces of the reliability suites: the built plug-in, output channels
// and host buffers fenced by guard values the plug-in must never touch, checks
// on rendered audio, and how long the long-running cases run in this build.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "tests/support/BuiltPlugin.h"

namespace reliability {

using ::builtPlugin;
using ::hashBytes;
using ::newInstance;
using ::startedInstance;

// 16 clipped voices summed in pairs, three body bands at +18 dB and the chorus
// on top: any output above this is a blow-up, not music.
constexpr float kPeakBound = 16.0f * 2.0f * 8.0f * 8.0f * 8.0f * 1.5f;

// How much of the long-running cases this build runs: 1 for an optimised native
// build, less for debug, sanitizer and emulated builds. The environment
// variable HAMMERLYN2_RELIABILITY_SCALE overrides it.
double workScale();
// count scaled by workScale(), at least minimum.
int scaled(int count, int minimum = 1);

// What a block of audio contained.
struct AudioCheck {
    bool finite = true;
    int subnormals = 0;
    float peak = 0.0f;
    void add(const float* samples, int count);
};

// A stereo output whose channels lie between guard samples. Before each block
// the channels are filled with a marker that is not a number, so a frame the
// plug-in fails to write shows up as well as a write outside the channels.
class GuardedOutput {
public:
    explicit GuardedOutput(int capacity);
    // Renders frames (which may be 0 or negative) into the channels.
    void render(PluginInstance& plugin, VstInt32 frames);
    float* left() { return &leftStore[kGuard]; }
    float* right() { return &rightStore[kGuard]; }
    const float* left() const { return &leftStore[kGuard]; }
    const float* right() const { return &rightStore[kGuard]; }
    int capacity() const { return size; }
    // Every guard sample still holds its pattern.
    bool guardsIntact() const;
    // Frames of the last block still holding the marker.
    int unwrittenFrames(VstInt32 frames) const;
    // Adds the first frames of both channels to check.
    void addTo(AudioCheck& check, VstInt32 frames) const;

    static constexpr int kGuard = 64;

private:
    int size;
    std::vector<float> leftStore, rightStore;
};

// A host buffer of size bytes between guard bytes, filled with a known pattern.
class GuardedBytes {
public:
    explicit GuardedBytes(std::size_t size, unsigned char fill = 0xA5);
    unsigned char* data() { return &store[kGuard]; }
    const unsigned char* data() const { return &store[kGuard]; }
    char* text() { return reinterpret_cast<char*>(data()); }
    std::size_t size() const { return bytes; }
    // Overwrites the contents and remembers them as the reference.
    void assign(const std::vector<unsigned char>& contents);
    void fillRandom(std::mt19937& random);
    bool guardsIntact() const;
    // The contents from offset on equal the reference.
    bool unchangedFrom(std::size_t offset) const;
    // Whether a NUL lies among the first count bytes.
    bool terminatedWithin(std::size_t count) const;

    static constexpr std::size_t kGuard = 32;

private:
    std::size_t bytes;
    std::vector<unsigned char> store;
    std::vector<unsigned char> reference;
};

// Whether a float is subnormal (nonzero and below the smallest normal float).
bool isSubnormal(float value);
// Reads the float at a byte offset of a block.
float floatAt(const std::vector<unsigned char>& block, std::size_t offset);
// The 16 values of a preset block or the 128 values of a bank block.
std::vector<float> blockValues(const std::vector<unsigned char>& block);
// Every live value of the instance is finite and within 0..1.
::testing::AssertionResult liveValuesInRange(PluginInstance& plugin);

}  // namespace reliability
