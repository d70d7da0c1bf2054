// The panel at both sizes, through the editor as the plug-in builds it: the
// pixels of each size against the generator's bitmaps, the same hand movement
// relative to the knob giving the same value, the host asked (and refusing) to
// resize, the value readout, and the panel's own menu.
#include <gtest/gtest.h>

#include <set>

#include "EditorTestSupport.h"
#include "editor/drawing/PixelGlyphs.h"
#include "editor/panel/MyGui.h"
#include "editor/panel/PanelLayout.h"
#include "editor/widgets/bitmapknob.h"

using namespace editortest;

namespace {

class ScaleTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (int i = 0; i < 16; ++i) plugin.values[i] = 0.5f;
        plugin.values[11] = 0.3f;
        gui = std::make_unique<MyGui>(&plugin);
        plugin.attach(gui.get());
        gui->updateAllParameters();
    }
    void TearDown() override {
        plugin.attach(nullptr);
        gui.reset();
    }
    // Opens the editor at scale s in a host frame of that size.
    void openAt(int s) {
        if (s == 2) gui->setUserScale(2);  // while closed: nothing to ask the host
        host = std::make_unique<HostWindow>(0, 0, panel::kWidth * s, panel::kHeight * s);
        if (!host->frame) return;
        ASSERT_TRUE(gui->open(host->frame));
        window = editorWindow(*gui);
        ASSERT_NE(window, nullptr);
        UpdateWindow(window);
    }
    int s() const { return gui->panelScale(); }
    PixelSurface shown() { return captureWindow(window, panel::kWidth * s(), panel::kHeight * s()); }
    PixelSurface expected() {
        std::vector<KnobPicture> knobs;
        for (const panel::Knob& k : panel::kKnobs)
            knobs.push_back({k.x * s(), k.y * s(), bitmapknob::frameFor(plugin.values[k.paramIndex])});
        return composePanel(knobs, s());
    }
    // Pixels of the window that differ from the composed panel, outside and inside the readout's strip.
    std::pair<int, int> differences() {
        const PixelSurface a = expected(), b = shown();
        const int l = panel::kReadoutX * s(), t = panel::kReadoutY * s();
        const int r = l + panel::kReadoutWidth * s(), bt = t + panel::kReadoutHeight * s();
        const int inside = differingPixels(a, b, l, t, r, bt);
        return {differingPixels(a, b, 0, 0, a.width, a.height) - inside, inside};
    }
    // The readout's lit pixels, moved to the origin, against the font's pixels of text.
    bool readoutReads(const std::string& text) {
        const PixelSurface b = shown();
        std::set<std::pair<int, int>> lit, want;
        int minX = 1 << 20, minY = 1 << 20;
        for (int y = panel::kReadoutY * s(); y < (panel::kReadoutY + panel::kReadoutHeight) * s(); ++y)
            for (int x = panel::kReadoutX * s(); x < (panel::kReadoutX + panel::kReadoutWidth) * s(); ++x)
                if (b.at(x, y) == 0xF4B860) {
                    lit.insert({x, y});
                    minX = std::min(minX, x);
                    minY = std::min(minY, y);
                }
        const pixelfont::TextMask mask = pixelfont::renderText(text, 1, s());
        int maskX = 1 << 20, maskY = 1 << 20;
        for (int y = 0; y < mask.height; ++y)
            for (int x = 0; x < mask.width; ++x)
                if (mask.at(x, y)) {
                    maskX = std::min(maskX, x);
                    maskY = std::min(maskY, y);
                }
        for (int y = 0; y < mask.height; ++y)
            for (int x = 0; x < mask.width; ++x)
                if (mask.at(x, y)) want.insert({x - maskX + minX, y - maskY + minY});
        return !lit.empty() && lit == want;
    }
    // Window position of the middle of knob i of the layout.
    int cx(int i) const { return (panel::kKnobs[i].x + 12) * s(); }
    int cy(int i) const { return (panel::kKnobs[i].y + 12) * s(); }

    FakePlugin plugin;
    std::unique_ptr<MyGui> gui;
    std::unique_ptr<HostWindow> host;
    HWND window = nullptr;
};

