// The editor window's rules: hit testing, hover, capture, wheel decoding, the
// window class's lifetime, and the window's own lifetime against the host's.
// They run against the real window system on Windows and the headless layer
// elsewhere.
#include <gtest/gtest.h>

#include <thread>
#include <utility>
#include <vector>

#include "EditorTestSupport.h"
#include "editor/drawing/PixelSurface.h"
#include "editor/interface/ModuleInstance.h"
#include "editor/keys/NoteKeys.h"
#include "editor/win32/Win32PanelWindow.h"

using namespace editortest;

namespace {

using Log = std::vector<std::string>;

class WindowRulesTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!host.frame) GTEST_SKIP() << "no display: windows cannot be created here";
        a = editor.add("A", 16, 32);
        b = editor.add("B", 40, 32);  // right next to A: A's right edge is B's left edge
        c = editor.add("C", 100, 100);
        editor.open(host.frame);
        window = editorWindow(editor);
        ASSERT_NE(window, nullptr);
        editor.log.clear();
    }
    void TearDown() override {
        if (editor.isOpen()) editor.close();
    }

    HostWindow host;
    FakePlugin plugin;
    ProbeEditor editor{&plugin};
    ProbeWidget* a = nullptr;
    ProbeWidget* b = nullptr;
    ProbeWidget* c = nullptr;
    HWND window = nullptr;
};

TEST_F(WindowRulesTest, EdgesBelongToNoWidget) {
    // A at x 16..40, y 32..56: only the inside hits.
    EXPECT_EQ(editor.widgetAt(17, 33), a);
    EXPECT_EQ(editor.widgetAt(39, 55), a);
    EXPECT_EQ(editor.widgetAt(16, 40), nullptr);
    EXPECT_EQ(editor.widgetAt(28, 32), nullptr);
    EXPECT_EQ(editor.widgetAt(28, 56), nullptr);
    EXPECT_EQ(editor.widgetAt(40, 40), nullptr);  // A's right edge and B's left edge
    EXPECT_EQ(editor.widgetAt(41, 40), b);
    // A press on an edge line grabs nothing.
    sendMouse(window, WM_LBUTTONDOWN, 16, 40);
    sendMouse(window, WM_LBUTTONDOWN, 28, 56);
    EXPECT_TRUE(editor.log.empty());
    EXPECT_EQ(editor.capturedWidget(), nullptr);
}

TEST_F(WindowRulesTest, MovingAcrossWidgetsLeavesThenEntersOnTheNextMove) {
    sendMouse(window, WM_MOUSEMOVE, 5, 5);
    sendMouse(window, WM_MOUSEMOVE, 20, 40);
    EXPECT_EQ(editor.log, (Log{"A:enter"}));
    sendMouse(window, WM_MOUSEMOVE, 30, 40);  // still over A
    EXPECT_EQ(editor.log, (Log{"A:enter"}));
    sendMouse(window, WM_MOUSEMOVE, 45, 40);  // straight onto B
    EXPECT_EQ(editor.log, (Log{"A:enter", "A:leave"}));
    EXPECT_EQ(editor.hoverWidget(), nullptr);
    sendMouse(window, WM_MOUSEMOVE, 46, 40);
    EXPECT_EQ(editor.log, (Log{"A:enter", "A:leave", "B:enter"}));
    EXPECT_EQ(editor.hoverWidget(), b);
    sendMouse(window, WM_MOUSEMOVE, 300, 200);
    EXPECT_EQ(editor.log.back(), "B:leave");
}

TEST_F(WindowRulesTest, CaptureKeepsTheDragOnThePressedWidget) {
    sendMouse(window, WM_MOUSEMOVE, 20, 40);
    sendMouse(window, WM_LBUTTONDOWN, 20, 40);
    EXPECT_EQ(editor.capturedWidget(), a);
    EXPECT_EQ(GetCapture(), window);
    // Over B and beyond the window's top-left corner the drag stays with A;
    // B is not entered while A holds the capture.
    sendMouse(window, WM_MOUSEMOVE, 45, 40);
    sendMouse(window, WM_MOUSEMOVE, 46, 38);
    sendMouse(window, WM_MOUSEMOVE, -5, -20);
    EXPECT_EQ(editor.log, (Log{"A:enter", "A:down0", "A:drag40", "A:leave", "A:drag38", "A:drag-20"}));
    EXPECT_EQ(editor.hoverWidget(), nullptr);
    // Released over B: B hears nothing, A's drag ends, the capture is gone.
    editor.log.clear();
    sendMouse(window, WM_LBUTTONUP, 46, 38);
    EXPECT_EQ(editor.log, (Log{"A:dragend"}));
    EXPECT_EQ(editor.capturedWidget(), nullptr);
    EXPECT_EQ(GetCapture(), nullptr);
    // Back over A without the capture: A is entered again.
    sendMouse(window, WM_MOUSEMOVE, 20, 40);
    EXPECT_EQ(editor.log.back(), "A:enter");
}

