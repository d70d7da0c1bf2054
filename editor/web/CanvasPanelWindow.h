// The window layer of the web edition: the page's <canvas> is the window. The
// editor presents its panel here as to any window; the page copies the
// changed rectangle onto the canvas and passes the pointer's events in.
#pragma once

#include "editor/interface/PanelWindow.h"

class CanvasPanelWindow final : public PanelWindow {
public:
    explicit CanvasPanelWindow(PanelWindowEvents& events) : events(events) {}

    bool open(void* parent, const PixelSurface& panel) override;
    void close() override;
    // The window itself: the page reaches it through the editor's window().
    void* handle() const override { return opened ? const_cast<CanvasPanelWindow*>(this) : nullptr; }
    void present(const PixelSurface& panel, int x, int y, int width, int height) override;
    // The page keeps the pointer on the canvas during a press by itself.
    void captureMouse() override {}
    void releaseMouse() override {}

    // What the page reads: the panel as last presented, and the rectangle that
    // changed since it last took it (empty when nothing did).
    const PixelSurface* surface() const { return shown; }
    struct Rect {
        int x = 0, y = 0, width = 0, height = 0;
    };
    Rect takeChanged();

    // What the page reports, in canvas pixels.
    PanelWindowEvents& input() { return events; }

private:
    PanelWindowEvents& events;
    const PixelSurface* shown = nullptr;
    Rect changed;
    int shownWidth = 0, shownHeight = 0;
    bool opened = false;
};

// The scale the page asks for by default (devicePixelRatio of 1.5 and up: 2).
void setCanvasPanelScale(int scale);
