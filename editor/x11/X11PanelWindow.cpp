#include "editor/x11/X11PanelWindow.h"

// Before Xlib, whose macros (None, KeyPress) would rename its members.
#include "editor/keys/NoteKeys.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <dlfcn.h>

#include <atomic>
#include <bit>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <vector>

#include "editor/drawing/PixelSurface.h"

namespace {

// The Xlib functions the window uses, looked up in libX11 opened at run time.
// The library stays loaded for the rest of the process: other editors may be
// using it, and Xlib does not support being unloaded.
struct Xlib {
    decltype(&::XOpenDisplay) OpenDisplay = nullptr;
    decltype(&::XCloseDisplay) CloseDisplay = nullptr;
    decltype(&::XCreateColormap) CreateColormap = nullptr;
    decltype(&::XFreeColormap) FreeColormap = nullptr;
    decltype(&::XCreateWindow) CreateWindow = nullptr;
    decltype(&::XDestroyWindow) DestroyWindow = nullptr;
    decltype(&::XMapWindow) MapWindow = nullptr;
    decltype(&::XSync) Sync = nullptr;
    decltype(&::XPending) Pending = nullptr;
    decltype(&::XNextEvent) NextEvent = nullptr;
    decltype(&::XCreateGC) CreateGC = nullptr;
    decltype(&::XFreeGC) FreeGC = nullptr;
    decltype(&::XCreateImage) CreateImage = nullptr;
    decltype(&::XPutImage) PutImage = nullptr;
    decltype(&::XCreatePixmap) CreatePixmap = nullptr;
    decltype(&::XFreePixmap) FreePixmap = nullptr;
    decltype(&::XSetWindowBackgroundPixmap) SetWindowBackgroundPixmap = nullptr;
    decltype(&::XCopyArea) CopyArea = nullptr;
    decltype(&::XSetErrorHandler) SetErrorHandler = nullptr;
    decltype(&::XSetIOErrorHandler) SetIOErrorHandler = nullptr;
    // libX11 1.7 and later: an I/O error handler of one display that need not exit.
    using IOErrorExitHandler = void (*)(Display*, void*);
    void (*SetIOErrorExitHandler)(Display*, IOErrorExitHandler, void*) = nullptr;
    decltype(&::XResourceManagerString) ResourceManagerString = nullptr;  // optional
    decltype(&::XMatchVisualInfo) MatchVisualInfo = nullptr;
    decltype(&::XResizeWindow) ResizeWindow = nullptr;          // optional
    decltype(&::XSetWMNormalHints) SetWMNormalHints = nullptr;  // optional
    // A window of its own (openTopLevel) only.
    decltype(&::XStoreName) StoreName = nullptr;
    decltype(&::XInternAtom) InternAtom = nullptr;
    decltype(&::XSetWMProtocols) SetWMProtocols = nullptr;
    decltype(&::XSetClassHint) SetClassHint = nullptr;
    bool loaded = false;
    bool topLevel = false;
};

template <typename F>
bool lookUp(void* library, const char* name, F& out) {
    out = reinterpret_cast<F>(dlsym(library, name));
    return out != nullptr;
}

const Xlib& xlib() {
    static Xlib x;
    static std::once_flag once;
    std::call_once(once, [] {
        void* library = dlopen("libX11.so.6", RTLD_NOW | RTLD_LOCAL);
        if (!library) library = dlopen("libX11.so", RTLD_NOW | RTLD_LOCAL);
        if (!library) return;
        x.loaded = lookUp(library, "XOpenDisplay", x.OpenDisplay) &&
                   lookUp(library, "XCloseDisplay", x.CloseDisplay) &&
                   lookUp(library, "XCreateColormap", x.CreateColormap) &&
                   lookUp(library, "XFreeColormap", x.FreeColormap) &&
                   lookUp(library, "XCreateWindow", x.CreateWindow) &&
                   lookUp(library, "XDestroyWindow", x.DestroyWindow) &&
                   lookUp(library, "XMapWindow", x.MapWindow) && lookUp(library, "XSync", x.Sync) &&
                   lookUp(library, "XPending", x.Pending) && lookUp(library, "XNextEvent", x.NextEvent) &&
                   lookUp(library, "XCreateGC", x.CreateGC) && lookUp(library, "XFreeGC", x.FreeGC) &&
                   lookUp(library, "XCreateImage", x.CreateImage) &&
                   lookUp(library, "XPutImage", x.PutImage) &&
                   lookUp(library, "XCreatePixmap", x.CreatePixmap) &&
                   lookUp(library, "XFreePixmap", x.FreePixmap) &&
                   lookUp(library, "XSetWindowBackgroundPixmap", x.SetWindowBackgroundPixmap) &&
                   lookUp(library, "XCopyArea", x.CopyArea) &&
                   lookUp(library, "XSetErrorHandler", x.SetErrorHandler) &&
                   lookUp(library, "XSetIOErrorHandler", x.SetIOErrorHandler) &&
                   lookUp(library, "XMatchVisualInfo", x.MatchVisualInfo);
        lookUp(library, "XSetIOErrorExitHandler", x.SetIOErrorExitHandler);  // optional
        lookUp(library, "XResourceManagerString", x.ResourceManagerString);  // optional
        lookUp(library, "XResizeWindow", x.ResizeWindow);                    // optional
        lookUp(library, "XSetWMNormalHints", x.SetWMNormalHints);            // optional
        x.topLevel = x.SetWMNormalHints && lookUp(library, "XStoreName", x.StoreName) &&
                     lookUp(library, "XInternAtom", x.InternAtom) &&
                     lookUp(library, "XSetWMProtocols", x.SetWMProtocols) &&
                     lookUp(library, "XSetClassHint", x.SetClassHint);
    });
    return x;
}

// Traps the X errors of one display while our requests run, and forwards the
// errors of any other display to the handler that was there before. The
// handlers are process-wide, so they are swapped only for the span of our own
// calls (ending with a round trip, so that every error of ours has arrived),
// one editor at a time, and restored afterwards. Nested traps on one thread
// share the outermost one. A broken connection of ours (the server gone) is
// an I/O error: Xlib's default handler would end the process, ours returns so
// that Xlib goes on to the display's own exit handler, which only marks the
// connection dead (libX11 1.7 and later; older ones exit regardless).
class ErrorTrap {
public:
    explicit ErrorTrap(Display* display) : display(display) {
        lock().lock();
        if (depth++ == 0) {
            trapped.store(display, std::memory_order_relaxed);
            previous.store(xlib().SetErrorHandler(&handler), std::memory_order_relaxed);
            if (xlib().SetIOErrorExitHandler)
                previousIO.store(xlib().SetIOErrorHandler(&ioHandler), std::memory_order_relaxed);
        }
    }
    ~ErrorTrap() {
        if (display) finish();
        lock().unlock();
    }
    ErrorTrap(const ErrorTrap&) = delete;
    ErrorTrap& operator=(const ErrorTrap&) = delete;

