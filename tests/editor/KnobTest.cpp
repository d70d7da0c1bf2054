// The knob's value, frame, drag, detent and wheel arithmetic, and what it
// reports to the plug-in.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "EditorTestSupport.h"
#include "editor/widgets/bitmapknob.h"

using namespace editortest;

namespace {

class KnobTest : public ::testing::Test {
protected:
    // A knob at (16, 32) reporting to a recording plug-in, as the panel sets it up.
    bitmapknob* makeKnob(float snapRange = 0.0f, float snapPoint = 0.0f, int paramIndex = 3) {
        bitmapknob* k = editor.addWidget(std::make_unique<bitmapknob>(16, 32, 24, snapRange, snapPoint, nullptr, nullptr));
        k->paramIndex = paramIndex;
        k->owner = &editor;
        k->automate = true;
        return k;
    }
    // Drags from y0 to y1 in single-pixel moves.
    static void dragPixels(bitmapknob& k, int button, int y0, int y1) {
        k.onMouseDown(button, 20, y0);
        const int step = y1 > y0 ? 1 : -1;
        for (int y = y0 + step; y != y1 + step; y += step) k.onDrag(20, y);
        k.onDragEnd(20, y1);
    }

    FakePlugin plugin;
    ProbeEditor editor{&plugin};
};

TEST_F(KnobTest, FramesFollowTheValueAndOnlyOneIsTheTop) {
    EXPECT_EQ(bitmapknob::frameFor(0.0f), 0);
    EXPECT_EQ(bitmapknob::frameFor(0.5f), 31);
    EXPECT_EQ(bitmapknob::frameFor(0.99f), 62);
    EXPECT_EQ(bitmapknob::frameFor(62.0f / 63.0f), 62);
    EXPECT_EQ(bitmapknob::frameFor(0.99999994f), 62);
    EXPECT_EQ(bitmapknob::frameFor(1.0f), 63);
    bitmapknob* k = makeKnob();
    EXPECT_EQ(k->getValue(), 0.5f);  // a new knob sits in the middle
    EXPECT_EQ(k->frame(), 31);
}

TEST_F(KnobTest, ValuesAreClampedAndAnUnchangedValueIsNotReported) {
    bitmapknob* k = makeKnob();
    k->setValue(1.7f, true);
    EXPECT_EQ(k->getValue(), 1.0f);
    ASSERT_EQ(plugin.automations.size(), 1u);
    EXPECT_EQ(plugin.automations[0].index, 3);
    EXPECT_EQ(plugin.automations[0].value, 1.0f);
    k->setValue(1.0f, true);
    k->setValue(3.0f, true);  // clamps to the value it already has
    EXPECT_EQ(plugin.automations.size(), 1u);
    k->setValue(-0.5f, true);
    EXPECT_EQ(k->getValue(), 0.0f);
    EXPECT_EQ(plugin.automations.back().value, 0.0f);
    // A value from the plug-in is never reported back.
    k->setValue(0.25f, false);
    EXPECT_EQ(k->getValue(), 0.25f);
    EXPECT_EQ(plugin.automations.size(), 2u);
    EXPECT_EQ(plugin.setCalls.size(), 2u);
    // NaN has no place on the scale: the knob keeps what it shows.
    k->setValue(std::numeric_limits<float>::quiet_NaN(), true);
    EXPECT_EQ(k->getValue(), 0.25f);
    EXPECT_EQ(plugin.automations.size(), 2u);
}

TEST_F(KnobTest, CoarseDragSweepsTheRangeInAboutTwoHundredPixels) {
    bitmapknob* k = makeKnob();
    k->setValue(0.0f, false);
    k->onMouseDown(0, 20, 500);
    int y = 500;
    while (k->getValue() < 1.0f && y > 0) k->onDrag(20, --y);
    EXPECT_NEAR(500 - y, 200, 2);
    const std::size_t reports = plugin.automations.size();
    EXPECT_NEAR(static_cast<double>(reports), 200.0, 2.0);  // one report per moved pixel
    // Further up changes nothing; the first pixel back down lowers the value.
    for (int i = 0; i < 30; ++i) k->onDrag(20, --y);
    EXPECT_EQ(k->getValue(), 1.0f);
    EXPECT_EQ(plugin.automations.size(), reports);
    k->onDrag(20, y + 1);
    EXPECT_NEAR(k->getValue(), 0.995f, 1e-6);
    k->onDragEnd(20, y + 1);
    EXPECT_FALSE(k->pressed);
}

TEST_F(KnobTest, FineDragMovesATenthAsFarAndDropsStepsBelowAThousandth) {
    bitmapknob* k = makeKnob();
    k->setValue(0.5f, false);
    // One-pixel moves up with the right button ask for 0.5005 each time: the
    // thousandths do not change, the travel is dropped, the value stands.
    dragPixels(*k, 1, 300, 280);
    EXPECT_EQ(k->getValue(), 0.5f);
    EXPECT_TRUE(plugin.automations.empty());
    // Downwards the first pixel crosses a thousandth (0.4995); the next ones
    // ask for 0.499, inside the same thousandth, and are dropped too.
    dragPixels(*k, 1, 300, 320);
    EXPECT_EQ(k->getValue(), 0.4995f);
    EXPECT_EQ(plugin.automations.size(), 1u);
    // Four-pixel moves cross a thousandth every time: a tenth of the coarse speed.
    plugin.automations.clear();
    k->setValue(0.5f, false);
    k->onMouseDown(1, 20, 300);
    for (int y = 296; y >= 260; y -= 4) k->onDrag(20, y);
    EXPECT_NEAR(k->getValue(), 0.52f, 1e-4);
    EXPECT_EQ(plugin.automations.size(), 10u);
    // A hundred pixels down with the left button: 0.5 of the range.
    k->setValue(0.75f, false);
    plugin.automations.clear();
    dragPixels(*k, 0, 100, 200);
    EXPECT_NEAR(k->getValue(), 0.25f, 0.001f);
    // The fine drag of a quick mouse: one 40-pixel jump moves 0.02.
    k->setValue(0.5f, false);
    k->onMouseDown(1, 20, 100);
    k->onDrag(20, 60);
    EXPECT_NEAR(k->getValue(), 0.52f, 1e-4);
}

TEST_F(KnobTest, DetentHoldsTheMiddleForAboutTenPixels) {
    bitmapknob* k = makeKnob(0.05f, 0.5f, 8);
    k->setValue(0.3f, false);
    k->onMouseDown(0, 20, 400);
    int y = 400;
    // Up to the detent.
    while (k->getValue() != 0.5f && y > 300) k->onDrag(20, --y);
    ASSERT_EQ(k->getValue(), 0.5f);
    const std::size_t reports = plugin.automations.size();
    int held = 0;
    while (k->getValue() == 0.5f && held < 100) {
        k->onDrag(20, --y);
        ++held;
    }
    EXPECT_GE(held, 9);
    EXPECT_LE(held, 12);
    EXPECT_GT(k->getValue(), 0.54f);  // then it jumps on, past the held stretch
    EXPECT_EQ(plugin.automations.size(), reports + 1);  // exactly 0.5 reported once while held
    EXPECT_EQ(plugin.automations[reports - 1].value, 0.5f);
    // A knob without a detent passes smoothly through the middle.
    bitmapknob* plain = makeKnob(0.0f, 0.0f, 0);
    plain->setValue(0.45f, false);
    plain->onMouseDown(0, 20, 100);
    for (int i = 1; i <= 20; ++i) {
        plain->onDrag(20, 100 - i);
        EXPECT_NEAR(plain->getValue(), 0.45f + 0.005f * i, 1e-5);
    }
}

TEST_F(KnobTest, WheelStepsAHundredthAndStopsAtTheEnds) {
    bitmapknob* k = makeKnob();
    k->setValue(0.995f, false);
    k->onMouseWheel(1);
    EXPECT_EQ(k->getValue(), 1.0f);
    ASSERT_EQ(plugin.automations.size(), 1u);
    k->setValue(0.0f, false);
    k->onMouseWheel(-1);
    EXPECT_EQ(k->getValue(), 0.0f);
    EXPECT_EQ(plugin.automations.size(), 1u);  // nothing changed, nothing reported
    k->setValue(0.5f, false);
    k->onMouseWheel(-1);
    EXPECT_NEAR(k->getValue(), 0.49f, 1e-6);
    // The wheel ignores the detent.
    bitmapknob* d = makeKnob(0.05f, 0.5f, 7);
    d->setValue(0.46f, false);
    d->onMouseWheel(1);
    EXPECT_NEAR(d->getValue(), 0.47f, 1e-6);
}

TEST_F(KnobTest, DirtyOnlyWhenTheFrameChanges) {
    bitmapknob* k = makeKnob();
    k->setValue(0.3f, false);  // frame 18
    EXPECT_TRUE(k->dirty);
    k->dirty = false;
    k->setValue(0.301f, false);  // still frame 18
    EXPECT_FALSE(k->dirty);
    k->setValue(0.32f, false);  // frame 20
    EXPECT_TRUE(k->dirty);
    // From the top frame to the next: 1 to 0.99 is a change of picture.
    k->setValue(1.0f, false);
    k->dirty = false;
    k->setValue(0.99f, false);
    EXPECT_TRUE(k->dirty);
    // The end of a drag always asks for one more drawing.
    k->dirty = false;
    k->onMouseDown(0, 20, 40);
    k->onDragEnd(20, 40);
    EXPECT_TRUE(k->dirty);
}

}  // namespace
