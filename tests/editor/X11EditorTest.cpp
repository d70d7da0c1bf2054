// The Linux plug-in's editor in a real X server, driven as a Linux host drives
// it: the built library loaded, a top-level window of the host's own display
// connection given to effEditOpen, the pointer moved and clicked through
// XTest, effEditIdle called as hosts call it, and the window's pixels read
// back. The suite starts its own Xvfb (24-bit) and skips where there is none.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <bit>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "editor/drawing/PixelGlyphs.h"
#include "editor/interface/EditorHost.h"
#include "editor/panel/MyGui.h"
#include "editor/panel/PanelLayout.h"
#include "tests/support/BuiltPlugin.h"
#include "tests/support/Xvfb.h"

// Last: Xlib defines macros (None, Bool, True) that other headers use as names.
#include <X11/Xlib.h>
#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>

namespace {

// Errors the host's own connection hears; none may come from the editor.
int hostErrors = 0;
int countError(Display*, XErrorEvent*) {
    ++hostErrors;
    return 0;
}

// The portable rendering: the panel composed for the instance's current values.
class Values : public EditorHost {
public:
    explicit Values(PluginInstance& p) : plugin(p) {}
    float parameterValue(int index) override { return plugin.getParameter(index); }
    void parameterName(int, char* t) override { t[0] = 0; }
    void parameterDisplay(int, char* t) override { t[0] = 0; }
    void parameterLabel(int, char* t) override { t[0] = 0; }
    void changeParameter(int, float) override {}
    void beginGesture(int) override {}
    void endGesture(int) override {}
    bool resizeEditor(int, int) override { return false; }
    PluginInstance& plugin;
};

class X11EditorTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (Xvfb::programDisplay().empty()) GTEST_SKIP() << "no Xvfb to start";
        ASSERT_TRUE(builtPlugin().loaded()) << builtPlugin().error();
        ASSERT_TRUE(kBuiltPluginHasEditor);
        display = XOpenDisplay(Xvfb::programDisplay().c_str());
        ASSERT_NE(display, nullptr);
        hostErrors = 0;
        XSetErrorHandler(&countError);
        plugin = startedInstance();
        ASSERT_NE(plugin, nullptr);
    }
    void TearDown() override {
        plugin.reset();
        if (display) {
            // The editor left the process's handler as the host set it.
            EXPECT_EQ(XSetErrorHandler(nullptr), &countError);
            EXPECT_EQ(hostErrors, 0);
            XCloseDisplay(display);
        }
    }

    // A mapped top-level window of the host at (x, y).
    Window hostWindow(int x = 0, int y = 0) {
        XSetWindowAttributes a{};
        a.background_pixel = 0x204060;
        a.override_redirect = True;
        Window w = XCreateWindow(display, DefaultRootWindow(display), x, y, 640, 400, 0, CopyFromParent,
                                 InputOutput, CopyFromParent, CWBackPixel | CWOverrideRedirect, &a);
        XMapWindow(display, w);
        XSync(display, False);
        return w;
    }
    static void* asParent(Window w) { return reinterpret_cast<void*>(static_cast<std::uintptr_t>(w)); }

    std::vector<Window> children(Window parent) {
        Window root, up, *list = nullptr;
        unsigned n = 0;
        std::vector<Window> out;
        if (XQueryTree(display, parent, &root, &up, &list, &n)) out.assign(list, list + n);
        if (list) XFree(list);
        return out;
    }

    // Idles the editor as a host does until done() holds, for at most a second.
    bool idleUntil(PluginInstance& p, const std::function<bool()>& done) {
        for (int i = 0; i < 200; ++i) {
            p.dispatch(effEditIdle);
            if (done()) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return false;
    }
    // Pointer actions at window pixels of editor, as a user makes them.
    void pointerTo(Window editor, int x, int y) {
        int rx = 0, ry = 0;
        Window child;
        XTranslateCoordinates(display, editor, DefaultRootWindow(display), x, y, &rx, &ry, &child);
        XTestFakeMotionEvent(display, DefaultScreen(display), rx, ry, CurrentTime);
        XSync(display, False);
    }
    void button(unsigned b, bool down) {
        XTestFakeButtonEvent(display, b, down ? True : False, CurrentTime);
        XSync(display, False);
    }

    // What the window shows.
    PixelSurface windowPixels(Window editor, int width, int height) {
        PixelSurface out(width, height);
        XImage* image = XGetImage(display, editor, 0, 0, static_cast<unsigned>(width), static_cast<unsigned>(height),
                                  AllPlanes, ZPixmap);
        if (!image) return PixelSurface();
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) out.at(x, y) = XGetPixel(image, x, y) & 0xFFFFFF;
        XDestroyImage(image);
        return out;
    }
    // Pixels of the window that differ from the portable rendering of the
    // instance's values at the given scale, in the rectangle [x0, x1) x [y0, y1)
    // (the whole panel by default).
    int differingFromPanel(Window editor, PluginInstance& p, int scale = 1, int x0 = 0, int y0 = 0, int x1 = -1,
                           int y1 = -1) {
        Values values(p);
        MyGui gui(&values);
        gui.setUserScale(scale);
        gui.updateAllParameters();
        const PixelSurface& expected = gui.render();
        const PixelSurface shown = windowPixels(editor, expected.width, expected.height);
        if (shown.pixels.empty()) return -1;
        if (x1 < 0) x1 = expected.width;
        if (y1 < 0) y1 = expected.height;
        int n = 0;
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x)
                if (shown.at(x, y) != expected.at(x, y)) ++n;
        return n;
    }

    std::vector<HostCall> callsOf(PluginInstance& p, std::initializer_list<VstInt32> opcodes) {
        std::vector<HostCall> out;
        for (const HostCall& c : p.calls())
            for (VstInt32 o : opcodes)
                if (c.opcode == o) out.push_back(c);
        return out;
    }

    Display* display = nullptr;
    std::unique_ptr<PluginInstance> plugin;
};

