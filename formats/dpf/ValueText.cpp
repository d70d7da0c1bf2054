// The texts VST3 and CLAP hosts show for a parameter value: the VST 2 build's
// display and label, e.g. "+3.5 dB" or "120 ms", free of the host's locale.
#include "DistrhoPluginInfo.h"

#include <cmath>
#include <cstring>

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

}  // namespace

bool hammerlyn2ParameterTextValue(std::uint32_t index, const char* text, double* value) noexcept {
    const ParameterInfo* info = parameterInfo(static_cast<int>(index));
    double number = 0.0;
    const char* unit = info && text ? readNumber(text, &number) : nullptr;
    if (!unit) return false;
    double knob = 0.0;
    switch (info->unit) {
    case ParameterUnit::Decibel:
        knob = (number / 18.0 + 1.0) / 2.0;
        break;
    case ParameterUnit::AttackTime:
    case ParameterUnit::DecayTime: {
        // Milliseconds unless the text says seconds, as the display does.
        const double seconds = std::strcmp(unit, "s") == 0 ? number : number / 1000.0;
        const double scale = info->unit == ParameterUnit::AttackTime ? 0.6 : 6.0;
        const double offset = info->unit == ParameterUnit::AttackTime ? ParameterMapping::attackSeconds(0.0)
                                                                      : ParameterMapping::decaySeconds(0.0);
        const double square = (seconds - offset) / scale;
        knob = square > 0.0 ? std::sqrt(square) : 0.0;
        break;
    }
    case ParameterUnit::Percent:
    default:
        knob = number / 100.0;
        break;
    }
    *value = knob < 0.0 ? 0.0 : (knob > 1.0 ? 1.0 : knob);
    return true;
}
