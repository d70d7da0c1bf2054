// One VST 2 instrument loaded from its library and driven the way a host drives
// it: created through its exported entry point, opened, resumed, fed MIDI and
// asked for audio, its programs, parameters and state reached through the
// dispatcher. Everything goes through the host library's PluginInstance, which
// tells the plug-in that its host is this tool.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "host/PluginInstance.h"
#include "host/PluginLibrary.h"
#include "tools/render/PresetFile.h"

class InstrumentHost {
public:
    // Loads the library, creates and starts an instance; throws ToolError when
    // the library does not load or holds no VST 2 instrument.
    InstrumentHost(const std::string& path, int sampleRate, int maxBlock);
    ~InstrumentHost();
    InstrumentHost(const InstrumentHost&) = delete;
    InstrumentHost& operator=(const InstrumentHost&) = delete;

    int programCount() const;
    int parameterCount() const;
    std::int32_t uniqueId() const;

    std::string programName(int program);  // name of any program in the bank
    std::string parameterName(int index);
    // The parameter's value as the plug-in shows it, with its unit.
    std::string parameterDisplay(int index);
    float parameter(int index);
    void setParameter(int index, float value);
    void setProgram(int program);
    int currentProgram();

    // A program by number or by name (case does not matter); throws ToolError
    // naming the choices when there is no such program.
    int findProgram(const std::string& numberOrName);
    // A parameter by the plug-in's name for it or by index; throws ToolError.
    int findParameter(const std::string& nameOrIndex);

    // State files. Loading throws ToolError when the plug-in refuses the chunk;
    // saving throws when the plug-in keeps no state chunk.
    void loadPreset(const PresetFile& preset, const std::string& fileName);
    void loadBank(const PresetFile& bank, const std::string& fileName);
    PresetFile savePreset();
    PresetFile saveBank();

    // The MIDI messages of the next block.
    void sendMidi(const std::vector<MidiMessage>& messages);
    // Renders frames (at most the maximum block) of the first two outputs; a
    // one-output instrument plays on both.
    void process(float* left, float* right, int frames);

    // The host identity the tool gives: audioMasterGetVendorString,
    // ...ProductString and ...VendorVersion.
    static constexpr const char* kVendor = "Quillfeather";
    static constexpr const char* kProduct = "hammerlyn2-render";
    static int version();

private:
    const AEffect& record() const { return *instance->effect(); }

    std::string path;
    std::unique_ptr<PluginLibrary> library;
    std::unique_ptr<PluginInstance> instance;
};
