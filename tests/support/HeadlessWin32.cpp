#include "tests/support/HeadlessWin32.h"

#include <algorithm>
#include <atomic>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "editor/drawing/PixelSurface.h"
#include "editor/panel/EmbeddedBitmaps.h"

namespace headless {

namespace {

// A window; HWND values are keys to these, never reused, so that a stale
// handle is always recognised as one.
struct Window {
    HWND handle = nullptr;
    std::string className;
    WNDPROC proc = nullptr;
    LONG_PTR userData = 0;
    HWND parent = nullptr;
    DWORD style = 0;
    int x = 0, y = 0;
    bool visible = false;
    bool needsPaint = true;
    PixelSurface pixels;
    std::set<UINT_PTR> timers;
};

enum class Kind { Bitmap, Pen, Brush };

// Every GDI object is one of these; the typed handles point at it.
struct GdiObject {
    HGDIOBJ handle;
    Kind kind;
    PixelSurface pixels;  // bitmaps
    std::uint32_t rgb = 0;  // pens and brushes, as 0x00RRGGBB
    int selectedIn = 0;   // device contexts holding it
    bool stock = false;
};

struct Dc {
    HDC handle = nullptr;
    HWND window = nullptr;  // window DCs draw into the window's picture
    bool screen = false;    // the screen's DC, which draws nowhere
    GdiObject* bitmap = nullptr;  // memory DCs draw into their selected bitmap
    GdiObject* pen = nullptr;
    GdiObject* brush = nullptr;
};

struct ClassEntry {
    WNDCLASSA wc;
    std::string name;
};

struct Layer {
    std::recursive_mutex lock;
    std::map<std::string, ClassEntry> classes;
    std::map<HWND, Window*> windows;
    std::map<HGDIOBJ, GdiObject*> objects;
    std::map<HDC, Dc*> dcs;
    std::uintptr_t lastHandle = 0x10000;
    HWND capture = nullptr;
    HWND focus = nullptr;
    GdiObject stockBitmap{reinterpret_cast<HGDIOBJ>(0x100), Kind::Bitmap, PixelSurface(1, 1), 0, 0, true};
    GdiObject stockPen{reinterpret_cast<HGDIOBJ>(0x104), Kind::Pen, {}, 0x000000, 0, true};
    GdiObject stockBrush{reinterpret_cast<HGDIOBJ>(0x108), Kind::Brush, {}, 0xFFFFFF, 0, true};

