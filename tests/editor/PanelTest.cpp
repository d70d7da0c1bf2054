// The instrument's panel bound to a plug-in: knob placement, the two directions
// of the binding, and what the window shows, checked pixel by pixel against
// the panel's bitmaps composed by hand.
#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

#include "EditorTestSupport.h"
#include "editor/panel/MyGui.h"
#include "editor/panel/PanelLayout.h"
#include "editor/widgets/bitmapknob.h"

using namespace editortest;

namespace {

std::vector<float> ramp() {
    std::vector<float> v(16);
    for (int i = 0; i < 16; ++i) v[i] = static_cast<float>(i) / 15.0f;
    return v;
}

// Where the panel must show each knob, for the plug-in's current values.
std::vector<KnobPicture> expectedKnobs(const FakePlugin& plugin) {
    std::vector<KnobPicture> out;
    for (const panel::Knob& k : panel::kKnobs)
        out.push_back({k.x, k.y, bitmapknob::frameFor(plugin.values[k.paramIndex])});
    return out;
}

bitmapknob* knobFor(MyGui& gui, int paramIndex) {
    for (const auto& w : gui.widgetList())
        if (w->paramIndex == paramIndex) return static_cast<bitmapknob*>(w.get());
    return nullptr;
}

class PanelTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (int i = 0; i < 16; ++i) plugin.values[i] = 0.5f;
        gui = std::make_unique<MyGui>(&plugin);
        plugin.attach(gui.get());
        gui->updateAllParameters();  // as the plug-in's constructor ends
    }
    void TearDown() override {
        plugin.attach(nullptr);
        gui.reset();
    }
    void openIn(HostWindow& host) {
        gui->open(host.frame);
        window = editorWindow(*gui);
        ASSERT_NE(window, nullptr);
        UpdateWindow(window);
    }
    PixelSurface shown() { return captureWindow(window, panel::kWidth, panel::kHeight); }

    FakePlugin plugin;
    std::unique_ptr<MyGui> gui;
    HWND window = nullptr;
};

TEST_F(PanelTest, SixteenKnobsOnePerParameterWhereTheLayoutPutsThem) {
    ASSERT_EQ(gui->widgetList().size(), 16u);
    bool seen[16] = {};
    for (std::size_t i = 0; i < 16; ++i) {
        const WidgetBase* w = gui->widgetList()[i].get();
        EXPECT_EQ(w->x, panel::kKnobs[i].x);
        EXPECT_EQ(w->y, panel::kKnobs[i].y);
        EXPECT_TRUE(w->automate);
        seen[w->paramIndex] = true;
    }
    for (bool s : seen) EXPECT_TRUE(s);
    // The top row shows parameters 0, 2, 1 from the left.
    EXPECT_EQ(gui->widgetAt(28, 44)->paramIndex, 0);
    EXPECT_EQ(gui->widgetAt(68, 44)->paramIndex, 2);
    EXPECT_EQ(gui->widgetAt(108, 44)->paramIndex, 1);
    // Between knobs and on the labels there is nothing to grab.
    EXPECT_EQ(gui->widgetAt(48, 44), nullptr);
    EXPECT_EQ(gui->widgetAt(28, 62), nullptr);
    EXPECT_EQ(gui->widgetAt(400, 100), nullptr);
    // Only the three body knobs have a detent, at their 0 dB point.
    for (const auto& w : gui->widgetList()) {
        const auto* k = static_cast<const bitmapknob*>(w.get());
        const bool body = k->paramIndex >= 7 && k->paramIndex <= 9;
        EXPECT_EQ(k->snapRange, body ? 0.05f : 0.0f) << "parameter " << k->paramIndex;
        if (body) {
            EXPECT_EQ(k->snapPoint, 0.5f);
        }
    }
}

