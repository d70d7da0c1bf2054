// JACK, from libjack opened at run time: the application starts on machines
// without JACK, and uses a server only when one already runs. MIDI comes with
// frames inside the period, so notes and program changes land on their frames.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <vector>

#include "standalone/AudioDriver.h"
#include "standalone/StandaloneSynth.h"

#if defined(__linux__)
#include <dlfcn.h>
#include <jack/jack.h>
#include <jack/midiport.h>

namespace {

// Every libjack call the driver makes, each looked up by its name once.
#define HAMMERLYN2_JACK_CALLS(X)                                                                                 \
    X(client_open) X(client_close) X(port_register) X(port_get_buffer) X(set_process_callback) X(activate)    \
    X(deactivate) X(get_sample_rate) X(get_buffer_size) X(get_ports) X(connect) X(port_name) X(free)         \
    X(get_client_name) X(midi_get_event_count) X(midi_event_get) X(set_error_function) X(set_info_function)  \
    X(on_shutdown) X(set_port_registration_callback)

struct JackLib {
#define HAMMERLYN2_JACK_MEMBER(call) decltype(&::jack_##call) call = nullptr;
    HAMMERLYN2_JACK_CALLS(HAMMERLYN2_JACK_MEMBER)
#undef HAMMERLYN2_JACK_MEMBER
    bool loaded = false;
};

template <typename F>
bool find(void* library, const char* name, F& out) {
    out = reinterpret_cast<F>(dlsym(library, name));
    return out != nullptr;
}

const JackLib& jack() {
    static JackLib j = [] {
        JackLib l;
        void* library = dlopen("libjack.so.0", RTLD_NOW | RTLD_LOCAL);
        if (!library) return l;
        l.loaded = true;
#define HAMMERLYN2_JACK_FIND(call) l.loaded = l.loaded && find(library, "jack_" #call, l.call);
        HAMMERLYN2_JACK_CALLS(HAMMERLYN2_JACK_FIND)
#undef HAMMERLYN2_JACK_FIND
        // libjack's own messages (no server to connect to, among others) would
        // bury the application's one line: it reports for itself.
        if (l.loaded) {
            l.set_error_function([](const char*) {});
            l.set_info_function([](const char*) {});
        }
        return l;
    }();
    return j;
}

class JackDriver : public AudioDriver {
public:
    explicit JackDriver(jack_client_t* client) : client(client) {}
    ~JackDriver() override {
        stop();
        jack().client_close(client);
    }

