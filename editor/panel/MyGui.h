// The instrument's panel: the background picture and sixteen knobs, one per
// parameter, bound to the plug-in in both directions, at 1x or 2x, with the
// value readout under the subtitle.
#pragma once

#include "editor/drawing/PixelSurface.h"
#include "editor/widgets/QFGui.h"

class MyGui : public QFGui {
public:
    // Decodes the panel's bitmaps built into the module and places the knobs;
    // the window itself is created only when the host opens the editor.
    explicit MyGui(EditorHost* effect);
    ~MyGui() override;

protected:
    // Chooses the bitmaps of scale s and places the knobs; false where the
    // bitmaps of that scale are missing.
    bool applyScale(int s) override;

private:
    // Empty where a bitmap could not be decoded; the 2x ones are decoded when first needed.
    PixelSurface backgroundBitmap;
    PixelSurface knobStrip;
    PixelSurface knobMask;
    PixelSurface backgroundBitmap2x;
    PixelSurface knobStrip2x;
    PixelSurface knobMask2x;
    bool decoded2x = false;
};
