#include "engine/VoiceEnvelope.h"

#include <bit>
#include <cmath>
#include <cstdint>

namespace {

// The reserve's fade, in the stage times' units.
constexpr float kFadeTime = 0.0001f;

static_assert(std::bit_cast<std::uint32_t>(VoiceEnvelope::kThreshold) == 0x3C03126Fu);
static_assert(std::bit_cast<std::uint32_t>(VoiceEnvelope::kTarget[1]) == 0x26901D7Du);
static_assert(std::bit_cast<std::uint32_t>(VoiceEnvelope::attackOffset<float>()) == 0x38D1B717u);
static_assert(std::bit_cast<std::uint32_t>(VoiceEnvelope::decayOffset<float>()) == 0x3951B717u);
static_assert(std::bit_cast<std::uint32_t>(VoiceEnvelope::attackUnits(1.0f)) == 0x3DCCCCCDu);  // 0.1f

// Coefficient that leaves kThreshold of the distance after `samples` steps.
// The reciprocal is taken in float, the power in double, the rest in float.
float stageRate(float samples) noexcept {
    const float exponent = 1.0f / samples;
    const float remaining = static_cast<float>(
        std::pow(static_cast<double>(VoiceEnvelope::kThreshold), static_cast<double>(exponent)));
    return 1.0f - remaining;
}

}  // namespace

VoiceEnvelope::VoiceEnvelope() noexcept {
    for (auto& r : rates) r.store(0.0f, std::memory_order_relaxed);
}

void VoiceEnvelope::setRates(float sampleRate, float attack, float decay, float release) noexcept {
    const float n = sampleRate * secondsPerUnit<float>();
    constexpr auto relaxed = std::memory_order_relaxed;
    rates[Attack].store(stageRate(n * (attackUnits(attack) + attackOffset<float>())), relaxed);
    rates[Decay].store(stageRate(n * (decayUnits(decay) + decayOffset<float>())), relaxed);
    rates[Release].store(stageRate(n * (decayUnits(release) + decayOffset<float>())), relaxed);
    rates[Fade].store(stageRate(n * kFadeTime), relaxed);
    rates[Idle].store(0.0f, relaxed);
}
