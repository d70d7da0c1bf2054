// The editor window: a fixed-size child window of the host's parent window that
// shows a background picture and a list of widgets, routes the mouse to them,
// draws them, and lets the plug-in bring them up to date when parameters change
// behind the editor's back. It knows nothing of the particular panel.
#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

#include "editor/AEffEditor.h"
#include "editor/ModuleInstance.h"
#include "editor/WidgetBase.h"

class QFGuiWindow;

class QFGui : public AEffEditor {
public:
    explicit QFGui(EditorHost* effect);
    ~QFGui() override;

    // The 512 x 272 rectangle, open or not.
    bool getRect(EditorRect** out) override;
    // Creates the child window in parent; an editor already open closes its old window first.
    bool open(void* parent) override;
    void close() override;
    // Draws what changed since the last drawing (updates from other threads wait for this).
    void idle() override;

    // Sets every widget bound to parameter index, without reporting back and without drawing.
    void updateParameter(int index, float value) override;
    // Reloads every widget from the plug-in's parameters, without reporting back and without drawing.
    void updateAllParameters() override;
    // Draws the widgets marked dirty, if the editor is open and this is the window's thread.
    void redrawDirty() override;

    // Handles one message of the editor's window; positions are client pixels.
    std::intptr_t handleMessage(unsigned message, std::uintptr_t wParam, std::intptr_t lParam);
    // Draws the background and every widget (the window's paint pass).
    void paint();
    // The first widget whose inside (edges excluded) holds (x, y), or null.
    WidgetBase* widgetAt(int x, int y) const;
    // Draws a dirty widget with its underlay and marks it clean.
    void drawWidget(WidgetBase* widget, DrawContext dc, ColourRef pen, ColourRef fill);

    // The editor's child window (an HWND) while open, else null.
    void* window() const { return hwnd; }
    const std::vector<WidgetBase*>& widgetList() const { return widgets; }
    WidgetBase* hoverWidget() const { return hover; }
    WidgetBase* capturedWidget() const { return captured; }
    // Live editors in the process; the window class exists while this is above 0.
    static int liveEditors() { return editorCount.load(); }

    static constexpr const char* kClassName = "QFGui";

protected:
    // Appends a widget (owned from now on); only while constructing the editor.
    void addWidget(WidgetBase* widget);

    EditorRect rect{0, 0, 272, 512};
    struct {
        std::int32_t left, top, right, bottom;
    } clientRect{0, 0, 512, 272};
    void* hwnd = nullptr;             // HWND
    ColourRef penColour = 0x000000;
    ColourRef fillColour = 0xFAFAFA;
    ColourRef backColour = 0x969696;  // window fill without a background picture
    int width = 512;
    int height = 272;
    BitmapHandle background = nullptr;  // not owned
    std::vector<WidgetBase*> widgets;   // owned, in creation order
    WidgetBase* hover = nullptr;
    WidgetBase* captured = nullptr;
    bool hasBackground = false;
    void* instance;  // HINSTANCE

private:
    friend class QFGuiWindow;

    void mouseMove(int x, int y);
    void press(int button, int x, int y);
    void release(int button, int x, int y);
    void wheel(std::uintptr_t wParam, int x, int y);
    void endDrag(int x, int y);
    bool anyDirty() const;
    bool onWindowThread() const;

    // Thread that created the window, 0 while closed: only it draws.
    std::atomic<std::uint32_t> windowThread{0};
    static std::atomic<int> editorCount;
};
