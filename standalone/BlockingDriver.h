// A driver whose device takes the sound in blocking writes (ALSA, PulseAudio):
// a thread of the driver's own renders a period and writes it, again and
// again, until the driver stops or a write fails (the device or the server
// went away). The system's MIDI inputs come with it.
#pragma once

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "standalone/AudioDriver.h"
#include "standalone/SystemMidi.h"

class BlockingDriver : public AudioDriver {
public:
    // Ends the MIDI inputs and the thread, stops the synth, and closes the device.
    void stop() final;
    bool lost() const override { return gone.load(); }
    void poll() override { midi.poll(); }
    std::vector<std::string> midiTexts() const override { return midi.texts(); }
    std::vector<std::string> midiSourceNames() const override { return SystemMidi::inputNames(); }

protected:
    // The device the choice names is not there: false, with error, for a name
    // typed on the command line; for a saved one, true with a note that the
    // system's default plays instead.
    static bool acceptMissingDevice(const AudioChoice& choice, const std::string& system, const char* kind,
                                    std::string& error, std::vector<std::string>& notes);
    // Once the device is open at rate and frames: starts the synth, the
    // thread and the MIDI inputs (false, with error, when an input is refused).
    bool startPlaying(StandaloneSynth& synth, const AudioChoice& choice, std::string& error,
                      std::vector<std::string>& notes);
    bool playing() const { return running.load(); }
    // One period of interleaved stereo frames, written whole while playing();
    // false when the device is gone.
    virtual bool writePeriod(const float* interleaved) = 0;
    // Closes the device, if open (the thread has ended).
    virtual void closeDevice() = 0;

    unsigned rate = 0, frames = 0;

private:
    void play();

    StandaloneSynth* synth = nullptr;
    std::thread thread;
    std::atomic<bool> running{false}, gone{false};
    SystemMidi midi;
};
