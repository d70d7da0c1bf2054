// The system's MIDI inputs (the ALSA sequencer on Linux, WinMM on Windows)
// through RtMidi, for the audio systems without MIDI of their own: every
// input or the chosen ones, and those that appear later (looked for once a
// second). Messages arrive on RtMidi's threads and go through the synth's
// queue to the start of the next period.
#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "standalone/AudioDriver.h"

class RtMidiIn;

class SystemMidi {
public:
    SystemMidi();
    // ALSA's own messages kept off the terminal (before ALSA is first used).
    static void quietenAlsa();
    // The inputs there are now, by name.
    static std::vector<std::string> inputNames();
    ~SystemMidi();
    // Connects the inputs. False with one line in error when a name typed on
    // the command line matches no input; a saved one gives way with a note.
    bool open(StandaloneSynth& synth, const AudioChoice& choice, std::string& error,
              std::vector<std::string>& notes);
    // Control thread: connects inputs that appeared since (at most once a second).
    void poll();
    void close();
    // "MIDI <input>" for each input connected.
    std::vector<std::string> texts() const { return names; }

private:
    bool wanted(const std::string& port) const;
    void connectNew();

    StandaloneSynth* synth = nullptr;
    std::vector<std::string> chosen;  // empty: every input
    std::unique_ptr<RtMidiIn> probe;  // lists the inputs; null without a sequencer
    std::vector<std::unique_ptr<RtMidiIn>> inputs;
    std::vector<std::string> ports;  // the inputs connected, by RtMidi's name
    std::vector<std::string> names;
    std::chrono::steady_clock::time_point lastLook{};
};
