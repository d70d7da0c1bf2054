#include "ToolTestSupport.h"

#include <dirent.h>
#include <sndfile.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <thread>

ScratchFolder::ScratchFolder() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/hammerlyn2-render-test.XXXXXX";
    if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    folder = pattern;
}

ScratchFolder::~ScratchFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);  // links removed, never followed
}

std::vector<std::string> ScratchFolder::entries() const {
    std::vector<std::string> names;
    if (DIR* dir = ::opendir(folder.c_str())) {
        while (dirent* entry = ::readdir(dir)) {
            const std::string name = entry->d_name;
            if (name != "." && name != "..") names.push_back(name);
        }
        ::closedir(dir);
    }
    return names;
}

namespace {

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

ToolProcess::ToolProcess(const std::vector<std::string>& arguments, const std::string& standardOutput,
                         const char* executable) {
    const std::string outPath = capture.file("stdout"), errPath = capture.file("stderr");
    std::vector<std::string> copies(arguments);
    std::string tool = executable;
    std::vector<char*> argv{tool.data()};
    for (std::string& argument : copies) argv.push_back(argument.data());
    argv.push_back(nullptr);
    child = ::fork();
    if (child == 0) {
        // Whatever the test runner ignores or blocks, the tool starts as from a shell.
        for (int s = 1; s <= SIGRTMAX; ++s) ::signal(s, SIG_DFL);
        sigset_t none;
        sigemptyset(&none);
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        const rlimit noCore{0, 0};
        ::setrlimit(RLIMIT_CORE, &noCore);
        if (standardOutput == "closed")
            ::close(STDOUT_FILENO);
        else
            std::freopen(standardOutput.empty() ? outPath.c_str() : standardOutput.c_str(), "w", stdout);
        std::freopen(errPath.c_str(), "w", stderr);
        ::execv(tool.c_str(), argv.data());
        std::_Exit(127);
    }
}

ToolProcess::~ToolProcess() {
    if (child > 0) finish(1.0);
}

ToolRun ToolProcess::finish(double timeoutSeconds) {
    ToolRun run;
    int status = 0;
    rusage usage{};
    const auto start = std::chrono::steady_clock::now();
    while (::wait4(child, &status, timeoutSeconds > 0 ? WNOHANG : 0, &usage) == 0) {
        if (std::chrono::steady_clock::now() - start > std::chrono::duration<double>(timeoutSeconds)) {
            run.timedOut = true;
            ::kill(child, SIGKILL);
            ::wait4(child, &status, 0, &usage);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    child = -1;
    run.peakKilobytes = usage.ru_maxrss;
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.signal = WIFSIGNALED(status) && !run.timedOut ? WTERMSIG(status) : 0;
    run.out = slurp(capture.file("stdout"));
    run.err = slurp(capture.file("stderr"));
    return run;
}

ToolRun runTool(const std::vector<std::string>& arguments) { return ToolProcess(arguments).finish(); }

Audio readAudio(const std::string& path) {
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (!file) throw std::runtime_error("cannot read " + path);
    Audio audio;
    audio.sampleRate = info.samplerate;
    audio.channels = info.channels;
    audio.samples.resize(static_cast<std::size_t>(info.frames * info.channels));
    sf_readf_float(file, audio.samples.data(), info.frames);
    sf_close(file);
    return audio;
}

std::vector<unsigned char> readBytes(const std::string& path) {
    const std::string text = slurp(path);
    return std::vector<unsigned char>(text.begin(), text.end());
}

void writeBytes(const std::string& path, const std::vector<unsigned char>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

namespace {

void putQuantity(std::vector<unsigned char>& out, std::uint32_t value) {
    unsigned char bytes[5];
    int n = 0;
    do {
        bytes[n++] = static_cast<unsigned char>(value & 0x7f);
        value >>= 7;
    } while (value != 0);
    while (n > 1) out.push_back(static_cast<unsigned char>(bytes[--n] | 0x80));
    out.push_back(bytes[0]);
}

void putBigEndian(std::vector<unsigned char>& out, std::uint32_t value, int bytes) {
    for (int i = bytes - 1; i >= 0; --i) out.push_back(static_cast<unsigned char>(value >> (8 * i)));
}

}  // namespace

void writeMidiFile(const std::string& path, int format, int ticksPerQuarter, int tracks,
                   const std::vector<MidiFileEvent>& events) {
    std::vector<unsigned char> file = {'M', 'T', 'h', 'd'};
    putBigEndian(file, 6, 4);
    putBigEndian(file, static_cast<std::uint32_t>(format), 2);
    putBigEndian(file, static_cast<std::uint32_t>(tracks), 2);
    putBigEndian(file, static_cast<std::uint32_t>(ticksPerQuarter), 2);
    std::vector<std::vector<const MidiFileEvent*>> byTrack(static_cast<std::size_t>(tracks));
    for (const MidiFileEvent& event : events) byTrack.at(static_cast<std::size_t>(event.track)).push_back(&event);
    for (std::vector<const MidiFileEvent*>& mine : byTrack) {
        std::stable_sort(mine.begin(), mine.end(),
                         [](const MidiFileEvent* a, const MidiFileEvent* b) { return a->tick < b->tick; });
        std::vector<unsigned char> track;
        std::uint32_t previous = 0;
        bool ended = false;
        for (const MidiFileEvent* event : mine) {
            putQuantity(track, static_cast<std::uint32_t>(event->tick) - previous);
            previous = static_cast<std::uint32_t>(event->tick);
            if (event->bytes.at(0) == 0xf0) {  // system exclusive: its length after the status
                track.push_back(0xf0);
                putQuantity(track, static_cast<std::uint32_t>(event->bytes.size() - 1));
                track.insert(track.end(), event->bytes.begin() + 1, event->bytes.end());
            } else {
                track.insert(track.end(), event->bytes.begin(), event->bytes.end());
            }
            ended = event->bytes.size() == 3 && event->bytes[0] == 0xff && event->bytes[1] == 0x2f;
        }
        if (!ended) track.insert(track.end(), {0x00, 0xff, 0x2f, 0x00});  // the end mark at the last event
        file.insert(file.end(), {'M', 'T', 'r', 'k'});
        putBigEndian(file, static_cast<std::uint32_t>(track.size()), 4);
        file.insert(file.end(), track.begin(), track.end());
    }
    writeBytes(path, file);
}

std::vector<unsigned char> tempoEvent(int microsecondsPerQuarter) {
    return {0xff, 0x51, 0x03, static_cast<unsigned char>(microsecondsPerQuarter >> 16),
            static_cast<unsigned char>(microsecondsPerQuarter >> 8), static_cast<unsigned char>(microsecondsPerQuarter)};
}
