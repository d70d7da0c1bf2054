#include "StateText.h"

#include <cstring>

namespace StateText {

namespace {
constexpr char kDigits[] = "0123456789abcdef";

int hexValue(char c) noexcept {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}
}  // namespace

std::string encode(int program, const void* bank, std::size_t bytes) {
    std::string text = std::to_string(kVersion) + ":" + std::to_string(program) + ":";
    const auto* data = static_cast<const unsigned char*>(bank);
    text.reserve(text.size() + bytes * 2);
    for (std::size_t i = 0; i < bytes; ++i) {
        text += kDigits[data[i] >> 4];
        text += kDigits[data[i] & 15];
    }
    return text;
}

bool decode(const char* text, int* program, unsigned char (&bank)[kBankBytes]) noexcept {
    if (!text) return false;
    // Version: exactly "1:". A later version is refused rather than guessed at.
    if (text[0] != '0' + kVersion || text[1] != ':') return false;
    // Program: one digit 0..7 and a colon.
    if (text[2] < '0' || text[2] > '7' || text[3] != ':') return false;
    const char* hex = text + 4;
    if (std::strlen(hex) != kBankBytes * 2) return false;
    unsigned char incoming[kBankBytes];
    for (std::size_t i = 0; i < kBankBytes; ++i) {
        const int high = hexValue(hex[2 * i]);
        const int low = hexValue(hex[2 * i + 1]);
        if (high < 0 || low < 0) return false;
        incoming[i] = static_cast<unsigned char>(high << 4 | low);
    }
    std::memcpy(bank, incoming, kBankBytes);
    *program = text[2] - '0';
    return true;
}

}  // namespace StateText
