#include "plugin/VSTPlug.h"

#include <cstddef>
#include <cstring>

#include "editor/interface/AEffEditor.h"
#include "plugin/PluginIdentity.h"

namespace {

// Copies a text with the given bound: the text, zeros up to the bound, and one
// more zero at the bound.
void copyBounded(char* destination, const char* text, std::size_t bound) {
    std::strncpy(destination, text, bound);
    destination[bound] = 0;
}

}  // namespace

static_assert(Instrument::kProgramNameLength == kVstMaxProgNameLen, "program names fit the host's buffer");
static_assert(kParameterTextBytes == kVstMaxParamStrLen + 1, "parameter texts fit the host's buffer");
static_assert(Instrument::kProgramNameLength < EditorHost::kProgramNameBytes, "program names fit the editor's buffer");
static_assert(sizeof(EditorRect) == sizeof(ERect) && offsetof(EditorRect, right) == offsetof(ERect, right),
              "the editor's rectangle has the host's layout");

VSTPlug::VSTPlug(audioMasterCallback audioMaster) : AudioEffectX(audioMaster, kNumPrograms, kNumParams) {
    isSynth(true);
    programsAreChunks(true);
    canProcessReplacing(true);
    setNumInputs(0);
    setNumOutputs(2);
    setUniqueID(PluginIdentity::kUniqueId);
    cEffect.version = PluginIdentity::kEffectVersion;
    curProgram = core.program();
    sampleRate = core.sampleRate();
}

VSTPlug::~VSTPlug() {
    // The editor goes while the instrument it shows still exists.
    delete editor;
    setEditor(nullptr);
}

void VSTPlug::suspend() { core.unprepare(); }

void VSTPlug::resume() {
    // Out of memory: stay suspended (blocks then render silence).
    if (core.prepare(blockSize)) AudioEffectX::resume();
}

void VSTPlug::setSampleRate(float rate) {
    if (core.setSampleRate(rate)) sampleRate = rate;
}

void VSTPlug::setBlockSize(VstInt32 size) {
    if (size >= 1) blockSize = size;
}

void VSTPlug::processReplacing(float** /*inputs*/, float** outputs, VstInt32 frames) {
    if (frames <= 0 || !outputs) return;
    core.render(outputs[0], outputs[1], frames);
}

VstInt32 VSTPlug::processEvents(VstEvents* events) {
    if (!events) return 1;
    // The record declares two entries, but the host's pointer list runs on for
    // numEvents of them: index it from its address, not as the declared array.
    const auto* list = reinterpret_cast<VstEvent* const*>(reinterpret_cast<const char*>(events) +
                                                          offsetof(VstEvents, events));
    for (VstInt32 i = 0; i < events->numEvents; ++i) {
        const VstEvent* event = list[i];
        if (!event || event->type != kVstMidiType) continue;
        const auto* midi = reinterpret_cast<const VstMidiEvent*>(event);
        core.midiMessage(midi->deltaFrames, static_cast<unsigned char>(midi->midiData[0]),
                         static_cast<unsigned char>(midi->midiData[1]),
                         static_cast<unsigned char>(midi->midiData[2]));
    }
    return 1;
}

void VSTPlug::setParameter(VstInt32 index, float value) {
    if (core.setParameter(index, value) && editor) {
        editor->updateParameter(index, core.parameter(index));
        editor->redrawDirty();
    }
}

float VSTPlug::getParameter(VstInt32 index) { return core.parameter(index); }

void VSTPlug::setProgram(VstInt32 program) {
    if (!core.selectProgram(program)) return;
    curProgram = program;
    if (editor) {
        editor->updateAllParameters();
        editor->redrawDirty();
    }
}

void VSTPlug::setProgramName(char* name) { core.renameProgram(name); }

void VSTPlug::getProgramName(char* name) { core.programName(core.program(), name); }

bool VSTPlug::getProgramNameIndexed(VstInt32 /*category*/, VstInt32 index, char* text) {
    if (core.programName(index, text)) return true;
    text[0] = 0;
    return false;
}

void VSTPlug::programName(int index, char* text) {
    if (!core.programName(index, text)) text[0] = 0;
}

VstIntPtr VSTPlug::vendorSpecific(VstInt32 index, VstIntPtr value, void* ptr, float opt) {
    if (index == fourCharCode('P', 'r', 'e', 'S') && value == fourCharCode('A', 'e', 'C', 's')) {
        if (editor) editor->setScaleRequest(opt);
        return 1;
    }
    return AudioEffectX::vendorSpecific(index, value, ptr, opt);
}

void VSTPlug::getParameterLabel(VstInt32 index, char* label) {
    formatParameterLabel(index, getParameter(index), label);
}

void VSTPlug::getParameterDisplay(VstInt32 index, char* text) {
    formatParameterDisplay(index, getParameter(index), text);
}

void VSTPlug::getParameterName(VstInt32 index, char* text) { formatParameterName(index, text); }

VstInt32 VSTPlug::getChunk(void** data, bool isPreset) {
    const void* state = nullptr;
    const VstInt32 bytes = core.saveState(isPreset, &state);
    *data = const_cast<void*>(state);
    return bytes;
}

VstInt32 VSTPlug::setChunk(void* data, VstInt32 byteSize, bool isPreset) {
    if (!core.restoreState(data, byteSize, isPreset)) {
        updateDisplay();
        return 0;
    }
    if (editor) editor->updateAllParameters();
    return byteSize;
}

bool VSTPlug::getEffectName(char* name) {
    copyBounded(name, PluginIdentity::kEffectName, kVstMaxEffectNameLen);
    return true;
}

bool VSTPlug::getVendorString(char* text) {
    copyBounded(text, PluginIdentity::kVendor, kVstMaxVendorStrLen);
    return true;
}

bool VSTPlug::getProductString(char* text) {
    copyBounded(text, PluginIdentity::kProduct, kVstMaxProductStrLen);
    return true;
}

VstInt32 VSTPlug::getVendorVersion() { return PluginIdentity::kVendorVersion; }

VstInt32 VSTPlug::canDo(char* text) {
    if (!text) return -1;
    static const char* const kCanDo[] = {"receiveVstEvents", "receiveVstMidiEvent", "receiveVstTimeInfo"};
    for (const char* capability : kCanDo)
        if (std::strcmp(text, capability) == 0) return 1;
    return -1;
}
