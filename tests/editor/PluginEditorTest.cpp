// The editor of the built plug-in library, driven as a host drives it: the
// editor requests through the dispatcher, a real parent window, mouse messages
// to the editor's window, automation heard through the host callback, and the
// window's pixels read back.
#include <gtest/gtest.h>

#include "EditorTestSupport.h"
#include "editor/panel/PanelLayout.h"
#include "editor/widgets/bitmapknob.h"
#include "tests/support/BuiltPlugin.h"

using namespace editortest;

namespace {

class PluginEditorTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(builtPlugin().loaded()) << builtPlugin().error();
        plugin = PluginInstance::create(builtPlugin().entry());
        ASSERT_NE(plugin, nullptr);
        plugin->start(44100.0f, 512);
    }
    void TearDown() override {
        if (plugin) plugin->close();
    }
    // The editor's window inside the host frame.
    HWND openEditor(HostWindow& host) {
        EXPECT_EQ(plugin->dispatch(effEditOpen, 0, 0, host.frame), 1);
        HWND w = FindWindowExA(host.frame, nullptr, "QFGui", nullptr);
        if (w) UpdateWindow(w);
        return w;
    }
    // The panel as it must look for the plug-in's current parameter values.
    PixelSurface expectedPanel(int scale = 1) {
        std::vector<KnobPicture> knobs;
        for (const panel::Knob& k : panel::kKnobs)
            knobs.push_back({k.x * scale, k.y * scale, bitmapknob::frameFor(plugin->getParameter(k.paramIndex))});
        return composePanel(knobs, scale);
    }
    // The host's content scale, as hosts send it to VST 2 plug-ins.
    VstIntPtr requestScale(float factor) {
        return plugin->dispatch(effVendorSpecific, fourCharCode('P', 'r', 'e', 'S'), fourCharCode('A', 'e', 'C', 's'),
                                nullptr, factor);
    }
    std::vector<HostCall> automations() {
        std::vector<HostCall> out;
        for (const HostCall& c : plugin->calls())
            if (c.opcode == audioMasterAutomate) out.push_back(c);
        return out;
    }

    std::unique_ptr<PluginInstance> plugin;
};

TEST_F(PluginEditorTest, ReportsItsSizeOpenOrClosed) {
    ERect* r = nullptr;
    ASSERT_EQ(plugin->dispatch(effEditGetRect, 0, 0, &r), 1);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->top, 0);
    EXPECT_EQ(r->left, 0);
    EXPECT_EQ(r->bottom, 272);
    EXPECT_EQ(r->right, 512);
    EXPECT_EQ(plugin->dispatch(effEditIdle), 0);  // idle while closed does nothing
}

TEST_F(PluginEditorTest, OpensShowsTheProgramAndTurnsAKnobForTheHost) {
    HostWindow host;
    REQUIRE_WINDOWS(host);
    HWND editor = openEditor(host);
    ASSERT_NE(editor, nullptr);
    // The panel with the factory program's values.
    EXPECT_EQ(differingPixels(expectedPanel(), captureWindow(editor, 512, 272), 0, 0, 512, 272), 0);

    // Ten pixels down on the Volume knob (parameter 15).
    const float before = plugin->getParameter(15);
    ASSERT_GT(before, 0.05f);
    plugin->clearCalls();
    sendMouse(editor, WM_LBUTTONDOWN, 268, 212);
    sendMouse(editor, WM_MOUSEMOVE, 268, 222);
    sendMouse(editor, WM_LBUTTONUP, 268, 222);
    sendMouse(editor, WM_MOUSEMOVE, 400, 100);  // off the knobs: no readout
    const float after = plugin->getParameter(15);
    EXPECT_NEAR(after, before - 0.05f, 1e-5);
    const std::vector<HostCall> reports = automations();
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].index, 15);
    EXPECT_EQ(reports[0].opt, after);
    // Inside a gesture the host hears: taken, changed, let go.
    std::vector<VstInt32> sequence;
    for (const HostCall& c : plugin->calls())
        if (c.opcode == audioMasterBeginEdit || c.opcode == audioMasterAutomate || c.opcode == audioMasterEndEdit) {
            EXPECT_EQ(c.index, 15);
            sequence.push_back(c.opcode);
        }
    EXPECT_EQ(sequence, (std::vector<VstInt32>{audioMasterBeginEdit, audioMasterAutomate, audioMasterEndEdit}));
    EXPECT_EQ(differingPixels(expectedPanel(), captureWindow(editor, 512, 272), 0, 0, 512, 272), 0);

    // Host automation and a program change are drawn at once, and not reported back.
    plugin->clearCalls();
    plugin->setParameter(4, 0.1f);
    plugin->setProgram(3);
    EXPECT_TRUE(automations().empty());
    EXPECT_EQ(differingPixels(expectedPanel(), captureWindow(editor, 512, 272), 0, 0, 512, 272), 0);

    EXPECT_EQ(plugin->dispatch(effEditClose), 0);
    EXPECT_FALSE(IsWindow(editor));
}

