// A plain 32-bit pixel buffer with the three raster operations the editor
// paints with (copy, AND, OR) and a reader for the BMP files of the panel.
// The editor composes its panel in one of these, which every window layer
// shows as it is; tests use them to compute what a window should show.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

struct PixelSurface {
    int width = 0;
    int height = 0;
    int bitsPerPixel = 32;              // depth of the picture it was made from
    std::vector<std::uint32_t> pixels;  // 0x00RRGGBB, rows top to bottom

    PixelSurface() = default;
    PixelSurface(int w, int h, std::uint32_t fill = 0)
        : width(w), height(h), pixels(static_cast<std::size_t>(w) * static_cast<std::size_t>(h), fill) {}

    std::uint32_t at(int x, int y) const { return pixels[static_cast<std::size_t>(y) * width + x]; }
    std::uint32_t& at(int x, int y) { return pixels[static_cast<std::size_t>(y) * width + x]; }
    bool contains(int x, int y) const { return x >= 0 && y >= 0 && x < width && y < height; }
};

enum class RasterOp { Copy, And, Or };

// Combines a w x h block of src at (sx, sy) into dst at (dx, dy), clipped to both.
void blitPixels(PixelSurface& dst, int dx, int dy, int w, int h, const PixelSurface& src, int sx, int sy,
                RasterOp op);

// Fills the rectangle [left, right) x [top, bottom), clipped.
void fillPixels(PixelSurface& dst, int left, int top, int right, int bottom, std::uint32_t rgb);

// Fills the ellipse inscribed in [left, right) x [top, bottom) with fill and
// outlines it one pixel wide with pen, clipped.
void fillEllipse(PixelSurface& dst, int left, int top, int right, int bottom, std::uint32_t pen,
                 std::uint32_t fill);

// Reads an uncompressed 8-bit (palette), 24-bit or 32-bit BMP file. Returns
// false, leaving out empty, for anything else or for a truncated file.
bool decodeBmp(const std::uint8_t* data, std::size_t size, PixelSurface& out);
