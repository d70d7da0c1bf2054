#include "editor/MyGui.h"

#include "editor/EmbeddedBitmaps.h"
#include "editor/PanelLayout.h"
#include "editor/bitmapknob.h"

namespace {

// The panel bitmap with resource number id, empty if it is missing or unreadable.
PixelSurface loadPanelBitmap(int id) {
    PixelSurface out;
    if (const EmbeddedBitmap* bmp = findEmbeddedBitmap(id)) decodeBmp(bmp->data, bmp->size, out);
    return out;
}

}  // namespace

MyGui::MyGui(EditorHost* effect)
    : QFGui(effect),
      backgroundBitmap(loadPanelBitmap(panel::kBackgroundBitmapId)),
      knobStrip(loadPanelBitmap(panel::kStripBitmapId)),
      knobMask(loadPanelBitmap(panel::kMaskBitmapId)) {
    if (!backgroundBitmap.pixels.empty()) background = &backgroundBitmap;

    // Without the strip and the mask there is nothing to draw a knob with.
    if (knobStrip.pixels.empty() || knobMask.pixels.empty()) return;
    for (const panel::Knob& k : panel::kKnobs) {
        auto* knob = new bitmapknob(k.x, k.y, k.snapRange, k.snapPoint, &knobStrip, &knobMask);
        knob->paramIndex = k.paramIndex;
        knob->owner = this;
        knob->automate = true;
        addWidget(knob);
    }
}

MyGui::~MyGui() {
    // The window goes before the bitmaps it draws with.
    close();
}
