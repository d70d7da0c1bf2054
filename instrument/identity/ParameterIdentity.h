// The sixteen parameters' identifiers, each fixed for good: hosts, saved songs
// and the panel find a parameter through them, so a rename here loses users'
// settings (tests/plugin/parameter-identifiers.txt holds the committed list).
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

struct ParameterIdentity {
    int index;         // VST 2 parameter index, and the order everywhere
    std::uint32_t id;  // VST3 and CLAP parameter id
    // LV2 port symbol, also the key of the value in VST3 and CLAP saved states
    // (DPF keys them by the symbol): saved LV2 songs hold it.
    const char* symbol;
    const char* name;        // host name, at most 8 characters
    const char* panelLabel;  // the text under the knob on the panel
};

inline constexpr ParameterIdentity kParameterIdentities[kParameterCount] = {
    {ParameterIndex::Noise, 0, "rnd", "RND", "RND"},
    {ParameterIndex::Saw, 1, "saw", "SAW", "SAW"},
    {ParameterIndex::Square, 2, "sqr", "SQR", "SQR"},
    {ParameterIndex::PreFilter, 3, "prefilt", "PreFilt", "Pre Filter"},
    {ParameterIndex::Damp, 4, "damp", "Damp", "Damp"},
    {ParameterIndex::Velocity, 5, "vel", "Vel", "Vel"},
    {ParameterIndex::Key, 6, "key", "Key", "Key"},
    {ParameterIndex::Body100, 7, "body100", "Body100", "100"},
    {ParameterIndex::Body200, 8, "body200", "Body200", "200"},
    {ParameterIndex::Body300, 9, "body300", "Body300", "300"},
    {ParameterIndex::Attack, 10, "attack", "Attack", "Attack"},
    {ParameterIndex::Decay, 11, "decay", "Decay", "Decay"},
    {ParameterIndex::Release, 12, "release", "Release", "Release"},
    {ParameterIndex::Detune, 13, "detune", "Detune", "Detune"},
    {ParameterIndex::Chorus, 14, "chorus", "Chorus", "Chorus"},
    {ParameterIndex::Volume, 15, "volume", "Volume", "Volume"},
};
