// The command line of hammerlyn2-render, parsed and checked before anything is
// loaded, so that a mistyped option costs nothing.
#pragma once

#include <optional>
#include <string>
#include <vector>

enum class SampleFormat { Int16, Int24, Float };
enum class FileFormat { Wav, Flac };

struct ParameterSetting {
    std::string name;  // as the plug-in names it, or its index
    float value;       // 0..1
};

struct RenderOptions {
    std::string midiFile;  // empty: the built-in demo
    std::string output;    // empty: nothing is rendered
    std::string plugin;    // empty: the instrument built beside the tool
    std::optional<std::string> program;  // number or name
    std::vector<ParameterSetting> parameters;
    std::string loadPreset, loadBank, savePreset, saveBank;
    int sampleRate = 44100;
    int blockSize = 512;
    FileFormat format = FileFormat::Wav;
    SampleFormat sampleFormat = SampleFormat::Int24;
    double tailSeconds = 10.0;
    double maxLengthSeconds = 2 * 3600.0;  // the longest render allowed, song and tail
    bool listPrograms = false;
    bool listParameters = false;
    bool quiet = false;
    bool force = false;  // outputs replace files their owners may not write
    bool help = false;
};

// The largest --max-length: some 31 years, whose frames still count exactly in
// 64 bits at any rate.
constexpr double kLongestMaxLength = 1.0e9;

// Parses the arguments after the program name; throws ToolError naming the
// offending option.
RenderOptions parseRenderOptions(const std::vector<std::string>& arguments);

// The --help text.
std::string renderUsage();
