// The standalone application as a player meets it, each run a process of its
// own: under a JACK server of the test's own (jackd -d dummy) fed and recorded
// by JACK clients of the test, its window in the program's Xvfb driven through
// XTest, and with no audio at all.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <jack/jack.h>
#include <jack/midiport.h>
#include <sched.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/BuiltPlugin.h"
#include "tests/support/Xvfb.h"

// Last: Xlib's macros (None, Status) would rename names in the headers above.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr jack_nframes_t kPeriod = 256;

std::string readAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// A process of the application, its standard output and error in files,
// with SIGPIPE at its default whatever the test set for itself. Variables
// in env ("NAME=value") are set on top of the test's own.
struct App {
    pid_t pid = -1;
    fs::path errors, output;

    App(const fs::path& config, const std::string& server, std::vector<std::string> args,
        std::vector<std::string> env = {}) {
        errors = config / "stderr.txt";
        output = config / "stdout.txt";
        std::ofstream{errors}, std::ofstream{output};  // emptied before the process starts
        pid = fork();
        if (pid == 0) {
            prctl(PR_SET_PDEATHSIG, SIGKILL);
            signal(SIGPIPE, SIG_DFL);
            setenv("XDG_CONFIG_HOME", config.c_str(), 1);
            setenv("JACK_DEFAULT_SERVER", server.c_str(), 1);
            setenv("PULSE_SERVER", "unix:/nonexistent", 1);  // no PulseAudio of the user's
            setenv("GDK_SCALE", "1", 1);
            for (std::string& e : env) putenv(e.data());
            const int err = open(errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            dup2(err, 2);
            const int out = open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            dup2(out, 1);
            std::vector<char*> argv{const_cast<char*>(HAMMERLYN2_APP)};
            for (std::string& a : args) argv.push_back(a.data());
            argv.push_back(nullptr);
            execv(HAMMERLYN2_APP, argv.data());
            _exit(127);
        }
    }
    ~App() {
        if (pid > 0) kill(pid, SIGKILL), waitpid(pid, nullptr, 0);
    }
    // The exit status within seconds, -1 when still running (then killed).
    int wait(double seconds) {
        const auto end = Clock::now() + std::chrono::duration<double>(seconds);
        int status = 0;
        while (Clock::now() < end) {
            if (waitpid(pid, &status, WNOHANG) == pid) {
                pid = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return -1;
    }
    // Waits for the start line (true), or for the end of the process (false).
    bool playing(double seconds = 10) {
        const auto end = Clock::now() + std::chrono::duration<double>(seconds);
        while (Clock::now() < end && pid > 0) {
            if (stdoutText().find("playing through") != std::string::npos) return true;
            if (waitpid(pid, nullptr, WNOHANG) == pid) pid = -1;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return stdoutText().find("playing through") != std::string::npos;
    }
    // Sends sig and returns the exit status.
    int end(int sig = SIGTERM) {
        if (pid > 0) kill(pid, sig);
        return wait(10);
    }
    std::string stderrText() const { return readAll(errors); }
    std::string stdoutText() const { return readAll(output); }
};

// JACK1's servers share the machine's /dev/shm and SysV IPC: a registry of
// eight server names, and a metadata store in /dev/shm/jack-UID/default
// without which a server crashes as a client leaves; a server of that name
// ending takes it away from every other. As root, each test program runs in
// IPC and mount namespaces of its own over a private /dev/shm (its children
// with it); elsewhere a locked pool of names keeps concurrent runs apart.
const bool privateJack = [] {
    if (geteuid() != 0 || unshare(CLONE_NEWNS | CLONE_NEWIPC) != 0) return false;
    return mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
           mount("tmpfs", "/dev/shm", "tmpfs", 0, "mode=1777") == 0;
}();

// jackd -d dummy (JACK1) under a name of the test's own, 44.1 kHz, 256-frame periods.
struct JackServer {
    pid_t pid = -1;
    int lock = -1;
    std::string name;
    // JACK1 frees a registry entry only for a server of the same name (a
    // test that crashed leaves one): so four names, each held under a lock
    // for the server's life.
    JackServer() {
        for (int round = 0; lock < 0; ++round)
            for (int n = 0; n < 4 && lock < 0; ++n) {
                const std::string path = "/tmp/hammerlyn2-test-jack-" + std::to_string(n) + ".lock";
                const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
                if (fd >= 0 && flock(fd, round < 200 ? LOCK_EX | LOCK_NB : LOCK_EX) == 0) {
                    lock = fd;
                    name = "hammerlyn2-test-" + std::to_string(n);
                } else {
                    if (fd >= 0) ::close(fd);
                    std::this_thread::sleep_for(std::chrono::milliseconds(n == 3 ? 50 : 0));
                }
            }
        std::error_code ec;
        fs::create_directories("/dev/shm/jack-" + std::to_string(getuid()) + "/default", ec);
        pid = fork();
        if (pid == 0) {
            prctl(PR_SET_PDEATHSIG, SIGKILL);
            const int null = open("/dev/null", O_WRONLY);
            dup2(null, 1);
            dup2(null, 2);
            execlp("jackd", "jackd", "-n", name.c_str(), "-d", "dummy", "-r", "44100", "-p", "256",
                   static_cast<char*>(nullptr));
            _exit(127);
        }
        // Ready once a client gets in.
        const auto end = Clock::now() + std::chrono::seconds(10);
        while (Clock::now() < end) {
            if (jack_client_t* probe =
                    jack_client_open("probe", static_cast<jack_options_t>(JackNoStartServer | JackServerName),
                                     nullptr, name.c_str())) {
                jack_client_close(probe);
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    }
    ~JackServer() {
        stop();
        if (lock >= 0) ::close(lock);
    }
    void stop() {
        if (pid > 0) kill(pid, SIGTERM), waitpid(pid, nullptr, 0);
        pid = -1;
    }
};

// Two clients of the test: one sends the score to the application's MIDI
// input, the other records its output, both counting frames from the period
// in which the score began.
class Rig {
public:
    std::vector<float> left, right;

    // The clients, active, before the application starts.
    bool open(const std::string& server, jack_nframes_t frames) {
        left.assign(frames, 0.0f);
        right.assign(frames, 0.0f);
        const auto options = static_cast<jack_options_t>(JackNoStartServer | JackServerName);
        sender = jack_client_open("score", options, nullptr, server.c_str());
        recorder = jack_client_open("recorder", options, nullptr, server.c_str());
        if (!sender || !recorder) return false;
        midiOut = jack_port_register(sender, "out", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
        inLeft = jack_port_register(recorder, "left", JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
        inRight = jack_port_register(recorder, "right", JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
        jack_set_process_callback(sender, &Rig::send, this);
        jack_set_process_callback(recorder, &Rig::record, this);
        jack_set_xrun_callback(
            recorder,
            [](void* self) {
                auto* rig = static_cast<Rig*>(self);
                if (rig->recording.load()) rig->xruns.fetch_add(1);
                return 0;
            },
            this);
        return jack_activate(sender) == 0 && jack_activate(recorder) == 0;
    }
    // Connects the application's ports, once it has made them.
    bool connect() {
        const auto end = Clock::now() + std::chrono::seconds(10);
        while (Clock::now() < end) {
            if (jack_connect(sender, "score:out", "Hammerlyn2:midi_in") == 0 &&
                jack_connect(recorder, "Hammerlyn2:out_left", "recorder:left") == 0 &&
                jack_connect(recorder, "Hammerlyn2:out_right", "recorder:right") == 0)
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        return false;
    }
    // Waits for the application to connect itself (--audio recorder: --midi score:).
    bool connected() {
        const auto end = Clock::now() + std::chrono::seconds(10);
        while (Clock::now() < end && !heard.load())
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        return heard.load() != 0;
    }
    // Frames from the first period the recorder heard the application in to the score's start.
    jack_nframes_t heardBeforeScore() const { return heard.load(); }
    ~Rig() { close(); }
    void close() {
        if (recorder) jack_client_close(recorder);
        if (sender) jack_client_close(sender);
        recorder = sender = nullptr;
    }
    // Plays events (sorted by frame) from the next period on; waits for the recording.
    bool play(const std::vector<MidiMessage>& events, double seconds) {
        score = events;
        state.store(1);
        const auto end = Clock::now() + std::chrono::duration<double>(seconds);
        while (state.load() != 3 && Clock::now() < end)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        return state.load() == 3;
    }

private:
    // Frames are counted by the periods each client is run in, not by JACK's
    // frame time, which jumps where the machine falls behind; the sender runs
    // before the application and the recorder after it in each period.
    static int send(jack_nframes_t n, void* self) {
        auto* rig = static_cast<Rig*>(self);
        void* out = jack_port_get_buffer(rig->midiOut, n);
        jack_midi_clear_buffer(out);
        if (const int program = rig->programChange.exchange(-1); program >= 0) {
            const unsigned char bytes[2] = {0xC0, static_cast<unsigned char>(program)};
            jack_midi_event_write(out, 0, bytes, 2);
        }
        if (rig->state.load() == 1) rig->state.store(2);
        if (rig->state.load() < 2) return 0;
        const jack_nframes_t at = rig->sent;
        rig->sent += n;
        for (const MidiMessage& m : rig->score) {
            const auto frame = static_cast<jack_nframes_t>(m.deltaFrames);
            if (frame < at || frame >= at + n) continue;
            const unsigned char bytes[3] = {m.status, m.data1, m.data2};
            jack_midi_event_write(out, frame - at, bytes, (m.status & 0xF0) == 0xC0 ? 2 : 3);
        }
        return 0;
    }
    static int record(jack_nframes_t n, void* self) {
        auto* rig = static_cast<Rig*>(self);
        const int state = rig->state.load();
        if (state < 2) {
            if (rig->heard.load() || jack_port_connected(rig->inLeft))
                rig->heard.store(rig->heard.load() + n);
            return 0;
        }
        if (state != 2) return 0;
        rig->recording.store(true);
        const jack_nframes_t at = rig->recorded;
        rig->recorded += n;
        const auto* l = static_cast<const float*>(jack_port_get_buffer(rig->inLeft, n));
        const auto* r = static_cast<const float*>(jack_port_get_buffer(rig->inRight, n));
        for (jack_nframes_t i = 0; i < n && at + i < rig->left.size(); ++i) {
            rig->left[at + i] = l[i];
            rig->right[at + i] = r[i];
        }
        if (at + n >= rig->left.size()) rig->state.store(3);
        return 0;
    }

public:
    jack_client_t* sender = nullptr;

private:
    jack_client_t* recorder = nullptr;
    jack_port_t* midiOut = nullptr;
    jack_port_t* inLeft = nullptr;
    jack_port_t* inRight = nullptr;
    std::vector<MidiMessage> score;
    std::atomic<int> state{0};              // 0 idle, 1 armed, 2 playing, 3 recorded
    jack_nframes_t sent = 0, recorded = 0;  // each client's own
public:
    std::atomic<int> xruns{0};           // periods the server reported late while recording
    std::atomic<int> programChange{-1};  // sent at the next period, whatever the score does
    std::atomic<bool> recording{false};

private:
    std::atomic<jack_nframes_t> heard{0};  // frames since the application was first heard
};

fs::path freshConfig(const char* name) {
    const fs::path dir =
        fs::temp_directory_path() / ("hammerlyn2-app-" + std::to_string(getpid()) + "-" + name);
    fs::remove_all(dir);
    fs::create_directories(dir);
    return dir;
}

double energy(const std::vector<float>& v, std::size_t from, std::size_t to) {
    double sum = 0;
    for (std::size_t i = from; i < to && i < v.size(); ++i) sum += double(v[i]) * v[i];
    return sum;
}

}  // namespace

// Notes, a pitch bend and a program change in the middle of a period, from a
// JACK client: the recording equals the VST 2 build's render of the same
// events in the same periods, the program switched at the same frame.
TEST(StandaloneApp, JackRecordingEqualsTheVst2Render) {
    signal(SIGPIPE, SIG_IGN);  // the test's own libjack writing to a server that went first
    constexpr jack_nframes_t kFrames = 60000;
    const std::vector<MidiMessage> score = {
        {0, 0x90, 60, 100},    {300, 0x90, 64, 80},       {9000, 0xE0, 0x00, 0x50},
        {20000, 0x80, 60, 0},  {30000, 0xC0, 5, 0},       {30000, 0x90, 67, 120},
        {30001, 0x90, 48, 90}, {45000, 0xE0, 0x00, 0x40}, {50000, 0x80, 67, 64},
    };
    // A period the server reports late (a loaded machine) spoils a recording:
    // then the whole run is made again, up to three times.
    for (int attempt = 1;; ++attempt) {
        JackServer server;
        Rig rig;
        ASSERT_TRUE(rig.open(server.name, kFrames));
        const fs::path config = freshConfig("jack");
        App app(config, server.name,
                {"--no-window", "--program", "2", "--audio", "recorder:", "--midi", "score:"});
        ASSERT_TRUE(rig.connected()) << app.stderrText();
        ASSERT_TRUE(rig.play(score, 20.0));

        // The chorus turns from the application's first period on: the VST 2
        // render starts with as many silent frames. The application started
        // rendering in the period the recorder first heard it, or a few before
        // (between its activation and its connections).
        auto render = [&](jack_nframes_t silence) {
            auto vst = startedInstance(44100.0f, kPeriod);
            vst->setProgram(1);
            std::vector<float> l(silence + kFrames), r(silence + kFrames);
            for (jack_nframes_t at = 0; at < silence; at += kPeriod) vst->process(&l[at], &r[at], kPeriod);
            for (jack_nframes_t at = 0; at < kFrames;) {
                // Each period, split where a program change falls inside it.
                jack_nframes_t end = std::min<jack_nframes_t>((at / kPeriod + 1) * kPeriod, kFrames);
                for (const MidiMessage& m : score)
                    if ((m.status & 0xF0) == 0xC0 && jack_nframes_t(m.deltaFrames) > at &&
                        jack_nframes_t(m.deltaFrames) < end)
                        end = static_cast<jack_nframes_t>(m.deltaFrames);
                for (const MidiMessage& m : score)
                    if ((m.status & 0xF0) == 0xC0 && jack_nframes_t(m.deltaFrames) == at)
                        vst->setProgram(m.data1);
                std::vector<MidiMessage> block;
                for (const MidiMessage& m : score)
                    if ((m.status & 0xF0) != 0xC0 && jack_nframes_t(m.deltaFrames) >= at &&
                        jack_nframes_t(m.deltaFrames) < end)
                        block.push_back(
                            {static_cast<VstInt32>(m.deltaFrames - at), m.status, m.data1, m.data2});
                vst->sendMidi(block);
                vst->process(&l[silence + at], &r[silence + at], static_cast<VstInt32>(end - at));
                at = end;
            }
            return std::memcmp(&l[silence], rig.left.data(), kFrames * sizeof(float)) == 0 &&
                   std::memcmp(&r[silence], rig.right.data(), kFrames * sizeof(float)) == 0;
        };
        int earlier = -1;
        for (int periods = 0; periods <= 8 && earlier < 0; ++periods)
            if (render(rig.heardBeforeScore() + periods * kPeriod)) earlier = periods;
        if (earlier < 0 && rig.xruns.load() > 0 && attempt < 3) continue;
        EXPECT_GE(earlier, 0) << "no VST 2 render equals the recording";
        RecordProperty("periodsBeforeHeard", earlier);
        EXPECT_GT(energy(rig.left, 30000, 40000), 0.0);
        // The server going away ends the application with a line, the sound
        // kept: the program the change chose with it.
        rig.close();
        server.stop();
        EXPECT_EQ(app.wait(10), 1);
        EXPECT_NE(app.stderrText().find("hammerlyn2: the JACK server stopped (the sound is saved)\n"),
                  std::string::npos)
            << app.stderrText();
        EXPECT_EQ(readAll(config / "Hammerlyn2" / "sound.state").substr(0, 4), "1:5:");
        break;
    }
}

// What the application refuses and what it keeps, under JACK: a name typed
// that matches no port (whatever characters it holds) ends the start with
// one line and is not kept; options at the top of their ranges are taken; a
// closed terminal saves like Ctrl-C; a sound file ending in CRLF is read; a
// saved rate the server does not run at gives way with a note naming its
// file; a saved sound that cannot be read is left alone and this run's is
// saved beside it; no temporary file stays; a folder that cannot be made is
// said at once and the run ends failing.
TEST(StandaloneApp, RefusesUnmatchedNamesAndNeverLosesOrOverwritesTheSound) {
    signal(SIGPIPE, SIG_IGN);
    JackServer server;
    const fs::path config = freshConfig("refusals");
    const fs::path folder = config / "Hammerlyn2";
    const std::pair<std::vector<std::string>, std::string> refusals[] = {
        {{"--audio", "["}, "no JACK port named \"[\""},
        {{"--audio", "nosuchport"}, "no JACK port named \"nosuchport\""},
        {{"--midi", "*x"}, "no JACK MIDI port named \"*x\""},
        {{"--midi", "a("}, "no JACK MIDI port named \"a(\""},
        {{"--program", "8", "--rate", "192000"}, "the JACK server runs at 44100 Hz, not 192000"},
        {{"--buffer", "8192"}, "the JACK server's period is 256 frames, not 8192"},
    };
    for (const auto& [args, line] : refusals) {
        std::vector<std::string> all{"--no-window"};
        all.insert(all.end(), args.begin(), args.end());
        App app(config, server.name, all);
        EXPECT_EQ(app.wait(10), 1) << line;
        const bool listed = line.find("named") != std::string::npos;
        EXPECT_EQ(app.stderrText(),
                  "hammerlyn2: " + line + (listed ? " (--list-devices lists them)" : "") + "\n");
    }
    EXPECT_FALSE(fs::exists(folder / "audio.txt"));

    {
        App app(config, server.name, {"--no-window", "--program", "8"});
        ASSERT_TRUE(app.playing()) << app.stderrText();
        // A keyboard plugged in while it plays is connected.
        jack_client_t* keyboard =
            jack_client_open("keyboard", static_cast<jack_options_t>(JackNoStartServer | JackServerName),
                             nullptr, server.name.c_str());
        ASSERT_NE(keyboard, nullptr);
        jack_port_t* keys = jack_port_register(keyboard, "out", JACK_DEFAULT_MIDI_TYPE,
                                               JackPortIsOutput | JackPortIsPhysical, 0);
        ASSERT_EQ(jack_activate(keyboard), 0);
        for (auto end = Clock::now() + std::chrono::seconds(5);
             Clock::now() < end && !jack_port_connected(keys);)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        EXPECT_TRUE(jack_port_connected_to(keys, "Hammerlyn2:midi_in"));
        jack_client_close(keyboard);
        EXPECT_EQ(app.end(SIGHUP), 0) << app.stderrText();
    }
    const std::string saved = readAll(folder / "sound.state");
    ASSERT_EQ(saved.substr(0, 4), "1:7:");
    std::ofstream(folder / "sound.state", std::ios::binary) << saved.substr(0, saved.size() - 1) << "\r\n";
    std::ofstream(folder / "audio.txt") << "rate=48000\n";
    {
        App app(config, server.name, {"--no-window"});
        ASSERT_TRUE(app.playing()) << app.stderrText();
        EXPECT_EQ(app.end(SIGINT), 0);
        EXPECT_EQ(app.stderrText(), "hammerlyn2: the JACK server runs at 44100 Hz, not 48000 (saved in " +
                                        (folder / "audio.txt").string() +
                                        "): playing at the server's rate\n");
    }
    EXPECT_EQ(readAll(folder / "sound.state"), saved);

    // A FIFO in its place (which would hold a blocking read up), then a dangling link.
    fs::remove(folder / "sound.state");
    ASSERT_EQ(mkfifo((folder / "sound.state").c_str(), 0644), 0);
    for (const char* why : {"not a regular file", "a link to nothing"}) {
        const std::string beside = why[0] == 'n' ? "sound.state.this-run" : "sound.state.this-run.2";
        App app(config, server.name, {"--no-window", "--program", "2"});
        ASSERT_TRUE(app.playing()) << app.stderrText();
        EXPECT_EQ(app.end(), 0);
        EXPECT_NE(app.stderrText().find("cannot be read (" + std::string(why) + ")"), std::string::npos)
            << app.stderrText();
        EXPECT_NE(app.stderrText().find("saved as " + (folder / beside).string() + "\n"), std::string::npos);
        EXPECT_EQ(readAll(folder / beside).substr(0, 4), "1:1:");
        EXPECT_NE(fs::symlink_status(folder / "sound.state").type(),
                  fs::file_type::regular);  // left as it was
        fs::remove(folder / "sound.state");
        fs::create_symlink(folder / "elsewhere", folder / "sound.state");
    }
    EXPECT_FALSE(fs::exists(folder / "elsewhere"));
    for (const auto& entry : fs::directory_iterator(folder))
        EXPECT_EQ(entry.path().filename().string().find(".new"), std::string::npos) << entry.path();

    fs::remove_all(folder);
    std::ofstream(folder.string()) << "";
    {
        App app(config, server.name, {"--no-window"});
        ASSERT_TRUE(app.playing()) << app.stderrText();
        EXPECT_EQ(app.end(), 1);
        EXPECT_NE(app.stderrText().find("cannot be made (a file of that name is in the way)"),
                  std::string::npos);
        EXPECT_NE(app.stderrText().find("the sound could not be saved"), std::string::npos)
            << app.stderrText();
    }
}

// No JACK server and no sound card: one line saying so, and a failing status at once.
TEST(StandaloneApp, NoAudioEndsWithOneLine) {
    if (fs::exists("/dev/snd/seq") || fs::exists("/dev/snd/controlC0"))
        GTEST_SKIP() << "this machine has a sound card";
    const fs::path config = freshConfig("none");
    App app(config, "hammerlyn2-no-server", {"--no-window"});
    EXPECT_EQ(app.wait(10), 1);
    EXPECT_EQ(
        app.stderrText(),
        "hammerlyn2: no audio device (no JACK server runs, no PulseAudio server answers, and no sound card "
        "answers)\n");
    // --help names every option and where the settings live.
    App help(config, "hammerlyn2-no-server", {"--help"});
    EXPECT_EQ(help.wait(10), 0);
    for (const char* word : {"--list-devices", "--audio-system", "--audio ", "--midi", "--rate", "--buffer",
                             "--program", "--no-window", "~/.config/Hammerlyn2", "sound.state", "audio.txt"})
        EXPECT_NE(help.stdoutText().find(word), std::string::npos) << word;
}

namespace {

// The application's window: its title begins with the application's name.
Window findWindow(Display* d, const std::string& title) {
    Window root = DefaultRootWindow(d), parent = 0, *children = nullptr;
    unsigned count = 0;
    Window found = 0;
    if (XQueryTree(d, root, &root, &parent, &children, &count)) {
        for (unsigned i = 0; i < count && !found; ++i) {
            char* name = nullptr;
            if (XFetchName(d, children[i], &name) && name) {
                if (std::string(name).rfind(title, 0) == 0) found = children[i];
                XFree(name);
            }
        }
        XFree(children);
    }
    return found;
}

std::string windowTitle(Display* d, Window w) {
    char* name = nullptr;
    std::string title;
    if (XFetchName(d, w, &name) && name) title = name, XFree(name);
    return title;
}

std::string programName(const std::vector<unsigned char>& bank, int program) {
    return reinterpret_cast<const char*>(bank.data() + 88 * program);  // 24 bytes, NUL-padded
}

Window waitForWindow(Display* d) {
    const auto end = Clock::now() + std::chrono::seconds(10);
    while (Clock::now() < end) {
        if (const Window w = findWindow(d, "Hammerlyn2")) {
            XWindowAttributes a{};
            if (XGetWindowAttributes(d, w, &a) && a.map_state == IsViewable) return w;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return 0;
}

void closeWindow(Display* d, Window w) {
    XEvent e{};
    e.xclient.type = ClientMessage;
    e.xclient.window = w;
    e.xclient.message_type = XInternAtom(d, "WM_PROTOCOLS", False);
    e.xclient.format = 32;
    e.xclient.data.l[0] = static_cast<long>(XInternAtom(d, "WM_DELETE_WINDOW", False));
    XSendEvent(d, w, False, NoEventMask, &e);
    XFlush(d);
}

}  // namespace

// The window as a player uses it: it shows at the panel's size with its title,
// a key of the computer keyboard plays, a knob dragged changes the sound, the
// close button ends the application and keeps the sound. A damaged sound file
// at the next start is refused, kept beside, and the factory sound plays.
TEST(StandaloneApp, WindowPlaysKeysKeepsTheSoundAndRefusesADamagedOne) {
    if (Xvfb::programDisplay().empty()) GTEST_SKIP() << "no Xvfb";
    signal(SIGPIPE, SIG_IGN);
    auto server = std::make_unique<JackServer>();
    const fs::path config = freshConfig("window");
    Display* d = XOpenDisplay(Xvfb::programDisplay().c_str());
    ASSERT_NE(d, nullptr);
    const fs::path state = config / "Hammerlyn2" / "sound.state";
    {
        App app(config, server->name, {});
        const Window w = waitForWindow(d);
        ASSERT_NE(w, 0u) << app.stderrText();
        XWindowAttributes a{};
        XGetWindowAttributes(d, w, &a);
        EXPECT_EQ(a.width, 512);
        EXPECT_EQ(a.height, 272);
        XSizeHints hints{};
        long supplied = 0;
        ASSERT_TRUE(XGetWMNormalHints(d, w, &hints, &supplied));
        EXPECT_EQ(hints.min_width, 512);
        EXPECT_EQ(hints.max_width, 512);
        EXPECT_EQ(hints.max_height, 272);
        const std::vector<unsigned char> factory = startedInstance()->getChunk(false);
        EXPECT_EQ(windowTitle(d, w), "Hammerlyn2 - " + programName(factory, 0));

        Rig rig;
        ASSERT_TRUE(rig.open(server->name, 22050) && rig.connect());
        // Z plays the lower row's C, wherever the layout puts the letter.
        XSetInputFocus(d, w, RevertToParent, CurrentTime);
        XTestFakeKeyEvent(d, 44 + 8, True, CurrentTime);
        XSync(d, False);
        ASSERT_TRUE(rig.play({}, 10.0));
        XTestFakeKeyEvent(d, 44 + 8, False, CurrentTime);
        XSync(d, False);
        EXPECT_GT(energy(rig.left, 0, 22050), 1e-3);

        // The Volume knob (the last), dragged down from its middle.
        const int x = 256 + 12, y = 200 + 12;
        XTestFakeMotionEvent(d, -1, a.x + x, a.y + y, CurrentTime);
        XTestFakeButtonEvent(d, 1, True, CurrentTime);
        for (int step = 1; step <= 10; ++step)
            XTestFakeMotionEvent(d, -1, a.x + x, a.y + y + 4 * step, CurrentTime);
        XTestFakeButtonEvent(d, 1, False, CurrentTime);
        XSync(d, False);
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        // A MIDI program change renames the window; program 1 keeps its edit.
        rig.programChange.store(2);
        const std::string renamed = "Hammerlyn2 - " + programName(factory, 2);
        for (auto end = Clock::now() + std::chrono::seconds(5);
             Clock::now() < end && windowTitle(d, w) != renamed;)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        EXPECT_EQ(windowTitle(d, w), renamed);
        // The menu's last line, "MIDI off: score:out" (after the sizes, the
        // programs, what plays and the two outputs), connects it; the choice is kept.
        XTestFakeMotionEvent(d, -1, a.x + 4, a.y + 4, CurrentTime);
        XTestFakeButtonEvent(d, 3, True, CurrentTime);
        XTestFakeButtonEvent(d, 3, False, CurrentTime);
        XSync(d, False);
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        XTestFakeMotionEvent(d, -1, a.x + 24, a.y + 4 + 2 + 2 * 13 + 5 + 8 * 13 + 5 + 3 * 13 + 6,
                             CurrentTime);
        XTestFakeButtonEvent(d, 1, True, CurrentTime);
        XTestFakeButtonEvent(d, 1, False, CurrentTime);
        XSync(d, False);
        const fs::path choices = config / "Hammerlyn2" / "audio.txt";
        for (auto end = Clock::now() + std::chrono::seconds(5);
             Clock::now() < end && readAll(choices).find("midi=score:out\n") == std::string::npos;)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        EXPECT_EQ(readAll(choices), "audio=\nmidi=score:out\n");
        EXPECT_TRUE(jack_port_connected_to(jack_port_by_name(rig.sender, "score:out"), "Hammerlyn2:midi_in"));
        closeWindow(d, w);
        EXPECT_EQ(app.wait(10), 0) << app.stderrText();
    }
    // The sound kept differs from the factory's in the Volume knob only: the
    // saved bank, knob 15 of program 1, is what the drag left.
    const std::string saved = readAll(state);
    ASSERT_EQ(saved.size(), 4u + 1408u + 1u);
    EXPECT_EQ(saved.substr(0, 4), "1:2:");
    const std::vector<unsigned char> factory = startedInstance()->getChunk(false);
    ASSERT_EQ(factory.size(), 704u);
    int differing = 0;
    for (std::size_t i = 0; i < 704; ++i) {
        const int byte = std::stoi(saved.substr(4 + 2 * i, 2), nullptr, 16);
        const bool volumeOfProgram1 = i >= 84 && i < 88;  // name (24 bytes), then knobs 0..15
        if (byte != factory[i]) differing |= volumeOfProgram1 ? 1 : 2;
    }
    EXPECT_EQ(differing, 1);

    // A damaged file: refused in one line, kept beside, the factory sound
    // back; the window at the size it had last (200 %), and that size kept.
    std::ofstream(state, std::ios::trunc) << "1:0:00ff";
    std::ofstream(config / "Hammerlyn2" / "audio.txt", std::ios::trunc) << "size=200\n";
    {
        server.reset();  // a server of its own for the second run
        server = std::make_unique<JackServer>();
        App app(config, server->name, {});
        const Window w = waitForWindow(d);
        ASSERT_NE(w, 0u) << app.stderrText();
        XWindowAttributes a{};
        XGetWindowAttributes(d, w, &a);
        EXPECT_EQ(a.width, 1024);
        closeWindow(d, w);
        EXPECT_EQ(app.wait(10), 0);
        EXPECT_NE(app.stderrText().find("is damaged or from another version"), std::string::npos)
            << app.stderrText();
    }
    EXPECT_NE(readAll(config / "Hammerlyn2" / "audio.txt").find("size=200\n"), std::string::npos);
    EXPECT_EQ(readAll(config / "Hammerlyn2" / "sound.state.damaged"), "1:0:00ff");
    EXPECT_EQ(readAll(state).substr(4, 1408).size(), 1408u);
    XCloseDisplay(d);
}

namespace {

// A PulseAudio server of the test's own: a null sink, its own runtime folder.
struct PulseServer {
    pid_t pid = -1;
    fs::path runtime, socket;
    explicit PulseServer(const fs::path& dir) : runtime(dir / "run"), socket(runtime / "pulse" / "native") {
        fs::create_directories(runtime);
        pid = fork();
        if (pid == 0) {
            prctl(PR_SET_PDEATHSIG, SIGKILL);
            setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
            setenv("HOME", dir.c_str(), 1);
            const int null = open("/dev/null", O_WRONLY);
            dup2(null, 1);
            dup2(null, 2);
            execlp("pulseaudio", "pulseaudio", "-n", "--load=module-null-sink",
                   "--load=module-native-protocol-unix", "--exit-idle-time=-1", "--daemonize=no",
                   static_cast<char*>(nullptr));
            _exit(127);
        }
        const auto end = Clock::now() + std::chrono::seconds(10);
        while (Clock::now() < end && !fs::exists(socket))
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ~PulseServer() { stop(); }
    void stop() {
        if (pid > 0) kill(pid, SIGKILL), waitpid(pid, nullptr, 0);
        pid = -1;
    }
    std::vector<std::string> env() const {
        return {"PULSE_SERVER=unix:" + socket.string(), "XDG_RUNTIME_DIR=" + runtime.string()};
    }
};

}  // namespace

// No JACK server: a PulseAudio server that answers is used at every start,
// named in the start line, found by its output's name; a key of the window is
// heard at that output; the server going away ends the run, the sound saved.
// With neither, ALSA's default device plays: a file over ALSA's null device,
// which keeps no time, so that run is measured in bytes written.
TEST(StandaloneApp, PlaysThroughPulseAudioEveryTimeElseAlsa) {
    if (!fs::exists("/usr/bin/pulseaudio") || !fs::exists("/usr/bin/parec"))
        GTEST_SKIP() << "no pulseaudio or pulseaudio-utils";
    const fs::path config = freshConfig("pulse");
    PulseServer pulse(config);
    const std::string line = "hammerlyn2: playing through PulseAudio (Null Output), ";
    for (int run = 0; run < 10; ++run) {
        App app(config, "hammerlyn2-no-server", {"--no-window"}, pulse.env());
        ASSERT_TRUE(app.playing()) << app.stderrText();
        EXPECT_EQ(app.stdoutText().substr(0, line.size()), line) << "run " << run;
        EXPECT_EQ(app.end(), 0);
        EXPECT_EQ(app.stderrText(), "");  // nothing of the libraries' own (no sequencer here, or one)
        if (!fs::exists("/dev/snd/seq")) {
            EXPECT_NE(app.stdoutText().find("\nhammerlyn2: MIDI: none\n"), std::string::npos);
        }
    }

    if (!Xvfb::programDisplay().empty()) {
        App app(config, "hammerlyn2-no-server", {}, pulse.env());
        Display* d = XOpenDisplay(Xvfb::programDisplay().c_str());
        ASSERT_NE(d, nullptr);
        const Window w = waitForWindow(d);
        ASSERT_NE(w, 0u) << app.stderrText();
        const fs::path heard = config / "heard.raw";
        const pid_t recorder = fork();
        if (recorder == 0) {
            prctl(PR_SET_PDEATHSIG, SIGKILL);
            for (std::string e : pulse.env()) putenv(strdup(e.c_str()));
            const int out = open(heard.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            dup2(out, 1);
            execlp("parec", "parec", "--latency-msec=20", "--device=null.monitor", "--format=float32le",
                   "--rate=44100", "--channels=2", "--raw", static_cast<char*>(nullptr));
            _exit(127);
        }
        std::error_code ec;
        auto recorded = [&] { return fs::file_size(heard, ec) > 0 && !ec; };
        for (auto end = Clock::now() + std::chrono::seconds(10); Clock::now() < end && !recorded();)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));  // the recorder under way
        XSetInputFocus(d, w, RevertToParent, CurrentTime);
        XTestFakeKeyEvent(d, 44 + 8, True, CurrentTime);  // Z
        XSync(d, False);
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        XTestFakeKeyEvent(d, 44 + 8, False, CurrentTime);
        XSync(d, False);
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        kill(recorder, SIGTERM);
        waitpid(recorder, nullptr, 0);
        const std::string raw = readAll(heard);
        std::vector<float> samples(raw.size() / sizeof(float));
        std::memcpy(samples.data(), raw.data(), samples.size() * sizeof(float));
        EXPECT_GT(samples.size(), 44100u);
        EXPECT_GT(energy(samples, 0, samples.size()), 1e-3);
        closeWindow(d, w);
        EXPECT_EQ(app.wait(10), 0) << app.stderrText();
        XCloseDisplay(d);
    }

    {
        App app(config, "hammerlyn2-no-server", {"--no-window", "--audio", "Null Output", "--program", "4"},
                pulse.env());
        ASSERT_TRUE(app.playing()) << app.stderrText();
        pulse.stop();
        EXPECT_EQ(app.wait(10), 1);
        EXPECT_EQ(app.stderrText(),
                  "hammerlyn2: the PulseAudio server or its output went away (the sound is saved)\n");
    }
    EXPECT_EQ(readAll(config / "Hammerlyn2" / "sound.state").substr(0, 4), "1:3:");

    const fs::path written = config / "alsa.raw";
    std::ofstream(config / ".asoundrc") << "pcm.!default { type file; slave.pcm \"null\"; file \""
                                        << written.string() << "\"; format \"raw\" }\n";
    std::vector<std::string> env = pulse.env();
    env.push_back("HOME=" + config.string());
    App app(config, "hammerlyn2-no-server", {"--no-window", "--audio", ""}, env);
    ASSERT_TRUE(app.playing()) << app.stderrText();
    EXPECT_EQ(app.stdoutText().substr(0, 40), "hammerlyn2: playing through ALSA (defaul");
    std::error_code ec;
    const auto end = Clock::now() + std::chrono::seconds(20);
    while (Clock::now() < end && fs::file_size(written, ec) < (1u << 20))
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_GE(fs::file_size(written, ec), 1u << 20);
    EXPECT_EQ(app.end(), 0) << app.stderrText();
}
