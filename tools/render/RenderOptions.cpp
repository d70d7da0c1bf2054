#include "tools/render/RenderOptions.h"

#include <charconv>
#include <cmath>

#include "tools/render/ToolError.h"

namespace {

// Numbers are read without the C library, so the user's locale never decides
// whether "0.5" parses.
double parseNumber(const std::string& text, const std::string& option) {
    double value = 0.0;
    const char* end = text.data() + text.size();
    const auto result = std::from_chars(text.data(), end, value);
    if (text.empty() || result.ec != std::errc() || result.ptr != end || !std::isfinite(value))
        throw ToolError(option + ": '" + text + "' is not a number");
    return value;
}

int parseWhole(const std::string& text, const std::string& option, int lowest, int highest) {
    int value = 0;
    const char* end = text.data() + text.size();
    const auto result = std::from_chars(text.data(), end, value);
    if (text.empty() || result.ec != std::errc() || result.ptr != end)
        throw ToolError(option + ": '" + text + "' is not a whole number");
    if (value < lowest || value > highest)
        throw ToolError(option + ": " + text + " is out of range (" + std::to_string(lowest) + " to " +
                        std::to_string(highest) + ")");
    return value;
}

bool endsWith(const std::string& text, const std::string& tail) {
    if (text.size() < tail.size()) return false;
    for (std::size_t i = 0; i < tail.size(); ++i) {
        char c = text[text.size() - tail.size() + i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != tail[i]) return false;
    }
    return true;
}

}  // namespace

RenderOptions parseRenderOptions(const std::vector<std::string>& arguments) {
    RenderOptions options;
    bool formatGiven = false;
    bool positionalOnly = false;

    for (std::size_t i = 0; i < arguments.size(); ++i) {
        std::string argument = arguments[i];
        if (positionalOnly || argument.size() < 2 || argument[0] != '-') {
            if (!options.midiFile.empty()) throw ToolError("more than one MIDI file given: '" + argument + "'");
            options.midiFile = argument;
            continue;
        }
        if (argument == "--") {
            positionalOnly = true;
            continue;
        }
        // "--name=value" is the same as "--name value".
        std::optional<std::string> attached;
        if (argument.rfind("--", 0) == 0) {
            const std::size_t equals = argument.find('=');
            if (equals != std::string::npos) {
                attached = argument.substr(equals + 1);
                argument.resize(equals);
            }
        }
        auto value = [&]() -> std::string {
            if (attached) return *attached;
            if (i + 1 >= arguments.size()) throw ToolError(argument + " needs a value");
            return arguments[++i];
        };
        auto flag = [&]() {
            if (attached) throw ToolError(argument + " takes no value");
        };

        if (argument == "-o" || argument == "--output") {
            options.output = value();
            if (options.output.empty()) throw ToolError(argument + " needs a file name");
        } else if (argument == "--plugin") {
            options.plugin = value();
        } else if (argument == "--program") {
            options.program = value();
            if (options.program->empty()) throw ToolError("--program needs a number or a name");
        } else if (argument == "--param") {
            const std::string setting = value();
            const std::size_t equals = setting.find('=');
            if (equals == std::string::npos || equals == 0)
                throw ToolError("--param: expected NAME=VALUE, got '" + setting + "'");
            const std::string name = setting.substr(0, equals);
            const double number = parseNumber(setting.substr(equals + 1), "--param " + name);
            if (number < 0.0 || number > 1.0)
                throw ToolError("--param " + name + ": value " + setting.substr(equals + 1) + " is out of range (0 to 1)");
            options.parameters.push_back({name, static_cast<float>(number)});
        } else if (argument == "--preset") {
            options.loadPreset = value();
        } else if (argument == "--bank") {
            options.loadBank = value();
        } else if (argument == "--save-preset") {
            options.savePreset = value();
        } else if (argument == "--save-bank") {
            options.saveBank = value();
        } else if (argument == "--rate") {
            options.sampleRate = parseWhole(value(), "--rate", 8000, 384000);
        } else if (argument == "--block") {
            options.blockSize = parseWhole(value(), "--block", 1, 8192);
        } else if (argument == "--format") {
            const std::string name = value();
            if (name == "wav")
                options.format = FileFormat::Wav;
            else if (name == "flac")
                options.format = FileFormat::Flac;
            else
                throw ToolError("--format: '" + name + "' is not wav or flac");
            formatGiven = true;
        } else if (argument == "--bits") {
            const std::string bits = value();
            if (bits == "16")
                options.sampleFormat = SampleFormat::Int16;
            else if (bits == "24")
                options.sampleFormat = SampleFormat::Int24;
            else if (bits == "float" || bits == "32")
                options.sampleFormat = SampleFormat::Float;
            else
                throw ToolError("--bits: '" + bits + "' is not 16, 24 or float");
        } else if (argument == "--tail") {
            options.tailSeconds = parseNumber(value(), "--tail");
            if (options.tailSeconds < 0.0 || options.tailSeconds > 600.0)
                throw ToolError("--tail: " + std::to_string(options.tailSeconds) + " is out of range (0 to 600 seconds)");
        } else if (argument == "--max-length") {
            const std::string text = value();
            options.maxLengthSeconds = parseNumber(text, "--max-length");
            if (!(options.maxLengthSeconds > 0.0) || options.maxLengthSeconds > kLongestMaxLength)
                throw ToolError("--max-length: " + text + " is out of range (above 0, up to 1e9 seconds)");
        } else if (argument == "--list-programs") {
            flag();
            options.listPrograms = true;
        } else if (argument == "--list-params") {
            flag();
            options.listParameters = true;
        } else if (argument == "--quiet" || argument == "-q") {
            flag();
            options.quiet = true;
        } else if (argument == "--force" || argument == "-f") {
            flag();
            options.force = true;
        } else if (argument == "--help" || argument == "-h") {
            flag();
            options.help = true;
        } else {
            throw ToolError("unknown option " + argument + " (see --help)");
        }
    }

    if (options.help) return options;
    if (!formatGiven && endsWith(options.output, ".flac")) options.format = FileFormat::Flac;
    if (options.format == FileFormat::Flac && options.sampleFormat == SampleFormat::Float)
        throw ToolError("FLAC cannot hold float samples: use --bits 16 or 24, or --format wav");
    if (options.output.empty() && !options.midiFile.empty())
        throw ToolError("a MIDI file was given but no output: add -o FILE.wav");
    if (options.output.empty() && !options.listPrograms && !options.listParameters && options.savePreset.empty() &&
        options.saveBank.empty())
        throw ToolError("nothing to do: give -o FILE.wav (see --help)");
    return options;
}

