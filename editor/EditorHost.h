// What the editor needs from the plug-in it belongs to, whatever the plug-in
// format: read a parameter with its name and texts, report the user's change,
// bracket a change as a gesture (hosts record touch automation from these), and
// ask for a new window size. Each format layer implements it.
#pragma once

class EditorHost {
public:
    // Texts written to the editor hold at least this many bytes, terminator included.
    static constexpr int kTextBytes = 16;

    // The parameter's value, 0..1.
    virtual float parameterValue(int index) = 0;
    // The host's name of the parameter, its value as the host shows it, and
    // the unit of that value ("1.20" and "s").
    virtual void parameterName(int index, char* text) = 0;
    virtual void parameterDisplay(int index, char* text) = 0;
    virtual void parameterLabel(int index, char* text) = 0;
    // The user set the parameter: apply it and let the host record it.
    virtual void changeParameter(int index, float value) = 0;
    // The user took and let go of the parameter's control.
    virtual void beginGesture(int index) = 0;
    virtual void endGesture(int index) = 0;
    // Asks the host to resize the editor's window; false when it refuses.
    virtual bool resizeEditor(int width, int height) = 0;

protected:
    ~EditorHost() = default;
};
