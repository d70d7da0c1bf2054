#include "host/PluginInstance.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

namespace {
// The instance being created: the entry point calls the host before there is a
// record to find it by.
thread_local PluginInstance* creating = nullptr;

// A host string into the plug-in's buffer of capacity bytes, cut to fit.
VstIntPtr copyBounded(void* buffer, const std::string& text, int capacity) {
    if (!buffer) return 0;
    const std::size_t length = std::min(text.size(), static_cast<std::size_t>(capacity - 1));
    std::memcpy(buffer, text.data(), length);
    static_cast<char*>(buffer)[length] = '\0';
    return 1;
}
}  // namespace

std::unique_ptr<PluginInstance> PluginInstance::create(VstPluginMainProc entry, const HostOptions& options) {
    if (!entry) return nullptr;
    std::unique_ptr<PluginInstance> instance(new PluginInstance(options));
    creating = instance.get();
    AEffect* effect = entry(&PluginInstance::hostCallback);
    creating = nullptr;
    if (!effect || effect->magic != kEffectMagic) return nullptr;
    effect->user = instance.get();
    instance->aeffect = effect;
    return instance;
}

PluginInstance::~PluginInstance() { close(); }

VstIntPtr VSTCALLBACK PluginInstance::hostCallback(AEffect* effect, VstInt32 opcode, VstInt32 index,
                                                   VstIntPtr value, void* ptr, float opt) {
    PluginInstance* self = effect && effect->user ? static_cast<PluginInstance*>(effect->user) : creating;
    if (!self) return opcode == audioMasterVersion ? 2400 : 0;
    return self->answer(opcode, index, value, ptr, opt);
}

VstIntPtr PluginInstance::answer(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) {
    {
        const std::lock_guard<std::mutex> lock(callsMutex);
        recorded.push_back({opcode, index, value, opt});
    }
    switch (opcode) {
    case audioMasterVersion:
        return options.versionAnswer;
    case audioMasterGetSampleRate:
        return static_cast<VstIntPtr>(options.sampleRate);
    case audioMasterGetBlockSize:
        return options.blockSize;
    case audioMasterGetVendorString:
        return copyBounded(ptr, options.vendor, kVstMaxVendorStrLen);
    case audioMasterGetProductString:
        return copyBounded(ptr, options.product, kVstMaxProductStrLen);
    case audioMasterGetVendorVersion:
        return options.vendorVersion;
    default:
        return 0;
    }
}

VstIntPtr PluginInstance::dispatch(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) {
    if (!aeffect) return 0;
    return aeffect->dispatcher(aeffect, opcode, index, value, ptr, opt);
}

void PluginInstance::start(float sampleRate, VstInt32 blockSize) {
    dispatch(effOpen);
    setSampleRate(sampleRate);
    setBlockSize(blockSize);
    resume();
}

void PluginInstance::setSampleRate(float rate) {
    options.sampleRate = rate;
    dispatch(effSetSampleRate, 0, 0, nullptr, rate);
}

void PluginInstance::setBlockSize(VstInt32 frames) {
    options.blockSize = frames;
    dispatch(effSetBlockSize, 0, frames);
}

void PluginInstance::resume() { dispatch(effMainsChanged, 0, 1); }

void PluginInstance::suspend() { dispatch(effMainsChanged, 0, 0); }

VstIntPtr PluginInstance::close() {
    if (!aeffect) return 0;
    const VstIntPtr result = dispatch(effClose);
    aeffect = nullptr;
    return result;
}

void PluginInstance::setParameter(VstInt32 index, float value) {
    if (aeffect) aeffect->setParameter(aeffect, index, value);
}

float PluginInstance::getParameter(VstInt32 index) {
    return aeffect ? aeffect->getParameter(aeffect, index) : 0.0f;
}

std::string PluginInstance::parameterText(VstInt32 opcode, VstInt32 index) {
    char text[256] = {};
    dispatch(opcode, index, 0, text);
    return text;
}

std::string PluginInstance::programName() {
    char text[256] = {};
    dispatch(effGetProgramName, 0, 0, text);
    return text;
}

void PluginInstance::setProgram(VstInt32 program) { dispatch(effSetProgram, 0, program); }

