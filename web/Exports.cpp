// The module's interface to its two hosts on the page: the audio worklet plays
// an instrument, and the page keeps a copy of it under the panel (see
// web/site). Every call is plain numbers and pointers into the module's memory.
#include <emscripten/emscripten.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "editor/keys/NoteKeys.h"
#include "editor/panel/MyGui.h"
#include "editor/web/CanvasPanelWindow.h"
#include "instrument/Instrument.h"
#include "instrument/ParameterTable.h"
#include "plugin/PluginIdentity.h"
#include "tools/render/DemoSong.h"
#include "tools/render/PresetFile.h"
#include "web/PagePanel.h"

namespace {

// An instrument with its output: what the worklet renders each quantum.
struct SoundingInstrument {
    static constexpr int kMaxFrames = 4096;
    Instrument instrument;
    float left[kMaxFrames] = {};
    float right[kMaxFrames] = {};
};

char textBuffer[64];

std::string trimmed(const char* text) {
    std::string s = text;
    const auto first = s.find_first_not_of(' ');
    return first == std::string::npos ? std::string() : s.substr(first, s.find_last_not_of(' ') - first + 1);
}

// The demo as frames at one rate: frame, kind (0 MIDI, 1 program), status or
// program, data1, data2.
std::vector<std::int32_t> demoEvents;

}  // namespace

