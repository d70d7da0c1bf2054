// The panel's pixel font: a small proportional face of our own, capitals and
// figures 7 pixels high, lower case with 2-pixel descenders. The artwork
// generator sets the panel's labels with it and the editor its value readout
// and menu, so both read alike. At twice the size the glyphs are drawn on the
// finer grid: each pixel becomes four, and the notches of diagonal strokes are
// filled in, so slopes come out smooth rather than stepped.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace pixelfont {

// Height of a line of text at 1x, descenders included.
constexpr int kLineHeight = 9;

// Width in 1x pixels of text set with the given extra spacing between letters;
// characters the font lacks are a 2-pixel space.
int textWidth(std::string_view text, int letterSpacing = 1);

// The pixels text covers at scale 1 or 2: width textWidth() * scale, height
// kLineHeight * scale, one byte per pixel (1 set, 0 clear), rows top to bottom.
struct TextMask {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> bits;
    bool at(int x, int y) const { return bits[static_cast<std::size_t>(y) * width + x] != 0; }
};
TextMask renderText(std::string_view text, int letterSpacing, int scale);

}  // namespace pixelfont