    bool start(StandaloneSynth& s, const AudioChoice& choice, std::string& error,
               std::vector<std::string>& notes) override {
        const JackLib& j = jack();
        synth = &s;
        rate = j.get_sample_rate(client);
        frames = j.get_buffer_size(client);
        // The server's rate and period are the server's: asking for others on
        // the command line is an error, a saved preference gives way.
        const std::string from = choice.savedIn.empty() ? "" : " (saved in " + choice.savedIn + ")";
        if (choice.rate && choice.rate != rate) {
            const std::string text =
                "the JACK server runs at " + std::to_string(rate) + " Hz, not " + std::to_string(choice.rate);
            if (choice.rateTyped) return error = text, false;
            notes.push_back(text + from + ": playing at the server's rate");
        }
        if (choice.buffer && choice.buffer != frames) {
            const std::string text = "the JACK server's period is " + std::to_string(frames) +
                                     " frames, not " + std::to_string(choice.buffer);
            if (choice.bufferTyped) return error = text, false;
            notes.push_back(text + from + ": playing with the server's period");
        }
        // Ports are matched here, never handed to libjack as patterns: a name
        // is a port's whole name or a part of it, whatever characters it holds.
        std::vector<std::string> outputs;
        if (!choice.device.empty()) {
            outputs = ports(JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, {choice.device});
            if (outputs.empty()) {
                if (choice.deviceTyped)
                    return error = "no JACK port named \"" + choice.device + "\" (--list-devices lists them)",
                           false;
                notes.push_back("the saved audio choice \"" + choice.device +
                                "\" matches no JACK port now: playing to the system's outputs");
            }
        }
        if (outputs.empty())
            outputs = ports(JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput | JackPortIsPhysical, {});
        for (const std::string& input : choice.midiInputs) {
            if (!ports(JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, {input}).empty()) continue;
            if (choice.midiTyped)
                return error = "no JACK MIDI port named \"" + input + "\" (--list-devices lists them)", false;
            notes.push_back("the saved MIDI input \"" + input +
                            "\" is not there now: connected when it appears");
        }
        midiChosen = choice.midiInputs;

        left = j.port_register(client, "out_left", JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput, 0);
        right = j.port_register(client, "out_right", JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput, 0);
        midi = j.port_register(client, "midi_in", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
        if (!left || !right || !midi) {
            error = "the JACK server refused the application's ports";
            return false;
        }
        events.resize(4096);
        synth->start(static_cast<float>(rate), static_cast<int>(frames));
        j.set_process_callback(client, &JackDriver::processCallback, this);
        j.on_shutdown(
            client, [](void* self) { static_cast<JackDriver*>(self)->serverGone.store(true); }, this);
        // A port that appears later (a keyboard plugged in) is connected from
        // the control thread: libjack allows no connection from its callbacks.
        j.set_port_registration_callback(
            client,
            [](jack_port_id_t, int registered, void* self) {
                if (registered) static_cast<JackDriver*>(self)->portsAppeared.store(true);
            },
            this);
        if (j.activate(client) != 0) {
            error = "the JACK server did not start the application";
            return false;
        }
        active = true;
        const char* ourOutputs[] = {j.port_name(left), j.port_name(right)};
        for (std::size_t i = 0; i < outputs.size() && i < 2; ++i)
            j.connect(client, ourOutputs[i], outputs[i].c_str());
        connectMidi();
        return true;
    }

    bool lost() const override { return serverGone.load(); }
    std::string lostText() const override { return "the JACK server stopped"; }
    // A port that appeared is connected at once; and once a second, those
    // whose clients were not yet running when their ports appeared.
    void poll() override {
        if (!active || serverGone.load()) return;
        const auto now = std::chrono::steady_clock::now();
        if (portsAppeared.exchange(false) || now - lastLook >= std::chrono::seconds(1)) {
            lastLook = now;
            connectMidi();
        }
    }

    void stop() override {
        if (active && !serverGone.load()) jack().deactivate(client);
        if (active && synth) synth->stop();
        active = false;
    }

    std::string deviceText() const override {
        return std::string("JACK (") + jack().get_client_name(client) + "), " + std::to_string(rate) +
               " Hz, " + std::to_string(frames) + " frames";
    }
    std::vector<std::string> midiTexts() const override { return midiNames; }
    std::string system() const override { return "jack"; }
    // Each client's playback ports as one output ("system:").
    std::vector<std::string> outputNames() const override {
        std::vector<std::string> clients;
        for (const std::string& port : ports(JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, {})) {
            const std::string client = port.substr(0, port.find(':') + 1);
            if (std::find(clients.begin(), clients.end(), client) == clients.end()) clients.push_back(client);
        }
        return clients;
    }
    std::vector<std::string> midiSourceNames() const override {
        return ports(JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, {});
    }

private:
    // The server's ports of the type and flags whose names hold one of the
    // texts (all of them with no texts), in the server's order.
    std::vector<std::string> ports(const char* type, unsigned long flags,
                                   const std::vector<std::string>& texts) const {
        const JackLib& j = jack();
        std::vector<std::string> found;
        const char** all = j.get_ports(client, nullptr, type, flags);
        if (!all) return found;
        for (std::size_t i = 0; all[i]; ++i) {
            const std::string name = all[i];
            bool match = texts.empty();
            for (const std::string& t : texts) match = match || name.find(t) != std::string::npos;
            if (match) found.push_back(name);
        }
        j.free(all);
        return found;
    }

    // MIDI from every hardware output, or from the chosen ones, each once.
    void connectMidi() {
        const JackLib& j = jack();
        const std::vector<std::string> sources =
            midiChosen.empty() ? ports(JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput | JackPortIsPhysical, {})
                               : ports(JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, midiChosen);
        // A source gone is forgotten: connected again when it comes back.
        std::erase_if(midiNames, [&](const std::string& name) {
            for (const std::string& source : sources)
                if (name == "MIDI " + source) return false;
            return true;
        });
        for (const std::string& source : sources) {
            const std::string text = "MIDI " + source;
            bool known = false;
            for (const std::string& n : midiNames) known = known || n == text;
            if (!known && j.connect(client, source.c_str(), j.port_name(midi)) == 0)
                midiNames.push_back(text);
        }
    }

    static int processCallback(jack_nframes_t count, void* self) {
        static_cast<JackDriver*>(self)->process(count);
        return 0;
    }

    void process(jack_nframes_t count) {
        const JackLib& j = jack();
        auto* l = static_cast<float*>(j.port_get_buffer(left, count));
        auto* r = static_cast<float*>(j.port_get_buffer(right, count));
        void* input = j.port_get_buffer(midi, count);
        int n = 0;
        const jack_nframes_t available = j.midi_get_event_count(input);
        for (jack_nframes_t i = 0; i < available && n < static_cast<int>(events.size()); ++i) {
            jack_midi_event_t event;
            if (j.midi_event_get(&event, input, i) != 0 || event.size < 1 || event.size > 3) continue;
            events[static_cast<std::size_t>(n++)] = MidiBytes{
                event.time, event.buffer[0], event.size > 1 ? event.buffer[1] : static_cast<unsigned char>(0),
                event.size > 2 ? event.buffer[2] : static_cast<unsigned char>(0)};
        }
        synth->process(l, r, static_cast<int>(count), events.data(), n);
    }

    jack_client_t* client;
    StandaloneSynth* synth = nullptr;
    jack_port_t* left = nullptr;
    jack_port_t* right = nullptr;
    jack_port_t* midi = nullptr;
    jack_nframes_t rate = 0, frames = 0;
    std::vector<MidiBytes> events;  // one period's, sized before the audio runs
    std::vector<std::string> midiNames;
    std::vector<std::string> midiChosen;
    bool active = false;
    std::atomic<bool> serverGone{false};
    std::atomic<bool> portsAppeared{false};
    std::chrono::steady_clock::time_point lastLook{};
};

}  // namespace

std::unique_ptr<AudioDriver> connectJack(std::string& clientName) {
    const JackLib& j = jack();
    if (!j.loaded) return nullptr;
    jack_status_t status{};
    jack_client_t* client = j.client_open(clientName.c_str(), JackNoStartServer, &status);
    if (!client) return nullptr;
    clientName = j.get_client_name(client);
    return std::make_unique<JackDriver>(client);
}

void listJack() {
    const JackLib& j = jack();
    if (!j.loaded) return;
    jack_status_t status{};
    jack_client_t* client = j.client_open("hammerlyn2-list", JackNoStartServer, &status);
    if (!client) return;
    auto print = [&](const char* title, const char* type, unsigned long flags) {
        std::printf("%s\n", title);
        if (const char** ports = j.get_ports(client, nullptr, type, flags)) {
            for (std::size_t i = 0; ports[i]; ++i) std::printf("  %s\n", ports[i]);
            j.free(ports);
        }
    };
    print("JACK audio (--audio takes a port's name or a part of it):", JACK_DEFAULT_AUDIO_TYPE,
          JackPortIsInput);
    print("JACK MIDI (--midi takes a port's name or a part of it):", JACK_DEFAULT_MIDI_TYPE,
          JackPortIsOutput);
    j.client_close(client);
}

#else

std::unique_ptr<AudioDriver> connectJack(std::string&) { return nullptr; }
void listJack() {}

#endif
