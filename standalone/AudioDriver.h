// The audio system under the standalone application: a JACK server, a
// PulseAudio server (PipeWire desktops answer as one), or an audio device
// with MIDI inputs (ALSA on Linux, DirectSound and WinMM MIDI on Windows).
// Each driver renders through StandaloneSynth on its own audio thread once
// started.
#pragma once

#include <memory>
#include <string>
#include <vector>

class StandaloneSynth;

struct AudioChoice {
    std::string device;                   // empty: the system's default
    std::vector<std::string> midiInputs;  // empty: every input there is
    unsigned rate = 0;                    // 0: the device's own (48000 where free)
    unsigned buffer = 0;                  // frames per period, 0: 256 where free
    unsigned size = 0;                    // the window's size in percent, 0: the panel's own
    // Which of these the command line gave. A typed name that matches
    // nothing is an error; a saved one that no longer does gives way to the
    // default with a note, and so do a saved rate and period the system
    // does not take. savedIn names the file the others came from.
    bool deviceTyped = false, midiTyped = false, rateTyped = false, bufferTyped = false;
    std::string savedIn;
};

class AudioDriver {
public:
    virtual ~AudioDriver() = default;
    // Opens the device and the MIDI inputs and starts rendering. False with
    // one line in error (no full stop) when anything is refused; notes are
    // lines to show (a saved choice that gave way).
    virtual bool start(StandaloneSynth& synth, const AudioChoice& choice, std::string& error,
                       std::vector<std::string>& notes) = 0;
    virtual void stop() = 0;
    // The audio system went away while running (a JACK or PulseAudio server
    // that stopped, a device unplugged): the application saves the sound and
    // ends rather than show a window that plays nothing. lostText says what
    // went (no full stop).
    virtual bool lost() const { return false; }
    virtual std::string lostText() const { return "the audio device went away"; }
    // Control thread, often: connects MIDI inputs that appeared since.
    virtual void poll() {}
    // What is in use, for the start line and the panel's menu: the audio
    // system and device (with its rate and period), and the MIDI inputs.
    virtual std::string deviceText() const = 0;
    virtual std::vector<std::string> midiTexts() const = 0;
    // The system, as --audio-system names it ("jack", "pulse", "alsa"; "ds"
    // on Windows), the outputs it offers now by the names --audio takes, and
    // the MIDI sources there are now by the names --midi takes (the menu's
    // choices; midiTexts names those connected as "MIDI " + name).
    virtual std::string system() const = 0;
    virtual std::vector<std::string> outputNames() const = 0;
    virtual std::vector<std::string> midiSourceNames() const = 0;
};

// A driver for a JACK server that runs now; null without libjack or a server
// (nothing is started on the user's behalf).
std::unique_ptr<AudioDriver> connectJack(std::string& clientName);
// A driver for a PulseAudio server that answers now; null without one
// (none is started on the user's behalf either).
std::unique_ptr<AudioDriver> connectPulse();
// A driver for the system's audio devices, with its MIDI inputs: ALSA on Linux
// (AlsaDriver), WASAPI or DirectSound on Windows (RtDriver). Nothing is opened
// until its start.
std::unique_ptr<AudioDriver> makeSystemAudio();
// Each system's outputs, printed for --list-devices (nothing where it is absent).
void listSystemAudio();
void listJack();
void listPulse();
