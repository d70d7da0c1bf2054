// Writes the panel's three bitmaps, at 1x and at 2x, into a folder:
//   hammerlyn2-panel-art <folder>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "PanelArt.h"

namespace {

bool write(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <folder>\n", argv[0]);
        return 2;
    }
    const std::string dir = argv[1];
    const bool ok = write(dir + "/knob_mask.bmp", panelart::maskBmp()) &&
                    write(dir + "/knob_strip.bmp", panelart::stripBmp()) &&
                    write(dir + "/panel_background.bmp", panelart::backgroundBmp()) &&
                    write(dir + "/knob_mask_2x.bmp", panelart::maskBmp(2)) &&
                    write(dir + "/knob_strip_2x.bmp", panelart::stripBmp(2)) &&
                    write(dir + "/panel_background_2x.bmp", panelart::backgroundBmp(2));
    if (!ok) {
        std::fprintf(stderr, "could not write the bitmaps into %s\n", dir.c_str());
        return 1;
    }
    return 0;
}
