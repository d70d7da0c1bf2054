// What DPF builds the VST3, CLAP and LV2 formats from: identity, buses, MIDI,
// programs, state and the editor mode. The identifiers below are fixed for good:
// a saved song finds the plug-in again through them. Never change them.
#pragma once

#define DISTRHO_PLUGIN_BRAND "Quillfeather"
#define DISTRHO_PLUGIN_NAME "Hammerlyn2"
#define DISTRHO_PLUGIN_URI "urn:quillfeather:hammerlyn2"
#define DISTRHO_PLUGIN_CLAP_ID "com.quillfeather.hammerlyn2"
// The VST3 class identifier is DPF's prefix followed by this code.
#define HAMMERLYN2_DPF_UNIQUE_ID d_cconst('Q', 'f', 'H', '2')
#include "Hammerlyn2Version.h"  // generated from the project's version
#define DISTRHO_PLUGIN_VERSION_TEXT HAMMERLYN2_VERSION_TEXT

#define DISTRHO_PLUGIN_NUM_INPUTS 0
#define DISTRHO_PLUGIN_NUM_OUTPUTS 2
#define DISTRHO_PLUGIN_IS_SYNTH 1
#define DISTRHO_PLUGIN_IS_RT_SAFE 1
#define DISTRHO_PLUGIN_WANT_LATENCY 0
#define DISTRHO_PLUGIN_WANT_MIDI_INPUT 1
#define DISTRHO_PLUGIN_WANT_MIDI_OUTPUT 0
// The parameter ids VST3 hosts see: ours first, then DPF's hidden ones, among
// them per channel the MIDI a VST3 host hands over only as parameter changes
// (all notes off, mono mode on, pitch bend). Fixed for good, like the instrument's 0..15.
#include "Vst3ParameterIds.h"
#define DISTRHO_PLUGIN_VST3_IDS Vst3ParameterIds
#define DISTRHO_PLUGIN_WANT_PROGRAMS 1
#define DISTRHO_PLUGIN_WANT_STATE 1
#define DISTRHO_PLUGIN_WANT_FULL_STATE 1
#define DISTRHO_PLUGIN_WANT_TIMEPOS 0

#define DISTRHO_PLUGIN_LV2_CATEGORY "lv2:InstrumentPlugin"
#define DISTRHO_PLUGIN_VST3_CATEGORIES "Instrument|Synth"
#define DISTRHO_PLUGIN_CLAP_FEATURES "instrument", "synthesizer", "stereo"

// The panel is the project's own editor in the host's window: DPF's
// external-UI mode, embedded. Without DGL the embedding default is off, so it
// is set here too. A build without a window layer has no UI.
#ifndef HAMMERLYN2_DPF_WITH_UI
#define HAMMERLYN2_DPF_WITH_UI 0
#endif
#if HAMMERLYN2_DPF_WITH_UI
#define DISTRHO_PLUGIN_HAS_UI 1
#define DISTRHO_PLUGIN_HAS_EXTERNAL_UI 1
#define DISTRHO_PLUGIN_HAS_EMBED_UI 1
#define DISTRHO_UI_USER_RESIZABLE 0
#else
#define DISTRHO_PLUGIN_HAS_UI 0
#endif

// The texts hosts show for parameter values (VST3 and CLAP), and the way text
// is read back into a value; both hooks are called by the patched DPF sources.
#include <cstddef>
#include <cstdint>
bool hammerlyn2ParameterValueText(std::uint32_t index, double value, char* text, std::size_t size) noexcept;
bool hammerlyn2ParameterTextValue(std::uint32_t index, const char* text, double* value) noexcept;
#define DISTRHO_PLUGIN_VALUE_TEXT hammerlyn2ParameterValueText
#define DISTRHO_PLUGIN_TEXT_VALUE hammerlyn2ParameterTextValue

// The host's unit of window size in pixels (2 in a GTK 3 host at GDK_SCALE=2),
// which the patched LV2 UI divides the panel's size by when it tells the host.
unsigned hammerlyn2HostWindowUnit(std::uintptr_t parent) noexcept;
#define DISTRHO_UI_HOST_WINDOW_UNIT hammerlyn2HostWindowUnit

// A program the host selects on the audio thread (VST3's program parameter in
// process, LV2's select_program) is taken through these hooks, which never
// wait: the request (loaded now, or at a later block's start where the program
// lock is taken; the latest request wins), and whether it is still to load (the
// patched wrappers then take up the program's values once it has). instance is
// DPF's Plugin.
void hammerlyn2RequestProgram(void* instance, std::uint32_t index) noexcept;
bool hammerlyn2ProgramPending(void* instance) noexcept;
#define DISTRHO_PLUGIN_REQUEST_PROGRAM hammerlyn2RequestProgram
#define DISTRHO_PLUGIN_PROGRAM_PENDING hammerlyn2ProgramPending

// MIDI events one block takes through the VST3, CLAP and LV2 wrappers (DPF
// keeps 512): a note off for every note a dense block started must fit.
#define DISTRHO_PLUGIN_MAX_MIDI_EVENTS 4096

// Velocities, pressures, controller and bend values from VST3 and CLAP hosts
// become MIDI numbers through this (NaN and values out of range held).
#include "MidiValue.h"
#define DISTRHO_PLUGIN_MIDI_VALUE hammerlyn2MidiValue

// A CLAP block's MIDI events play in time order, whatever the host's order.
#include "InTimeOrder.h"
#define DISTRHO_PLUGIN_IN_TIME_ORDER hammerlyn2InTimeOrder

// The VST3 and CLAP wrappers' copies of the parameter values, which a state
// load and the audio thread both write, are relaxed atomics.
#include "RelaxedValue.h"
#define DISTRHO_PLUGIN_RELAXED_VALUE RelaxedValue

// A parameter change a VST3 or CLAP host places inside a block reaches the
// plug-in with its frame before run(), which renders the block in pieces so
// that the change sounds from that frame.
void hammerlyn2ParameterChangeAt(void* instance, std::uint32_t frame, std::uint32_t index, float value) noexcept;
#define DISTRHO_PLUGIN_PARAMETER_CHANGE_AT hammerlyn2ParameterChangeAt

// A host's call without frames (VST3, CLAP) hands its notes and controllers
// to run() with no frames: the instrument keeps them for its next block.
#define DISTRHO_PLUGIN_RUNS_WITHOUT_FRAMES 1

// A VST3 or CLAP saved state is read whole into a SavedStateBuffer and read
// and checked whole by SavedState before the patched wrappers apply any of it:
// the program and the parameters through DPF, the bank through this hook.
#include "SavedState.h"
void hammerlyn2ApplyState(void* instance, const SavedState& saved);
#define DISTRHO_PLUGIN_STATE_BUFFER SavedStateBuffer
#define DISTRHO_PLUGIN_SAVED_STATE SavedState
#define DISTRHO_PLUGIN_APPLY_STATE hammerlyn2ApplyState
// Numbers typed for DPF's hidden VST3 parameters are read as saved numbers are.
#define DISTRHO_PLUGIN_READ_NUMBER SavedState::readNumber
