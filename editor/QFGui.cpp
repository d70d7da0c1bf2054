#include "editor/QFGui.h"

#include <cmath>
#include <mutex>

#include "editor/Win32Api.h"

void* moduleInstance = nullptr;

std::atomic<int> QFGui::editorCount{0};

namespace {

// Serialises the class's registration with the count of editors, so that an
// editor created while the last other one is destroyed keeps its class.
std::mutex& classLock() {
    static std::mutex lock;
    return lock;
}

// Window timer that draws what other threads changed.
constexpr UINT_PTR kIdleTimer = 1;
constexpr UINT kIdleMilliseconds = 50;

int lowSigned(std::intptr_t lParam) { return static_cast<std::int16_t>(lParam & 0xFFFF); }
int highSigned(std::intptr_t lParam) { return static_cast<std::int16_t>((lParam >> 16) & 0xFFFF); }

HWND asWindow(void* h) { return static_cast<HWND>(h); }

}  // namespace

// The system calls the window procedure on whatever stack the host's thread
// has: 32-bit x86 guarantees only 4-byte alignment, and our SSE2 code needs 16.
#if defined(__i386__)
#define WINDOW_ENTRY __attribute__((force_align_arg_pointer))
#else
#define WINDOW_ENTRY
#endif

// The window procedure of the class; a friend so that it can forget a window
// destroyed behind the editor's back.
class QFGuiWindow {
public:
    WINDOW_ENTRY static LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        auto* editor = reinterpret_cast<QFGui*>(GetWindowLongPtrA(window, GWLP_USERDATA));
        // Messages sent while the window is created, before it knows its editor.
        if (!editor) return DefWindowProcA(window, message, wParam, lParam);
        if (message == WM_NCDESTROY) {
            // The window is gone, whether the editor closed it or the host
            // destroyed its parent first: never touch the handle again.
            SetWindowLongPtrA(window, GWLP_USERDATA, 0);
            if (editor->hwnd == window) {
                editor->hwnd = nullptr;
                if (editor->captured) editor->endDrag(0, 0);
            }
            return DefWindowProcA(window, message, wParam, lParam);
        }
        return editor->handleMessage(message, wParam, lParam);
    }
};

QFGui::QFGui(EditorHost* effect) : AEffEditor(effect), instance(moduleInstance) {
    std::lock_guard<std::mutex> guard(classLock());
    WNDCLASSA wc{};
    wc.style = 0;  // no double clicks, no private DC
    wc.lpfnWndProc = &QFGuiWindow::windowProc;
    wc.cbClsExtra = 0;
    wc.cbWndExtra = 0;
    wc.hInstance = static_cast<HINSTANCE>(instance);
    wc.hIcon = nullptr;
    wc.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512));  // IDC_ARROW
    wc.hbrBackground = nullptr;  // nothing erased: paint covers the whole window
    wc.lpszMenuName = nullptr;
    wc.lpszClassName = kClassName;
    WNDCLASSA existing;
    if (!GetClassInfoA(static_cast<HINSTANCE>(instance), kClassName, &existing)) RegisterClassA(&wc);
    editorCount.fetch_add(1);
}

QFGui::~QFGui() {
    // The window goes first: its last messages may still reach the widgets.
    if (isOpen()) close();
    for (WidgetBase* w : widgets) delete w;
    widgets.clear();
    hover = nullptr;
    captured = nullptr;
    std::lock_guard<std::mutex> guard(classLock());
    if (editorCount.fetch_sub(1) - 1 < 1) UnregisterClassA(kClassName, static_cast<HINSTANCE>(instance));
}

void QFGui::addWidget(WidgetBase* widget) { widgets.push_back(widget); }

bool QFGui::getRect(EditorRect** out) {
    if (!out) return false;
    *out = &rect;
    return true;
}

