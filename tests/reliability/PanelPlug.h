// The plug-in object put together in this process as the module's entry point
// does where the build has a window layer: with its panel attached. Linux
// builds attach the panel over the tests' in-memory window layer.
#pragma once

#include "editor/panel/MyGui.h"
#include "plugin/VSTPlug.h"

inline VSTPlug* newPlugWithPanel(audioMasterCallback host) {
    auto* plug = new VSTPlug(host);
    plug->setEditor(new MyGui(plug));
    plug->getEditor()->updateAllParameters();
    return plug;
}