TEST_F(PanelTest, AUserTurnIsReportedToTheHostExactlyOnce) {
    HostWindow host;
    REQUIRE_WINDOWS(host);
    openIn(host);
    plugin.setCalls.clear();
    sendMouse(window, WM_LBUTTONDOWN, 28, 44);
    sendMouse(window, WM_MOUSEMOVE, 28, 34);  // ten pixels up
    sendMouse(window, WM_LBUTTONUP, 28, 34);
    ASSERT_EQ(plugin.automations.size(), 1u);
    EXPECT_EQ(plugin.automations[0].index, 0);
    EXPECT_NEAR(plugin.automations[0].value, 0.55f, 1e-6);
    ASSERT_EQ(plugin.setCalls.size(), 1u);
    EXPECT_EQ(plugin.values[0], plugin.automations[0].value);
    // The wheel over the knob of parameter 2.
    sendWheel(window, 120, 68, 44);
    ASSERT_EQ(plugin.automations.size(), 2u);
    EXPECT_EQ(plugin.automations[1].index, 2);
    EXPECT_NEAR(plugin.values[2], 0.51f, 1e-6);
}

TEST_F(PanelTest, GesturesBracketEveryPressAndWheelNotchThatChangesAValue) {
    using Log = std::vector<std::string>;
    HostWindow host;
    REQUIRE_WINDOWS(host);
    openIn(host);
    // A press without a change is no gesture; neither is a notch at the end of the range.
    sendMouse(window, WM_LBUTTONDOWN, 28, 44);
    sendMouse(window, WM_LBUTTONUP, 28, 44);
    plugin.setParameter(2, 1.0f);
    sendWheel(window, 120, 68, 44);
    EXPECT_TRUE(plugin.gestures.empty());
    // A drag: begun at its first change, ended at the release, however many changes.
    sendMouse(window, WM_LBUTTONDOWN, 28, 44);
    sendMouse(window, WM_MOUSEMOVE, 28, 40);
    sendMouse(window, WM_MOUSEMOVE, 28, 30);
    EXPECT_EQ(plugin.gestures, (Log{"begin 0", "change 0", "change 0"}));
    sendMouse(window, WM_LBUTTONUP, 28, 30);
    EXPECT_EQ(plugin.gestures.back(), "end 0");
    // A wheel notch that changes the value is a gesture of its own.
    plugin.gestures.clear();
    sendWheel(window, -120, 68, 44);
    EXPECT_EQ(plugin.gestures, (Log{"begin 2", "change 2", "end 2"}));
    // A second press takes the capture from a drag: the first gesture ends there.
    plugin.gestures.clear();
    sendMouse(window, WM_LBUTTONDOWN, 148, 44);   // Pre Filter
    sendMouse(window, WM_MOUSEMOVE, 148, 30);
    sendMouse(window, WM_RBUTTONDOWN, 188, 100);  // Key
    EXPECT_EQ(plugin.gestures, (Log{"begin 3", "change 3", "end 3"}));
    sendMouse(window, WM_MOUSEMOVE, 188, 20);
    // Losing the capture to another window ends the second.
    SetCapture(host.frame);
    ReleaseCapture();
    EXPECT_EQ(plugin.gestures, (Log{"begin 3", "change 3", "end 3", "begin 6", "change 6", "end 6"}));
    // Closing the editor, or the host destroying its window, ends a drag's gesture.
    plugin.gestures.clear();
    sendMouse(window, WM_LBUTTONDOWN, 268, 212);
    sendMouse(window, WM_MOUSEMOVE, 268, 200);
    gui->close();
    openIn(host);
    sendMouse(window, WM_LBUTTONDOWN, 268, 212);
    sendMouse(window, WM_MOUSEMOVE, 268, 190);
    DestroyWindow(host.frame);
    EXPECT_EQ(plugin.gestures, (Log{"begin 15", "change 15", "end 15", "begin 15", "change 15", "end 15"}));
}

TEST_F(PanelTest, HostChangesMoveTheKnobsWithoutReportingBack) {
    plugin.setParameter(4, 0.9f);
    plugin.setParameter(4, 0.90001f);  // within a ten-thousandth: the knob is left alone
    EXPECT_EQ(knobFor(*gui, 4)->getValue(), 0.9f);
    plugin.switchProgram(ramp());
    for (int i = 0; i < 16; ++i) EXPECT_EQ(knobFor(*gui, i)->getValue(), ramp()[i]);
    EXPECT_TRUE(plugin.automations.empty());
    EXPECT_EQ(plugin.setCalls.size(), 2u);  // only the host's own two
}

