#include "editor/panel/MyGui.h"

#include <iterator>
#include <memory>

#include "editor/panel/EmbeddedBitmaps.h"
#include "editor/panel/PanelLayout.h"
#include "editor/widgets/bitmapknob.h"

namespace {

// The panel bitmap with resource number id, empty if it is missing or unreadable.
PixelSurface loadPanelBitmap(int id) {
    PixelSurface out;
    if (const EmbeddedBitmap* bmp = findEmbeddedBitmap(id)) decodeBmp(bmp->data, bmp->size, out);
    return out;
}

}  // namespace

MyGui::MyGui(EditorHost* effect)
    : QFGui(effect, panel::kWidth, panel::kHeight),
      backgroundBitmap(loadPanelBitmap(panel::kBackgroundBitmapId)),
      knobStrip(loadPanelBitmap(panel::kStripBitmapId)),
      knobMask(loadPanelBitmap(panel::kMaskBitmapId)) {
    if (!backgroundBitmap.pixels.empty()) background = &backgroundBitmap;
    readoutX = panel::kReadoutX;
    readoutY = panel::kReadoutY;
    readoutWidth = panel::kReadoutWidth;
    readoutHeight = panel::kReadoutHeight;
    readoutColour = panel::kReadoutColour;
    menuGroundColour = panel::kMenuGround;
    menuBorderColour = panel::kMenuBorder;
    menuHotColour = panel::kMenuHot;
    menuTextColour = panel::kMenuText;
    menuMarkColour = panel::kMenuMark;

    // Without the strip and the mask there is nothing to draw a knob with.
    if (knobStrip.pixels.empty() || knobMask.pixels.empty()) return;
    for (const panel::Knob& k : panel::kKnobs) {
        bitmapknob* knob = addWidget(
            std::make_unique<bitmapknob>(k.x, k.y, panel::kKnobSize, k.snapRange, k.snapPoint, &knobStrip, &knobMask));
        knob->paramIndex = k.paramIndex;
        knob->owner = this;
        knob->automate = true;
    }
}

bool MyGui::applyScale(int s) {
    if (s == 2 && !decoded2x) {
        backgroundBitmap2x = loadPanelBitmap(panel::kBackgroundBitmap2xId);
        knobStrip2x = loadPanelBitmap(panel::kStripBitmap2xId);
        knobMask2x = loadPanelBitmap(panel::kMaskBitmap2xId);
        decoded2x = true;
    }
    const PixelSurface& back = s == 2 ? backgroundBitmap2x : backgroundBitmap;
    const PixelSurface& strip = s == 2 ? knobStrip2x : knobStrip;
    const PixelSurface& mask = s == 2 ? knobMask2x : knobMask;
    // Only the full set of a size's bitmaps, each of its size, shows that size.
    if (s == 2 && (back.width != panel::kWidth * 2 || strip.width != panel::kKnobSize * 2 ||
                   mask.width != panel::kKnobSize * 2))
        return false;
    if (!QFGui::applyScale(s)) return false;
    background = back.pixels.empty() ? nullptr : &back;
    const auto& knobs = widgetList();
    for (std::size_t i = 0; i < knobs.size() && i < std::size(panel::kKnobs); ++i)
        static_cast<bitmapknob*>(knobs[i].get())->setScale(s, panel::kKnobs[i].x * s, panel::kKnobs[i].y * s,
                                                     &strip, &mask);
    return true;
}

MyGui::~MyGui() {
    // The window goes before the bitmaps it draws with.
    close();
}
