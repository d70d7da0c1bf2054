// The standalone application's link between its window and the instrument:
// knobs and programs straight to the instrument, the computer keyboard as
// notes through the synth's queue, and the menu's lines for the sound system
// (what plays, the outputs to choose from, each MIDI source on or off). A
// line chosen waits for the application's main loop, which restarts the
// audio with it. Main thread only.
#pragma once

#include <atomic>
#include <optional>
#include <string>
#include <vector>

#include "editor/interface/EditorHost.h"
#include "editor/keys/NoteKeys.h"

class AudioDriver;
class Instrument;
class MyGui;
class StandaloneSynth;

class StandalonePanel : public EditorHost {
public:
    // closeRequested is set when the window's close button is pressed.
    StandalonePanel(StandaloneSynth& synth, AudioDriver& driver, std::atomic<bool>& closeRequested);

    // The window's title: the application and the program in force.
    static std::string windowTitle(Instrument& core);

    float parameterValue(int index) override;
    void parameterName(int index, char* text) override;
    void parameterDisplay(int index, char* text) override;
    void parameterLabel(int index, char* text) override;
    void changeParameter(int index, float value) override;
    void beginGesture(int) override {}
    void endGesture(int) override {}
    bool resizeEditor(int, int) override { return true; }  // the window is made again at the new size
    int programCount() override;
    void programName(int index, char* text) override;
    int currentProgram() override;
    void selectProgram(int index) override;
    void panelKey(int key, bool down) override;
    void panelKeysLost() override;
    void panelCloseRequested() override { closeRequested.store(true); }

    struct Line {
        enum Kind { Info, Output, Midi } kind;
        std::string name, text;  // name: as --audio or --midi takes it
    };
    int infoLineCount() override;
    void infoLine(int index, char* text) override;
    void chooseInfoLine(int index) override;
    // The line chosen since the last call, if any.
    std::optional<Line> takeRequest();

    MyGui* gui = nullptr;  // the window, while one is open
    AudioDriver* driver;   // the one playing (the main loop replaces it)

private:
    StandaloneSynth& synth;
    Instrument& core;
    std::atomic<bool>& closeRequested;
    NoteKeys keys;
    std::vector<Line> lines;  // as the menu listed them last
    std::optional<Line> request;
};