TEST_F(WindowRulesTest, ReleaseOverThePressedWidgetComesBeforeTheDragEnd) {
    sendMouse(window, WM_RBUTTONDOWN, 110, 110);
    sendMouse(window, WM_MOUSEMOVE, 110, 105);
    sendMouse(window, WM_RBUTTONUP, 110, 105);
    EXPECT_EQ(editor.log, (Log{"C:down1", "C:drag105", "C:enter", "C:up1", "C:dragend"}));
}

TEST_F(WindowRulesTest, SecondPressMovesTheCaptureWithoutEndingIt) {
    sendMouse(window, WM_LBUTTONDOWN, 20, 40);
    sendMouse(window, WM_RBUTTONDOWN, 110, 110);
    // Taking the capture again is not a loss: C's drag continues.
    EXPECT_EQ(editor.capturedWidget(), c);
    EXPECT_EQ(editor.log, (Log{"A:down0", "C:down1"}));
    sendMouse(window, WM_MOUSEMOVE, 110, 90);
    EXPECT_EQ(editor.log.back(), "C:drag90");
    sendMouse(window, WM_LBUTTONUP, 110, 90);
    EXPECT_EQ(editor.log.back(), "C:dragend");
}

TEST_F(WindowRulesTest, LosingTheCaptureEndsTheDragLikeARelease) {
    sendMouse(window, WM_LBUTTONDOWN, 20, 40);
    ASSERT_EQ(GetCapture(), window);
    // Another window of the host takes the mouse.
    SetCapture(host.frame);
    EXPECT_EQ(editor.log, (Log{"A:down0", "A:dragend"}));
    EXPECT_EQ(editor.capturedWidget(), nullptr);
    EXPECT_EQ(GetCapture(), host.frame);  // and keeps it
    sendMouse(window, WM_MOUSEMOVE, 20, 20);
    EXPECT_EQ(editor.log.size(), 2u);  // no drag after the loss
    ReleaseCapture();
}

TEST_F(WindowRulesTest, WheelUpIsExactlyOneHundredTwentyAndPositionsAreScreenPixels) {
    sendWheel(window, 120, 20, 40);
    sendWheel(window, -120, 20, 40);
    sendWheel(window, 240, 20, 40);
    sendWheel(window, 60, 20, 40);
    EXPECT_EQ(editor.log, (Log{"A:wheel1", "A:wheel-1", "A:wheel-1", "A:wheel-1"}));
    // The host frame is not at the screen origin, so client coordinates sent
    // as if they were screen coordinates miss A.
    editor.log.clear();
    SendMessageA(window, WM_MOUSEWHEEL, static_cast<WPARAM>(120u << 16), packPoint(20, 40));
    EXPECT_TRUE(editor.log.empty());
}

TEST_F(WindowRulesTest, OpeningTwiceReplacesTheWindowAndClosingTwiceIsHarmless) {
    HWND first = window;
    editor.open(host.frame);
    HWND second = editorWindow(editor);
    ASSERT_NE(second, nullptr);
    EXPECT_FALSE(IsWindow(first));
    EXPECT_TRUE(IsWindow(second));
    editor.close();
    EXPECT_FALSE(IsWindow(second));
    EXPECT_FALSE(editor.isOpen());
    editor.close();
    EditorRect* r = nullptr;
    ASSERT_TRUE(editor.getRect(&r));
    EXPECT_EQ(r->right - r->left, 512);
    EXPECT_EQ(r->bottom - r->top, 272);
}

TEST_F(WindowRulesTest, HostDestroyingItsFrameFirstLeavesTheEditorSafe) {
    sendMouse(window, WM_LBUTTONDOWN, 20, 40);
    DestroyWindow(host.frame);
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(editor.capturedWidget(), nullptr);
    EXPECT_EQ(editor.log.back(), "A:dragend");
    EXPECT_EQ(editor.window(), nullptr);
    editor.redrawDirty();  // nothing to draw into, nothing drawn
    editor.close();
    EXPECT_FALSE(editor.isOpen());
}

TEST(WindowClassTest, RegisteredWhileAnyEditorLives) {
    const int before = QFGui::liveEditors();
    ASSERT_EQ(before, 0);
    WNDCLASSA wc;
    auto classExists = [&wc] {
        return GetClassInfoA(static_cast<HINSTANCE>(moduleInstance), Win32PanelWindow::kClassName, &wc) != 0;
    };
    EXPECT_FALSE(classExists());
    FakePlugin plugin;
    auto first = std::make_unique<ProbeEditor>(&plugin);
    EXPECT_TRUE(classExists());
    auto second = std::make_unique<ProbeEditor>(&plugin);
    EXPECT_EQ(QFGui::liveEditors(), 2);
    first.reset();
    EXPECT_TRUE(classExists());
    EXPECT_EQ(QFGui::liveEditors(), 1);
    second.reset();
    EXPECT_FALSE(classExists());
    EXPECT_EQ(QFGui::liveEditors(), 0);
}

