// The instrument's sixteen parameters in one place: index, host name, panel
// label, and how each value is shown to the user. The host texts and the editor
// both read from here.
#pragma once

enum class ParameterUnit { Percent, Decibel, AttackTime, DecayTime };

struct ParameterInfo {
    int index;
    const char* name;        // host name, at most 8 characters
    const char* panelLabel;  // text printed under the knob
    ParameterUnit unit;
};

constexpr int kParameterCount = 16;

namespace ParameterIndex {
enum : int {
    Noise = 0, Saw, Square, PreFilter, Damp, Velocity, Key,
    Body100, Body200, Body300,
    Attack, Decay, Release, Detune, Chorus, Volume
};
}

// The parameter with this index, or null outside 0..15.
const ParameterInfo* parameterInfo(int index) noexcept;
// Index of the parameter with this host name or panel label (case-insensitive), or -1.
int findParameter(const char* name) noexcept;

// Host texts. Each writes a NUL-terminated text of at most 8 characters (9 bytes)
// and writes an empty text for an unknown index.
void formatParameterName(int index, char* text) noexcept;
void formatParameterDisplay(int index, float value, char* text) noexcept;
void formatParameterLabel(int index, float value, char* text) noexcept;

// The value in the unit the user reads: percent, dB, or seconds.
double parameterInUnits(int index, float value) noexcept;