TEST_F(X11EditorTest, OpensAMappedChildThatShowsThePortablePanel) {
    Window parent = hostWindow(30, 20);
    ASSERT_EQ(plugin->dispatch(effEditOpen, 0, 0, asParent(parent)), 1);
    // Created and shown before effEditOpen returned, without any idle.
    const std::vector<Window> kids = children(parent);
    ASSERT_EQ(kids.size(), 1u);
    const Window editor = kids[0];
    XWindowAttributes a{};
    ASSERT_TRUE(XGetWindowAttributes(display, editor, &a));
    EXPECT_EQ(a.width, 512);
    EXPECT_EQ(a.height, 272);
    EXPECT_EQ(a.map_state, IsViewable);
    EXPECT_EQ(a.depth, 24);
    EXPECT_EQ(differingFromPanel(editor, *plugin), 0);

    // Host automation on the editor's thread is drawn at once; a program change too.
    plugin->setParameter(4, 0.1f);
    plugin->setProgram(3);
    EXPECT_EQ(differingFromPanel(editor, *plugin), 0);
    // From another thread it only marks the knobs; the next idle draws them.
    std::thread([this] { plugin->setParameter(15, 0.0f); }).join();
    EXPECT_GT(differingFromPanel(editor, *plugin), 0);
    plugin->dispatch(effEditIdle);
    EXPECT_EQ(differingFromPanel(editor, *plugin), 0);
    // An exposed window is repainted by the server from the panel, before any idle.
    XClearArea(display, editor, 0, 0, 0, 0, False);
    XSync(display, False);
    EXPECT_EQ(differingFromPanel(editor, *plugin), 0);

    EXPECT_EQ(plugin->dispatch(effEditClose), 0);
    EXPECT_TRUE(children(parent).empty());
    XDestroyWindow(display, parent);

    // A parent of another depth and visual (ARGB, as compositing hosts use)
    // takes the panel all the same.
    XVisualInfo argb{};
    if (XMatchVisualInfo(display, DefaultScreen(display), 32, TrueColor, &argb)) {
        XSetWindowAttributes a{};
        a.colormap = XCreateColormap(display, DefaultRootWindow(display), argb.visual, AllocNone);
        a.override_redirect = True;
        Window deep =
            XCreateWindow(display, DefaultRootWindow(display), 0, 0, 600, 300, 0, 32, InputOutput,
                          argb.visual, CWColormap | CWBorderPixel | CWBackPixel | CWOverrideRedirect, &a);
        XMapWindow(display, deep);
        XSync(display, False);
        ASSERT_EQ(plugin->dispatch(effEditOpen, 0, 0, asParent(deep)), 1);
        ASSERT_EQ(children(deep).size(), 1u);
        EXPECT_EQ(differingFromPanel(children(deep)[0], *plugin), 0);
        EXPECT_EQ(plugin->dispatch(effEditClose), 0);
        XDestroyWindow(display, deep);
        XFreeColormap(display, a.colormap);
        XSync(display, False);
    }
}

