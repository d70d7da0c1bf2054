// The panel in VST3 and CLAP hosts: DPF's external-UI mode with embedding hands
// over the host's parent window, and the project's own editor opens in it. The
// editor reaches the plug-in through EditorHost, which is translated here into
// DPF's parameter edits (with begin and end gestures); host changes move the knobs.
#include "DistrhoUI.hpp"

#include "editor/MyGui.h"
#include "instrument/FactoryPrograms.h"
#include "instrument/ParameterTable.h"

#if defined(_WIN32)
#include <windows.h>

#include "editor/ModuleInstance.h"
#endif

START_NAMESPACE_DISTRHO

namespace {

// On Windows the editor registers its window class with the handle of the
// module it lives in; this module has no load notification of its own.
bool findModuleInstance() {
#if defined(_WIN32)
    if (!moduleInstance) {
        HMODULE module = nullptr;
        if (GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                               reinterpret_cast<LPCSTR>(&findModuleInstance), &module))
            moduleInstance = module;
    }
    return moduleInstance != nullptr;
#else
    return true;
#endif
}

}  // namespace

class Hammerlyn2UI : public UI, public EditorHost {
public:
    Hammerlyn2UI() : UI(512, 272), moduleFound(findModuleInstance()), gui(this) {
        // Program 0 until the host sends the instance's values.
        for (int i = 0; i < kParameterCount; ++i) values[i] = kFactoryPrograms[0].params[i];
        gui.updateAllParameters();
        EditorRect* rect = nullptr;
        if (gui.getRect(&rect) && rect) setSize(rect->right - rect->left, rect->bottom - rect->top);
        if (isEmbed()) gui.open(reinterpret_cast<void*>(getParentWindowHandle()));
    }

    ~Hammerlyn2UI() override { gui.close(); }

protected:
    uintptr_t getNativeWindowHandle() const noexcept override { return reinterpret_cast<uintptr_t>(gui.window()); }

    void parameterChanged(uint32_t index, float value) override {
        if (index >= static_cast<uint32_t>(kParameterCount)) return;
        values[index] = ParameterMapping::clampUnit(value);
        gui.updateParameter(static_cast<int>(index), values[index]);
        gui.redrawDirty();
    }
    void programLoaded(uint32_t) override {}
    void stateChanged(const char*, const char*) override {}
    void uiIdle() override { gui.idle(); }

    // EditorHost.
    float parameterValue(int index) override { return valid(index) ? values[index] : 0.0f; }
    void parameterName(int index, char* text) override { formatParameterName(index, text); }
    void parameterDisplay(int index, char* text) override { formatParameterDisplay(index, parameterValue(index), text); }
    void parameterLabel(int index, char* text) override { formatParameterLabel(index, parameterValue(index), text); }
    void changeParameter(int index, float value) override {
        if (!valid(index)) return;
        values[index] = ParameterMapping::clampUnit(value);
        setParameterValue(static_cast<uint32_t>(index), values[index]);
    }
    void beginGesture(int index) override {
        if (valid(index)) editParameter(static_cast<uint32_t>(index), true);
    }
    void endGesture(int index) override {
        if (valid(index)) editParameter(static_cast<uint32_t>(index), false);
    }
    bool resizeEditor(int width, int height) override {
        if (width <= 0 || height <= 0) return false;
        setSize(static_cast<uint>(width), static_cast<uint>(height));
        return true;
    }

private:
    static bool valid(int index) { return index >= 0 && index < kParameterCount; }

    bool moduleFound;
    float values[kParameterCount] = {};
    mutable MyGui gui;

    DISTRHO_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR(Hammerlyn2UI)
};

UI* createUI() { return new Hammerlyn2UI(); }

END_NAMESPACE_DISTRHO