    // Waits for the server to answer everything sent so far; true when none of
    // it failed since the outermost trap began.
    bool sync() {
        xlib().Sync(display, False);
        return errors.load(std::memory_order_relaxed) == 0;
    }
    // Ends the trap early; without a round trip once the display is closed.
    void finish(bool roundTrip = true) {
        if (--depth == 0) {
            if (roundTrip) xlib().Sync(display, False);
            xlib().SetErrorHandler(previous.load(std::memory_order_relaxed));
            if (xlib().SetIOErrorExitHandler)
                xlib().SetIOErrorHandler(previousIO.load(std::memory_order_relaxed));
            previousIO.store(nullptr, std::memory_order_relaxed);
            trapped.store(nullptr, std::memory_order_relaxed);
            previous.store(nullptr, std::memory_order_relaxed);
            errors.store(0, std::memory_order_relaxed);
        }
        display = nullptr;
    }

private:
    // Also reached from other threads, for errors of the host's own displays.
    static int handler(Display* from, XErrorEvent* error) {
        if (from == trapped.load(std::memory_order_relaxed)) {
            errors.fetch_add(1, std::memory_order_relaxed);
            return 0;
        }
        const XErrorHandler forward = previous.load(std::memory_order_relaxed);
        return forward ? forward(from, error) : 0;
    }
    static int ioHandler(Display* from) {
        if (from == trapped.load(std::memory_order_relaxed)) return 0;
        const XIOErrorHandler forward = previousIO.load(std::memory_order_relaxed);
        return forward ? forward(from) : 0;
    }
    static std::recursive_mutex& lock() {
        static std::recursive_mutex m;
        return m;
    }

