#pragma once

#include <array>
#include <atomic>
#include <bitset>
#include <cstdint>
#include <memory>

#include "engine/EngineEvent.h"
#include "engine/StringVoice.h"
#include "engine/VoiceLanes.h"

// The polyphonic engine: 17 string voices, one of them always held silent in
// reserve for the next note (so at most 16 sound), the tables they share, the
// live values of the knobs the voices read (VoiceParameter) and the
// timed-event queue of the current block.
// It runs at twice the host rate: every count and offset is in engine samples.
// Notes are engine notes, the MIDI note minus 12.
//
// Threads: note, bend, silence, sample-rate and render calls must not overlap.
// Parameter values (setParam/getParam) and envelope-rate recomputation may
// come from any thread at any time. Nothing here allocates, locks or throws
// after construction.
class VoiceEngine {
public:
    static constexpr int kVoiceCount = 17, kParamCount = VoiceParameter::Count;
    // The block's queue, allocated once. Note starts one block can hold (far
    // more than any host sends in one block; a note on beyond them changes
    // nothing) and bends beside them. A note off is never dropped: a release
    // is queued only where the voice's last queued event is no release, so a
    // block holds at most one release per start plus one per voice.
    static constexpr int kMaxStarts = 4096, kMaxBends = 128;
    static constexpr int kMaxReleases = kMaxStarts + kVoiceCount;
    static constexpr int kQueueSize = kMaxStarts + kMaxReleases + kMaxBends;
    static constexpr int kNoteTableSize = StringVoice::kNoteTableSize;
    static constexpr int kShapeTableSize = StringVoice::kWaveSize;

    VoiceEngine();
    ~VoiceEngine();
    VoiceEngine(const VoiceEngine&) = delete;
    VoiceEngine& operator=(const VoiceEngine&) = delete;

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

    // Adds `count` samples of all voices into mix, applying every queued
    // event at its offset, then empties the queue. Offsets are clamped into
    // [previous event's, count].
    void render(float* mix, int count) noexcept;
    // The first `count` samples of a longer block: applies the queued events
    // that fall inside and keeps the later ones, moved back by `count`. A block
    // rendered as pieces ending with render() is identical to one render().
    void renderPartial(float* mix, int count) noexcept;
    // Drops the queued events unapplied, for a block that is not rendered.
    // Choices of the reserve already made stand.
    void discardEvents() noexcept { countQueued(0); }

    // Call after setParam(index); Attack, Decay and Release recompute every
    // voice's envelope rates. Any thread.
    void parameterChanged(int index) noexcept;
    // Every voice's envelope rates from the current Attack, Decay and Release.
    void recomputeEnvelopeRates() noexcept;
    // Engine rate (twice the host rate); pitches of sounding notes keep theirs.
    void setSampleRate(float rate) noexcept;

    float getParam(int index) const noexcept;
    void setParam(int index, float value) noexcept;

    // The instruction set the voices render with: the fastest the processor
    // has, chosen at construction. Tests may force any available one; every
    // path renders the same bits. Returns false (and changes nothing) for a
    // path this processor or build cannot run.
    bool useLanePath(VoiceLanes::Path path) noexcept;
    VoiceLanes::Path lanePath() const noexcept { return voiceLanes->path(); }

    // Diagnostics.
    const StringVoice& voice(int i) const noexcept { return *voices[i]; }
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
    // Keeps the first `kept` events and recounts what they hold.
    void countQueued(int kept) noexcept;
    void markStarted(const EngineEvent& start) noexcept;
    void moveToBack(int voice) noexcept;

    // The voices' tables, two per voice, lanes interleaved (see VoiceLanes).
    std::unique_ptr<float[]> tableBank;
    std::unique_ptr<VoiceLanes> voiceLanes;
    std::array<std::unique_ptr<StringVoice>, kVoiceCount> voices;
    // Every voice index once, least recently chosen first; the reserve is last.
    std::array<int, kVoiceCount> voiceOrder{};
    std::unique_ptr<EngineEvent[]> events;
    int eventCount = 0;  // every queued event, in queue order
    int startCount = 0, bendCount = 0;
    // Whether a voice's last queued event is a release (a second one would change nothing).
    std::array<bool, kVoiceCount> releaseQueued{};
    // The engine notes (MIDI's, moved by kNoteBitOffset) each voice has a
    // queued start of, so that a note off finds them without a search; notes
    // outside are searched for.
    static constexpr int kNoteBitOffset = 12, kNoteBits = 128;
    std::array<std::bitset<kNoteBits>, kVoiceCount> startedNotes{};
    int reserveVoice = 0;
    std::array<std::atomic<float>, kParamCount> paramValues;
    std::array<float, kNoteTableSize> noteFrequency{};
    std::array<float, kShapeTableSize> sawShape{};
    std::array<float, kShapeTableSize> squareShape{};
    // The noise generator of this engine's voices.
    std::uint32_t noise = StringVoice::kNoiseSeed;
};
