// The editor contract between a plug-in and its host: the host asks for the
// editor's size, opens it into a parent window, idles and closes it. The base
// answers every request with a harmless default.
#pragma once

#include "plugin/VstAbi.h"

class AudioEffect;

class AEffEditor {
public:
    explicit AEffEditor(AudioEffect* effect) : effect(effect) {}
    virtual ~AEffEditor() = default;
    AEffEditor(const AEffEditor&) = delete;
    AEffEditor& operator=(const AEffEditor&) = delete;

    // The plug-in that owns this editor.
    virtual AudioEffect* getEffect() { return effect; }
    // Size of the editor; the base has none to report.
    virtual bool getRect(ERect** out) {
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
    virtual bool onKeyDown(VstKeyCode&) { return false; }
    virtual bool onKeyUp(VstKeyCode&) { return false; }
    virtual bool onWheel(float) { return false; }
    virtual bool setKnobMode(int) { return false; }

protected:
    AudioEffect* effect;
    void* systemWindow = nullptr;
};