TEST_F(ScaleTest, EachSizeShowsItsOwnArtworkWithTheKnobsAndTheHostIsAskedToResize) {
    for (int scale : {1, 2}) {
        SetUp();
        openAt(scale);
        if (!host->frame) GTEST_SKIP() << "no display: windows cannot be created here";
        EditorRect* r = nullptr;
        ASSERT_TRUE(gui->getRect(&r));
        EXPECT_EQ(r->right, 512 * scale);
        EXPECT_EQ(r->bottom, 272 * scale);
        EXPECT_TRUE(plugin.resizes.empty());
        EXPECT_EQ(differences(), std::make_pair(0, 0)) << "scale " << scale;
        // Hit areas scale: the knob's inside is its, the pixel beyond its edge not.
        const panel::Knob& k = panel::kKnobs[7];
        EXPECT_EQ(gui->widgetAt(k.x * scale + 1, k.y * scale + 1)->paramIndex, k.paramIndex);
        EXPECT_EQ(gui->widgetAt((k.x + 24) * scale + 1, k.y * scale + 1), nullptr);
        TearDown();
    }
    SetUp();
    openAt(2);
    // A host that refuses the new size: the panel keeps its own.
    plugin.acceptResize = false;
    gui->setUserScale(1);
    ASSERT_EQ(plugin.resizes, (std::vector<std::pair<int, int>>{{512, 272}}));
    EXPECT_EQ(s(), 2);
    EXPECT_EQ(differences(), std::make_pair(0, 0));
    // One that accepts: the window is made again at 1x.
    plugin.acceptResize = true;
    gui->setUserScale(1);
    EXPECT_EQ(plugin.resizes.size(), 2u);
    EXPECT_EQ(s(), 1);
    window = editorWindow(*gui);
    ASSERT_NE(window, nullptr);
    UpdateWindow(window);
    EXPECT_EQ(differences(), std::make_pair(0, 0));
    // The host's request gives way to the user's choice.
    gui->setScaleRequest(2.0f);
    EXPECT_EQ(s(), 1);
    // Without the user's choice the host's factor rules, the double panel from 1.5 up.
    TearDown();
    SetUp();
    gui->setScaleRequest(1.49f);
    EXPECT_EQ(s(), 1);
    gui->setScaleRequest(1.5f);
    EXPECT_EQ(s(), 2);
}

TEST_F(ScaleTest, TheSameHandMovementRelativeToTheKnobGivesTheSameValueAtBothSizes) {
    std::vector<float> results[2];
    for (int scale : {1, 2}) {
        SetUp();
        openAt(scale);
        if (!host->frame) GTEST_SKIP() << "no display: windows cannot be created here";
        // Coarse: 30 pixels at 1x up on Decay; fine: 90 down on Attack.
        sendMouse(window, WM_LBUTTONDOWN, cx(11), cy(11));
        sendMouse(window, WM_MOUSEMOVE, cx(11), cy(11) - 30 * scale);
        sendMouse(window, WM_LBUTTONUP, cx(11), cy(11) - 30 * scale);
        sendMouse(window, WM_RBUTTONDOWN, cx(10), cy(10));
        sendMouse(window, WM_MOUSEMOVE, cx(10), cy(10) + 90 * scale);
        sendMouse(window, WM_RBUTTONUP, cx(10), cy(10) + 90 * scale);
        // The full range is 200 pixels at 1x, 400 at 2x.
        sendMouse(window, WM_LBUTTONDOWN, cx(15), cy(15));
        sendMouse(window, WM_MOUSEMOVE, cx(15), cy(15) - 100 * scale);
        sendMouse(window, WM_LBUTTONUP, cx(15), cy(15));
        // A body band through its detent, a pixel at a time: let go at the same share of travel.
        int held = 0;
        sendMouse(window, WM_LBUTTONDOWN, cx(8), cy(8));
        for (int d = 1; d <= 30 * scale; ++d) {
            sendMouse(window, WM_MOUSEMOVE, cx(8), cy(8) - d);
            held += plugin.values[8] == 0.5f;
        }
        sendMouse(window, WM_LBUTTONUP, cx(8), cy(8) - 30 * scale);
        // The wheel does not scale: a notch is a hundredth.
        sendWheel(window, -120, cx(4), cy(4));
        results[scale - 1] = {plugin.values[11], plugin.values[10],
                              plugin.values[15], plugin.values[8],
                              plugin.values[4],  static_cast<float>(held + 1) / static_cast<float>(scale)};
        TearDown();
    }
    EXPECT_NEAR(results[0][0], 0.45f, 1e-6);
    EXPECT_NEAR(results[0][1], 0.455f, 1e-6);
    EXPECT_EQ(results[0][2], 1.0f);
    EXPECT_NEAR(results[0][4], 0.49f, 1e-6);
    EXPECT_EQ(results[0][5], 10.0f);  // the tenth pixel leaves the detent
    // Single moves come out exactly alike; the pixel-by-pixel drag sums
    // twice as many half steps.
    for (int i : {0, 1, 2, 4, 5}) EXPECT_EQ(results[0][i], results[1][i]) << "result " << i;
    EXPECT_NEAR(results[0][3], results[1][3], 1e-5);
}

