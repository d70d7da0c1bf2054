// Shared pieces of the editor tests: a plug-in that records what reaches it, a
// widget that records the mouse events it gets, an editor to put such widgets
// in, a host window to open editors into, and pixel helpers.
#pragma once

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "editor/drawing/PixelSurface.h"
#include "editor/interface/EditorHost.h"
#include "editor/widgets/QFGui.h"
#include "editor/win32/Win32Api.h"

namespace editortest {

// A plug-in with sixteen parameters that behaves like the instrument towards its
// editor: a changed value is passed to updateParameter and redrawDirty.
class FakePlugin : public EditorHost {
public:
    struct Call {
        int index;
        float value;
    };

    FakePlugin();
    virtual ~FakePlugin();

    // The host sets a parameter.
    void setParameter(int index, float value);
    float getParameter(int index);

    float parameterValue(int index) override { return getParameter(index); }
    void parameterName(int index, char* text) override;
    void parameterDisplay(int index, char* text) override;
    void parameterLabel(int index, char* text) override;
    // The editor's report: set, then the host records it.
    void changeParameter(int index, float value) override {
        setParameter(index, value);
        automations.push_back({index, value});
        gestures.push_back("change " + std::to_string(index));
    }
    void beginGesture(int index) override { gestures.push_back("begin " + std::to_string(index)); }
    void endGesture(int index) override { gestures.push_back("end " + std::to_string(index)); }
    bool resizeEditor(int width, int height) override {
        resizes.push_back({width, height});
        return acceptResize;
    }

    // Programs: names from programs, choices recorded.
    int programCount() override { return static_cast<int>(programs.size()); }
    void programName(int index, char* text) override;
    void selectProgram(int index) override { selectedPrograms.push_back(index); }
    int currentProgram() override { return selectedPrograms.empty() ? -1 : selectedPrograms.back(); }
    // Lines the menu shows after the programs (a standalone's devices).
    std::vector<std::string> info;
    int infoLineCount() override { return static_cast<int>(info.size()); }
    void infoLine(int index, char* text) override { std::snprintf(text, kInfoBytes, "%s", info[index].c_str()); }
    void chooseInfoLine(int index) override { chosenLines.push_back(index); }
    std::vector<int> chosenLines;

    // The editor to keep up to date; owned by the test, not by the plug-in.
    void attach(QFGui* editor) { gui = editor; }
    // Rewrites all values as a state restore does: the editor reloads, no drawing.
    void restoreState(const std::vector<float>& newValues);
    // Rewrites all values as a program change does: reload and draw.
    void switchProgram(const std::vector<float>& newValues);

    std::vector<Call> setCalls;     // every setParameter
    std::vector<Call> automations;  // every change the host heard from the editor
    std::vector<std::string> gestures;  // "begin N", "change N" and "end N", in order
    std::vector<std::pair<int, int>> resizes;
    bool acceptResize = true;
    std::vector<std::string> programs;
    std::vector<int> selectedPrograms;
    float values[16];
    QFGui* gui = nullptr;
};

// A widget that logs each event as "<name>:<event>".
class ProbeWidget : public WidgetBase {
public:
    ProbeWidget(std::string name, std::vector<std::string>& log, int x, int y, int w, int h)
        : WidgetBase(x, y, w, h), name(std::move(name)), log(log) {}
    void onMouseDown(int button, int, int) override { log.push_back(name + ":down" + std::to_string(button)); }
    void onMouseUp(int button, int, int) override { log.push_back(name + ":up" + std::to_string(button)); }
    void onMouseEnter(int, int) override { log.push_back(name + ":enter"); }
    void onMouseLeave(int, int) override { log.push_back(name + ":leave"); }
    void onDragEnd(int, int) override { log.push_back(name + ":dragend"); }
    void onDrag(int, int y) override { log.push_back(name + ":drag" + std::to_string(y)); }
    void onMouseWheel(int steps) override { log.push_back(name + ":wheel" + std::to_string(steps)); }
    void setValue(float v, bool) override { value.store(v); }
    float getValue() override { return value.load(); }

    std::string name;
    std::vector<std::string>& log;
};

// The probes' log, a base of the editor so that it outlives the editor's own
// teardown (which may still end a drag).
struct ProbeLog {
    std::vector<std::string> log;
};

// An editor with widgets chosen by the test.
class ProbeEditor : public ProbeLog, public QFGui {
public:
    explicit ProbeEditor(EditorHost* effect) : QFGui(effect, 512, 272) {}
    ProbeWidget* add(const std::string& name, int x, int y, int w = 24, int h = 24) {
        return addWidget(std::make_unique<ProbeWidget>(name, log, x, y, w, h));
    }
    using QFGui::addWidget;
};

// The host's window that an editor opens into: a child of a visible top-level
// window at the screen's origin, so its client area starts at (left, top) of
// the screen. frame is null where no window can be created (a Windows build
// without a display).
class HostWindow {
public:
    explicit HostWindow(int left = 40, int top = 30, int width = 512, int height = 272);
    ~HostWindow();
    HostWindow(const HostWindow&) = delete;
    HostWindow& operator=(const HostWindow&) = delete;
    HWND frame = nullptr;
};

// Skips the test where the platform has no display for real windows.
#define REQUIRE_WINDOWS(host)                                              \
    if (!(host).frame) {                                                   \
        GTEST_SKIP() << "no display: windows cannot be created here";      \
    }                                                                      \
    static_cast<void>(0)

// The editor's child window.
inline HWND editorWindow(const QFGui& gui) { return static_cast<HWND>(gui.window()); }

// Mouse message helpers: client positions packed as the window procedure gets them.
LPARAM packPoint(int x, int y);
LRESULT sendMouse(HWND window, UINT message, int x, int y);
// A wheel notch of delta at client position (x, y), sent with screen coordinates.
LRESULT sendWheel(HWND window, int delta, int x, int y);

// What the window shows now (a real window is read back through a DIB).
PixelSurface captureWindow(HWND window, int width, int height);

// The panel bitmaps as built into the program (101-103 at 1x, 201-203 at 2x).
const PixelSurface& panelBitmap(int id);

// The panel as the editor must show it: the background, then for each knob
// position (x, y) with its frame, the mask ANDed and the frame ORed in; at
// scale 2 from the 2x bitmaps, positions in 2x pixels.
struct KnobPicture {
    int x, y, frame;
};
PixelSurface composePanel(const std::vector<KnobPicture>& knobs, int scale = 1);

// Number of pixels that differ inside the rectangle [x0, x1) x [y0, y1).
int differingPixels(const PixelSurface& a, const PixelSurface& b, int x0, int y0, int x1, int y1);

}  // namespace editortest
