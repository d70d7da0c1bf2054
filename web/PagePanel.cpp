#include "web/PagePanel.h"

#include "editor/panel/MyGui.h"
#include "instrument/Instrument.h"
#include "instrument/ParameterTable.h"

// What the page does with the panel's requests (web/site/panel.js).
extern "C" {
__attribute__((import_module("env"), import_name("pageParameterChanged"))) void pageParameterChanged(int index,
                                                                                                    float value);
__attribute__((import_module("env"), import_name("pageGesture"))) void pageGesture(int index, int begins);
__attribute__((import_module("env"), import_name("pageProgramChosen"))) void pageProgramChosen(int index);
__attribute__((import_module("env"), import_name("pageResize"))) int pageResize(int width, int height);
}

PagePanel::PagePanel(Instrument& copy) : copy(copy), panel(std::make_unique<MyGui>(this)) {
    // The knobs take the instrument's values before the panel is first shown.
    panel->updateAllParameters();
}

PagePanel::~PagePanel() = default;

float PagePanel::parameterValue(int index) { return copy.parameter(index); }

void PagePanel::parameterName(int index, char* text) { formatParameterName(index, text); }

void PagePanel::parameterDisplay(int index, char* text) { formatParameterDisplay(index, copy.parameter(index), text); }

void PagePanel::parameterLabel(int index, char* text) { formatParameterLabel(index, copy.parameter(index), text); }

void PagePanel::changeParameter(int index, float value) {
    if (copy.setParameter(index, value)) pageParameterChanged(index, copy.parameter(index));
}

void PagePanel::beginGesture(int index) { pageGesture(index, 1); }

void PagePanel::endGesture(int index) { pageGesture(index, 0); }

bool PagePanel::resizeEditor(int width, int height) { return pageResize(width, height) != 0; }

int PagePanel::programCount() { return Instrument::kProgramCount; }

void PagePanel::programName(int index, char* text) {
    if (!copy.programName(index, text)) text[0] = 0;
}

int PagePanel::currentProgram() { return copy.program(); }

void PagePanel::selectProgram(int index) {
    if (!copy.selectProgram(index)) return;
    panel->updateAllParameters();
    pageProgramChosen(index);
}
