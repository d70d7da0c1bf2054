// What the tool plays: MIDI messages and program switches at times in seconds,
// in the order they happen. A MIDI file and the built-in demo both become one.
#pragma once

#include <cstdint>
#include <vector>

struct TimedEvent {
    enum class Kind : unsigned char { Midi, Program };

    double seconds = 0.0;
    Kind kind = Kind::Midi;
    unsigned char status = 0;  // Midi: a channel message
    unsigned char data1 = 0;
    unsigned char data2 = 0;
    // Midi: how many times in a row the message is sent. The reader releases
    // a key struck again and again and never let go with one event and the
    // number of its strikes, not one event for each.
    std::uint16_t repeats = 1;
    std::uint16_t program = 0;  // Program: the program the host switches to (effSetProgram)
};
// A long MIDI file becomes millions of events, held once: kept small.
static_assert(sizeof(TimedEvent) == 16);

struct Timeline {
    std::vector<TimedEvent> events;  // sorted by time; equal times keep their order
    double lengthSeconds = 0.0;      // where the piece ends (at or after the last event)
};

// The host frame of a time: the nearest frame at this sample rate.
std::int64_t frameAt(double seconds, double sampleRate);
