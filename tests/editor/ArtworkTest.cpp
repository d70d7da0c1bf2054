// The panel bitmaps built into the program: sizes and depths, the mask's disc,
// the film strip's pointer angles and dark surround, the labels' places.
#include <gtest/gtest.h>

#include <cmath>
#include <set>

#include "EditorTestSupport.h"
#include "editor/panel/EmbeddedBitmaps.h"
#include "editor/panel/PanelLayout.h"

using namespace editortest;

namespace {

constexpr double kPi = 3.14159265358979323846;

int channelMax(std::uint32_t p) { return std::max({(p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF}); }

bool insideDisc(int x, int y) { return std::hypot(x + 0.5 - 12.0, y + 0.5 - 12.0) < 12.0; }

TEST(ArtworkTest, SizesAndDepthsAreThoseTheEditorExpects) {
    const PixelSurface& mask = panelBitmap(panel::kMaskBitmapId);
    const PixelSurface& background = panelBitmap(panel::kBackgroundBitmapId);
    const PixelSurface& strip = panelBitmap(panel::kStripBitmapId);
    EXPECT_EQ(mask.width, 24);
    EXPECT_EQ(mask.height, 24);
    EXPECT_EQ(mask.bitsPerPixel, 8);
    EXPECT_EQ(background.width, 512);
    EXPECT_EQ(background.height, 272);
    EXPECT_EQ(background.bitsPerPixel, 24);
    EXPECT_EQ(strip.width, 24);
    EXPECT_EQ(strip.height, 1536);
    EXPECT_EQ(strip.bitsPerPixel, 32);
}

TEST(ArtworkTest, MaskIsABlackDiscWithWhiteCorners) {
    const PixelSurface& mask = panelBitmap(panel::kMaskBitmapId);
    ASSERT_EQ(mask.width, 24);
    for (int y = 0; y < 24; ++y)
        for (int x = 0; x < 24; ++x) {
            const std::uint32_t p = mask.at(x, y);
            EXPECT_EQ(p, insideDisc(x, y) ? 0x000000u : 0xFFFFFFu) << x << "," << y;
        }
    // The disc fills the square: it reaches all four edges.
    EXPECT_EQ(mask.at(0, 12), 0u);
    EXPECT_EQ(mask.at(23, 11), 0u);
    EXPECT_EQ(mask.at(12, 0), 0u);
    EXPECT_EQ(mask.at(11, 23), 0u);
}

TEST(ArtworkTest, StripIsNearlyBlackOutsideTheDisc) {
    const PixelSurface& strip = panelBitmap(panel::kStripBitmapId);
    ASSERT_EQ(strip.height, 1536);
    for (int y = 0; y < strip.height; ++y)
        for (int x = 0; x < 24; ++x)
            if (!insideDisc(x, y % 24)) {
                ASSERT_LE(channelMax(strip.at(x, y)), 20) << x << "," << y;
            }
}

TEST(ArtworkTest, EachFramePointsAtItsAngle) {
    const PixelSurface& strip = panelBitmap(panel::kStripBitmapId);
    ASSERT_EQ(strip.height, 1536);
    std::set<std::vector<std::uint32_t>> distinct;
    for (int n = 0; n < 64; ++n) {
        // The pointer is the brightest, warmest part of the knob: take the
        // centre of mass of such pixels away from the middle.
        double sx = 0, sy = 0, weight = 0;
        std::vector<std::uint32_t> frame;
        for (int y = 0; y < 24; ++y)
            for (int x = 0; x < 24; ++x) {
                const std::uint32_t p = strip.at(x, n * 24 + y);
                frame.push_back(p);
                const int r = (p >> 16) & 0xFF, b = p & 0xFF;
                const double dx = x + 0.5 - 12.0, dy = y + 0.5 - 12.0;
                if (r > 180 && r > b + 30 && std::hypot(dx, dy) > 3.0) {
                    sx += dx * r;
                    sy += dy * r;
                    weight += r;
                }
            }
        distinct.insert(frame);
        ASSERT_GT(weight, 0) << "frame " << n << " has no pointer";
        const double angle = std::atan2(sx / weight, -(sy / weight)) * 180.0 / kPi;  // clockwise from twelve
        const double expected = -140.0 + n * 280.0 / 63.0;
        EXPECT_NEAR(angle, expected, 3.0) << "frame " << n;
    }
    EXPECT_EQ(distinct.size(), 64u);
}

TEST(ArtworkTest, BackgroundHasLabelsUnderTheKnobsAndAQuietGround) {
    const PixelSurface& bg = panelBitmap(panel::kBackgroundBitmapId);
    ASSERT_EQ(bg.width, 512);
    for (const panel::Knob& k : panel::kKnobs) {
        // Light label pixels in the band under the knob, balanced about its
        // centre (the band is narrow enough to leave the neighbours out).
        int lit = 0;
        double sum = 0;
        const int cx = k.x + 12;
        for (int y = k.y + 26; y < k.y + 40; ++y)
            for (int x = cx - 14; x <= cx + 14; ++x)
                if (channelMax(bg.at(x, y)) > 180) {
                    ++lit;
                    sum += x + 0.5;
                }
        EXPECT_GT(lit, 10) << k.label;
        EXPECT_NEAR(sum / std::max(lit, 1), cx, 2.5) << k.label;
    }
    // The ground is black away from the artwork.
    EXPECT_EQ(bg.at(60, 150), 0u);
    EXPECT_EQ(bg.at(300, 240), 0u);
    // The title's lettering in the right half is bright and warm.
    int warm = 0;
    for (int y = 90; y < 130; ++y)
        for (int x = 300; x < 500; ++x) {
            const std::uint32_t p = bg.at(x, y);
            if (((p >> 16) & 0xFF) > 200 && (p & 0xFF) < 160) ++warm;
        }
    EXPECT_GT(warm, 300);
}

}  // namespace
