// The instrument's panel artwork, drawn by code: the knob film strip, the knob
// mask and the background picture, each as the bytes of a BMP file. The same
// build always produces the same bytes.
#pragma once

#include <cstdint>
#include <vector>

namespace panelart {

// Each bitmap at scale 1 (the panel's own size) or 2 (twice the resolution,
// every shape and letter drawn on the finer grid).
// 24 x 24, 8 bits with a two-colour palette: black disc, white corners.
std::vector<std::uint8_t> maskBmp(int scale = 1);
// 24 x 1536, 32 bits: 64 frames of the knob, top to bottom.
std::vector<std::uint8_t> stripBmp(int scale = 1);
// 512 x 272, 24 bits: the panel with its knobs, labels, group bars and title.
std::vector<std::uint8_t> backgroundBmp(int scale = 1);

// Pointer angle of frame n in degrees clockwise from twelve o'clock.
double pointerAngle(int frame);

}  // namespace panelart
