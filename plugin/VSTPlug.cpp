#include "plugin/VSTPlug.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <limits>
#include <new>

#include "editor/MyGui.h"
#include "effects/BodyResonator.h"
#include "effects/HalfBandFilter.h"
#include "effects/StereoChorus.h"
#include "engine/VoiceEngine.h"
#include "plugin/DenormalGuard.h"
#include "plugin/ParameterTable.h"
#include "plugin/ProgramBank.h"

namespace {

constexpr float kBodyFrequency[VSTPlug::kBodyBands] = {100.0f, 200.0f, 300.0f};
constexpr float kBodyQ = 6.0f;
constexpr float kConstructionQ = 10.0f;

std::uint64_t packBody(float q, float gainDb) {
    std::uint32_t qBits = 0, gainBits = 0;
    std::memcpy(&qBits, &q, 4);
    std::memcpy(&gainBits, &gainDb, 4);
    return (std::uint64_t{qBits} << 32) | gainBits;
}

void unpackBody(std::uint64_t packed, float& q, float& gainDb) {
    const auto qBits = static_cast<std::uint32_t>(packed >> 32);
    const auto gainBits = static_cast<std::uint32_t>(packed);
    std::memcpy(&q, &qBits, 4);
    std::memcpy(&gainDb, &gainBits, 4);
}

// Copies a text with the given bound: the text, zeros up to the bound, and one
// more zero at the bound.
void copyBounded(char* destination, const char* text, std::size_t bound) {
    std::strncpy(destination, text, bound);
    destination[bound] = 0;
}

float clampUnit(float value) { return value < 0.0f ? 0.0f : (value > 1.0f ? 1.0f : value); }

bool allFinite(const float* values, int count) {
    for (int i = 0; i < count; ++i)
        if (!std::isfinite(values[i])) return false;
    return true;
}

}  // namespace

static_assert(std::atomic<std::uint64_t>::is_always_lock_free, "body gains are handed over without a lock");
static_assert(sizeof(ProgramRecord) * VSTPlug::kNumPrograms == 704, "the bank block is 704 bytes");

VSTPlug::VSTPlug(audioMasterCallback audioMaster) : AudioEffectX(audioMaster, kNumPrograms, kNumParams) {
    isSynth(true);
    programsAreChunks(true);
    canProcessReplacing(true);
    setNumInputs(0);
    setNumOutputs(2);
    setUniqueID(fourCharCode('Q', 'F', 'H', '2'));

    bank = std::make_unique<ProgramBank>(kNumPrograms, kNumParams);
    bank->loadFactoryPrograms();
    engine = std::make_unique<VoiceEngine>();
    for (int band = 0; band < kBodyBands; ++band) {
        resonators[band] = std::make_unique<BodyResonator>(kBodyFrequency[band]);
        bodyRequest[band].store(packBody(kConstructionQ, 0.0f), std::memory_order_relaxed);
        bodyApplied[band] = packBody(kConstructionQ, 0.0f);
    }
    chorus = std::make_unique<StereoChorus>();
    gui = new MyGui(this);
    setEditor(gui);
    curProgram = 0;
    halfBandFilter = std::make_unique<HalfBandFilter>();

    const ProgramRecord& program = bank->record(curProgram);
    for (int i = 0; i < bank->paramCount; ++i) engine->setParam(i, program.params[i]);
    engine->recomputeEnvelopeRates();
    gui->updateAllParameters();

    // A host that never sends a sample rate still gets the right pitch: the
    // voices start at twice the default host rate.
    setSampleRate(sampleRate);
}

VSTPlug::~VSTPlug() {
    releaseBuffers();
    engine.reset();
    bank.reset();
    halfBandFilter.reset();
    for (auto& resonator : resonators) resonator.reset();
    chorus.reset();
    // The base destroys the editor.
}

void VSTPlug::releaseBuffers() noexcept {
    delete[] voiceBuffer;
    delete[] mixBuffer;
    voiceBuffer = nullptr;
    mixBuffer = nullptr;
    bufferFrames = 0;
}

