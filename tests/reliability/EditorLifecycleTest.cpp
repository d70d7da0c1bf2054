// The editor's life as hosts lead it: opened and closed hundreds of times,
// opened twice without a close, idled while closed, two editors at once, the
// host's window destroyed before the editor is closed, audio and knob updates
// on the editor's thread, and the instance closed with its editor open. No
// window, drawing object or memory may be left behind.
//
// Windows builds drive the built DLL through its dispatcher and open the editor
// in real windows (skipped without a display); other builds drive the plug-in
// object in this process through its effect record, with the headless window
// layer the editor uses there.
#include <gtest/gtest.h>

#include <cmath>
#include <initializer_list>
#include <memory>
#include <vector>

#include "editor/win32/Win32Api.h"

#if defined(_WIN32)
#include "tests/reliability/ReliabilitySupport.h"
#else
#include "tests/reliability/PanelPlug.h"
#endif

namespace {

#if defined(_WIN32)
// An instance of the built DLL.
class Subject {
public:
    Subject() : plugin(reliability::newInstance()) {}
    bool valid() const { return plugin != nullptr; }
    VstIntPtr dispatch(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr) {
        return plugin->dispatch(opcode, index, value, ptr);
    }
    void setParameter(VstInt32 index, float value) { plugin->setParameter(index, value); }
    void process(float* left, float* right, VstInt32 frames) { plugin->process(left, right, frames); }
    VstIntPtr close() { return plugin->close(); }

private:
    std::unique_ptr<PluginInstance> plugin;
};

void pumpMessages() {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

int childrenOf(HWND frame) {
    int count = 0;
    for (HWND child = GetWindow(frame, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) ++count;
    return count;
}
#else
// The plug-in object in this process, reached only through its effect record.
VstIntPtr VSTCALLBACK host(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    return opcode == audioMasterVersion ? 2400 : 0;
}

class Subject {
public:
    Subject() : effect((newPlugWithPanel(&host))->getAeffect()) {}
    ~Subject() { close(); }
    bool valid() const { return effect != nullptr; }
    VstIntPtr dispatch(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr) {
        return effect->dispatcher(effect, opcode, index, value, ptr, 0.0f);
    }
    void setParameter(VstInt32 index, float value) { effect->setParameter(effect, index, value); }
    void process(float* left, float* right, VstInt32 frames) {
        float* outputs[2] = {left, right};
        effect->processReplacing(effect, nullptr, outputs, frames);
    }
    VstIntPtr close() {
        if (!effect) return 0;
        const VstIntPtr result = dispatch(effClose);
        effect = nullptr;
        return result;
    }

private:
    AEffect* effect;
};

void pumpMessages() {}
#endif

LRESULT CALLBACK frameProc(HWND w, UINT m, WPARAM wp, LPARAM lp) { return DefWindowProcA(w, m, wp, lp); }

// A top-level window playing the host's editor frame; null where no window can
// be created (a Windows build without a display).
class HostFrame {
public:
    HostFrame() {
        static const char* const kClass = "Hammerlyn2ReliabilityFrame";
        WNDCLASSA existing;
        if (!GetClassInfoA(nullptr, kClass, &existing)) {
            WNDCLASSA wc{};
            wc.lpfnWndProc = frameProc;
            wc.lpszClassName = kClass;
            RegisterClassA(&wc);
        }
        window = CreateWindowExA(0, kClass, "host", WS_POPUP | WS_VISIBLE, 20, 20, 512, 272, nullptr, nullptr,
                                 nullptr, nullptr);
        if (window) ++alive;
    }
    ~HostFrame() { destroy(); }
    void destroy() {
        if (window && IsWindow(window)) DestroyWindow(window);
        if (window) --alive;
        window = nullptr;
    }
    // Editor windows inside this frame.
    int editorWindows() const { return editorWindowsIn({this}); }
    // Editor windows inside the given frames (the headless layer can only count
    // all editor windows, so there every frame alive must be given).
    static int editorWindowsIn(std::initializer_list<const HostFrame*> frames) {
#if defined(_WIN32)
        int count = 0;
        for (const HostFrame* f : frames)
            if (f->window) count += childrenOf(f->window);
        return count;
#else
        (void)frames;
        return liveWindowCount() - alive;  // every window but the frames is an editor's
#endif
    }

    HWND window = nullptr;
    static int alive;
};
int HostFrame::alive = 0;

#define REQUIRE_FRAME(frame) \
    if (!(frame).window) GTEST_SKIP() << "no display: windows cannot be created here"

// Drawing objects and device contexts the window layer holds, where it can tell.
struct LayerCounts {
    int gdi = 0, dcs = 0;
    static LayerCounts now() {
#if defined(_WIN32)
        return {};
#else
        return {liveGdiObjectCount(), liveDcCount()};
#endif
    }
    bool operator==(const LayerCounts& o) const { return gdi == o.gdi && dcs == o.dcs; }
};

void expectRect(Subject& subject) {
    ERect* rect = nullptr;
    ASSERT_EQ(subject.dispatch(effEditGetRect, 0, 0, &rect), 1);
    ASSERT_NE(rect, nullptr);
    EXPECT_EQ(rect->right - rect->left, 512);
    EXPECT_EQ(rect->bottom - rect->top, 272);
}

}  // namespace

TEST(EditorLifecycle, OpensAndClosesHundredsOfTimesWithoutLeaving) {
    HostFrame frame;
    REQUIRE_FRAME(frame);
    Subject subject;
    ASSERT_TRUE(subject.valid());
    const LayerCounts before = LayerCounts::now();
    for (int i = 0; i < 300; ++i) {
        ASSERT_EQ(subject.dispatch(effEditOpen, 0, 0, frame.window), 1) << i;
        ASSERT_EQ(frame.editorWindows(), 1) << i;
        if (i % 10 == 0) {  // opened again without a close: still one window
            ASSERT_EQ(subject.dispatch(effEditOpen, 0, 0, frame.window), 1);
            ASSERT_EQ(frame.editorWindows(), 1) << i;
        }
        expectRect(subject);
        subject.dispatch(effEditIdle);
        if (i % 7 == 0) pumpMessages();
        subject.dispatch(effEditClose);
        ASSERT_EQ(frame.editorWindows(), 0) << i;
        subject.dispatch(effEditIdle);  // idle while closed
        if (i % 50 == 0) subject.dispatch(effEditClose);  // closed twice
    }
    EXPECT_TRUE(LayerCounts::now() == before) << "drawing objects or device contexts left behind";
    EXPECT_EQ(subject.close(), 1);
}

TEST(EditorLifecycle, AudioAndKnobUpdatesWhileOpenThenClosedWithTheEditorOpen) {
    HostFrame frame;
    REQUIRE_FRAME(frame);
    const LayerCounts before = LayerCounts::now();
    for (int round = 0; round < 20; ++round) {
        Subject subject;
        ASSERT_TRUE(subject.valid());
        subject.dispatch(effOpen);
        subject.dispatch(effSetBlockSize, 0, 128);
        subject.dispatch(effMainsChanged, 0, 1);
        ASSERT_EQ(subject.dispatch(effEditOpen, 0, 0, frame.window), 1);
        std::vector<float> left(128), right(128);
        bool finite = true;
        for (int b = 0; b < 50; ++b) {
            subject.setParameter(b % 16, static_cast<float>((b * 37) % 101) / 100.0f);
            if (b % 10 == 0) subject.dispatch(effSetProgram, 0, b / 10);
            subject.process(left.data(), right.data(), 128);
            for (int i = 0; i < 128; ++i) finite = finite && std::isfinite(left[i]) && std::isfinite(right[i]);
            subject.dispatch(effEditIdle);
            if (b % 10 == 0) pumpMessages();
        }
        EXPECT_TRUE(finite);
        EXPECT_EQ(frame.editorWindows(), 1);
        EXPECT_EQ(subject.close(), 1);  // running, editor open
        EXPECT_EQ(frame.editorWindows(), 0) << "the editor's window outlived its instance";
    }
    EXPECT_TRUE(LayerCounts::now() == before);
}

TEST(EditorLifecycle, TwoEditorsAtOnceAndTheHostWindowDestroyedFirst) {
    HostFrame first, second;
    REQUIRE_FRAME(first);
    REQUIRE_FRAME(second);
    Subject a, b;
    ASSERT_TRUE(a.valid() && b.valid());
    ASSERT_EQ(a.dispatch(effEditOpen, 0, 0, first.window), 1);
    ASSERT_EQ(b.dispatch(effEditOpen, 0, 0, second.window), 1);
    EXPECT_EQ(HostFrame::editorWindowsIn({&first, &second}), 2);
    a.setParameter(3, 0.25f);
    b.setParameter(3, 0.75f);
    a.dispatch(effEditIdle);
    b.dispatch(effEditIdle);
    pumpMessages();

    // The host tears its window down before it closes the editor.
    first.destroy();
    a.dispatch(effEditIdle);
    a.setParameter(4, 0.5f);
    a.dispatch(effEditClose);
    EXPECT_EQ(HostFrame::editorWindowsIn({&second}), 1) << "the other editor was disturbed";

    // And the editor opens again into a new window.
    HostFrame third;
    ASSERT_EQ(a.dispatch(effEditOpen, 0, 0, third.window), 1);
    EXPECT_EQ(HostFrame::editorWindowsIn({&second, &third}), 2);
    EXPECT_EQ(a.close(), 1);
    EXPECT_EQ(b.close(), 1);
    EXPECT_EQ(HostFrame::editorWindowsIn({&second, &third}), 0);
}
