// The instrument as a DPF plug-in: every request of the VST3, CLAP and LV2
// hosts is translated into calls of Instrument; a block's MIDI and the
// parameter changes inside it are placed at their frames.
#include "DistrhoPlugin.hpp"

#include <algorithm>
#include <cstring>
#include <string>

#include "instrument/Instrument.h"
#include "SavedState.h"
#include "StateText.h"
#include "TimedChanges.h"

START_NAMESPACE_DISTRHO

static_assert(DISTRHO_PLUGIN_MAX_MIDI_EVENTS <= Instrument::kMaxNoteOnsPerBlock,
              "a block's every note on reaches the sound");

namespace {

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

    // A program chosen on the audio thread (VST3's program parameter, LV2's
    // select_program): never waits (DISTRHO_PLUGIN_REQUEST_PROGRAM).
    void requestProgram(uint32_t index) noexcept { core.requestProgram(static_cast<int>(index)); }
    bool programPending() const noexcept { return core.programPending(); }

    // A VST3 or CLAP state, read and checked whole (DISTRHO_PLUGIN_APPLY_STATE):
    // its bank, after DPF has loaded its program and before its parameters.
    void applyState(const SavedState& saved) {
        if (saved.hasBank) restoreBank(saved.bankProgram, saved.bank);
    }

    // A change at a frame inside the coming block (DISTRHO_PLUGIN_PARAMETER_CHANGE_AT);
    // with no room left it applies at once.
    void parameterChangeAt(uint32_t frame, uint32_t index, float value) noexcept {
        if (!changesInBlock.add(frame, index, value)) core.setParameter(static_cast<int>(index), value);
    }

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
        state.key = SavedState::kBankKey;
        state.label = "Programs";
        state.defaultValue = currentState().c_str();
    }

    float getParameterValue(uint32_t index) const override { return core.parameter(static_cast<int>(index)); }
    void setParameterValue(uint32_t index, float value) override { core.setParameter(static_cast<int>(index), value); }

    void loadProgram(uint32_t index) override { core.selectProgram(static_cast<int>(index)); }

    String getState(const char* key) const override {
        if (std::strcmp(key, SavedState::kBankKey) != 0) return String();
        return String(currentState().c_str());
    }

    void setState(const char* key, const char* value) override {
        if (std::strcmp(key, SavedState::kBankKey) != 0) return;
        int program = 0;
        unsigned char bank[StateText::kBankBytes];
        // Another version, or a damaged text: refused, the sound stays as it is.
        if (SavedState::readBank(value, &program, bank)) restoreBank(program, bank);
    }

    void activate() override {
        core.setSampleRate(static_cast<float>(getSampleRate()));
        core.prepare(static_cast<int>(getBufferSize()));
    }

    void deactivate() override { core.unprepare(); }

    void sampleRateChanged(double newSampleRate) override { core.setSampleRate(static_cast<float>(newSampleRate)); }

    void run(const float**, float** outputs, uint32_t frames, const MidiEvent* midiEvents,
             uint32_t midiEventCount) override {
        // The block in pieces that end at each change's frame; one piece
        // without changes. No frames (a host's call without frames): the
        // events wait for the next block.
        uint32_t start = 0, next = 0;
        for (int c = 0; c <= changesInBlock.size(); ++c) {
            const bool last = c == changesInBlock.size();
            const uint32_t end = last ? frames : std::min(changesInBlock[c].frame, frames);
            if (end > start || last) {
                for (; next < midiEventCount && (last || midiEvents[next].frame < end); ++next)
                    sendMidi(midiEvents[next], start);
                core.render(outputs[0] + start, outputs[1] + start, static_cast<int>(end - start));
                start = end;
            }
            if (!last) core.setParameter(static_cast<int>(changesInBlock[c].index), changesInBlock[c].value);
        }
        changesInBlock.clear();
    }

private:
    // The bank first: the program switch then keeps the restored values.
    void restoreBank(int program, const unsigned char (&bank)[StateText::kBankBytes]) {
        if (core.restoreState(bank, Instrument::kBankStateBytes, false)) core.selectProgram(program);
    }

    // One MIDI event, at its frame from a piece starting at `start`.
    void sendMidi(const MidiEvent& event, uint32_t start) noexcept {
        if (event.size < 1 || event.size > MidiEvent::kDataSize) return;
        const int frame = static_cast<int>(event.frame - std::min(event.frame, start));
        const uint8_t status = event.data[0];
        const uint8_t first = event.size > 1 ? event.data[1] : 0;
        const uint8_t second = event.size > 2 ? event.data[2] : 0;
        // Data bytes beyond 127 are the instrument's to read (it keeps their
        // low seven bits), except a bend's: some hosts turn a full bend into
        // 16384 (a second byte of 128), so the bytes are read whole and the
        // instrument holds the value in range.
        if ((status & 0xF0) == 0xE0)
            core.pitchBend(frame, static_cast<int>(first) | (static_cast<int>(second) << 7));
        else
            core.midiMessage(frame, status, first, second);
    }

    std::string currentState() const {
        const void* data = nullptr;
        const std::int32_t bytes = core.saveState(false, &data);
        return StateText::encode(core.program(), data, static_cast<std::size_t>(bytes));
    }

    // saveState() and programName() only read, but hand out copies kept inside
    // the instrument; DPF asks for state from const methods.
    mutable Instrument core;
    TimedChanges changesInBlock;

    DISTRHO_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR(Hammerlyn2Plugin)
};

Plugin* createPlugin() { return new Hammerlyn2Plugin(); }

END_NAMESPACE_DISTRHO

void hammerlyn2RequestProgram(void* instance, std::uint32_t index) noexcept {
    static_cast<DISTRHO::Hammerlyn2Plugin*>(static_cast<DISTRHO::Plugin*>(instance))->requestProgram(index);
}

bool hammerlyn2ProgramPending(void* instance) noexcept {
    return static_cast<DISTRHO::Hammerlyn2Plugin*>(static_cast<DISTRHO::Plugin*>(instance))->programPending();
}

void hammerlyn2ParameterChangeAt(void* instance, std::uint32_t frame, std::uint32_t index, float value) noexcept {
    static_cast<DISTRHO::Hammerlyn2Plugin*>(static_cast<DISTRHO::Plugin*>(instance))->parameterChangeAt(frame, index, value);
}

void hammerlyn2ApplyState(void* instance, const SavedState& saved) {
    static_cast<DISTRHO::Hammerlyn2Plugin*>(static_cast<DISTRHO::Plugin*>(instance))->applyState(saved);
}
