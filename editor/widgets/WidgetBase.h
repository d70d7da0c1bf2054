// A rectangular mouse-driven control of the editor: geometry, value, the
// parameter it shows, drawing flags, and event handlers that do nothing until
// a concrete widget overrides them.
#pragma once

#include <atomic>
#include <cstdint>

class QFGui;
struct PixelSurface;

using ColourRef = std::uint32_t;  // 0x00BBGGRR, as Windows writes colours

class WidgetBase {
public:
    WidgetBase(int x, int y, int width, int height) : x(x), y(y), width(width), height(height) {}
    virtual ~WidgetBase() = default;
    WidgetBase(const WidgetBase&) = delete;
    WidgetBase& operator=(const WidgetBase&) = delete;

    // Mouse events in window pixels; button 0 is the left, 1 the right button.
    virtual void onMouseDown(int /*button*/, int /*x*/, int /*y*/) {}
    virtual void onMouseUp(int /*button*/, int /*x*/, int /*y*/) {}
    virtual void onMouseEnter(int /*x*/, int /*y*/) {}
    virtual void onMouseLeave(int /*x*/, int /*y*/) {}
    // The drag that began with a press ended: button released or capture lost.
    virtual void onDragEnd(int /*x*/, int /*y*/) {}
    virtual void onDrag(int /*x*/, int /*y*/) {}
    // One wheel notch: +1 up, -1 down.
    virtual void onMouseWheel(int /*steps*/) {}
    // Draws the widget into the editor's picture of the panel with the editor's colours.
    virtual void draw(PixelSurface& /*canvas*/, ColourRef /*pen*/, ColourRef /*fill*/) {}
    // Sets the value; notify reports a change to the plug-in.
    virtual void setValue(float value, bool notify) = 0;
    virtual float getValue() = 0;

    int x;
    int y;
    int width;
    int height;
    // Written by the window's thread and by whichever thread the host changes
    // parameters on, so kept atomic; neither needs ordering with anything else.
    std::atomic<float> value{0.0f};
    int paramIndex = 0;
    QFGui* owner = nullptr;
    bool automate = false;          // report the user's changes to the plug-in, else only show them
    std::atomic<bool> dirty{true};  // draw at the next redraw or paint
    bool pressed = false;
    bool round = false;   // the editor's underlay is an ellipse, else a rectangle
    bool filled = false;  // the editor draws an underlay at all
};
