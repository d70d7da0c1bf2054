#include "plugin/AudioEffect.h"

#include <cstring>

#include "editor/interface/AEffEditor.h"

AudioEffect::AudioEffect(audioMasterCallback audioMaster, VstInt32 numPrograms, VstInt32 numParams)
    : audioMaster(audioMaster), numPrograms(numPrograms), numParams(numParams) {
    std::memset(&cEffect, 0, sizeof(cEffect));
    cEffect.magic = kEffectMagic;
    cEffect.dispatcher = &AudioEffect::dispatchEffect;
    cEffect.process = &AudioEffect::processEntry;
    cEffect.setParameter = &AudioEffect::setParameterEntry;
    cEffect.getParameter = &AudioEffect::getParameterEntry;
    cEffect.numPrograms = numPrograms;
    cEffect.numParams = numParams;
    cEffect.numInputs = 1;
    cEffect.numOutputs = 2;
    cEffect.flags = effFlagsCanReplacing;
    cEffect.ioRatio = 1.0f;
    cEffect.object = this;
    cEffect.uniqueID = fourCharCode('N', 'o', 'E', 'f');
    cEffect.version = 1;
    cEffect.processReplacing = &AudioEffect::processReplacingEntry;
    cEffect.processDoubleReplacing = &AudioEffect::processDoubleReplacingEntry;
}

AudioEffect::~AudioEffect() { delete editor; }

void AudioEffect::setEditor(AEffEditor* newEditor) {
    editor = newEditor;
    setFlag(effFlagsHasEditor, editor != nullptr);
}

VstIntPtr AudioEffect::callHost(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) {
    if (!audioMaster) return 0;
    return audioMaster(&cEffect, opcode, index, value, ptr, opt);
}

void AudioEffect::beginGesture(int index) { callHost(audioMasterBeginEdit, index); }

void AudioEffect::endGesture(int index) { callHost(audioMasterEndEdit, index); }

bool AudioEffect::resizeEditor(int width, int height) {
    return callHost(audioMasterSizeWindow, width, height) != 0;
}

void AudioEffect::selectProgram(int index) {
    if (index < 0 || index >= numPrograms) return;
    setProgram(index);
    callHost(audioMasterUpdateDisplay);
}

void AudioEffect::setParameterAutomated(VstInt32 index, float value) {
    setParameter(index, value);
    callHost(audioMasterAutomate, index, 0, nullptr, value);
}

VstInt32 AudioEffect::getMasterVersion() {
    const VstIntPtr version = callHost(audioMasterVersion);
    return version ? static_cast<VstInt32>(version) : 1;
}

VstInt32 AudioEffect::getCurrentUniqueId() { return static_cast<VstInt32>(callHost(audioMasterCurrentId)); }

void AudioEffect::masterIdle() { callHost(audioMasterIdle); }

VstIntPtr AudioEffect::dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) {
    // Requests that carry a buffer or record answer 0 and touch nothing when the
    // host hands a null pointer.
    switch (opcode) {
    case effOpen:
        open();
        return 0;
    case effClose:
        close();
        return 0;
    case effSetProgram:
        if (value >= 0 && value < numPrograms) setProgram(static_cast<VstInt32>(value));
        return 0;
    case effGetProgram:
        return getProgram();
    case effSetProgramName:
        if (ptr) setProgramName(static_cast<char*>(ptr));
        return 0;
    case effGetProgramName:
        if (ptr) getProgramName(static_cast<char*>(ptr));
        return 0;
    case effGetParamLabel:
        if (ptr) getParameterLabel(index, static_cast<char*>(ptr));
        return 0;
    case effGetParamDisplay:
        if (ptr) getParameterDisplay(index, static_cast<char*>(ptr));
        return 0;
    case effGetParamName:
        if (ptr) getParameterName(index, static_cast<char*>(ptr));
        return 0;
    case effSetSampleRate:
        setSampleRate(opt);
        return 0;
    case effSetBlockSize:
        setBlockSize(static_cast<VstInt32>(value));
        return 0;
    case effMainsChanged:
        if (value == 0)
            suspend();
        else
            resume();
        return 0;
    case effEditGetRect: {
        if (!ptr) return 0;
        auto** out = static_cast<ERect**>(ptr);
        EditorRect* rect = nullptr;
        if (!editor || !editor->getRect(&rect) || !rect) {
            *out = nullptr;
            return 0;
        }
        editorRect = ERect{rect->top, rect->left, rect->bottom, rect->right};
        *out = &editorRect;
        return 1;
    }
    case effEditOpen:
        if (!editor) return 0;
        return editor->open(ptr) ? 1 : 0;
    case effEditClose:
        if (editor) editor->close();
        return 0;
    case effEditIdle:
        if (editor) editor->idle();
        return 0;
    case effIdentify:
        return fourCharCode('N', 'v', 'E', 'f');
    case effGetChunk:
        if (!ptr) return 0;
        return getChunk(static_cast<void**>(ptr), index != 0);
    case effSetChunk:
        if (!ptr) return 0;
        return setChunk(ptr, static_cast<VstInt32>(value), index != 0);
    default:
        return 0;
    }
}

VstIntPtr VSTCALLBACK AudioEffect::dispatchEffect(AEffect* e, VstInt32 opcode, VstInt32 index,
                                                  VstIntPtr value, void* ptr, float opt) {
    auto* self = static_cast<AudioEffect*>(e->object);
    const VstIntPtr result = self->dispatcher(opcode, index, value, ptr, opt);
    if (opcode == effClose) {
        delete self;
        return 1;
    }
    return result;
}

void VSTCALLBACK AudioEffect::processEntry(AEffect* e, float** in, float** out, VstInt32 frames) {
    static_cast<AudioEffect*>(e->object)->process(in, out, frames);
}

void VSTCALLBACK AudioEffect::processReplacingEntry(AEffect* e, float** in, float** out, VstInt32 frames) {
    static_cast<AudioEffect*>(e->object)->processReplacing(in, out, frames);
}

void VSTCALLBACK AudioEffect::processDoubleReplacingEntry(AEffect* e, double** in, double** out,
                                                          VstInt32 frames) {
    static_cast<AudioEffect*>(e->object)->processDoubleReplacing(in, out, frames);
}

void VSTCALLBACK AudioEffect::setParameterEntry(AEffect* e, VstInt32 index, float value) {
    static_cast<AudioEffect*>(e->object)->setParameter(index, value);
}

float VSTCALLBACK AudioEffect::getParameterEntry(AEffect* e, VstInt32 index) {
    return static_cast<AudioEffect*>(e->object)->getParameter(index);
}
