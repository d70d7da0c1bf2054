// The page as the panel's host. The panel edits a copy of the instrument kept
// on the page (the one that sounds runs in the audio worklet): the copy
// answers the panel's questions and makes the saved sound, and every change is
// passed to the page, which hands the same change to the sounding instrument.
#pragma once

#include <memory>

#include "editor/interface/EditorHost.h"

class Instrument;
class MyGui;

class PagePanel final : public EditorHost {
public:
    explicit PagePanel(Instrument& copy);
    ~PagePanel();

    MyGui& gui() { return *panel; }

    float parameterValue(int index) override;
    void parameterName(int index, char* text) override;
    void parameterDisplay(int index, char* text) override;
    void parameterLabel(int index, char* text) override;
    void changeParameter(int index, float value) override;
    void beginGesture(int index) override;
    void endGesture(int index) override;
    bool resizeEditor(int width, int height) override;
    int programCount() override;
    void programName(int index, char* text) override;
    int currentProgram() override;
    void selectProgram(int index) override;

private:
    Instrument& copy;
    std::unique_ptr<MyGui> panel;
};