TEST_F(X11EditorTest, DragsAndWheelReachTheHostInsideGestures) {
    Window parent = hostWindow(0, 100);
    ASSERT_EQ(plugin->dispatch(effEditOpen, 0, 0, asParent(parent)), 1);
    const Window editor = children(parent).at(0);
    const panel::Knob& volume = panel::kKnobs[15];
    const int kx = volume.x + 12, ky = volume.y + 12;
    const float start = plugin->getParameter(15);
    ASSERT_GT(start, 0.1f);
    ASSERT_LT(start, 0.9f);
    plugin->clearCalls();

    // Left: ten pixels up is +0.05, followed outside the window while held.
    pointerTo(editor, kx, ky);
    button(1, true);
    pointerTo(editor, kx, ky - 10);
    EXPECT_TRUE(idleUntil(*plugin, [&] { return plugin->getParameter(15) != start; }));
    EXPECT_NEAR(plugin->getParameter(15), start + 0.05f, 1e-5);
    pointerTo(editor, kx, -20);  // above the window: the drag goes on
    EXPECT_TRUE(idleUntil(*plugin, [&] { return plugin->getParameter(15) == 1.0f; }));
    button(1, false);
    plugin->dispatch(effEditIdle);
    // Right: fine, a hundred pixels down is -0.05.
    pointerTo(editor, kx, ky);
    button(3, true);
    pointerTo(editor, kx, ky + 100);
    button(3, false);
    EXPECT_TRUE(idleUntil(*plugin, [&] { return plugin->getParameter(15) < 1.0f; }));
    EXPECT_NEAR(plugin->getParameter(15), 0.95f, 1e-5);
    // Wheel: one notch down is -0.01.
    pointerTo(editor, kx, ky);
    button(5, true);
    button(5, false);
    EXPECT_TRUE(idleUntil(*plugin, [&] { return plugin->getParameter(15) < 0.945f; }));
    EXPECT_NEAR(plugin->getParameter(15), 0.94f, 1e-5);

    // Every change was reported, each press and the notch bracketed once.
    std::string sequence;
    for (const HostCall& c :
         callsOf(*plugin, {audioMasterAutomate, audioMasterBeginEdit, audioMasterEndEdit})) {
        EXPECT_EQ(c.index, 15);
        const char* mark = c.opcode == audioMasterBeginEdit ? "["
                           : c.opcode == audioMasterEndEdit ? "]"
                                                            : "a";
        if (sequence.empty() || sequence.back() != 'a' || *mark != 'a') sequence += mark;
    }
    EXPECT_EQ(sequence, "[a][a][a]");
    EXPECT_EQ(callsOf(*plugin, {audioMasterAutomate}).back().opt, plugin->getParameter(15));
    // The clicks took no keyboard focus from the host.
    Window focus;
    int revert;
    XGetInputFocus(display, &focus, &revert);
    EXPECT_NE(focus, editor);
    // Off the knobs (no readout), the panel shows every value.
    pointerTo(editor, 400, 100);
    plugin->dispatch(effEditIdle);
    EXPECT_EQ(differingFromPanel(editor, *plugin), 0);
    XDestroyWindow(display, parent);
}

