#include "PanelArt.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "Canvas.h"
#include "PixelFont.h"
#include "editor/panel/PanelLayout.h"

namespace panelart {

namespace {

constexpr double kPi = 3.14159265358979323846;

double radians(double degrees) { return degrees * kPi / 180.0; }

// Unit vector pointing at an angle clockwise from twelve o'clock (screen y down).
Vec direction(double degrees) { return {std::sin(radians(degrees)), -std::cos(radians(degrees))}; }

Vec along(Vec c, double degrees, double r) {
    const Vec d = direction(degrees);
    return {c.x + d.x * r, c.y + d.y * r};
}

// ---- Palette -------------------------------------------------------------

const Rgb kAmber{0.98, 0.66, 0.26};
const Rgb kPointer{1.0, 0.88, 0.66};
const Rgb kLabel{0.86, 0.86, 0.84};
const Rgb kTick{0.46, 0.46, 0.47};
const Rgb kTickEnd{0.66, 0.66, 0.67};
const Rgb kBar{0.30, 0.30, 0.31};
const Rgb kCaption{0.93, 0.63, 0.27};

// ---- Knob ----------------------------------------------------------------

// A knob of radius 11.5 around c, lit from the upper left, its pointer at angle;
// every length times k, the artwork's scale.
void drawKnob(Canvas& canvas, Vec c, double angle, double k) {
    const double rim = 11.5 * k, groove = 10.1 * k, face = 9.4 * k;
    // Rim: a bevel, bright above and dark below.
    canvas.disc(c, rim, [c, rim](Vec p) {
        const double t = std::clamp((p.y - (c.y - rim)) / (2 * rim), 0.0, 1.0);
        return mix(Rgb{0.66, 0.67, 0.70}, Rgb{0.07, 0.07, 0.08}, t);
    });
    canvas.disc(c, groove, solid(Rgb{0.035, 0.035, 0.04}));
    // Face: dark brushed metal with a soft highlight towards the light.
    const Vec light{c.x - 3.2 * k, c.y - 4.2 * k};
    canvas.disc(c, face, [light, k](Vec p) {
        const double t = std::clamp(std::hypot(p.x - light.x, p.y - light.y) / (13.0 * k), 0.0, 1.0);
        return mix(Rgb{0.40, 0.41, 0.44}, Rgb{0.10, 0.105, 0.115}, std::sqrt(t));
    });
    // A faint sheen ring just inside the face's edge, brighter below (reflected light).
    canvas.ring(c, face - 1.0 * k, face - 0.35 * k, [c, k](Vec p) {
        const double t = std::clamp((p.y - c.y) / (9.0 * k) * 0.5 + 0.5, 0.0, 1.0);
        return mix(Rgb{0.10, 0.10, 0.11}, Rgb{0.30, 0.31, 0.33}, t);
    }, 0.6);
    // Pointer with a small shadow on the face.
    const Vec a = along(c, angle, 2.6 * k), b = along(c, angle, 9.6 * k);
    canvas.line({a.x + 0.5 * k, a.y + 0.7 * k}, {b.x + 0.5 * k, b.y + 0.7 * k}, 2.2 * k, Rgb{0, 0, 0}, 0.45);
    canvas.line(a, b, 2.0 * k, kPointer);
}

// One frame of the strip at the given scale: the knob on black, nearly black
// outside the disc.
Canvas knobFrame(double angle, int factor) {
    const double k = factor, mid = 12.0 * k;
    Canvas frame(panel::kKnobSize * factor, panel::kKnobSize * factor);
    drawKnob(frame, {mid, mid}, angle, k);
    for (int y = 0; y < frame.height(); ++y)
        for (int x = 0; x < frame.width(); ++x) {
            if (std::hypot(x + 0.5 - mid, y + 0.5 - mid) < mid) continue;
            // Outside the mask's disc the frame is ORed onto the panel: keep
            // only a faint trace of the knob's edge there.
            Rgb& p = frame.at(x, y);
            const double top = std::max({p.r, p.g, p.b});
            const double limit = 18.0 / 255.0;
            if (top > limit) p = scale(p, limit / top);
        }
    return frame;
}

// Scale marks around a knob: eleven ticks over the 280-degree sweep, the
// detent point marked in amber.
void drawScale(Canvas& canvas, Vec c, bool detent, double k) {
    for (int i = 0; i <= 10; ++i) {
        const double angle = -140.0 + i * 28.0;
        const bool end = i == 0 || i == 10;
        const bool centre = i == 5;
        double inner = 13.7 * k, outer = 15.6 * k;
        Rgb colour = end ? kTickEnd : kTick;
        double thickness = 1.0 * k;
        if (centre && detent) {
            colour = kAmber;
            outer = 16.6 * k;
            thickness = 1.3 * k;
        } else if (end) {
            outer = 16.4 * k;
        }
        canvas.line(along(c, angle, inner), along(c, angle, outer), thickness, colour);
    }
}

// ---- Title lettering -------------------------------------------------------

using Stroke = std::vector<Vec>;  // a polyline, drawn with round ends

// Points of an elliptic arc, angles in degrees counter-clockwise from three
// o'clock with y pointing up, in font units (screen y down).
Stroke arc(double cx, double cy, double rx, double ry, double from, double to) {
    Stroke s;
    const int steps = std::max(2, static_cast<int>(std::ceil(std::fabs(to - from) / 5.0)));
    for (int i = 0; i <= steps; ++i) {
        const double t = radians(from + (to - from) * i / steps);
        s.push_back({cx + rx * std::cos(t), cy - ry * std::sin(t)});
    }
    return s;
}

Stroke seg(double x0, double y0, double x1, double y1) { return {{x0, y0}, {x1, y1}}; }

struct TitleGlyph {
    double advance;
    std::vector<Stroke> strokes;
};

// A geometric upright face; baseline at 0, x-height 10, capitals 14.
TitleGlyph titleGlyph(char c) {
    switch (c) {
    case 'H':
        return {9, {seg(0, -14, 0, 0), seg(9, -14, 9, 0), seg(0, -7, 9, -7)}};
    case 'a':
        return {9, {arc(4.5, -5, 4.5, 5, 0, 360), seg(9, -10, 9, 0)}};
    case 'm':
        return {13,
                {seg(0, -10, 0, 0), arc(3.25, -6.75, 3.25, 3.25, 180, 0), seg(6.5, -6.75, 6.5, 0),
                 arc(9.75, -6.75, 3.25, 3.25, 180, 0), seg(13, -6.75, 13, 0)}};
    case 'e':
        return {9, {arc(4.5, -5, 4.5, 5, 0, 318), seg(0, -5, 9, -5)}};
    case 'r':
        return {5.6, {seg(0, -10, 0, 0), arc(4.2, -6, 4.2, 4, 180, 62)}};
    case 'l':
        return {0, {seg(0, -14, 0, 0)}};
    case 'y':
        return {9, {seg(0, -10, 4.5, 0), seg(9, -10, 2.1, 5.3)}};
    case 'n':
        return {9, {seg(0, -10, 0, 0), arc(4.5, -5.5, 4.5, 4.5, 180, 0), seg(9, -5.5, 9, 0)}};
    case '2': {
        Stroke top = arc(4.6, -9.8, 4.6, 4.2, 165, -38);
        const Vec end = top.back();
        return {9.6, {top, seg(end.x, end.y, 0, 0), seg(0, 0, 9.6, 0)}};
    }
    default:
        return {6, {}};
    }
}

struct Segment {
    Vec a, b;
};

// The title's strokes laid out in pixels: left edge at x, baseline at y, with
// a slight forward slant.
std::vector<Segment> layoutTitle(const std::string& text, double x, double baseline, double unit,
                                 double spacing, double slant) {
    std::vector<Segment> out;
    double pen = 0;
    for (char c : text) {
        const TitleGlyph g = titleGlyph(c);
        for (const Stroke& s : g.strokes)
            for (std::size_t i = 0; i + 1 < s.size(); ++i) {
                auto place = [&](Vec p) {
                    return Vec{x + (pen + p.x - slant * p.y) * unit, baseline + p.y * unit};
                };
                out.push_back({place(s[i]), place(s[i + 1])});
            }
        pen += g.advance + spacing;
    }
    return out;
}

double titleWidthUnits(const std::string& text, double spacing) {
    double w = 0;
    for (char c : text) w += titleGlyph(c).advance + spacing;
    return w - spacing;
}

double strokesDistance(Vec p, const std::vector<Segment>& segments, double halfWidth) {
    double d = 1e9;
    for (const Segment& s : segments) d = std::min(d, segmentDistance(p, s.a, s.b));
    return d - halfWidth;
}

// ---- Stars -----------------------------------------------------------------

double polygonDistance(Vec p, const std::vector<Vec>& v) {
    double d = (p.x - v[0].x) * (p.x - v[0].x) + (p.y - v[0].y) * (p.y - v[0].y);
    double sign = 1.0;
    const std::size_t n = v.size();
    for (std::size_t i = 0, j = n - 1; i < n; j = i, ++i) {
        const Vec e{v[j].x - v[i].x, v[j].y - v[i].y};
        const Vec w{p.x - v[i].x, p.y - v[i].y};
        const double t = std::clamp((w.x * e.x + w.y * e.y) / (e.x * e.x + e.y * e.y), 0.0, 1.0);
        const Vec b{w.x - e.x * t, w.y - e.y * t};
        d = std::min(d, b.x * b.x + b.y * b.y);
        const bool c1 = p.y >= v[i].y, c2 = p.y < v[j].y, c3 = e.x * w.y > e.y * w.x;
        if ((c1 && c2 && c3) || (!c1 && !c2 && !c3)) sign = -sign;
    }
    return sign * std::sqrt(d);
}

std::vector<Vec> starPolygon(Vec c, int points, double outer, double inner, double rotation) {
    std::vector<Vec> v;
    for (int i = 0; i < 2 * points; ++i) {
        const double r = i % 2 == 0 ? outer : inner;
        v.push_back(along(c, rotation + i * 180.0 / points, r));
    }
    return v;
}

// A star with a warm glow: white at the heart, gold at the tips.
void drawStar(Canvas& canvas, Vec c, int points, double outer, double inner, double rotation, double glow,
              double k) {
    const std::vector<Vec> poly = starPolygon(c, points, outer, inner, rotation);
    const auto sd = [poly](Vec p) { return polygonDistance(p, poly); };
    const int x0 = static_cast<int>(c.x - outer - 12 * k), x1 = static_cast<int>(c.x + outer + 12 * k);
    const int y0 = static_cast<int>(c.y - outer - 12 * k), y1 = static_cast<int>(c.y + outer + 12 * k);
    if (glow > 0) canvas.glow(x0, y0, x1, y1, sd, Rgb{0.95, 0.55, 0.15}, glow, outer * 0.28);
    canvas.fill(x0, y0, x1, y1, sd, [c, outer](Vec p) {
        const double t = std::clamp(std::hypot(p.x - c.x, p.y - c.y) / outer, 0.0, 1.0);
        return mix(Rgb{1.0, 0.99, 0.93}, Rgb{0.98, 0.70, 0.30}, t);
    });
}

// ---- Panel -----------------------------------------------------------------

struct Group {
    const char* caption;
    int firstKnob;  // indices into panel::kKnobs, a contiguous run
    int lastKnob;
};

const Group kGroups[] = {
    {"EXCITER", 0, 2}, {"STRING", 3, 4}, {"", 5, 6},
    {"BODY", 7, 9},    {"ENVELOPE", 10, 12}, {"OUTPUT", 13, 15},
};

// A grey bar above a group's knobs with its caption, if any, set into the middle.
void drawGroupBar(Canvas& canvas, const Group& g, int scale) {
    const double k = scale;
    const panel::Knob& first = panel::kKnobs[g.firstKnob];
    const panel::Knob& last = panel::kKnobs[g.lastKnob];
    // The caption is placed on the 1x grid; the bar's geometry is scaled.
    const double left1 = first.x - 2.0, right1 = last.x + panel::kKnobSize + 2.0;
    const double y1 = first.y - 12.5;
    const double mid1 = (left1 + right1) / 2;
    const double left = left1 * k, right = right1 * k, y = y1 * k, mid = mid1 * k;
    if (*g.caption) {
        const int captionWidth = textWidth(g.caption, 2);
        const double gapLeft = mid - captionWidth / 2.0 * k - 5 * k, gapRight = mid + captionWidth / 2.0 * k + 4 * k;
        canvas.line({left, y}, {gapLeft, y}, 2.0 * k, kBar);
        canvas.line({gapRight, y}, {right, y}, 2.0 * k, kBar);
    } else {
        canvas.line({left, y}, {right, y}, 2.0 * k, kBar);
    }
    // Short drops at both ends bracket the group.
    canvas.line({left, y}, {left, y + 4.0 * k}, 2.0 * k, kBar);
    canvas.line({right, y}, {right, y + 4.0 * k}, 2.0 * k, kBar);
    if (*g.caption)
        drawTextCentred(canvas, static_cast<int>(std::lround(mid1)), static_cast<int>(y1) - 3, g.caption, kCaption, 2,
                        1.0, scale);
}

void drawScrew(Canvas& canvas, Vec c, double k) {
    canvas.disc(c, 3.6 * k, [c, k](Vec p) {
        const double t = std::clamp((p.y - c.y) / (7.2 * k) + 0.5, 0.0, 1.0);
        return mix(Rgb{0.42, 0.42, 0.44}, Rgb{0.12, 0.12, 0.13}, t);
    });
    canvas.line(along(c, 60, 2.6 * k), along(c, 240, 2.6 * k), 1.1 * k, Rgb{0.04, 0.04, 0.04});
}

void drawTitle(Canvas& canvas, int scale) {
    const double k = scale;
    const std::string title = "Hammerlyn2";
    const double spacing = 4.3, unit = 1.46 * k, slant = 0.16;
    const double widthPx = titleWidthUnits(title, spacing) * unit;
    const double centreX1 = 400.0, centreX = centreX1 * k;
    const double baseline1 = 122.0, baseline = baseline1 * k;
    const double left = centreX - widthPx / 2;
    const std::vector<Segment> strokes = layoutTitle(title, left, baseline, unit, spacing, slant);
    const double half = 1.15 * unit;
    const auto sd = [&strokes, half](Vec p) { return strokesDistance(p, strokes, half); };
    const int x0 = static_cast<int>(left) - 20 * scale, x1 = static_cast<int>(left + widthPx) + 24 * scale;
    const int y0 = static_cast<int>(baseline - 14 * unit) - 18 * scale;
    const int y1 = static_cast<int>(baseline + 5 * unit) + 18 * scale;
    canvas.glow(x0, y0, x1, y1, sd, Rgb{0.85, 0.42, 0.08}, 0.30, 3.2 * k);
    const double top = baseline - 14 * unit, bottom = baseline + 5 * unit;
    canvas.fill(x0, y0, x1, y1, sd, [top, bottom](Vec p) {
        const double t = std::clamp((p.y - top) / (bottom - top), 0.0, 1.0);
        return t < 0.5 ? mix(Rgb{1.0, 0.97, 0.86}, Rgb{1.0, 0.80, 0.42}, t / 0.5)
                       : mix(Rgb{1.0, 0.80, 0.42}, Rgb{0.90, 0.52, 0.16}, (t - 0.5) / 0.5);
    });

    // Ornament: a rule one 1x pixel high that fades towards its ends with a
    // star at its middle.
    const double ruleY1 = baseline1 + 20.5, ruleY = ruleY1 * k;
    const int ruleRow = static_cast<int>(ruleY1) * scale;
    for (int x = static_cast<int>(left) - 6 * scale; x < static_cast<int>(left + widthPx) + 8 * scale; ++x) {
        const double t = std::fabs((x + 0.5 - centreX) / (widthPx / 2 + 8 * k));
        if (std::fabs(x + 0.5 - centreX) < 11 * k) continue;
        const double alpha = std::clamp(1.0 - t, 0.0, 1.0);
        for (int row = 0; row < scale; ++row) canvas.blend(x, ruleRow + row, Rgb{0.95, 0.66, 0.30}, alpha * 0.9);
    }
    drawStar(canvas, {centreX, ruleY + 0.5 * k}, 4, 7.0 * k, 1.7 * k, 0, 0.35, k);
    drawTextCentred(canvas, static_cast<int>(centreX1), static_cast<int>(ruleY1) + 10, "STRUCK & PLUCKED STRINGS",
                    Rgb{0.62, 0.62, 0.63}, 1, 1.0, scale);

    // Sparkles around the lettering.
    const double right = left + widthPx;
    drawStar(canvas, {left - 12 * k, baseline - 27 * k}, 4, 10.0 * k, 2.1 * k, 0, 0.45, k);
    drawStar(canvas, {left - 1 * k, baseline - 36 * k}, 4, 4.2 * k, 1.1 * k, 45, 0.3, k);
    drawStar(canvas, {right + 4 * k, baseline - 31 * k}, 4, 7.0 * k, 1.7 * k, 0, 0.4, k);
    drawStar(canvas, {right - 24 * k, baseline - 38 * k}, 5, 3.6 * k, 1.5 * k, 0, 0.25, k);
    drawStar(canvas, {right - 4 * k, baseline + 10 * k}, 4, 3.0 * k, 0.8 * k, 45, 0.25, k);
}

// Panel furniture: a thin frame, corner screws, the vendor's mark.
void drawFrame(Canvas& canvas, int scale) {
    const double k = scale;
    const double inset = 3.5 * k;
    const int width = panel::kWidth * scale, height = panel::kHeight * scale;
    canvas.fill(0, 0, width, height, [inset, k, width, height](Vec p) {
        const double cx = width / 2.0, cy = height / 2.0;
        const double hx = cx - inset - 6 * k, hy = cy - inset - 6 * k;
        const double qx = std::fabs(p.x - cx) - hx, qy = std::fabs(p.y - cy) - hy;
        const double outside = std::hypot(std::max(qx, 0.0), std::max(qy, 0.0)) + std::min(std::max(qx, qy), 0.0);
        return std::fabs(outside - 6.0 * k) - 0.5 * k;
    }, solid(Rgb{0.17, 0.17, 0.18}));
    drawScrew(canvas, {10.5 * k, 10.5 * k}, k);
    drawScrew(canvas, {width - 10.5 * k, 10.5 * k}, k);
    drawScrew(canvas, {10.5 * k, height - 10.5 * k}, k);
    drawScrew(canvas, {width - 10.5 * k, height - 10.5 * k}, k);
}

Canvas backgroundCanvas(int scale) {
    const double k = scale;
    Canvas canvas(panel::kWidth * scale, panel::kHeight * scale);
    drawFrame(canvas, scale);
    for (const Group& g : kGroups) drawGroupBar(canvas, g, scale);
    for (const panel::Knob& knob : panel::kKnobs) {
        const Vec c{(knob.x + 12.0) * k, (knob.y + 12.0) * k};
        drawScale(canvas, c, knob.snapRange > 0, k);
        drawKnob(canvas, c, pointerAngle(31), k);
        drawTextCentred(canvas, knob.x + 12, knob.y + 29, knob.label, kLabel, 1, 1.0, scale);
    }
    drawTitle(canvas, scale);
    drawTextCentred(canvas, 432, panel::kHeight - 26, "Quillfeather", Rgb{0.40, 0.40, 0.41}, 1, 1.0, scale);
    return canvas;
}

// ---- BMP files ---------------------------------------------------------------

void put16(std::vector<std::uint8_t>& out, std::uint32_t v) {
    out.push_back(static_cast<std::uint8_t>(v));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}
void put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    put16(out, v & 0xFFFF);
    put16(out, v >> 16);
}

// File and info headers of an uncompressed bottom-up BMP.
std::vector<std::uint8_t> bmpHeader(int width, int height, int bpp, int paletteEntries) {
    const std::uint32_t stride = ((static_cast<std::uint32_t>(width) * bpp + 31) / 32) * 4;
    const std::uint32_t pixelOffset = 14 + 40 + 4 * static_cast<std::uint32_t>(paletteEntries);
    const std::uint32_t imageSize = stride * static_cast<std::uint32_t>(height);
    std::vector<std::uint8_t> out;
    out.push_back('B');
    out.push_back('M');
    put32(out, pixelOffset + imageSize);
    put32(out, 0);
    put32(out, pixelOffset);
    put32(out, 40);
    put32(out, static_cast<std::uint32_t>(width));
    put32(out, static_cast<std::uint32_t>(height));
    put16(out, 1);
    put16(out, static_cast<std::uint32_t>(bpp));
    put32(out, 0);  // BI_RGB
    put32(out, imageSize);
    put32(out, 2835);  // 72 dpi
    put32(out, 2835);
    put32(out, static_cast<std::uint32_t>(paletteEntries));
    put32(out, 0);
    return out;
}

std::vector<std::uint8_t> colourBmp(const Canvas& canvas, int bpp) {
    std::vector<std::uint8_t> out = bmpHeader(canvas.width(), canvas.height(), bpp, 0);
    const int bytes = bpp / 8;
    const std::size_t stride = ((static_cast<std::size_t>(canvas.width()) * bpp + 31) / 32) * 4;
    for (int y = canvas.height() - 1; y >= 0; --y) {
        std::size_t written = 0;
        for (int x = 0; x < canvas.width(); ++x) {
            const Rgb& p = canvas.at(x, y);
            out.push_back(Canvas::toByte(p.b));
            out.push_back(Canvas::toByte(p.g));
            out.push_back(Canvas::toByte(p.r));
            if (bytes == 4) out.push_back(0);
            written += static_cast<std::size_t>(bytes);
        }
        for (; written < stride; ++written) out.push_back(0);
    }
    return out;
}

}  // namespace

