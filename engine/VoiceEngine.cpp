#include "engine/VoiceEngine.h"

#include <bit>

namespace {

constexpr auto kRelaxed = std::memory_order_relaxed;

// Frequency of MIDI note 0, and the semitone ratio the note table is built
// with (slightly short of the exact twelfth root of two; note 69 still lands
// on exactly 440 Hz after rounding to float).
constexpr double kLowestNoteFrequency = 8.175798915636872;
constexpr double kSemitone = 1.059463094359;
constexpr float kInverse255 = 0.003921569f;  // nearest float to 1/255
constexpr float kSquareLevel = 0.3f;

static_assert(std::bit_cast<std::uint32_t>(kInverse255) == 0x3B808081u);

}  // namespace

VoiceEngine::VoiceEngine() : events(std::make_unique<EngineEvent[]>(kQueueSize)) {
    for (auto& p : paramValues) p.store(0.0f, kRelaxed);

    double frequency = kLowestNoteFrequency;
    for (int n = 0; n < kNoteTableSize; ++n) {
        noteFrequency[n] = static_cast<float>(frequency);
        frequency *= kSemitone;
    }
    // Ramp from -0.5 to +0.5 over one period; the square changes sign where
    // the ramp turns positive. Entry 511 is never read.
    for (int i = 0; i < StringVoice::kTableLength; ++i) {
        sawShape[i] = static_cast<float>(i) * 0.5f * kInverse255 - 0.5f;
        squareShape[i] = sawShape[i] > 0.0f ? kSquareLevel : -kSquareLevel;
    }

    // Voice j goes to the front, so the order starts 16, 15, ..., 0 with the
    // reserve voice 0 at the back.
    static_assert(kVoiceCount <= VoiceLanes::kLanes);
    tableBank = std::make_unique<float[]>(VoiceLanes::kBankFloats);
    voiceLanes = std::make_unique<VoiceLanes>();
    voiceLanes->bank = tableBank.get();
    voiceLanes->voiceCount = kVoiceCount;
    for (int j = 0; j < kVoiceCount; ++j) {
        float* tables = tableBank.get() + VoiceLanes::tableStart(j, 0);
        voices[j] = std::make_unique<StringVoice>(paramValues.data(), noteFrequency.data(), sawShape.data(),
                                                  squareShape.data(), &noise, tables);
        voiceLanes->voices[j] = voices[j].get();
        voiceOrder[kVoiceCount - 1 - j] = j;
    }
    recomputeEnvelopeRates();
}

VoiceEngine::~VoiceEngine() = default;

bool VoiceEngine::queue(const EngineEvent& event) noexcept {
    switch (event.kind) {
    case EngineEvent::Start:
        if (startCount >= kMaxStarts) return false;
        ++startCount;
        releaseQueued[event.voice] = false;
        markStarted(event);
        break;
    case EngineEvent::Release:
        if (releaseQueued[event.voice]) return false;
        releaseQueued[event.voice] = true;
        break;
    default:
        if (bendCount >= kMaxBends) return false;
        ++bendCount;
        break;
    }
    events[eventCount++] = event;
    return true;
}

void VoiceEngine::countQueued(int kept) noexcept {
    eventCount = kept;
    startCount = bendCount = 0;
    releaseQueued.fill(false);
    for (auto& notes : startedNotes) notes.reset();
    for (int e = 0; e < kept; ++e) {
        const EngineEvent& event = events[e];
        if (event.kind == EngineEvent::Start) markStarted(event);
        startCount += event.kind == EngineEvent::Start ? 1 : 0;
        bendCount += event.kind == EngineEvent::Bend ? 1 : 0;
        if (event.kind != EngineEvent::Bend) releaseQueued[event.voice] = event.kind == EngineEvent::Release;
    }
}

void VoiceEngine::markStarted(const EngineEvent& start) noexcept {
    const int bit = start.note + kNoteBitOffset;
    if (bit >= 0 && bit < kNoteBits) startedNotes[start.voice].set(static_cast<std::size_t>(bit));
}

void VoiceEngine::moveToBack(int voice) noexcept {
    int position = 0;
    while (voiceOrder[position] != voice) ++position;
    for (; position < kVoiceCount - 1; ++position) voiceOrder[position] = voiceOrder[position + 1];
    voiceOrder[kVoiceCount - 1] = voice;
}

void VoiceEngine::noteOn(int offset, int note, float velocity) noexcept {
    // A note whose start cannot be queued changes nothing at all.
    if (startCount >= kMaxStarts) return;

    // The next reserve: a voice never used, else the least recently chosen
    // released one, else the least recently chosen one even if it is held.
    int next = -1;
    for (int v : voiceOrder) {
        const StringVoice& voice = *voices[v];
        if (v != reserveVoice && !voice.active() && !voice.used()) {
            next = v;
            break;
        }
    }
    if (next < 0) {
        for (int v : voiceOrder) {
            if (v != reserveVoice && voices[v]->released()) {
                next = v;
                break;
            }
        }
    }
    if (next < 0) next = voiceOrder[0];

    EngineEvent start;
    start.kind = EngineEvent::Start;
    start.note = note;
    start.value = velocity;
    start.offset = offset;
    start.voice = reserveVoice;
    queue(start);

    voices[reserveVoice]->markUsed();
    reserveVoice = next;
    // The new reserve fades from the start of the block, not at the offset,
    // so it is silent by the time the next note needs it.
    voices[next]->fadeAsReserve();
    moveToBack(next);
}

