#pragma once

// One second-order allpass section (a + z^-2) / (1 + a z^-2) in double precision, the building block
// of the half-band filter's two branches.
class AllpassSection {
public:
    explicit constexpr AllpassSection(double coefficient) noexcept : a(coefficient) {}

    // Filters one sample: out(n) = a * (u(n) - out(n-2)) + u(n-2).
    double process(double input) noexcept {
        x2 = x1;
        x1 = x0;
        x0 = input;
        y2 = y1;
        const double out = (input - y2) * a + x2;
        y1 = y0;
        y0 = out;
        return out;
    }

    // Clears the history; the coefficient stays.
    void reset() noexcept { x0 = x1 = x2 = y0 = y1 = y2 = 0.0; }

private:
    double a;
    double x0 = 0.0, x1 = 0.0, x2 = 0.0;  // last three inputs, newest first
    double y0 = 0.0, y1 = 0.0, y2 = 0.0;  // last three outputs, newest first
};
