// The standard VST 2 preset (.fxp) and bank (.fxb) files in their opaque-chunk
// forms: a 'CcnK' container with big-endian header fields around the state
// block the plug-in hands over. The block itself is never looked into. The
// bytes only, for the render tool and the web page alike; reading and writing
// files is the tool's (PresetFileIo.h).
#pragma once

#include <cstddef>
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

    // What a reader takes as a file of its plug-in: the kind (a bank is never
    // taken as a preset), the plug-in's ID, and where the reader knows them the
    // parameter (preset) or program (bank) count the file must give and the
    // size of its state block; 0 for either takes any.
    struct Expected {
        Kind kind = Kind::Preset;
        std::int32_t pluginId = 0;
        std::int32_t count = 0;
        std::size_t chunkBytes = 0;
    };
    // Plug-in state blocks are small; anything beyond this is not a preset file.
    static constexpr std::size_t kLargestFile = 64u << 20;
};

// The file's bytes: a preset in 'FPCh' form, a bank in 'FBCh' version 2 form.
std::vector<unsigned char> encodePresetFile(const PresetFile& file);

// The one rule for what a file is, shared by the render tool and the web page:
// parses size bytes into file and returns why they are not a file as expected
// (wrong magic, another plug-in, another count or block size, a header or
// chunk length that does not match the file), empty when they are one.
std::string parsePresetFile(const unsigned char* data, std::size_t size, const PresetFile::Expected& expected,
                            PresetFile& file);

// The four characters of an ID ('QFH2'), or its number when not printable.
std::string fourCharText(std::int32_t id);
