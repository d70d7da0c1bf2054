// hammerlyn2-render: plays a MIDI file, or the built-in demo, through a VST 2
// instrument into a WAV or FLAC file, and loads and saves .fxp/.fxb files.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "tools/render/AudioFileWriter.h"
#include "tools/render/DemoSong.h"
#include "tools/render/InstrumentHost.h"
#include "tools/render/MidiFileReader.h"
#include "tools/render/OutputFile.h"
#include "tools/render/PresetFileIo.h"
#include "tools/render/RenderOptions.h"
#include "tools/render/Renderer.h"
#include "tools/render/ToolError.h"

namespace {

bool exists(const std::string& path) { return ::access(path.c_str(), F_OK) == 0; }

// The instrument that came with the tool: in the tool's own folder, one up
// (the build tree keeps the tool in tools/ and the plug-in at its top), or in
// ../lib/vst (installed: /usr/bin and /usr/lib/vst).
std::string defaultPluginPath() {
    char self[PATH_MAX] = {};
    const ssize_t length = ::readlink("/proc/self/exe", self, sizeof(self) - 1);
    std::string folder = ".";
    if (length > 0) {
        const std::string executable(self, static_cast<std::size_t>(length));
        const std::size_t slash = executable.find_last_of('/');
        if (slash != std::string::npos) folder = executable.substr(0, slash);
    }
    for (const char* place : {"/", "/../", "/../lib/vst/"}) {
        const std::string candidate = folder + place + "Hammerlyn2.so";
        if (exists(candidate)) return candidate;
    }
    throw ToolError("no Hammerlyn2.so beside the tool (looked in " + folder + ", its parent folder and " + folder +
                    "/../lib/vst); give --plugin PATH");
}

std::string absolute(const std::string& path) {
    if (char* resolved = ::realpath(path.c_str(), nullptr)) {
        std::string result(resolved);
        std::free(resolved);
        return result;
    }
    return path;
}

std::string decibels(float peak) {
    if (!(peak > 0.0f)) return "-inf dBFS";
    if (!std::isfinite(peak)) return "inf dBFS";
    char text[32];
    std::snprintf(text, sizeof(text), "%.1f dBFS", 20.0 * std::log10(static_cast<double>(peak)));
    return text;
}

// "12.5 s", with a rougher figure in larger units once the seconds say little.
std::string duration(double seconds) {
    char text[96];
    const double hour = 3600.0, day = 24 * hour, year = 365.25 * day;
    if (seconds >= 2 * year)
        std::snprintf(text, sizeof(text), "%.0f s (%.0f years)", seconds, seconds / year);
    else if (seconds >= 2 * day)
        std::snprintf(text, sizeof(text), "%.0f s (%.0f days)", seconds, seconds / day);
    else if (seconds >= 2 * hour)
        std::snprintf(text, sizeof(text), "%.0f s (%.1f hours)", seconds, seconds / hour);
    else
        std::snprintf(text, sizeof(text), seconds < 0.1 ? "%.2g s" : "%.1f s", seconds);
    return text;
}

std::string megabytes(std::uint64_t bytes) {
    char text[48];
    std::snprintf(text, sizeof(text), "%.0f MB", static_cast<double>(bytes) / 1.0e6);
    return text;
}

// Before anything is rendered: the longest the render can last, against
// --max-length, and the most its file can take, against the space there is.
void checkSize(const Timeline& song, const std::string& songName, const RenderOptions& options,
               const RenderSettings& settings) {
    const double seconds = song.lengthSeconds + options.tailSeconds;
    if (!(seconds <= options.maxLengthSeconds))
        throw ToolError(songName + ": the render could last " + duration(seconds) + " with its tail, more than --max-length " +
                        duration(options.maxLengthSeconds));
    const std::uint64_t most = largestFileBytes(options.sampleFormat, 2, longestRender(song, settings));
    const auto available = freeBytesFor(options.output);
    if (available && most > *available)
        throw ToolError("cannot write " + options.output + ": the render may take up to " + megabytes(most) +
                        " and its file system has " + megabytes(*available) + " free");
}

int run(const std::vector<std::string>& arguments) {
    const RenderOptions options = parseRenderOptions(arguments);
    if (options.help) {
        std::fputs(renderUsage().c_str(), stdout);
        return 0;
    }
    const bool demo = options.midiFile.empty();
    const std::string pluginPath = options.plugin.empty() ? defaultPluginPath() : options.plugin;

    // Where the results go is checked before anything is read or written, so
    // that no input is ever overwritten and no output is written into a
    // device, a FIFO or a socket.
    std::vector<std::string> outputs, inputs{pluginPath, options.loadPreset, options.loadBank};
    for (const std::string* path : {&options.output, &options.savePreset, &options.saveBank})
        if (!path->empty()) outputs.push_back(*path);
    if (!options.output.empty() && !demo) inputs.push_back(options.midiFile);
    checkOutputsAgainstInputs(outputs, inputs, options.force);

    RenderSettings settings;
    settings.sampleRate = options.sampleRate;
    settings.blockSize = options.blockSize;
    settings.tailSeconds = options.tailSeconds;

    // The song is read before the plug-in is loaded, so a bad file fails fast.
    Timeline song;
    if (!options.output.empty() && !demo) {
        song = readMidiFile(options.midiFile);
        checkSize(song, options.midiFile, options, settings);
    }

    InstrumentHost host(pluginPath, options.sampleRate, options.blockSize);

    // State and settings, in the order a user would apply them by hand.
    if (!options.loadBank.empty())
        host.loadBank(
            readPresetFile(options.loadBank, PresetFile::Kind::Bank, host.uniqueId(), host.programCount()),
            options.loadBank);
    if (options.program) host.setProgram(host.findProgram(*options.program));
    if (!options.loadPreset.empty())
        host.loadPreset(readPresetFile(options.loadPreset, PresetFile::Kind::Preset, host.uniqueId(),
                                       host.parameterCount()),
                        options.loadPreset);
    std::vector<std::pair<int, float>> parameters;
    for (const ParameterSetting& setting : options.parameters)
        parameters.emplace_back(host.findParameter(setting.name), setting.value);
    for (const auto& [index, value] : parameters) host.setParameter(index, value);

    if (!options.output.empty() && demo) {
        // The demo walks through the programs unless the user chose one.
        const bool oneProgram = options.program.has_value() || !options.loadPreset.empty();
        song = demoSong(oneProgram ? 1 : host.programCount());
        checkSize(song, "the demo", options, settings);
    }

    if (options.listPrograms) {
        const int current = host.currentProgram();
        for (int i = 0; i < host.programCount(); ++i)
            std::printf("%3d%s %s\n", i, i == current ? "*" : " ", host.programName(i).c_str());
    }
    if (options.listParameters) {
        for (int i = 0; i < host.parameterCount(); ++i)
            std::printf("%3d  %-8s  %.4f  %s\n", i, host.parameterName(i).c_str(), static_cast<double>(host.parameter(i)),
                        host.parameterDisplay(i).c_str());
    }
    std::fflush(stdout);
    if (!options.saveBank.empty()) writePresetFile(options.saveBank, host.saveBank(), options.force);
    if (!options.savePreset.empty()) writePresetFile(options.savePreset, host.savePreset(), options.force);
    if (options.output.empty()) return 0;

    settings.progress = !options.quiet && ::isatty(STDERR_FILENO) && song.lengthSeconds > 3.0;
    settings.heldParameters = parameters;

    AudioFileWriter writer(options.output, options.sampleRate, 2, options.format, options.sampleFormat,
                           longestRender(song, settings), options.force);
    const RenderResult result = renderTimeline(host, song, settings, writer);
    writer.commit();

    if (!options.quiet) {
        const bool integer = options.sampleFormat != SampleFormat::Float;
        std::printf("Wrote %s: %.1f s, %d Hz stereo, %s, peak %s%s\n", absolute(options.output).c_str(),
                    static_cast<double>(result.frames) / options.sampleRate, options.sampleRate,
                    writer.description().c_str(), decibels(result.peak).c_str(),
                    integer && result.peak > 1.0f ? " (clipped)" : result.peak == 0.0f ? " (silent)" : "");
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    // A standard descriptor the tool was started without is taken by /dev/null
    // opened for reading: no file the tool opens gets its number (text meant
    // for the terminal would land in the audio file), and writes to it still
    // fail as they would on a closed descriptor.
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd)
        if (::fcntl(fd, F_GETFD) < 0 && errno == EBADF) {
            const int held = ::open("/dev/null", O_RDONLY);
            if (held >= 0 && held != fd) {
                ::dup2(held, fd);
                ::close(held);
            }
        }
    // A signal ends the tool at once, wherever it is (reading a MIDI file, in
    // the plug-in, writing), with the temporary files of unfinished outputs removed.
    removeTemporaryFilesOnSignals();
    std::vector<std::string> arguments(argv + 1, argv + argc);
    int status = 0;
    try {
        status = run(arguments);
    } catch (const std::exception& error) {
        std::fflush(stdout);
        std::fprintf(stderr, "hammerlyn2-render: %s\n", error.what());
        return 1;
    }
    // Lists, help and summary that did not reach the standard output (a full
    // disk, a closed descriptor) are a failure like any other.
    const bool flushed = std::fflush(stdout) == 0;
    const int error = errno;
    if (!flushed || std::ferror(stdout)) {
        std::fprintf(stderr, "hammerlyn2-render: cannot write the standard output%s%s\n", flushed ? "" : ": ",
                     flushed ? "" : std::strerror(error));
        return 1;
    }
    return status;
}
