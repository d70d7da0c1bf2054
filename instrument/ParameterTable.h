// The instrument's sixteen parameters: their row (identity/ParameterIdentity.h),
// what each 0..1 value means to the sound, and how it is shown to the user and
// read back from typed text. The instrument, every format layer and the display
// texts read from here.
#pragma once

#include <cstddef>

#include "engine/VoiceEnvelope.h"
#include "instrument/identity/ParameterIdentity.h"

// The parameter with this index, or null outside 0..15.
const ParameterIdentity* parameterInfo(int index) noexcept;

// What a knob value means, and its inverse for typed values. The sound is
// computed in float and the display in double from the same formula, so the
// texts show exactly what the knob does; the envelope's stage times are the
// envelope's own (VoiceEnvelope).
namespace ParameterMapping {
// Body bands: -18 dB at 0, 0 dB at 0.5, +18 dB at 1.
constexpr int kBodyRangeDecibels = 18;
template <typename T>
constexpr T bodyGainDecibels(T value) noexcept {
    return ((value * T(2)) - T(1)) * T(kBodyRangeDecibels);
}
constexpr double bodyGainKnob(double decibels) noexcept {
    return (decibels / kBodyRangeDecibels + 1.0) / 2.0;
}
// Envelope stage times in seconds.
template <typename T>
constexpr T attackSeconds(T value) noexcept {
    return VoiceEnvelope::attackSeconds(value);
}
template <typename T>
constexpr T decaySeconds(T value) noexcept {
    return VoiceEnvelope::decaySeconds(value);
}
// The knob giving a stage time (0 below the shortest).
double attackKnob(double seconds) noexcept;
double decayKnob(double seconds) noexcept;
// The chorus runs at half the knob's value.
constexpr float chorusDepth(float value) noexcept { return value * 0.5f; }
// A knob value from any source: NaN reads as 0, the rest is held to 0..1.
constexpr float clampUnit(float value) noexcept {
    if (!(value >= 0.0f)) return 0.0f;
    return value > 1.0f ? 1.0f : value;
}
}  // namespace ParameterMapping

// Host texts. Each writes a NUL-terminated text of at most 8 characters (9 bytes)
// and writes an empty text for an unknown index.
constexpr int kParameterTextBytes = 9;
void formatParameterName(int index, char* text) noexcept;
void formatParameterDisplay(int index, float value, char* text) noexcept;
void formatParameterLabel(int index, float value, char* text) noexcept;

// The value in the unit the user reads: percent, dB, or seconds.
double parameterInUnits(int index, float value) noexcept;

// The value text hosts show beside a knob: display and label, "+3.5 dB",
// "120 ms", free of the host's locale. False for an unknown index or when the
// text and its terminator do not fit in size bytes.
bool formatParameterValueText(int index, float value, char* text, std::size_t size) noexcept;
// A typed value: a number in the parameter's unit (a point or a decimal comma,
// the unit optional: milliseconds for times unless it says "s"), held to 0..1.
// Of the knob values around it, one that shows the text as typed is taken, so
// that a shown text typed back shows itself again. False, with *value
// untouched, for no number or a unit the parameter does not have.
bool readParameterText(int index, const char* text, float* value) noexcept;