    std::uintptr_t nextHandle() { return lastHandle += 4; }
};

Layer& layer() {
    static Layer* instance = new Layer;  // lives to the end of the process
    return *instance;
}

using Guard = std::lock_guard<std::recursive_mutex>;

std::uint32_t toPixel(COLORREF c) { return ((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF); }

Window* findWindow(HWND w) {
    auto it = layer().windows.find(w);
    return it == layer().windows.end() ? nullptr : it->second;
}

bool validWindow(HWND w) { return w && findWindow(w); }

Dc* validDc(HDC dc) {
    auto it = layer().dcs.find(dc);
    return it == layer().dcs.end() ? nullptr : it->second;
}

GdiObject* validObject(HGDIOBJ h) {
    Layer& l = layer();
    if (h == l.stockBitmap.handle) return &l.stockBitmap;
    if (h == l.stockPen.handle) return &l.stockPen;
    if (h == l.stockBrush.handle) return &l.stockBrush;
    auto it = l.objects.find(h);
    return it == l.objects.end() ? nullptr : it->second;
}

PixelSurface* target(Dc* d) {
    if (d->screen) return nullptr;
    if (d->window) {
        Window* w = findWindow(d->window);
        return w ? &w->pixels : nullptr;
    }
    return d->bitmap ? &d->bitmap->pixels : nullptr;
}

Dc* newDc(HWND window) {
    Layer& l = layer();
    auto* d = new Dc;
    d->handle = reinterpret_cast<HDC>(l.nextHandle());
    d->window = window;
    d->pen = &l.stockPen;
    d->brush = &l.stockBrush;
    if (!window) {
        d->bitmap = &l.stockBitmap;
    }
    l.dcs[d->handle] = d;
    return d;
}

void freeDc(Dc* d) {
    if (d->bitmap && !d->bitmap->stock) --d->bitmap->selectedIn;
    if (!d->pen->stock) --d->pen->selectedIn;
    if (!d->brush->stock) --d->brush->selectedIn;
    layer().dcs.erase(d->handle);
    delete d;
}

GdiObject* newObject(Kind kind) {
    auto* o = new GdiObject{reinterpret_cast<HGDIOBJ>(layer().nextHandle()), kind, {}, 0, 0, false};
    layer().objects[o->handle] = o;
    return o;
}

void screenOrigin(HWND w, LONG& ox, LONG& oy) {
    ox = 0;
    oy = 0;
    for (Window* p = findWindow(w); p; p = findWindow(p->parent)) {
        ox += p->x;
        oy += p->y;
    }
}

std::atomic<DWORD> nextThreadId{1};

}  // namespace

BOOL GetClassInfoA(HINSTANCE, LPCSTR className, WNDCLASSA* out) {
    if (!className) return FALSE;
    Guard g(layer().lock);
    auto it = layer().classes.find(className);
    if (it == layer().classes.end()) return FALSE;
    if (out) *out = it->second.wc;
    return TRUE;
}

ATOM RegisterClassA(const WNDCLASSA* wc) {
    if (!wc || !wc->lpszClassName || !wc->lpfnWndProc) return 0;
    Guard g(layer().lock);
    Layer& l = layer();
    if (l.classes.count(wc->lpszClassName)) return 0;
    ClassEntry entry{*wc, wc->lpszClassName};
    auto it = l.classes.emplace(entry.name, entry).first;
    it->second.wc.lpszClassName = it->second.name.c_str();
    return static_cast<ATOM>(0xC000 + l.classes.size());
}

BOOL UnregisterClassA(LPCSTR className, HINSTANCE) {
    if (!className) return FALSE;
    Guard g(layer().lock);
    Layer& l = layer();
    auto it = l.classes.find(className);
    if (it == l.classes.end()) return FALSE;
    // As on Windows, a class with live windows stays.
    for (const auto& entry : l.windows)
        if (entry.second->className == className) return FALSE;
    l.classes.erase(it);
    return TRUE;
}

HCURSOR LoadCursorA(HINSTANCE, LPCSTR) {
    static int arrow;
    return reinterpret_cast<HCURSOR>(&arrow);
}

BOOL AdjustWindowRectEx(RECT* rect, DWORD, BOOL, DWORD) { return rect ? TRUE : FALSE; }

HWND CreateWindowExA(DWORD, LPCSTR className, LPCSTR, DWORD style, int x, int y, int width, int height,
                     HWND parent, HMENU, HINSTANCE, LPVOID) {
    if (x == CW_USEDEFAULT) x = y = 0;
    HWND w = nullptr;
    {
        Guard g(layer().lock);
        Layer& l = layer();
        if (!className) return nullptr;
        auto it = l.classes.find(className);
        if (it == l.classes.end()) return nullptr;
        if ((style & WS_CHILD) && !validWindow(parent)) return nullptr;
        if (parent && !validWindow(parent)) return nullptr;
        if (width < 0 || height < 0 || width > 16384 || height > 16384) return nullptr;
        auto* r = new Window;
        r->handle = w = reinterpret_cast<HWND>(l.nextHandle());
        r->className = className;
        r->proc = it->second.wc.lpfnWndProc;
        r->parent = parent;
        r->style = style;
        r->x = x;
        r->y = y;
        r->visible = (style & WS_VISIBLE) != 0;
        r->pixels = PixelSurface(width, height);
        l.windows[w] = r;
    }
    // The creation messages reach the window before its creator can tell it anything.
    if (!SendMessageA(w, WM_NCCREATE, 0, 0) || SendMessageA(w, WM_CREATE, 0, 0) == -1) {
        DestroyWindow(w);
        return nullptr;
    }
    return w;
}

BOOL DestroyWindow(HWND w) {
    std::vector<HWND> children;
    {
        Guard g(layer().lock);
        if (!validWindow(w)) return FALSE;
        for (const auto& entry : layer().windows)
            if (entry.second->parent == w) children.push_back(entry.first);
    }
    // A window that holds the capture loses it first.
    HWND holder = GetCapture();
    for (Window* p = findWindow(holder); p; p = findWindow(p->parent))
        if (p->handle == w) {
            ReleaseCapture();
            break;
        }
    SendMessageA(w, WM_DESTROY, 0, 0);
    for (HWND c : children) DestroyWindow(c);
    SendMessageA(w, WM_NCDESTROY, 0, 0);
    Guard g(layer().lock);
    Layer& l = layer();
    if (l.focus == w) l.focus = nullptr;
    if (l.capture == w) l.capture = nullptr;
    delete findWindow(w);
    l.windows.erase(w);
    return TRUE;
}

BOOL IsWindow(HWND w) {
    Guard g(layer().lock);
    return validWindow(w) ? TRUE : FALSE;
}

BOOL ShowWindow(HWND w, int command) {
    Guard g(layer().lock);
    Window* r = findWindow(w);
    if (!r) return FALSE;
    const BOOL wasVisible = r->visible;
    r->visible = command != SW_HIDE;
    if (r->visible && !wasVisible) r->needsPaint = true;
    return wasVisible;
}

LONG_PTR SetWindowLongPtrA(HWND w, int index, LONG_PTR value) {
    Guard g(layer().lock);
    Window* r = findWindow(w);
    if (!r || index != GWLP_USERDATA) return 0;
    const LONG_PTR old = r->userData;
    r->userData = value;
    return old;
}

LONG_PTR GetWindowLongPtrA(HWND w, int index) {
    Guard g(layer().lock);
    Window* r = findWindow(w);
    if (!r || index != GWLP_USERDATA) return 0;
    return r->userData;
}

LRESULT DefWindowProcA(HWND w, UINT message, WPARAM, LPARAM) {
    switch (message) {
    case WM_NCCREATE:
        return TRUE;
    case WM_PAINT: {
        PAINTSTRUCT ps{};
        BeginPaint(w, &ps);
        EndPaint(w, &ps);
        return 0;
    }
    case WM_ERASEBKGND:
        return 0;  // no class brush in this layer: nothing erased
    default:
        return 0;
    }
}

LRESULT SendMessageA(HWND w, UINT message, WPARAM wParam, LPARAM lParam) {
    WNDPROC proc;
    {
        Guard g(layer().lock);
        Window* r = findWindow(w);
        if (!r) return 0;
        proc = r->proc;
    }
    return proc(w, message, wParam, lParam);
}

BOOL InvalidateRect(HWND w, const RECT*, BOOL) {
    Guard g(layer().lock);
    Window* r = findWindow(w);
    if (!r) return FALSE;
    r->needsPaint = true;
    return TRUE;
}

BOOL UpdateWindow(HWND w) {
    {
        Guard g(layer().lock);
        Window* r = findWindow(w);
        if (!r) return FALSE;
        if (!r->needsPaint || !r->visible) return TRUE;
    }
    SendMessageA(w, WM_PAINT, 0, 0);
    return TRUE;
}

BOOL ScreenToClient(HWND w, POINT* p) {
    Guard g(layer().lock);
    if (!validWindow(w) || !p) return FALSE;
    LONG ox, oy;
    screenOrigin(w, ox, oy);
    p->x -= ox;
    p->y -= oy;
    return TRUE;
}

BOOL ClientToScreen(HWND w, POINT* p) {
    Guard g(layer().lock);
    if (!validWindow(w) || !p) return FALSE;
    LONG ox, oy;
    screenOrigin(w, ox, oy);
    p->x += ox;
    p->y += oy;
    return TRUE;
}

HWND SetFocus(HWND w) {
    Guard g(layer().lock);
    if (w && !validWindow(w)) return nullptr;
    HWND old = layer().focus;
    layer().focus = w;
    return old;
}

HWND GetFocus() {
    Guard g(layer().lock);
    return layer().focus;
}

HWND SetCapture(HWND w) {
    HWND previous;
    {
        Guard g(layer().lock);
        if (!validWindow(w)) return nullptr;
        previous = layer().capture;
        layer().capture = w;
    }
    // As Wine does, the window that had the capture hears of it, even when it
    // takes the capture again itself.
    if (previous) SendMessageA(previous, WM_CAPTURECHANGED, 0, reinterpret_cast<LPARAM>(w));
    return previous;
}

BOOL ReleaseCapture() {
    HWND previous;
    {
        Guard g(layer().lock);
        previous = layer().capture;
        layer().capture = nullptr;
    }
    if (previous) SendMessageA(previous, WM_CAPTURECHANGED, 0, 0);
    return TRUE;
}

HWND GetCapture() {
    Guard g(layer().lock);
    return layer().capture;
}

UINT_PTR SetTimer(HWND w, UINT_PTR id, UINT, TIMERPROC) {
    Guard g(layer().lock);
    Window* r = findWindow(w);
    if (!r) return 0;
    r->timers.insert(id);
    return id;
}

BOOL KillTimer(HWND w, UINT_PTR id) {
    Guard g(layer().lock);
    Window* r = findWindow(w);
    if (!r) return FALSE;
    return r->timers.erase(id) ? TRUE : FALSE;
}

DWORD GetCurrentThreadId() {
    thread_local const DWORD id = nextThreadId.fetch_add(1);
    return id;
}

BOOL PeekMessageA(MSG*, HWND, UINT, UINT, UINT) { return FALSE; }

BOOL TranslateMessage(const MSG*) { return FALSE; }

LRESULT DispatchMessageA(const MSG* msg) { return msg ? SendMessageA(msg->hwnd, msg->message, msg->wParam, msg->lParam) : 0; }

BOOL TrackMouseEvent(TRACKMOUSEEVENT* track) {
    Guard g(layer().lock);
    return track && track->cbSize == sizeof(TRACKMOUSEEVENT) && validWindow(track->hwndTrack) ? TRUE : FALSE;
}

HMENU CreatePopupMenu() { return nullptr; }

BOOL AppendMenuA(HMENU, UINT, UINT_PTR, LPCSTR) { return FALSE; }

BOOL TrackPopupMenu(HMENU, UINT, int, int, int, HWND, const RECT*) { return FALSE; }

BOOL DestroyMenu(HMENU) { return FALSE; }

HMODULE GetModuleHandleA(LPCSTR) { return nullptr; }

FARPROC GetProcAddress(HMODULE, LPCSTR) { return nullptr; }

HDC GetDC(HWND w) {
    Guard g(layer().lock);
    if (!w) {
        Dc* screen = newDc(nullptr);
        screen->bitmap = nullptr;
        screen->screen = true;
        return screen->handle;
    }
    if (!validWindow(w)) return nullptr;
    return newDc(w)->handle;
}

int ReleaseDC(HWND, HDC dc) {
    Guard g(layer().lock);
    Dc* d = validDc(dc);
    if (!d || !(d->window || d->screen)) return 0;
    freeDc(d);
    return 1;
}

HDC BeginPaint(HWND w, PAINTSTRUCT* paint) {
    Guard g(layer().lock);
    Window* r = findWindow(w);
    if (!r || !paint) return nullptr;
    *paint = PAINTSTRUCT{};
    paint->rcPaint = RECT{0, 0, r->pixels.width, r->pixels.height};
    r->needsPaint = false;
    paint->hdc = newDc(w)->handle;
    return paint->hdc;
}

BOOL EndPaint(HWND, const PAINTSTRUCT* paint) {
    Guard g(layer().lock);
    if (!paint) return FALSE;
    Dc* d = validDc(paint->hdc);
    if (d && d->window) freeDc(d);
    return TRUE;
}

HDC CreateCompatibleDC(HDC) {
    Guard g(layer().lock);
    return newDc(nullptr)->handle;
}

BOOL DeleteDC(HDC dc) {
    Guard g(layer().lock);
    Dc* d = validDc(dc);
    if (!d || d->window || d->screen) return FALSE;
    freeDc(d);
    return TRUE;
}

HGDIOBJ SelectObject(HDC dc, HGDIOBJ object) {
    Guard g(layer().lock);
    Dc* d = validDc(dc);
    GdiObject* o = validObject(object);
    if (!d || !o) return nullptr;
    GdiObject** slot = nullptr;
    switch (o->kind) {
    case Kind::Bitmap:
        // Bitmaps go only into memory DCs, and into one at a time.
        if (d->window || d->screen) return nullptr;
        if (!o->stock && o->selectedIn > 0 && d->bitmap != o) return nullptr;
        slot = &d->bitmap;
        break;
    case Kind::Pen:
        slot = &d->pen;
        break;
    case Kind::Brush:
        slot = &d->brush;
        break;
    }
    GdiObject* old = *slot;
    if (old == o) return old;
    if (old && !old->stock) --old->selectedIn;
    if (!o->stock) ++o->selectedIn;
    *slot = o;
    return old;
}

BOOL DeleteObject(HGDIOBJ object) {
    Guard g(layer().lock);
    GdiObject* o = validObject(object);
    if (!o) return FALSE;
    if (o->stock) return TRUE;
    if (o->selectedIn > 0) return FALSE;  // still selected into a DC
    layer().objects.erase(o->handle);
    delete o;
    return TRUE;
}

int GetObjectA(HGDIOBJ object, int size, LPVOID out) {
    Guard g(layer().lock);
    GdiObject* o = validObject(object);
    if (!o || o->kind != Kind::Bitmap || !out || size < static_cast<int>(sizeof(BITMAP))) return 0;
    BITMAP bm{};
    bm.bmWidth = o->pixels.width;
    bm.bmHeight = o->pixels.height;
    bm.bmPlanes = 1;
    bm.bmBitsPixel = static_cast<WORD>(o->pixels.bitsPerPixel);
    bm.bmWidthBytes = ((o->pixels.width * o->pixels.bitsPerPixel + 15) / 16) * 2;
    *static_cast<BITMAP*>(out) = bm;
    return static_cast<int>(sizeof(BITMAP));
}

HPEN CreatePen(int, int, COLORREF colour) {
    Guard g(layer().lock);
    GdiObject* o = newObject(Kind::Pen);
    o->rgb = toPixel(colour);
    return static_cast<HPEN>(o->handle);
}

HBRUSH CreateSolidBrush(COLORREF colour) {
    Guard g(layer().lock);
    GdiObject* o = newObject(Kind::Brush);
    o->rgb = toPixel(colour);
    return static_cast<HBRUSH>(o->handle);
}

int FillRect(HDC dc, const RECT* rect, HBRUSH brush) {
    Guard g(layer().lock);
    Dc* d = validDc(dc);
    GdiObject* b = validObject(brush);
    if (!d || !rect || !b || b->kind != Kind::Brush) return 0;
    PixelSurface* s = target(d);
    if (!s) return 0;
    fillPixels(*s, rect->left, rect->top, rect->right, rect->bottom, b->rgb);
    return 1;
}

BOOL Ellipse(HDC dc, int left, int top, int right, int bottom) {
    Guard g(layer().lock);
    Dc* d = validDc(dc);
    if (!d) return FALSE;
    PixelSurface* s = target(d);
    if (!s || right <= left || bottom <= top) return FALSE;
    // Filled with the brush inside, outlined one pixel wide with the pen.
    fillEllipse(*s, left, top, right, bottom, d->pen->rgb, d->brush->rgb);
    return TRUE;
}

BOOL BitBlt(HDC dest, int x, int y, int width, int height, HDC source, int sourceX, int sourceY, DWORD rop) {
    Guard g(layer().lock);
    Dc* dd = validDc(dest);
    Dc* sd = validDc(source);
    if (!dd || !sd) return FALSE;
    PixelSurface* ds = target(dd);
    PixelSurface* ss = target(sd);
    if (!ds || !ss) return FALSE;
    RasterOp op;
    switch (rop) {
    case SRCCOPY:
        op = RasterOp::Copy;
        break;
    case SRCAND:
        op = RasterOp::And;
        break;
    case SRCPAINT:
        op = RasterOp::Or;
        break;
    default:
        return FALSE;
    }
    if (ds == ss) {
        const PixelSurface copy = *ss;
        blitPixels(*ds, x, y, width, height, copy, sourceX, sourceY, op);
    } else {
        blitPixels(*ds, x, y, width, height, *ss, sourceX, sourceY, op);
    }
    return TRUE;
}

HBITMAP LoadBitmapA(HINSTANCE, LPCSTR name) {
    const auto id = reinterpret_cast<std::uintptr_t>(name);
    if (id > 0xFFFF) return nullptr;  // only numbered resources exist here
    const EmbeddedBitmap* bmp = findEmbeddedBitmap(static_cast<int>(id));
    if (!bmp) return nullptr;
    PixelSurface pixels;
    if (!decodeBmp(bmp->data, bmp->size, pixels)) return nullptr;
    return bitmapFromPixels(pixels);
}

int SetDIBitsToDevice(HDC dc, int x, int y, DWORD width, DWORD height, int sourceX, int sourceY, UINT startScan,
                      UINT lines, const void* bits, const BITMAPINFO* info, UINT use) {
    Guard g(layer().lock);
    Dc* d = validDc(dc);
    if (!d || !bits || !info || use != DIB_RGB_COLORS) return 0;
    const BITMAPINFOHEADER& h = info->bmiHeader;
    const int imageWidth = h.biWidth;
    const int imageHeight = h.biHeight < 0 ? -h.biHeight : h.biHeight;
    if (h.biBitCount != 32 || h.biCompression != BI_RGB || imageWidth <= 0 || startScan != 0 ||
        static_cast<int>(lines) != imageHeight)
        return 0;
    PixelSurface* s = target(d);
    if (!s) return 0;
    PixelSurface image(imageWidth, imageHeight);
    const auto* p = static_cast<const std::uint32_t*>(bits);
    for (int row = 0; row < imageHeight; ++row) {
        const int yy = h.biHeight < 0 ? row : imageHeight - 1 - row;  // bottom-up images start at the bottom
        for (int col = 0; col < imageWidth; ++col)
            image.at(col, yy) = p[static_cast<std::size_t>(row) * imageWidth + col] & 0xFFFFFF;
    }
    blitPixels(*s, x, y, static_cast<int>(width), static_cast<int>(height), image, sourceX, sourceY, RasterOp::Copy);
    return static_cast<int>(lines);
}

int GetDeviceCaps(HDC dc, int index) {
    Guard g(layer().lock);
    if (!validDc(dc)) return 0;
    return index == LOGPIXELSX || index == LOGPIXELSY ? 96 : 0;
}

const PixelSurface* windowPixels(HWND w) {
    Guard g(layer().lock);
    Window* r = findWindow(w);
    return r ? &r->pixels : nullptr;
}

HBITMAP bitmapFromPixels(const PixelSurface& pixels) {
    Guard g(layer().lock);
    GdiObject* o = newObject(Kind::Bitmap);
    o->pixels = pixels;
    return static_cast<HBITMAP>(o->handle);
}

int liveWindowCount() {
    Guard g(layer().lock);
    return static_cast<int>(layer().windows.size());
}

int liveGdiObjectCount() {
    Guard g(layer().lock);
    return static_cast<int>(layer().objects.size());
}

int liveDcCount() {
    Guard g(layer().lock);
    return static_cast<int>(layer().dcs.size());
}

int liveTimerCount(HWND w) {
    Guard g(layer().lock);
    Window* r = findWindow(w);
    return r ? static_cast<int>(r->timers.size()) : 0;
}

}  // namespace headless
