// The editor's window over Xlib, for Linux hosts. libX11 is opened at the first
// window (dlopen), so the plug-in loads on machines without X libraries. Each
// window has its own display connection, used only on the thread that opened
// it; events are read when the editor idles. The panel is the window's
// background pixmap, so the server repaints exposed parts by itself between
// idles, and X errors of our own requests are trapped without leaving the
// process's error handler changed.
#pragma once

#include <memory>

#include "editor/interface/PanelWindow.h"

class X11PanelWindow : public PanelWindow {
public:
    explicit X11PanelWindow(PanelWindowEvents& events);
    ~X11PanelWindow() override;

    // parent is the host's X11 window id cast through uintptr_t.
    bool open(void* parent, const PixelSurface& panel) override;
    // A window of the root: titled, WM_CLASS hammerlyn2, size hints fixed to
    // the panel, WM_DELETE_WINDOW for its close button; keys and focus read.
    bool openTopLevel(const char* title, const PixelSurface& panel) override;
    void setTitle(const char* title) override;
    void close() override;
    void* handle() const override;
    void present(const PixelSurface& panel, int x, int y, int width, int height) override;
    // The server's automatic grab during a button press keeps the pointer on
    // the window; nothing more is taken.
    void captureMouse() override {}
    void releaseMouse() override {}
    void processEvents() override;

    struct Connection;  // the display, the window and what draws into it

private:
    // A child of parentId, or with a title a window of the root.
    bool openWindow(unsigned long parentId, const char* title, const PixelSurface& panel);
    void nameTopLevel(const void* library, const char* title, unsigned width, unsigned height);
    void dispatch(const void* event);

    PanelWindowEvents& events;
    std::unique_ptr<Connection> x;
};
