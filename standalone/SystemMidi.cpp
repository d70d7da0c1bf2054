#include "standalone/SystemMidi.h"

#include "RtMidi.h"
#include "standalone/StandaloneSynth.h"

#if !defined(_WIN32)
#include <alsa/asoundlib.h>
#endif

namespace {

#if !defined(_WIN32)
void quiet(const char*, int, const char*, int, const char*, ...) {}
#endif

// RtMidi prints its own line to the terminal when it finds no sequencer,
// from its constructor, before any error callback can be set: the sequencer
// is asked first.
bool sequencerAnswers() {
#if defined(_WIN32)
    return true;
#else
    snd_seq_t* seq = nullptr;
    if (snd_seq_open(&seq, "default", SND_SEQ_OPEN_INPUT, 0) < 0) return false;
    snd_seq_close(seq);
    return true;
#endif
}

void deliver(double, std::vector<unsigned char>* message, void* synth) {
    if (!message || message->empty() || message->size() > 3) return;
    const auto& m = *message;
    static_cast<StandaloneSynth*>(synth)->post(m[0], m.size() > 1 ? m[1] : 0, m.size() > 2 ? m[2] : 0);
}

void ignore(RtMidiError::Type, const std::string&, void*) {}

}  // namespace

void SystemMidi::quietenAlsa() {
#if !defined(_WIN32)
    // ALSA's library prints its own complaints (no card, no sequencer) to the
    // terminal: the application says in one line what they amount to.
    snd_lib_error_set_handler(&quiet);
#endif
}

std::vector<std::string> SystemMidi::inputNames() {
    quietenAlsa();
    std::vector<std::string> names;
    if (!sequencerAnswers()) return names;
    try {
        RtMidiIn midi(RtMidi::UNSPECIFIED, "Hammerlyn2");
        midi.setErrorCallback(&ignore, nullptr);
        for (unsigned i = 0, n = midi.getPortCount(); i < n; ++i)
            if (const std::string name = midi.getPortName(i); name.rfind("Hammerlyn2", 0) != 0)
                names.push_back(name);
    } catch (const RtMidiError&) {
    }
    return names;
}

SystemMidi::SystemMidi() = default;
SystemMidi::~SystemMidi() { close(); }

bool SystemMidi::wanted(const std::string& port) const {
    if (chosen.empty()) return true;
    for (const std::string& c : chosen)
        if (port.find(c) != std::string::npos) return true;
    return false;
}

bool SystemMidi::open(StandaloneSynth& s, const AudioChoice& choice, std::string& error,
                      std::vector<std::string>& notes) {
    synth = &s;
    chosen = choice.midiInputs;
    quietenAlsa();
    if (sequencerAnswers()) {
        try {
            probe = std::make_unique<RtMidiIn>(RtMidi::UNSPECIFIED, "Hammerlyn2");
            probe->setErrorCallback(&ignore, nullptr);
        } catch (const RtMidiError&) {
            probe.reset();
        }
    }
    std::vector<std::string> present;
    if (probe)
        for (unsigned i = 0, n = probe->getPortCount(); i < n; ++i) present.push_back(probe->getPortName(i));
    for (const std::string& c : choice.midiInputs) {
        bool found = false;
        for (const std::string& p : present) found = found || p.find(c) != std::string::npos;
        if (found) continue;
        if (choice.midiTyped) {
            error = "no MIDI input named \"" + c + "\" (--list-devices lists them)";
            return false;
        }
        notes.push_back("the saved MIDI input \"" + c + "\" is not there now: connected when it appears");
    }
    connectNew();
    return true;
}

void SystemMidi::connectNew() {
    if (!probe) return;
    lastLook = std::chrono::steady_clock::now();
    const unsigned count = probe->getPortCount();
    std::vector<std::string> present;
    for (unsigned i = 0; i < count; ++i) present.push_back(probe->getPortName(i));
    // An input unplugged is let go, to be connected again when it comes back.
    for (std::size_t k = ports.size(); k-- > 0;) {
        bool there = false;
        for (const std::string& p : present) there = there || p == ports[k];
        if (there) continue;
        inputs.erase(inputs.begin() + static_cast<std::ptrdiff_t>(k));
        ports.erase(ports.begin() + static_cast<std::ptrdiff_t>(k));
        names.erase(names.begin() + static_cast<std::ptrdiff_t>(k));
    }
    for (unsigned i = 0; i < count; ++i) {
        const std::string& port = present[i];
        if (port.empty() || !wanted(port)) continue;
        bool open = false;
        for (const std::string& p : ports) open = open || p == port;
        // Our own sequencer clients (the probe, the inputs) are no inputs.
        if (open || port.rfind("Hammerlyn2", 0) == 0) continue;
        try {
            auto input = std::make_unique<RtMidiIn>(RtMidi::UNSPECIFIED, "Hammerlyn2");
            input->setErrorCallback(&ignore, nullptr);
            input->setCallback(&deliver, synth);
            input->openPort(i, "Hammerlyn2");
            inputs.push_back(std::move(input));
            ports.push_back(port);
            names.push_back("MIDI " + port);
        } catch (const RtMidiError&) {
        }
    }
}

void SystemMidi::poll() {
    if (probe && std::chrono::steady_clock::now() - lastLook >= std::chrono::seconds(1)) connectNew();
}

void SystemMidi::close() {
    inputs.clear();
    ports.clear();
    names.clear();
    probe.reset();
}
