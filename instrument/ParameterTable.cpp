#include "instrument/ParameterTable.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

constexpr ParameterInfo kParameters[kParameterCount] = {
    {0, kParameterIdentities[0].name, ParameterUnit::Percent},
    {1, kParameterIdentities[1].name, ParameterUnit::Percent},
    {2, kParameterIdentities[2].name, ParameterUnit::Percent},
    {3, kParameterIdentities[3].name, ParameterUnit::Percent},
    {4, kParameterIdentities[4].name, ParameterUnit::Percent},
    {5, kParameterIdentities[5].name, ParameterUnit::Percent},
    {6, kParameterIdentities[6].name, ParameterUnit::Percent},
    {7, kParameterIdentities[7].name, ParameterUnit::Decibel},
    {8, kParameterIdentities[8].name, ParameterUnit::Decibel},
    {9, kParameterIdentities[9].name, ParameterUnit::Decibel},
    {10, kParameterIdentities[10].name, ParameterUnit::AttackTime},
    {11, kParameterIdentities[11].name, ParameterUnit::DecayTime},
    {12, kParameterIdentities[12].name, ParameterUnit::DecayTime},
    {13, kParameterIdentities[13].name, ParameterUnit::Percent},
    {14, kParameterIdentities[14].name, ParameterUnit::Percent},
    {15, kParameterIdentities[15].name, ParameterUnit::Percent},
};

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

const ParameterInfo* parameterInfo(int index) noexcept {
    if (index < 0 || index >= kParameterCount) return nullptr;
    return &kParameters[index];
}

double parameterInUnits(int index, float value) noexcept {
    const ParameterInfo* info = parameterInfo(index);
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
    const ParameterInfo* info = parameterInfo(index);
    copyText(text, info ? info->name : "");
}

void formatParameterDisplay(int index, float value, char* text) noexcept {
    const ParameterInfo* info = parameterInfo(index);
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
    const ParameterInfo* info = parameterInfo(index);
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
