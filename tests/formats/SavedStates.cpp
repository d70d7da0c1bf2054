#include "tests/formats/SavedStates.h"

#include <stdexcept>

namespace {

const std::string kBankKey("bank\0", 5);
const std::string kProgramKey("__dpf_program__\0", 16);

std::string text(const StateBytes& state) { return std::string(state.begin(), state.end()); }
StateBytes bytes(const std::string& text) { return StateBytes(text.begin(), text.end()); }

// Where a key's value starts.
std::size_t valueOf(const std::string& state, const std::string& key) {
    const std::size_t at = state.find(key);
    if (at == std::string::npos) throw std::runtime_error("no " + key.substr(0, key.size() - 1) + " in the state");
    return at + key.size();
}

// The state with the value of a key replaced.
StateBytes replaced(const StateBytes& state, const std::string& key, const std::string& value) {
    std::string s = text(state);
    const std::size_t at = valueOf(s, key);
    s.replace(at, s.find('\0', at) - at, value);
    return bytes(s);
}

}  // namespace

StateBytes withProgram(const StateBytes& state, int program) {
    std::string s = text(replaced(state, kProgramKey, std::to_string(program)));
    s[valueOf(s, kBankKey) + 2] = static_cast<char>('0' + program);
    return bytes(s);
}

std::size_t bytesThroughBank(const StateBytes& state) {
    const std::string s = text(state);
    return s.find('\0', valueOf(s, kBankKey)) + 1;
}

std::vector<std::pair<std::string, StateBytes>> refusedStates(const StateBytes& state) {
    const std::string s = text(state);
    const std::size_t bank = valueOf(s, kBankKey);
    const auto changed = [&](std::size_t at, const std::string& with) {
        std::string copy = s;
        copy.replace(at, with.size(), with);
        return bytes(copy);
    };
    // The first parameter's value, after the parameters' marker and the first symbol.
    const std::size_t parameters = valueOf(s, std::string("__dpf_parameters_begin__\0", 25));
    const std::size_t firstValue = s.find('\0', parameters) + 1;
    std::string firstValueText = s.substr(firstValue, s.find('\0', firstValue) - firstValue);
    const auto parameterValue = [&](const std::string& value) {
        std::string copy = s;
        copy.replace(firstValue, firstValueText.size(), value);
        return bytes(copy);
    };
    return {
        {"a bank of a later version", changed(bank, "2")},
        {"a bank's program 9", changed(bank + 2, "9")},
        {"a stray character in the bank", changed(bank + 100, "G")},
        // The first program's first value (after its 24-byte name) as a NaN.
        {"a bank value that is no number", changed(bank + 4 + 48, "0000c07f")},
        {"program 8", replaced(state, kProgramKey, "8")},
        {"program 99", replaced(state, kProgramKey, "99")},
        {"an empty stream", {}},
        {"no terminator", bytes(s.substr(0, s.rfind('\xfe')))},
        {"a parameter value that is no number", parameterValue("0.x5")},
        {"a parameter value out of range", parameterValue("5")},
        {"2 MiB without a separator", StateBytes(2u << 20, 'x')},
    };
}
