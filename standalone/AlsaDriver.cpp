// ALSA's PCM devices, opened by alsa-lib itself (the "default" device needs
// no sound card behind it, only a configuration), with the system's MIDI
// inputs. A thread of the driver's own renders a period and writes it; an
// underrun is made good at once, any other failed write (a device
// unplugged) ends the run.
#if defined(__linux__)
#include <alsa/asoundlib.h>

#include <cstdio>
#include <vector>

#include "standalone/BlockingDriver.h"
#include "standalone/SystemMidi.h"

namespace {

// The playback devices alsa-lib lists: name and description.
std::vector<std::pair<std::string, std::string>> outputs() {
    std::vector<std::pair<std::string, std::string>> found;
    void** hints = nullptr;
    if (snd_device_name_hint(-1, "pcm", &hints) < 0) return found;
    for (void** h = hints; *h; ++h) {
        char* name = snd_device_name_get_hint(*h, "NAME");
        char* text = snd_device_name_get_hint(*h, "DESC");
        char* io = snd_device_name_get_hint(*h, "IOID");
        if (name && (!io || std::string(io) == "Output")) found.emplace_back(name, text ? text : "");
        std::free(name), std::free(text), std::free(io);
    }
    snd_device_name_free_hint(hints);
    return found;
}

// Opens the device of that name, else the first listed whose name or
// description holds it.
snd_pcm_t* openDevice(const std::string& text, std::string& name) {
    snd_pcm_t* pcm = nullptr;
    if (snd_pcm_open(&pcm, text.c_str(), SND_PCM_STREAM_PLAYBACK, 0) == 0) return name = text, pcm;
    if (text.empty()) return nullptr;
    for (const auto& [n, description] : outputs())
        if ((n.find(text) != std::string::npos || description.find(text) != std::string::npos) &&
            snd_pcm_open(&pcm, n.c_str(), SND_PCM_STREAM_PLAYBACK, 0) == 0)
            return name = n, pcm;
    return nullptr;
}

class AlsaDriver : public BlockingDriver {
public:
    ~AlsaDriver() override { stop(); }

    bool start(StandaloneSynth& s, const AudioChoice& choice, std::string& error,
               std::vector<std::string>& notes) override {
        SystemMidi::quietenAlsa();
        if (!choice.device.empty()) {
            pcm = openDevice(choice.device, name);
            if (!pcm && !acceptMissingDevice(choice, "ALSA", "audio device", error, notes)) return false;
        }
        if (!pcm) pcm = openDevice("default", name);
        if (!pcm) {
            error =
                "no audio device (no JACK server runs, no PulseAudio server answers, and no sound card "
                "answers)";
            return false;
        }
        rate = choice.rate ? choice.rate : 48000;
        frames = choice.buffer ? choice.buffer : 256;
        // Two periods queued in the device; alsa-lib converts where it must.
        const int refused = snd_pcm_set_params(pcm, SND_PCM_FORMAT_FLOAT, SND_PCM_ACCESS_RW_INTERLEAVED, 2,
                                               rate, 1, static_cast<unsigned>(2000000.0 * frames / rate));
        if (refused < 0) {
            error = "the ALSA device \"" + name + "\" refused " + std::to_string(rate) +
                    " Hz: " + snd_strerror(refused);
            return false;
        }
        return startPlaying(s, choice, error, notes);
    }

    std::string lostText() const override { return "the ALSA device " + name + " went away"; }
    std::string deviceText() const override {
        return "ALSA (" + name + "), " + std::to_string(rate) + " Hz, " + std::to_string(frames) + " frames";
    }
    std::string system() const override { return "alsa"; }
    std::vector<std::string> outputNames() const override {
        std::vector<std::string> names;
        for (const auto& output : outputs()) names.push_back(output.first);
        return names;
    }

private:
    // An underrun is made good at once; a write that still fails is a device gone.
    bool writePeriod(const float* interleaved) override {
        for (snd_pcm_uframes_t done = 0; done < frames && playing();) {
            snd_pcm_sframes_t n = snd_pcm_writei(pcm, interleaved + 2 * done, frames - done);
            if (n < 0) n = snd_pcm_recover(pcm, static_cast<int>(n), 1);
            if (n < 0) return false;
            done += static_cast<snd_pcm_uframes_t>(n);
        }
        return true;
    }

    void closeDevice() override {
        if (pcm) snd_pcm_close(pcm);
        pcm = nullptr;
    }

    snd_pcm_t* pcm = nullptr;
    std::string name;
};

}  // namespace

std::unique_ptr<AudioDriver> makeSystemAudio() { return std::make_unique<AlsaDriver>(); }

void listSystemAudio() {
    SystemMidi::quietenAlsa();
    std::printf("ALSA audio (--audio takes a name):\n");
    for (const auto& [name, description] : outputs()) {
        const std::string first = description.substr(0, description.find('\n'));
        std::printf("  %s%s%s\n", name.c_str(), first.empty() ? "" : "  ", first.c_str());
    }
}
#endif
