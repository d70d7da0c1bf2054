// A floating-point RGB canvas with anti-aliased shapes drawn from signed
// distance functions: coverage of a pixel is 0.5 minus the distance from its
// centre to the shape's edge, clamped to 0..1.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

namespace panelart {

struct Rgb {
    double r = 0, g = 0, b = 0;
};

inline Rgb mix(const Rgb& a, const Rgb& b, double t) {
    return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}
inline Rgb grey(double v) { return {v, v, v}; }
inline Rgb scale(const Rgb& c, double k) { return {c.r * k, c.g * k, c.b * k}; }

struct Vec {
    double x = 0, y = 0;
};

// Distance from p to the segment a-b.
double segmentDistance(Vec p, Vec a, Vec b);

class Canvas {
public:
    Canvas(int width, int height, Rgb ground = {});

    int width() const { return w; }
    int height() const { return h; }
    const Rgb& at(int x, int y) const { return px[static_cast<std::size_t>(y) * w + x]; }
    Rgb& at(int x, int y) { return px[static_cast<std::size_t>(y) * w + x]; }

    // Blends colour over the pixel with the given opacity.
    void blend(int x, int y, const Rgb& colour, double alpha);

    // Fills the shape whose signed distance (negative inside, in pixels) is sd,
    // with the colour paint gives at each pixel centre, inside the box
    // [x0, x1) x [y0, y1).
    void fill(int x0, int y0, int x1, int y1, const std::function<double(Vec)>& sd,
              const std::function<Rgb(Vec)>& paint, double opacity = 1.0);

    // Solid shapes.
    void disc(Vec c, double r, const std::function<Rgb(Vec)>& paint, double opacity = 1.0);
    void ring(Vec c, double inner, double outer, const std::function<Rgb(Vec)>& paint, double opacity = 1.0);
    void line(Vec a, Vec b, double thickness, const Rgb& colour, double opacity = 1.0);
    // A soft glow around a shape: opacity falls off as exp(-distance / spread).
    void glow(int x0, int y0, int x1, int y1, const std::function<double(Vec)>& sd, const Rgb& colour,
              double strength, double spread);

    // Bytes per channel, rounded and clamped.
    static std::uint8_t toByte(double v);

private:
    int w, h;
    std::vector<Rgb> px;
};

// Constant paint.
inline std::function<Rgb(Vec)> solid(Rgb c) {
    return [c](Vec) { return c; };
}

}  // namespace panelart
