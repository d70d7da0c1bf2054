// The editor window: a fixed-size child window of the host's parent window that
// shows a background picture and a list of widgets, routes the mouse to them,
// draws them, and lets the plug-in bring them up to date when parameters change
// behind the editor's back. It knows nothing of the particular panel, nor of
// the window system: it composes the panel into a PixelSurface and the window
// layer (PanelWindow) shows it.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <thread>
#include <vector>

#include "editor/AEffEditor.h"
#include "editor/PanelWindow.h"
#include "editor/PixelSurface.h"
#include "editor/WidgetBase.h"

class QFGui : public AEffEditor, private PanelWindowEvents {
public:
    explicit QFGui(EditorHost* effect);
    ~QFGui() override;

    // The 512 x 272 rectangle, open or not.
    bool getRect(EditorRect** out) override;
    // Creates the child window in parent (an HWND, or an X11 window id cast
    // through uintptr_t); an editor already open closes its old window first.
    // False when no window could be made.
    bool open(void* parent) override;
    void close() override;
    // Handles the window's queued events and draws what changed since the
    // last drawing (updates from other threads wait for this).
    void idle() override;

    // Sets every widget bound to parameter index, without reporting back and without drawing.
    void updateParameter(int index, float value) override;
    // Reloads every widget from the plug-in's parameters, without reporting back and without drawing.
    void updateAllParameters() override;
    // Draws the widgets marked dirty, if the editor is open and this is the window's thread.
    void redrawDirty() override;

    // A widget's report of the user's change: the host hears it inside a
    // gesture. During a press the gesture begins at the first change and ends
    // when the press does; a change outside a press (a wheel notch) is a
    // gesture of its own.
    void reportChange(WidgetBase* widget, float value);

    // Composes the background and every widget and shows the whole panel.
    void paint();
    // Composes the whole panel as every window layer shows it, and returns it.
    const PixelSurface& render();
    // The first widget whose inside (edges excluded) holds (x, y), or null.
    WidgetBase* widgetAt(int x, int y) const;
    // Draws a dirty widget with its underlay into the panel and marks it clean.
    void drawWidget(WidgetBase* widget, ColourRef pen, ColourRef fill);

    // The editor's native child window (HWND or X11 window id) while open, else null.
    void* window() const;
    // The panel as the editor last composed it.
    const PixelSurface& canvas() const { return picture; }
    const std::vector<WidgetBase*>& widgetList() const { return widgets; }
    WidgetBase* hoverWidget() const { return hover; }
    WidgetBase* capturedWidget() const { return captured; }
    // Live editors in the process.
    static int liveEditors() { return editorCount.load(); }

protected:
    // Appends a widget (owned from now on); only while constructing the editor.
    void addWidget(WidgetBase* widget);

    EditorRect rect{0, 0, 272, 512};
    ColourRef penColour = 0x000000;
    ColourRef fillColour = 0xFAFAFA;
    ColourRef backColour = 0x969696;  // window fill without a background picture
    int width = 512;
    int height = 272;
    const PixelSurface* background = nullptr;  // not owned; null for a plain fill
    std::vector<WidgetBase*> widgets;          // owned, in creation order
    WidgetBase* hover = nullptr;
    WidgetBase* captured = nullptr;

private:
    // What the window reports.
    void windowMouseMove(int x, int y) override;
    void windowPress(int button, int x, int y) override;
    void windowRelease(int button, int x, int y) override;
    void windowWheel(int steps, int x, int y) override;
    void windowCaptureLost() override;
    void windowExposed() override;
    void windowTick() override;
    void windowDestroyed() override;

    // Draws the background and every widget into the picture.
    void compose();
    void endDrag(int x, int y);
    void endGesture();
    bool anyDirty() const;
    bool onWindowThread() const;

    std::unique_ptr<PanelWindow> panelWindow;
    PixelSurface picture;
    bool windowOpen = false;
    // The parameter whose gesture the host has been told of, -1 for none.
    int gestureParam = -1;
    bool inPress = false;  // changes belong to the press under way
    // Thread that opened the window, none while closed: only it draws.
    std::atomic<std::thread::id> windowThread{};
    static std::atomic<int> editorCount;
};
