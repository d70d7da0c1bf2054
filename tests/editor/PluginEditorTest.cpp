// The editor of the built plug-in library, driven as a host drives it: the
// editor requests through the dispatcher, a real parent window, mouse messages
// to the editor's window, automation heard through the host callback, and the
// window's pixels read back.
#include <gtest/gtest.h>

#include "EditorTestSupport.h"
#include "editor/PanelLayout.h"
#include "editor/bitmapknob.h"
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
    PixelSurface expectedPanel() {
        std::vector<KnobPicture> knobs;
        for (const panel::Knob& k : panel::kKnobs)
            knobs.push_back({k.x, k.y, bitmapknob::frameFor(plugin->getParameter(k.paramIndex))});
        return composePanel(knobs);
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
