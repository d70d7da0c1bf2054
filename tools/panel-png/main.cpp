// Renders the editor panel, as the plug-in draws it, into a PNG file:
//   hammerlyn2-panel-png [--scale 2] [--zoom N] [--crop X Y W H] [--size N] <out.png> [value0 ... value15]
// The values (0..1, parameter order) set the knobs; without them every knob
// shows the middle of its range. --scale 2 draws the panel at twice its size
// from the 2x artwork; --zoom enlarges every pixel N times, for looking at the
// artwork closely.
#include <png.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "editor/drawing/PixelSurface.h"
#include "editor/interface/EditorHost.h"
#include "editor/panel/MyGui.h"
#include <memory>

namespace {

// Just enough of a plug-in to hold sixteen values for the editor.
class PanelHost : public EditorHost {
public:
    PanelHost() {
        for (float& v : values) v = 0.5f;
    }
    float parameterValue(int index) override { return index >= 0 && index < 16 ? values[index] : 0.0f; }
    void parameterName(int, char* text) override { text[0] = 0; }
    void parameterDisplay(int, char* text) override { text[0] = 0; }
    void parameterLabel(int, char* text) override { text[0] = 0; }
    void changeParameter(int index, float value) override {
        if (index >= 0 && index < 16) values[index] = value;
    }
    void beginGesture(int) override {}
    void endGesture(int) override {}
    bool resizeEditor(int, int) override { return false; }

    float values[16];
};

PixelSurface zoomed(const PixelSurface& image, int zoom) {
    PixelSurface out(image.width * zoom, image.height * zoom);
    for (int y = 0; y < out.height; ++y)
        for (int x = 0; x < out.width; ++x) out.at(x, y) = image.at(x / zoom, y / zoom);
    return out;
}

// The image resampled to width x height, each new pixel the average of the
// area of the old image it covers (for the icon's standard sizes).
PixelSurface resampled(const PixelSurface& image, int width, int height) {
    // Per new pixel, the old pixels it covers along one axis and by how much.
    struct Span {
        int first;
        std::vector<double> weights;
    };
    auto spans = [](int from, int to) {
        std::vector<Span> out(static_cast<std::size_t>(to));
        const double step = static_cast<double>(from) / to;
        for (int i = 0; i < to; ++i) {
            const double begin = i * step, end = (i + 1) * step;
            Span& span = out[static_cast<std::size_t>(i)];
            span.first = static_cast<int>(begin);
            for (int p = span.first; p < from && p < end; ++p)
                span.weights.push_back((std::min(end, p + 1.0) - std::max(begin, static_cast<double>(p))) / step);
        }
        return out;
    };
    const std::vector<Span> across = spans(image.width, width), down = spans(image.height, height);
    PixelSurface out(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            double sum[3] = {0, 0, 0};
            const Span& row = down[static_cast<std::size_t>(y)];
            const Span& column = across[static_cast<std::size_t>(x)];
            for (std::size_t j = 0; j < row.weights.size(); ++j)
                for (std::size_t i = 0; i < column.weights.size(); ++i) {
                    const std::uint32_t p = image.at(column.first + static_cast<int>(i), row.first + static_cast<int>(j));
                    const double w = row.weights[j] * column.weights[i];
                    for (int c = 0; c < 3; ++c) sum[c] += w * ((p >> (16 - 8 * c)) & 0xff);
                }
            std::uint32_t pixel = 0;
            for (int c = 0; c < 3; ++c)
                pixel |= static_cast<std::uint32_t>(std::lround(std::clamp(sum[c], 0.0, 255.0))) << (16 - 8 * c);
            out.at(x, y) = pixel;
        }
    return out;
}

bool writePng(const char* path, const PixelSurface& image) {
    FILE* file = std::fopen(path, "wb");
    if (!file) return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!png || !info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        std::fclose(file);
        return false;
    }
    png_init_io(png, file);
    png_set_IHDR(png, info, static_cast<png_uint_32>(image.width), static_cast<png_uint_32>(image.height), 8,
                 PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    std::vector<png_byte> row(static_cast<std::size_t>(image.width) * 3);
    for (int y = 0; y < image.height; ++y) {
        for (int x = 0; x < image.width; ++x) {
            const std::uint32_t p = image.at(x, y);
            row[3 * x] = static_cast<png_byte>(p >> 16);
            row[3 * x + 1] = static_cast<png_byte>(p >> 8);
            row[3 * x + 2] = static_cast<png_byte>(p);
        }
        png_write_row(png, row.data());
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return std::fclose(file) == 0;
}

}  // namespace

int main(int argc, char** argv) {
    int zoom = 1;
    int scale = 1;
    int arg = 1;
    if (argc > arg + 1 && std::string(argv[arg]) == "--scale") {
        scale = std::atoi(argv[arg + 1]);
        arg += 2;
    }
    if (argc > arg + 1 && std::string(argv[arg]) == "--zoom") {
        zoom = std::atoi(argv[arg + 1]);
        arg += 2;
    }
    // A part of the panel only (the standalone application's icon): x y width height.
    int crop[4] = {0, 0, 0, 0};
    if (argc > arg + 4 && std::string(argv[arg]) == "--crop") {
        for (int i = 0; i < 4; ++i) crop[i] = std::atoi(argv[arg + 1 + i]);
        arg += 5;
    }
    // The result resampled to a square of N pixels (an icon's standard size).
    int size = 0;
    if (argc > arg + 1 && std::string(argv[arg]) == "--size") {
        size = std::atoi(argv[arg + 1]);
        arg += 2;
    }
    const int rest = argc - arg;
    if ((rest != 1 && rest != 17) || zoom < 1 || zoom > 16 || (scale != 1 && scale != 2) || size < 0 ||
        size > 1024) {
        std::fprintf(
            stderr,
            "usage: %s [--scale 2] [--zoom N] [--crop X Y W H] [--size N] <out.png> [16 knob values 0..1 in "
            "parameter order]\n",
            argv[0]);
        return 2;
    }
    const char* outPath = argv[arg];
    PanelHost host;
    if (rest == 17)
        for (int i = 0; i < 16; ++i) host.values[i] = std::strtof(argv[arg + 1 + i], nullptr);

    auto gui = std::make_unique<MyGui>(&host);
    gui->setUserScale(scale);
    gui->updateAllParameters();

    // The panel composed exactly as every window layer shows it.
    const PixelSurface& whole = gui->render();
    PixelSurface part;
    if (crop[2] > 0 && crop[3] > 0) {
        if (crop[0] < 0 || crop[1] < 0 || crop[0] + crop[2] > whole.width ||
            crop[1] + crop[3] > whole.height) {
            std::fprintf(stderr, "the crop lies outside the %dx%d panel\n", whole.width, whole.height);
            return 2;
        }
        part = PixelSurface(crop[2], crop[3]);
        for (int y = 0; y < crop[3]; ++y)
            for (int x = 0; x < crop[2]; ++x) part.at(x, y) = whole.at(crop[0] + x, crop[1] + y);
    }
    const PixelSurface& pixels = part.width ? part : whole;
    const PixelSurface& shown = size ? resampled(pixels, size, size) : pixels;
    const bool ok = writePng(outPath, zoom > 1 ? zoomed(shown, zoom) : shown);
    if (!ok) {
        std::fprintf(stderr, "could not write %s\n", outPath);
        return 1;
    }
    return 0;
}