TEST_F(PluginEditorTest, OpensAt2xWhenAskedAndAsksTheHostToResizeOnAChange) {
    EXPECT_EQ(requestScale(2.0f), 1);
    // Before any window the rectangle is already the 2x one.
    ERect* r = nullptr;
    ASSERT_EQ(plugin->dispatch(effEditGetRect, 0, 0, &r), 1);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->right, 1024);
    EXPECT_EQ(r->bottom, 544);
    HostWindow host(0, 0, 1024, 544);
    REQUIRE_WINDOWS(host);
    HWND editor = openEditor(host);
    ASSERT_NE(editor, nullptr);
    RECT client{};
    GetClientRect(editor, &client);
    EXPECT_EQ(client.right, 1024);
    EXPECT_EQ(client.bottom, 544);
    EXPECT_EQ(differingPixels(expectedPanel(2), captureWindow(editor, 1024, 544), 0, 0, 1024, 544), 0);
    // Twenty pixels at 2x turn Volume as ten do at 1x.
    const float before = plugin->getParameter(15);
    sendMouse(editor, WM_LBUTTONDOWN, 536, 424);
    sendMouse(editor, WM_MOUSEMOVE, 536, 444);
    sendMouse(editor, WM_LBUTTONUP, 536, 444);
    sendMouse(editor, WM_MOUSEMOVE, 800, 100);  // off the knobs: no readout
    EXPECT_NEAR(plugin->getParameter(15), before - 0.05f, 1e-5);
    EXPECT_EQ(differingPixels(expectedPanel(2), captureWindow(editor, 1024, 544), 0, 0, 1024, 544), 0);

    // Asked for 1x while open, the plug-in asks the host to resize its window;
    // this host refuses, so the panel keeps its size.
    plugin->clearCalls();
    requestScale(1.0f);
    int sizeRequests = 0;
    for (const HostCall& c : plugin->calls())
        if (c.opcode == audioMasterSizeWindow) {
            ++sizeRequests;
            EXPECT_EQ(c.index, 512);
            EXPECT_EQ(c.value, 272);
        }
    EXPECT_EQ(sizeRequests, 1);
    EXPECT_TRUE(IsWindow(editor));
    ASSERT_EQ(plugin->dispatch(effEditGetRect, 0, 0, &r), 1);
    EXPECT_EQ(r->right, 1024);
    UpdateWindow(editor);
    EXPECT_EQ(differingPixels(expectedPanel(2), captureWindow(editor, 1024, 544), 0, 0, 1024, 544), 0);
    EXPECT_EQ(plugin->dispatch(effEditClose), 0);
    // Closed, the request is taken up at once.
    ASSERT_EQ(plugin->dispatch(effEditGetRect, 0, 0, &r), 1);
    EXPECT_EQ(r->right, 512);
}

TEST_F(PluginEditorTest, OpenTwiceKeepsOneWindowAndClosingThePluginUnregistersTheClass) {
    HostWindow host;
    REQUIRE_WINDOWS(host);
    HWND first = openEditor(host);
    HWND second = openEditor(host);
    ASSERT_NE(second, nullptr);
    EXPECT_FALSE(IsWindow(first));
    EXPECT_EQ(FindWindowExA(host.frame, second, "QFGui", nullptr), nullptr);  // no other editor window

    HMODULE module = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCSTR>(builtPlugin().entry()), &module);
    ASSERT_NE(module, nullptr);
    WNDCLASSA wc;
    EXPECT_TRUE(GetClassInfoA(module, "QFGui", &wc));
    // Closed by the host while the editor is still open.
    plugin->close();
    plugin.reset();
    EXPECT_FALSE(IsWindow(second));
    EXPECT_FALSE(GetClassInfoA(module, "QFGui", &wc));
}

}  // namespace
