// PulseAudio (and PipeWire desktops, which answer as PulseAudio) through
// libpulse: the server's sinks listed once, every answer awaited, then the
// sound written through libpulse-simple from a thread of the driver's own,
// one period at a time. The system's MIDI inputs come with it.
#include <cstdio>
#include <vector>

#include "standalone/AudioDriver.h"

#if defined(__linux__)
#include <pulse/error.h>
#include <pulse/pulseaudio.h>
#include <pulse/simple.h>

#include "standalone/BlockingDriver.h"

namespace {

struct Sink {
    std::string name, description;
    unsigned rate = 0;
};

struct Server {
    std::vector<Sink> sinks;
    std::string defaultSink;
};

// Asks the server for its sinks and its default one, waiting for both
// answers; false when no server answers (none is started for the purpose).
bool askServer(Server& server) {
    pa_mainloop* loop = pa_mainloop_new();
    if (!loop) return false;
    pa_context* context = pa_context_new(pa_mainloop_get_api(loop), "Hammerlyn2");
    bool answered = false;
    if (context && pa_context_connect(context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) >= 0) {
        for (;;) {
            const pa_context_state_t state = pa_context_get_state(context);
            if (state == PA_CONTEXT_READY) {
                answered = true;
                break;
            }
            if (!PA_CONTEXT_IS_GOOD(state) || pa_mainloop_iterate(loop, 1, nullptr) < 0) break;
        }
        if (answered) {
            pa_operation* sinks = pa_context_get_sink_info_list(
                context,
                [](pa_context*, const pa_sink_info* info, int end, void* data) {
                    if (!end && info)
                        static_cast<Server*>(data)->sinks.push_back(
                            {info->name ? info->name : "", info->description ? info->description : "",
                             info->sample_spec.rate});
                },
                &server);
            pa_operation* about = pa_context_get_server_info(
                context,
                [](pa_context*, const pa_server_info* info, void* data) {
                    if (info && info->default_sink_name)
                        static_cast<Server*>(data)->defaultSink = info->default_sink_name;
                },
                &server);
            auto running = [](pa_operation* o) {
                return o && pa_operation_get_state(o) == PA_OPERATION_RUNNING;
            };
            while (running(sinks) || running(about))
                if (pa_mainloop_iterate(loop, 1, nullptr) < 0) break;
            if (sinks) pa_operation_unref(sinks);
            if (about) pa_operation_unref(about);
        }
        pa_context_disconnect(context);
    }
    if (context) pa_context_unref(context);
    pa_mainloop_free(loop);
    return answered;
}

// The sink of that name or description, else one whose name or description holds the text.
const Sink* findSink(const Server& server, const std::string& text) {
    for (const Sink& s : server.sinks)
        if (s.name == text || s.description == text) return &s;
    for (const Sink& s : server.sinks)
        if (s.name.find(text) != std::string::npos || s.description.find(text) != std::string::npos)
            return &s;
    return nullptr;
}

class PulseDriver : public BlockingDriver {
public:
    explicit PulseDriver(Server server) : server(std::move(server)) {}
    ~PulseDriver() override { stop(); }

    bool start(StandaloneSynth& s, const AudioChoice& choice, std::string& error,
               std::vector<std::string>& notes) override {
        const Sink* sink = nullptr;
        if (!choice.device.empty()) {
            sink = findSink(server, choice.device);
            if (!sink && !acceptMissingDevice(choice, "PulseAudio", "output", error, notes)) return false;
        }
        // The default sink needs no name: the server plays to whichever it is.
        const Sink* shown = sink ? sink : findSink(server, server.defaultSink);
        name = shown ? shown->description : std::string("default");
        rate = choice.rate ? choice.rate : shown && shown->rate ? shown->rate : 48000;
        frames = choice.buffer ? choice.buffer : 256;
        const pa_sample_spec format{PA_SAMPLE_FLOAT32NE, rate, 2};
        const auto bytes = static_cast<std::uint32_t>(frames * 2 * sizeof(float));
        pa_buffer_attr attr{};
        attr.maxlength = static_cast<std::uint32_t>(-1);
        attr.tlength = 2 * bytes;  // two periods in the server's hands
        attr.prebuf = static_cast<std::uint32_t>(-1);
        attr.minreq = bytes;
        attr.fragsize = static_cast<std::uint32_t>(-1);
        int code = 0;
        stream = pa_simple_new(nullptr, "Hammerlyn2", PA_STREAM_PLAYBACK, sink ? sink->name.c_str() : nullptr,
                               "Hammerlyn2", &format, nullptr, &attr, &code);
        if (!stream) {
            error = "PulseAudio refused the output \"" + name + "\": " + pa_strerror(code);
            return false;
        }
        return startPlaying(s, choice, error, notes);
    }

    std::string lostText() const override { return "the PulseAudio server or its output went away"; }
    std::string deviceText() const override {
        return "PulseAudio (" + name + "), " + std::to_string(rate) + " Hz, " + std::to_string(frames) +
               " frames";
    }
    std::string system() const override { return "pulse"; }
    std::vector<std::string> outputNames() const override {
        std::vector<std::string> names;
        for (const Sink& s : server.sinks) names.push_back(s.description);
        return names;
    }

private:
    // The server waits while two periods are queued.
    bool writePeriod(const float* interleaved) override {
        int code = 0;
        return pa_simple_write(stream, interleaved, frames * 2 * sizeof(float), &code) >= 0;
    }

    void closeDevice() override {
        if (stream) pa_simple_free(stream);
        stream = nullptr;
    }

    Server server;
    pa_simple* stream = nullptr;
    std::string name;
};

}  // namespace

std::unique_ptr<AudioDriver> connectPulse() {
    Server server;
    if (!askServer(server)) return nullptr;
    return std::make_unique<PulseDriver>(std::move(server));
}

void listPulse() {
    Server server;
    if (!askServer(server)) return;
    std::printf("PulseAudio audio (--audio takes a name):\n");
    for (const Sink& s : server.sinks)
        std::printf("  %s%s\n", s.description.c_str(), s.name == server.defaultSink ? " (default)" : "");
}

#else

std::unique_ptr<AudioDriver> connectPulse() { return nullptr; }
void listPulse() {}

#endif
