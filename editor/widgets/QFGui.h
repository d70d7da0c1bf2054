// The editor window: a child window of the host's parent window that shows a
// background picture and a list of widgets, routes the mouse to them, draws
// them, and lets the plug-in bring them up to date when parameters change
// behind the editor's back. It knows nothing of the particular panel, nor of
// the window system: it composes the panel into a PixelSurface and the window
// layer (PanelWindow) shows it.
//
// The panel has two sizes, its natural one (scale 1) and twice that (scale 2),
// chosen by the first that applies: the user's choice from the panel's menu,
// the host's request, the screen's density. While the pointer is over a
// widget, or the user turns one, a strip of the panel shows the parameter's
// name and value as the host shows them.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "editor/drawing/PixelSurface.h"
#include "editor/interface/AEffEditor.h"
#include "editor/interface/PanelWindow.h"
#include "editor/widgets/WidgetBase.h"

class QFGui : public AEffEditor, private PanelWindowEvents {
public:
    // A panel of panelWidth x panelHeight pixels at scale 1.
    QFGui(EditorHost* effect, int panelWidth, int panelHeight);
    ~QFGui() override;

    // The rectangle of the size in force while open; while closed, of the size
    // the panel would open at on the default screen.
    bool getRect(EditorRect** out) override;
    // Creates the child window in parent (an HWND, or an X11 window id cast
    // through uintptr_t); an editor already open closes its old window first.
    // False when no window could be made.
    bool open(void* parent) override;
    // Opens the panel in a window of its own, titled (a standalone
    // application): the keyboard and the close button reach the EditorHost
    // (panelKey, panelCloseRequested). Size changes make the window again.
    bool openTopLevel(const char* title);
    // Renames that window (and the one made again at another size).
    void setTopLevelTitle(const char* title);
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

    // The panel's scale in force, 1 or 2.
    int panelScale() const { return scale; }
    // The user's choice of scale (1 or 2), kept for the editor's lifetime and
    // above every other rule. While open the host is asked to resize its
    // window; if it refuses, the panel keeps its size.
    void setUserScale(int s);
    // The host's request: a factor of 1.5 and above gives scale 2.
    void setScaleRequest(float factor) override;

    // The readout's text as last drawn, empty while none shows.
    const std::string& readoutText() const { return shownReadout; }

    // The panel's menu (a right click on the background): the two sizes, a
    // separator (empty), then the plug-in's programs.
    std::vector<std::string> menuItems() const;
    // Acts on item index of menuItems().
    void chooseMenuItem(int index);
    // A menu drawn into the panel is showing (window systems without menus of their own).
    bool menuShowing() const { return menuOpen; }
    // Opens the drawn menu at (x, y) in window pixels, kept inside the panel
    // (a page's menu button or long press); closes it again.
    void openMenu(int x, int y);
    void closeMenu();

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
    const std::vector<std::unique_ptr<WidgetBase>>& widgetList() const { return widgets; }
    WidgetBase* hoverWidget() const { return hover; }
    WidgetBase* capturedWidget() const { return captured; }
    // Live editors in the process.
    static int liveEditors() { return editorCount.load(); }

protected:
    // Appends a widget, owned from now on, and returns it; only while
    // constructing the editor.
    template <class Widget>
    Widget* addWidget(std::unique_ptr<Widget> widget) {
        Widget* added = widget.get();
        widgets.push_back(std::move(widget));
        return added;
    }
    // Makes s the panel's scale: size, rectangle and picture; a panel
    // overrides it to place its widgets and choose its bitmaps. False (and
    // nothing changed) where the panel cannot be shown at s.
    virtual bool applyScale(int s);

    int baseWidth;  // size at scale 1
    int baseHeight;
    int scale = 1;
    // Where the readout shows at scale 1; no readout while its width is 0.
    int readoutX = 0, readoutY = 0, readoutWidth = 0, readoutHeight = 0;
    // The colours of what the editor draws itself, 0x00RRGGBB: the readout's
    // text, and the drawn menu's ground, border, item under the pointer, text
    // and the marks of the size and the program in force.
    std::uint32_t readoutColour = 0xFFFFFF;
    std::uint32_t menuGroundColour = 0x000000, menuBorderColour = 0x808080, menuHotColour = 0x404040,
                  menuTextColour = 0xFFFFFF, menuMarkColour = 0xFFFFFF;
    EditorRect rect;
    ColourRef penColour = 0x000000;
    ColourRef fillColour = 0xFAFAFA;
    ColourRef backColour = 0x969696;  // window fill without a background picture
    int width;
    int height;
    const PixelSurface* background = nullptr;         // not owned; null for a plain fill
    std::vector<std::unique_ptr<WidgetBase>> widgets;  // in creation order
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
    void windowKey(int key, bool down) override;
    void windowKeysLost() override;
    void windowCloseRequested() override;

    // Draws the background and every widget into the picture.
    void compose();
    void endDrag(int x, int y);
    void endGesture();
    // The scale the rules give for a window opened into parent (null: the default screen).
    int preferredScale(void* parent);
    // Goes to scale s, resizing the host's window while open.
    void changeScale(int s);
    // Brings the readout up to date with the widget under the pointer (or
    // being turned) and its parameter's text, and shows what changed.
    void updateReadout();
    void drawReadout();
    void presentScaled(int x, int y, int w, int h);
    // The menu drawn into the panel.
    void drawMenu();
    int menuItemAt(int x, int y) const;
    bool anyDirty() const;
    bool onWindowThread() const;

    int userScale = 0;              // 0: the user has not chosen
    std::atomic<int> hostScale{0};  // 0: the host has not asked; hosts may ask from any thread
    int screenScale = 0;            // the default screen's, once asked; 0 before
    WidgetBase* wheeled = nullptr;  // the widget last turned with the wheel, while the pointer stays on it
    std::string shownReadout;
    bool menuOpen = false;
    int menuX = 0, menuY = 0, menuHot = -1;  // menu position in window pixels, item under the pointer
    std::vector<std::string> menuList;

    std::unique_ptr<PanelWindow> panelWindow;
    bool topLevel = false;  // a window of its own, titled topLevelTitle
    std::string topLevelTitle;
    PixelSurface picture;
    bool windowOpen = false;
    // The parameter whose gesture the host has been told of, -1 for none.
    int gestureParam = -1;
    // Thread that opened the window, none while closed: only it draws.
    std::atomic<std::thread::id> windowThread{};
    static std::atomic<int> editorCount;
};