    Display* display;
    static inline std::atomic<Display*> trapped{nullptr};
    static inline std::atomic<XErrorHandler> previous{nullptr};
    static inline std::atomic<XIOErrorHandler> previousIO{nullptr};
    static inline std::atomic<int> errors{0};
    static inline int depth = 0;  // under the lock
};

constexpr long kEventMask = ExposureMask | ButtonPressMask | ButtonReleaseMask | PointerMotionMask |
                            EnterWindowMask | LeaveWindowMask | StructureNotifyMask;
// A window of its own also takes the keyboard.
constexpr long kTopLevelEventMask = kEventMask | KeyPressMask | KeyReleaseMask | FocusChangeMask;

int shiftOf(unsigned long mask) {
    int shift = 0;
    while (mask && !(mask & 1)) {
        mask >>= 1;
        ++shift;
    }
    return shift;
}

int bitsOf(unsigned long mask) {
    int bits = 0;
    for (mask >>= shiftOf(mask); mask & 1; mask >>= 1) ++bits;
    return bits;
}

}  // namespace

struct X11PanelWindow::Connection {
    Display* display = nullptr;
    // The host's child, filled with the panel's edge colour where the host
    // makes it larger than the panel, and inside it at (0, 0) the panel's own
    // window of the panel's size, whose background is the panel: a window's
    // background pixmap repeats over a larger window, and this one never grows.
    // The mouse's events pass from the panel's window up to the host's child.
    Window window = 0;
    Window panelWindow = 0;
    Colormap colormap = 0;
    Pixmap pixmap = 0;  // the panel, also the panel window's background
    GC gc = nullptr;
    XImage* image = nullptr;  // the panel's pixels in the server's format
    Visual* visual = nullptr;
    // The host's own unit in pixels: 2 for a GTK 3 host at GDK_SCALE=2. Such a
    // host reads the window's size hints in its units, and then sizes the
    // window by the same numbers in pixels: the window takes its size back.
    int hostScale = 1;
    Atom deleteWindow = 0;  // WM_DELETE_WINDOW, for a window of its own
    bool dead = false;  // the connection to the server broke

    ~Connection() { release(); }

    // Converts the rectangle of panel into the image.
    void convert(const PixelSurface& panel, int x0, int y0, int w, int h) {
        const unsigned long rm = visual->red_mask, gm = visual->green_mask, bm = visual->blue_mask;
        const bool direct =
            image->bits_per_pixel == 32 && rm == 0xFF0000 && gm == 0xFF00 && bm == 0xFF &&
            image->byte_order == (std::endian::native == std::endian::little ? LSBFirst : MSBFirst);
        for (int y = y0; y < y0 + h; ++y) {
            if (direct) {
                std::memcpy(image->data + static_cast<std::size_t>(y) * image->bytes_per_line + 4u * x0,
                            &panel.pixels[static_cast<std::size_t>(y) * panel.width + x0], 4u * w);
                continue;
            }
            for (int x = x0; x < x0 + w; ++x) {
                const std::uint32_t p = panel.at(x, y);
                auto channel = [](std::uint32_t v8, unsigned long mask) {
                    const int bits = bitsOf(mask);
                    const unsigned long v = bits >= 8 ? v8 << (bits - 8) : v8 >> (8 - bits);
                    return (v << shiftOf(mask)) & mask;
                };
                XPutPixel(
                    image, x, y,
                    channel((p >> 16) & 0xFF, rm) | channel((p >> 8) & 0xFF, gm) | channel(p & 0xFF, bm));
            }
        }
    }

    // Frees what the server holds for us and closes the connection.
    void release() {
        if (!display) return;
        const Xlib& x = xlib();
        // Closing a broken connection reports it broken once more: trapped too.
        ErrorTrap trap(display);
        if (!dead) {
            // The window may be gone with the host's: the error is trapped.
            if (window) x.DestroyWindow(display, window);  // the panel's window with it
            if (pixmap) x.FreePixmap(display, pixmap);
            if (colormap) x.FreeColormap(display, colormap);
        }
        // The GC is a record of the client's too: freed on a dead connection
        // all the same (Xlib sends nothing there).
        if (gc) x.FreeGC(display, gc);
        if (!dead) trap.sync();
        if (image) XDestroyImage(image);  // frees the pixel buffer too
        image = nullptr;
        window = 0;
        panelWindow = 0;
        gc = nullptr;
        pixmap = 0;
        colormap = 0;
        x.CloseDisplay(display);
        trap.finish(false);
        display = nullptr;
    }
};

namespace {

// A broken connection to the server: Xlib returns from its calls instead of
// ending the process, and the editor stops using the display.
void connectionBroken(Display*, void* data) { static_cast<X11PanelWindow::Connection*>(data)->dead = true; }

}  // namespace

X11PanelWindow::X11PanelWindow(PanelWindowEvents& events) : events(events) {}

