// Reads a Standard MIDI File (format 0 or 1) into a timeline: every track and
// channel merged, times taken through the file's tempo map, system-exclusive and
// meta events dropped.
//
// Every length and count in the file is checked against the bytes that are
// there before it is used, and the work grows with the file's size (times the
// logarithm of its track count, for the merge), so no file can make the reader
// read astray or take long. The memory grows with it too, but by a small
// factor: each event is held once, in 16 bytes, and a file event takes at
// least two bytes.
#pragma once

#include <cstddef>
#include <string>

#include "tools/render/Timeline.h"

// Throws ToolError with a one-line reason when the file is missing or not a MIDI
// file this tool can play.
Timeline readMidiFile(const std::string& path);

// The same for a file's bytes already in memory; name starts each error.
Timeline parseMidiFile(const unsigned char* bytes, std::size_t size, const std::string& name);
