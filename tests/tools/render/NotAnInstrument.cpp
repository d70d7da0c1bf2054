// A minimal VST 2 effect (a pass-through, not a synth) that the render tool must
// refuse to play.
#include <cstring>

#include "plugin/VstAbi.h"

namespace {

VstIntPtr VSTCALLBACK dispatch(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    return opcode == effGetPlugCategory ? kPlugCategEffect : 0;
}

void VSTCALLBACK process(AEffect*, float** inputs, float** outputs, VstInt32 frames) {
    for (int channel = 0; channel < 2; ++channel)
        std::memcpy(outputs[channel], inputs[channel], sizeof(float) * static_cast<std::size_t>(frames));
}

void VSTCALLBACK setParameter(AEffect*, VstInt32, float) {}
float VSTCALLBACK getParameter(AEffect*, VstInt32) { return 0.0f; }

}  // namespace

extern "C" __attribute__((visibility("default"))) AEffect* VSTPluginMain(audioMasterCallback) {
    static AEffect effect{};
    effect.magic = kEffectMagic;
    effect.dispatcher = dispatch;
    effect.setParameter = setParameter;
    effect.getParameter = getParameter;
    effect.numInputs = 2;
    effect.numOutputs = 2;
    effect.flags = effFlagsCanReplacing;
    effect.uniqueID = fourCharCode('T', 'e', 's', 't');
    effect.version = 1;
    effect.processReplacing = process;
    return &effect;
}
