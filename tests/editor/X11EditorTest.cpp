// The Linux plug-in's editor in a real X server, driven as a Linux host drives
// it: the built library loaded, a top-level window of the host's own display
// connection given to effEditOpen, the pointer moved and clicked through
// XTest, effEditIdle called as hosts call it, and the window's pixels read
// back. The suite starts its own Xvfb (24-bit) and skips where there is none.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "editor/EditorHost.h"
#include "editor/MyGui.h"
#include "editor/PanelLayout.h"
#include "tests/support/BuiltPlugin.h"

// Last: Xlib defines macros (None, Bool, True) that other headers use as names.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>

// What the sanitizers report inside the X client libraries, not in our code.
// LeakSanitizer: memory libX11 and libxcb may keep for the life of the process
// once a display was opened (locale, extension and atom tables); the editor
// closes every display it opens. With Debian 12's libX11 1.8.4 none is
// reported; other versions do. ThreadSanitizer: when the server goes away
// under an open editor, libX11 1.8 releases the display's lock in its I/O
// error path and again when the call that met the error returns ("unlock of
// an unlocked mutex" in XSync).
extern "C" __attribute__((visibility("default"))) const char* __lsan_default_suppressions() {
    return "leak:libX11.so\nleak:libxcb.so\nleak:libXext.so\nleak:libXtst.so\n";
}
extern "C" __attribute__((visibility("default"))) const char* __tsan_default_suppressions() {
    return "mutex:libX11.so\n";
}

namespace {

// An Xvfb of our own, 24-bit, on a display number it picks itself.
class Xvfb {
public:
    Xvfb() {
        int fds[2];
        if (pipe(fds) != 0) return;
        const std::string fd = std::to_string(fds[1]);
        pid = fork();
        if (pid == 0) {
            // Quiet, and ending with the test program however that ends.
            close(fds[0]);
            prctl(PR_SET_PDEATHSIG, SIGKILL);
            const int null = open("/dev/null", O_WRONLY);
            dup2(null, 1);
            dup2(null, 2);
            execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1024x768x24", "-nolisten",
                   "tcp", "-noreset", static_cast<char*>(nullptr));
            _exit(127);
        }
        close(fds[1]);
        std::string number;
        char c;
        while (pid > 0 && read(fds[0], &c, 1) == 1 && c != '\n') number += c;
        close(fds[0]);
        if (!number.empty()) name = ":" + number;
    }
    ~Xvfb() { stop(); }
    Xvfb(const Xvfb&) = delete;
    Xvfb& operator=(const Xvfb&) = delete;
    // Ends the server at once, as a crash would.
    void stop() {
        if (pid > 0) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
        pid = -1;
    }
    std::string name;  // empty when it could not be started

private:
    pid_t pid = -1;
};

// The server of the whole program, named in DISPLAY.
class OwnXServer : public ::testing::Environment {
public:
    void SetUp() override {
        server = std::make_unique<Xvfb>();
        name = server->name;
        if (!name.empty()) setenv("DISPLAY", name.c_str(), 1);
    }
    void TearDown() override { server.reset(); }
    static inline std::string name;

private:
    std::unique_ptr<Xvfb> server;
};

[[maybe_unused]] auto* const xserver = ::testing::AddGlobalTestEnvironment(new OwnXServer);

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
        if (OwnXServer::name.empty()) GTEST_SKIP() << "no Xvfb to start";
        ASSERT_TRUE(builtPlugin().loaded()) << builtPlugin().error();
        ASSERT_TRUE(kBuiltPluginHasEditor);
        display = XOpenDisplay(OwnXServer::name.c_str());
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

    // Pixels of the window that differ from the portable rendering of the instance's values.
    int differingFromPanel(Window editor, PluginInstance& p) {
        Values values(p);
        MyGui gui(&values);
        gui.updateAllParameters();
        const PixelSurface& expected = gui.render();
        XImage* image = XGetImage(display, editor, 0, 0, panel::kWidth, panel::kHeight, AllPlanes, ZPixmap);
        if (!image) return -1;
        int n = 0;
        for (int y = 0; y < panel::kHeight; ++y)
            for (int x = 0; x < panel::kWidth; ++x)
                if ((XGetPixel(image, x, y) & 0xFFFFFF) != expected.at(x, y)) ++n;
        XDestroyImage(image);
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
    second->setParameter(15, 0.25f);
    EXPECT_EQ(differingFromPanel(e2, *second), 0);
    EXPECT_EQ(second->dispatch(effEditClose), 0);
    second.reset();
    XDestroyWindow(display, p1);
    XDestroyWindow(display, p2);
}

TEST_F(X11EditorTest, WithoutADisplayTheEditorStaysClosedAndThePluginPlays) {
    const std::string saved = OwnXServer::name;
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
    setenv("DISPLAY", OwnXServer::name.c_str(), 1);
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

}  // namespace
