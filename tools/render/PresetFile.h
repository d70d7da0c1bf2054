// The standard VST 2 preset (.fxp) and bank (.fxb) files in their opaque-chunk
// forms: a 'CcnK' container with big-endian header fields around the state
// block the plug-in hands over. The block itself is never looked into.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct PresetFile {
    enum class Kind { Preset, Bank };

    Kind kind = Kind::Preset;
    std::int32_t pluginId = 0;       // the plug-in's unique ID
    std::int32_t pluginVersion = 0;  // the plug-in's version when the file was saved
    std::int32_t count = 0;          // parameters (preset) or programs (bank)
    std::string programName;         // preset only: up to 28 characters
    std::int32_t currentProgram = -1;  // bank only: the selected program, -1 when the file does not say
    std::vector<unsigned char> chunk;  // the plug-in's state block
};

// The file's bytes: a preset in 'FPCh' form, a bank in 'FBCh' version 2 form.
std::vector<unsigned char> encodePresetFile(const PresetFile& file);

// Parses the bytes of a preset or bank file and checks that it is of the
// expected kind and for the plug-in with this ID. Anything not exactly right
// (wrong magic, another plug-in, a header or chunk length that does not match
// the file) throws ToolError naming the file.
PresetFile decodePresetFile(const std::vector<unsigned char>& bytes, PresetFile::Kind expected,
                            std::int32_t pluginId, const std::string& fileName);

// Reads a preset or bank file from disk; throws ToolError when it cannot be read
// or does not parse.
PresetFile readPresetFile(const std::string& path, PresetFile::Kind expected, std::int32_t pluginId);
// Writes a file through a temporary name (an OutputFile, replaceReadOnly as
// there); throws ToolError on failure.
void writePresetFile(const std::string& path, const PresetFile& file, bool replaceReadOnly = false);

// The four characters of an ID ('QFH2'), or its number when not printable.
std::string fourCharText(std::int32_t id);
