// What every host-level suite shares: the plug-in library this build produced,
// loaded once per test program, what it announces, new instances through its
// exported entry point, and a hash to compare renders bit for bit.
#pragma once

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <memory>

#include "host/PluginInstance.h"
#include "host/PluginLibrary.h"
#include "tests/support/HashBytes.h"

PluginLibrary& builtPlugin();

// The built library has an editor only where the build has a window layer.
constexpr bool kBuiltPluginHasEditor = HAMMERLYN2_PLUGIN_HAS_EDITOR;
// Its effect record's flags: a synth with chunks and replacing process, and an
// editor where there is one.
constexpr VstInt32 kBuiltPluginFlags = effFlagsIsSynth | effFlagsProgramChunks | effFlagsCanReplacing |
                                       (kBuiltPluginHasEditor ? effFlagsHasEditor : 0);

// The effect record holds what the plug-in announces about itself, unchanged
// whatever the host has asked before.
::testing::AssertionResult recordAsAnnounced(const AEffect* effect);

// A new instance through the exported entry point (null when refused).
std::unique_ptr<PluginInstance> newInstance(const HostOptions& options = {});
// A new instance, opened, with rate and block size set and resumed.
std::unique_ptr<PluginInstance> startedInstance(float rate = 44100.0f, VstInt32 block = 512);

