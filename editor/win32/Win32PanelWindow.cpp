#include "editor/win32/Win32PanelWindow.h"

#include <cstdint>
#include <mutex>

#include "editor/drawing/PixelSurface.h"
#include "editor/interface/ModuleInstance.h"
#include "editor/keys/NoteKeys.h"
#include "editor/win32/Win32Api.h"

void* moduleInstance = nullptr;

std::atomic<int> Win32PanelWindow::objectCount{0};

namespace {

// Serialises the class's registration with the count of objects, so that a
// window object created while the last other one is destroyed keeps its class.
std::mutex& classLock() {
    static std::mutex lock;
    return lock;
}

// Window timer that lets the editor draw what other threads changed.
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
class Win32WindowProc {
public:
    WINDOW_ENTRY static LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        auto* self = reinterpret_cast<Win32PanelWindow*>(GetWindowLongPtrA(window, GWLP_USERDATA));
        // Messages sent while the window is created, before it knows its owner.
        if (!self) return DefWindowProcA(window, message, wParam, lParam);
        if (message == WM_NCDESTROY) {
            // The window is gone, whether the editor closed it or the host
            // destroyed its parent first: never touch the handle again.
            SetWindowLongPtrA(window, GWLP_USERDATA, 0);
            if (self->hwnd == window) {
                self->hwnd = nullptr;
                self->events.windowDestroyed();
            }
            return DefWindowProcA(window, message, wParam, lParam);
        }
        return self->handleMessage(message, wParam, lParam);
    }
};

Win32PanelWindow::Win32PanelWindow(PanelWindowEvents& events) : events(events), instance(moduleInstance) {
    std::lock_guard<std::mutex> guard(classLock());
    WNDCLASSA wc{};
    wc.style = 0;  // no double clicks, no private DC
    wc.lpfnWndProc = &Win32WindowProc::windowProc;
    wc.hInstance = static_cast<HINSTANCE>(instance);
    wc.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512));  // IDC_ARROW
    wc.hbrBackground = nullptr;  // nothing erased: the panel covers the whole window
    wc.lpszClassName = kClassName;
    WNDCLASSA existing;
    if (!GetClassInfoA(static_cast<HINSTANCE>(instance), kClassName, &existing)) RegisterClassA(&wc);
    objectCount.fetch_add(1);
}

Win32PanelWindow::~Win32PanelWindow() {
    close();
    std::lock_guard<std::mutex> guard(classLock());
    if (objectCount.fetch_sub(1) - 1 < 1) UnregisterClassA(kClassName, static_cast<HINSTANCE>(instance));
}

bool Win32PanelWindow::open(void* parent, const PixelSurface& panel) {
    close();
    // The panel is shown at the first paint message.
    HWND window = CreateWindowExA(0, kClassName, nullptr, WS_CHILD, 0, 0, panel.width, panel.height,
                                  asWindow(parent), nullptr, static_cast<HINSTANCE>(instance), nullptr);
    if (!window) return false;
    hwnd = window;
    SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    SetTimer(window, kIdleTimer, kIdleMilliseconds, nullptr);
    ShowWindow(window, SW_SHOW);
    return true;
}

bool Win32PanelWindow::openTopLevel(const char* title, const PixelSurface& panel) {
    close();
    // The outer size that gives the panel's size inside the frame; no sizing
    // border, no maximise button: the window keeps the panel's size.
    constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
    RECT outer{0, 0, panel.width, panel.height};
    AdjustWindowRectEx(&outer, kStyle, FALSE, 0);
    HWND window = CreateWindowExA(0, kClassName, title ? title : "", kStyle, CW_USEDEFAULT, CW_USEDEFAULT,
                                  outer.right - outer.left, outer.bottom - outer.top, nullptr, nullptr,
                                  static_cast<HINSTANCE>(instance), nullptr);
    if (!window) return false;
    hwnd = window;
    topLevel = true;
    SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    SetTimer(window, kIdleTimer, kIdleMilliseconds, nullptr);
    ShowWindow(window, SW_SHOW);
    SetFocus(window);
    return true;
}

