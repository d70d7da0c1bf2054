// The instrument's sixteen parameters in one place: their identifiers
// (identity/ParameterIdentity.h), unit, what each 0..1 value means to the
// sound, and how it is shown to the user.
// The instrument, every format layer and the display texts read from here.
#pragma once

#include "engine/VoiceEnvelope.h"
#include "instrument/identity/ParameterIdentity.h"

enum class ParameterUnit { Percent, Decibel, AttackTime, DecayTime };

struct ParameterInfo {
    int index;
    const char* name;  // host name, at most 8 characters
    ParameterUnit unit;
};

// The parameter with this index, or null outside 0..15.
const ParameterInfo* parameterInfo(int index) noexcept;

// What a knob value means. The sound is computed in float and the display in
// double from the same formula, so the texts show exactly what the knob does;
// the envelope's stage times are the envelope's own (VoiceEnvelope).
namespace ParameterMapping {
// Body bands: -18 dB at 0, 0 dB at 0.5, +18 dB at 1.
template <typename T>
constexpr T bodyGainDecibels(T value) noexcept {
    return ((value * T(2)) - T(1)) * T(18);
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