void VSTPlug::suspend() { releaseBuffers(); }

void VSTPlug::resume() {
    releaseBuffers();
    // Blocks longer than the work buffers are rendered in pieces with the same
    // result, so an absurd announced size need not cost gigabytes.
    const VstInt32 frames = std::min(blockSize, kMaxBufferedFrames);
    const std::size_t samples = 2 * static_cast<std::size_t>(frames);
    auto* voice = new (std::nothrow) float[samples];
    auto* mix = new (std::nothrow) float[samples];
    if (!voice || !mix) {
        // Out of memory: stay suspended (blocks then render silence).
        delete[] voice;
        delete[] mix;
        return;
    }
    std::fill(voice, voice + samples, 0.0f);
    std::fill(mix, mix + samples, 0.0f);
    voiceBuffer = voice;
    mixBuffer = mix;
    bufferFrames = frames;
    AudioEffectX::resume();
}

void VSTPlug::setSampleRate(float rate) {
    // A rate that is not finite and positive would poison every oscillator. A
    // positive rate below the smallest normal float counts as 0 too: the audio
    // block runs with denormals-are-zero and would divide by it as 0.
    if (!std::isfinite(rate) || !(rate >= std::numeric_limits<float>::min())) return;
    sampleRate = rate;
    chorus->setSampleRate(rate);
    engine->setSampleRate(rate * 2.0f);
    for (int band = 0; band < kBodyBands; ++band) {
        BodyResonator& resonator = *resonators[band];
        resonator.setSampleRate(static_cast<double>(rate));
        // Pick up a gain requested since the last block, then recompute.
        const std::uint64_t request = bodyRequest[band].load(std::memory_order_relaxed);
        if (request != bodyApplied[band]) {
            float q = 0.0f, gain = 0.0f;
            unpackBody(request, q, gain);
            resonator.setup(kBodyFrequency[band], q, gain);
            bodyApplied[band] = request;
        } else {
            resonator.setup(resonator.getFrequency(), resonator.getQ(), resonator.getGainDb());
        }
    }
}

void VSTPlug::setBlockSize(VstInt32 size) {
    if (size >= 1) blockSize = size;
}

void VSTPlug::applyBodyRequests() noexcept {
    for (int band = 0; band < kBodyBands; ++band) {
        const std::uint64_t request = bodyRequest[band].load(std::memory_order_relaxed);
        if (request == bodyApplied[band]) continue;
        float q = 0.0f, gain = 0.0f;
        unpackBody(request, q, gain);
        resonators[band]->setup(kBodyFrequency[band], q, gain);
        bodyApplied[band] = request;
    }
}

void VSTPlug::requestBody(int band, float value) noexcept {
    const float gain = ((value * 2.0f) - 1.0f) * 18.0f;
    bodyRequest[band].store(packBody(kBodyQ, gain), std::memory_order_relaxed);
}

void VSTPlug::processReplacing(float** /*inputs*/, float** outputs, VstInt32 frames) {
    if (frames <= 0 || !outputs || !outputs[0] || !outputs[1]) return;
    float* left = outputs[0];
    float* right = outputs[1];
    const DenormalGuard denormalGuard;

    if (!voiceBuffer) {
        // Suspended: silence, and the events meant for this block are dropped.
        std::fill(left, left + frames, 0.0f);
        std::fill(right, right + frames, 0.0f);
        engine->discardEvents();
        return;
    }

    applyBodyRequests();
    const float chorusAmount = engine->getParam(ParameterIndex::Chorus) * 0.5f;

    // Hosts may send more frames than announced: render in pieces that fit the
    // work buffers; the result equals one large block.
    VstInt32 done = 0;
    while (done < frames) {
        const VstInt32 piece = std::min(frames - done, bufferFrames);
        renderPiece(left + done, right + done, piece, chorusAmount, done + piece == frames);
        done += piece;
    }
}

