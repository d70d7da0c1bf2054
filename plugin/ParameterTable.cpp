#include "plugin/ParameterTable.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

constexpr ParameterInfo kParameters[kParameterCount] = {
    {0, "RND", "RND", ParameterUnit::Percent},
    {1, "SAW", "SAW", ParameterUnit::Percent},
    {2, "SQR", "SQR", ParameterUnit::Percent},
    {3, "PreFilt", "Pre Filter", ParameterUnit::Percent},
    {4, "Damp", "Damp", ParameterUnit::Percent},
    {5, "Vel", "Vel", ParameterUnit::Percent},
    {6, "Key", "Key", ParameterUnit::Percent},
    {7, "Body100", "100", ParameterUnit::Decibel},
    {8, "Body200", "200", ParameterUnit::Decibel},
    {9, "Body300", "300", ParameterUnit::Decibel},
    {10, "Attack", "Attack", ParameterUnit::AttackTime},
    {11, "Decay", "Decay", ParameterUnit::DecayTime},
    {12, "Release", "Release", ParameterUnit::DecayTime},
    {13, "Detune", "Detune", ParameterUnit::Percent},
    {14, "Chorus", "Chorus", ParameterUnit::Percent},
    {15, "Volume", "Volume", ParameterUnit::Percent},
};

constexpr int kTextBytes = 9;  // 8 characters and the terminator

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

float clamp01(float value) {
    if (!(value >= 0.0f)) return 0.0f;  // NaN shows as 0
    return value > 1.0f ? 1.0f : value;
}

// Stage times of the envelope for a knob value, in seconds.
double attackSeconds(float v) { return 0.6 * double(v) * double(v) + 0.0006; }
double decaySeconds(float v) { return 6.0 * double(v) * double(v) + 0.0012; }

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

int findParameter(const char* name) noexcept {
    if (!name) return -1;
    auto same = [](const char* a, const char* b) {
        for (; *a && *b; ++a, ++b) {
            char ca = *a, cb = *b;
            if (ca >= 'A' && ca <= 'Z') ca = static_cast<char>(ca - 'A' + 'a');
            if (cb >= 'A' && cb <= 'Z') cb = static_cast<char>(cb - 'A' + 'a');
            if (ca != cb) return false;
        }
        return *a == *b;
    };
    for (const ParameterInfo& p : kParameters)
        if (same(name, p.name) || same(name, p.panelLabel)) return p.index;
    return -1;
}

double parameterInUnits(int index, float value) noexcept {
    const ParameterInfo* info = parameterInfo(index);
    const float v = clamp01(value);
    if (!info) return 0.0;
    switch (info->unit) {
    case ParameterUnit::Decibel:
        return (double(v) * 2.0 - 1.0) * 18.0;
    case ParameterUnit::AttackTime:
        return attackSeconds(v);
    case ParameterUnit::DecayTime:
        return decaySeconds(v);
    case ParameterUnit::Percent:
    default:
        return double(v) * 100.0;
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
