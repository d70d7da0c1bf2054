// The instrument's panel: the background picture and sixteen knobs, one per
// parameter, bound to the plug-in in both directions.
#pragma once

#include "editor/PixelSurface.h"
#include "editor/QFGui.h"

class MyGui : public QFGui {
public:
    // Decodes the panel's bitmaps built into the module and places the knobs;
    // the window itself is created only when the host opens the editor.
    explicit MyGui(EditorHost* effect);
    ~MyGui() override;

private:
    // Empty where a bitmap could not be decoded.
    PixelSurface backgroundBitmap;
    PixelSurface knobStrip;
    PixelSurface knobMask;
};
