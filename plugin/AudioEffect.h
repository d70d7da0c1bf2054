// Base of every plug-in object: owns the effect record the host holds, turns the
// record's entry functions into virtual operations with default answers, and
// wraps the calls the plug-in makes back into the host. It is also what the
// editor sees of the plug-in.
#pragma once

#include "editor/interface/EditorHost.h"
#include "plugin/VstAbi.h"

class AEffEditor;

class AudioEffect : public EditorHost {
public:
    AudioEffect(audioMasterCallback audioMaster, VstInt32 numPrograms, VstInt32 numParams);
    virtual ~AudioEffect();
    AudioEffect(const AudioEffect&) = delete;
    AudioEffect& operator=(const AudioEffect&) = delete;

    // Handles the requests 0 to 24; every other opcode answers 0.
    virtual VstIntPtr dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt);

    virtual void open() {}
    virtual void close() {}
    virtual void suspend() {}
    virtual void resume() {}
    virtual void setSampleRate(float rate) { sampleRate = rate; }
    virtual void setBlockSize(VstInt32 size) { blockSize = size; }
    virtual void processReplacing(float** inputs, float** outputs, VstInt32 frames) = 0;
    virtual void processDoubleReplacing(double**, double**, VstInt32) {}

    virtual void setParameter(VstInt32, float) {}
    virtual float getParameter(VstInt32) { return 0.0f; }
    // Sets a parameter and tells the host, so that it can record the change.
    virtual void setParameterAutomated(VstInt32 index, float value);

    virtual VstInt32 getProgram() { return curProgram; }
    virtual void setProgram(VstInt32 program) { curProgram = program; }
    virtual void setProgramName(char*) {}
    virtual void getProgramName(char* name) {
        if (name) *name = 0;
    }
    virtual void getParameterLabel(VstInt32, char* label) {
        if (label) *label = 0;
    }
    virtual void getParameterDisplay(VstInt32, char* text) {
        if (text) *text = 0;
    }
    virtual void getParameterName(VstInt32, char* text) {
        if (text) *text = 0;
    }
    virtual VstInt32 getChunk(void**, bool) { return 0; }
    virtual VstInt32 setChunk(void*, VstInt32, bool) { return 0; }

    virtual void setUniqueID(VstInt32 id) { cEffect.uniqueID = id; }
    virtual void setNumInputs(VstInt32 n) { cEffect.numInputs = n; }
    virtual void setNumOutputs(VstInt32 n) { cEffect.numOutputs = n; }
    virtual void canProcessReplacing(bool state) { setFlag(effFlagsCanReplacing, state); }
    virtual void canDoubleReplacing(bool state) { setFlag(effFlagsCanDoubleReplacing, state); }
    virtual void programsAreChunks(bool state) { setFlag(effFlagsProgramChunks, state); }
    virtual void setInitialDelay(VstInt32 delay) { cEffect.initialDelay = delay; }

    virtual AEffEditor* getEditor() { return editor; }
    virtual AEffect* getAeffect() { return &cEffect; }
    virtual float getSampleRate() { return sampleRate; }
    virtual VstInt32 getBlockSize() { return blockSize; }
    virtual VstInt32 getMasterVersion();
    virtual VstInt32 getCurrentUniqueId();
    virtual void masterIdle();

    // The accumulating process of old hosts; this plug-in only replaces.
    virtual void process(float**, float**, VstInt32) {}

    // Attaches the editor (owned from now on) and keeps effFlagsHasEditor in step.
    void setEditor(AEffEditor* newEditor);

    // What the editor reaches: parameters and their texts, the user's changes
    // (set and reported to the host), gestures and window size requests.
    float parameterValue(int index) override { return getParameter(index); }
    void parameterName(int index, char* text) override { getParameterName(index, text); }
    void parameterDisplay(int index, char* text) override { getParameterDisplay(index, text); }
    void parameterLabel(int index, char* text) override { getParameterLabel(index, text); }
    void changeParameter(int index, float value) override { setParameterAutomated(index, value); }
    void beginGesture(int index) override;
    void endGesture(int index) override;
    bool resizeEditor(int width, int height) override;
    // The editor's program list: a choice loads the program as the host's own
    // program change does, then the host is told to show it.
    int programCount() override { return numPrograms; }
    int currentProgram() override { return getProgram(); }
    void selectProgram(int index) override;

    // Record entries: the host calls these through the effect record.
    HOST_ENTRY static VstIntPtr VSTCALLBACK dispatchEffect(AEffect* e, VstInt32 opcode, VstInt32 index,
                                                           VstIntPtr value, void* ptr, float opt);
    HOST_ENTRY static void VSTCALLBACK processEntry(AEffect* e, float** in, float** out, VstInt32 frames);
    HOST_ENTRY static void VSTCALLBACK processReplacingEntry(AEffect* e, float** in, float** out,
                                                             VstInt32 frames);
    HOST_ENTRY static void VSTCALLBACK processDoubleReplacingEntry(AEffect* e, double** in, double** out,
                                                                   VstInt32 frames);
    HOST_ENTRY static void VSTCALLBACK setParameterEntry(AEffect* e, VstInt32 index, float value);
    HOST_ENTRY static float VSTCALLBACK getParameterEntry(AEffect* e, VstInt32 index);

protected:
    void setFlag(VstInt32 flag, bool state) {
        if (state)
            cEffect.flags |= flag;
        else
            cEffect.flags &= ~flag;
    }
    // Calls the host, or answers 0 without one.
    VstIntPtr callHost(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr,
                       float opt = 0.0f);

    audioMasterCallback audioMaster;
    AEffEditor* editor = nullptr;
    float sampleRate = 44100.0f;
    VstInt32 blockSize = 1024;
    VstInt32 numPrograms;
    VstInt32 numParams;
    VstInt32 curProgram = 0;
    AEffect cEffect;

private:
    ERect editorRect{};  // the editor's rectangle as handed to the host
};