X11PanelWindow::~X11PanelWindow() { close(); }

void* X11PanelWindow::handle() const {
    return x && x->window ? reinterpret_cast<void*>(static_cast<std::uintptr_t>(x->window)) : nullptr;
}

bool X11PanelWindow::open(void* parentHandle, const PixelSurface& panel) {
    const auto parent = static_cast<Window>(reinterpret_cast<std::uintptr_t>(parentHandle));
    if (!parent) {
        close();
        return false;
    }
    return openWindow(parent, nullptr, panel);
}

bool X11PanelWindow::openTopLevel(const char* title, const PixelSurface& panel) {
    if (!xlib().topLevel) {
        close();
        return false;
    }
    return openWindow(0, title ? title : "", panel);
}

bool X11PanelWindow::openWindow(unsigned long parentId, const char* title, const PixelSurface& panel) {
    close();
    const Xlib& lib = xlib();
    if (!lib.loaded || panel.width <= 0 || panel.height <= 0) return false;
    Display* display = lib.OpenDisplay(nullptr);  // $DISPLAY; none means no editor
    if (!display) return false;
    x = std::make_unique<Connection>();
    x->display = display;
    if (lib.SetIOErrorExitHandler) lib.SetIOErrorExitHandler(display, &connectionBroken, x.get());

    const int screen = DefaultScreen(display);
    const Window root = RootWindow(display, screen);
    const Window parent = title ? root : static_cast<Window>(parentId);
    // The panel's pixels go through a visual's colour masks: only a TrueColor
    // visual has them. Where the screen's default is another kind (an 8-bit
    // PseudoColor screen), the deepest TrueColor visual of up to 24 bits it
    // offers is taken; without one the panel does not open.
    x->visual = DefaultVisual(display, screen);
    int depth = DefaultDepth(display, screen);
    if (x->visual->c_class != TrueColor) {
        XVisualInfo found{};
        x->visual = nullptr;
        for (const int bits : {24, 16, 15, 12, 8})
            if (lib.MatchVisualInfo(display, screen, bits, TrueColor, &found)) {
                x->visual = found.visual;
                depth = found.depth;
                break;
            }
        if (!x->visual) {
            x.reset();
            return false;
        }
    }
    const auto w = static_cast<unsigned>(panel.width), h = static_cast<unsigned>(panel.height);
    bool ok = false;
    {
        ErrorTrap trap(display);
        x->image = lib.CreateImage(display, x->visual, static_cast<unsigned>(depth), ZPixmap, 0, nullptr, w,
                                   h, 32, 0);
        if (x->image) {
            x->image->data =
                static_cast<char*>(std::calloc(static_cast<std::size_t>(x->image->bytes_per_line), h));
            if (x->image->data) {
                x->convert(panel, 0, 0, panel.width, panel.height);
                // The panel is drawn into the background pixmap before the window
                // exists, so the server shows it from the first moment.
                x->pixmap = lib.CreatePixmap(display, root, w, h, static_cast<unsigned>(depth));
                x->gc = lib.CreateGC(display, x->pixmap, 0, nullptr);
                lib.PutImage(display, x->pixmap, x->gc, x->image, 0, 0, 0, 0, w, h);
                // The chosen visual with its own colormap and border pixel: a
                // parent of another depth or visual (ARGB) gives no BadMatch.
                x->colormap = lib.CreateColormap(display, root, x->visual, AllocNone);
                XSetWindowAttributes a{};
                a.colormap = x->colormap;
                a.border_pixel = 0;
                a.background_pixel = XGetPixel(x->image, panel.width - 1, panel.height - 1);
                a.event_mask = title ? kTopLevelEventMask : kEventMask;
                x->window = lib.CreateWindow(display, parent, 0, 0, w, h, 0, depth, InputOutput, x->visual,
                                             CWColormap | CWBorderPixel | CWBackPixel | CWEventMask, &a);
                if (title) nameTopLevel(&lib, title, w, h);
                a.background_pixmap = x->pixmap;
                x->panelWindow = lib.CreateWindow(display, x->window, 0, 0, w, h, 0, depth, InputOutput, x->visual,
                                                  CWColormap | CWBorderPixel | CWBackPixmap, &a);
                if (!title) x->hostScale = hostWindowUnit(reinterpret_cast<void*>(static_cast<std::uintptr_t>(parentId)));
                if (x->hostScale > 1 && lib.SetWMNormalHints) {
                    XSizeHints hints{};
                    hints.flags = PBaseSize;
                    hints.base_width = static_cast<int>(w) / x->hostScale;
                    hints.base_height = static_cast<int>(h) / x->hostScale;
                    lib.SetWMNormalHints(display, x->window, &hints);
                }
                lib.MapWindow(display, x->panelWindow);
                lib.MapWindow(display, x->window);
                ok = trap.sync() && !x->dead;  // created and shown before the host hears back
            }
        }
    }
    if (!ok) {
        x.reset();
        return false;
    }
    return true;
}

