// The system's audio device on Windows through RtAudio (inside DPF's
// sources): WASAPI where it answers (the shorter way to the device), else
// DirectSound; with the system's MIDI inputs.
#if defined(_WIN32)
#include <atomic>
#include <cstdio>
#include <memory>

#include "RtAudio.h"
#include "standalone/AudioDriver.h"
#include "standalone/StandaloneSynth.h"
#include "standalone/SystemMidi.h"

namespace {

constexpr RtAudio::Api kApis[] = {RtAudio::WINDOWS_WASAPI, RtAudio::WINDOWS_DS};

const char* systemName(RtAudio::Api api) { return api == RtAudio::WINDOWS_WASAPI ? "WASAPI" : "DirectSound"; }

bool usable(const RtAudio::DeviceInfo& info) { return info.probed && info.outputChannels >= 2; }

// The index of the output device named name (or containing it), or of the default.
bool findDevice(RtAudio& audio, const std::string& name, unsigned& index) {
    const unsigned count = audio.getDeviceCount();
    if (name.empty()) {
        for (unsigned i = 0; i < count; ++i) {
            const RtAudio::DeviceInfo info = audio.getDeviceInfo(i);
            if (usable(info) && info.isDefaultOutput) return index = i, true;
        }
        for (unsigned i = 0; i < count; ++i)
            if (usable(audio.getDeviceInfo(i))) return index = i, true;
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
    bool start(StandaloneSynth& s, const AudioChoice& choice, std::string& error,
               std::vector<std::string>& notes) override {
        synth = &s;
        for (const RtAudio::Api api : kApis) {
            std::vector<std::string> apiNotes;
            devices.clear();
            const bool opened = open(api, choice, error, apiNotes);
            if (opened || api == kApis[std::size(kApis) - 1]) {
                notes.insert(notes.end(), apiNotes.begin(), apiNotes.end());
                return opened && midi.open(s, choice, error, notes);
            }
        }
        return false;
    }

    bool open(RtAudio::Api api, const AudioChoice& choice, std::string& error,
              std::vector<std::string>& notes) {
        try {
            auto audio = std::make_unique<RtAudio>(api);
            audio->showWarnings(false);
            unsigned device = 0;
            if (!findDevice(*audio, choice.device, device)) {
                if (choice.device.empty() || choice.deviceTyped) {
                    error = choice.device.empty()
                                ? noDevice()
                                : "no " + std::string(systemName(api)) + " audio device named \"" +
                                      choice.device + "\" (--list-devices lists them)";
                    return false;
                }
                notes.push_back("the saved audio device \"" + choice.device +
                                "\" is not there now: playing through the default");
                if (!findDevice(*audio, "", device)) return error = noDevice(), false;
            }
            const RtAudio::DeviceInfo info = audio->getDeviceInfo(device);
            for (unsigned i = 0; i < audio->getDeviceCount(); ++i)
                if (const RtAudio::DeviceInfo other = audio->getDeviceInfo(i); usable(other))
                    devices.push_back(other.name);
            RtAudio::StreamParameters out;
            out.deviceId = device;
            out.nChannels = 2;
            rate = choice.rate ? choice.rate : (info.preferredSampleRate ? info.preferredSampleRate : 48000);
            frames = choice.buffer ? choice.buffer : 256;
            RtAudio::StreamOptions options;
            options.flags = RTAUDIO_NONINTERLEAVED;
            options.streamName = "Hammerlyn2";
            synth->start(static_cast<float>(rate), 8192);
            audio->openStream(&out, nullptr, RTAUDIO_FLOAT32, rate, &frames, &RtDriver::callback, this,
                              &options, &RtDriver::onError);
            if (choice.buffer && frames != choice.buffer) {
                audio->closeStream();
                error = "the audio device \"" + info.name + "\" refuses a buffer of " +
                        std::to_string(choice.buffer) + " frames (it offers " + std::to_string(frames) + ")";
                return false;
            }
            current = this;
            audio->startStream();
            name = info.name;
            apiName = systemName(api);
            stream = std::move(audio);
        } catch (const RtAudioError& e) {
            error = "the audio device refused: " + e.getMessage();
            return false;
        }
        return true;
    }

    void stop() override {
        midi.close();
        if (stream) {
            try {
                if (stream->isStreamRunning()) stream->stopStream();
                if (stream->isStreamOpen()) stream->closeStream();
            } catch (const RtAudioError&) {
            }
            stream.reset();
            synth->stop();
        }
        current = nullptr;
    }
    ~RtDriver() override { stop(); }

    bool lost() const override { return gone.load(); }
    void poll() override { midi.poll(); }
    std::string deviceText() const override {
        return apiName + " (" + name + "), " + std::to_string(rate) + " Hz, " + std::to_string(frames) +
               " frames";
    }
    std::vector<std::string> midiTexts() const override { return midi.texts(); }
    std::string system() const override { return "ds"; }  // the one Windows has
    std::vector<std::string> outputNames() const override { return devices; }
    std::vector<std::string> midiSourceNames() const override { return SystemMidi::inputNames(); }

private:
    static std::string noDevice() {
#if defined(_WIN32)
        return "no audio device (no sound card answers)";
#else
        return "no audio device (no JACK server runs, no PulseAudio server answers, and no sound card "
               "answers)";
#endif
    }

    // RtAudio reports a device that stopped taking samples (unplugged) as a
    // failed write, an underrun as one that is made good at once.
    static void onError(RtAudioError::Type type, const std::string& text) {
        if (type == RtAudioError::WARNING && text.find("underrun") != std::string::npos) return;
        if (RtDriver* d = current.load()) d->gone.store(true);
    }

    static int callback(void* output, void*, unsigned int count, double, RtAudioStreamStatus, void* self) {
        auto* d = static_cast<RtDriver*>(self);
        auto* out = static_cast<float*>(output);
        d->synth->process(out, out + count, static_cast<int>(count), nullptr, 0);
        return 0;
    }

    // RtAudio's error callback carries no pointer of ours: the one stream there is.
    static inline std::atomic<RtDriver*> current{nullptr};

    StandaloneSynth* synth = nullptr;
    std::unique_ptr<RtAudio> stream;
    SystemMidi midi;
    std::string name, apiName;
    std::vector<std::string> devices;  // the usable outputs, when the stream opened
    unsigned rate = 0, frames = 0;
    std::atomic<bool> gone{false};
};

}  // namespace

std::unique_ptr<AudioDriver> makeSystemAudio() { return std::make_unique<RtDriver>(); }

void listSystemAudio() {
    for (const RtAudio::Api api : kApis) {
        try {
            RtAudio audio(api);
            audio.showWarnings(false);
            std::printf("%s audio (--audio takes a name):\n", systemName(api));
            for (unsigned i = 0; i < audio.getDeviceCount(); ++i) {
                const RtAudio::DeviceInfo info = audio.getDeviceInfo(i);
                if (usable(info))
                    std::printf("  %s%s\n", info.name.c_str(), info.isDefaultOutput ? " (default)" : "");
            }
        } catch (const RtAudioError&) {
        }
    }
}
#endif
