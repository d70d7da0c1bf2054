#include "instrument/Instrument.h"

#include <algorithm>
#include <array>
#include <iterator>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <limits>
#include <new>

#include "effects/BodyResonator.h"
#include "effects/HalfBandFilter.h"
#include "effects/StereoChorus.h"
#include "engine/VoiceEngine.h"
#include "instrument/DenormalGuard.h"

namespace {

constexpr float kBodyFrequency[Instrument::kBodyBands] = {100.0f, 200.0f, 300.0f};
constexpr float kBodyQ = 6.0f;
// The bands are built with this Q at 0 dB and keep it until a body knob or a
// program first sets them.
constexpr float kConstructionQ = 10.0f;
// MIDI velocity 1..127 to the engine's 0..1 (the nearest float to 1/127).
constexpr float kVelocityScale = 0.007874016f;
// 14-bit pitch bend to -1..+1.
constexpr float kBendScale = 0.00006103515625f;  // 1/16384
constexpr int kBendMaximum = 16383;
// Note offsets far outside any block are held here, so doubling them to engine
// samples cannot overflow (the engine moves them into the block).
constexpr int kFrameLimit = 1 << 29;
// The engine plays MIDI note 12 as its note 0.
constexpr int kEngineNoteOffset = 12;

// The engine's number for each parameter the voices read; -1 for those the
// output stage reads.
struct VoiceKnob {
    int parameter;
    int voice;
};
constexpr VoiceKnob kVoiceKnobs[] = {
    {ParameterIndex::Noise, VoiceParameter::Noise},         {ParameterIndex::Saw, VoiceParameter::Saw},
    {ParameterIndex::Square, VoiceParameter::Square},       {ParameterIndex::PreFilter, VoiceParameter::PreFilter},
    {ParameterIndex::Damp, VoiceParameter::Damp},           {ParameterIndex::Velocity, VoiceParameter::Velocity},
    {ParameterIndex::Key, VoiceParameter::Key},             {ParameterIndex::Attack, VoiceParameter::Attack},
    {ParameterIndex::Decay, VoiceParameter::Decay},         {ParameterIndex::Release, VoiceParameter::Release},
    {ParameterIndex::Detune, VoiceParameter::Detune},       {ParameterIndex::Volume, VoiceParameter::Volume}};
static_assert(std::size(kVoiceKnobs) == VoiceParameter::Count, "every knob the voices read comes from a parameter");
constexpr std::array<int, kParameterCount> kVoiceParameterOf = [] {
    std::array<int, kParameterCount> of{};
    of.fill(-1);
    for (const VoiceKnob& knob : kVoiceKnobs) of[knob.parameter] = knob.voice;
    return of;
}();
static_assert(VoiceEngine::kMaxStarts == Instrument::kMaxNoteOnsPerBlock);
static_assert(Instrument::kPresetStateBytes == 64, "the preset block is 64 bytes");
static_assert(Instrument::kBankStateBytes == 704, "the bank block is 704 bytes");
static_assert(sizeof(ProgramRecord::name) == Instrument::kProgramNameLength);
static_assert(std::atomic<std::uint64_t>::is_always_lock_free, "body gains are handed over without a lock");

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

bool allFinite(const float* values, int count) {
    for (int i = 0; i < count; ++i)
        if (!std::isfinite(values[i])) return false;
    return true;
}

int engineOffset(int frame) { return std::clamp(frame, -kFrameLimit, kFrameLimit) * 2; }

}  // namespace

Instrument::Instrument() {
    bank = std::make_unique<ProgramBank>(kProgramCount, kParameterCount);
    bank->loadFactoryPrograms();
    engine = std::make_unique<VoiceEngine>();
    for (int band = 0; band < kBodyBands; ++band) {
        resonators[band] = std::make_unique<BodyResonator>(kBodyFrequency[band]);
        bodyRequest[band].store(packBody(kConstructionQ, 0.0f), std::memory_order_relaxed);
        bodyApplied[band] = packBody(kConstructionQ, 0.0f);
    }
    chorus = std::make_unique<StereoChorus>();
    halfBandFilter = std::make_unique<HalfBandFilter>();

    for (auto& value : values) value.store(0.0f, std::memory_order_relaxed);
    const ProgramRecord& program = bank->record(0);
    for (int i = 0; i < kParameterCount; ++i) storeValue(i, program.params[i]);
    engine->recomputeEnvelopeRates();

    // A host that never sends a sample rate still gets the right pitch.
    setSampleRate(hostRate);
}

