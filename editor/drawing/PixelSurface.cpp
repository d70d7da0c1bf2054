#include "editor/drawing/PixelSurface.h"

#include <algorithm>

void blitPixels(PixelSurface& dst, int dx, int dy, int w, int h, const PixelSurface& src, int sx, int sy,
                RasterOp op) {
    // Clip the block against the source and the destination alike.
    if (sx < 0) {
        dx -= sx;
        w += sx;
        sx = 0;
    }
    if (sy < 0) {
        dy -= sy;
        h += sy;
        sy = 0;
    }
    if (dx < 0) {
        sx -= dx;
        w += dx;
        dx = 0;
    }
    if (dy < 0) {
        sy -= dy;
        h += dy;
        dy = 0;
    }
    w = std::min({w, src.width - sx, dst.width - dx});
    h = std::min({h, src.height - sy, dst.height - dy});
    if (w <= 0 || h <= 0) return;
    for (int row = 0; row < h; ++row) {
        const std::uint32_t* s = &src.pixels[static_cast<std::size_t>(sy + row) * src.width + sx];
        std::uint32_t* d = &dst.pixels[static_cast<std::size_t>(dy + row) * dst.width + dx];
        switch (op) {
        case RasterOp::Copy:
            std::copy(s, s + w, d);
            break;
        case RasterOp::And:
            for (int i = 0; i < w; ++i) d[i] &= s[i];
            break;
        case RasterOp::Or:
            for (int i = 0; i < w; ++i) d[i] |= s[i];
            break;
        }
    }
}

void fillPixels(PixelSurface& dst, int left, int top, int right, int bottom, std::uint32_t rgb) {
    left = std::max(left, 0);
    top = std::max(top, 0);
    right = std::min(right, dst.width);
    bottom = std::min(bottom, dst.height);
    for (int y = top; y < bottom; ++y)
        for (int x = left; x < right; ++x) dst.at(x, y) = rgb;
}

void fillEllipse(PixelSurface& dst, int left, int top, int right, int bottom, std::uint32_t pen,
                 std::uint32_t fill) {
    if (right <= left || bottom <= top) return;
    const double cx = (left + right) / 2.0, cy = (top + bottom) / 2.0;
    const double rx = (right - left) / 2.0, ry = (bottom - top) / 2.0;
    auto inside = [&](int px, int py) {
        const double u = (px + 0.5 - cx) / rx, v = (py + 0.5 - cy) / ry;
        return u * u + v * v <= 1.0;
    };
    for (int py = std::max(top, 0); py < std::min(bottom, dst.height); ++py)
        for (int px = std::max(left, 0); px < std::min(right, dst.width); ++px) {
            if (!inside(px, py)) continue;
            const bool edge =
                !inside(px - 1, py) || !inside(px + 1, py) || !inside(px, py - 1) || !inside(px, py + 1);
            dst.at(px, py) = edge ? pen : fill;
        }
}

namespace {

std::uint32_t readLe(const std::uint8_t* p, int bytes) {
    std::uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; --i) v = (v << 8) | p[i];
    return v;
}

}  // namespace

bool decodeBmp(const std::uint8_t* data, std::size_t size, PixelSurface& out) {
    out = PixelSurface();
    if (!data || size < 54 || data[0] != 'B' || data[1] != 'M') return false;
    const std::uint32_t pixelOffset = readLe(data + 10, 4);
    const std::uint32_t headerSize = readLe(data + 14, 4);
    const auto width = static_cast<std::int32_t>(readLe(data + 18, 4));
    const auto rawHeight = static_cast<std::int32_t>(readLe(data + 22, 4));
    const std::uint32_t bpp = readLe(data + 28, 2);
    const std::uint32_t compression = readLe(data + 30, 4);
    std::uint32_t coloursUsed = readLe(data + 46, 4);
    if (headerSize < 40 || compression != 0) return false;
    if (bpp != 8 && bpp != 24 && bpp != 32) return false;
    if (width <= 0 || width > 16384 || rawHeight == 0 || rawHeight < -16384 || rawHeight > 16384)
        return false;
    const bool topDown = rawHeight < 0;
    const int height = topDown ? -rawHeight : rawHeight;

    std::vector<std::uint32_t> palette;
    if (bpp == 8) {
        if (coloursUsed == 0 || coloursUsed > 256) coloursUsed = 256;
        const std::size_t paletteAt = 14 + static_cast<std::size_t>(headerSize);
        if (paletteAt + 4 * static_cast<std::size_t>(coloursUsed) > size) return false;
        for (std::uint32_t i = 0; i < coloursUsed; ++i) {
            const std::uint8_t* e = data + paletteAt + 4 * i;  // blue, green, red, reserved
            palette.push_back((static_cast<std::uint32_t>(e[2]) << 16) |
                              (static_cast<std::uint32_t>(e[1]) << 8) | e[0]);
        }
    }

    const std::size_t stride = ((static_cast<std::size_t>(width) * bpp + 31) / 32) * 4;
    if (pixelOffset > size || stride * static_cast<std::size_t>(height) > size - pixelOffset) return false;

    PixelSurface surface(width, height);
    surface.bitsPerPixel = static_cast<int>(bpp);
    for (int row = 0; row < height; ++row) {
        const std::uint8_t* src = data + pixelOffset + stride * static_cast<std::size_t>(row);
        const int y = topDown ? row : height - 1 - row;
        for (int x = 0; x < width; ++x) {
            std::uint32_t rgb;
            if (bpp == 8) {
                const std::uint8_t index = src[x];
                if (index >= palette.size()) return false;
                rgb = palette[index];
            } else {
                const std::uint8_t* p = src + static_cast<std::size_t>(x) * (bpp / 8);
                rgb =
                    (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[1]) << 8) | p[0];
            }
            surface.at(x, y) = rgb;
        }
    }
    out = std::move(surface);
    return true;
}