TEST(WindowClassTest, TwoEditorsOpenAtOnceKeepTheirOwnWidgets) {
    HostWindow host1(40, 30), host2(600, 30);
    REQUIRE_WINDOWS(host1);
    FakePlugin p1, p2;
    ProbeEditor e1(&p1), e2(&p2);
    e1.add("A", 16, 32);
    e2.add("B", 16, 32);
    e1.open(host1.frame);
    e2.open(host2.frame);
    sendMouse(editorWindow(e2), WM_LBUTTONDOWN, 20, 40);
    sendMouse(editorWindow(e2), WM_LBUTTONUP, 20, 40);
    EXPECT_TRUE(e1.log.empty());
    EXPECT_EQ(e2.log, (Log{"B:down0", "B:up0", "B:dragend"}));
    e1.close();
    EXPECT_TRUE(IsWindow(editorWindow(e2)));
    e2.close();
}

TEST(EditorLifetimeTest, DestroyedMidDragWithItsWindowOpen) {
    HostWindow host;
    REQUIRE_WINDOWS(host);
    FakePlugin plugin;
    auto editor = std::make_unique<ProbeEditor>(&plugin);
    editor->add("A", 16, 32);
    editor->open(host.frame);
    HWND window = editorWindow(*editor);
    sendMouse(window, WM_LBUTTONDOWN, 20, 40);
    editor.reset();  // the window's last messages must not reach deleted widgets
    EXPECT_FALSE(IsWindow(window));
    EXPECT_NE(GetCapture(), window);
}

TEST(EditorLifetimeTest, UpdatesFromAnotherThreadAreDrawnByTheWindowsThread) {
    HostWindow host;
    REQUIRE_WINDOWS(host);
    FakePlugin plugin;
    ProbeEditor editor(&plugin);
    ProbeWidget* a = editor.add("A", 16, 32);
    editor.open(host.frame);
    a->dirty = true;
    std::thread other([&editor] { editor.redrawDirty(); });
    other.join();
    EXPECT_TRUE(a->dirty);  // left for the window's thread
    editor.idle();
    EXPECT_FALSE(a->dirty);
    a->dirty = true;
    SendMessageA(editorWindow(editor), WM_TIMER, 1, 0);  // the window's own idle tick
    EXPECT_FALSE(a->dirty);
    editor.close();
    a->dirty = true;
    editor.idle();  // closed: nothing drawn
    EXPECT_TRUE(a->dirty);
}

}  // namespace

#if defined(_WIN32)
// A window of its own (the standalone application's): titled, the panel's size
// inside a frame without a sizing border, the keyboard by scan code (Z is the
// lower row's C whatever the layout), and a close button that asks the
// application instead of destroying the window.
TEST(TopLevelWindowTest, TitledPanelSizedTakesKeysAndAsksToClose) {
    struct Events : PanelWindowEvents {
        std::vector<std::pair<int, bool>> keys;
        int closeAsks = 0, destroyed = 0;
        void windowMouseMove(int, int) override {}
        void windowPress(int, int, int) override {}
        void windowRelease(int, int, int) override {}
        void windowWheel(int, int, int) override {}
        void windowCaptureLost() override {}
        void windowExposed() override {}
        void windowTick() override {}
        void windowDestroyed() override { ++destroyed; }
        void windowKey(int key, bool down) override { keys.emplace_back(key, down); }
        void windowCloseRequested() override { ++closeAsks; }
    } events;
    Win32PanelWindow window(events);
    const PixelSurface panel(512, 272, 0xFF808080u);
    if (!window.openTopLevel("Hammerlyn2 test", panel))
        GTEST_SKIP() << "no display: windows cannot be created here";
    HWND hwnd = static_cast<HWND>(window.handle());
    char title[64] = {};
    GetWindowTextA(hwnd, title, sizeof title);
    EXPECT_STREQ(title, "Hammerlyn2 test");
    RECT client{};
    GetClientRect(hwnd, &client);
    EXPECT_EQ(client.right - client.left, 512);
    EXPECT_EQ(client.bottom - client.top, 272);
    EXPECT_EQ(GetWindowLongA(hwnd, GWL_STYLE) & (WS_THICKFRAME | WS_MAXIMIZEBOX | WS_CHILD), 0);

    PostMessageA(hwnd, WM_KEYDOWN, 'Z', (0x2C << 16) | 1);
    PostMessageA(hwnd, WM_KEYUP, 'Z', static_cast<LPARAM>((0x2Cu << 16) | 0xC0000001u));
    PostMessageA(hwnd, WM_CLOSE, 0, 0);
    window.processEvents();
    const int z = NoteKeys::keyFromScanCode(0x2C);
    ASSERT_GE(z, 0);
    EXPECT_EQ(events.keys, (std::vector<std::pair<int, bool>>{{z, true}, {z, false}}));
    EXPECT_EQ(events.closeAsks, 1);
    EXPECT_EQ(window.handle(), hwnd);  // still open: the application closes it
    window.close();
    EXPECT_EQ(events.destroyed, 1);
    EXPECT_EQ(window.handle(), nullptr);
}
#endif
