#include "editor/widgets/QFGui.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "editor/drawing/PixelGlyphs.h"

std::atomic<int> QFGui::editorCount{0};

namespace {

// 0x00BBGGRR as the pixel surface stores it, 0x00RRGGBB.
std::uint32_t toPixel(ColourRef c) { return ((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF); }

// Menu metrics at scale 1: item height, text inset, separator height.
constexpr int kMenuItemHeight = 13;
constexpr int kMenuInset = 12;
constexpr int kMenuSeparator = 5;

void trim(std::string& text) {
    const auto first = text.find_first_not_of(' ');
    if (first == std::string::npos) {
        text.clear();
        return;
    }
    text = text.substr(first, text.find_last_not_of(' ') - first + 1);
}

// Sets the pixels of text at (x, y) in colour, clipped to [left, right).
void drawMask(PixelSurface& dst, const pixelfont::TextMask& mask, int x, int y, int left, int right,
              std::uint32_t colour) {
    for (int row = 0; row < mask.height; ++row)
        for (int col = 0; col < mask.width; ++col)
            if (mask.at(col, row) && x + col >= left && x + col < right && dst.contains(x + col, y + row))
                dst.at(x + col, y + row) = colour;
}

}  // namespace

QFGui::QFGui(EditorHost* effect, int panelWidth, int panelHeight)
    : AEffEditor(effect),
      baseWidth(panelWidth),
      baseHeight(panelHeight),
      rect{0, 0, static_cast<std::int16_t>(panelHeight), static_cast<std::int16_t>(panelWidth)},
      width(panelWidth),
      height(panelHeight),
      panelWindow(createPanelWindow(*this)),
      picture(panelWidth, panelHeight, toPixel(backColour)) {
    editorCount.fetch_add(1);
}

QFGui::~QFGui() {
    // The window goes first: its last events may still reach the widgets.
    close();
    panelWindow.reset();
    widgets.clear();
    hover = nullptr;
    captured = nullptr;
    editorCount.fetch_sub(1);
}

bool QFGui::getRect(EditorRect** out) {
    if (!out) return false;
    // Closed, the rectangle is the one the panel would open with.
    if (!windowOpen) applyScale(preferredScale(nullptr));
    *out = &rect;
    return true;
}

bool QFGui::applyScale(int s) {
    if (s != 1 && s != 2) return false;
    scale = s;
    width = baseWidth * s;
    height = baseHeight * s;
    rect = EditorRect{0, 0, static_cast<std::int16_t>(height), static_cast<std::int16_t>(width)};
    if (picture.width != width || picture.height != height)
        picture = PixelSurface(width, height, toPixel(backColour));
    return true;
}

int QFGui::preferredScale(void* parent) {
    if (userScale) return userScale;
    if (const int requested = hostScale.load(std::memory_order_relaxed)) return requested;
    if (parent) return systemPanelScale(parent);
    if (!screenScale) screenScale = systemPanelScale(nullptr);
    return screenScale;
}

void QFGui::setUserScale(int s) {
    if (s != 1 && s != 2) return;
    userScale = s;
    changeScale(s);
}

void QFGui::setScaleRequest(float factor) {
    const int requested = factor >= 1.5f ? 2 : 1;
    hostScale.store(requested, std::memory_order_relaxed);
    if (!userScale) changeScale(requested);
}

void QFGui::changeScale(int s) {
    if (s == scale) return;
    if (!windowOpen) {
        applyScale(s);
        return;
    }
    if (!onWindowThread()) return;  // taken up when the window next opens
    // Whatever the hand was doing ends with the old size.
    if (captured) {
        endDrag(0, 0);
        panelWindow->releaseMouse();
    }
    endGesture();
    closeMenu();
    hover = nullptr;
    wheeled = nullptr;
    shownReadout.clear();
    const int old = scale;
    if (!applyScale(s)) return;
    // The new rectangle is in force while the host asks for it.
    EditorHost* host = getEffect();
    void* const before = window();
    if (!host || !host->resizeEditor(width, height)) {
        if (!windowOpen) return;
        applyScale(old);
        paint();
        return;
    }
    // A host may close the editor, or close and open it again, while it
    // resizes: then there is nothing left to do.
    if (!windowOpen || window() != before) return;
    // The window is made again at the new size, in the same parent.
    void* parent = systemWindow;
    if (topLevel)
        openTopLevel(topLevelTitle.c_str());
    else
        open(parent);
}

void* QFGui::window() const { return panelWindow ? panelWindow->handle() : nullptr; }

bool QFGui::open(void* parent) {
    // Hosts may open twice without closing: the first window is not leaked.
    const bool ownWindow = topLevel;  // openTopLevel's, kept through the close
    close();
    topLevel = ownWindow;
    systemWindow = parent;  // open from here on, also while the window is created
    windowThread.store(std::this_thread::get_id(), std::memory_order_relaxed);
    if (!applyScale(preferredScale(parent))) applyScale(1);
    windowOpen = true;
    // The window shows the whole panel from its first moment where it can.
    for (const auto& w : widgets) w->dirty.store(true, std::memory_order_relaxed);
    compose();
    if (!(topLevel ? panelWindow->openTopLevel(topLevelTitle.c_str(), picture) : panelWindow->open(parent, picture))) {
        topLevel = false;
        windowOpen = false;
        systemWindow = nullptr;
        windowThread.store(std::thread::id(), std::memory_order_relaxed);
        return false;
    }
    return true;
}

void QFGui::setTopLevelTitle(const char* title) {
    if (!topLevel || !title || topLevelTitle == title) return;
    topLevelTitle = title;
    if (windowOpen) panelWindow->setTitle(title);
}

bool QFGui::openTopLevel(const char* title) {
    std::string name = title ? title : "";  // title may point into topLevelTitle
    close();
    topLevel = true;
    topLevelTitle = std::move(name);
    return open(nullptr);
}

void QFGui::close() {
    topLevel = false;
    // A drag in progress ends, and with it the host's gesture.
    if (captured) endDrag(0, 0);
    endGesture();
    menuOpen = false;
    shownReadout.clear();
    hover = nullptr;
    wheeled = nullptr;
    if (panelWindow) panelWindow->close();
    windowOpen = false;
    systemWindow = nullptr;
    windowThread.store(std::thread::id(), std::memory_order_relaxed);
}

bool QFGui::onWindowThread() const {
    const std::thread::id owner = windowThread.load(std::memory_order_relaxed);
    return owner != std::thread::id() && owner == std::this_thread::get_id();
}

bool QFGui::anyDirty() const {
    for (const auto& w : widgets)
        if (w->dirty.load(std::memory_order_relaxed)) return true;
    return false;
}

void QFGui::idle() {
    if (!onWindowThread() || !windowOpen) return;
    panelWindow->processEvents();
    if (anyDirty()) redrawDirty();
    updateReadout();  // follows automation of the parameter shown
}

void QFGui::updateParameter(int index, float value) {
    for (const auto& w : widgets)
        if (w->paramIndex == index && std::fabs(w->getValue() - value) > 0.0001f) w->setValue(value, false);
}

void QFGui::updateAllParameters() {
    EditorHost* host = getEffect();
    if (!host) return;
    for (const auto& w : widgets) w->setValue(host->parameterValue(w->paramIndex), false);
}

void QFGui::redrawDirty() {
    // Another thread (host automation, a state restore) leaves the widgets
    // dirty; the window's own thread draws them at its next paint or idle.
    if (!onWindowThread() || !windowOpen || !window()) return;
    if (menuOpen) return;  // drawn when the menu closes
    int left = width, top = height, right = 0, bottom = 0;
    for (const auto& w : widgets) {
        if (!w->dirty.load(std::memory_order_relaxed)) continue;
        left = std::min(left, w->x);
        top = std::min(top, w->y);
        right = std::max(right, w->x + w->width);
        bottom = std::max(bottom, w->y + w->height);
        drawWidget(w.get(), penColour, fillColour);
    }
    left = std::max(left, 0);
    top = std::max(top, 0);
    right = std::min(right, width);
    bottom = std::min(bottom, height);
    if (left < right && top < bottom) panelWindow->present(picture, left, top, right - left, bottom - top);
    updateReadout();
}

void QFGui::drawWidget(WidgetBase* widget, ColourRef pen, ColourRef fill) {
    if (!widget->dirty.load(std::memory_order_relaxed)) return;
    const int l = widget->x, t = widget->y, r = widget->x + widget->width, b = widget->y + widget->height;
    if (widget->filled) {
        if (widget->round)
            fillEllipse(picture, l, t, r, b, toPixel(pen), toPixel(fill));
        else
            fillPixels(picture, l, t, r, b, toPixel(fill));
    }
    // Cleared before drawing: a change from another thread while the widget
    // draws leaves it dirty for the next pass instead of being lost.
    widget->dirty.store(false, std::memory_order_relaxed);
    widget->draw(picture, pen, fill);
}

void QFGui::compose() {
    if (background)
        blitPixels(picture, 0, 0, width, height, *background, 0, 0, RasterOp::Copy);
    else
        fillPixels(picture, 0, 0, width, height, toPixel(backColour));
    for (const auto& w : widgets) {
        w->dirty.store(true, std::memory_order_relaxed);
        drawWidget(w.get(), penColour, fillColour);
    }
    if (!shownReadout.empty()) drawReadout();
    if (menuOpen) drawMenu();
}

void QFGui::presentScaled(int x, int y, int w, int h) {
    x *= scale;
    y *= scale;
    w *= scale;
    h *= scale;
    x = std::max(x, 0);
    y = std::max(y, 0);
    w = std::min(w, width - x);
    h = std::min(h, height - y);
    if (w > 0 && h > 0) panelWindow->present(picture, x, y, w, h);
}

void QFGui::drawReadout() {
    if (readoutWidth <= 0) return;
    const int l = readoutX * scale, t = readoutY * scale, w = readoutWidth * scale, h = readoutHeight * scale;
    // The strip as the background has it, then the text centred on it.
    if (background)
        blitPixels(picture, l, t, w, h, *background, l, t, RasterOp::Copy);
    else
        fillPixels(picture, l, t, l + w, t + h, toPixel(backColour));
    if (shownReadout.empty()) return;
    const pixelfont::TextMask mask = pixelfont::renderText(shownReadout, 1, scale);
    const int x = l + (w - mask.width) / 2;
    const int y = t + (h - pixelfont::kLineHeight * scale) / 2;
    drawMask(picture, mask, x, y, l, l + w, readoutColour);
}

void QFGui::updateReadout() {
    if (readoutWidth <= 0 || !windowOpen || !window() || !onWindowThread() || menuOpen) return;
    WidgetBase* w = captured ? captured : hover ? hover : wheeled;
    std::string text;
    EditorHost* host = getEffect();
    if (w && host) {
        char name[64] = {}, display[64] = {}, label[64] = {};
        host->parameterName(w->paramIndex, name);
        host->parameterDisplay(w->paramIndex, display);
        host->parameterLabel(w->paramIndex, label);
        std::string n = name, d = display, u = label;
        trim(n);
        trim(d);
        trim(u);
        text = n;
        if (!d.empty()) text += " " + d;
        if (!u.empty()) text += " " + u;
    }
    if (text == shownReadout) return;
    shownReadout = text;
    drawReadout();
    presentScaled(readoutX, readoutY, readoutWidth, readoutHeight);
}

std::vector<std::string> QFGui::menuItems() const {
    std::vector<std::string> items{"Size 100 %", "Size 200 %"};
    EditorHost* host = effect;
    const int programs = host ? host->programCount() : 0;
    if (programs > 0) items.emplace_back();
    for (int i = 0; i < programs; ++i) {
        char name[EditorHost::kProgramNameBytes + 1] = {};
        host->programName(i, name);
        items.emplace_back(name);
    }
    const int lines = host ? host->infoLineCount() : 0;
    if (lines > 0) items.emplace_back();
    for (int i = 0; i < lines; ++i) {
        char line[EditorHost::kInfoBytes + 1] = {};
        host->infoLine(i, line);
        items.emplace_back(line);
    }
    return items;
}

void QFGui::chooseMenuItem(int index) {
    if (index == 0 || index == 1) {
        setUserScale(index + 1);
        return;
    }
    EditorHost* host = getEffect();
    if (!host) return;
    // The sizes, a separator, the programs, a separator, the host's lines.
    const int programs = host->programCount();
    const int program = index - 3;
    if (index >= 3 && program < programs) host->selectProgram(program);
    const int line = index - (programs > 0 ? 4 + programs : 3);
    if (line >= 0 && line < host->infoLineCount()) host->chooseInfoLine(line);
}

int QFGui::menuItemAt(int x, int y) const {
    if (!menuOpen) return -1;
    const int s = scale;
    int top = menuY + 2 * s;
    int itemWidth = 0;
    for (const std::string& item : menuList) itemWidth = std::max(itemWidth, pixelfont::textWidth(item, 1));
    const int w = (itemWidth + 2 * kMenuInset) * s;
    if (x < menuX || x >= menuX + w) return -1;
    for (int i = 0; i < static_cast<int>(menuList.size()); ++i) {
        const int h = (menuList[i].empty() ? kMenuSeparator : kMenuItemHeight) * s;
        if (y >= top && y < top + h) return menuList[i].empty() ? -1 : i;
        top += h;
    }
    return -1;
}

void QFGui::drawMenu() {
    const int s = scale;
    const int program = effect ? effect->currentProgram() : -1;
    int itemWidth = 0, itemsHeight = 0;
    for (const std::string& item : menuList) {
        itemWidth = std::max(itemWidth, pixelfont::textWidth(item, 1));
        itemsHeight += item.empty() ? kMenuSeparator : kMenuItemHeight;
    }
    const int w = (itemWidth + 2 * kMenuInset) * s, h = (itemsHeight + 4) * s;
    fillPixels(picture, menuX, menuY, menuX + w, menuY + h, menuBorderColour);
    fillPixels(picture, menuX + s, menuY + s, menuX + w - s, menuY + h - s, menuGroundColour);
    int top = menuY + 2 * s;
    for (int i = 0; i < static_cast<int>(menuList.size()); ++i) {
        if (menuList[i].empty()) {
            const int mid = top + (kMenuSeparator / 2) * s;
            fillPixels(picture, menuX + 4 * s, mid, menuX + w - 4 * s, mid + s, menuBorderColour);
            top += kMenuSeparator * s;
            continue;
        }
        if (i == menuHot)
            fillPixels(picture, menuX + 2 * s, top, menuX + w - 2 * s, top + kMenuItemHeight * s, menuHotColour);
        // The size and the program in force are marked.
        if (i == scale - 1 || (i >= 3 && i - 3 == program))
            fillPixels(picture, menuX + 5 * s, top + 5 * s, menuX + 8 * s, top + 8 * s, menuMarkColour);
        const pixelfont::TextMask mask = pixelfont::renderText(menuList[i], 1, s);
        drawMask(picture, mask, menuX + kMenuInset * s, top + 3 * s, menuX, menuX + w - 2 * s, menuTextColour);
        top += kMenuItemHeight * s;
    }
}

void QFGui::openMenu(int x, int y) {
    if (menuOpen || !windowOpen) return;
    menuList = menuItems();
    menuOpen = true;
    menuHot = -1;
    // Kept inside the panel: moved left and up where it would overflow.
    int itemWidth = 0, itemsHeight = 0;
    for (const std::string& item : menuList) {
        itemWidth = std::max(itemWidth, pixelfont::textWidth(item, 1));
        itemsHeight += item.empty() ? kMenuSeparator : kMenuItemHeight;
    }
    const int w = (itemWidth + 2 * kMenuInset) * scale, h = (itemsHeight + 4) * scale;
    menuX = std::clamp(x, 0, std::max(0, width - w));
    menuY = std::clamp(y, 0, std::max(0, height - h));
    // The readout makes way for the menu.
    shownReadout.clear();
    paint();
}

void QFGui::closeMenu() {
    if (!menuOpen) return;
    menuOpen = false;
    menuList.clear();
    paint();
}

const PixelSurface& QFGui::render() {
    compose();
    return picture;
}

void QFGui::paint() {
    if (!windowOpen || !window()) return;
    compose();
    panelWindow->present(picture, 0, 0, width, height);
}

WidgetBase* QFGui::widgetAt(int px, int py) const {
    for (const auto& w : widgets)
        if (w->x < px && px < w->x + w->width && w->y < py && py < w->y + w->height) return w.get();
    return nullptr;
}

void QFGui::reportChange(WidgetBase* widget, float value) {
    EditorHost* host = getEffect();
    if (!host || !widget) return;
    const int index = widget->paramIndex;
    if (widget == captured) {
        // The first change of a press opens the gesture; the press's end closes it.
        if (gestureParam != index) {
            endGesture();
            host->beginGesture(index);
            gestureParam = index;
        }
        host->changeParameter(index, value);
    } else if (gestureParam == index) {
        host->changeParameter(index, value);  // already inside this parameter's gesture
    } else {
        host->beginGesture(index);
        host->changeParameter(index, value);
        host->endGesture(index);
    }
}

void QFGui::endGesture() {
    if (gestureParam < 0) return;
    const int index = gestureParam;
    gestureParam = -1;
    if (EditorHost* host = getEffect()) host->endGesture(index);
}

void QFGui::windowMouseMove(int x, int y) {
    if (menuOpen) {
        const int hot = menuItemAt(x, y);
        if (hot != menuHot) {
            menuHot = hot;
            compose();
            panelWindow->present(picture, 0, 0, width, height);
        }
        return;
    }
    WidgetBase* p = widgetAt(x, y);
    if (p != wheeled) wheeled = nullptr;
    if (captured) captured->onDrag(x, y);
    if (hover && p != hover) {
        // The widget now under the mouse is entered on a later move.
        hover->onMouseLeave(x, y);
        hover = nullptr;
    } else if (p && p != hover && (!captured || p == captured)) {
        p->onMouseEnter(x, y);
        hover = p;
    }
    redrawDirty();
}

void QFGui::windowPress(int button, int x, int y) {
    if (menuOpen) {
        // A press on an item chooses it; anywhere else it only closes the menu.
        const int item = menuItemAt(x, y);
        closeMenu();
        if (item >= 0) chooseMenuItem(item);
        return;
    }
    WidgetBase* p = widgetAt(x, y);
    if (!p && button == 1 && !captured) {
        // The right button on the background opens the panel's menu.
        const std::vector<std::string> items = menuItems();
        std::vector<const char*> texts;
        for (const std::string& item : items) texts.push_back(item.c_str());
        const int choice =
            panelWindow->popupMenu(texts.data(), static_cast<int>(texts.size()), scale - 1, x, y);
        if (choice == PanelWindow::kNoNativeMenu)
            openMenu(x, y);
        else if (choice >= 0)
            chooseMenuItem(choice);
        return;
    }
    if (p) {
        // Another press takes the capture: the gesture of the last one is over.
        endGesture();
        p->onMouseDown(button, x, y);
        captured = p;
        panelWindow->captureMouse();
    }
    redrawDirty();
}

void QFGui::endDrag(int x, int y) {
    WidgetBase* w = captured;
    captured = nullptr;
    if (w) w->onDragEnd(x, y);
    endGesture();
}

void QFGui::windowRelease(int button, int x, int y) {
    if (menuOpen) return;  // the release of the press that opened it
    WidgetBase* p = widgetAt(x, y);
    if (p && (!captured || p == captured)) p->onMouseUp(button, x, y);
    if (captured) {
        endDrag(x, y);
        panelWindow->releaseMouse();
    }
    redrawDirty();
}

void QFGui::windowWheel(int steps, int x, int y) {
    if (menuOpen) return;
    if (WidgetBase* p = widgetAt(x, y)) {
        wheeled = p;
        p->onMouseWheel(steps);
    }
    redrawDirty();
}

void QFGui::windowCaptureLost() {
    if (!captured) return;
    endDrag(0, 0);
    panelWindow->releaseMouse();
    redrawDirty();
}

void QFGui::windowExposed() { paint(); }

void QFGui::windowTick() { idle(); }

void QFGui::windowKey(int key, bool down) {
    if (EditorHost* host = getEffect()) host->panelKey(key, down);
}

void QFGui::windowKeysLost() {
    if (EditorHost* host = getEffect()) host->panelKeysLost();
}

void QFGui::windowCloseRequested() {
    if (EditorHost* host = getEffect()) host->panelCloseRequested();
}

void QFGui::windowDestroyed() {
    // Destroyed with the host's window: the drag ends, nothing is drawn again.
    windowOpen = false;
    if (captured) endDrag(0, 0);
    endGesture();
}
