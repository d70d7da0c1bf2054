// The instrument's panel artwork, drawn by code: the knob film strip, the knob
// mask and the background picture, each as the bytes of a BMP file. The same
// build always produces the same bytes.
#pragma once

#include <cstdint>
#include <vector>

namespace panelart {

// 24 x 24, 8 bits with a two-colour palette: black disc, white corners.
std::vector<std::uint8_t> maskBmp();
// 24 x 1536, 32 bits: 64 frames of the knob, top to bottom.
std::vector<std::uint8_t> stripBmp();
// 512 x 272, 24 bits: the panel with its knobs, labels, group bars and title.
std::vector<std::uint8_t> backgroundBmp();

// Pointer angle of frame n in degrees clockwise from twelve o'clock.
double pointerAngle(int frame);

}  // namespace panelart
