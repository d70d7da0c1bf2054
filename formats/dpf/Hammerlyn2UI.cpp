// The panel in VST3 and CLAP hosts: DPF's external-UI mode with embedding hands
// over the host's parent window, and the project's own editor opens in it. The
// editor reaches the plug-in through EditorHost, which is translated here into
// DPF's parameter edits (with begin and end gestures); host changes move the knobs.
// The host's scale (VST3 content scale, CLAP set_scale) picks the panel's size;
// the panel's menu loads a factory program as sixteen recorded edits, so that
// formats without a program list (CLAP) reach every factory sound. The names
// listed are the factory names: the UI cannot see the instance's own bank, so a
// program renamed by the user shows under its factory name here.
#include <cstring>

#include "DistrhoUI.hpp"

#include "editor/interface/PanelWindow.h"
#include "editor/panel/MyGui.h"
#include "instrument/FactoryPrograms.h"
#include "instrument/ParameterTable.h"

#if defined(_WIN32)
#include <windows.h>

#include "editor/interface/ModuleInstance.h"
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
        // The host's scale, where it gave one before the UI was made (0 otherwise:
        // then the panel's own rules for the screen apply).
        const double requested = getNextScaleFactor();
        if (requested > 0.0) gui.setScaleRequest(static_cast<float>(requested));
        if (isEmbed()) gui.open(reinterpret_cast<void*>(getParentWindowHandle()));
        // The UI's size is the panel's size in force. The format layer is still
        // being built, so the size is taken without a request to the host.
        constructing = true;
        matchPanelSize();
        constructing = false;
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
    void programLoaded(uint32_t index) override {
        if (index < static_cast<uint32_t>(kProgramCount)) shownProgram = static_cast<int>(index);
    }
    void stateChanged(const char*, const char*) override {}
    void uiIdle() override { gui.idle(); }
    // The host's new scale (VST3 content scale, CLAP set_scale); the panel
    // resizes through resizeEditor while open.
    void uiScaleFactorChanged(double factor) override {
        if (factor > 0.0) gui.setScaleRequest(static_cast<float>(factor));
    }
    void sizeChanged(uint width, uint height) override {
        // While constructing, only the size is taken (the format layer reads it).
        if (!constructing) UI::sizeChanged(width, height);
    }

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
    // The format's resize request; false when the host refused it. DPF takes the
    // new size before asking; in CLAP a refusal puts the old size back
    // (cmake/dpf-patches/08), so the size after the request tells. VST3's
    // resize_view answer is not passed on by DPF: there a request counts as taken.
    bool resizeEditor(int width, int height) override {
        if (width <= 1 || height <= 1) return false;
        setSize(static_cast<uint>(width), static_cast<uint>(height));
        return getWidth() == static_cast<uint>(width) && getHeight() == static_cast<uint>(height);
    }
    int programCount() override { return kProgramCount; }
    void programName(int index, char* text) override {
        text[0] = 0;
        if (index < 0 || index >= kProgramCount) return;
        std::strncpy(text, kFactoryPrograms[index].name, kProgramNameBytes - 1);
        text[kProgramNameBytes - 1] = 0;
    }
    int currentProgram() override { return shownProgram; }
    // The program's values as edits the host records, each inside a gesture.
    void selectProgram(int index) override {
        if (index < 0 || index >= kProgramCount) return;
        for (int i = 0; i < kParameterCount; ++i) {
            const float value = ParameterMapping::clampUnit(kFactoryPrograms[index].params[i]);
            editParameter(static_cast<uint32_t>(i), true);
            values[i] = value;
            setParameterValue(static_cast<uint32_t>(i), value);
            editParameter(static_cast<uint32_t>(i), false);
        }
        shownProgram = index;
        gui.updateAllParameters();
        gui.redrawDirty();
    }

private:
    static bool valid(int index) { return index >= 0 && index < kParameterCount; }
    static constexpr int kProgramCount = 8;

    void matchPanelSize() {
        EditorRect* rect = nullptr;
        if (!gui.getRect(&rect) || !rect) return;
        const int w = rect->right - rect->left, h = rect->bottom - rect->top;
        if (w > 1 && h > 1) setSize(static_cast<uint>(w), static_cast<uint>(h));
    }

    bool moduleFound;
    bool constructing = false;
    int shownProgram = 0;
    float values[kParameterCount] = {};
    mutable MyGui gui;

    DISTRHO_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR(Hammerlyn2UI)
};

UI* createUI() { return new Hammerlyn2UI(); }

END_NAMESPACE_DISTRHO

unsigned hammerlyn2HostWindowUnit(std::uintptr_t parent) noexcept {
    return static_cast<unsigned>(hostWindowUnit(reinterpret_cast<void*>(parent)));
}
