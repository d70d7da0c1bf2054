// Reads a Standard MIDI File (format 0 or 1) into a timeline: every track and
// channel merged, times taken through the file's tempo map, system-exclusive and
// meta events dropped.
#pragma once

#include <string>

#include "tools/render/Timeline.h"

// Throws ToolError with a one-line reason when the file is missing or not a MIDI
// file this tool can play.
Timeline readMidiFile(const std::string& path);