extern "C" {

EMSCRIPTEN_KEEPALIVE void* hl2_alloc(int bytes) { return bytes > 0 ? new (std::nothrow) unsigned char[bytes] : nullptr; }
EMSCRIPTEN_KEEPALIVE void hl2_free(void* data) { delete[] static_cast<unsigned char*>(data); }

EMSCRIPTEN_KEEPALIVE int hl2_plugin_id() { return PluginIdentity::kUniqueId; }
EMSCRIPTEN_KEEPALIVE int hl2_plugin_version() { return PluginIdentity::kEffectVersion; }
EMSCRIPTEN_KEEPALIVE int hl2_parameter_count() { return kParameterCount; }
EMSCRIPTEN_KEEPALIVE int hl2_program_count() { return Instrument::kProgramCount; }

// The instrument at the page's sample rate; null when the rate is refused or memory runs out.
EMSCRIPTEN_KEEPALIVE SoundingInstrument* hl2_instrument_new(float sampleRate) {
    auto* sounding = new (std::nothrow) SoundingInstrument;
    if (!sounding) return nullptr;
    if (!sounding->instrument.setSampleRate(sampleRate) || !sounding->instrument.prepare(SoundingInstrument::kMaxFrames)) {
        delete sounding;
        return nullptr;
    }
    return sounding;
}
EMSCRIPTEN_KEEPALIVE void hl2_instrument_delete(SoundingInstrument* s) { delete s; }
EMSCRIPTEN_KEEPALIVE float* hl2_output(SoundingInstrument* s, int channel) { return channel ? s->right : s->left; }
EMSCRIPTEN_KEEPALIVE int hl2_max_frames() { return SoundingInstrument::kMaxFrames; }

// Renders frames (at most hl2_max_frames()) into the output, with the messages
// sent since the last call at their frames.
EMSCRIPTEN_KEEPALIVE void hl2_render(SoundingInstrument* s, int frames) {
    if (frames > SoundingInstrument::kMaxFrames) frames = SoundingInstrument::kMaxFrames;
    s->instrument.render(s->left, s->right, frames);
}
EMSCRIPTEN_KEEPALIVE void hl2_midi(SoundingInstrument* s, int frame, int status, int data1, int data2) {
    s->instrument.midiMessage(frame, static_cast<unsigned char>(status), static_cast<unsigned char>(data1 & 0x7f),
                              static_cast<unsigned char>(data2 & 0x7f));
}
EMSCRIPTEN_KEEPALIVE void hl2_all_notes_off(SoundingInstrument* s) { s->instrument.allNotesOff(); }

EMSCRIPTEN_KEEPALIVE int hl2_set_parameter(SoundingInstrument* s, int index, float value) {
    return s->instrument.setParameter(index, value);
}
EMSCRIPTEN_KEEPALIVE float hl2_parameter(SoundingInstrument* s, int index) { return s->instrument.parameter(index); }
EMSCRIPTEN_KEEPALIVE int hl2_select_program(SoundingInstrument* s, int index) {
    return s->instrument.selectProgram(index);
}
// A MIDI program change, from the worklet's render thread, as the standalone app takes one.
EMSCRIPTEN_KEEPALIVE int hl2_request_program(SoundingInstrument* s, int index) {
    return s->instrument.requestProgram(index);
}
EMSCRIPTEN_KEEPALIVE int hl2_program(SoundingInstrument* s) { return s->instrument.program(); }
EMSCRIPTEN_KEEPALIVE const char* hl2_program_name(SoundingInstrument* s, int index) {
    if (!s->instrument.programName(index, textBuffer)) textBuffer[0] = 0;
    return textBuffer;
}
EMSCRIPTEN_KEEPALIVE void hl2_rename_program(SoundingInstrument* s, const char* name) {
    s->instrument.renameProgram(name);
}

// The current program's saved state (a preset's block, as the plug-in saves
// it); its size in *bytes.
EMSCRIPTEN_KEEPALIVE const void* hl2_save_preset(SoundingInstrument* s, int* bytes) {
    const void* data = nullptr;
    *bytes = s->instrument.saveState(true, &data);
    return data;
}
EMSCRIPTEN_KEEPALIVE int hl2_restore_preset(SoundingInstrument* s, const void* data, int bytes) {
    return s->instrument.restoreState(data, bytes, true);
}
// The whole bank of eight named programs, as the formats save it.
EMSCRIPTEN_KEEPALIVE const void* hl2_save_bank(SoundingInstrument* s, int* bytes) {
    const void* data = nullptr;
    *bytes = s->instrument.saveState(false, &data);
    return data;
}
EMSCRIPTEN_KEEPALIVE int hl2_restore_bank(SoundingInstrument* s, const void* data, int bytes) {
    return bytes == Instrument::kBankStateBytes && s->instrument.restoreState(data, bytes, false);
}

// A preset file's bytes checked by the rule the render tool applies: a program
// block of this instrument's size in a preset container of this plug-in with
// its parameter count. 1 when it is one (its block starts at byte 60), else 0.
EMSCRIPTEN_KEEPALIVE int hl2_is_preset_file(const unsigned char* data, int bytes) {
    PresetFile file;
    const PresetFile::Expected ours{PresetFile::Kind::Preset, PluginIdentity::kUniqueId, kParameterCount,
                                    static_cast<std::size_t>(Instrument::kPresetStateBytes)};
    return bytes > 0 && parsePresetFile(data, static_cast<std::size_t>(bytes), ours, file).empty();
}

// A parameter's name, and its value as the panel's readout shows it ("Decay 1.20 s").
EMSCRIPTEN_KEEPALIVE const char* hl2_parameter_name(int index) {
    formatParameterName(index, textBuffer);
    return textBuffer;
}
EMSCRIPTEN_KEEPALIVE const char* hl2_parameter_text(SoundingInstrument* s, int index) {
    char display[EditorHost::kProgramNameBytes] = {}, label[EditorHost::kProgramNameBytes] = {};
    formatParameterName(index, textBuffer);
    formatParameterDisplay(index, s->instrument.parameter(index), display);
    formatParameterLabel(index, s->instrument.parameter(index), label);
    std::string text = trimmed(textBuffer);
    for (const char* part : {display, label})
        if (!trimmed(part).empty()) text += " " + trimmed(part);
    std::snprintf(textBuffer, sizeof textBuffer, "%s", text.c_str());
    return textBuffer;
}

// The built-in demo at this rate: how many events; hl2_demo_events() then
// holds five numbers for each. *frames is where the piece ends.
EMSCRIPTEN_KEEPALIVE int hl2_demo_prepare(double sampleRate, int* frames) {
    const Timeline song = demoSong(Instrument::kProgramCount);
    demoEvents.clear();
    for (const TimedEvent& e : song.events) {
        const bool program = e.kind == TimedEvent::Kind::Program;
        for (int k = 0; k < (program ? 1 : e.repeats); ++k)
            demoEvents.insert(demoEvents.end(), {static_cast<std::int32_t>(frameAt(e.seconds, sampleRate)),
                                                 program ? 1 : 0, program ? e.program : e.status, e.data1, e.data2});
    }
    *frames = static_cast<int>(frameAt(song.lengthSeconds, sampleRate));
    return static_cast<int>(demoEvents.size() / 5);
}
EMSCRIPTEN_KEEPALIVE const std::int32_t* hl2_demo_events() { return demoEvents.data(); }

// The panel over the page's copy of the instrument, opened on the canvas at
// the page's scale (2 from a devicePixelRatio of 1.5).
EMSCRIPTEN_KEEPALIVE PagePanel* hl2_panel_new(SoundingInstrument* copy, int scale) {
    setCanvasPanelScale(scale);
    auto* panel = new (std::nothrow) PagePanel(copy->instrument);
    if (panel && !panel->gui().open(panel)) {
        delete panel;
        return nullptr;
    }
    return panel;
}
EMSCRIPTEN_KEEPALIVE void hl2_panel_delete(PagePanel* panel) { delete panel; }

namespace {
CanvasPanelWindow* canvasOf(PagePanel* panel) { return static_cast<CanvasPanelWindow*>(panel->gui().window()); }
int changedRect[4];
}  // namespace

// The panel's pixels (0x00RRGGBB, rows top to bottom) and size.
EMSCRIPTEN_KEEPALIVE const std::uint32_t* hl2_panel_pixels(PagePanel* panel) {
    return panel->gui().canvas().pixels.data();
}
EMSCRIPTEN_KEEPALIVE int hl2_panel_width(PagePanel* panel) { return panel->gui().canvas().width; }
EMSCRIPTEN_KEEPALIVE int hl2_panel_height(PagePanel* panel) { return panel->gui().canvas().height; }
// The rectangle (x, y, width, height) drawn since the last call; width 0 when none.
EMSCRIPTEN_KEEPALIVE const int* hl2_panel_changed(PagePanel* panel) {
    CanvasPanelWindow::Rect r;
    if (CanvasPanelWindow* canvas = canvasOf(panel)) r = canvas->takeChanged();
    changedRect[0] = r.x, changedRect[1] = r.y, changedRect[2] = r.width, changedRect[3] = r.height;
    return changedRect;
}

// The pointer on the canvas: kind 0 move, 1 press, 2 release, 3 wheel (button
// holds the notches, + up), 4 the press was taken away. button 0 left, 1 right.
EMSCRIPTEN_KEEPALIVE void hl2_panel_pointer(PagePanel* panel, int kind, int button, int x, int y) {
    CanvasPanelWindow* canvas = canvasOf(panel);
    if (!canvas) return;
    PanelWindowEvents& input = canvas->input();
    switch (kind) {
    case 0: input.windowMouseMove(x, y); break;
    case 1: input.windowPress(button, x, y); break;
    case 2: input.windowRelease(button, x, y); break;
    case 3: input.windowWheel(button, x, y); break;
    case 4: input.windowCaptureLost(); break;
    default: break;
    }
}
// The panel's idle tick (the page calls it each animation frame).
EMSCRIPTEN_KEEPALIVE void hl2_panel_idle(PagePanel* panel) { panel->gui().idle(); }
// The copy changed behind the panel (a program, a loaded preset): it shows the new values.
EMSCRIPTEN_KEEPALIVE void hl2_panel_refresh(PagePanel* panel) {
    panel->gui().updateAllParameters();
    panel->gui().redrawDirty();
}
EMSCRIPTEN_KEEPALIVE const char* hl2_panel_readout(PagePanel* panel) { return panel->gui().readoutText().c_str(); }
// Widget index's place (x, y, width, height in canvas pixels) and parameter;
// null past the last.
EMSCRIPTEN_KEEPALIVE const int* hl2_panel_widget(PagePanel* panel, int index) {
    const auto& widgets = panel->gui().widgetList();
    if (index < 0 || index >= static_cast<int>(widgets.size())) return nullptr;
    const WidgetBase& w = *widgets[static_cast<std::size_t>(index)];
    static int place[5];
    place[0] = w.x, place[1] = w.y, place[2] = w.width, place[3] = w.height, place[4] = w.paramIndex;
    return place;
}
// The panel's menu opened at (x, y) in canvas pixels, closed (x -1) or left
// as it is (x -2); whether it shows.
EMSCRIPTEN_KEEPALIVE int hl2_panel_menu(PagePanel* panel, int x, int y) {
    if (x >= 0)
        panel->gui().openMenu(x, y);
    else if (x == -1)
        panel->gui().closeMenu();
    return panel->gui().menuShowing();
}
EMSCRIPTEN_KEEPALIVE int hl2_panel_scale(PagePanel* panel) { return panel->gui().panelScale(); }

// The computer keyboard as a music keyboard. A key event by its position's
// name (KeyboardEvent.code): -1 for a key that does not play; else what it
// did, as kind | note << 8 | velocity << 16 (kinds as NoteKeys::Action).
EMSCRIPTEN_KEEPALIVE NoteKeys* hl2_keys_new() { return new (std::nothrow) NoteKeys; }
EMSCRIPTEN_KEEPALIVE int hl2_keys_event(NoteKeys* keys, const char* code, int down) {
    const int key = NoteKeys::keyFromCode(code);
    if (key < 0) return -1;
    const NoteKeys::Action a = down ? keys->press(key) : keys->release(key);
    return a.kind | a.note << 8 | a.velocity << 16;
}
EMSCRIPTEN_KEEPALIVE int hl2_keys_octave(NoteKeys* keys) { return keys->octave(); }
EMSCRIPTEN_KEEPALIVE int hl2_keys_velocity(NoteKeys* keys) { return keys->velocity(); }
// The notes of every key held, let go: a list ending with -1.
EMSCRIPTEN_KEEPALIVE const int* hl2_keys_release_all(NoteKeys* keys) {
    static int notes[32];
    int n = 0;
    keys->releaseAll([&](int note) { notes[n++] = note; });
    notes[n] = -1;
    return notes;
}

}  // extern "C"