VstInt32 PluginInstance::program() { return static_cast<VstInt32>(dispatch(effGetProgram)); }

std::vector<unsigned char> PluginInstance::getChunk(bool preset) {
    void* data = nullptr;
    const VstIntPtr size = dispatch(effGetChunk, preset ? 1 : 0, 0, &data);
    if (size <= 0 || !data) return {};
    const auto* bytes = static_cast<const unsigned char*>(data);
    return std::vector<unsigned char>(bytes, bytes + size);
}

VstIntPtr PluginInstance::setChunk(const std::vector<unsigned char>& data, bool preset) {
    std::vector<unsigned char> copy(data);  // the plug-in may not keep the host's buffer
    if (copy.empty()) copy.resize(1);
    return dispatch(effSetChunk, preset ? 1 : 0, static_cast<VstIntPtr>(data.size()), copy.data());
}

VstIntPtr PluginInstance::sendMidi(const std::vector<MidiMessage>& messages) {
    const std::size_t count = messages.size();
    const std::size_t header = offsetof(VstEvents, events) + sizeof(VstEvent*) * (count < 2 ? 2 : count);
    eventStorage.assign(header + sizeof(VstMidiEvent) * count, 0);
    auto* events = reinterpret_cast<VstEvents*>(eventStorage.data());
    // The pointers are written through the list's address: indexing the
    // record's two-entry array beyond its end would be undefined.
    auto* list = reinterpret_cast<VstEvent**>(eventStorage.data() + offsetof(VstEvents, events));
    auto* midi = reinterpret_cast<VstMidiEvent*>(eventStorage.data() + header);
    events->numEvents = static_cast<VstInt32>(count);
    for (std::size_t i = 0; i < count; ++i) {
        midi[i].type = kVstMidiType;
        midi[i].byteSize = sizeof(VstMidiEvent);
        midi[i].deltaFrames = messages[i].deltaFrames;
        midi[i].midiData[0] = static_cast<char>(messages[i].status);
        midi[i].midiData[1] = static_cast<char>(messages[i].data1);
        midi[i].midiData[2] = static_cast<char>(messages[i].data2);
        list[i] = reinterpret_cast<VstEvent*>(&midi[i]);
    }
    return dispatch(effProcessEvents, 0, 0, events);
}

void PluginInstance::process(float* left, float* right, VstInt32 frames) {
    if (!aeffect) return;
    const std::size_t length = static_cast<std::size_t>(frames > 0 ? frames : 0);
    const std::size_t inputCount = static_cast<std::size_t>(std::max(aeffect->numInputs, 0));
    const std::size_t extraOutputs = static_cast<std::size_t>(std::max(aeffect->numOutputs - 2, 0));
    // One buffer per channel, each at least one frame so that no pointer is null.
    const std::size_t stride = std::max<std::size_t>(length, 1);
    if (silence.size() < inputCount * stride) silence.resize(inputCount * stride);
    std::fill(silence.begin(), silence.end(), 0.0f);  // a plug-in may have written its inputs
    if (spare.size() < extraOutputs * stride) spare.resize(extraOutputs * stride);

    inputPointers.assign(std::max<std::size_t>(inputCount, 2), nullptr);
    for (std::size_t i = 0; i < inputCount; ++i) inputPointers[i] = silence.data() + i * stride;
    outputPointers.assign({left, right});
    for (std::size_t i = 0; i < extraOutputs; ++i) outputPointers.push_back(spare.data() + i * stride);
    aeffect->processReplacing(aeffect, inputPointers.data(), outputPointers.data(), frames);
    if (aeffect->numOutputs == 1 && length > 0) std::memcpy(right, left, sizeof(float) * length);
}

void PluginInstance::process(VstInt32 frames) {
    outLeft.assign(static_cast<std::size_t>(frames > 0 ? frames : 0), 0.0f);
    outRight.assign(outLeft.size(), 0.0f);
    process(outLeft.data(), outRight.data(), frames);
}

std::vector<HostCall> PluginInstance::calls() const {
    const std::lock_guard<std::mutex> lock(callsMutex);
    return recorded;
}

void PluginInstance::clearCalls() {
    const std::lock_guard<std::mutex> lock(callsMutex);
    recorded.clear();
}
