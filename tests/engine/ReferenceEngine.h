// The voice engine as it was before its voices ran side by side in SIMD lanes:
// one voice at a time, every operation scalar, each once-per-period smoothing
// pass done the moment head 0 wraps. Kept as the reference that the engine must
// equal bit for bit.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>

#include "engine/EngineEvent.h"
#include "tests/engine/ReferenceVoice.h"

// The polyphonic engine: 17 string voices, one of them always held silent in
// reserve for the next note (so at most 16 sound), the tables they share, the
// 16 live parameter values and the timed-event queue of the current block.
// It runs at twice the host rate: every count and offset is in engine samples.
// Notes are engine notes, the MIDI note minus 12.
//
// Threads: note, bend, silence, sample-rate and render calls must not overlap.
// Parameter values (setParam/getParam) and envelope-rate recomputation may
// come from any thread at any time. Nothing here allocates, locks or throws
// after construction.
class ReferenceEngine {
public:
    static constexpr int kVoiceCount = 17, kParamCount = VoiceParameter::Count;
    // Note starts one block can hold (beyond them a note on changes nothing)
    // and bends beside them; a release is queued only where the voice's last
    // queued event is no release, so note offs always fit.
    static constexpr int kMaxStarts = 4096, kMaxBends = 128;
    static constexpr int kQueueSize = 2 * kMaxStarts + kVoiceCount + kMaxBends;
    static constexpr int kNoteTableSize = ReferenceVoice::kNoteTableSize;
    static constexpr int kShapeTableSize = ReferenceVoice::kWaveSize;

    ReferenceEngine();
    ~ReferenceEngine();
    ReferenceEngine(const ReferenceEngine&) = delete;
    ReferenceEngine& operator=(const ReferenceEngine&) = delete;

    // Hands the note to the reserve voice (queued at `offset`) and picks and
    // fades the next reserve at once.
    void noteOn(int offset, int note, float velocity) noexcept;
    // Queues a release for every sounding voice of `note` and for every start
    // of `note` already queued in this block.
    void noteOff(int offset, int note) noexcept;
    // Queued only as a split point of the block; it bends nothing and takes
    // no slot of the note events.
    void pitchBend(int offset, float value) noexcept;
    // Every voice stops contributing at once; the queue is kept.
    void silenceAll() noexcept;

    // Adds `count` samples of all voices into mix, applying every queued event
    // at its offset, then empties the queue. Offsets are clamped into
    // [previous event's, count].
    void render(float* mix, int count) noexcept;
    // The first `count` samples of a longer block: applies the queued events
    // that fall inside and keeps the later ones, moved back by `count`. A block
    // rendered as pieces ending with render() is identical to one render().
    void renderPartial(float* mix, int count) noexcept;
    // Drops the queued events unapplied, for a block that is not rendered.
    // Choices of the reserve already made stand.
    void discardEvents() noexcept { countQueued(0); }

    // Call after setParam(index); Attack, Decay and Release
    // recompute every voice's envelope rates. Any thread.
    void parameterChanged(int index) noexcept;
    // Every voice's envelope rates from the current Attack, Decay and Release.
    void recomputeEnvelopeRates() noexcept;
    // Engine rate (twice the host rate); pitches of sounding notes keep theirs.
    void setSampleRate(float rate) noexcept;

    float getParam(int index) const noexcept;
    void setParam(int index, float value) noexcept;

    // Diagnostics.
    const ReferenceVoice& voice(int i) const noexcept { return *voices[i]; }
    int reserve() const noexcept { return reserveVoice; }
    int queuedEvents() const noexcept { return eventCount; }
    const EngineEvent& event(int i) const noexcept { return events[i]; }
    // Voice index at `position` of the least-recently-chosen order (0 = front).
    int voiceOrderAt(int position) const noexcept { return voiceOrder[position]; }
    std::uint32_t noiseState() const noexcept { return noise; }
    const float* noteFrequencyTable() const noexcept { return noteFrequency.data(); }
    const float* sawTable() const noexcept { return sawShape.data(); }
    const float* squareTable() const noexcept { return squareShape.data(); }
    const std::atomic<float>* params() const noexcept { return paramValues.data(); }

private:
    void renderSpan(float* mix, int count, bool wholeBlock) noexcept;
    void renderVoices(float* mix, int count) noexcept;
    void apply(const EngineEvent& event) noexcept;
    bool queue(const EngineEvent& event) noexcept;
    void moveToBack(int voice) noexcept;

    std::array<std::unique_ptr<ReferenceVoice>, kVoiceCount> voices;
    // The voices' work space.
    static constexpr int kWorkSamples = 1024;
    std::array<float, kWorkSamples> work{};
    // Every voice index once, least recently chosen first; the reserve is last.
    std::array<int, kVoiceCount> voiceOrder{};
    std::unique_ptr<EngineEvent[]> events = std::make_unique<EngineEvent[]>(kQueueSize);
    int eventCount = 0;  // every queued event, in queue order
    int startCount = 0, bendCount = 0;
    std::array<bool, kVoiceCount> releaseQueued{};  // the voice's last queued event is a release
    void countQueued(int kept) noexcept;
    int reserveVoice = 0;
    std::array<std::atomic<float>, kParamCount> paramValues;
    std::array<float, kNoteTableSize> noteFrequency{};
    std::array<float, kShapeTableSize> sawShape{};
    std::array<float, kShapeTableSize> squareShape{};
    // The noise generator of this engine's voices.
    std::uint32_t noise = ReferenceVoice::kNoiseSeed;
};