TEST_F(PanelTest, BodyKnobHoldsAtTheMiddleWhileDragged) {
    HostWindow host;
    REQUIRE_WINDOWS(host);
    openIn(host);
    plugin.setParameter(8, 0.4f);
    sendMouse(window, WM_LBUTTONDOWN, 148, 156);
    std::vector<float> seen;
    for (int y = 155; y >= 120; --y) {
        sendMouse(window, WM_MOUSEMOVE, 148, y);
        seen.push_back(plugin.values[8]);
    }
    sendMouse(window, WM_LBUTTONUP, 148, 120);
    const auto held = std::count(seen.begin(), seen.end(), 0.5f);
    EXPECT_GE(held, 9);
    EXPECT_LE(held, 12);
    EXPECT_GT(plugin.values[8], 0.55f);
}

TEST_F(PanelTest, PaintShowsTheBackgroundWithEveryKnobMaskedIn) {
    HostWindow host;
    REQUIRE_WINDOWS(host);
    plugin.switchProgram(ramp());
    openIn(host);
    const PixelSurface expected = composePanel(expectedKnobs(plugin));
    const PixelSurface actual = shown();
    EXPECT_EQ(differingPixels(expected, actual, 0, 0, panel::kWidth, panel::kHeight), 0);
    // The composition is not the bare background: the knobs really are drawn.
    EXPECT_GT(differingPixels(expected, panelBitmap(panel::kBackgroundBitmapId), 0, 0, panel::kWidth,
                              panel::kHeight),
              0);
}

TEST_F(PanelTest, ClosedEditorKeepsValuesAndShowsThemWhenOpened) {
    plugin.setParameter(15, 0.2f);
    plugin.setParameter(7, 1.0f);
    EXPECT_EQ(knobFor(*gui, 15)->getValue(), 0.2f);
    HostWindow host;
    REQUIRE_WINDOWS(host);
    openIn(host);
    const PixelSurface expected = composePanel(expectedKnobs(plugin));
    EXPECT_EQ(differingPixels(expected, shown(), 0, 0, panel::kWidth, panel::kHeight), 0);
    // And again after a close and a change made while closed.
    gui->close();
    plugin.setParameter(15, 0.8f);
    openIn(host);
    EXPECT_EQ(differingPixels(composePanel(expectedKnobs(plugin)), shown(), 0, 0, panel::kWidth, panel::kHeight),
              0);
}

TEST_F(PanelTest, HostAutomationIsDrawnAtOnceAndAStateRestoreAtTheNextPaint) {
    HostWindow host;
    REQUIRE_WINDOWS(host);
    openIn(host);
    // Automation from the window's thread: drawn immediately.
    plugin.setParameter(13, 1.0f);
    const panel::Knob& detune = panel::kKnobs[13];
    EXPECT_EQ(differingPixels(composePanel(expectedKnobs(plugin)), shown(), detune.x, detune.y, detune.x + 24,
                              detune.y + 24),
              0);
    // A state restore updates the knobs but draws nothing yet...
    const PixelSurface before = shown();
    plugin.restoreState(ramp());
    EXPECT_EQ(differingPixels(before, shown(), 0, 0, panel::kWidth, panel::kHeight), 0);
    // ...until the next mouse message over the editor draws what changed.
    sendMouse(window, WM_MOUSEMOVE, 450, 250);
    EXPECT_EQ(differingPixels(composePanel(expectedKnobs(plugin)), shown(), 0, 0, panel::kWidth, panel::kHeight), 0);
    // A program change is drawn at once.
    std::vector<float> reversed = ramp();
    std::reverse(reversed.begin(), reversed.end());
    plugin.switchProgram(reversed);
    EXPECT_EQ(differingPixels(composePanel(expectedKnobs(plugin)), shown(), 0, 0, panel::kWidth, panel::kHeight), 0);
}

