// The instrument itself, apart from any plug-in format: the voice engine, the
// output stage (half-band filter, three body resonators, chorus), the program
// bank and the saved state. A format layer only translates its host's requests
// into these calls; everything the instrument does is decided here.
//
// Threads. render() and the note calls belong to the audio thread and must not
// overlap each other; they allocate, lock and throw nothing. Parameters may be
// set and read from any thread at any time. Program and state calls may come
// from any non-audio thread and are serialised among themselves; the audio
// thread changes programs only through requestProgram(), which never waits. prepare(),
// unprepare() and setSampleRate() are the host's control calls: never during
// render().
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

#include "instrument/ParameterTable.h"
#include "instrument/ProgramBank.h"

class BodyResonator;
class HalfBandFilter;
class StereoChorus;
class VoiceEngine;

class Instrument {
public:
    static constexpr int kProgramCount = 8;
    static constexpr int kBodyBands = 3;
    // Longest piece rendered at once; longer blocks are rendered in pieces with
    // the same result, so an absurd announced block size costs no memory.
    static constexpr int kMaxWorkFrames = 16384;
    // No audio interface runs faster; higher rates are ignored like invalid ones.
    static constexpr float kMaxSampleRate = 768000.0f;
    static constexpr float kDefaultSampleRate = 44100.0f;
    // Note ons one block takes (beyond them a note on is dropped whole); a
    // note off is never dropped.
    static constexpr int kMaxNoteOnsPerBlock = 4096;
    static constexpr int kProgramNameLength = 24;  // characters, without a terminator
    static constexpr std::int32_t kPresetStateBytes = kParameterCount * 4;
    static constexpr std::int32_t kBankStateBytes =
        kProgramCount * static_cast<std::int32_t>(sizeof(ProgramRecord));

    Instrument();
    ~Instrument();
    Instrument(const Instrument&) = delete;
    Instrument& operator=(const Instrument&) = delete;

    // The host's sample rate. A rate that is not finite, below the smallest
    // normal float or above kMaxSampleRate is ignored (false). The engine runs
    // at twice this rate.
    bool setSampleRate(float hostRate) noexcept;
    float sampleRate() const noexcept { return hostRate; }
    // The work buffer for blocks of up to maxFrames (any positive count); false
    // when out of memory, and blocks then render silence until the next call.
    bool prepare(int maxFrames) noexcept;
    // Frees the work buffer: blocks render silence and drop their events.
    void unprepare() noexcept;

    // Parameter values 0..1, clamped; NaN is ignored. True when the stored
    // value changed.
    bool setParameter(int index, float value) noexcept;
    float parameter(int index) const noexcept;

    // Notes for the next render(), at a frame of that block (frames outside it
    // land at its edges). Velocity is MIDI's 1..127; the pitch bend is the
    // 14-bit MIDI value, 8192 the middle.
    void noteOn(int frame, int midiNote, int velocity) noexcept;
    void noteOff(int frame, int midiNote) noexcept;
    void pitchBend(int frame, int value) noexcept;
    // Every note stops at once (MIDI controllers 123 and 126).
    void allNotesOff() noexcept;
    // One channel message of up to three bytes; the channel is ignored. Note on
    // with velocity 0 is a note off; other messages do nothing. Every layer's
    // raw MIDI comes here: a data byte above 127 keeps its low seven bits (as
    // saved VST 2 songs have always played).
    void midiMessage(int frame, unsigned char status, unsigned char data1, unsigned char data2) noexcept;

    // Renders frames into both channels, applying the notes sent since the last
    // call at their frames. Any frame count; nothing happens for 0 or less.
    void render(float* left, float* right, int frames) noexcept;

