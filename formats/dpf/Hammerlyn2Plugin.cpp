// The instrument as a DPF plug-in: every request of the VST3, CLAP and LV2
// hosts is translated into a call of Instrument, and nothing else happens here.
#include "DistrhoPlugin.hpp"

#include <algorithm>
#include <cstring>
#include <string>

#include "instrument/Instrument.h"
#include "StateText.h"

START_NAMESPACE_DISTRHO

namespace {

// The state key under which the bank travels; part of every saved song.
constexpr const char* kStateKey = "bank";

// A bank text this instrument takes whole: its own version, a program 0..7 and
// a bank the instrument accepts. False, with nothing written, for anything else.
bool readBank(const char* text, int* program, unsigned char (&bank)[StateText::kBankBytes]) {
    int read = 0;
    unsigned char incoming[StateText::kBankBytes];
    if (!StateText::decode(text, &read, incoming) ||
        !Instrument::acceptsState(incoming, Instrument::kBankStateBytes, false))
        return false;
    std::memcpy(bank, incoming, sizeof(incoming));
    *program = read;
    return true;
}

// What each knob position means, for LV2 hosts, which show no value texts.
const char* describeUnit(ParameterUnit unit) {
    switch (unit) {
    case ParameterUnit::Decibel: return "Knob position 0..1: -18 dB at 0, 0 dB at 0.5, +18 dB at 1";
    case ParameterUnit::AttackTime: return "Knob position 0..1: 0.6 ms at 0 to 0.6 s at 1";
    case ParameterUnit::DecayTime: return "Knob position 0..1: 1.2 ms at 0 to 6 s at 1";
    case ParameterUnit::Percent:
    default: return "Knob position 0..1: 0 % to 100 %";
    }
}

}  // namespace

class Hammerlyn2Plugin : public Plugin {
public:
    Hammerlyn2Plugin() : Plugin(kParameterCount, Instrument::kProgramCount, 1) {
        core.setSampleRate(static_cast<float>(getSampleRate()));
    }

    // loadProgram from the audio thread: never waits (DISTRHO_PLUGIN_TRY_LOAD_PROGRAM).
    bool tryLoadProgram(uint32_t index) noexcept { return core.trySelectProgram(static_cast<int>(index)); }

protected:
    const char* getLabel() const override { return "Hammerlyn2"; }
    const char* getDescription() const override { return "Polyphonic instrument of struck and plucked strings"; }
    const char* getMaker() const override { return DISTRHO_PLUGIN_BRAND; }
    const char* getLicense() const override { return "ISC"; }
    uint32_t getVersion() const override {
        return d_version(HAMMERLYN2_VERSION_MAJOR, HAMMERLYN2_VERSION_MINOR, HAMMERLYN2_VERSION_MICRO);
    }
    int64_t getUniqueId() const override { return HAMMERLYN2_DPF_UNIQUE_ID; }

    void initAudioPort(bool input, uint32_t index, AudioPort& port) override {
        port.groupId = kPortGroupStereo;
        Plugin::initAudioPort(input, index, port);
    }

    void initParameter(uint32_t index, Parameter& parameter) override {
        const ParameterIdentity* info = parameterInfo(static_cast<int>(index));
        if (!info) return;
        parameter.hints = kParameterIsAutomatable;
        parameter.name = info->name;
        parameter.shortName = info->name;
        // The symbol names the value in saved songs and LV2 ports: fixed in the table.
        parameter.symbol = kParameterIdentities[index].symbol;
        // Units travel in the value texts (VST3 and CLAP); an LV2 port holds the
        // knob position, which has no unit, and its description says what it means.
        parameter.unit = "";
        parameter.description = describeUnit(info->unit);
        parameter.ranges.min = 0.0f;
        parameter.ranges.max = 1.0f;
        // Program 0, which a new instance starts with.
        parameter.ranges.def = core.parameter(static_cast<int>(index));
    }

    void initProgramName(uint32_t index, String& programName) override {
        char name[Instrument::kProgramNameLength + 1] = {};
        core.programName(static_cast<int>(index), name);
        programName = name;
    }

