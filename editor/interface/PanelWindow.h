// The window layer under the editor: one child window of the host's window that
// shows a picture of the panel and reports the mouse. The editor composes the
// panel into a PixelSurface and hands the window the parts that changed; it
// never learns which window system is underneath. Each build links one
// implementation: editor/win32 (USER32 and GDI32) or editor/x11 (Xlib).
#pragma once

#include <memory>

struct PixelSurface;

// What a window tells the editor, always on the thread that opened it.
// Positions are client pixels; they may lie outside the window while the
// mouse is held down.
class PanelWindowEvents {
public:
    virtual void windowMouseMove(int x, int y) = 0;
    // button 0 is the left, 1 the right button
    virtual void windowPress(int button, int x, int y) = 0;
    virtual void windowRelease(int button, int x, int y) = 0;
    // One wheel notch at (x, y): +1 up, -1 down.
    virtual void windowWheel(int steps, int x, int y) = 0;
    // The mouse was taken away from a drag (another window grabbed it).
    virtual void windowCaptureLost() = 0;
    // The window must show the whole panel again.
    virtual void windowExposed() = 0;
    // The window's own idle tick, where the window system has one.
    virtual void windowTick() = 0;
    // The window is gone without the editor closing it (the host destroyed its
    // parent): the editor must forget it.
    virtual void windowDestroyed() = 0;
    // A window of its own (openTopLevel) also reports the keyboard and its
    // close button. key is a NoteKeys key (-1 for keys that play nothing);
    // keysLost: the window lost the keyboard, every held key counts as let go.
    virtual void windowKey(int /*key*/, bool /*down*/) {}
    virtual void windowKeysLost() {}
    virtual void windowCloseRequested() {}

protected:
    ~PanelWindowEvents() = default;
};

class PanelWindow {
public:
    virtual ~PanelWindow() = default;

    // Creates and shows the window as a child of parent (an HWND, or an X11
    // window id cast through uintptr_t), with the size of panel, which it
    // shows from the start where the window system can. False when the window
    // system cannot be reached or refuses; then nothing is left open.
    virtual bool open(void* parent, const PixelSurface& panel) = 0;
    // Creates and shows the window as one of its own on the default screen (a
    // standalone application): titled, fixed to the size of panel, taking the
    // keyboard, its close button reported. False where the layer has no such
    // mode or the window system refuses; then nothing is left open.
    virtual bool openTopLevel(const char* /*title*/, const PixelSurface& /*panel*/) { return false; }
    // Renames a window of its own (openTopLevel) while open.
    virtual void setTitle(const char* /*title*/) {}
    // Destroys the window; harmless when none is open.
    virtual void close() = 0;
    // The native window (HWND or X11 window id) while open, else null.
    virtual void* handle() const = 0;
    // Shows the rectangle (x, y, width, height) of panel, which has the window's size.
    virtual void present(const PixelSurface& panel, int x, int y, int width, int height) = 0;
    // Keeps the mouse on this window while a button is held (a drag leaving
    // the window goes on), and lets it go.
    virtual void captureMouse() = 0;
    virtual void releaseMouse() = 0;
    // Handles what the window system has queued for the window (called from
    // the editor's idle on the opening thread); nothing where the system
    // delivers events by itself.
    virtual void processEvents() {}
    // Shows a menu of items at (x, y) in the window and waits for the user:
    // the index of the item chosen, -1 for none. An empty item is a separator.
    // kNoNativeMenu where the window system has no menu of its own; the editor
    // then draws one into the panel.
    static constexpr int kNoNativeMenu = -2;
    virtual int popupMenu(const char* const* /*items*/, int /*count*/, int /*checked*/, int /*x*/,
                          int /*y*/) {
        return kNoNativeMenu;
    }
};

// The panel scale (1 or 2) the screen under parent asks for, parent being the
// host's window the editor will open into, or null for the default screen:
// Windows, the window's DPI (the system DPI where unknown), 144 and above
// giving 2; X11, GDK_SCALE, then Xft.dpi from the X resources.
int systemPanelScale(void* parent);

// The host's unit of window size in pixels, parent being its window: a host
// that scales itself (a GTK 3 host at GDK_SCALE=2: 2) counts the sizes a
// plug-in asks for in its own units. 1 for every other host.
int hostWindowUnit(void* parent);

// The implementation this build links.
std::unique_ptr<PanelWindow> createPanelWindow(PanelWindowEvents& events);
