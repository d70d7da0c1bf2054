// JACK, from libjack opened at run time: the application starts on machines
// without JACK, and uses a server only when one already runs. MIDI comes with
// frames inside the period, so notes and program changes land on their frames.
#include <atomic>
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

struct JackLib {
    decltype(&::jack_client_open) client_open = nullptr;
    decltype(&::jack_client_close) client_close = nullptr;
    decltype(&::jack_port_register) port_register = nullptr;
    decltype(&::jack_port_get_buffer) port_get_buffer = nullptr;
    decltype(&::jack_set_process_callback) set_process_callback = nullptr;
    decltype(&::jack_activate) activate = nullptr;
    decltype(&::jack_deactivate) deactivate = nullptr;
    decltype(&::jack_get_sample_rate) get_sample_rate = nullptr;
    decltype(&::jack_get_buffer_size) get_buffer_size = nullptr;
    decltype(&::jack_get_ports) get_ports = nullptr;
    decltype(&::jack_connect) connect = nullptr;
    decltype(&::jack_port_name) port_name = nullptr;
    decltype(&::jack_free) free = nullptr;
    decltype(&::jack_get_client_name) get_client_name = nullptr;
    decltype(&::jack_midi_get_event_count) midi_get_event_count = nullptr;
    decltype(&::jack_midi_event_get) midi_event_get = nullptr;
    decltype(&::jack_set_error_function) set_error_function = nullptr;
    decltype(&::jack_set_info_function) set_info_function = nullptr;
    decltype(&::jack_on_shutdown) on_shutdown = nullptr;
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
        l.loaded = find(library, "jack_client_open", l.client_open) &&
                   find(library, "jack_client_close", l.client_close) &&
                   find(library, "jack_port_register", l.port_register) &&
                   find(library, "jack_port_get_buffer", l.port_get_buffer) &&
                   find(library, "jack_set_process_callback", l.set_process_callback) &&
                   find(library, "jack_activate", l.activate) &&
                   find(library, "jack_deactivate", l.deactivate) &&
                   find(library, "jack_get_sample_rate", l.get_sample_rate) &&
                   find(library, "jack_get_buffer_size", l.get_buffer_size) &&
                   find(library, "jack_get_ports", l.get_ports) && find(library, "jack_connect", l.connect) &&
                   find(library, "jack_port_name", l.port_name) && find(library, "jack_free", l.free) &&
                   find(library, "jack_get_client_name", l.get_client_name) &&
                   find(library, "jack_midi_get_event_count", l.midi_get_event_count) &&
                   find(library, "jack_midi_event_get", l.midi_event_get) &&
                   find(library, "jack_set_error_function", l.set_error_function) &&
                   find(library, "jack_set_info_function", l.set_info_function) &&
                   find(library, "jack_on_shutdown", l.on_shutdown);
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

    bool start(StandaloneSynth& s, const AudioChoice& choice, std::string& error) override {
        const JackLib& j = jack();
        synth = &s;
        rate = j.get_sample_rate(client);
        frames = j.get_buffer_size(client);
        // The server's rate and period are the server's: asking for others is an error.
        if (choice.rate && choice.rate != rate) {
            error =
                "the JACK server runs at " + std::to_string(rate) + " Hz, not " + std::to_string(choice.rate);
            return false;
        }
        if (choice.buffer && choice.buffer != frames) {
            error = "the JACK server's period is " + std::to_string(frames) + " frames, not " +
                    std::to_string(choice.buffer);
            return false;
        }
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
        if (j.activate(client) != 0) {
            error = "the JACK server did not start the application";
            return false;
        }
        active = true;
        // Audio to the system's playback unless a device (a port name
        // pattern) was chosen; MIDI from every hardware output, or the chosen ones.
        const std::string audioPattern = choice.device.empty() ? std::string() : choice.device;
        connectAll(audioPattern.empty() ? nullptr : audioPattern.c_str(), JACK_DEFAULT_AUDIO_TYPE,
                   JackPortIsInput | (audioPattern.empty() ? JackPortIsPhysical : 0), {left, right}, true);
        if (choice.midiInputs.empty())
            connectAll(nullptr, JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput | JackPortIsPhysical, {midi}, false);
        for (const std::string& input : choice.midiInputs)
            connectAll(input.c_str(), JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, {midi}, false);
        return true;
    }

    bool lost() const override { return serverGone.load(); }

    void stop() override {
        if (active && !serverGone.load()) jack().deactivate(client);
        if (active && synth) synth->stop();
        active = false;
    }

    std::string deviceText() const override {
        return std::string("JACK ") + jack().get_client_name(client) + ", " + std::to_string(rate) + " Hz, " +
               std::to_string(frames) + " frames";
    }
    std::vector<std::string> midiTexts() const override { return midiNames; }

private:
    // Connects ports to the server's ports matching pattern, type and flags:
    // to them (outputs, in turn) or from them (inputs, all to one).
    void connectAll(const char* pattern, const char* type, unsigned long flags,
                    std::vector<jack_port_t*> ours, bool fromOurs) {
        const JackLib& j = jack();
        const char** ports = j.get_ports(client, pattern, type, flags);
        if (!ports) return;
        for (std::size_t i = 0; ports[i]; ++i) {
            if (fromOurs) {
                if (i >= ours.size()) break;
                j.connect(client, j.port_name(ours[i]), ports[i]);
            } else if (j.connect(client, ports[i], j.port_name(ours[0])) == 0) {
                midiNames.emplace_back(std::string("MIDI ") + ports[i]);
            }
        }
        j.free(ports);
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
    bool active = false;
    std::atomic<bool> serverGone{false};
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
    print("JACK audio (--audio takes a port name pattern):", JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput);
    print("JACK MIDI (--midi takes a port name pattern):", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput);
    j.client_close(client);
}

#else

std::unique_ptr<AudioDriver> connectJack(std::string&) { return nullptr; }
void listJack() {}

#endif
