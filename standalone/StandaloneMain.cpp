// hammerlyn2: the instrument without a host. Audio and MIDI from a JACK server
// when one runs, else from a PulseAudio server when one answers, else from
// ALSA's default device, with the system's MIDI inputs; the panel in a window of its own, where the computer
// keyboard plays too; the sound kept from one run to the next.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <thread>

#include "editor/panel/MyGui.h"
#include "standalone/AudioDriver.h"
#include "standalone/SavedSound.h"
#include "standalone/StandalonePanel.h"
#include "standalone/StandaloneSynth.h"
#include "standalone/SystemMidi.h"

#if defined(_WIN32)
#include <windows.h>

#include "editor/interface/ModuleInstance.h"
#endif

namespace {

std::atomic<bool> quitRequested{false};

void onSignal(int) { quitRequested.store(true); }

// Ctrl-C, a shutdown and a closed terminal end the run with the sound kept.
// libjack writes to a server that may be gone (its socket closed): the
// failed write is an error to handle, not the end of the program. Installed
// again once the audio system runs, as libraries may have set their own.
void takeSignals() {
    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);
#if !defined(_WIN32)
    std::signal(SIGHUP, onSignal);
    std::signal(SIGPIPE, SIG_IGN);
#endif
}

constexpr char kUsage[] =
    "usage: hammerlyn2 [--list-devices] [--audio-system jack|pulse|alsa] [--audio DEVICE] [--midi INPUT]...\n"
    "                  [--rate HZ] [--buffer FRAMES] [--program 1-8] [--no-window] [--help]\n";

constexpr char kHelp[] =
    "\n"
    "Plays the instrument without a host: from a MIDI keyboard, or from the computer\n"
    "keyboard in its window (Z S X D C ... and Q 2 W 3 E ..., arrows for octave and velocity).\n"
    "\n"
    "  --list-devices       lists the audio outputs and MIDI inputs of every sound system\n"
    "  --audio-system NAME  jack, pulse or alsa; without it: JACK when a server runs, else\n"
    "                       PulseAudio when a server answers (PipeWire too), else ALSA\n"
    "  --audio DEVICE       the output: a JACK port, a PulseAudio or ALSA device, by its\n"
    "                       name or a part of it (kept for later starts)\n"
    "  --midi INPUT         a MIDI input by its name or a part of it, once for each;\n"
    "                       without it every input, also those plugged in later (kept)\n"
    "  --rate HZ            8000 to 192000 (a JACK server's own rate wins over a saved one)\n"
    "  --buffer FRAMES      frames per period, 16 to 8192 (likewise)\n"
    "  --program N          starts with factory program N (1 to 8) instead of the saved sound\n"
    "  --no-window          plays without the panel (Ctrl-C, or closing the terminal, ends it)\n"
    "\n"
    "The sound is saved at the end of every run, and the choices above with the window's\n"
    "size, in "
#if defined(_WIN32)
    "%APPDATA%\\Hammerlyn2 (sound.state, audio.txt).\n";
#else
    "$XDG_CONFIG_HOME/Hammerlyn2, else ~/.config/Hammerlyn2 (sound.state, audio.txt).\n";
#endif

void listDevices() {
    listJack();
    listPulse();
    listSystemAudio();
    std::printf("MIDI inputs (--midi takes a name or a part of it):\n");
    for (const std::string& input : SystemMidi::inputNames()) std::printf("  %s\n", input.c_str());
}

// A driver for the system of that name ("jack", "pulse", "alsa", or
// Windows' own), null where that system does not answer.
std::unique_ptr<AudioDriver> makeDriver(const std::string& system) {
#if !defined(_WIN32)
    std::string clientName = "Hammerlyn2";
    if (system == "jack") return connectJack(clientName);
    if (system == "pulse") return connectPulse();
#endif
    (void)system;
    return makeSystemAudio();
}

#if defined(_WIN32)
constexpr char noAudioDevice[] = "no audio device (no sound card answers)";

// No audio at all: the window and the saved sound without sound.
class SilentDriver : public AudioDriver {
public:
    bool start(StandaloneSynth&, const AudioChoice&, std::string&, std::vector<std::string>&) override {
        return true;
    }
    void stop() override {}
    std::string deviceText() const override { return "none (no sound card answers)"; }
    std::vector<std::string> midiTexts() const override { return {}; }
    std::string system() const override { return "ds"; }
    std::vector<std::string> outputNames() const override { return {}; }
    std::vector<std::string> midiSourceNames() const override { return {}; }
};
#endif

