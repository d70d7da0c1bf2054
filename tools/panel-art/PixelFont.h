// A small proportional pixel font of our own for the panel's labels: capitals
// and figures 7 pixels high, lower case with 2-pixel descenders.
#pragma once

#include <string_view>

#include "Canvas.h"

namespace panelart {

// Width in pixels of text set with the given extra spacing between letters.
int textWidth(std::string_view text, int letterSpacing = 1);

// Draws text with its top-left corner at (x, y); pixels are set crisp.
void drawText(Canvas& canvas, int x, int y, std::string_view text, const Rgb& colour, int letterSpacing = 1,
              double opacity = 1.0);

// Draws text centred on cx.
void drawTextCentred(Canvas& canvas, int cx, int y, std::string_view text, const Rgb& colour,
                     int letterSpacing = 1, double opacity = 1.0);

}  // namespace panelart