TEST_F(X11EditorTest, ClosesCleanlyAfterTheHostDestroyedItsWindow) {
    Window parent = hostWindow(0, 100);
    ASSERT_EQ(plugin->dispatch(effEditOpen, 0, 0, asParent(parent)), 1);
    const Window editor = children(parent).at(0);
    // Mid-drag, the host destroys its window, idles, and only then closes.
    pointerTo(editor, 268, 212);  // Volume
    button(1, true);
    pointerTo(editor, 268, 200);
    ASSERT_TRUE(idleUntil(*plugin, [&] { return !callsOf(*plugin, {audioMasterBeginEdit}).empty(); }));
    XDestroyWindow(display, parent);
    XSync(display, False);
    button(1, false);
    plugin->dispatch(effEditIdle);
    EXPECT_EQ(plugin->dispatch(effEditClose), 0);
    EXPECT_EQ(callsOf(*plugin, {audioMasterBeginEdit}).size(), callsOf(*plugin, {audioMasterEndEdit}).size());
    // Without even an idle between.
    parent = hostWindow();
    ASSERT_EQ(plugin->dispatch(effEditOpen, 0, 0, asParent(parent)), 1);
    XDestroyWindow(display, parent);
    XSync(display, False);
    EXPECT_EQ(plugin->dispatch(effEditClose), 0);
    // A second open replaces the window; closing the plug-in takes the last one.
    parent = hostWindow();
    ASSERT_EQ(plugin->dispatch(effEditOpen, 0, 0, asParent(parent)), 1);
    ASSERT_EQ(plugin->dispatch(effEditOpen, 0, 0, asParent(parent)), 1);
    EXPECT_EQ(children(parent).size(), 1u);
    plugin->close();
    plugin.reset();
    EXPECT_TRUE(children(parent).empty());
    // A parent that does not exist is refused.
    plugin = startedInstance();
    EXPECT_EQ(plugin->dispatch(effEditOpen, 0, 0, asParent(parent + 1000)), 0);
    XDestroyWindow(display, parent);
    XSync(display, False);
}

TEST_F(X11EditorTest, TwoInstancesWithOpenEditorsAreIndependent) {
    auto second = startedInstance();
    ASSERT_NE(second, nullptr);
    Window p1 = hostWindow(0, 0), p2 = hostWindow(0, 420);
    ASSERT_EQ(plugin->dispatch(effEditOpen, 0, 0, asParent(p1)), 1);
    ASSERT_EQ(second->dispatch(effEditOpen, 0, 0, asParent(p2)), 1);
    const Window e2 = children(p2).at(0);
    const float first = plugin->getParameter(15), secondBefore = second->getParameter(15);
    pointerTo(e2, 268, 212);  // Volume
    button(1, true);
    pointerTo(e2, 268, 202);
    button(1, false);
    EXPECT_TRUE(idleUntil(*second, [&] { return second->getParameter(15) != secondBefore; }));
    plugin->dispatch(effEditIdle);
    EXPECT_EQ(plugin->getParameter(15), first);
    EXPECT_TRUE(callsOf(*plugin, {audioMasterAutomate, audioMasterBeginEdit}).empty());
    // Closing one leaves the other working.
    EXPECT_EQ(plugin->dispatch(effEditClose), 0);
    pointerTo(e2, 400, 100);
    second->dispatch(effEditIdle);
    second->setParameter(15, 0.25f);
    EXPECT_EQ(differingFromPanel(e2, *second), 0);
    EXPECT_EQ(second->dispatch(effEditClose), 0);
    second.reset();
    XDestroyWindow(display, p1);
    XDestroyWindow(display, p2);
}

TEST_F(X11EditorTest, WithoutADisplayTheEditorStaysClosedAndThePluginPlays) {
    const std::string saved = Xvfb::programDisplay();
    unsetenv("DISPLAY");
    EXPECT_EQ(plugin->dispatch(effEditOpen, 0, 0, asParent(DefaultRootWindow(display))), 0);
    setenv("DISPLAY", ":65000", 1);  // a display nobody serves
    EXPECT_EQ(plugin->dispatch(effEditOpen, 0, 0, asParent(DefaultRootWindow(display))), 0);
    setenv("DISPLAY", saved.c_str(), 1);
    EXPECT_EQ(plugin->dispatch(effEditIdle), 0);
    EXPECT_EQ(plugin->dispatch(effEditClose), 0);
    plugin->sendMidi({{0, 0x90, 60, 100}});
    plugin->process(512);
    float peak = 0.0f;
    for (float v : plugin->left()) peak = std::max(peak, std::abs(v));
    EXPECT_GT(peak, 0.0f);
    // The next open with a display works.
    Window parent = hostWindow();
    EXPECT_EQ(plugin->dispatch(effEditOpen, 0, 0, asParent(parent)), 1);
    EXPECT_EQ(children(parent).size(), 1u);
    plugin->dispatch(effEditClose);
    XDestroyWindow(display, parent);
}

