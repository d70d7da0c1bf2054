// Helpers for the render tool's tests: scratch folders, running the built tool,
// reading back what it wrote, and writing MIDI files.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// A fresh folder, removed with everything in it at the end of the test.
class ScratchFolder {
public:
    ScratchFolder();
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    const std::string& path() const { return folder; }
    std::string file(const std::string& name) const { return folder + "/" + name; }
    // Names of the entries in the folder, hidden ones included.
    std::vector<std::string> entries() const;

private:
    std::string folder;
};

struct ToolRun {
    int exitCode = -1;  // -1 when a signal ended the tool
    int signal = 0;     // the signal that ended it
    bool timedOut = false;
    long peakKilobytes = 0;  // the tool's peak resident set (ru_maxrss)
    std::string out, err;
};

// The built hammerlyn2-render started with these arguments, with every signal
// at its default action and no core files. Its standard output is captured,
// or goes to the file standardOutput names ("/dev/full"), or is closed
// ("closed").
class ToolProcess {
public:
    // The tool, or another build of it (tool), started with these arguments.
    explicit ToolProcess(const std::vector<std::string>& arguments, const std::string& standardOutput = {},
                         const char* tool = HAMMERLYN2_RENDER_TOOL);
    ~ToolProcess();
    ToolProcess(const ToolProcess&) = delete;
    ToolProcess& operator=(const ToolProcess&) = delete;
    int pid() const { return child; }
    // Waits for the tool to end; after timeoutSeconds (0: no limit) it is
    // killed and the run marked timed out.
    ToolRun finish(double timeoutSeconds = 0.0);

private:
    ScratchFolder capture;
    int child = -1;
};

// Runs the built hammerlyn2-render with these arguments.
ToolRun runTool(const std::vector<std::string>& arguments);

struct Audio {
    int sampleRate = 0;
    int channels = 0;
    std::vector<float> samples;  // interleaved
    std::int64_t frames() const { return channels ? static_cast<std::int64_t>(samples.size()) / channels : 0; }
    float at(std::int64_t frame, int channel) const { return samples[static_cast<std::size_t>(frame * channels + channel)]; }
};

Audio readAudio(const std::string& path);
std::vector<unsigned char> readBytes(const std::string& path);
void writeBytes(const std::string& path, const std::vector<unsigned char>& bytes);

// One event for a MIDI file written by the tests: raw bytes at a tick.
struct MidiFileEvent {
    int track;
    int tick;
    std::vector<unsigned char> bytes;
};
// Writes a Standard MIDI File of the given format with these events: each
// track's in tick order (equal ticks in the order given), every event's bytes
// as they are but for a system-exclusive one, which gets its length after the
// status, and an end mark after the last event of a track that has none.
void writeMidiFile(const std::string& path, int format, int ticksPerQuarter, int tracks,
                   const std::vector<MidiFileEvent>& events);
// The bytes of a tempo meta event.
std::vector<unsigned char> tempoEvent(int microsecondsPerQuarter);