Instrument::~Instrument() { releaseBuffers(); }

void Instrument::releaseBuffers() noexcept {
    delete[] mixBuffer;
    mixBuffer = nullptr;
    bufferFrames = 0;
}

bool Instrument::prepare(int maxFrames) noexcept {
    releaseBuffers();
    const int frames = std::clamp(maxFrames, 1, kMaxWorkFrames);
    const std::size_t samples = 2 * static_cast<std::size_t>(frames);
    auto* mix = new (std::nothrow) float[samples];
    if (!mix) return false;
    std::fill(mix, mix + samples, 0.0f);
    mixBuffer = mix;
    bufferFrames = frames;
    return true;
}

void Instrument::unprepare() noexcept { releaseBuffers(); }

bool Instrument::setSampleRate(float rate) noexcept {
    // A rate that is not finite and positive would poison every oscillator. A
    // positive rate below the smallest normal float counts as 0 too: the audio
    // block runs with denormals-are-zero and would divide by it as 0.
    if (!std::isfinite(rate) || !(rate >= std::numeric_limits<float>::min()) || rate > kMaxSampleRate)
        return false;
    hostRate = rate;
    chorus->setSampleRate(rate);
    engine->setSampleRate(rate * 2.0f);
    halfBandFilter->setSampleRate(rate * 2.0f);
    for (int band = 0; band < kBodyBands; ++band) {
        resonators[band]->setSampleRate(rate);
        // Pick up a gain requested since the last block.
        if (bodyRequest[band].load(std::memory_order_relaxed) != bodyApplied[band]) setupBody(band);
    }
    return true;
}

void Instrument::setupBody(int band) noexcept {
    const std::uint64_t request = bodyRequest[band].load(std::memory_order_relaxed);
    float q = 0.0f, gain = 0.0f;
    unpackBody(request, q, gain);
    resonators[band]->setup(kBodyFrequency[band], q, gain);
    bodyApplied[band] = request;
}

void Instrument::applyBodyRequests() noexcept {
    for (int band = 0; band < kBodyBands; ++band)
        if (bodyRequest[band].load(std::memory_order_relaxed) != bodyApplied[band]) setupBody(band);
}

void Instrument::storeValue(int index, float value) noexcept {
    values[index].store(value, std::memory_order_relaxed);
    if (kVoiceParameterOf[index] >= 0) engine->setParam(kVoiceParameterOf[index], value);
}

void Instrument::requestBody(int band, float value) noexcept {
    const float gain = ParameterMapping::bodyGainDecibels(value);
    bodyRequest[band].store(packBody(kBodyQ, gain), std::memory_order_relaxed);
}

bool Instrument::setParameter(int index, float value) noexcept {
    if (index < 0 || index >= kParameterCount || std::isnan(value)) return false;
    value = ParameterMapping::clampUnit(value);
    const bool changed = value != values[index].load(std::memory_order_relaxed);
    if (requestedProgram.load(std::memory_order_relaxed) >= 0)
        setSinceRequest.fetch_or(1u << index, std::memory_order_relaxed);
    if (changed) {
        storeValue(index, value);
        if (kVoiceParameterOf[index] >= 0) engine->parameterChanged(kVoiceParameterOf[index]);
    }
    if (index >= ParameterIndex::Body100 && index <= ParameterIndex::Body300)
        requestBody(index - ParameterIndex::Body100, value);
    return changed;
}

float Instrument::parameter(int index) const noexcept {
    if (index < 0 || index >= kParameterCount) return 0.0f;
    return values[index].load(std::memory_order_relaxed);
}

void Instrument::noteOn(int frame, int midiNote, int velocity) noexcept {
    if (midiNote < 0 || midiNote > 127) return;
    if (velocity <= 0) {
        noteOff(frame, midiNote);
        return;
    }
    const float amount = static_cast<float>(std::min(velocity, 127)) * kVelocityScale;
    engine->noteOn(engineOffset(frame), midiNote - kEngineNoteOffset, amount);
}

