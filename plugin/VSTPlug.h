// The plug-in object: one per host instance. It translates the VST 2 host's
// requests, events, programs and state blocks into calls of the instrument it
// owns, and keeps the editor (if any) in step with changes the host makes.
#pragma once

#include "instrument/Instrument.h"
#include "plugin/AudioEffectX.h"

class VSTPlug : public AudioEffectX {
public:
    static constexpr int kNumPrograms = Instrument::kProgramCount;
    static constexpr int kNumParams = kParameterCount;

    explicit VSTPlug(audioMasterCallback audioMaster);
    ~VSTPlug() override;

    // Lifecycle and audio.
    void suspend() override;
    void resume() override;
    void setSampleRate(float rate) override;
    void setBlockSize(VstInt32 size) override;
    void processReplacing(float** inputs, float** outputs, VstInt32 frames) override;

    // MIDI.
    VstInt32 processEvents(VstEvents* events) override;

    // Parameters, programs and saved state.
    void setParameter(VstInt32 index, float value) override;
    float getParameter(VstInt32 index) override;
    void setProgram(VstInt32 program) override;
    void setProgramName(char* name) override;
    void getProgramName(char* name) override;
    void getParameterLabel(VstInt32 index, char* label) override;
    void getParameterDisplay(VstInt32 index, char* text) override;
    void getParameterName(VstInt32 index, char* text) override;
    VstInt32 getChunk(void** data, bool isPreset) override;
    VstInt32 setChunk(void* data, VstInt32 byteSize, bool isPreset) override;
    bool canParameterBeAutomated(VstInt32) override { return true; }
    bool getProgramNameIndexed(VstInt32 category, VstInt32 index, char* text) override;
    void programName(int index, char* text) override;
    // The host's content scale for the editor ('PreS' 'AeCs', the factor in opt).
    VstIntPtr vendorSpecific(VstInt32 index, VstIntPtr value, void* ptr, float opt) override;

    // Identity.
    bool getEffectName(char* name) override;
    bool getVendorString(char* text) override;
    bool getProductString(char* text) override;
    VstInt32 getVendorVersion() override;
    VstInt32 canDo(char* text) override;

    // For tests and tools inside the process.
    Instrument& instrument() noexcept { return core; }

private:
    Instrument core;
};