TEST_F(X11EditorTest, TheServerGoingAwayEndsNeitherTheHostNorThePlugin) {
    XIOErrorHandler hostIOHandler = XSetIOErrorHandler(nullptr);
    XSetIOErrorHandler(hostIOHandler);
    // The editor on a second server, in a window left there by a connection
    // of the host that is already closed.
    Xvfb doomed;
    ASSERT_FALSE(doomed.name.empty());
    Display* other = XOpenDisplay(doomed.name.c_str());
    ASSERT_NE(other, nullptr);
    Window parent = XCreateSimpleWindow(other, DefaultRootWindow(other), 0, 0, 600, 300, 0, 0, 0);
    XMapWindow(other, parent);
    XSetCloseDownMode(other, RetainPermanent);
    XCloseDisplay(other);
    setenv("DISPLAY", doomed.name.c_str(), 1);
    const VstIntPtr opened = plugin->dispatch(effEditOpen, 0, 0, asParent(parent));
    setenv("DISPLAY", Xvfb::programDisplay().c_str(), 1);
    ASSERT_EQ(opened, 1);

    doomed.stop();
    // Drawing, idling and closing on the broken connection: the process goes on.
    plugin->setParameter(15, 0.3f);
    plugin->dispatch(effEditIdle);
    EXPECT_EQ(plugin->dispatch(effEditClose), 0);
    EXPECT_EQ(XSetIOErrorHandler(hostIOHandler), hostIOHandler);  // left as the host had it
    plugin->sendMidi({{0, 0x90, 60, 100}});
    plugin->process(512);
    float peak = 0.0f;
    for (float v : plugin->left()) peak = std::max(peak, std::abs(v));
    EXPECT_GT(peak, 0.0f);
    // And the editor opens again on a working display.
    Window fresh = hostWindow();
    EXPECT_EQ(plugin->dispatch(effEditOpen, 0, 0, asParent(fresh)), 1);
    EXPECT_EQ(plugin->dispatch(effEditClose), 0);
    XDestroyWindow(display, fresh);
}

// On a screen whose default visual is 8-bit PseudoColor (a pixel indexes a
// colour map) the panel opens in the screen's TrueColor visual, each pixel the
// panel's colour cut to that visual's bits, not black while claiming success.
TEST_F(X11EditorTest, OnAnEightBitPseudoColorScreenThePanelShowsInTrueColor) {
    Xvfb eight("1024x768x8");
    Display* other = eight.name.empty() ? nullptr : XOpenDisplay(eight.name.c_str());
    ASSERT_NE(other, nullptr);
    ASSERT_EQ(DefaultVisual(other, DefaultScreen(other))->c_class, PseudoColor);
    Window parent = XCreateSimpleWindow(other, DefaultRootWindow(other), 0, 0, 600, 300, 0, 0, 0);
    XMapWindow(other, parent);
    XSync(other, False);
    setenv("DISPLAY", eight.name.c_str(), 1);
    const VstIntPtr opened = plugin->dispatch(effEditOpen, 0, 0, asParent(parent));
    setenv("DISPLAY", Xvfb::programDisplay().c_str(), 1);
    ASSERT_EQ(opened, 1);
    Window root = 0, up = 0, *list = nullptr;
    unsigned count = 0;
    ASSERT_TRUE(XQueryTree(other, parent, &root, &up, &list, &count) && count == 1);
    XWindowAttributes a{};
    XGetWindowAttributes(other, list[0], &a);
    ASSERT_EQ(a.visual->c_class, TrueColor);
    Values values(*plugin);
    MyGui gui(&values);
    gui.updateAllParameters();
    const PixelSurface& panel = gui.render();
    XImage* image = XGetImage(other, list[0], 0, 0, 512, 272, AllPlanes, ZPixmap);
    ASSERT_NE(image, nullptr);
    int differing = 0;
    for (int y = 0; y < 272; ++y)
        for (int x = 0; x < 512; ++x)
            for (const unsigned long mask : {a.visual->red_mask, a.visual->green_mask, a.visual->blue_mask}) {
                const int shift = mask == a.visual->red_mask ? 16 : mask == a.visual->green_mask ? 8 : 0;
                const unsigned long shown = (XGetPixel(image, x, y) & mask) >> std::countr_zero(mask);
                differing += shown != ((panel.at(x, y) >> shift) & 0xFF) >> (8 - std::popcount(mask));
            }
    EXPECT_EQ(differing, 0);
    XDestroyImage(image);
    XFree(list);
    EXPECT_EQ(plugin->dispatch(effEditClose), 0);
    XCloseDisplay(other);
}

