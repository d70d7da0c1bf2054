// Saved states of the VST3 and CLAP builds (DPF's container: NUL-separated
// keys and values, the bank among them) changed as a later version, a damaged
// file or a careless host would hand them over. Shared by the two formats' tests.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

using StateBytes = std::vector<std::uint8_t>;

// The same state with another program selected, both in DPF's program key and
// in the bank's text.
StateBytes withProgram(const StateBytes& state, int program);

// States that must be refused whole, each with what is wrong with it.
std::vector<std::pair<std::string, StateBytes>> refusedStates(const StateBytes& state);

// The number of bytes up to and including the bank's text and its terminator.
std::size_t bytesThroughBank(const StateBytes& state);
