#include "editor/QFGui.h"

#include <algorithm>
#include <cmath>

std::atomic<int> QFGui::editorCount{0};

namespace {

// 0x00BBGGRR as the pixel surface stores it, 0x00RRGGBB.
std::uint32_t toPixel(ColourRef c) { return ((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF); }

}  // namespace

QFGui::QFGui(EditorHost* effect)
    : AEffEditor(effect), panelWindow(createPanelWindow(*this)), picture(width, height, toPixel(backColour)) {
    editorCount.fetch_add(1);
}

QFGui::~QFGui() {
    // The window goes first: its last events may still reach the widgets.
    close();
    panelWindow.reset();
    for (WidgetBase* w : widgets) delete w;
    widgets.clear();
    hover = nullptr;
    captured = nullptr;
    editorCount.fetch_sub(1);
}

void QFGui::addWidget(WidgetBase* widget) { widgets.push_back(widget); }

bool QFGui::getRect(EditorRect** out) {
    if (!out) return false;
    *out = &rect;
    return true;
}

void* QFGui::window() const { return panelWindow ? panelWindow->handle() : nullptr; }

bool QFGui::open(void* parent) {
    // Hosts may open twice without closing: the first window is not leaked.
    close();
    systemWindow = parent;  // open from here on, also while the window is created
    windowThread.store(std::this_thread::get_id(), std::memory_order_relaxed);
    windowOpen = true;
    // The window shows the whole panel from its first moment where it can.
    for (WidgetBase* w : widgets) w->dirty.store(true, std::memory_order_relaxed);
    compose();
    if (!panelWindow->open(parent, picture)) {
        windowOpen = false;
        systemWindow = nullptr;
        windowThread.store(std::thread::id(), std::memory_order_relaxed);
        return false;
    }
    return true;
}

void QFGui::close() {
    // A drag in progress ends, and with it the host's gesture.
    if (captured) endDrag(0, 0);
    endGesture();
    if (panelWindow) panelWindow->close();
    windowOpen = false;
    systemWindow = nullptr;
    windowThread.store(std::thread::id(), std::memory_order_relaxed);
}

bool QFGui::onWindowThread() const {
    const std::thread::id owner = windowThread.load(std::memory_order_relaxed);
    return owner != std::thread::id() && owner == std::this_thread::get_id();
}

bool QFGui::anyDirty() const {
    for (const WidgetBase* w : widgets)
        if (w->dirty.load(std::memory_order_relaxed)) return true;
    return false;
}

void QFGui::idle() {
    if (!onWindowThread() || !windowOpen) return;
    panelWindow->processEvents();
    if (anyDirty()) redrawDirty();
}

void QFGui::updateParameter(int index, float value) {
    for (WidgetBase* w : widgets)
        if (w->paramIndex == index && std::fabs(w->getValue() - value) > 0.0001f) w->setValue(value, false);
}

void QFGui::updateAllParameters() {
    EditorHost* host = getEffect();
    if (!host) return;
    for (WidgetBase* w : widgets) w->setValue(host->parameterValue(w->paramIndex), false);
}

void QFGui::redrawDirty() {
    // Another thread (host automation, a state restore) leaves the widgets
    // dirty; the window's own thread draws them at its next paint or idle.
    if (!onWindowThread() || !windowOpen || !window()) return;
    int left = width, top = height, right = 0, bottom = 0;
    for (WidgetBase* w : widgets) {
        if (!w->dirty.load(std::memory_order_relaxed)) continue;
        left = std::min(left, w->x);
        top = std::min(top, w->y);
        right = std::max(right, w->x + w->width);
        bottom = std::max(bottom, w->y + w->height);
        drawWidget(w, penColour, fillColour);
    }
    left = std::max(left, 0);
    top = std::max(top, 0);
    right = std::min(right, width);
    bottom = std::min(bottom, height);
    if (left < right && top < bottom) panelWindow->present(picture, left, top, right - left, bottom - top);
}

void QFGui::drawWidget(WidgetBase* widget, ColourRef pen, ColourRef fill) {
    if (!widget->dirty.load(std::memory_order_relaxed)) return;
    const int l = widget->x, t = widget->y, r = widget->x + widget->width, b = widget->y + widget->height;
    if (widget->filled) {
        if (widget->round)
            fillEllipse(picture, l, t, r, b, toPixel(pen), toPixel(fill));
        else
            fillPixels(picture, l, t, r, b, toPixel(fill));
    }
    // Cleared before drawing: a change from another thread while the widget
    // draws leaves it dirty for the next pass instead of being lost.
    widget->dirty.store(false, std::memory_order_relaxed);
    widget->draw(picture, pen, fill);
}

void QFGui::compose() {
    if (background)
        blitPixels(picture, 0, 0, width, height, *background, 0, 0, RasterOp::Copy);
    else
        fillPixels(picture, 0, 0, width, height, toPixel(backColour));
    for (WidgetBase* w : widgets) {
        w->dirty.store(true, std::memory_order_relaxed);
        drawWidget(w, penColour, fillColour);
    }
}

const PixelSurface& QFGui::render() {
    compose();
    return picture;
}

void QFGui::paint() {
    if (!windowOpen || !window()) return;
    compose();
    panelWindow->present(picture, 0, 0, width, height);
}

WidgetBase* QFGui::widgetAt(int px, int py) const {
    for (WidgetBase* w : widgets)
        if (w->x < px && px < w->x + w->width && w->y < py && py < w->y + w->height) return w;
    return nullptr;
}

void QFGui::reportChange(WidgetBase* widget, float value) {
    EditorHost* host = getEffect();
    if (!host || !widget) return;
    const int index = widget->paramIndex;
    if (widget == captured) {
        // The first change of a press opens the gesture; the press's end closes it.
        if (gestureParam != index) {
            endGesture();
            host->beginGesture(index);
            gestureParam = index;
        }
        host->changeParameter(index, value);
    } else if (gestureParam == index) {
        host->changeParameter(index, value);  // already inside this parameter's gesture
    } else {
        host->beginGesture(index);
        host->changeParameter(index, value);
        host->endGesture(index);
    }
}

void QFGui::endGesture() {
    if (gestureParam < 0) return;
    const int index = gestureParam;
    gestureParam = -1;
    if (EditorHost* host = getEffect()) host->endGesture(index);
}

void QFGui::windowMouseMove(int x, int y) {
    WidgetBase* p = widgetAt(x, y);
    if (captured) captured->onDrag(x, y);
    if (hover && p != hover) {
        // The widget now under the mouse is entered on a later move.
        hover->onMouseLeave(x, y);
        hover = nullptr;
    } else if (p && p != hover && (!captured || p == captured)) {
        p->onMouseEnter(x, y);
        hover = p;
    }
    redrawDirty();
}

void QFGui::windowPress(int button, int x, int y) {
    WidgetBase* p = widgetAt(x, y);
    if (p) {
        // Another press takes the capture: the gesture of the last one is over.
        endGesture();
        p->onMouseDown(button, x, y);
        captured = p;
        panelWindow->captureMouse();
    }
    redrawDirty();
}

void QFGui::endDrag(int x, int y) {
    WidgetBase* w = captured;
    captured = nullptr;
    if (w) w->onDragEnd(x, y);
    endGesture();
}

void QFGui::windowRelease(int button, int x, int y) {
    WidgetBase* p = widgetAt(x, y);
    if (p && (!captured || p == captured)) p->onMouseUp(button, x, y);
    if (captured) {
        endDrag(x, y);
        panelWindow->releaseMouse();
    }
    redrawDirty();
}

void QFGui::windowWheel(int steps, int x, int y) {
    if (WidgetBase* p = widgetAt(x, y)) p->onMouseWheel(steps);
    redrawDirty();
}

void QFGui::windowCaptureLost() {
    if (!captured) return;
    endDrag(0, 0);
    panelWindow->releaseMouse();
    redrawDirty();
}

void QFGui::windowExposed() { paint(); }

void QFGui::windowTick() { idle(); }

void QFGui::windowDestroyed() {
    // Destroyed with the host's window: the drag ends, nothing is drawn again.
    windowOpen = false;
    if (captured) endDrag(0, 0);
    endGesture();
}
