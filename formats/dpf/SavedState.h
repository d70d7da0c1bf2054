// A VST3 or CLAP saved state of this instrument, read whole and checked before
// any of it is applied: DPF's layout ("__dpf_program__" and its number, the
// state values between "__dpf_state_begin__" and "__dpf_state_end__", the
// parameters by symbol between "__dpf_parameters_begin__" and
// "__dpf_parameters_end__", each a string ended by a zero byte, and 0xfe last),
// the program number, each knob position of ours and the bank text. A damaged,
// foreign or out-of-range part refuses the whole state: a song of a later
// version never opens with its knobs over the old bank.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "SavedStateBuffer.h"
#include "StateText.h"

class SavedState {
public:
    // The state key under which the bank travels; part of every saved song.
    static constexpr const char* kBankKey = "bank";

    // Reads and checks the whole state; false, with nothing to apply, when any
    // part is damaged, out of range or refused, or the terminator is missing.
    bool read(const SavedStateBuffer& buffer);

    // A bank text this instrument takes whole (the one check of a saved bank,
    // in every format): its own version, a program 0..7 and a bank the
    // instrument accepts. False, with nothing written, for anything else.
    static bool readBank(const char* text, int* program, unsigned char (&bank)[StateText::kBankBytes]) noexcept;

    // A saved number in plain decimal notation, whatever the locale (DPF
    // writes them with a point, "%.12g" in the C locale): no hexadecimal,
    // infinity or NaN; false unless the whole text is a finite number. A
    // magnitude too small for a double reads as zero, as the C library reads it.
    static bool readNumber(const char* text, float* out) noexcept;

    // What a good state holds, in the order DPF applies it.
    int program = -1;  // DPF's current program; -1: none saved
    std::vector<std::pair<std::string, std::string>> states;        // key, value
    std::vector<std::pair<std::uint32_t, float>> parameters;        // index, knob position
    // The bank text decoded, when the state holds one.
    bool hasBank = false;
    int bankProgram = 0;
    unsigned char bank[StateText::kBankBytes] = {};
};
