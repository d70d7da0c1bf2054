#include "instrument/ParameterTable.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <initializer_list>

namespace {

constexpr int kTextBytes = kParameterTextBytes;

void copyText(char* text, const char* source) {
    std::memset(text, 0, kTextBytes);
    std::memcpy(text, source, std::min<std::size_t>(std::strlen(source), kTextBytes - 1));
}

// Fixed-point text without the C library's formatting, so that the host's locale
// never turns the decimal point into a comma.
void formatFixed(double value, int decimals, bool withSign, char* text) {
    double scale = 1.0;
    for (int i = 0; i < decimals; ++i) scale *= 10.0;
    long long units = std::llround(std::fabs(value) * scale);
    const bool negative = value < 0.0 && units != 0;
    const bool positive = value > 0.0 && units != 0;
    char digits[32];
    int n = 0;
    do {
        digits[n++] = static_cast<char>('0' + units % 10);
        units /= 10;
    } while (units != 0 || n <= decimals);
    char out[32];
    int o = 0;
    if (negative)
        out[o++] = '-';
    else if (withSign && positive)
        out[o++] = '+';
    for (int i = n - 1; i >= 0; --i) {
        out[o++] = digits[i];
        if (i == decimals && decimals > 0) out[o++] = '.';
    }
    out[o] = 0;
    copyText(text, out);
}

void formatTime(double seconds, char* text) {
    if (seconds < 1.0) {
        const double ms = seconds * 1000.0;
        formatFixed(ms, ms < 10.0 ? 2 : (ms < 100.0 ? 1 : 0), false, text);
    } else {
        formatFixed(seconds, 2, false, text);
    }
}

}  // namespace

const ParameterIdentity* parameterInfo(int index) noexcept {
    if (index < 0 || index >= kParameterCount) return nullptr;
    return &kParameterIdentities[index];
}

namespace {

// A stage time's formula, seconds = perUnit x (knob^2 x unitsAtFullTurn + offset),
// solved for the knob.
double stageKnob(double seconds, double offset, double unitsAtFullTurn) {
    const double square = (seconds / VoiceEnvelope::secondsPerUnit<double>() - offset) / unitsAtFullTurn;
    return square > 0.0 ? std::sqrt(square) : 0.0;
}

}  // namespace

double ParameterMapping::attackKnob(double seconds) noexcept {
    return stageKnob(seconds, VoiceEnvelope::attackOffset<double>(), VoiceEnvelope::attackUnits(1.0));
}

double ParameterMapping::decayKnob(double seconds) noexcept {
    return stageKnob(seconds, VoiceEnvelope::decayOffset<double>(), VoiceEnvelope::decayUnits(1.0));
}

double parameterInUnits(int index, float value) noexcept {
    const ParameterIdentity* info = parameterInfo(index);
    const double v = ParameterMapping::clampUnit(value);
    if (!info) return 0.0;
    switch (info->unit) {
    case ParameterUnit::Decibel:
        return ParameterMapping::bodyGainDecibels(v);
    case ParameterUnit::AttackTime:
        return ParameterMapping::attackSeconds(v);
    case ParameterUnit::DecayTime:
        return ParameterMapping::decaySeconds(v);
    case ParameterUnit::Percent:
    default:
        return v * 100.0;
    }
}

void formatParameterName(int index, char* text) noexcept {
    const ParameterIdentity* info = parameterInfo(index);
    copyText(text, info ? info->name : "");
}

void formatParameterDisplay(int index, float value, char* text) noexcept {
    const ParameterIdentity* info = parameterInfo(index);
    if (!info) {
        copyText(text, "");
        return;
    }
    const double units = parameterInUnits(index, value);
    switch (info->unit) {
    case ParameterUnit::Decibel:
        formatFixed(units, 1, true, text);
        break;
    case ParameterUnit::AttackTime:
    case ParameterUnit::DecayTime:
        formatTime(units, text);
        break;
    case ParameterUnit::Percent:
    default:
        formatFixed(units, 0, false, text);
        break;
    }
}

void formatParameterLabel(int index, float value, char* text) noexcept {
    const ParameterIdentity* info = parameterInfo(index);
    if (!info) {
        copyText(text, "");
        return;
    }
    switch (info->unit) {
    case ParameterUnit::Decibel:
        copyText(text, "dB");
        break;
    case ParameterUnit::AttackTime:
    case ParameterUnit::DecayTime:
        copyText(text, parameterInUnits(index, value) < 1.0 ? "ms" : "s");
        break;
    case ParameterUnit::Percent:
    default:
        copyText(text, "%");
        break;
    }
}

bool formatParameterValueText(int index, float value, char* text, std::size_t size) noexcept {
    if (!text || size == 0 || !parameterInfo(index)) return false;
    char display[kParameterTextBytes];
    char label[kParameterTextBytes];
    formatParameterDisplay(index, value, display);
    formatParameterLabel(index, value, label);
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

bool readParameterText(int index, const char* text, float* value) noexcept {
    const ParameterIdentity* info = parameterInfo(index);
    double number = 0.0;
    const char* unit = info && text ? readNumber(text, &number) : nullptr;
    if (!unit) return false;
    double knob = 0.0;
    const char* impliedUnit = "";
    switch (info->unit) {
    case ParameterUnit::Decibel:
        if (!unitIs(unit, "") && !unitIs(unit, "db")) return false;
        impliedUnit = "db";
        knob = ParameterMapping::bodyGainKnob(number);
        break;
    case ParameterUnit::AttackTime:
    case ParameterUnit::DecayTime: {
        // Milliseconds unless the text says seconds, as the display does.
        const bool inSeconds = unitIs(unit, "s");
        if (!inSeconds && !unitIs(unit, "") && !unitIs(unit, "ms")) return false;
        impliedUnit = "ms";
        const double seconds = inSeconds ? number : number / 1000.0;
        knob = info->unit == ParameterUnit::AttackTime ? ParameterMapping::attackKnob(seconds)
                                                       : ParameterMapping::decayKnob(seconds);
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
    // typed is taken.
    char typed[kParameterTextBytes * 2];
    comparable(text, impliedUnit, typed);
    for (int step = 0; step <= 8; ++step)
        for (const float towards : {2.0f, -1.0f}) {
            float candidate = nearest;
            for (int i = 0; i < step; ++i) candidate = std::nextafter(candidate, towards);
            if (candidate < 0.0f || candidate > 1.0f) continue;
            char shown[kParameterTextBytes * 2];
            char shownComparable[kParameterTextBytes * 2];
            if (!formatParameterValueText(index, candidate, shown, sizeof(shown))) continue;
            comparable(shown, impliedUnit, shownComparable);
            if (std::strcmp(shownComparable, typed) == 0) {
                *value = candidate;
                return true;
            }
        }
    *value = nearest;
    return true;
}
