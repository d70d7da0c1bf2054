// Loads the built plug-in library once per test program and creates instances
// through its exported entry point.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "tests/support/BuiltPlugin.h"

class PluginTest : public ::testing::Test {
protected:
    void SetUp() override;
    // A running instance at the given rate and block size.
    std::unique_ptr<PluginInstance> startInstance(float rate = 44100.0f, VstInt32 block = 512);
    std::unique_ptr<PluginInstance> plugin;
};

// Renders frames in blocks of the given size into one interleaved-free pair.
struct Rendered {
    std::vector<float> left, right;
};
Rendered renderBlocks(PluginInstance& plugin, int frames, int block);
// The hash of the bits of both channels (tests/support/HashBytes.h).
std::uint64_t checksum(const Rendered& audio);
