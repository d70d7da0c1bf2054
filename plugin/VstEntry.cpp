// The library's entry points: the VST 2.4 main function under both of its
// exported names, and on Windows the load notification that keeps the module
// handle for the editor's window class and bitmaps. Here the plug-in object
// and, in builds that have a window layer, its editor are put together.
#include <memory>

#include "plugin/VSTPlug.h"

#if defined(HAMMERLYN2_HAS_EDITOR)
#include "editor/panel/MyGui.h"
#if defined(_WIN32)
#include "editor/interface/ModuleInstance.h"
#endif
#endif

#if defined(_WIN32)
#include <windows.h>
#define PLUGIN_EXPORT extern "C" __declspec(dllexport)
#else
#define PLUGIN_EXPORT extern "C" __attribute__((visibility("default")))
#endif

namespace {
AudioEffect* createEffectInstance(audioMasterCallback audioMaster) {
    try {
        auto plug = std::make_unique<VSTPlug>(audioMaster);
#if defined(HAMMERLYN2_HAS_EDITOR)
        plug->setEditor(new MyGui(plug.get()));
        plug->getEditor()->updateAllParameters();
#endif
        return plug.release();
    } catch (...) {  // out of memory while building the instance
        return nullptr;
    }
}
}  // namespace

PLUGIN_EXPORT HOST_ENTRY AEffect* VSTCALLBACK VSTPluginMain(audioMasterCallback audioMaster) {
    if (!audioMaster) return nullptr;
    if (audioMaster(nullptr, audioMasterVersion, 0, 0, nullptr, 0.0f) == 0) return nullptr;
    AudioEffect* effect = createEffectInstance(audioMaster);
    return effect ? effect->getAeffect() : nullptr;
}

#if defined(_WIN32)
// "main" is exported as a second name of VSTPluginMain through the .def file.
extern "C" HOST_ENTRY BOOL WINAPI DllMain(HINSTANCE instance, DWORD /*reason*/, LPVOID /*reserved*/) {
#if defined(HAMMERLYN2_HAS_EDITOR)
    moduleInstance = instance;
#endif
    return TRUE;
}
#else
// Old Linux hosts look the entry point up as "main".
extern "C" __attribute__((visibility("default"), alias("VSTPluginMain"))) AEffect* vstMainAlias(
    audioMasterCallback audioMaster) __asm__("main");
#endif