// The size the desktop asks for (GDK_SCALE) and the value readout, through the
// built library: the rectangle before any window, the 2x panel to the pixel,
// and the host's texts for the knob under the pointer, following automation.
TEST_F(X11EditorTest, OpensAt2xWhereTheDesktopScalesAndShowsTheValueUnderThePointer) {
    setenv("GDK_SCALE", "2", 1);
    auto scaled = startedInstance();
    unsetenv("GDK_SCALE");
    ASSERT_NE(scaled, nullptr);
    setenv("GDK_SCALE", "2", 1);
    ERect* r = nullptr;
    ASSERT_EQ(scaled->dispatch(effEditGetRect, 0, 0, &r), 1);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->right, 1024);
    EXPECT_EQ(r->bottom, 544);
    Window parent = hostWindow(0, 0);
    XResizeWindow(display, parent, 1024, 544);
    ASSERT_EQ(scaled->dispatch(effEditOpen, 0, 0, asParent(parent)), 1);
    unsetenv("GDK_SCALE");
    const Window editor = children(parent).at(0);
    XWindowAttributes a{};
    ASSERT_TRUE(XGetWindowAttributes(display, editor, &a));
    EXPECT_EQ(a.width, 1024);
    EXPECT_EQ(a.height, 544);
    EXPECT_EQ(differingFromPanel(editor, *scaled, 2), 0);

    // The pointer on Decay: its name, value and unit as the host shows them.
    const panel::Knob& decay = panel::kKnobs[11];
    auto readout = [&] {
        return scaled->parameterText(effGetParamName, 11) + " " + scaled->parameterText(effGetParamDisplay, 11) +
               " " + scaled->parameterText(effGetParamLabel, 11);
    };
    auto readoutShows = [&](std::string text) {
        // The lit pixels of the strip against the font's, both moved to their first row and column.
        while (text.find("  ") != std::string::npos) text.erase(text.find("  "), 1);
        const PixelSurface shown = windowPixels(editor, 1024, 544);
        std::vector<std::pair<int, int>> lit, want;
        int minX = 1 << 20, minY = 1 << 20;
        for (int y = panel::kReadoutY * 2; y < (panel::kReadoutY + panel::kReadoutHeight) * 2; ++y)
            for (int x = panel::kReadoutX * 2; x < (panel::kReadoutX + panel::kReadoutWidth) * 2; ++x)
                if (shown.at(x, y) == 0xF4B860) {
                    lit.push_back({x, y});
                    minX = std::min(minX, x);
                    minY = std::min(minY, y);
                }
        const pixelfont::TextMask mask = pixelfont::renderText(text, 1, 2);
        int maskX = 1 << 20, maskY = 1 << 20;
        for (int y = 0; y < mask.height; ++y)
            for (int x = 0; x < mask.width; ++x)
                if (mask.at(x, y)) {
                    maskX = std::min(maskX, x);
                    maskY = std::min(maskY, y);
                }
        for (int y = 0; y < mask.height; ++y)
            for (int x = 0; x < mask.width; ++x)
                if (mask.at(x, y)) want.push_back({x - maskX + minX, y - maskY + minY});
        std::sort(lit.begin(), lit.end());
        std::sort(want.begin(), want.end());
        return !lit.empty() && lit == want;
    };
    pointerTo(editor, (decay.x + 12) * 2, (decay.y + 12) * 2);
    EXPECT_TRUE(idleUntil(*scaled, [&] { return readoutShows(readout()); })) << readout();
    // Only the strip differs from the panel.
    EXPECT_EQ(differingFromPanel(editor, *scaled, 2, 0, 0, 1024, panel::kReadoutY * 2), 0);
    // Automation is followed while shown; leaving the knobs restores the strip.
    scaled->setParameter(11, 0.9f);
    scaled->dispatch(effEditIdle);
    EXPECT_TRUE(readoutShows(readout())) << readout();
    pointerTo(editor, 800, 100);
    EXPECT_TRUE(idleUntil(*scaled, [&] { return differingFromPanel(editor, *scaled, 2) == 0; }));
    EXPECT_EQ(scaled->dispatch(effEditClose), 0);
    XDestroyWindow(display, parent);
}