void Instrument::noteOff(int frame, int midiNote) noexcept {
    if (midiNote < 0 || midiNote > 127) return;
    engine->noteOff(engineOffset(frame), midiNote - kEngineNoteOffset);
}

void Instrument::pitchBend(int frame, int value) noexcept {
    // Hosts that pass bends through other units can deliver values just
    // outside the MIDI range.
    const int held = std::clamp(value, 0, kBendMaximum);
    engine->pitchBend(engineOffset(frame), static_cast<float>(held) * kBendScale * 2.0f - 1.0f);
}

void Instrument::allNotesOff() noexcept { engine->silenceAll(); }

void Instrument::midiMessage(int frame, unsigned char status, unsigned char data1,
                             unsigned char data2) noexcept {
    const int first = data1 & 0x7F;
    const int second = data2 & 0x7F;
    switch (status & 0xF0) {
    case 0x90:
        noteOn(frame, first, second);
        break;
    case 0x80:
        noteOff(frame, first);
        break;
    case 0xB0:
        // All Notes Off and Poly Mode On silence every note; other controllers
        // (the sustain pedal among them) do nothing.
        if (first == 123 || first == 126) allNotesOff();
        break;
    case 0xE0:
        pitchBend(frame, first | (second << 7));
        break;
    default:
        break;
    }
}

void Instrument::render(float* left, float* right, int frames) noexcept {
    if (frames <= 0 || !left || !right) return;
    const DenormalGuard denormalGuard;

    if (!mixBuffer) {
        // Not prepared: silence, and the events meant for this block are dropped.
        std::fill(left, left + frames, 0.0f);
        std::fill(right, right + frames, 0.0f);
        engine->discardEvents();
        return;
    }

    if (requestedProgram.load(std::memory_order_relaxed) >= 0) loadRequestedProgram();
    applyBodyRequests();
    const float chorusAmount = ParameterMapping::chorusDepth(parameter(ParameterIndex::Chorus));

    int done = 0;
    while (done < frames) {
        const int piece = std::min(frames - done, bufferFrames);
        renderPiece(left + done, right + done, piece, chorusAmount, done + piece == frames);
        done += piece;
    }
}

void Instrument::renderPiece(float* left, float* right, int frames, float chorusAmount,
                             bool lastPiece) noexcept {
    const int samples = frames * 2;
    std::fill(left, left + frames, 0.0f);
    std::fill(mixBuffer, mixBuffer + samples, 0.0f);

    if (lastPiece)
        engine->render(mixBuffer, samples);
    else
        engine->renderPartial(mixBuffer, samples);
    halfBandFilter->process(mixBuffer, samples);

    // Back to the host rate: each output sample is the sum of a pair.
    for (int k = 0; k < frames; ++k) left[k] = (left[k] + mixBuffer[2 * k]) + mixBuffer[2 * k + 1];

    BodyResonator* const bands[kBodyBands] = {resonators[0].get(), resonators[1].get(), resonators[2].get()};
    BodyResonator::processInSeries(bands, left, frames);
    std::copy(left, left + frames, right);
    chorus->process(left, right, frames, chorusAmount);
}

void Instrument::keepCurrentValues() noexcept {
    ProgramRecord& record = bank->record(program());
    for (int i = 0; i < kParameterCount; ++i) record.params[i] = parameter(i);
}

void Instrument::applyProgram(std::uint32_t keptValues) noexcept {
    const ProgramRecord& record = bank->record(program());
    for (int i = 0; i < kParameterCount; ++i)
        if ((keptValues >> i & 1u) == 0) storeValue(i, record.params[i]);
    engine->recomputeEnvelopeRates();
    for (int band = 0; band < kBodyBands; ++band)
        requestBody(band, parameter(ParameterIndex::Body100 + band));
}

bool Instrument::selectProgram(int index) {
    if (index < 0 || index >= kProgramCount) return false;
    const std::lock_guard<std::mutex> lock(stateMutex);
    requestedProgram.store(-1, std::memory_order_relaxed);
    keepCurrentValues();
    currentProgram.store(index, std::memory_order_relaxed);
    applyProgram();
    return true;
}

