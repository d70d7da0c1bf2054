// The sixteen parameters, one row each: their identifiers, names, panel label
// and unit. The identifiers are fixed for good: hosts, saved songs and the panel
// find a parameter through them, so a rename here loses users' settings
// (tests/plugin/parameter-identifiers.txt holds the committed list). What a
// value means in its unit is ParameterMapping's (instrument/ParameterTable.h).
// Header-only, so that the panel (editor/panel/PanelLayout.h) can name parameters
// without the rest of the instrument.
#pragma once

#include <cstdint>

constexpr int kParameterCount = 16;

namespace ParameterIndex {
enum : int {
    Noise = 0,
    Saw,
    Square,
    PreFilter,
    Damp,
    Velocity,
    Key,
    Body100,
    Body200,
    Body300,
    Attack,
    Decay,
    Release,
    Detune,
    Chorus,
    Volume
};
}

// How a value is shown: percent, decibels (the body bands), or a stage time in
// milliseconds or seconds.
enum class ParameterUnit { Percent, Decibel, AttackTime, DecayTime };

struct ParameterIdentity {
    int index;         // VST 2 parameter index, and the order everywhere
    std::uint32_t id;  // VST3 and CLAP parameter id
    // LV2 port symbol, also the key of the value in VST3 and CLAP saved states
    // (DPF keys them by the symbol): saved LV2 songs hold it.
    const char* symbol;
    const char* name;        // host name, at most 8 characters
    const char* panelLabel;  // the text under the knob on the panel
    ParameterUnit unit;
};

inline constexpr ParameterIdentity kParameterIdentities[kParameterCount] = {
    {ParameterIndex::Noise, 0, "rnd", "RND", "RND", ParameterUnit::Percent},
    {ParameterIndex::Saw, 1, "saw", "SAW", "SAW", ParameterUnit::Percent},
    {ParameterIndex::Square, 2, "sqr", "SQR", "SQR", ParameterUnit::Percent},
    {ParameterIndex::PreFilter, 3, "prefilt", "PreFilt", "Pre Filter", ParameterUnit::Percent},
    {ParameterIndex::Damp, 4, "damp", "Damp", "Damp", ParameterUnit::Percent},
    {ParameterIndex::Velocity, 5, "vel", "Vel", "Vel", ParameterUnit::Percent},
    {ParameterIndex::Key, 6, "key", "Key", "Key", ParameterUnit::Percent},
    {ParameterIndex::Body100, 7, "body100", "Body100", "100", ParameterUnit::Decibel},
    {ParameterIndex::Body200, 8, "body200", "Body200", "200", ParameterUnit::Decibel},
    {ParameterIndex::Body300, 9, "body300", "Body300", "300", ParameterUnit::Decibel},
    {ParameterIndex::Attack, 10, "attack", "Attack", "Attack", ParameterUnit::AttackTime},
    {ParameterIndex::Decay, 11, "decay", "Decay", "Decay", ParameterUnit::DecayTime},
    {ParameterIndex::Release, 12, "release", "Release", "Release", ParameterUnit::DecayTime},
    {ParameterIndex::Detune, 13, "detune", "Detune", "Detune", ParameterUnit::Percent},
    {ParameterIndex::Chorus, 14, "chorus", "Chorus", "Chorus", ParameterUnit::Percent},
    {ParameterIndex::Volume, 15, "volume", "Volume", "Volume", ParameterUnit::Percent},
};
