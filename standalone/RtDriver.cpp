// An audio device and MIDI inputs through RtAudio and RtMidi (inside DPF's
// sources): PulseAudio, then ALSA, with ALSA sequencer MIDI on Linux;
// DirectSound with WinMM MIDI on Windows. MIDI arrives on RtMidi's threads and
// is queued for the start of the next period.
#include <cstdio>
#include <memory>

#include "RtAudio.h"
#include "RtMidi.h"
#include "standalone/AudioDriver.h"
#include "standalone/StandaloneSynth.h"

#if !defined(_WIN32)
#include <alsa/asoundlib.h>
#endif

namespace {

#if !defined(_WIN32)
// ALSA's library prints its own complaints (no card, no sequencer) to the
// terminal: the application says in one line what they amount to.
void quietAlsa(const char*, int, const char*, int, const char*, ...) {}
#endif

std::vector<RtAudio::Api> audioApis() {
#if !defined(_WIN32)
    static const bool quiet = snd_lib_error_set_handler(&quietAlsa) == 0;
    (void)quiet;
#endif
#if defined(_WIN32)
    return {RtAudio::WINDOWS_DS};
#else
    return {RtAudio::LINUX_PULSE, RtAudio::LINUX_ALSA};
#endif
}

// The index of the output device named name (or containing it), or of the default.
bool findDevice(RtAudio& audio, const std::string& name, unsigned& index) {
    const unsigned count = audio.getDeviceCount();
    if (name.empty()) {
        for (unsigned i = 0; i < count; ++i) {
            const RtAudio::DeviceInfo info = audio.getDeviceInfo(i);
            if (info.probed && info.outputChannels >= 2 && info.isDefaultOutput) return index = i, true;
        }
        for (unsigned i = 0; i < count; ++i) {
            const RtAudio::DeviceInfo info = audio.getDeviceInfo(i);
            if (info.probed && info.outputChannels >= 2) return index = i, true;
        }
        return false;
    }
    for (unsigned i = 0; i < count; ++i)
        if (audio.getDeviceInfo(i).name == name) return index = i, true;
    for (unsigned i = 0; i < count; ++i)
        if (audio.getDeviceInfo(i).name.find(name) != std::string::npos) return index = i, true;
    return false;
}

class RtDriver : public AudioDriver {
public:
    bool start(StandaloneSynth& s, const AudioChoice& choice, std::string& error) override {
        synth = &s;
        std::string refusal;
        for (RtAudio::Api api : audioApis()) {
            try {
                auto audio = std::make_unique<RtAudio>(api);
                audio->showWarnings(false);
                unsigned device = 0;
                if (!findDevice(*audio, choice.device, device)) {
                    if (!choice.device.empty() && refusal.empty())
                        refusal = "no audio device named \"" + choice.device + "\"";
                    continue;
                }
                const RtAudio::DeviceInfo info = audio->getDeviceInfo(device);
                RtAudio::StreamParameters out;
                out.deviceId = device;
                out.nChannels = 2;
                rate =
                    choice.rate ? choice.rate : (info.preferredSampleRate ? info.preferredSampleRate : 48000);
                frames = choice.buffer ? choice.buffer : 256;
                RtAudio::StreamOptions options;
                options.flags = RTAUDIO_NONINTERLEAVED;
                options.streamName = "Hammerlyn2";
                synth->start(static_cast<float>(rate), 8192);
                audio->openStream(&out, nullptr, RTAUDIO_FLOAT32, rate, &frames, &RtDriver::callback, this,
                                  &options);
                if (choice.buffer && frames != choice.buffer) {
                    audio->closeStream();
                    error = "the audio device \"" + info.name + "\" refuses a buffer of " +
                            std::to_string(choice.buffer) + " frames (it offers " + std::to_string(frames) +
                            ")";
                    return false;
                }
                audio->startStream();
                name = info.name;
                stream = std::move(audio);
                break;
            } catch (const RtAudioError& e) {
                if (refusal.empty()) refusal = "the audio device refused: " + e.getMessage();
            }
        }
        if (!stream) {
#if defined(_WIN32)
            const char* none = "no audio device (no sound card answers)";
#else
            const char* none = "no audio device (no JACK server runs, and no sound card answers)";
#endif
            error = refusal.empty() ? std::string(none) : refusal;
            return false;
        }
        openMidi(choice.midiInputs);
        return true;
    }

