#pragma once

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <vector>

#include "engine/VoiceEngine.h"

// A playable sound: a little of every excitation, moderate losses (the
// engine's numbering, VoiceParameter).
using VoiceProgram = std::array<float, VoiceEngine::kParamCount>;
inline constexpr VoiceProgram kTestProgram{0.6f, 0.3f, 0.2f, 0.8f, 0.9f, 0.5f, 0.4f, 0.1f, 0.7f, 0.3f, 0.5f, 0.8f};

inline void loadProgram(VoiceEngine& engine, const VoiceProgram& program = kTestProgram) {
    for (int i = 0; i < VoiceEngine::kParamCount; ++i) engine.setParam(i, program[i]);
    engine.recomputeEnvelopeRates();
}

// A mix buffer with guard words on both sides.
struct Buffers {
    static constexpr int kGuard = 16;
    static constexpr float kCanary = 12345.0f;
    std::vector<float> mix;

    explicit Buffers(int count) : mix(static_cast<std::size_t>(count) + 2 * kGuard, 0.0f) {
        std::fill_n(mix.begin(), kGuard, kCanary);
        std::fill_n(mix.end() - kGuard, kGuard, kCanary);
    }
    int size() const { return static_cast<int>(mix.size()) - 2 * kGuard; }
    float* mixData() { return mix.data() + kGuard; }
    float operator[](int i) const { return mix[kGuard + i]; }
    std::vector<float> samples() const { return {mix.begin() + kGuard, mix.end() - kGuard}; }
    bool guardsIntact() const {
        for (int i = 0; i < kGuard; ++i)
            if (mix[i] != kCanary || mix[mix.size() - 1 - i] != kCanary)
                return false;
        return true;
    }
};

// Renders one block of `count` samples into fresh buffers.
inline std::vector<float> renderBlock(VoiceEngine& engine, int count) {
    Buffers b(count);
    engine.render(b.mixData(), count);
    return b.samples();
}

inline int firstNonZero(const std::vector<float>& s) {
    for (size_t i = 0; i < s.size(); ++i)
        if (s[i] != 0.0f) return static_cast<int>(i);
    return -1;
}

inline bool sameBits(const std::vector<float>& a, const std::vector<float>& b) {
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(float)) == 0;
}
