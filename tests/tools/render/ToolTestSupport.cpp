#include "ToolTestSupport.h"

#include <dirent.h>
#include <smf.h>
#include <sndfile.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>

ScratchFolder::ScratchFolder() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/hammerlyn2-render-test.XXXXXX";
    if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    folder = pattern;
}

ScratchFolder::~ScratchFolder() {
    for (const std::string& name : entries()) ::unlink((folder + "/" + name).c_str());
    ::rmdir(folder.c_str());
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

ToolRun runTool(const std::vector<std::string>& arguments) {
    ScratchFolder capture;
    const std::string outPath = capture.file("stdout"), errPath = capture.file("stderr");
    const pid_t child = ::fork();
    if (child == 0) {
        std::freopen(outPath.c_str(), "w", stdout);
        std::freopen(errPath.c_str(), "w", stderr);
        std::vector<char*> argv;
        std::string tool = HAMMERLYN2_RENDER_TOOL;
        argv.push_back(tool.data());
        std::vector<std::string> copies(arguments);
        for (std::string& argument : copies) argv.push_back(argument.data());
        argv.push_back(nullptr);
        ::execv(tool.c_str(), argv.data());
        std::_Exit(127);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    ToolRun run;
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.out = slurp(outPath);
    run.err = slurp(errPath);
    return run;
}

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

void writeMidiFile(const std::string& path, int format, int ticksPerQuarter, int tracks,
                   const std::vector<MidiFileEvent>& events) {
    smf_t* smf = smf_new();
    if (smf_set_ppqn(smf, ticksPerQuarter) != 0) throw std::runtime_error("smf_set_ppqn");
    std::vector<smf_track_t*> made;
    for (int t = 0; t < tracks; ++t) {
        made.push_back(smf_track_new());
        smf_add_track(smf, made.back());
    }
    if (smf_set_format(smf, format) != 0) throw std::runtime_error("smf_set_format");
    for (const MidiFileEvent& event : events) {
        std::vector<unsigned char> bytes(event.bytes);
        smf_event_t* made_event = smf_event_new_from_pointer(bytes.data(), static_cast<int>(bytes.size()));
        if (!made_event) throw std::runtime_error("smf_event_new_from_pointer");
        smf_track_add_event_pulses(made[static_cast<std::size_t>(event.track)], made_event, event.tick);
    }
    if (smf_save(smf, path.c_str()) != 0) throw std::runtime_error("smf_save " + path);
    smf_delete(smf);
}

std::vector<unsigned char> tempoEvent(int microsecondsPerQuarter) {
    return {0xff, 0x51, 0x03, static_cast<unsigned char>(microsecondsPerQuarter >> 16),
            static_cast<unsigned char>(microsecondsPerQuarter >> 8), static_cast<unsigned char>(microsecondsPerQuarter)};
}