    void initState(uint32_t index, State& state) override {
        if (index != 0) return;
        state.hints = kStateIsOnlyForDSP;
        state.key = kStateKey;
        state.label = "Programs";
        state.defaultValue = currentState().c_str();
    }

    float getParameterValue(uint32_t index) const override { return core.parameter(static_cast<int>(index)); }
    void setParameterValue(uint32_t index, float value) override { core.setParameter(static_cast<int>(index), value); }

    void loadProgram(uint32_t index) override { core.selectProgram(static_cast<int>(index)); }

    String getState(const char* key) const override {
        if (std::strcmp(key, kStateKey) != 0) return String();
        return String(currentState().c_str());
    }

    void setState(const char* key, const char* value) override {
        if (std::strcmp(key, kStateKey) != 0) return;
        int program = 0;
        unsigned char bank[StateText::kBankBytes];
        // Another version, or a damaged text: refused, the sound stays as it is
        // (VST3 and CLAP hosts have asked hammerlyn2StateIsValid() before).
        if (!readBank(value, &program, bank)) return;
        // The bank first: the program switch then keeps the restored values.
        if (core.restoreState(bank, Instrument::kBankStateBytes, false)) core.selectProgram(program);
    }

    void activate() override {
        core.setSampleRate(static_cast<float>(getSampleRate()));
        core.prepare(static_cast<int>(getBufferSize()));
    }

    void deactivate() override { core.unprepare(); }

    void sampleRateChanged(double newSampleRate) override { core.setSampleRate(static_cast<float>(newSampleRate)); }

    void run(const float**, float** outputs, uint32_t frames, const MidiEvent* midiEvents,
             uint32_t midiEventCount) override {
        for (uint32_t i = 0; i < midiEventCount; ++i) {
            const MidiEvent& event = midiEvents[i];
            if (event.size < 1 || event.size > MidiEvent::kDataSize) continue;
            const int frame = static_cast<int>(event.frame);
            const uint8_t status = event.data[0];
            const uint8_t first = event.size > 1 ? event.data[1] : 0;
            const uint8_t second = event.size > 2 ? event.data[2] : 0;
            // A note's key is 0..127: a byte beyond is no other key (the
            // instrument would keep its low seven bits).
            const bool note = (status & 0xE0) == 0x80 || (status & 0xF0) == 0xA0;
            if (note && first > 127) continue;
            if ((status & 0xF0) == 0xE0) {
                // Some hosts turn a full bend into 16384 (a second byte of 128):
                // read the bytes whole and let the instrument hold the value in range.
                core.pitchBend(frame, static_cast<int>(first) | (static_cast<int>(second) << 7));
                continue;
            }
            core.midiMessage(frame, status, first, second);
        }
        core.render(outputs[0], outputs[1], static_cast<int>(frames));
    }

private:
    std::string currentState() const {
        const void* data = nullptr;
        const std::int32_t bytes = core.saveState(false, &data);
        return StateText::encode(core.program(), data, static_cast<std::size_t>(bytes));
    }

    // saveState() and programName() only read, but hand out copies kept inside
    // the instrument; DPF asks for state from const methods.
    mutable Instrument core;

    DISTRHO_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR(Hammerlyn2Plugin)
};

Plugin* createPlugin() { return new Hammerlyn2Plugin(); }

END_NAMESPACE_DISTRHO

bool hammerlyn2TryLoadProgram(void* instance, std::uint32_t index) noexcept {
    return static_cast<DISTRHO::Hammerlyn2Plugin*>(static_cast<DISTRHO::Plugin*>(instance))->tryLoadProgram(index);
}

bool hammerlyn2StateIsValid(const char* key, const char* value) noexcept {
    if (!key || std::strcmp(key, DISTRHO::kStateKey) != 0) return true;
    int program = 0;
    unsigned char bank[StateText::kBankBytes];
    return DISTRHO::readBank(value, &program, bank);
}
