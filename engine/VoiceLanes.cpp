#include "engine/VoiceLanes.h"

#include "engine/LaneOps.h"

// The kernels, compiled once per instruction set. Each inclusion names the
// set's target attribute, its vector operations (LANES_OPS, 4 or 8 lanes)
// and its four-lane operations (LANES_QUAD), and defines `kernels`, the set's
// entry points.
namespace portable_lanes {
#define LANES_TARGET
#define LANES_OPS lane_ops::PortableOps
#define LANES_QUAD lane_ops::PortableOps
#include "engine/VoiceLanesKernel.inc"
}  // namespace portable_lanes

#if defined(HAMMERLYN2_LANES_X86)
namespace sse2_lanes {
#define LANES_TARGET
#define LANES_OPS lane_ops::Sse2Ops
#define LANES_QUAD lane_ops::Sse2Ops
#include "engine/VoiceLanesKernel.inc"
}  // namespace sse2_lanes
#endif

#if defined(HAMMERLYN2_LANES_AVX2)
namespace avx2_lanes {
#define LANES_TARGET __attribute__((target("avx2")))
#define LANES_OPS lane_ops::Avx2Ops
#define LANES_QUAD lane_ops::Sse2Ops
#include "engine/VoiceLanesKernel.inc"
}  // namespace avx2_lanes
#endif

#if defined(HAMMERLYN2_LANES_SIMD128)
namespace simd128_lanes {
#define LANES_TARGET
#define LANES_OPS lane_ops::Simd128Ops
#define LANES_QUAD lane_ops::Simd128Ops
#include "engine/VoiceLanesKernel.inc"
}  // namespace simd128_lanes
#endif

namespace {

// Every path's kernels, by VoiceLanes::Path; null where the build has none.
constexpr const VoiceLanes::Kernels* kKernelTable[] = {
    &portable_lanes::kernels,
#if defined(HAMMERLYN2_LANES_X86)
    &sse2_lanes::kernels,
#else
    nullptr,
#endif
#if defined(HAMMERLYN2_LANES_AVX2)
    &avx2_lanes::kernels,
#else
    nullptr,
#endif
#if defined(HAMMERLYN2_LANES_SIMD128)
    &simd128_lanes::kernels,
#else
    nullptr,
#endif
};

}  // namespace

bool VoiceLanes::available(Path path) noexcept {
    const int index = static_cast<int>(path);
    if (index < 0 || index > static_cast<int>(Path::Simd128) || kKernelTable[index] == nullptr) return false;
#if defined(HAMMERLYN2_LANES_AVX2)
    if (path == Path::Avx2) {
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx2");
    }
#endif
    return true;
}

VoiceLanes::Path VoiceLanes::best() noexcept {
    if (available(Path::Simd128)) return Path::Simd128;
    if (available(Path::Avx2)) return Path::Avx2;
    if (available(Path::Sse2)) return Path::Sse2;
    return Path::Portable;
}

VoiceLanes::VoiceLanes() noexcept : kernels(kKernelTable[0]) { use(best()); }

bool VoiceLanes::use(Path path) noexcept {
    if (!available(path)) return false;
    kernels = kKernelTable[static_cast<int>(path)];
    currentPath = path;
    return true;
}

bool VoiceLanes::preparePasses() noexcept {
    int n = 0;
    for (int v = 0; v < kLanes; ++v) {
        // A lone voice's pass running over its samples is left out.
        const StringVoice* voice = lone.passNext[v] < 0 ? laneVoices[v] : nullptr;
        if (voice == nullptr || lanes.active[v] == 0 || voice->nextReady) continue;
        passes.lane[n] = v;
        passes.in[n] = laneTableStart(v, voice->currentTable);
        passes.out[n] = laneTableStart(v, 1 - voice->currentTable);
        passes.coefficient[n] = voice->dampingCoefficient;
        passes.state0[n] = voice->filterState[0];
        passes.state1[n] = voice->filterState[1];
        ++n;
    }
    passes.count = n;
    for (int s = n; s < kLanes; ++s) {
        passes.in[s] = passes.out[s] = kScratch;
        passes.coefficient[s] = passes.state0[s] = passes.state1[s] = 0.0f;
    }
    return n > 0;
}

void VoiceLanes::finishPasses() noexcept {
    for (int s = 0; s < passes.count; ++s) {
        StringVoice& voice = *laneVoices[passes.lane[s]];
        float* next = bank + passes.out[s];
        StringVoice::closeTable(next);
        voice.filterState[0] = passes.state0[s];
        voice.filterState[1] = passes.state1[s];
        voice.nextReady = true;
    }
}

void VoiceLanes::wrapHeads(int firstLane, unsigned wrapped) noexcept {
    for (int b = 0; wrapped != 0; ++b, wrapped >>= 1) {
        if ((wrapped & 1u) == 0) continue;
        const int v = firstLane + b;
        StringVoice& voice = *laneVoices[v];
        if (lone.passNext[v] >= 0) completeLonePass(v);
        if (!voice.nextReady) kernels->computeNextTables(*this);
        voice.currentTable ^= 1;
        voice.nextReady = false;
        lanes.base[v] = laneTableStart(v, voice.currentTable);
    }
}

