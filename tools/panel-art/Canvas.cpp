#include "Canvas.h"

#include <algorithm>
#include <cmath>

namespace panelart {

double segmentDistance(Vec p, Vec a, Vec b) {
    const double dx = b.x - a.x, dy = b.y - a.y;
    const double len2 = dx * dx + dy * dy;
    double t = len2 > 0 ? ((p.x - a.x) * dx + (p.y - a.y) * dy) / len2 : 0.0;
    t = std::clamp(t, 0.0, 1.0);
    const double ex = p.x - (a.x + t * dx), ey = p.y - (a.y + t * dy);
    return std::sqrt(ex * ex + ey * ey);
}

Canvas::Canvas(int width, int height, Rgb ground)
    : w(width), h(height), px(static_cast<std::size_t>(width) * static_cast<std::size_t>(height), ground) {}

void Canvas::blend(int x, int y, const Rgb& colour, double alpha) {
    if (x < 0 || y < 0 || x >= w || y >= h || alpha <= 0) return;
    alpha = std::min(alpha, 1.0);
    Rgb& p = at(x, y);
    p = mix(p, colour, alpha);
}

void Canvas::fill(int x0, int y0, int x1, int y1, const std::function<double(Vec)>& sd,
                  const std::function<Rgb(Vec)>& paint, double opacity) {
    x0 = std::max(x0, 0);
    y0 = std::max(y0, 0);
    x1 = std::min(x1, w);
    y1 = std::min(y1, h);
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x) {
            const Vec c{x + 0.5, y + 0.5};
            const double coverage = std::clamp(0.5 - sd(c), 0.0, 1.0);
            if (coverage > 0) blend(x, y, paint(c), coverage * opacity);
        }
}

void Canvas::disc(Vec c, double r, const std::function<Rgb(Vec)>& paint, double opacity) {
    fill(static_cast<int>(std::floor(c.x - r - 1)), static_cast<int>(std::floor(c.y - r - 1)),
         static_cast<int>(std::ceil(c.x + r + 1)), static_cast<int>(std::ceil(c.y + r + 1)),
         [c, r](Vec p) { return std::hypot(p.x - c.x, p.y - c.y) - r; }, paint, opacity);
}

void Canvas::ring(Vec c, double inner, double outer, const std::function<Rgb(Vec)>& paint, double opacity) {
    fill(static_cast<int>(std::floor(c.x - outer - 1)), static_cast<int>(std::floor(c.y - outer - 1)),
         static_cast<int>(std::ceil(c.x + outer + 1)), static_cast<int>(std::ceil(c.y + outer + 1)),
         [c, inner, outer](Vec p) {
             const double d = std::hypot(p.x - c.x, p.y - c.y);
             return std::max(d - outer, inner - d);
         },
         paint, opacity);
}

void Canvas::line(Vec a, Vec b, double thickness, const Rgb& colour, double opacity) {
    const double r = thickness / 2;
    fill(static_cast<int>(std::floor(std::min(a.x, b.x) - r - 1)),
         static_cast<int>(std::floor(std::min(a.y, b.y) - r - 1)),
         static_cast<int>(std::ceil(std::max(a.x, b.x) + r + 1)),
         static_cast<int>(std::ceil(std::max(a.y, b.y) + r + 1)),
         [a, b, r](Vec p) { return segmentDistance(p, a, b) - r; }, solid(colour), opacity);
}

void Canvas::glow(int x0, int y0, int x1, int y1, const std::function<double(Vec)>& sd, const Rgb& colour,
                  double strength, double spread) {
    x0 = std::max(x0, 0);
    y0 = std::max(y0, 0);
    x1 = std::min(x1, w);
    y1 = std::min(y1, h);
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x) {
            const double d = std::max(sd({x + 0.5, y + 0.5}), 0.0);
            blend(x, y, colour, strength * std::exp(-d / spread));
        }
}

std::uint8_t Canvas::toByte(double v) {
    return static_cast<std::uint8_t>(std::lround(std::clamp(v, 0.0, 1.0) * 255.0));
}

}  // namespace panelart
