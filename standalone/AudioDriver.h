// The audio system under the standalone application: a JACK server, or an
// audio device with MIDI inputs (PulseAudio or ALSA on Linux, DirectSound and
// WinMM MIDI on Windows). Each driver renders through StandaloneSynth on its
// own audio thread once started.
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
};

class AudioDriver {
public:
    virtual ~AudioDriver() = default;
    // Opens the device and the MIDI inputs and starts rendering. False with
    // one line in error (no full stop) when anything is refused.
    virtual bool start(StandaloneSynth& synth, const AudioChoice& choice, std::string& error) = 0;
    virtual void stop() = 0;
    // The audio system went away while running (a JACK server that stopped):
    // the application ends rather than show a window that plays nothing.
    virtual bool lost() const { return false; }
    // What is in use, for the panel's menu: the audio device (with its rate
    // and period) and the MIDI inputs.
    virtual std::string deviceText() const = 0;
    virtual std::vector<std::string> midiTexts() const = 0;
};

// A driver for a JACK server that runs now; null without libjack or a server
// (nothing is started on the user's behalf).
std::unique_ptr<AudioDriver> connectJack(std::string& clientName);
// The system's audio devices and MIDI inputs (RtAudio, RtMidi).
std::unique_ptr<AudioDriver> openSystemAudio();
// Prints the devices and inputs of every driver there is: JACK's ports (where
// a server runs), then the system's devices and MIDI inputs.
void listDevices();
void listJack();