void X11PanelWindow::nameTopLevel(const void* library, const char* title, unsigned w, unsigned h) {
    const Xlib& lib = *static_cast<const Xlib*>(library);
    lib.StoreName(x->display, x->window, title);
    // Fixed to the panel's size: the window manager offers no resizing.
    XSizeHints hints{};
    hints.flags = PMinSize | PMaxSize | PBaseSize;
    hints.min_width = hints.max_width = hints.base_width = static_cast<int>(w);
    hints.min_height = hints.max_height = hints.base_height = static_cast<int>(h);
    lib.SetWMNormalHints(x->display, x->window, &hints);
    // The class names the application to desktops (the .desktop file's StartupWMClass).
    char name[] = "hammerlyn2", className[] = "Hammerlyn2";
    XClassHint classHint{name, className};
    lib.SetClassHint(x->display, x->window, &classHint);
    // The close button asks, through WM_DELETE_WINDOW, instead of killing the client.
    x->deleteWindow = lib.InternAtom(x->display, "WM_DELETE_WINDOW", False);
    lib.SetWMProtocols(x->display, x->window, &x->deleteWindow, 1);
}

void X11PanelWindow::setTitle(const char* title) {
    if (!x || !x->window || x->dead || !title) return;
    const Xlib& lib = xlib();
    ErrorTrap trap(x->display);
    lib.StoreName(x->display, x->window, title);
}

void X11PanelWindow::close() { x.reset(); }

void X11PanelWindow::present(const PixelSurface& panel, int px, int py, int w, int h) {
    if (!x || !x->window || x->dead || panel.width != x->image->width || panel.height != x->image->height)
        return;
    if (px < 0 || py < 0 || w <= 0 || h <= 0 || px + w > panel.width || py + h > panel.height) return;
    const Xlib& lib = xlib();
    ErrorTrap trap(x->display);
    x->convert(panel, px, py, w, h);
    lib.PutImage(x->display, x->pixmap, x->gc, x->image, px, py, px, py, static_cast<unsigned>(w),
                 static_cast<unsigned>(h));
    // Set again, as the server may have copied the pixmap when it was first set.
    lib.SetWindowBackgroundPixmap(x->display, x->panelWindow, x->pixmap);
    lib.CopyArea(x->display, x->pixmap, x->panelWindow, x->gc, px, py, static_cast<unsigned>(w),
                 static_cast<unsigned>(h), px, py);
}

void X11PanelWindow::processEvents() {
    if (!x || !x->window || x->dead) return;
    const Xlib& lib = xlib();
    // Read first, then handled without the trap held: the handlers reach the
    // host, which may do anything, even close the editor.
    std::vector<XEvent> queued;
    {
        ErrorTrap trap(x->display);
        while (!x->dead && lib.Pending(x->display) > 0) {
            queued.emplace_back();
            lib.NextEvent(x->display, &queued.back());
        }
    }
    for (std::size_t i = 0; i < queued.size(); ++i) {
        if (!x || !x->window) break;
        // A held key's auto-repeat comes as a release and a press at the same
        // moment: the key stays down, and only the press is passed on.
        const XEvent& e = queued[i];
        if (e.type == KeyRelease && i + 1 < queued.size() && queued[i + 1].type == KeyPress &&
            queued[i + 1].xkey.keycode == e.xkey.keycode && queued[i + 1].xkey.time == e.xkey.time)
            continue;
        dispatch(&e);
    }
}