bool number(const char* text, unsigned low, unsigned high, unsigned& out) {
    char* end = nullptr;
    const unsigned long v = std::strtoul(text, &end, 10);
    if (!*text || *end || v < low || v > high) return false;
    out = static_cast<unsigned>(v);
    return true;
}

#if defined(_WIN32)
// Hammerlyn2.exe is a windowed program: opened from Explorer it brings no
// console window. Started from a console it writes to that console; started
// with its output redirected it writes where it was sent. With neither, what
// it has to say is shown in a message box.
bool messagesHaveAPlace = false;

void findPlaceForMessages() {
    if (GetFileType(GetStdHandle(STD_ERROR_HANDLE)) != FILE_TYPE_UNKNOWN) {
        messagesHaveAPlace = true;
    } else if (AttachConsole(ATTACH_PARENT_PROCESS)) {
        std::freopen("CONOUT$", "w", stdout);
        std::freopen("CONOUT$", "w", stderr);
        messagesHaveAPlace = true;
    }
}
#endif

void tell(const std::string& line) {
#if defined(_WIN32)
    if (!messagesHaveAPlace) {
        MessageBoxA(nullptr, line.c_str(), "Hammerlyn2", MB_OK | MB_ICONWARNING);
        return;
    }
#endif
    std::fprintf(stderr, "hammerlyn2: %s\n", line.c_str());
}

int fail(const std::string& line) {
    tell(line);
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
#if defined(_WIN32)
    moduleInstance = GetModuleHandleA(nullptr);
    findPlaceForMessages();
#endif
    takeSignals();
    AudioChoice given;
    std::string system;
    bool window = true;
    unsigned program = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const bool hasValue = i + 1 < argc;
        if (a == "--list-devices") {
            listDevices();
            return 0;
        } else if (a == "--help" || a == "-h") {
            std::fputs(kUsage, stdout);
            std::fputs(kHelp, stdout);
            return 0;
        } else if (a == "--no-window") {
            window = false;
        } else if (a == "--audio-system" && hasValue) {
            system = argv[++i];
            if (system != "jack" && system != "pulse" && system != "alsa")
                return fail("--audio-system takes jack, pulse or alsa");
        } else if (a == "--audio" && hasValue) {
            given.device = argv[++i];
            given.deviceTyped = true;
        } else if (a == "--midi" && hasValue) {
            given.midiInputs.push_back(argv[++i]);
            given.midiTyped = true;
        } else if (a == "--rate" && hasValue) {
            if (!number(argv[++i], 8000, 192000, given.rate)) return fail("--rate takes 8000 to 192000 Hz");
            given.rateTyped = true;
        } else if (a == "--buffer" && hasValue) {
            if (!number(argv[++i], 16, 8192, given.buffer)) return fail("--buffer takes 16 to 8192 frames");
            given.bufferTyped = true;
        } else if (a == "--program" && hasValue) {
            if (!number(argv[++i], 1, Instrument::kProgramCount, program))
                return fail("--program takes 1 to 8");
        } else {
            std::fputs(kUsage, stderr);
            return 2;
        }
    }

    // The last choices, each overridden by the command line.
    std::string folderProblem;
    const std::string folder = SavedSound::folder(folderProblem);
    if (!folderProblem.empty()) tell(folderProblem);
    const std::string choicePath = folder.empty() ? std::string() : folder + "/audio.txt";
    const std::string soundPath = folder.empty() ? std::string() : folder + "/sound.state";
    AudioChoice choice;
    if (!choicePath.empty()) SavedSound::loadChoice(choicePath, choice);
    choice.savedIn = choicePath;
    if (given.deviceTyped) choice.device = given.device, choice.deviceTyped = true;
    if (given.midiTyped) choice.midiInputs = given.midiInputs, choice.midiTyped = true;
    if (given.rateTyped) choice.rate = given.rate, choice.rateTyped = true;
    if (given.bufferTyped) choice.buffer = given.buffer, choice.bufferTyped = true;

    auto synth = std::make_unique<StandaloneSynth>();
    std::string savePath = soundPath;
    if (!soundPath.empty()) {
        std::string message;
        SavedSound::load(synth->instrument(), soundPath, message, savePath);
        if (!message.empty()) tell(message);
    }
    if (program) synth->instrument().selectProgram(static_cast<int>(program) - 1);

    // JACK when a server runs, else PulseAudio when a server answers, else
    // ALSA (on Windows, the system's audio device): the same choice every
    // time for the same machine, or the one named.
    std::unique_ptr<AudioDriver> driver;
#if !defined(_WIN32)
    if (system.empty() || system == "jack") driver = makeDriver("jack");
    if (!driver && system == "jack") return fail("no JACK server runs");
    if (!driver && (system.empty() || system == "pulse")) driver = makeDriver("pulse");
    if (!driver && system == "pulse") return fail("no PulseAudio server answers");
