// Plays a timeline through an instrument into an audio file, block by block:
// each MIDI message at its exact frame inside its block, each program switch
// between blocks at its exact frame, then the release tail until it dies away.
#pragma once

#include <cstdint>
#include <vector>

#include "tools/render/AudioFileWriter.h"
#include "tools/render/InstrumentHost.h"
#include "tools/render/Timeline.h"

struct RenderSettings {
    int sampleRate = 44100;
    int blockSize = 512;
    double tailSeconds = 10.0;  // the most rendered after the timeline ends
    bool progress = false;      // a progress line on stderr
    // Parameter values that hold across program switches: set again after each.
    std::vector<std::pair<int, float>> heldParameters;
};

struct RenderResult {
    std::int64_t frames = 0;
    float peak = 0.0f;  // largest magnitude written, either channel
};

// The most MIDI messages handed to the plug-in in one list (effProcessEvents).
// A block with more gets them in several lists in a row before it is
// rendered, as some hosts send them; the plug-in's own state of a block
// holds far fewer anyway.
constexpr std::size_t kMessagesPerList = 4096;

// Output below this magnitude (-120 dBFS) counts as silence at the end.
constexpr float kSilence = 1.0e-6f;

// The most frames a render of the timeline can take: the song and the whole tail.
std::int64_t longestRender(const Timeline& timeline, const RenderSettings& settings);

// Throws ToolError when writing fails.
RenderResult renderTimeline(InstrumentHost& host, const Timeline& timeline, const RenderSettings& settings,
                            AudioFileWriter& writer);