TEST_F(PanelTest, DraggedKnobShowsItsNewFrameAndNothingElseChanges) {
    HostWindow host;
    REQUIRE_WINDOWS(host);
    openIn(host);
    const PixelSurface before = shown();
    sendMouse(window, WM_RBUTTONDOWN, 228, 212);  // Chorus, fine
    sendMouse(window, WM_MOUSEMOVE, 228, 112);    // 100 pixels: +0.05
    sendMouse(window, WM_RBUTTONUP, 228, 112);
    EXPECT_NEAR(plugin.values[14], 0.55f, 1e-5);
    const PixelSurface after = shown();
    const panel::Knob& chorus = panel::kKnobs[14];
    EXPECT_GT(differingPixels(before, after, chorus.x, chorus.y, chorus.x + 24, chorus.y + 24), 0);
    EXPECT_EQ(differingPixels(before, after, 0, 0, panel::kWidth, panel::kHeight),
              differingPixels(before, after, chorus.x, chorus.y, chorus.x + 24, chorus.y + 24));
    EXPECT_EQ(differingPixels(composePanel(expectedKnobs(plugin)), after, 0, 0, panel::kWidth, panel::kHeight), 0);
}

TEST_F(PanelTest, AutomationFromAnotherThreadWhileTheUserTurnsAKnob) {
    HostWindow host;
    REQUIRE_WINDOWS(host);
    openIn(host);
    // The host automates every knob but Chorus from its own thread while the
    // user drags Chorus on the window's thread.
    std::thread automation([this] {
        for (int i = 0; i < 3000; ++i) {
            const int index = i % 16;
            if (index == 14) continue;
            gui->updateParameter(index, static_cast<float>(i % 97) / 96.0f);
            gui->redrawDirty();
        }
    });
    for (int i = 0; i < 300; ++i) {
        sendMouse(window, WM_LBUTTONDOWN, 228, 212);
        sendMouse(window, WM_MOUSEMOVE, 228, 212 - (i % 7) + 3);
        sendMouse(window, WM_LBUTTONUP, 228, 212);
        gui->idle();
    }
    automation.join();
    // The pointer leaves the knobs: the readout goes, and the strip is the background's again.
    sendMouse(window, WM_MOUSEMOVE, 400, 100);
    gui->idle();
    EXPECT_EQ(gui->readoutText(), "");
    // Whatever the interleaving, the window ends up showing every knob's value.
    std::vector<KnobPicture> knobs;
    for (const auto& w : gui->widgetList()) knobs.push_back({w->x, w->y, bitmapknob::frameFor(w->getValue())});
    EXPECT_EQ(differingPixels(composePanel(knobs), shown(), 0, 0, panel::kWidth, panel::kHeight), 0);
    EXPECT_EQ(knobFor(*gui, 14)->getValue(), plugin.values[14]);
}

#if !defined(_WIN32)
// The headless layer can count what the editor holds of the window system.
TEST(PanelResourcesTest, OpeningClosingAndDestroyingLeaveNothingBehind) {
    HostWindow host;
    const int windows = liveWindowCount(), objects = liveGdiObjectCount(), dcs = liveDcCount();
    {
        FakePlugin plugin;
        auto gui = std::make_unique<MyGui>(&plugin);
        EXPECT_EQ(liveGdiObjectCount(), objects);  // the panel's bitmaps are its own, not the window system's
        for (int i = 0; i < 100; ++i) {
            gui->open(host.frame);
            UpdateWindow(editorWindow(*gui));
            sendMouse(editorWindow(*gui), WM_LBUTTONDOWN, 28, 44);
            sendMouse(editorWindow(*gui), WM_MOUSEMOVE, 28, 30);
            if (i % 2 == 0) gui->close();  // every other time left open for the next open
        }
        EXPECT_EQ(liveWindowCount(), windows + 1);
        gui.reset();
    }
    EXPECT_EQ(liveWindowCount(), windows);
    EXPECT_EQ(liveGdiObjectCount(), objects);
    EXPECT_EQ(liveDcCount(), dcs);
    EXPECT_EQ(QFGui::liveEditors(), 0);
}
#endif

}  // namespace
