// A square rotary knob drawn from a vertical film strip of 64 frames through
// a round mask. Dragging up turns it up (coarse with the left button, fine with
// the right), the wheel moves it by hundredths, and an optional detent holds
// it at one value for a short stretch of travel. At scale 2 the knob is twice
// the size and every length doubles: the same turn takes twice the pixels of
// travel.
#pragma once

#include <atomic>

#include "editor/widgets/WidgetBase.h"

class bitmapknob : public WidgetBase {
public:
    // size x size pixels at scale 1, as are the strip's frames and the mask.
    // strip and mask are owned by the editor; they must outlive the knob.
    bitmapknob(int x, int y, int size, float snapRange, float snapPoint, const PixelSurface* strip,
               const PixelSurface* mask);

    void onMouseDown(int button, int x, int y) override;
    void onDragEnd(int x, int y) override;
    void onDrag(int x, int y) override;
    void onMouseWheel(int steps) override;
    void draw(PixelSurface& canvas, ColourRef pen, ColourRef fill) override;
    void setValue(float value, bool notify) override;
    float getValue() override { return value.load(std::memory_order_relaxed); }

    // The film-strip frame that shows value v: 0 for 0, 31 for 0.5, 63 only for 1.
    static int frameFor(float v);
    int frame() const { return frameFor(value.load(std::memory_order_relaxed)); }

    // Places the knob at (x, y) at scale s (1 or 2), drawn from a strip and a
    // mask made for that scale; it is drawn again at the next redraw.
    void setScale(int s, int x, int y, const PixelSurface* strip, const PixelSurface* mask);

    static constexpr float kCoarseStep = 0.005f;  // value per pixel, left button
    static constexpr float kFineStep = 0.0005f;   // value per pixel, right button
    static constexpr float kWheelStep = 0.01f;    // value per wheel notch

    int dragAnchorY = 0;  // window y of the last drag position applied
    float snapRange;
    float snapPoint;
    // The frame last shown; set from any thread, so it does not depend on the
    // scale, which the window's thread may change meanwhile.
    std::atomic<int> lastFrame{-1000};  // matches no real frame
    int size;         // at scale 1
    int frameHeight;  // at the scale in force
    const PixelSurface* strip;
    const PixelSurface* mask;
    bool fine = false;  // the drag began with the right button
    int scale = 1;      // pixels of travel per pixel at scale 1
};