TEST_F(ScaleTest, TheReadoutShowsTheHostsTextForTheKnobUnderThePointer) {
    for (int scale : {1, 2}) {
        SetUp();
        openAt(scale);
        if (!host->frame) GTEST_SKIP() << "no display: windows cannot be created here";
        sendMouse(window, WM_MOUSEMOVE, cx(11), cy(11));
        EXPECT_EQ(gui->readoutText(), "P11 0.30 u");
        EXPECT_TRUE(readoutReads("P11 0.30 u")) << "scale " << scale;
        std::pair<int, int> d = differences();
        EXPECT_EQ(d.first, 0);  // only the strip changed
        EXPECT_GT(d.second, 0);
        // It follows automation while shown.
        plugin.setParameter(11, 0.75f);
        EXPECT_TRUE(readoutReads("P11 0.75 u"));
        // A drag keeps it on the knob held, from the press on (a touch
        // screen presses elsewhere with no move between), wherever the pointer goes.
        sendMouse(window, WM_LBUTTONDOWN, cx(15), cy(15));
        EXPECT_EQ(gui->readoutText(), "P15 0.50 u");
        sendMouse(window, WM_MOUSEMOVE, cx(15) + 60 * scale, cy(15) - 10 * scale);
        EXPECT_TRUE(readoutReads("P15 0.55 u"));
        sendMouse(window, WM_LBUTTONUP, cx(15) + 60 * scale, cy(15) - 10 * scale);
        sendMouse(window, WM_MOUSEMOVE, cx(15) + 61 * scale, cy(15) - 10 * scale);
        // Off the knobs the strip is the background's again, to the pixel.
        EXPECT_EQ(gui->readoutText(), "");
        EXPECT_EQ(differences(), std::make_pair(0, 0));
        TearDown();
    }
}

#if !defined(_WIN32)
// Where the window system has no menus (X11, and the tests' in-memory layer)
// the panel draws its own.
TEST_F(ScaleTest, TheDrawnMenuChoosesTheSizeAndThePrograms) {
    plugin.programs = {"One", "Two", "Three"};
    openAt(1);
    ASSERT_NE(window, nullptr);
    sendMouse(window, WM_RBUTTONDOWN, 400, 100);
    sendMouse(window, WM_RBUTTONUP, 400, 100);
    ASSERT_TRUE(gui->menuShowing());
    EXPECT_EQ(gui->menuItems(),
              (std::vector<std::string>{"Size 100 %", "Size 200 %", "", "One", "Two", "Three"}));
    EXPECT_GT(differences().first, 0);
    // Items are 13 pixels high below a 2-pixel border, the separator 5.
    sendMouse(window, WM_LBUTTONDOWN, 420, 100 + 2 + 13 + 6);
    sendMouse(window, WM_LBUTTONUP, 420, 100 + 2 + 13 + 6);
    EXPECT_FALSE(gui->menuShowing());
    EXPECT_EQ(plugin.resizes, (std::vector<std::pair<int, int>>{{1024, 544}}));
    ASSERT_EQ(s(), 2);
    window = editorWindow(*gui);
    UpdateWindow(window);
    EXPECT_EQ(differences(), std::make_pair(0, 0));
    // At 2x: the third program; then a press outside closes without choosing.
    sendMouse(window, WM_RBUTTONDOWN, 800, 200);
    sendMouse(window, WM_LBUTTONDOWN, 840, 200 + 2 * (2 + 13 + 13 + 5 + 13 + 13 + 6));
    EXPECT_EQ(plugin.selectedPrograms, std::vector<int>{2});
    sendMouse(window, WM_RBUTTONDOWN, 800, 200);
    EXPECT_TRUE(gui->menuShowing());
    // The size and the program in force are marked alike; another program is not.
    const PixelSurface menu = shown();
    EXPECT_EQ(menu.at(812, 200 + 2 * (2 + 13 + 13 + 5 + 13 + 13 + 6)), menu.at(812, 200 + 2 * (2 + 13 + 6)));
    EXPECT_NE(menu.at(812, 200 + 2 * (2 + 13 + 13 + 5 + 13 + 6)), menu.at(812, 200 + 2 * (2 + 13 + 6)));
    sendMouse(window, WM_LBUTTONDOWN, 10, 10);
    EXPECT_FALSE(gui->menuShowing());
    EXPECT_EQ(plugin.selectedPrograms.size(), 1u);
    EXPECT_EQ(s(), 2);
    EXPECT_EQ(differences(), std::make_pair(0, 0));
    // A standalone's lines come last, after a separator, and are reported
    // to it when chosen.
    plugin.info = {"Audio: JACK", "MIDI keyboard"};
    EXPECT_EQ(gui->menuItems(), (std::vector<std::string>{"Size 100 %", "Size 200 %", "", "One", "Two",
                                                          "Three", "", "Audio: JACK", "MIDI keyboard"}));
    gui->chooseMenuItem(8);
    EXPECT_EQ(plugin.chosenLines, std::vector<int>{1});
    EXPECT_EQ(plugin.selectedPrograms.size(), 1u);
    EXPECT_EQ(s(), 2);
}
#endif

}  // namespace