void VoiceEngine::noteOff(int offset, int note) noexcept {
    EngineEvent release;
    release.kind = EngineEvent::Release;
    release.offset = offset;
    for (int i = 0; i < kVoiceCount; ++i) {
        const StringVoice& voice = *voices[i];
        if (voice.active() && voice.note() == note && !voice.released()) {
            release.voice = i;
            queue(release);
        }
    }
    // Notes started earlier in this block have not begun to sound yet: each
    // voice with a queued start of the note (releases of different voices at
    // one offset apply in any order alike).
    if (const int bit = note + kNoteBitOffset; bit >= 0 && bit < kNoteBits) {
        for (int v = 0; v < kVoiceCount; ++v) {
            if (startedNotes[v][bit]) {
                release.voice = v;
                queue(release);
            }
        }
        return;
    }
    for (int e = 0; e < eventCount; ++e) {
        if (events[e].kind == EngineEvent::Start && events[e].note == note) {
            release.voice = events[e].voice;
            queue(release);
        }
    }
}

void VoiceEngine::pitchBend(int offset, float value) noexcept {
    EngineEvent bend;
    bend.kind = EngineEvent::Bend;
    bend.value = value;
    bend.offset = offset;
    queue(bend);
}

void VoiceEngine::silenceAll() noexcept {
    for (auto& voice : voices) voice->silence();
}

void VoiceEngine::renderVoices(float* mix, int count) noexcept {
    if (count < 1) return;
    voiceLanes->lanes.volume = paramValues[VoiceParameter::Volume].load(kRelaxed);
    voiceLanes->render(count, mix);
}

bool VoiceEngine::useLanePath(VoiceLanes::Path path) noexcept { return voiceLanes->use(path); }

void VoiceEngine::apply(const EngineEvent& event) noexcept {
    switch (event.kind) {
        case EngineEvent::Start:
            voices[event.voice]->start(event.value, event.note);
            break;
        case EngineEvent::Release:
            voices[event.voice]->release();
            break;
        default:
            break;
    }
}

void VoiceEngine::renderSpan(float* mix, int count, bool wholeBlock) noexcept {
    if (count < 0) count = 0;
    int pos = 0;
    int applied = 0;
    for (; applied < eventCount; ++applied) {
        const EngineEvent& event = events[applied];
        int at = event.offset;
        // Later events of a longer block wait for the next piece. Events
        // queued after them with smaller offsets wait too: queue order holds.
        if (!wholeBlock && at > count) break;
        at = at < pos ? pos : (at > count ? count : at);
        renderVoices(mix + pos, at - pos);
        apply(event);
        pos = at;
    }
    renderVoices(mix + pos, count - pos);

    // Keep what was not applied, counted from the end of this piece. Offsets
    // that now lie behind the piece start are due at its very beginning.
    const int kept = eventCount - applied;
    for (int e = 0; e < kept; ++e) {
        EngineEvent event = events[applied + e];
        event.offset = event.offset > count ? event.offset - count : 0;
        events[e] = event;
    }
    countQueued(kept);
}

void VoiceEngine::render(float* mix, int count) noexcept { renderSpan(mix, count, true); }

void VoiceEngine::renderPartial(float* mix, int count) noexcept { renderSpan(mix, count, false); }

void VoiceEngine::recomputeEnvelopeRates() noexcept {
    const float attack = paramValues[VoiceParameter::Attack].load(kRelaxed);
    const float decay = paramValues[VoiceParameter::Decay].load(kRelaxed);
    const float release = paramValues[VoiceParameter::Release].load(kRelaxed);
    for (auto& voice : voices) voice->setEnvelopeRates(attack, decay, release);
}

void VoiceEngine::parameterChanged(int index) noexcept {
    if (index == VoiceParameter::Attack || index == VoiceParameter::Decay || index == VoiceParameter::Release)
        recomputeEnvelopeRates();
}

void VoiceEngine::setSampleRate(float rate) noexcept {
    for (auto& voice : voices) voice->setSampleRate(rate);
    recomputeEnvelopeRates();
}

float VoiceEngine::getParam(int index) const noexcept {
    if (index < 0 || index >= kParamCount) return 0.0f;
    return paramValues[index].load(kRelaxed);
}

void VoiceEngine::setParam(int index, float value) noexcept {
    if (index < 0 || index >= kParamCount) return;
    paramValues[index].store(value, kRelaxed);
}
