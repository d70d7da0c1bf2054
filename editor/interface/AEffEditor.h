// The editor contract between a plug-in and its host: the host asks for the
// editor's size, opens it into a parent window, idles and closes it, and the
// plug-in tells it when parameters change behind its back. The base answers
// every request with a harmless default.
#pragma once

#include <cstdint>

#include "editor/interface/EditorHost.h"

// The editor's rectangle in pixels.
struct EditorRect {
    std::int16_t top, left, bottom, right;
};

// A key the host forwards to the editor.
struct EditorKey {
    std::int32_t character;
    unsigned char virt;      // virtual key code
    unsigned char modifier;  // modifier key bits
};

class AEffEditor {
public:
    explicit AEffEditor(EditorHost* effect) : effect(effect) {}
    virtual ~AEffEditor() = default;
    AEffEditor(const AEffEditor&) = delete;
    AEffEditor& operator=(const AEffEditor&) = delete;

    // The plug-in that owns this editor.
    virtual EditorHost* getEffect() { return effect; }
    // Size of the editor; the base has none to report.
    virtual bool getRect(EditorRect** out) {
        if (out) *out = nullptr;
        return false;
    }
    // Opens the editor into the host's parent window.
    virtual bool open(void* parent) {
        systemWindow = parent;
        return false;
    }
    virtual void close() { systemWindow = nullptr; }
    virtual bool isOpen() { return systemWindow != nullptr; }
    virtual void idle() {}
    virtual bool onKeyDown(EditorKey&) { return false; }
    virtual bool onKeyUp(EditorKey&) { return false; }
    virtual bool onWheel(float) { return false; }
    virtual bool setKnobMode(int) { return false; }
    // The host's wish for the editor's scale (1.0 for its natural size, 2.0 for
    // twice), for formats whose host says so (a content scale factor). Editors
    // with one size ignore it.
    virtual void setScaleRequest(float) {}

    // A parameter changed behind the editor's back (host automation, a program
    // switch, a restored state), on any thread: the controls take the new value
    // without reporting it back, and are drawn when the window's thread next can.
    virtual void updateParameter(int, float) {}
    virtual void updateAllParameters() {}
    // Draws what changed, if called on the window's thread while open.
    virtual void redrawDirty() {}

protected:
    EditorHost* effect;
    void* systemWindow = nullptr;
};
