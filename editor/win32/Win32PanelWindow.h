// The editor's window over USER32 and GDI32 (on Linux the tests build it over
// their in-memory copy of those calls): a registered window class, a child
// window with an idle timer, the mouse capture, and the panel shown with
// SetDIBitsToDevice.
#pragma once

#include <atomic>

#include "editor/interface/PanelWindow.h"

class Win32PanelWindow : public PanelWindow {
public:
    explicit Win32PanelWindow(PanelWindowEvents& events);
    ~Win32PanelWindow() override;

    bool open(void* parent, const PixelSurface& panel) override;
    // A captioned window with a close and a minimise button, the panel's size
    // inside; keys by scan code.
    bool openTopLevel(const char* title, const PixelSurface& panel) override;
    // Runs the thread's messages while a window of its own is open (no host does).
    void processEvents() override;
    void close() override;
    void* handle() const override { return hwnd; }
    void present(const PixelSurface& panel, int x, int y, int width, int height) override;
    void captureMouse() override;
    void releaseMouse() override;
    // TrackPopupMenu; kNoNativeMenu where no menu can be made (the tests'
    // in-memory calls have none).
    int popupMenu(const char* const* items, int count, int checked, int x, int y) override;

    static constexpr const char* kClassName = "QFGui";

private:
    friend class Win32WindowProc;
    std::intptr_t handleMessage(unsigned message, std::uintptr_t wParam, std::intptr_t lParam);

    PanelWindowEvents& events;
    void* hwnd = nullptr;        // HWND
    void* instance;              // HINSTANCE of the module
    void* paintDc = nullptr;     // the HDC of the paint pass under way, if any
    int paintRight = 0, paintBottom = 0;  // how far that pass paints
    bool trackingLeave = false;  // the system reports the pointer leaving
    bool topLevel = false;       // opened by openTopLevel
    bool pumping = false;        // processEvents is running the messages
    static std::atomic<int> objectCount;
};