std::string renderUsage() {
    return R"(Usage: hammerlyn2-render [options] [song.mid] -o out.wav

Plays a MIDI file (format 0 or 1) through a VST 2 instrument and writes the
result to an audio file. Without a MIDI file it plays the built-in demo, which
goes through the eight factory programs in turn.

  -o, --output FILE       audio file to write (written beside, renamed when done;
                          a symbolic link is followed; a WAV above 4 GiB is RF64)
  --plugin PATH           VST 2 instrument to load (default: Hammerlyn2.so beside
                          this tool, one folder up, or in ../lib/vst)
  --program N|NAME        program to play, by number (from 0) or name; the demo
                          then stays on it
  --param NAME=VALUE      set a parameter to VALUE (0 to 1); repeatable; see
                          --list-params for the names
  --preset FILE.fxp       load a preset into the current program (the demo then
                          stays on that program)
  --bank FILE.fxb         load a bank of programs
  --save-preset FILE.fxp  save the current program, after all settings above
  --save-bank FILE.fxb    save the whole bank, after all settings above
  --rate HZ               sample rate, 8000 to 384000 (default 44100)
  --block FRAMES          largest audio block, 1 to 8192 (default 512)
  --format wav|flac       file type (default: from the output's extension, else wav)
  --bits 16|24|float      sample format (default 24; FLAC: 16 or 24)
  --tail SECONDS          longest time rendered after the song ends (default 10);
                          stops earlier once the output stays below -120 dBFS
  --max-length SECONDS    refuse a render that could last longer, song and tail
                          together (default 7200, two hours)
  --list-programs         print the plug-in's programs
  --list-params           print the plug-in's parameters with their current values
  -q, --quiet             no progress and no summary
  -f, --force             replace output files that are read-only (a replaced
                          file keeps its permissions and, where it may, owner)
  -h, --help              this text
)";
}
