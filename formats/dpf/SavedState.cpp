#include "SavedState.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>

#include "instrument/Instrument.h"

namespace {

// A program number in plain digits, below the program count.
bool readProgram(const char* text, int* program) noexcept {
    std::uint64_t value = 0;
    const char* c = text;
    for (; *c >= '0' && *c <= '9' && value <= Instrument::kProgramCount; ++c)
        value = value * 10 + static_cast<std::uint64_t>(*c - '0');
    if (c == text || *c != '\0' || value >= Instrument::kProgramCount) return false;
    *program = static_cast<int>(value);
    return true;
}

}  // namespace

bool SavedState::readNumber(const char* text, float* out) noexcept {
    const char* c = text;
    const bool negative = *c == '-';
    if (*c == '+' || *c == '-') ++c;
    if (!((*c >= '0' && *c <= '9') || (*c == '.' && c[1] >= '0' && c[1] <= '9'))) return false;
    const char* const digits = c;
    for (; *c != '\0'; ++c)
        if (std::strchr("0123456789.eE+-", *c) == nullptr) return false;
    double value = 0.0;
    const auto [end, error] = std::from_chars(digits, c, value);
    if (end != c) return false;
    if (error == std::errc::result_out_of_range) {
        // Out of a double's range: too large is refused, too small is zero.
        // The decimal exponent of the first non-zero digit, roughly, tells which.
        long magnitude = 0, exponent = 0;
        const char* d = digits;
        while (*d == '0') ++d;
        if (*d >= '1' && *d <= '9')
            for (; *d >= '0' && *d <= '9'; ++d) ++magnitude;
        else if (*d == '.')
            for (++d; *d == '0'; ++d) --magnitude;
        if (const char* e = std::strpbrk(digits, "eE")) {
            const bool minus = e[1] == '-';
            for (e += (e[1] == '+' || e[1] == '-') ? 2 : 1; *e >= '0' && *e <= '9'; ++e)
                exponent = std::min(exponent * 10 + (*e - '0'), 1000000L);
            if (minus) exponent = -exponent;
        }
        if (magnitude + exponent > 0) return false;
        value = 0.0;
    } else if (error != std::errc() || !std::isfinite(value)) {
        return false;
    }
    *out = static_cast<float>(negative ? -value : value);
    return true;
}


bool SavedState::readBank(const char* text, int* program, unsigned char (&bank)[StateText::kBankBytes]) noexcept {
    int read = 0;
    unsigned char incoming[StateText::kBankBytes];
    if (!StateText::decode(text, &read, incoming) ||
        !Instrument::acceptsState(incoming, Instrument::kBankStateBytes, false))
        return false;
    std::memcpy(bank, incoming, sizeof(incoming));
    *program = read;
    return true;
}

bool SavedState::read(const SavedStateBuffer& buffer) {
    if (!buffer.ended()) return false;
    const char* const data = buffer.data();
    const std::size_t size = buffer.size();
    std::size_t pos = 0;

    // The next string: 1, the terminator: 0, damaged: -1.
    const auto next = [&](const char*& text) -> int {
        if (pos >= size) return -1;
        if (data[pos] == '\xfe') return 0;
        const void* const end = std::memchr(data + pos, '\0', size - pos);
        if (end == nullptr) return -1;
        text = data + pos;
        pos = static_cast<std::size_t>(static_cast<const char*>(end) - data) + 1;
        return 1;
    };

    const char* key = nullptr;
    const char* value = nullptr;
    int got = next(key);

    if (got == 1 && std::strcmp(key, "__dpf_program__") == 0) {
        if (next(value) != 1 || !readProgram(value, &program)) return false;
        got = next(key);
    }

    // A section of key and value pairs between its begin and end keys, each
    // pair handed to take, which may refuse the whole state.
    const auto section = [&](const char* begin, const char* finish, const auto& take) {
        if (got != 1 || std::strcmp(key, begin) != 0) return true;
        for (;;) {
            if (next(key) != 1) return false;
            if (std::strcmp(key, finish) == 0) break;
            if (next(value) != 1 || !take()) return false;
        }
        got = next(key);
        return true;
    };

    // A state value of another version is skipped; the bank must be good.
    const bool statesRead = section("__dpf_state_begin__", "__dpf_state_end__", [&] {
        if (std::strcmp(key, kBankKey) != 0) return true;
        if (!readBank(value, &bankProgram, bank)) return false;
        hasBank = true;
        states.emplace_back(key, value);
        return true;
    });
    if (!statesRead) return false;

    // A parameter of another version is skipped; one of ours must be a
    // readable knob position.
    const bool parametersRead = section("__dpf_parameters_begin__", "__dpf_parameters_end__", [&] {
        for (int i = 0; i < kParameterCount; ++i) {
            if (std::strcmp(kParameterIdentities[i].symbol, key) != 0) continue;
            float position = 0.0f;
            if (!readNumber(value, &position) || position < 0.0f || position > 1.0f) return false;
            parameters.emplace_back(static_cast<std::uint32_t>(i), position);
            break;
        }
        return true;
    });
    if (!parametersRead) return false;

    return got == 0;
}