bool Instrument::requestProgram(int index) noexcept {
    if (index < 0 || index >= kProgramCount) return false;
    // The first request of a series fixes what the program left keeps; later
    // ones only change which program loads.
    if (requestedProgram.load(std::memory_order_relaxed) < 0) {
        for (int i = 0; i < kParameterCount; ++i) valuesAtRequest[i] = parameter(i);
        setSinceRequest.store(0, std::memory_order_relaxed);
    }
    requestedProgram.store(index, std::memory_order_relaxed);
    loadRequestedProgram();
    return true;
}

void Instrument::loadRequestedProgram() noexcept {
    const std::unique_lock<std::mutex> lock(stateMutex, std::try_to_lock);
    if (!lock.owns_lock()) return;
    // Read under the lock: a switch or restore that cancelled the request
    // holds the same lock.
    const int index = requestedProgram.exchange(-1, std::memory_order_relaxed);
    if (index < 0) return;
    const std::uint32_t setSince = setSinceRequest.exchange(0, std::memory_order_relaxed);
    ProgramRecord& left = bank->record(program());
    for (int i = 0; i < kParameterCount; ++i)
        left.params[i] = (setSince >> i & 1u) != 0 ? valuesAtRequest[i] : parameter(i);
    currentProgram.store(index, std::memory_order_relaxed);
    applyProgram(setSince);
}

void Instrument::renameProgram(const char* name) {
    if (!name) return;
    const std::lock_guard<std::mutex> lock(stateMutex);
    ProgramRecord& record = bank->record(program());
    std::memset(record.name, 0, sizeof(record.name));
    std::memcpy(record.name, name, strnlen(name, sizeof(record.name)));
}

bool Instrument::programName(int index, char* name) {
    if (index < 0 || index >= kProgramCount) return false;
    const std::lock_guard<std::mutex> lock(stateMutex);
    // The name, zeros up to its full length, and a terminator after it.
    std::strncpy(name, bank->record(index).name, kProgramNameLength);
    name[kProgramNameLength] = 0;
    return true;
}

std::int32_t Instrument::saveState(bool preset, const void** data) {
    const std::lock_guard<std::mutex> lock(stateMutex);
    keepCurrentValues();
    if (preset) {
        for (int i = 0; i < kParameterCount; ++i) presetState[i] = parameter(i);
        *data = presetState;
        return kPresetStateBytes;
    }
    std::memcpy(bankState, bank->data(), sizeof(bankState));
    *data = bankState;
    return kBankStateBytes;
}

bool Instrument::acceptsState(const void* data, std::int32_t bytes, bool preset) noexcept {
    if (!data) return false;
    if (preset && bytes == kPresetStateBytes) {
        float values[kParameterCount];
        std::memcpy(values, data, sizeof(values));
        return allFinite(values, kParameterCount);
    }
    // A bank block is taken whichever kind the host says it is.
    if (bytes != kBankStateBytes) return false;
    ProgramRecord incoming[kProgramCount];
    std::memcpy(incoming, data, sizeof(incoming));
    for (const ProgramRecord& record : incoming)
        if (!allFinite(record.params, kParameterCount)) return false;
    return true;
}

bool Instrument::restoreState(const void* data, std::int32_t bytes, bool preset) {
    if (!acceptsState(data, bytes, preset)) return false;
    const std::lock_guard<std::mutex> lock(stateMutex);
    requestedProgram.store(-1, std::memory_order_relaxed);
    if (preset && bytes == kPresetStateBytes) {
        float values[kParameterCount];
        std::memcpy(values, data, sizeof(values));
        ProgramRecord& record = bank->record(program());
        for (int i = 0; i < kParameterCount; ++i) record.params[i] = ParameterMapping::clampUnit(values[i]);
        applyProgram();
        return true;
    }
    ProgramRecord incoming[kProgramCount];
    std::memcpy(incoming, data, sizeof(incoming));
    for (ProgramRecord& record : incoming)
        for (float& value : record.params) value = ParameterMapping::clampUnit(value);
    std::memcpy(bank->data(), incoming, sizeof(incoming));
    applyProgram();
    return true;
}