bool QFGui::open(void* parent) {
    // Hosts may open twice without closing: the first window is not leaked.
    if (isOpen()) close();
    systemWindow = parent;  // open from here on, also while the window is created
    windowThread.store(GetCurrentThreadId());
    HWND window = CreateWindowExA(0, kClassName, nullptr, WS_CHILD, 0, 0, width, height, asWindow(parent), nullptr,
                                  static_cast<HINSTANCE>(instance), nullptr);
    hwnd = window;
    if (window) {
        SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
        SetTimer(window, kIdleTimer, kIdleMilliseconds, nullptr);
        ShowWindow(window, SW_SHOW);
    }
    return true;
}

void QFGui::close() {
    if (hwnd) DestroyWindow(asWindow(hwnd));
    hwnd = nullptr;  // destroying the window also ended any drag (capture lost)
    systemWindow = nullptr;
    windowThread.store(0);
}

bool QFGui::onWindowThread() const {
    const std::uint32_t owner = windowThread.load();
    return owner != 0 && owner == GetCurrentThreadId();
}

bool QFGui::anyDirty() const {
    for (const WidgetBase* w : widgets)
        if (w->dirty.load(std::memory_order_relaxed)) return true;
    return false;
}

void QFGui::idle() {
    if (anyDirty()) redrawDirty();
}

void QFGui::updateParameter(int index, float value) {
    for (WidgetBase* w : widgets)
        if (w->paramIndex == index && std::fabs(w->getValue() - value) > 0.0001f) w->setValue(value, false);
}

void QFGui::updateAllParameters() {
    EditorHost* host = getEffect();
    if (!host) return;
    for (WidgetBase* w : widgets) w->setValue(host->parameterValue(w->paramIndex), false);
}

void QFGui::redrawDirty() {
    // Another thread (host automation, a state restore) leaves the widgets
    // dirty; the window's own thread draws them at its next paint or idle.
    if (!onWindowThread() || !isOpen() || !hwnd) return;
    HWND window = asWindow(hwnd);
    HDC dc = GetDC(window);
    if (!dc) return;
    for (WidgetBase* w : widgets) drawWidget(w, dc, penColour, fillColour);
    ReleaseDC(window, dc);
}

void QFGui::drawWidget(WidgetBase* widget, DrawContext drawContext, ColourRef pen, ColourRef fill) {
    if (!widget->dirty.load(std::memory_order_relaxed)) return;
    HDC dc = static_cast<HDC>(drawContext);
    const int l = widget->x, t = widget->y, r = widget->x + widget->width, b = widget->y + widget->height;
    if (widget->round) {
        if (widget->filled) {
            HPEN p = CreatePen(PS_SOLID, 1, pen);
            HBRUSH br = CreateSolidBrush(fill);
            HGDIOBJ oldPen = SelectObject(dc, p);
            HGDIOBJ oldBrush = SelectObject(dc, br);
            Ellipse(dc, l, t, r, b);
            SelectObject(dc, oldPen);
            SelectObject(dc, oldBrush);
            DeleteObject(p);
            DeleteObject(br);
        }
    } else if (widget->filled) {
        HBRUSH br = CreateSolidBrush(fill);
        RECT area{l, t, r, b};
        FillRect(dc, &area, br);
        DeleteObject(br);
    }
    // Cleared before drawing: a change from another thread while the widget
    // draws leaves it dirty for the next pass instead of being lost.
    widget->dirty.store(false, std::memory_order_relaxed);
    widget->draw(dc, pen, fill);
}

void QFGui::paint() {
    HWND window = asWindow(hwnd);
    if (!isOpen() || !window) return;
    PAINTSTRUCT ps{};
    HDC dc = BeginPaint(window, &ps);
    if (hasBackground) {
        HDC memory = CreateCompatibleDC(dc);
        HGDIOBJ previous = SelectObject(memory, static_cast<HBITMAP>(background));
        BITMAP bm{};
        GetObjectA(static_cast<HBITMAP>(background), sizeof(bm), &bm);
        BitBlt(dc, 0, 0, bm.bmWidth, bm.bmHeight, memory, 0, 0, SRCCOPY);
        SelectObject(memory, previous);
        DeleteDC(memory);
    } else {
        HBRUSH br = CreateSolidBrush(backColour);
        RECT area{clientRect.left, clientRect.top, clientRect.right, clientRect.bottom};
        FillRect(dc, &area, br);
        DeleteObject(br);
    }
    for (WidgetBase* w : widgets) {
        w->dirty.store(true, std::memory_order_relaxed);
        drawWidget(w, dc, penColour, fillColour);
    }
    EndPaint(window, &ps);
}

