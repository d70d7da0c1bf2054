// The instrument's panel: the background picture and sixteen knobs, one per
// parameter, bound to the plug-in in both directions.
#pragma once

#include "editor/QFGui.h"

class MyGui : public QFGui {
public:
    // Loads the panel's bitmaps from the module and places the knobs; the
    // window itself is created only when the host opens the editor.
    explicit MyGui(EditorHost* effect);
    ~MyGui() override;

private:
    BitmapHandle backgroundBitmap = nullptr;  // owned HBITMAPs, null if loading failed
    BitmapHandle knobStrip = nullptr;
    BitmapHandle knobMask = nullptr;
};
