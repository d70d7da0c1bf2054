// The panel's pixel font (editor/drawing/PixelGlyphs.h) set onto the artwork canvas:
// positions are given in 1x panel pixels and the text is drawn at the canvas's
// scale, so the labels land on the same places at both sizes.
#pragma once

#include <string_view>

#include "Canvas.h"

namespace panelart {

// Width in 1x pixels of text set with the given extra spacing between letters.
int textWidth(std::string_view text, int letterSpacing = 1);

// Draws text with its top-left corner at (x, y) in 1x pixels; pixels are set crisp.
void drawText(Canvas& canvas, int x, int y, std::string_view text, const Rgb& colour, int letterSpacing = 1,
              double opacity = 1.0, int scale = 1);

// Draws text centred on cx.
void drawTextCentred(Canvas& canvas, int cx, int y, std::string_view text, const Rgb& colour,
                     int letterSpacing = 1, double opacity = 1.0, int scale = 1);

}  // namespace panelart
