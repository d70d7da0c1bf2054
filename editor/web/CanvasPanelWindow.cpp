#include "editor/web/CanvasPanelWindow.h"

#include <algorithm>

#include "editor/drawing/PixelSurface.h"

namespace {
int pageScale = 1;
}

void setCanvasPanelScale(int scale) { pageScale = scale >= 2 ? 2 : 1; }

int systemPanelScale(void*) { return pageScale; }
int hostWindowUnit(void*) { return 1; }

std::unique_ptr<PanelWindow> createPanelWindow(PanelWindowEvents& events) {
    return std::make_unique<CanvasPanelWindow>(events);
}

bool CanvasPanelWindow::open(void*, const PixelSurface& panel) {
    opened = true;
    shown = &panel;
    shownWidth = panel.width;
    shownHeight = panel.height;
    changed = {0, 0, panel.width, panel.height};
    return true;
}

void CanvasPanelWindow::close() {
    opened = false;
    shown = nullptr;
    changed = {};
}

void CanvasPanelWindow::present(const PixelSurface& panel, int x, int y, int width, int height) {
    if (!opened) return;
    shown = &panel;
    // A new size (the panel was scaled) is shown whole.
    if (panel.width != shownWidth || panel.height != shownHeight) {
        shownWidth = panel.width;
        shownHeight = panel.height;
        changed = {0, 0, panel.width, panel.height};
        return;
    }
    // The union of what changed since the page last looked, held to the panel.
    const int left = std::max(0, x), top = std::max(0, y);
    const int right = std::min(panel.width, x + width), bottom = std::min(panel.height, y + height);
    if (right <= left || bottom <= top) return;
    if (changed.width == 0) {
        changed = {left, top, right - left, bottom - top};
        return;
    }
    const int l = std::min(changed.x, left), t = std::min(changed.y, top);
    const int r = std::max(changed.x + changed.width, right), b = std::max(changed.y + changed.height, bottom);
    changed = {l, t, r - l, b - t};
}

CanvasPanelWindow::Rect CanvasPanelWindow::takeChanged() {
    const Rect taken = changed;
    changed = {};
    return taken;
}
