// One plug-in instance driven from outside through its effect record, exactly as
// a host drives it: requests through the dispatcher, audio through
// processReplacing, parameters through the record's entries. Every call the
// plug-in makes back to the host is answered and recorded.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "host/PluginLibrary.h"

// One call the plug-in made to the host.
struct HostCall {
    VstInt32 opcode;
    VstInt32 index;
    VstIntPtr value;
    float opt;
};

// One short MIDI message placed at a frame of the coming block.
struct MidiMessage {
    VstInt32 deltaFrames;
    unsigned char status;
    unsigned char data1;
    unsigned char data2;
};

struct HostOptions {
    VstIntPtr versionAnswer = 2400;  // what audioMasterVersion answers; 0 refuses
    float sampleRate = 44100.0f;
    VstInt32 blockSize = 512;
    // Who the host says it is: audioMasterGetVendorString, audioMasterGetProductString
    // (each cut to the 63 characters the plug-in's buffer holds) and
    // audioMasterGetVendorVersion.
    std::string vendor = "Hammerlyn2";
    std::string product = "Test host";
    VstInt32 vendorVersion = 0;
};

class PluginInstance {
public:
    // Calls the entry point; null when the plug-in refuses (or fails) to create an instance.
    static std::unique_ptr<PluginInstance> create(VstPluginMainProc entry, const HostOptions& options = {});
    ~PluginInstance();  // closes the instance if still open
    PluginInstance(const PluginInstance&) = delete;
    PluginInstance& operator=(const PluginInstance&) = delete;

    AEffect* effect() const { return aeffect; }
    VstIntPtr dispatch(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr,
                       float opt = 0.0f);

    // The usual start-up: open, sample rate, block size, resume.
    void start(float sampleRate, VstInt32 blockSize);
    void setSampleRate(float rate);
    void setBlockSize(VstInt32 frames);
    void resume();
    void suspend();
    VstIntPtr close();  // effClose; the record is invalid afterwards

    void setParameter(VstInt32 index, float value);
    float getParameter(VstInt32 index);
    std::string parameterText(VstInt32 opcode, VstInt32 index);  // effGetParamName/Display/Label
    std::string programName();
    void setProgram(VstInt32 program);
    VstInt32 program();

    std::vector<unsigned char> getChunk(bool preset);
    VstIntPtr setChunk(const std::vector<unsigned char>& data, bool preset);

    // Sends the events of the coming block (effProcessEvents). The list has
    // room for every pointer, however many beyond the two entries the record
    // declares, and stays valid until the next call.
    VstIntPtr sendMidi(const std::vector<MidiMessage>& messages);
    // Renders frames of the first two outputs into the given channels, as they
    // are (nothing is cleared first). Inputs the plug-in declares get silence,
    // outputs beyond two go to buffers of the instance's own, and a one-output
    // plug-in plays on both channels.
    void process(float* left, float* right, VstInt32 frames);
    // Renders frames into internal buffers, readable through left() and right().
    void process(VstInt32 frames);
    const std::vector<float>& left() const { return outLeft; }
    const std::vector<float>& right() const { return outRight; }

    std::vector<HostCall> calls() const;
    void clearCalls();

    static VstIntPtr VSTCALLBACK hostCallback(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value,
                                              void* ptr, float opt);

private:
    explicit PluginInstance(const HostOptions& options) : options(options) {}
    VstIntPtr answer(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt);

    HostOptions options;
    AEffect* aeffect = nullptr;
    mutable std::mutex callsMutex;
    std::vector<HostCall> recorded;
    std::vector<float> outLeft, outRight;
    std::vector<unsigned char> eventStorage;
    std::vector<float> silence, spare;  // declared inputs, outputs beyond two
    std::vector<float*> inputPointers, outputPointers;
};
