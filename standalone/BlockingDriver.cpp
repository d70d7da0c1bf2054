#include "standalone/BlockingDriver.h"

#include "standalone/StandaloneSynth.h"

bool BlockingDriver::acceptMissingDevice(const AudioChoice& choice, const std::string& system, const char* kind,
                                         std::string& error, std::vector<std::string>& notes) {
    if (choice.deviceTyped) {
        error = "no " + system + " " + kind + " named \"" + choice.device + "\" (--list-devices lists them)";
        return false;
    }
    notes.push_back("the saved audio device \"" + choice.device + "\" is not there now: playing through " + system +
                    "'s default");
    return true;
}

bool BlockingDriver::startPlaying(StandaloneSynth& s, const AudioChoice& choice, std::string& error,
                                  std::vector<std::string>& notes) {
    synth = &s;
    synth->start(static_cast<float>(rate), static_cast<int>(frames));
    running.store(true);
    thread = std::thread([this] { play(); });
    return midi.open(s, choice, error, notes);
}

void BlockingDriver::stop() {
    midi.close();
    running.store(false);
    if (thread.joinable()) {
        thread.join();
        synth->stop();
    }
    closeDevice();
}

void BlockingDriver::play() {
    std::vector<float> left(frames), right(frames), both(2 * frames);
    while (running.load()) {
        synth->process(left.data(), right.data(), static_cast<int>(frames), nullptr, 0);
        for (unsigned i = 0; i < frames; ++i) both[2 * i] = left[i], both[2 * i + 1] = right[i];
        if (!writePeriod(both.data())) {
            gone.store(true);
            return;
        }
    }
}