WidgetBase* QFGui::widgetAt(int px, int py) const {
    for (WidgetBase* w : widgets)
        if (w->x < px && px < w->x + w->width && w->y < py && py < w->y + w->height) return w;
    return nullptr;
}

void QFGui::mouseMove(int x, int y) {
    WidgetBase* p = widgetAt(x, y);
    if (captured) captured->onDrag(x, y);
    if (hover && p != hover) {
        // The widget now under the mouse is entered on a later move.
        hover->onMouseLeave(x, y);
        hover = nullptr;
    } else if (p && p != hover && (!captured || p == captured)) {
        p->onMouseEnter(x, y);
        hover = p;
    }
}

void QFGui::press(int button, int x, int y) {
    WidgetBase* p = widgetAt(x, y);
    if (!p) return;
    p->onMouseDown(button, x, y);
    captured = p;
    SetCapture(asWindow(hwnd));
}

void QFGui::endDrag(int x, int y) {
    WidgetBase* w = captured;
    captured = nullptr;
    w->onDragEnd(x, y);
}

void QFGui::release(int button, int x, int y) {
    WidgetBase* p = widgetAt(x, y);
    if (p && (!captured || p == captured)) p->onMouseUp(button, x, y);
    if (captured) {
        endDrag(x, y);
        // The capture-change message this causes finds nothing captured.
        ReleaseCapture();
    }
}

void QFGui::wheel(std::uintptr_t wParam, int x, int y) {
    POINT point{x, y};  // screen coordinates
    ScreenToClient(asWindow(hwnd), &point);
    WidgetBase* p = widgetAt(point.x, point.y);
    if (!p) return;
    const unsigned delta = static_cast<unsigned>((wParam >> 16) & 0xFFFF);
    p->onMouseWheel(delta == 120 ? 1 : -1);
}

std::intptr_t QFGui::handleMessage(unsigned message, std::uintptr_t wParam, std::intptr_t lParam) {
    HWND window = asWindow(hwnd);
    const int x = lowSigned(lParam);
    const int y = highSigned(lParam);
    switch (message) {
    case WM_PAINT:
        if (!isOpen() || !window) break;
        paint();
        return 0;
    case WM_MOUSEACTIVATE:
        SetFocus(window);
        return 0;
    case WM_MOUSEMOVE:
        mouseMove(x, y);
        redrawDirty();
        return 0;
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
        press(message == WM_LBUTTONDOWN ? 0 : 1, x, y);
        redrawDirty();
        return 0;
    case WM_LBUTTONUP:
    case WM_RBUTTONUP:
        release(message == WM_LBUTTONUP ? 0 : 1, x, y);
        redrawDirty();
        return 0;
    case WM_MOUSEWHEEL:
        wheel(wParam, x, y);
        redrawDirty();
        return 0;
    case WM_CAPTURECHANGED:
        // Losing the capture ends the drag as a release would. Taking it again
        // ourselves (a second press during a drag) is no loss, and a capture
        // that went to another window is not taken back from it.
        if (captured && reinterpret_cast<HWND>(lParam) != window) {
            endDrag(x, y);
            if (GetCapture() == window) ReleaseCapture();
            redrawDirty();
        }
        break;
    case WM_TIMER:
        if (wParam == kIdleTimer) {
            idle();
            return 0;
        }
        break;
    default:
        break;
    }
    return DefWindowProcA(window, message, static_cast<WPARAM>(wParam), static_cast<LPARAM>(lParam));
}
