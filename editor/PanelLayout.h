// The panel's fixed geometry at 1x: window size, knob frame geometry, the bitmap
// resource numbers and where each of the sixteen knobs sits. At 2x every
// position and length doubles and the bitmaps come from the 2x resources. The editor places
// its knobs from this table and the artwork generator draws the labels and the
// knob pictures of the background at the same places.
#pragma once

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

struct Knob {
    int paramIndex;
    int x;  // top-left corner in window pixels
    int y;
    const char* label;  // text printed under the knob on the panel
    float snapRange;    // half-width of the detent, 0 for none
    float snapPoint;    // value the detent holds
};

// Creation order, which is also the order of hit testing and drawing.
inline constexpr Knob kKnobs[16] = {
    {0, 16, 32, "RND", 0.0f, 0.0f},
    {2, 56, 32, "SQR", 0.0f, 0.0f},
    {1, 96, 32, "SAW", 0.0f, 0.0f},
    {3, 136, 32, "Pre Filter", 0.0f, 0.0f},
    {4, 176, 32, "Damp", 0.0f, 0.0f},
    {5, 136, 88, "Vel", 0.0f, 0.0f},
    {6, 176, 88, "Key", 0.0f, 0.0f},
    // The body bands rest at 0.5, their 0 dB point.
    {7, 96, 144, "100", 0.05f, 0.5f},
    {8, 136, 144, "200", 0.05f, 0.5f},
    {9, 176, 144, "300", 0.05f, 0.5f},
    {10, 16, 200, "Attack", 0.0f, 0.0f},
    {11, 57, 200, "Decay", 0.0f, 0.0f},
    {12, 97, 200, "Release", 0.0f, 0.0f},
    {13, 176, 200, "Detune", 0.0f, 0.0f},
    {14, 216, 200, "Chorus", 0.0f, 0.0f},
    {15, 256, 200, "Volume", 0.0f, 0.0f},
};

}  // namespace panel
