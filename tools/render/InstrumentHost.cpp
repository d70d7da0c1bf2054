#include "tools/render/InstrumentHost.h"

#include <charconv>
#include <cstring>

#include "Hammerlyn2Version.h"
#include "plugin/PluginIdentity.h"
#include "tools/render/ToolError.h"

namespace {

std::string lowered(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
}

std::string trimmed(const std::string& text) {
    const std::size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

// A whole number in 0..limit-1, or -1 when the text is not a number.
int indexIn(const std::string& text, int limit, bool& isNumber) {
    int value = -1;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    isNumber = !text.empty() && result.ec == std::errc() && result.ptr == text.data() + text.size();
    return isNumber && value >= 0 && value < limit ? value : -1;
}

// The plug-in this tool is built with: it answers a refused state chunk with 0
// and an accepted one with its size. The VST 2 interface leaves that answer to
// each plug-in, and many return 0 either way, so it is trusted only here.
constexpr std::int32_t kOwnInstrumentId = PluginIdentity::kUniqueId;

}  // namespace

// The version the tool tells plug-ins (audioMasterGetVendorVersion), in the VST 2 form.
int InstrumentHost::version() { return HAMMERLYN2_VERSION_VST2; }

InstrumentHost::InstrumentHost(const std::string& path, int sampleRate, int maxBlock) : path(path) {
    library = std::make_unique<PluginLibrary>(path);
    if (!library->loaded()) throw ToolError("cannot load plug-in " + path + ": " + library->error());
    HostOptions options;
    options.sampleRate = static_cast<float>(sampleRate);
    options.blockSize = maxBlock;
    options.vendor = kVendor;
    options.product = kProduct;
    options.vendorVersion = version();
    instance = PluginInstance::create(library->entry(), options);
    if (!instance) throw ToolError(path + ": the plug-in did not create a VST 2 effect record");
    instance->dispatch(effOpen);  // before any other request, as hosts do

    const AEffect& effect = record();
    const bool synth = (effect.flags & effFlagsIsSynth) != 0 || instance->dispatch(effGetPlugCategory) == kPlugCategSynth;
    if (!synth) throw ToolError(path + " is not an instrument (it does not declare itself a synth)");
    if ((effect.flags & effFlagsCanReplacing) == 0 || !effect.processReplacing)
        throw ToolError(path + ": the plug-in does not offer 32-bit processReplacing");
    if (effect.numOutputs < 1) throw ToolError(path + ": the plug-in has no audio outputs");

    instance->setSampleRate(static_cast<float>(sampleRate));
    instance->setBlockSize(maxBlock);
    instance->resume();
    instance->dispatch(effStartProcess);
}

InstrumentHost::~InstrumentHost() {
    if (!instance) return;
    instance->dispatch(effStopProcess);
    instance->suspend();
    instance->close();
}

int InstrumentHost::programCount() const { return record().numPrograms; }

int InstrumentHost::parameterCount() const { return record().numParams; }

std::int32_t InstrumentHost::uniqueId() const { return record().uniqueID; }

std::string InstrumentHost::programName(int program) {
    char text[256] = {};
    if (instance->dispatch(effGetProgramNameIndexed, program, -1, text) != 0) return text;
    // Without the indexed request the only way is to visit the program.
    const int current = currentProgram();
    if (program == current) return instance->programName();
    instance->setProgram(program);
    const std::string name = instance->programName();
    instance->setProgram(current);
    return name;
}

std::string InstrumentHost::parameterName(int index) { return instance->parameterText(effGetParamName, index); }

std::string InstrumentHost::parameterDisplay(int index) {
    const std::string value = trimmed(instance->parameterText(effGetParamDisplay, index));
    const std::string unit = trimmed(instance->parameterText(effGetParamLabel, index));
    return unit.empty() ? value : value + " " + unit;
}

float InstrumentHost::parameter(int index) { return instance->getParameter(index); }

void InstrumentHost::setParameter(int index, float value) { instance->setParameter(index, value); }

void InstrumentHost::setProgram(int program) { instance->setProgram(program); }

int InstrumentHost::currentProgram() { return instance->program(); }

int InstrumentHost::findProgram(const std::string& numberOrName) {
    const int count = programCount();
    bool isNumber = false;
    const int index = indexIn(numberOrName, count, isNumber);
    if (isNumber) {
        if (index < 0)
            throw ToolError("no program " + numberOrName + ": the plug-in has " + std::to_string(count) +
                            (count > 0 ? " (0 to " + std::to_string(count - 1) + ")" : ""));
        return index;
    }
    const std::string wanted = lowered(trimmed(numberOrName));
    for (int i = 0; i < count; ++i)
        if (lowered(trimmed(programName(i))) == wanted) return i;
    throw ToolError("no program named '" + numberOrName + "' (see --list-programs)");
}

int InstrumentHost::findParameter(const std::string& nameOrIndex) {
    const int count = parameterCount();
    bool isNumber = false;
    const int index = indexIn(nameOrIndex, count, isNumber);
    if (isNumber) {
        if (index < 0) throw ToolError("no parameter " + nameOrIndex + ": the plug-in has " + std::to_string(count));
        return index;
    }
    const std::string wanted = lowered(trimmed(nameOrIndex));
    for (int i = 0; i < count; ++i)
        if (lowered(trimmed(parameterName(i))) == wanted) return i;
    throw ToolError("unknown parameter '" + nameOrIndex + "' (see --list-params)");
}

void InstrumentHost::loadPreset(const PresetFile& preset, const std::string& fileName) {
    if ((record().flags & effFlagsProgramChunks) == 0)
        throw ToolError(fileName + ": this plug-in keeps no state chunk, so chunk presets cannot be loaded");
    // A preset holds one program. Some plug-ins take any state block they are
    // handed, a whole bank's too, when told it is a preset: the file's block is
    // compared with the plug-in's own preset block first. Ours has one size;
    // others may vary in size, so for them only a bank-sized block is refused.
    const std::size_t own = instance->getChunk(true).size();
    const std::size_t size = preset.chunk.size();
    if (own != 0 && size != own &&
        (record().uniqueID == kOwnInstrumentId || size == instance->getChunk(false).size()))
        throw ToolError(fileName + ": its " + std::to_string(size) + "-byte state is not one program (this plug-in's " +
                        "presets hold " + std::to_string(own) + " bytes)");
    const VstIntPtr accepted = instance->setChunk(preset.chunk, true);
    if (accepted == 0 && record().uniqueID == kOwnInstrumentId)
        throw ToolError(fileName + ": the plug-in refused the preset's " + std::to_string(preset.chunk.size()) +
                        "-byte state");
    // A preset names the program it was saved from; the program it lands in takes that name.
    if (!preset.programName.empty()) {
        char name[kVstMaxProgNameLen + 1] = {};
        std::strncpy(name, preset.programName.c_str(), kVstMaxProgNameLen);
        instance->dispatch(effSetProgramName, 0, 0, name);
    }
}

void InstrumentHost::loadBank(const PresetFile& bank, const std::string& fileName) {
    if ((record().flags & effFlagsProgramChunks) == 0)
        throw ToolError(fileName + ": this plug-in keeps no state chunk, so chunk banks cannot be loaded");
    const VstIntPtr accepted = instance->setChunk(bank.chunk, false);
    if (accepted == 0 && record().uniqueID == kOwnInstrumentId)
        throw ToolError(fileName + ": the plug-in refused the bank's " + std::to_string(bank.chunk.size()) +
                        "-byte state");
    if (bank.currentProgram >= 0 && bank.currentProgram < programCount()) setProgram(bank.currentProgram);
}

PresetFile InstrumentHost::savePreset() {
    if ((record().flags & effFlagsProgramChunks) == 0)
        throw ToolError(path + ": the plug-in keeps no state chunk, so it cannot be saved as a chunk preset");
    PresetFile preset;
    preset.kind = PresetFile::Kind::Preset;
    preset.pluginId = record().uniqueID;
    preset.pluginVersion = record().version;
    preset.count = record().numParams;
    preset.programName = instance->programName();
    preset.chunk = instance->getChunk(true);
    if (preset.chunk.empty()) throw ToolError(path + ": the plug-in handed over no preset state");
    return preset;
}

PresetFile InstrumentHost::saveBank() {
    if ((record().flags & effFlagsProgramChunks) == 0)
        throw ToolError(path + ": the plug-in keeps no state chunk, so it cannot be saved as a chunk bank");
    PresetFile bank;
    bank.kind = PresetFile::Kind::Bank;
    bank.pluginId = record().uniqueID;
    bank.pluginVersion = record().version;
    bank.count = record().numPrograms;
    bank.currentProgram = currentProgram();
    bank.chunk = instance->getChunk(false);
    if (bank.chunk.empty()) throw ToolError(path + ": the plug-in handed over no bank state");
    return bank;
}

void InstrumentHost::sendMidi(const std::vector<MidiMessage>& messages) {
    if (!messages.empty()) instance->sendMidi(messages);
}

void InstrumentHost::process(float* left, float* right, int frames) {
    // Cleared first for plug-ins that add to their outputs instead of replacing.
    std::memset(left, 0, sizeof(float) * static_cast<std::size_t>(frames));
    std::memset(right, 0, sizeof(float) * static_cast<std::size_t>(frames));
    instance->process(left, right, frames);
}
