// The saved state of the VST3, CLAP and LV2 builds as one text: a version
// number, the current program and the whole bank of eight named programs (the
// same 704-byte block the VST 2 build saves) in hexadecimal. Text, because DPF
// carries state values as strings in every format.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace StateText {

constexpr int kVersion = 1;
constexpr std::size_t kBankBytes = 704;

// "1:<program>:<1408 lowercase hex digits>".
std::string encode(int program, const void* bank, std::size_t bytes);

// Reads a text written by encode(). False, with nothing written, for any other
// version, a program outside 0..7, a bank of the wrong length or a stray character.
bool decode(const char* text, int* program, unsigned char (&bank)[kBankBytes]) noexcept;

}  // namespace StateText