    // Programs.
    int program() const noexcept { return currentProgram.load(std::memory_order_relaxed); }
    // Keeps the current values in the current program and loads another one;
    // false (and nothing changes) outside 0..7.
    bool selectProgram(int index);
    // A program change from the audio thread (MIDI, a host's program list),
    // never waiting: loaded at once when the program lock is free, else at the
    // start of the first render() that finds it free. The latest change wins:
    // a later request replaces a pending one, and selectProgram() or a restored
    // state from another thread cancels it. As with every switch, the program
    // left keeps its edits; values set after the request (a host's parameter
    // changes in the same block) stay on top of the program when it loads.
    // False, with nothing changed, outside 0..7. Audio thread only.
    bool requestProgram(int index) noexcept;
    // Whether a requested program is still to load.
    bool programPending() const noexcept { return requestedProgram.load(std::memory_order_relaxed) >= 0; }
    // Renames the current program: at most 24 characters are kept.
    void renameProgram(const char* name);
    // The program's name, NUL-terminated in name[0..24]; false outside 0..7.
    bool programName(int index, char* name);

    // Saved state: the current program's 16 values (preset, 64 bytes) or the
    // whole bank of eight named programs (704 bytes). The data stays valid
    // until the next saveState() call.
    std::int32_t saveState(bool preset, const void** data);
    // Accepts only a block of exactly the right size with finite values (each
    // held to 0..1); anything else is refused and nothing changes.
    bool restoreState(const void* data, std::int32_t bytes, bool preset);
    // Whether restoreState() would accept the block, without touching anything.
    static bool acceptsState(const void* data, std::int32_t bytes, bool preset) noexcept;

    // For tests inside the process.
    VoiceEngine& voiceEngine() noexcept { return *engine; }

private:
    void renderPiece(float* left, float* right, int frames, float chorusAmount, bool lastPiece) noexcept;
    // Stores a parameter's value, and hands it to the engine if the voices read it.
    void storeValue(int index, float value) noexcept;
    void requestBody(int band, float value) noexcept;
    void applyBodyRequests() noexcept;
    void setupBody(int band) noexcept;
    // Loads the current program's values, except those whose bit is set in
    // keptValues, which keep what they hold.
    void applyProgram(std::uint32_t keptValues = 0) noexcept;
    void keepCurrentValues() noexcept;
    // Loads a requested program if the program lock is free (audio thread).
    void loadRequestedProgram() noexcept;
    void releaseBuffers() noexcept;

    float hostRate = kDefaultSampleRate;
    float* mixBuffer = nullptr;  // the voices' mix at the engine rate
    int bufferFrames = 0;        // host frames the mix buffer holds
    std::unique_ptr<ProgramBank> bank;
    std::unique_ptr<VoiceEngine> engine;
    std::unique_ptr<HalfBandFilter> halfBandFilter;
    std::unique_ptr<BodyResonator> resonators[kBodyBands];
    std::unique_ptr<StereoChorus> chorus;
    std::atomic<int> currentProgram{0};
    // The parameters' current values, set and read from any thread.
    std::atomic<float> values[kParameterCount];

    // Body gains are set from any thread; the audio thread picks up each band's
    // latest (Q, gain) pair whole at the start of a block, so a block never runs
    // with half of a coefficient set.
    std::atomic<std::uint64_t> bodyRequest[kBodyBands];
    std::uint64_t bodyApplied[kBodyBands] = {};

    // Copies handed out by saveState: the caller reads them after the call
    // returns, while other threads may rewrite the bank itself.
    float presetState[kParameterCount] = {};
    alignas(float) unsigned char bankState[kBankStateBytes] = {};
    // A program requested from the audio thread and not loaded yet (-1: none).
    std::atomic<int> requestedProgram{-1};
    // One bit per parameter set since the pending request was made.
    std::atomic<std::uint32_t> setSinceRequest{0};
    // The values when the pending request was made: what the program left keeps
    // of the parameters set since. Audio thread only.
    float valuesAtRequest[kParameterCount] = {};

    // Serialises program switches, renames and state saves and restores. The
    // audio thread only ever tries it (requestProgram).
    std::mutex stateMutex;
};