// Without GDK_SCALE the X resources' Xft.dpi decides, 144 and above giving
// 2x; an explicit GDK_SCALE of 1 wins over it.
TEST_F(X11EditorTest, XftDpiFromTheResourcesChoosesTheSizeWhenGdkScaleIsUnset) {
    const Window root = DefaultRootWindow(display);
    auto widthFor = [&](const char* resources, const char* gdkScale) {
        XChangeProperty(display, root, XA_RESOURCE_MANAGER, XA_STRING, 8, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(resources), static_cast<int>(std::strlen(resources)));
        XSync(display, False);
        if (gdkScale) setenv("GDK_SCALE", gdkScale, 1);
        auto instance = startedInstance();
        ERect* r = nullptr;
        const int width = instance && instance->dispatch(effEditGetRect, 0, 0, &r) == 1 && r ? r->right : -1;
        unsetenv("GDK_SCALE");
        return width;
    };
    EXPECT_EQ(widthFor("Xft.antialias:\t1\nXft.dpi:\t192\n", nullptr), 1024);
    EXPECT_EQ(widthFor("Xft.dpi:\t144\n", nullptr), 1024);
    EXPECT_EQ(widthFor("Xft.dpi:\t120\n", nullptr), 512);
    EXPECT_EQ(widthFor("Xft.dpi:\t192\n", "1"), 512);
    XDeleteProperty(display, root, XA_RESOURCE_MANAGER);
    XSync(display, False);
}

// The panel's own menu on X11 (drawn into the panel): a right click on the
// background, then a program chosen loads it as the host's program change
// does, and the host is told to show it.
TEST_F(X11EditorTest, TheBackgroundMenuLoadsAProgram) {
    Window parent = hostWindow(0, 0);
    ASSERT_EQ(plugin->dispatch(effEditOpen, 0, 0, asParent(parent)), 1);
    const Window editor = children(parent).at(0);
    ASSERT_NE(plugin->program(), 3);
    plugin->clearCalls();
    pointerTo(editor, 400, 100);
    button(3, true);
    button(3, false);
    EXPECT_TRUE(idleUntil(*plugin, [&] { return differingFromPanel(editor, *plugin) > 0; }));  // the menu shows
    // Below a 2-pixel border: two sizes 13 pixels high, a 5-pixel separator, then the programs.
    pointerTo(editor, 420, 100 + 2 + 13 + 13 + 5 + 3 * 13 + 6);
    button(1, true);
    button(1, false);
    EXPECT_TRUE(idleUntil(*plugin, [&] { return plugin->program() == 3; }));
    EXPECT_EQ(callsOf(*plugin, {audioMasterUpdateDisplay}).size(), 1u);
    EXPECT_TRUE(callsOf(*plugin, {audioMasterSizeWindow, audioMasterAutomate}).empty());
    // The menu is gone and the panel shows the program's values.
    EXPECT_EQ(differingFromPanel(editor, *plugin), 0);
    EXPECT_EQ(plugin->dispatch(effEditClose), 0);
    XDestroyWindow(display, parent);
}

}  // namespace
