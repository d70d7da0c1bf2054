// The texts VST3 and CLAP hosts show for a parameter value: the VST 2 build's
// display and label, e.g. "+3.5 dB" or "120 ms", free of the host's locale.
#include "DistrhoPluginInfo.h"

#include <cctype>
#include <cmath>
#include <cstring>
#include <initializer_list>

#include "instrument/ParameterTable.h"

bool hammerlyn2ParameterValueText(std::uint32_t index, double value, char* text, std::size_t size) noexcept {
    if (!text || size == 0 || index >= static_cast<std::uint32_t>(kParameterCount)) return false;
    char display[kParameterTextBytes];
    char label[kParameterTextBytes];
    const float knob = static_cast<float>(value);
    formatParameterDisplay(static_cast<int>(index), knob, display);
    formatParameterLabel(static_cast<int>(index), knob, label);
    const std::size_t displayLength = std::strlen(display);
    const std::size_t labelLength = std::strlen(label);
    if (displayLength + 1 + labelLength + 1 > size) return false;
    std::memcpy(text, display, displayLength);
    text[displayLength] = ' ';
    std::memcpy(text + displayLength + 1, label, labelLength + 1);
    return true;
}

namespace {

// A decimal number in the C locale's form ("-3.5", "+12", "0.25"), read without
// the C library so the host's locale cannot change it. Returns the rest of the text.
const char* readNumber(const char* text, double* number) {
    while (*text == ' ') ++text;
    bool negative = false;
    if (*text == '+' || *text == '-') negative = *text++ == '-';
    double value = 0.0;
    bool digits = false;
    for (; *text >= '0' && *text <= '9'; ++text, digits = true) value = value * 10.0 + (*text - '0');
    if (*text == '.' || *text == ',') {
        ++text;
        double scale = 0.1;
        for (; *text >= '0' && *text <= '9'; ++text, digits = true, scale *= 0.1) value += (*text - '0') * scale;
    }
    if (!digits) return nullptr;
    *number = negative ? -value : value;
    while (*text == ' ') ++text;
    return text;
}

// The unit a text names after its number, blanks around it and case aside:
// true when it is one of the given names (the first is the empty name).
bool unitIs(const char* unit, const char* name) {
    std::size_t length = std::strlen(unit);
    while (length > 0 && (unit[length - 1] == ' ' || unit[length - 1] == '\t')) --length;
    if (length != std::strlen(name)) return false;
    for (std::size_t i = 0; i < length; ++i)
        if (std::tolower(static_cast<unsigned char>(unit[i])) != name[i]) return false;
    return true;
}

// A text as compared with a display text: without blanks and plus signs, with a
// point for a decimal comma, in lower case, and with the unit it means when it
// names none.
void comparable(const char* text, const char* impliedUnit, char (&out)[kParameterTextBytes * 2]) {
    std::size_t n = 0;
    bool letters = false;
    for (; *text && n + 1 < sizeof(out); ++text) {
        const unsigned char c = static_cast<unsigned char>(*text);
        if (c == ' ' || c == '\t' || c == '+') continue;
        if (!(c >= '0' && c <= '9') && c != '.' && c != ',' && c != '-') letters = true;
        out[n++] = c == ',' ? '.' : static_cast<char>(std::tolower(c));
    }
    for (; !letters && *impliedUnit && n + 1 < sizeof(out); ++impliedUnit) out[n++] = *impliedUnit;
    out[n] = 0;
}

}  // namespace

bool hammerlyn2ParameterTextValue(std::uint32_t index, const char* text, double* value) noexcept {
    const ParameterInfo* info = parameterInfo(static_cast<int>(index));
    double number = 0.0;
    const char* unit = info && text ? readNumber(text, &number) : nullptr;
    if (!unit) return false;
    double knob = 0.0;
    const char* impliedUnit = "";
    switch (info->unit) {
    case ParameterUnit::Decibel:
        if (!unitIs(unit, "") && !unitIs(unit, "db")) return false;
        impliedUnit = "db";
        knob = (number / 18.0 + 1.0) / 2.0;
        break;
    case ParameterUnit::AttackTime:
    case ParameterUnit::DecayTime: {
        // Milliseconds unless the text says seconds, as the display does.
        const bool inSeconds = unitIs(unit, "s");
        if (!inSeconds && !unitIs(unit, "") && !unitIs(unit, "ms")) return false;
        impliedUnit = "ms";
        const double seconds = inSeconds ? number : number / 1000.0;
        const double scale = info->unit == ParameterUnit::AttackTime ? 0.6 : 6.0;
        const double offset = info->unit == ParameterUnit::AttackTime ? ParameterMapping::attackSeconds(0.0)
                                                                      : ParameterMapping::decaySeconds(0.0);
        const double square = (seconds - offset) / scale;
        knob = square > 0.0 ? std::sqrt(square) : 0.0;
        break;
    }
    case ParameterUnit::Percent:
    default:
        if (!unitIs(unit, "") && !unitIs(unit, "%")) return false;
        impliedUnit = "%";
        knob = number / 100.0;
        break;
    }
    const float nearest = static_cast<float>(knob < 0.0 ? 0.0 : (knob > 1.0 ? 1.0 : knob));
    // The nearest knob value may show a neighbouring text where the display
    // changes its decimals ("100 ms" read back as 99.99999 ms shows "100.0 ms"):
    // of the values a few steps around it, the first that shows the text as
    // typed is taken, so that a shown text typed back shows itself again.
    char typed[kParameterTextBytes * 2];
    comparable(text, impliedUnit, typed);
    for (int step = 0; step <= 8; ++step)
        for (const float towards : {2.0f, -1.0f}) {
            float candidate = nearest;
            for (int i = 0; i < step; ++i) candidate = std::nextafter(candidate, towards);
            if (candidate < 0.0f || candidate > 1.0f) continue;
            char shown[kParameterTextBytes * 2];
            char shownComparable[kParameterTextBytes * 2];
            if (!hammerlyn2ParameterValueText(index, candidate, shown, sizeof(shown))) continue;
            comparable(shown, impliedUnit, shownComparable);
            if (std::strcmp(shownComparable, typed) == 0) {
                *value = candidate;
                return true;
            }
        }
    *value = nearest;
    return true;
}
