// Preset and bank files on disk, for the render tool: every failure is a
// ToolError that names the file.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/render/PresetFile.h"

// parsePresetFile for the tool: anything not exactly right throws ToolError naming
// the file. count is the parameter or program count the file must give (0: any).
PresetFile decodePresetFile(const std::vector<unsigned char>& bytes, PresetFile::Kind expected,
                            std::int32_t pluginId, const std::string& fileName, std::int32_t count = 0);

// Reads a preset or bank file from disk; throws ToolError when it cannot be read
// or does not parse.
PresetFile readPresetFile(const std::string& path, PresetFile::Kind expected, std::int32_t pluginId,
                          std::int32_t count = 0);
// Writes a file through a temporary name (an OutputFile, replaceReadOnly as
// there); throws ToolError on failure.
void writePresetFile(const std::string& path, const PresetFile& file, bool replaceReadOnly = false);