void VSTPlug::renderPiece(float* left, float* right, VstInt32 frames, float chorusAmount,
                          bool lastPiece) noexcept {
    const VstInt32 samples = frames * 2;
    std::fill(left, left + frames, 0.0f);
    std::fill(voiceBuffer, voiceBuffer + samples, 0.0f);
    std::fill(mixBuffer, mixBuffer + samples, 0.0f);

    if (lastPiece)
        engine->render(voiceBuffer, mixBuffer, samples);
    else
        engine->renderPartial(voiceBuffer, mixBuffer, samples);
    halfBandFilter->process(mixBuffer, samples);

    // Back to the host rate: each output sample is the sum of a pair.
    for (VstInt32 k = 0; k < frames; ++k) left[k] = (left[k] + mixBuffer[2 * k]) + mixBuffer[2 * k + 1];

    for (auto& resonator : resonators) resonator->process(left, frames);
    std::copy(left, left + frames, right);
    chorus->process(left, right, frames, chorusAmount);
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
        const int status = static_cast<unsigned char>(midi->midiData[0]) & 0xF0;
        const int data1 = static_cast<unsigned char>(midi->midiData[1]) & 0x7F;
        const int data2 = static_cast<unsigned char>(midi->midiData[2]) & 0x7F;
        // Offsets are in engine samples; keep absurd host values from overflowing
        // (the engine clamps them into the block).
        const VstInt32 delta = std::clamp<VstInt32>(midi->deltaFrames, -(1 << 29), 1 << 29);
        const int offset = delta * 2;
        const int note = data1 - 12;

        switch (status) {
        case 0x90:
            if (data2 != 0) {
                engine->noteOn(note, static_cast<float>(data2) * 0.007874016f, offset);
                break;
            }
            [[fallthrough]];
        case 0x80:
            engine->noteOff(offset, note);
            break;
        case 0xB0:
            if (data1 == 123 || data1 == 126) engine->silenceAll();
            break;
        case 0xE0: {
            const float bend = static_cast<float>(data1 | (data2 * 128)) * 0.00006103515625f * 2.0f - 1.0f;
            engine->pitchBend(bend, offset);
            break;
        }
        default:
            break;
        }
    }
    return 1;
}

void VSTPlug::setParameter(VstInt32 index, float value) {
    if (index < 0 || index >= kNumParams || std::isnan(value)) return;
    value = clampUnit(value);
    if (value != engine->getParam(index)) {
        engine->setParam(index, value);
        engine->parameterChanged(index);
        gui->updateParameter(index, value);
        gui->redrawDirty();
    }
    if (index >= ParameterIndex::Body100 && index <= ParameterIndex::Body300)
        requestBody(index - ParameterIndex::Body100, value);
}

float VSTPlug::getParameter(VstInt32 index) {
    if (index < 0 || index >= kNumParams) return 0.0f;
    return engine->getParam(index);
}

void VSTPlug::synchroniseCurrentProgram() noexcept {
    ProgramRecord& record = bank->record(curProgram);
    for (int i = 0; i < bank->paramCount; ++i) record.params[i] = engine->getParam(i);
}

void VSTPlug::applyProgram() noexcept {
    const ProgramRecord& record = bank->record(curProgram);
    for (int i = 0; i < bank->paramCount; ++i) engine->setParam(i, record.params[i]);
    engine->recomputeEnvelopeRates();
    for (int band = 0; band < kBodyBands; ++band)
        requestBody(band, engine->getParam(ParameterIndex::Body100 + band));
}

void VSTPlug::setProgram(VstInt32 program) {
    if (program < 0 || program >= kNumPrograms) return;
    {
        const std::lock_guard<std::mutex> lock(stateMutex);
        synchroniseCurrentProgram();
        curProgram = program;
        applyProgram();
    }
    gui->updateAllParameters();
    gui->redrawDirty();
}

