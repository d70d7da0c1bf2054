#include "EditorTestSupport.h"

#include <cstdio>
#include <cstring>

#include "editor/interface/ModuleInstance.h"
#include "editor/panel/EmbeddedBitmaps.h"

namespace editortest {

namespace {

#if defined(_WIN32)
// The test program carries the panel bitmaps as its own resources.
[[maybe_unused]] const bool moduleSet = (moduleInstance = GetModuleHandleA(nullptr), true);
#endif

LRESULT CALLBACK frameProc(HWND w, UINT m, WPARAM wp, LPARAM lp) { return DefWindowProcA(w, m, wp, lp); }

constexpr const char* kFrameClass = "Hammerlyn2TestFrame";

void registerFrameClass() {
    WNDCLASSA existing;
    if (GetClassInfoA(nullptr, kFrameClass, &existing)) return;
    WNDCLASSA wc{};
    wc.lpfnWndProc = frameProc;
    wc.lpszClassName = kFrameClass;
    RegisterClassA(&wc);
}

}  // namespace

FakePlugin::FakePlugin() {
    for (float& v : values) v = 0.0f;
}

FakePlugin::~FakePlugin() = default;

void FakePlugin::parameterName(int index, char* text) { std::snprintf(text, kTextBytes, "P%d", index); }

void FakePlugin::parameterDisplay(int index, char* text) {
    std::snprintf(text, kTextBytes, "%.2f", static_cast<double>(getParameter(index)));
}

void FakePlugin::parameterLabel(int, char* text) { std::snprintf(text, kTextBytes, "u"); }

void FakePlugin::programName(int index, char* text) {
    std::snprintf(text, kProgramNameBytes, "%s", programs.at(static_cast<std::size_t>(index)).c_str());
}

void FakePlugin::setParameter(int index, float value) {
    setCalls.push_back({index, value});
    if (index < 0 || index >= 16) return;
    if (values[index] == value) return;
    values[index] = value;
    if (gui) {
        gui->updateParameter(index, value);
        gui->redrawDirty();
    }
}

float FakePlugin::getParameter(int index) { return index >= 0 && index < 16 ? values[index] : 0.0f; }

void FakePlugin::restoreState(const std::vector<float>& newValues) {
    for (int i = 0; i < 16; ++i) values[i] = newValues[i];
    if (gui) gui->updateAllParameters();
}

void FakePlugin::switchProgram(const std::vector<float>& newValues) {
    for (int i = 0; i < 16; ++i) values[i] = newValues[i];
    if (gui) {
        gui->updateAllParameters();
        gui->redrawDirty();
    }
}

// The host's main window: one visible top-level window at the screen's origin
// for the whole program (mapping and unmapping top-level windows is slow under
// Wine), holding the editor frames of the tests as child windows.
HWND mainWindow() {
    static HWND window = [] {
        registerFrameClass();
        return CreateWindowExA(0, kFrameClass, "Hammerlyn2 test host", WS_POPUP | WS_VISIBLE, 0, 0, 1280, 600,
                               nullptr, nullptr, nullptr, nullptr);
    }();
    return window;
}

HostWindow::HostWindow(int left, int top, int width, int height) {
    HWND main = mainWindow();
    if (!main) return;
    frame = CreateWindowExA(0, kFrameClass, "", WS_CHILD | WS_VISIBLE, left, top, width, height, main, nullptr,
                            nullptr, nullptr);
}

HostWindow::~HostWindow() {
    if (frame && IsWindow(frame)) DestroyWindow(frame);
}

LPARAM packPoint(int x, int y) {
    return static_cast<LPARAM>((static_cast<std::uint32_t>(y & 0xFFFF) << 16) | static_cast<std::uint32_t>(x & 0xFFFF));
}

LRESULT sendMouse(HWND window, UINT message, int x, int y) {
    return SendMessageA(window, message, 0, packPoint(x, y));
}

LRESULT sendWheel(HWND window, int delta, int x, int y) {
    POINT p{x, y};
    ClientToScreen(window, &p);
    const WPARAM wParam = static_cast<WPARAM>(static_cast<std::uint32_t>(delta & 0xFFFF) << 16);
    return SendMessageA(window, WM_MOUSEWHEEL, wParam, packPoint(p.x, p.y));
}

PixelSurface captureWindow(HWND window, int width, int height) {
#if defined(_WIN32)
    PixelSurface out(width, height);
    HDC source = GetDC(window);
    HDC memory = CreateCompatibleDC(source);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // rows top to bottom
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP dib = CreateDIBSection(source, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ previous = SelectObject(memory, dib);
    BitBlt(memory, 0, 0, width, height, source, 0, 0, SRCCOPY);
    GdiFlush();
    const auto* p = static_cast<const std::uint32_t*>(bits);
    for (std::size_t i = 0; i < out.pixels.size(); ++i) out.pixels[i] = p[i] & 0xFFFFFF;
    SelectObject(memory, previous);
    DeleteObject(dib);
    DeleteDC(memory);
    ReleaseDC(window, source);
    return out;
#else
    const PixelSurface* pixels = windowPixels(window);
    if (!pixels) return PixelSurface(width, height);
    PixelSurface out(width, height);
    blitPixels(out, 0, 0, width, height, *pixels, 0, 0, RasterOp::Copy);
    return out;
#endif
}

const PixelSurface& panelBitmap(int id) {
    static PixelSurface bitmaps[6];
    static bool loaded[6] = {};
    const int slot = id >= 201 ? id - 201 + 3 : id - 101;
    if (!loaded[slot]) {
        const EmbeddedBitmap* b = findEmbeddedBitmap(id);
        if (b) decodeBmp(b->data, b->size, bitmaps[slot]);
        loaded[slot] = true;
    }
    return bitmaps[slot];
}

PixelSurface composePanel(const std::vector<KnobPicture>& knobs, int scale) {
    const int base = scale == 2 ? 200 : 100, size = 24 * scale;
    PixelSurface out = panelBitmap(base + 2);
    const PixelSurface& mask = panelBitmap(base + 1);
    const PixelSurface& strip = panelBitmap(base + 3);
    for (const KnobPicture& k : knobs)
        for (int y = 0; y < size; ++y)
            for (int x = 0; x < size; ++x) {
                std::uint32_t& p = out.at(k.x + x, k.y + y);
                p = (p & mask.at(x, y)) | strip.at(x, k.frame * size + y);
            }
    return out;
}

int differingPixels(const PixelSurface& a, const PixelSurface& b, int x0, int y0, int x1, int y1) {
    int n = 0;
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x)
            if (a.at(x, y) != b.at(x, y)) ++n;
    return n;
}

}  // namespace editortest