bool VoiceLanes::startLonePass(int v) noexcept {
    const StringVoice* voice = laneVoices[v];
    if (voice == nullptr || lanes.active[v] == 0 || voice->nextReady) return false;
    lone.passIn[v] = laneTableStart(v, voice->currentTable);
    lone.passOut[v] = laneTableStart(v, 1 - voice->currentTable);
    lone.passCoefficient[v] = voice->dampingCoefficient;
    lone.passState0[v] = voice->filterState[0];
    lone.passState1[v] = voice->filterState[1];
    lone.passNext[v] = 0;
    return true;
}

void VoiceLanes::completeLonePass(int v) noexcept {
    const float* in = bank + lone.passIn[v];
    float* out = bank + lone.passOut[v];
    const float c = lone.passCoefficient[v];
    float f0 = lone.passState0[v], f1 = lone.passState1[v];
    for (int i = lone.passNext[v]; i < StringVoice::kTableLength; ++i) {
        f0 = (in[i] - f0) * c + f0;
        f1 = (f0 - f1) * c + f1;
        out[i] = f1;
    }
    StringVoice::closeTable(out);
    StringVoice& voice = *laneVoices[v];
    voice.filterState[0] = f0;
    voice.filterState[1] = f1;
    voice.nextReady = true;
    lone.passNext[v] = -1;
}

bool VoiceLanes::inRange(int lane0, int count) const noexcept {
    constexpr float kTable = static_cast<float>(StringVoice::kTableLength);
    const auto within = [](float x) { return x >= 0.0f && x <= kTable; };  // false for NaN
    for (int v = lane0; v < lane0 + count; ++v)
        if (!(within(lanes.p0[v]) && within(lanes.p1[v]) && within(lanes.p2[v]) && within(lanes.inc0[v]) && within(lanes.inc1[v]) &&
              within(lanes.inc2[v])))
            return false;
    return true;
}

void VoiceLanes::advanceStages(int firstLane, unsigned ended) noexcept {
    for (int b = 0; ended != 0; ++b, ended >>= 1) {
        if ((ended & 1u) == 0) continue;
        const int v = firstLane + b;
        const int s = ++lanes.stage[v];
        lanes.target[v] = VoiceEnvelope::kTarget[s];
        lanes.rate[v] = lanes.stageRates[s][v];
    }
}

void VoiceLanes::render(int count, float* mix) noexcept {
    if (count < 1) return;
    // The sounding voices take the lanes from 0 on, in voice order.
    int sounding = 0;
    for (int i = 0; i < voiceCount; ++i) {
        StringVoice* voice = voices[i];
        if (voice == nullptr || !voice->isActive) continue;
        laneVoices[sounding] = voice;
        laneTables[sounding] = tableStart(i, 0);
        ++sounding;
    }
    laneCount = sounding;
    soundingCount = sounding;
    if (sounding == 0) return;  // the lanes are set up afresh by every call
    for (int v = 0; v < kLanes; ++v) {
        lone.passNext[v] = -1;
        if (v >= sounding) {
            laneVoices[v] = nullptr;
            laneTables[v] = kScratch;
            lanes.active[v] = 0;
            lanes.base[v] = kScratch;
            lanes.p0[v] = lanes.p1[v] = lanes.p2[v] = lanes.inc0[v] = lanes.inc1[v] = lanes.inc2[v] = 0.0f;
            lanes.gain[v] = lanes.level[v] = lanes.target[v] = lanes.rate[v] = 0.0f;
            lanes.stage[v] = VoiceEnvelope::Idle;
            continue;
        }
        const StringVoice& voice = *laneVoices[v];
        lanes.active[v] = -1;
        lanes.p0[v] = voice.phases[0];
        lanes.p1[v] = voice.phases[1];
        lanes.p2[v] = voice.phases[2];
        lanes.inc0[v] = voice.increments[0];
        lanes.inc1[v] = voice.increments[1];
        lanes.inc2[v] = voice.increments[2];
        lanes.gain[v] = voice.velocityGain;
        const VoiceEnvelope& env = voice.env;
        for (int s = 0; s < kStages; ++s) lanes.stageRates[s][v] = env.rate(s);
        lanes.stage[v] = env.stage();
        lanes.level[v] = env.level();
        lanes.target[v] = VoiceEnvelope::kTarget[env.stage()];
        lanes.rate[v] = lanes.stageRates[env.stage()][v];
        lanes.base[v] = laneTableStart(v, voice.currentTable);
    }
    quadCount = 0;
    for (int q = 0; q < kQuads; ++q) {
        unsigned sound = 0;
        for (int b = 0; b < 4; ++b) sound |= lanes.active[4 * q + b] != 0 ? 1u << b : 0u;
        if (sound == 0) continue;
        quadStart[quadCount] = (4 * q / kGroupWidth) * kChunk * kGroupWidth + (4 * q) % kGroupWidth;
        quadLanes[quadCount++] = sound;
    }

    for (int start = 0; start < count; start += kChunk) {
        const int n = count - start < kChunk ? count - start : kChunk;
        kernels->renderChunk(*this, n);
        kernels->mixChunk(*this, mix + start, n);
    }

    // The lone voices' passes still running end here: the lanes change with the next block.
    for (int v = 0; v < sounding; ++v)
        if (lone.passNext[v] >= 0) completeLonePass(v);

    for (int v = 0; v < sounding; ++v) {
        StringVoice& voice = *laneVoices[v];
        voice.phases[0] = lanes.p0[v];
        voice.phases[1] = lanes.p1[v];
        voice.phases[2] = lanes.p2[v];
        voice.env.hold(lanes.stage[v], lanes.level[v]);
        voice.isActive = lanes.stage[v] != VoiceEnvelope::Idle;
    }
}