void VSTPlug::setProgramName(char* name) {
    const std::lock_guard<std::mutex> lock(stateMutex);
    ProgramRecord& record = bank->record(curProgram);
    std::memset(record.name, 0, sizeof(record.name));
    std::memcpy(record.name, name, strnlen(name, sizeof(record.name)));
}

void VSTPlug::getProgramName(char* name) {
    const std::lock_guard<std::mutex> lock(stateMutex);
    copyBounded(name, bank->record(curProgram).name, kVstMaxProgNameLen);
}

bool VSTPlug::getProgramNameIndexed(VstInt32 /*category*/, VstInt32 index, char* text) {
    if (index < 0 || index >= kNumPrograms) {
        text[0] = 0;
        return false;
    }
    const std::lock_guard<std::mutex> lock(stateMutex);
    copyBounded(text, bank->record(index).name, kVstMaxProgNameLen);
    return true;
}

void VSTPlug::getParameterLabel(VstInt32 index, char* label) {
    formatParameterLabel(index, getParameter(index), label);
}

void VSTPlug::getParameterDisplay(VstInt32 index, char* text) {
    formatParameterDisplay(index, getParameter(index), text);
}

void VSTPlug::getParameterName(VstInt32 index, char* text) { formatParameterName(index, text); }

VstInt32 VSTPlug::getChunk(void** data, bool isPreset) {
    const std::lock_guard<std::mutex> lock(stateMutex);
    synchroniseCurrentProgram();
    if (isPreset) {
        for (int i = 0; i < kNumParams; ++i) presetChunk[i] = engine->getParam(i);
        *data = presetChunk;
        return kNumParams * 4;
    }
    std::memcpy(bankChunk, bank->data(), sizeof(bankChunk));
    *data = bankChunk;
    return bank->byteSize();
}

VstInt32 VSTPlug::setChunk(void* data, VstInt32 byteSize, bool isPreset) {
    const VstInt32 presetBytes = bank->paramCount * 4;
    const VstInt32 bankBytes = bank->byteSize();
    bool accepted = false;
    {
        const std::lock_guard<std::mutex> lock(stateMutex);
        if (isPreset && byteSize == presetBytes) {
            float values[kNumParams];
            std::memcpy(values, data, sizeof(values));
            if (allFinite(values, kNumParams)) {
                ProgramRecord& record = bank->record(curProgram);
                for (int i = 0; i < kNumParams; ++i) record.params[i] = clampUnit(values[i]);
                applyProgram();
                accepted = true;
            }
        } else if (byteSize == bankBytes) {
            ProgramRecord incoming[kNumPrograms];
            std::memcpy(incoming, data, sizeof(incoming));
            bool finite = true;
            for (const ProgramRecord& record : incoming) finite = finite && allFinite(record.params, kNumParams);
            if (finite) {
                for (ProgramRecord& record : incoming)
                    for (float& value : record.params) value = clampUnit(value);
                std::memcpy(bank->data(), incoming, sizeof(incoming));
                applyProgram();
                accepted = true;
            }
        }
    }
    if (!accepted) {
        updateDisplay();
        return 0;
    }
    gui->updateAllParameters();
    return byteSize;
}

bool VSTPlug::getEffectName(char* name) {
    copyBounded(name, "Hammerlyn2", kVstMaxEffectNameLen);
    return true;
}

bool VSTPlug::getVendorString(char* text) {
    copyBounded(text, "Quillfeather", kVstMaxVendorStrLen);
    return true;
}

bool VSTPlug::getProductString(char* text) {
    copyBounded(text, "Quillfeather' Hammerlyn2", kVstMaxProductStrLen);
    return true;
}

VstInt32 VSTPlug::canDo(char* text) {
    if (!text) return -1;
    static const char* const kCanDo[] = {"receiveVstEvents", "receiveVstMidiEvent", "receiveVstTimeInfo"};
    for (const char* capability : kCanDo)
        if (std::strcmp(text, capability) == 0) return 1;
    return -1;
}
