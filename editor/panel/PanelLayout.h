// The panel's fixed geometry at 1x: window size, knob frame geometry, the bitmap
// resource numbers, where the readout shows and in what colours the editor
// draws, and where each of the sixteen knobs sits. At 2x every
// position and length doubles and the bitmaps come from the 2x resources. The editor places
// its knobs from this table and the artwork generator draws the labels and the
// knob pictures of the background at the same places.
#pragma once

#include <cstdint>

#include "instrument/identity/ParameterIdentity.h"

namespace panel {

constexpr int kWidth = 512;
constexpr int kHeight = 272;

// Knob film strip: 64 frames of 24 x 24 pixels stacked top to bottom.
constexpr int kKnobSize = 24;
constexpr int kFrameCount = 64;
constexpr int kStripHeight = kKnobSize * kFrameCount;

// Bitmap resources of the module.
constexpr int kMaskBitmapId = 101;
constexpr int kBackgroundBitmapId = 102;
constexpr int kStripBitmapId = 103;
// The same at twice the resolution.
constexpr int kMaskBitmap2xId = 201;
constexpr int kBackgroundBitmap2xId = 202;
constexpr int kStripBitmap2xId = 203;

// The free strip under the subtitle on the right, where the value readout
// shows (x, y, width, height at 1x).
constexpr int kReadoutX = 300;
constexpr int kReadoutY = 170;
constexpr int kReadoutWidth = 200;
constexpr int kReadoutHeight = 20;

// The colours of what the editor draws over the artwork, 0x00RRGGBB, in the
// artwork's palette: the readout's amber text, and the menu drawn where the
// window system has none (its ground, border, item under the pointer, text,
// and the mark of the size in force).
constexpr std::uint32_t kReadoutColour = 0xF4B860;
constexpr std::uint32_t kMenuGround = 0x1C1C1E;
constexpr std::uint32_t kMenuBorder = 0x6E6E72;
constexpr std::uint32_t kMenuHot = 0x5C3E18;
constexpr std::uint32_t kMenuText = 0xDCDCD6;
constexpr std::uint32_t kMenuMark = 0xF4A850;

struct Knob {
    int paramIndex;
    int x;  // top-left corner in window pixels
    int y;
    const char* label;  // text printed under the knob on the panel
    float snapRange;    // half-width of the detent, 0 for none
    float snapPoint;    // value the detent holds
};

// The knob of a parameter at (x, y), labelled as the parameter table says.
constexpr Knob knob(int parameter, int x, int y, float snapRange = 0.0f, float snapPoint = 0.0f) {
    return {parameter, x, y, kParameterIdentities[parameter].panelLabel, snapRange, snapPoint};
}

// Creation order, which is also the order of hit testing and drawing.
inline constexpr Knob kKnobs[kParameterCount] = {
    knob(ParameterIndex::Noise, 16, 32),
    knob(ParameterIndex::Square, 56, 32),
    knob(ParameterIndex::Saw, 96, 32),
    knob(ParameterIndex::PreFilter, 136, 32),
    knob(ParameterIndex::Damp, 176, 32),
    knob(ParameterIndex::Velocity, 136, 88),
    knob(ParameterIndex::Key, 176, 88),
    // The body bands rest at 0.5, their 0 dB point.
    knob(ParameterIndex::Body100, 96, 144, 0.05f, 0.5f),
    knob(ParameterIndex::Body200, 136, 144, 0.05f, 0.5f),
    knob(ParameterIndex::Body300, 176, 144, 0.05f, 0.5f),
    knob(ParameterIndex::Attack, 16, 200),
    knob(ParameterIndex::Decay, 57, 200),
    knob(ParameterIndex::Release, 97, 200),
    knob(ParameterIndex::Detune, 176, 200),
    knob(ParameterIndex::Chorus, 216, 200),
    knob(ParameterIndex::Volume, 256, 200),
};

}  // namespace panel
