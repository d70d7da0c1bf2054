// Small VST 2 plug-ins for the render tool to host, one per build of this file:
//   TEST_PLUGIN_EFFECT     a pass-through effect, not a synth: to be refused;
//   TEST_PLUGIN_PROBE      an instrument with one input and four outputs that
//                          names its one program after what the host says it
//                          is, and plays a constant on each output (0.25, -0.5,
//                          then 1 and 2 on the two the host does not record);
//   TEST_PLUGIN_NO_MAGIC   the probe, but its record lacks the VST magic
//                          number, so a host must not take it for an effect.
#include <algorithm>
#include <cstring>
#include <string>

#include "plugin/VstAbi.h"

namespace {

AEffect effect{};
audioMasterCallback host = nullptr;

#if defined(TEST_PLUGIN_EFFECT)

VstIntPtr VSTCALLBACK dispatch(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    return opcode == effGetPlugCategory ? kPlugCategEffect : 0;
}

void VSTCALLBACK process(AEffect*, float** inputs, float** outputs, VstInt32 frames) {
    for (int channel = 0; channel < 2; ++channel)
        std::memcpy(outputs[channel], inputs[channel], sizeof(float) * static_cast<std::size_t>(frames));
}

#else

std::string identity;

// What the host answers, asked as a plug-in asks once it is open.
void askHost() {
    char vendor[kVstMaxVendorStrLen] = {}, product[kVstMaxProductStrLen] = {};
    host(&effect, audioMasterGetVendorString, 0, 0, vendor, 0.0f);
    host(&effect, audioMasterGetProductString, 0, 0, product, 0.0f);
    const auto version = static_cast<long>(host(&effect, audioMasterGetVendorVersion, 0, 0, nullptr, 0.0f));
    identity = std::string(vendor) + " " + product + " " + std::to_string(version);
}

VstIntPtr VSTCALLBACK dispatch(AEffect*, VstInt32 opcode, VstInt32 index, VstIntPtr, void* ptr, float) {
    switch (opcode) {
    case effOpen:
        askHost();
        return 0;
    case effGetPlugCategory:
        return kPlugCategSynth;
    case effGetProgramName:
    case effGetProgramNameIndexed:
        if (opcode == effGetProgramNameIndexed && index != 0) return 0;
        // Longer than a program name may be, as hosts' buffers allow.
        std::memcpy(ptr, identity.c_str(), std::min<std::size_t>(identity.size() + 1, kVstMaxProgNameLen * 3));
        return 1;
    default:
        return 0;
    }
}

void VSTCALLBACK process(AEffect*, float** inputs, float** outputs, VstInt32 frames) {
    const float levels[4] = {0.25f, -0.5f, 1.0f, 2.0f};
    for (int i = 0; i < frames; ++i) {
        for (int channel = 0; channel < 4; ++channel) outputs[channel][i] = levels[channel] + inputs[0][i];
        inputs[0][i] = 1.0f;  // a careless plug-in: the host must clear its inputs again
    }
}

#endif

void VSTCALLBACK setParameter(AEffect*, VstInt32, float) {}
float VSTCALLBACK getParameter(AEffect*, VstInt32) { return 0.0f; }

}  // namespace

extern "C" __attribute__((visibility("default"))) AEffect* VSTPluginMain(audioMasterCallback callback) {
    host = callback;
    effect.magic = kEffectMagic;
    effect.dispatcher = dispatch;
    effect.setParameter = setParameter;
    effect.getParameter = getParameter;
    effect.processReplacing = process;
    effect.version = 1;
#if defined(TEST_PLUGIN_EFFECT)
    effect.numInputs = 2;
    effect.numOutputs = 2;
    effect.flags = effFlagsCanReplacing;
    effect.uniqueID = fourCharCode('T', 'e', 's', 't');
#else
    effect.numInputs = 1;
    effect.numOutputs = 4;
    effect.numPrograms = 1;
    effect.flags = effFlagsCanReplacing | effFlagsIsSynth;
    effect.uniqueID = fourCharCode('P', 'r', 'o', 'b');
#endif
#if defined(TEST_PLUGIN_NO_MAGIC)
    effect.magic = 0;
#endif
    return &effect;
}