void X11PanelWindow::dispatch(const void* raw) {
    const XEvent& e = *static_cast<const XEvent*>(raw);
    if (e.xany.window != x->window) return;
    switch (e.type) {
    case Expose:
        if (e.xexpose.count == 0) events.windowExposed();
        break;
    case ButtonPress:
        switch (e.xbutton.button) {
        case Button1:
            events.windowPress(0, e.xbutton.x, e.xbutton.y);
            break;
        case Button3:
            events.windowPress(1, e.xbutton.x, e.xbutton.y);
            break;
        case Button4:
            events.windowWheel(1, e.xbutton.x, e.xbutton.y);
            break;
        case Button5:
            events.windowWheel(-1, e.xbutton.x, e.xbutton.y);
            break;
        default:
            break;
        }
        break;
    case ButtonRelease:
        if (e.xbutton.button == Button1 || e.xbutton.button == Button3)
            events.windowRelease(e.xbutton.button == Button1 ? 0 : 1, e.xbutton.x, e.xbutton.y);
        break;
    case MotionNotify:
        events.windowMouseMove(e.xmotion.x, e.xmotion.y);
        break;
    case EnterNotify:
        events.windowMouseMove(e.xcrossing.x, e.xcrossing.y);
        break;
    case LeaveNotify:
        // Another client grabbing the pointer takes it from a drag.
        if (e.xcrossing.mode == NotifyGrab)
            events.windowCaptureLost();
        else
            events.windowMouseMove(e.xcrossing.x, e.xcrossing.y);
        break;
    case ConfigureNotify:
        if (x->hostScale > 1 && xlib().ResizeWindow &&
            (e.xconfigure.width < x->image->width || e.xconfigure.height < x->image->height)) {
            ErrorTrap trap(x->display);
            xlib().ResizeWindow(x->display, x->window, static_cast<unsigned>(x->image->width),
                                static_cast<unsigned>(x->image->height));
        }
        break;
    case KeyPress:
    case KeyRelease:
        // X11 key codes are Linux input codes plus 8, whatever the layout.
        events.windowKey(NoteKeys::keyFromEvdev(static_cast<int>(e.xkey.keycode) - 8), e.type == KeyPress);
        break;
    case FocusOut:
        events.windowKeysLost();
        break;
    case ClientMessage:
        if (x->deleteWindow && e.xclient.format == 32 &&
            static_cast<Atom>(e.xclient.data.l[0]) == x->deleteWindow)
            events.windowCloseRequested();
        break;
    case DestroyNotify:
        // Destroyed with the host's window: forget it, free the rest later.
        x->window = 0;
        events.windowDestroyed();
        break;
    default:
        break;
    }
}

namespace {

// The value of Xft.dpi in the X resources text, 0 without one.
double xftDpi(const char* resources) {
    static constexpr char kKey[] = "Xft.dpi:";
    for (const char* line = resources; line && *line;) {
        if (std::strncmp(line, kKey, sizeof kKey - 1) == 0) return std::atof(line + sizeof kKey - 1);
        line = std::strchr(line, '\n');
        if (line) ++line;
    }
    return 0;
}

}  // namespace

int systemPanelScale(void*) {
    // GDK_SCALE is the desktop's explicit factor; Xft.dpi its font density.
    if (const char* gdk = std::getenv("GDK_SCALE"); gdk && *gdk) {
        const int factor = std::atoi(gdk);
        if (factor >= 1) return factor >= 2 ? 2 : 1;
    }
    const Xlib& lib = xlib();
    if (!lib.loaded || !lib.ResourceManagerString) return 1;
    Display* display = lib.OpenDisplay(nullptr);
    if (!display) return 1;
    const double dpi = xftDpi(lib.ResourceManagerString(display));
    lib.CloseDisplay(display);
    return dpi >= 144 ? 2 : 1;
}

// A GTK 3 host in this process knows its window: GDK gives its scale.
int hostWindowUnit(void* parentHandle) {
    const auto parent = static_cast<Window>(reinterpret_cast<std::uintptr_t>(parentHandle));
    if (!parent) return 1;
    using DisplayDefault = void* (*)();
    using Lookup = void* (*)(void*, unsigned long);
    using ScaleOf = int (*)(void*);
    const auto display = reinterpret_cast<DisplayDefault>(dlsym(RTLD_DEFAULT, "gdk_display_get_default"));
    const auto lookup = reinterpret_cast<Lookup>(dlsym(RTLD_DEFAULT, "gdk_x11_window_lookup_for_display"));
    const auto scaleOf = reinterpret_cast<ScaleOf>(dlsym(RTLD_DEFAULT, "gdk_window_get_scale_factor"));
    void* gdkDisplay = display && lookup && scaleOf ? display() : nullptr;
    void* window = gdkDisplay ? lookup(gdkDisplay, parent) : nullptr;
    const int scale = window ? scaleOf(window) : 1;
    return scale > 1 ? scale : 1;
}

std::unique_ptr<PanelWindow> createPanelWindow(PanelWindowEvents& events) {
    return std::make_unique<X11PanelWindow>(events);
}
