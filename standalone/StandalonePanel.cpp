#include "standalone/StandalonePanel.h"

#include <algorithm>
#include <cstdio>
#include <utility>

#include "editor/panel/MyGui.h"
#include "instrument/ParameterTable.h"
#include "standalone/AudioDriver.h"
#include "standalone/StandaloneSynth.h"

StandalonePanel::StandalonePanel(StandaloneSynth& synth, AudioDriver& driver,
                                 std::atomic<bool>& closeRequested)
    : driver(&driver), synth(synth), core(synth.instrument()), closeRequested(closeRequested) {}

std::string StandalonePanel::windowTitle(Instrument& core) {
    char name[Instrument::kProgramNameLength + 1] = {};
    core.programName(core.program(), name);
    return std::string("Hammerlyn2 - ") + name;
}

float StandalonePanel::parameterValue(int index) { return core.parameter(index); }
void StandalonePanel::parameterName(int index, char* text) { formatParameterName(index, text); }
void StandalonePanel::parameterDisplay(int index, char* text) {
    formatParameterDisplay(index, core.parameter(index), text);
}
void StandalonePanel::parameterLabel(int index, char* text) {
    formatParameterLabel(index, core.parameter(index), text);
}
void StandalonePanel::changeParameter(int index, float value) { core.setParameter(index, value); }
int StandalonePanel::programCount() { return Instrument::kProgramCount; }
void StandalonePanel::programName(int index, char* text) {
    char name[Instrument::kProgramNameLength + 1] = {};
    core.programName(index, name);
    std::snprintf(text, kProgramNameBytes, "%s", name);
}
int StandalonePanel::currentProgram() { return core.program(); }
void StandalonePanel::selectProgram(int index) {
    core.selectProgram(index);
    if (gui) gui->updateAllParameters(), gui->redrawDirty();
}

void StandalonePanel::panelKey(int key, bool down) {
    const NoteKeys::Action action = down ? keys.press(key) : keys.release(key);
    if (action.kind == NoteKeys::Action::NoteOn)
        synth.post(0x90, static_cast<unsigned char>(action.note),
                   static_cast<unsigned char>(action.velocity));
    else if (action.kind == NoteKeys::Action::NoteOff)
        synth.post(0x80, static_cast<unsigned char>(action.note), 64);
}

void StandalonePanel::panelKeysLost() {
    keys.releaseAll([this](int note) { synth.post(0x80, static_cast<unsigned char>(note), 64); });
}

int StandalonePanel::infoLineCount() {
    lines.clear();
    lines.push_back({Line::Info, "", "Audio: " + driver->deviceText()});
    constexpr std::size_t kMost = 8;  // of each, a menu that fits the screen
    const std::vector<std::string> outputs = driver->outputNames();
    for (std::size_t i = 0; i < outputs.size() && i < kMost; ++i)
        lines.push_back({Line::Output, outputs[i], "Play through " + outputs[i]});
    const std::vector<std::string> connected = driver->midiTexts(), sources = driver->midiSourceNames();
    for (std::size_t i = 0; i < sources.size() && i < kMost; ++i) {
        const bool on =
            std::find(connected.begin(), connected.end(), "MIDI " + sources[i]) != connected.end();
        lines.push_back({Line::Midi, sources[i], (on ? "MIDI on: " : "MIDI off: ") + sources[i]});
    }
    if (sources.empty()) lines.push_back({Line::Info, "", "MIDI: none"});
    return static_cast<int>(lines.size());
}

void StandalonePanel::infoLine(int index, char* text) {
    const bool listed = index >= 0 && index < static_cast<int>(lines.size());
    std::snprintf(text, kInfoBytes, "%s", listed ? lines[static_cast<std::size_t>(index)].text.c_str() : "");
}

void StandalonePanel::chooseInfoLine(int index) {
    if (index >= 0 && index < static_cast<int>(lines.size()) &&
        lines[static_cast<std::size_t>(index)].kind != Line::Info)
        request = lines[static_cast<std::size_t>(index)];
}

std::optional<StandalonePanel::Line> StandalonePanel::takeRequest() {
    return std::exchange(request, std::nullopt);
}
