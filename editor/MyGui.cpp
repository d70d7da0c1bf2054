#include "editor/MyGui.h"

#include "editor/PanelLayout.h"
#include "editor/Win32Api.h"
#include "editor/bitmapknob.h"

namespace {

HBITMAP loadPanelBitmap(void* instance, int id) {
    return LoadBitmapA(static_cast<HINSTANCE>(instance), MAKEINTRESOURCEA(id));
}

}  // namespace

MyGui::MyGui(EditorHost* effect) : QFGui(effect) {
    backgroundBitmap = loadPanelBitmap(instance, panel::kBackgroundBitmapId);
    knobStrip = loadPanelBitmap(instance, panel::kStripBitmapId);
    knobMask = loadPanelBitmap(instance, panel::kMaskBitmapId);
    background = backgroundBitmap;
    hasBackground = backgroundBitmap != nullptr;

    // Without the strip and the mask there is nothing to draw a knob with.
    if (!knobStrip || !knobMask) return;
    for (const panel::Knob& k : panel::kKnobs) {
        auto* knob = new bitmapknob(k.x, k.y, k.snapRange, k.snapPoint, knobStrip, knobMask);
        knob->paramIndex = k.paramIndex;
        knob->owner = this;
        knob->automate = true;
        addWidget(knob);
    }
}

MyGui::~MyGui() {
    // The window goes before the bitmaps it draws with.
    if (isOpen()) close();
    if (backgroundBitmap) DeleteObject(static_cast<HBITMAP>(backgroundBitmap));
    if (knobStrip) DeleteObject(static_cast<HBITMAP>(knobStrip));
    if (knobMask) DeleteObject(static_cast<HBITMAP>(knobMask));
}