    void stop() override {
        inputs.clear();
        if (stream) {
            try {
                if (stream->isStreamRunning()) stream->stopStream();
                if (stream->isStreamOpen()) stream->closeStream();
            } catch (const RtAudioError&) {
            }
            stream.reset();
            synth->stop();
        }
    }
    ~RtDriver() override { stop(); }

    std::string deviceText() const override {
        return name + ", " + std::to_string(rate) + " Hz, " + std::to_string(frames) + " frames";
    }
    std::vector<std::string> midiTexts() const override { return midiNames; }

private:
    // Every input, or those whose names contain one of the chosen texts.
    void openMidi(const std::vector<std::string>& chosen) {
        try {
            RtMidiIn probe;
            const unsigned count = probe.getPortCount();
            for (unsigned i = 0; i < count; ++i) {
                const std::string port = probe.getPortName(i);
                bool wanted = chosen.empty();
                for (const std::string& c : chosen) wanted = wanted || port.find(c) != std::string::npos;
                if (!wanted) continue;
                auto input = std::make_unique<RtMidiIn>();
                input->setCallback(&RtDriver::midiCallback, synth);
                input->openPort(i, "Hammerlyn2");
                inputs.push_back(std::move(input));
                midiNames.push_back("MIDI " + port);
            }
        } catch (const RtMidiError& e) {
            std::fprintf(stderr, "hammerlyn2: MIDI inputs: %s\n", e.getMessage().c_str());
        }
    }

    static void midiCallback(double, std::vector<unsigned char>* message, void* synth) {
        if (!message || message->empty() || message->size() > 3) return;
        const auto& m = *message;
        static_cast<StandaloneSynth*>(synth)->post(m[0], m.size() > 1 ? m[1] : 0, m.size() > 2 ? m[2] : 0);
    }

    static int callback(void* output, void*, unsigned int count, double, RtAudioStreamStatus, void* self) {
        auto* d = static_cast<RtDriver*>(self);
        auto* out = static_cast<float*>(output);
        d->synth->process(out, out + count, static_cast<int>(count), nullptr, 0);
        return 0;
    }

    StandaloneSynth* synth = nullptr;
    std::unique_ptr<RtAudio> stream;
    std::vector<std::unique_ptr<RtMidiIn>> inputs;
    std::vector<std::string> midiNames;
    std::string name;
    unsigned rate = 0, frames = 0;
};

}  // namespace

std::unique_ptr<AudioDriver> openSystemAudio() { return std::make_unique<RtDriver>(); }

void listDevices() {
    listJack();
    for (RtAudio::Api api : audioApis()) {
        try {
            RtAudio audio(api);
            audio.showWarnings(false);
            std::printf("%s audio (--audio takes a name):\n", RtAudio::getApiDisplayName(api).c_str());
            for (unsigned i = 0; i < audio.getDeviceCount(); ++i) {
                const RtAudio::DeviceInfo info = audio.getDeviceInfo(i);
                if (info.probed && info.outputChannels >= 2)
                    std::printf("  %s%s\n", info.name.c_str(), info.isDefaultOutput ? " (default)" : "");
            }
        } catch (const RtAudioError&) {
        }
    }
    try {
        audioApis();  // ALSA quietened
        RtMidiIn midi;
        midi.setErrorCallback([](RtMidiError::Type, const std::string&, void*) {}, nullptr);
        std::printf("MIDI inputs (--midi takes a name):\n");
        for (unsigned i = 0; i < midi.getPortCount(); ++i) std::printf("  %s\n", midi.getPortName(i).c_str());
    } catch (const RtMidiError&) {
    }
}
