// The committed panel bitmaps are exactly what the generator makes: nobody has
// edited a picture by hand, and the generator has not drifted from them.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "PanelArt.h"

namespace {

std::vector<std::uint8_t> readFile(const std::string& name) {
    std::ifstream in(std::string(HAMMERLYN2_RESOURCES_DIR) + "/" + name, std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST(ArtworkRegenerationTest, CommittedBitmapsMatchTheGeneratorByteForByte) {
    EXPECT_TRUE(readFile("knob_mask.bmp") == panelart::maskBmp()) << "run hammerlyn2-panel-art resources";
    EXPECT_TRUE(readFile("knob_strip.bmp") == panelart::stripBmp()) << "run hammerlyn2-panel-art resources";
    EXPECT_TRUE(readFile("panel_background.bmp") == panelart::backgroundBmp())
        << "run hammerlyn2-panel-art resources";
    EXPECT_TRUE(readFile("knob_mask_2x.bmp") == panelart::maskBmp(2)) << "run hammerlyn2-panel-art resources";
    EXPECT_TRUE(readFile("knob_strip_2x.bmp") == panelart::stripBmp(2)) << "run hammerlyn2-panel-art resources";
    EXPECT_TRUE(readFile("panel_background_2x.bmp") == panelart::backgroundBmp(2))
        << "run hammerlyn2-panel-art resources";
}

}  // namespace
