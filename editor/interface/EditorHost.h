// What the editor needs from the plug-in it belongs to, whatever the plug-in
// format: read a parameter with its name and texts, report the user's change,
// bracket a change as a gesture (hosts record touch automation from these), and
// ask for a new window size, and list and load the factory programs. Each
// format layer implements it.
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

    // Program names written to the editor hold at least this many bytes.
    static constexpr int kProgramNameBytes = 32;
    // The plug-in's programs: how many, the name of one, the one in force, and
    // loading one as the host's own program change would (the host learns of
    // it). A format layer without programs keeps these answers.
    virtual int programCount() { return 0; }
    virtual void programName(int /*index*/, char* text) { text[0] = 0; }
    virtual int currentProgram() { return -1; }
    virtual void selectProgram(int /*index*/) {}

    // A standalone application's window (QFGui::openTopLevel): a NoteKeys key
    // pressed or let go (-1: a key that plays nothing), every key let go at
    // once (the window lost the keyboard), and the window's close button.
    virtual void panelKey(int /*key*/, bool /*down*/) {}
    virtual void panelKeysLost() {}
    virtual void panelCloseRequested() {}
    // Lines the panel's menu shows after the programs (a standalone's audio
    // device and MIDI inputs); texts hold kInfoBytes. A line chosen from the
    // menu is reported (a line that only informs does nothing).
    static constexpr int kInfoBytes = 96;
    virtual int infoLineCount() { return 0; }
    virtual void infoLine(int /*index*/, char* text) { text[0] = 0; }
    virtual void chooseInfoLine(int /*index*/) {}

protected:
    ~EditorHost() = default;
};
