// hammerlyn2-render: plays a MIDI file, or the built-in demo, through a VST 2
// instrument into a WAV or FLAC file, and loads and saves .fxp/.fxb files.
#include <unistd.h>

#include <atomic>
#include <climits>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "tools/render/AudioFileWriter.h"
#include "tools/render/DemoSong.h"
#include "tools/render/InstrumentHost.h"
#include "tools/render/MidiFileReader.h"
#include "tools/render/PresetFile.h"
#include "tools/render/RenderOptions.h"
#include "tools/render/Renderer.h"
#include "tools/render/ToolError.h"

namespace {

std::atomic<bool> stopRequested{false};

extern "C" void requestStop(int) { stopRequested.store(true); }

bool exists(const std::string& path) { return ::access(path.c_str(), F_OK) == 0; }

// The instrument built beside the tool: in the tool's own folder, or one up
// (the build tree keeps the tool in tools/ and the plug-in at its top).
std::string defaultPluginPath() {
    char self[PATH_MAX] = {};
    const ssize_t length = ::readlink("/proc/self/exe", self, sizeof(self) - 1);
    std::string folder = ".";
    if (length > 0) {
        const std::string executable(self, static_cast<std::size_t>(length));
        const std::size_t slash = executable.find_last_of('/');
        if (slash != std::string::npos) folder = executable.substr(0, slash);
    }
    const std::string beside = folder + "/Hammerlyn2.so";
    const std::string above = folder + "/../Hammerlyn2.so";
    if (exists(beside)) return beside;
    if (exists(above)) return above;
    throw ToolError("no Hammerlyn2.so beside the tool (looked in " + folder + " and its parent folder); give --plugin PATH");
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

int run(const std::vector<std::string>& arguments) {
    const RenderOptions options = parseRenderOptions(arguments);
    if (options.help) {
        std::fputs(renderUsage().c_str(), stdout);
        return 0;
    }

    // The song is read before the plug-in is loaded, so a bad file fails fast.
    const bool demo = options.midiFile.empty();
    Timeline song;
    if (!options.output.empty() && !demo) song = readMidiFile(options.midiFile);

    const std::string pluginPath = options.plugin.empty() ? defaultPluginPath() : options.plugin;
    InstrumentHost host(pluginPath, options.sampleRate, options.blockSize);

    // State and settings, in the order a user would apply them by hand.
    if (!options.loadBank.empty())
        host.loadBank(readPresetFile(options.loadBank, PresetFile::Kind::Bank, host.uniqueId()), options.loadBank);
    if (options.program) host.setProgram(host.findProgram(*options.program));
    if (!options.loadPreset.empty())
        host.loadPreset(readPresetFile(options.loadPreset, PresetFile::Kind::Preset, host.uniqueId()),
                        options.loadPreset);
    std::vector<std::pair<int, float>> parameters;
    for (const ParameterSetting& setting : options.parameters)
        parameters.emplace_back(host.findParameter(setting.name), setting.value);
    for (const auto& [index, value] : parameters) host.setParameter(index, value);

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
    if (!options.saveBank.empty()) writePresetFile(options.saveBank, host.saveBank());
    if (!options.savePreset.empty()) writePresetFile(options.savePreset, host.savePreset());
    if (options.output.empty()) return 0;

    if (demo) {
        // The demo walks through the programs unless the user chose one.
        const bool oneProgram = options.program.has_value() || !options.loadPreset.empty();
        song = demoSong(oneProgram ? 1 : host.programCount());
    }

    RenderSettings settings;
    settings.sampleRate = options.sampleRate;
    settings.blockSize = options.blockSize;
    settings.tailSeconds = options.tailSeconds;
    settings.progress = !options.quiet && ::isatty(STDERR_FILENO) && song.lengthSeconds > 3.0;
    settings.heldParameters = parameters;
    settings.stop = &stopRequested;

    AudioFileWriter writer(options.output, options.sampleRate, 2, options.format, options.sampleFormat);
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
    std::signal(SIGINT, requestStop);
    std::signal(SIGTERM, requestStop);
    std::vector<std::string> arguments(argv + 1, argv + argc);
    try {
        return run(arguments);
    } catch (const ToolError& error) {
        std::fflush(stdout);
        std::fprintf(stderr, "hammerlyn2-render: %s\n", error.what());
        return stopRequested.load() ? 130 : 1;
    } catch (const std::exception& error) {
        std::fflush(stdout);
        std::fprintf(stderr, "hammerlyn2-render: %s\n", error.what());
        return 1;
    }
}