double pointerAngle(int frame) { return -140.0 + frame * 280.0 / 63.0; }

std::vector<std::uint8_t> maskBmp(int scale) {
    const int size = panel::kKnobSize * scale;
    std::vector<std::uint8_t> out = bmpHeader(size, size, 8, 2);
    put32(out, 0x000000);  // index 0: black
    put32(out, 0xFFFFFF);  // index 1: white
    for (int y = size - 1; y >= 0; --y)
        for (int x = 0; x < size; ++x) {
            const bool inside = std::hypot(x + 0.5 - size / 2.0, y + 0.5 - size / 2.0) < size / 2.0;
            out.push_back(inside ? 0 : 1);
        }
    return out;
}

std::vector<std::uint8_t> stripBmp(int scale) {
    const int size = panel::kKnobSize * scale;
    Canvas strip(size, size * panel::kFrameCount);
    for (int n = 0; n < panel::kFrameCount; ++n) {
        const Canvas frame = knobFrame(pointerAngle(n), scale);
        for (int y = 0; y < size; ++y)
            for (int x = 0; x < size; ++x) strip.at(x, n * size + y) = frame.at(x, y);
    }
    return colourBmp(strip, 32);
}

std::vector<std::uint8_t> backgroundBmp(int scale) { return colourBmp(backgroundCanvas(scale), 24); }

}  // namespace panelart
