// The instrument as the standalone application plays it: MIDI from the audio
// system at frames of each period, and notes from other threads (the computer
// keyboard, MIDI inputs that deliver on threads of their own) through a queue
// that applies them at the start of the next period. A program change 0..7
// selects that program at its frame: the period is rendered in two pieces
// around it, as a host switching programs between two blocks would. The audio
// thread never waits for the instrument's program lock: the instrument takes
// a change that finds it held at the next period (Instrument::requestProgram).
#pragma once

#include <atomic>
#include <cstdint>

#include "instrument/Instrument.h"

struct MidiBytes {
    std::uint32_t frame;  // within the period; ignored for queued messages
    unsigned char status, data1, data2;
};

class StandaloneSynth {
public:
    // Control thread: before the audio runs, and after it stopped.
    void start(float rate, int maxFrames);
    void stop() { core.unprepare(); }
    Instrument& instrument() { return core; }

    // Any thread but the audio thread, any number of them: the message is
    // applied at the start of the next period. False when the queue is full.
    bool post(unsigned char status, unsigned char data1, unsigned char data2) noexcept;

    // Audio thread: renders a period, applying the queued messages at its
    // start and then events (in frame order) at their frames.
    void process(float* left, float* right, int frames, const MidiBytes* events, int count) noexcept;

    // How many program changes took effect, for the window to follow them.
    unsigned programChanges() const noexcept { return changeCount.load(std::memory_order_relaxed); }

private:
    void apply(int frame, const MidiBytes& event) noexcept;
    void changeProgram(int program) noexcept;

    Instrument core;
    std::atomic<unsigned> changeCount{0};

    // A bounded queue for many producers and one consumer: each slot carries
    // the turn at which it may be written and read.
    static constexpr std::uint32_t kSlots = 1024;
    struct Slot {
        std::atomic<std::uint32_t> turn{0};
        MidiBytes bytes{};
    };
    Slot slots[kSlots];
    std::atomic<std::uint32_t> writeAt{0};
    std::uint32_t readAt = 0;  // the audio thread's own
    bool queueReady = false;
};