#endif
    if (!driver) driver = makeDriver("alsa");
    std::string error;
    std::vector<std::string> notes;
    bool started = driver->start(*synth, choice, error, notes);
    for (const std::string& note : notes) tell(note);
#if defined(_WIN32)
    // No sound device: the window opens all the same (its menu says so), as
    // the panel and the saved sound are worth reaching without one.
    if (!started && window && error == noAudioDevice) {
        driver = std::make_unique<SilentDriver>();
        started = true;
    }
#endif
    if (!started) return fail(error);
    takeSignals();
    const bool keepChoices = !choicePath.empty() && folderProblem.empty();
    if (keepChoices) SavedSound::saveChoice(choicePath, choice);
    std::printf("hammerlyn2: playing through %s\n", driver->deviceText().c_str());
    if (driver->midiTexts().empty()) std::printf("hammerlyn2: MIDI: none\n");
    std::fflush(stdout);

    StandalonePanel panel(*synth, *driver, quitRequested);
    std::unique_ptr<MyGui> gui;
    if (window) {
        gui = std::make_unique<MyGui>(&panel);
        panel.gui = gui.get();
        gui->updateAllParameters();
        if (choice.size == 200) gui->setUserScale(2);  // the size the window had when it closed last
        if (!gui->openTopLevel(StandalonePanel::windowTitle(synth->instrument()).c_str())) {
            tell("no window could be opened (no display): playing without the panel");
            panel.gui = nullptr;
            gui.reset();
        }
    }
    unsigned shownChanges = synth->programChanges();
    int shownProgram = synth->instrument().program();
    // The window runs its messages in idle (Windows) or reads its queue (X11).
    bool audioLost = false;
    while (!quitRequested.load()) {
        if (driver->lost()) {
            audioLost = true;
            break;
        }
        driver->poll();
        // A device or MIDI source chosen from the menu: the audio starts again
        // with it, or with what played before where it cannot.
        if (const std::optional<StandalonePanel::Line> wanted = panel.takeRequest()) {
            AudioChoice next = choice;
            if (wanted->kind == StandalonePanel::Line::Output)
                next.device = wanted->name, next.deviceTyped = true;
            if (wanted->kind == StandalonePanel::Line::Midi) {
                const std::vector<std::string> connected = driver->midiTexts();
                next.midiInputs.clear();
                for (const std::string& source : driver->midiSourceNames()) {
                    const bool on =
                        std::find(connected.begin(), connected.end(), "MIDI " + source) != connected.end();
                    if (on != (source == wanted->name)) next.midiInputs.push_back(source);
                }
                next.midiTyped = true;
            }
            const std::string kind = driver->system();
            driver->stop();
            driver.reset();  // a JACK client goes before the next one comes
            std::vector<std::string> restartNotes;
            std::string refusal;
            for (const AudioChoice* c : {&next, &choice}) {
                driver = makeDriver(kind);
                if (driver && driver->start(*synth, *c, refusal, restartNotes)) {
                    if (c == &next) choice = next;
                    break;
                }
                tell(driver ? refusal : "the audio system is gone");
                driver.reset();
            }
            if (!driver) {
                audioLost = true;
                break;
            }
            panel.driver = driver.get();
            if (keepChoices) SavedSound::saveChoice(choicePath, choice);
            std::printf("hammerlyn2: playing through %s\n", driver->deviceText().c_str());
            std::fflush(stdout);
        }
        if (gui) {
            // A program change from MIDI moves the knobs.
            // (taken at once or a period later: the program in force is watched too).
            const unsigned changes = synth->programChanges();
            const int current = synth->instrument().program();
            if (changes != shownChanges || current != shownProgram) {
                shownChanges = changes;
                shownProgram = current;
                gui->updateAllParameters();
                gui->setTopLevelTitle(StandalonePanel::windowTitle(synth->instrument()).c_str());
            }
            gui->idle();
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (gui) {
        choice.size = gui->panelScale() == 2 ? 200 : 100;
        gui->close();
    }
    // The sound first: nothing that can fail while the audio system closes
    // (a server gone) may cost the player's sound.
    const bool saved = savePath.empty() || SavedSound::save(synth->instrument(), savePath);
    if (keepChoices) SavedSound::saveChoice(choicePath, choice);  // with the window's size
    const std::string lostText = driver ? driver->lostText() : "the audio system went away";
    if (driver) driver->stop();
    driver.reset();
    if (!saved) return fail("the sound could not be saved to " + savePath);
    if (audioLost) return fail(lostText + " (the sound is saved)");
    return 0;
}