void Win32PanelWindow::processEvents() {
    // A window of its own has no host to run the thread's messages.
    // Not again from inside a message (the idle timer reaches here too).
    if (!topLevel || pumping) return;
    pumping = true;
    MSG msg;
    while (hwnd && PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    pumping = false;
}

void Win32PanelWindow::close() {
    topLevel = false;
    // Destroying the window ends any drag (the capture is lost) and tells the
    // editor through windowDestroyed.
    if (hwnd) DestroyWindow(asWindow(hwnd));
    hwnd = nullptr;
}

void Win32PanelWindow::present(const PixelSurface& panel, int, int, int, int) {
    // The whole panel in one call: a top-down 32-bit image leaves no doubt
    // about which rows SetDIBitsToDevice takes, and 512 x 272 is cheap.
    HWND window = asWindow(hwnd);
    if (!window || panel.pixels.empty()) return;
    HDC dc = paintDc ? static_cast<HDC>(paintDc) : GetDC(window);
    if (!dc) return;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = panel.width;
    info.bmiHeader.biHeight = -panel.height;  // rows top to bottom
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    SetDIBitsToDevice(dc, 0, 0, static_cast<DWORD>(panel.width), static_cast<DWORD>(panel.height), 0, 0, 0,
                      static_cast<UINT>(panel.height), panel.pixels.data(), &info, DIB_RGB_COLORS);
    // A window the host made larger than the panel shows the panel once and
    // the panel's edge colour around it.
    if (paintDc && (paintRight > panel.width || paintBottom > panel.height)) {
        const std::uint32_t edge = panel.pixels.back();
        HBRUSH brush = CreateSolidBrush(RGB((edge >> 16) & 0xFF, (edge >> 8) & 0xFF, edge & 0xFF));
        const RECT right{panel.width, 0, paintRight, paintBottom}, below{0, panel.height, panel.width, paintBottom};
        if (paintRight > panel.width) FillRect(dc, &right, brush);
        if (paintBottom > panel.height) FillRect(dc, &below, brush);
        DeleteObject(brush);
    }
    if (!paintDc) ReleaseDC(window, dc);
}

void Win32PanelWindow::captureMouse() {
    if (hwnd) SetCapture(asWindow(hwnd));
}

void Win32PanelWindow::releaseMouse() {
    // The capture-change message this causes finds no drag left to end.
    if (hwnd && GetCapture() == asWindow(hwnd)) ReleaseCapture();
}

std::intptr_t Win32PanelWindow::handleMessage(unsigned message, std::uintptr_t wParam, std::intptr_t lParam) {
    HWND window = asWindow(hwnd);
    const int x = lowSigned(lParam);
    const int y = highSigned(lParam);
    switch (message) {
    case WM_PAINT: {
        if (!window) break;
        PAINTSTRUCT ps{};
        paintDc = BeginPaint(window, &ps);
        paintRight = ps.rcPaint.right;
        paintBottom = ps.rcPaint.bottom;
        events.windowExposed();
        paintDc = nullptr;
        EndPaint(window, &ps);
        return 0;
    }
    case WM_MOUSEACTIVATE:
        SetFocus(window);
        return 0;
    // A window of its own: the keyboard by scan code (the key's position,
    // whatever the layout), its loss, and the close button.
    case WM_KEYDOWN:
    case WM_KEYUP:
    case WM_SYSKEYDOWN:
    case WM_SYSKEYUP:
        if (!topLevel) break;
        {
            const int scan = static_cast<int>((lParam >> 16) & 0xFF) | ((lParam >> 24) & 1 ? 0xE000 : 0);
            events.windowKey(NoteKeys::keyFromScanCode(scan),
                             message == WM_KEYDOWN || message == WM_SYSKEYDOWN);
        }
        if (message == WM_KEYDOWN || message == WM_KEYUP) return 0;
        break;  // Alt+F4 and the system menu keys go on
    case WM_KILLFOCUS:
        if (topLevel) events.windowKeysLost();
        break;
    case WM_CLOSE:
        if (!topLevel) break;
        events.windowCloseRequested();  // the application decides
        return 0;
    case WM_MOUSEMOVE:
        // Asked once per visit: the pointer leaving the window is reported,
        // so that what shows for the widget under it (the readout) goes too.
        if (!trackingLeave) {
            TRACKMOUSEEVENT track{sizeof(TRACKMOUSEEVENT), TME_LEAVE, window, 0};
            trackingLeave = TrackMouseEvent(&track) != 0;
        }
        events.windowMouseMove(x, y);
        return 0;
    case WM_MOUSELEAVE:
        trackingLeave = false;
        // A drag goes on under the capture; otherwise the pointer is nowhere on the panel.
        if (GetCapture() != window) events.windowMouseMove(-1, -1);
        return 0;
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
        events.windowPress(message == WM_LBUTTONDOWN ? 0 : 1, x, y);
        return 0;
    case WM_LBUTTONUP:
    case WM_RBUTTONUP:
        events.windowRelease(message == WM_LBUTTONUP ? 0 : 1, x, y);
        return 0;
    case WM_MOUSEWHEEL: {
        POINT point{x, y};  // screen coordinates
        ScreenToClient(window, &point);
        const unsigned delta = static_cast<unsigned>((wParam >> 16) & 0xFFFF);
        events.windowWheel(delta == 120 ? 1 : -1, point.x, point.y);
        return 0;
    }
    case WM_CAPTURECHANGED:
        // Losing the capture ends a drag as a release would. Taking it again
        // ourselves (a second press during a drag) is no loss, and a capture
        // that went to another window is not taken back from it.
        if (reinterpret_cast<HWND>(lParam) != window) events.windowCaptureLost();
        break;
    case WM_TIMER:
        if (wParam == kIdleTimer) {
            events.windowTick();
            return 0;
        }
        break;
    default:
        break;
    }
    return DefWindowProcA(window, message, static_cast<WPARAM>(wParam), static_cast<LPARAM>(lParam));
}

int Win32PanelWindow::popupMenu(const char* const* items, int count, int checked, int x, int y) {
    HWND window = asWindow(hwnd);
    if (!window) return -1;
    // Where no menu can be made, the editor draws its own.
    HMENU menu = CreatePopupMenu();
    if (!menu) return kNoNativeMenu;
    // Command ids are the item indices plus one: 0 means nothing was chosen.
    for (int i = 0; i < count; ++i) {
        if (!items[i][0])
            AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
        else
            AppendMenuA(menu, MF_STRING | (i == checked ? MF_CHECKED : MF_UNCHECKED),
                        static_cast<UINT_PTR>(i + 1), items[i]);
    }
    POINT point{x, y};
    ClientToScreen(window, &point);
    const BOOL chosen =
        TrackPopupMenu(menu, TPM_RETURNCMD | TPM_NONOTIFY | TPM_RIGHTBUTTON | TPM_LEFTALIGN | TPM_TOPALIGN,
                       point.x, point.y, 0, window, nullptr);
    DestroyMenu(menu);
    return chosen > 0 ? static_cast<int>(chosen) - 1 : -1;
}

int hostWindowUnit(void*) { return 1; }

int systemPanelScale(void* parent) {
    // GetDpiForWindow exists from Windows 10 1607 on: looked up, not linked.
    // A host that is not DPI aware gets 96 from it (the system enlarges its
    // windows itself), so such a host is not given 2x on top.
    UINT dpi = 0;
    if (parent) {
        if (HMODULE user = GetModuleHandleA("user32.dll")) {
            using DpiForWindow = UINT(WINAPI*)(HWND);
            const auto address = reinterpret_cast<void (*)()>(GetProcAddress(user, "GetDpiForWindow"));
            if (address) dpi = reinterpret_cast<DpiForWindow>(address)(asWindow(parent));
        }
    }
    if (!dpi) {
        // The system DPI, as the process sees it.
        if (HDC screen = GetDC(nullptr)) {
            dpi = static_cast<UINT>(GetDeviceCaps(screen, LOGPIXELSY));
            ReleaseDC(nullptr, screen);
        }
    }
    return dpi >= 144 ? 2 : 1;
}

std::unique_ptr<PanelWindow> createPanelWindow(PanelWindowEvents& events) {
    return std::make_unique<Win32PanelWindow>(events);
}
