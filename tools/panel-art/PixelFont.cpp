#include "PixelFont.h"

#include "editor/drawing/PixelGlyphs.h"

namespace panelart {

int textWidth(std::string_view text, int letterSpacing) { return pixelfont::textWidth(text, letterSpacing); }

void drawText(Canvas& canvas, int x, int y, std::string_view text, const Rgb& colour, int letterSpacing,
              double opacity, int scale) {
    const pixelfont::TextMask mask = pixelfont::renderText(text, letterSpacing, scale);
    for (int row = 0; row < mask.height; ++row)
        for (int col = 0; col < mask.width; ++col)
            if (mask.at(col, row)) canvas.blend(x * scale + col, y * scale + row, colour, opacity);
}

void drawTextCentred(Canvas& canvas, int cx, int y, std::string_view text, const Rgb& colour, int letterSpacing,
                     double opacity, int scale) {
    drawText(canvas, cx - textWidth(text, letterSpacing) / 2, y, text, colour, letterSpacing, opacity, scale);
}

}  // namespace panelart
