#include "editor/widgets/bitmapknob.h"

#include <cmath>

#include "editor/drawing/PixelSurface.h"
#include "editor/widgets/QFGui.h"

namespace {
// A knob's value lies in 0..1.
float clampToRange(float v) { return v > 1.0f ? 1.0f : (v < 0.0f ? 0.0f : v); }
}  // namespace

bitmapknob::bitmapknob(int x, int y, int size, float snapRange, float snapPoint, const PixelSurface* strip,
                       const PixelSurface* mask)
    : WidgetBase(x, y, size, size),
      snapRange(snapRange),
      snapPoint(snapPoint),
      size(size),
      frameHeight(size),
      strip(strip),
      mask(mask) {
    value.store(0.5f, std::memory_order_relaxed);
    round = true;
    filled = false;
}

int bitmapknob::frameFor(float v) {
    // Truncation toward zero in single precision: 62/63 and up to just below 1
    // all show frame 62; only exactly 1 shows the last frame.
    return static_cast<int>(63.0f * v);
}

void bitmapknob::onMouseDown(int button, int, int y) {
    pressed = true;
    fine = button == 1;
    dragAnchorY = y;
}

void bitmapknob::onDragEnd(int, int) {
    pressed = false;
    dirty.store(true, std::memory_order_relaxed);
}

void bitmapknob::onDrag(int, int y) {
    const float before = getValue();
    const float d = static_cast<float>(y - dragAnchorY);
    // At scale 2 a pixel is half as long, and so is its step.
    float v = before - d * ((fine ? kFineStep : kCoarseStep) / static_cast<float>(scale));
    v = clampToRange(v);

    if (snapRange > std::fabs(v - snapPoint)) {
        // Inside the detent: hold the snap point and let the travel accumulate
        // from the last position outside it.
        v = snapPoint;
    } else {
        // The anchor follows the pointer, so the knob answers at once when a
        // drag reverses at either end. A step too small to change the value's
        // thousandths is dropped with its travel: very slow fine drags stand.
        dragAnchorY = y;
    }
    if (static_cast<int>(before * 1000.0f) != static_cast<int>(v * 1000.0f)) setValue(v, true);
}

void bitmapknob::setScale(int s, int newX, int newY, const PixelSurface* newStrip,
                          const PixelSurface* newMask) {
    scale = s;
    x = newX;
    y = newY;
    width = size * s;
    height = size * s;
    frameHeight = size * s;
    strip = newStrip;
    mask = newMask;
    dirty.store(true, std::memory_order_relaxed);
}

void bitmapknob::onMouseWheel(int steps) {
    float v = static_cast<float>(steps) * kWheelStep + getValue();
    v = clampToRange(v);
    setValue(v, true);
}

void bitmapknob::setValue(float v, bool notify) {
    if (std::isnan(v)) return;  // nothing sensible to show or report
    v = clampToRange(v);
    if (v == getValue()) return;
    value.store(v, std::memory_order_relaxed);

    // Report before the change detection, so that while the plug-in handles the
    // report the knob already holds its new value and is not set again.
    if (notify && automate && owner) owner->reportChange(this, v);

    const int shown = frameFor(v);
    if (lastFrame.exchange(shown, std::memory_order_relaxed) != shown)
        dirty.store(true, std::memory_order_relaxed);
}

void bitmapknob::draw(PixelSurface& canvas, ColourRef, ColourRef) {
    if (!strip || !mask) return;
    // The mask blacks out the disc and keeps the corners; the frame is then
    // ORed into the black disc, so the knob draws over its own last frame
    // without the background being composed again.
    blitPixels(canvas, x, y, width, height, *mask, 0, 0, RasterOp::And);
    blitPixels(canvas, x, y, width, height, *strip, 0, frame() * frameHeight, RasterOp::Or);
}
