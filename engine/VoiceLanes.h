#pragma once

#include <cstdint>

#include "engine/StringVoice.h"

// The voices of one engine rendered side by side: voice v runs in lane v of
// the lane bank, so one SIMD instruction advances several voices by one
// sample. Every lane computes, operation for operation, what one voice alone
// would compute (the same float32 operations in the same order, no fused
// multiply-adds), so the output does not depend on the instruction set used.
//
// Each voice keeps two tables in the bank: the one its heads read and the next
// period's. The next one is computed only when it is needed (when head 0 of a
// voice without it wraps), and then for every voice that lacks it at once, the
// voices' smoothing passes running side by side; the heads switch tables at
// exactly the sample where head 0 wraps.
//
// Paths: Portable (plain C++, four lanes), SSE2 (four lanes, every x86) and
// AVX2 (eight lanes, x86-64 where cpuid reports it), each function of a path
// compiled for its instruction set alone (GCC target attributes). The
// sounding voices take the lanes from 0 on, in voice order; groups with few
// sounding voices run narrower (four lanes), and a lone voice runs its
// samples as vectors across time instead, computing its next table over its
// own samples. Heads read entries i and i+1 of a table as one 64-bit pair;
// passes turn blocks of entries between the voices' tables and vectors
// across the lanes.
//
// Nothing here allocates, locks or makes a system call.
struct VoiceLanes {
    static constexpr int kGroupWidth = 8;  // lanes of one group of `out`
    static constexpr int kGroups = 3;      // 24 lanes for 17 voices
    static constexpr int kLanes = kGroups * kGroupWidth;
    // The bank: voice i's table t at (2 * i + t) * kTableOffset, then one
    // scratch table that passes write for lanes that want no new table.
    static constexpr int kScratch = 2 * kLanes * StringVoice::kTableOffset;
    static constexpr int kBankFloats = kScratch + StringVoice::kTableOffset;
    static int tableStart(int lane, int table) { return (2 * lane + table) * StringVoice::kTableOffset; }
    static constexpr int kChunk = 64;  // samples rendered between mixes
    static constexpr int kSlice = 16;  // samples a group renders before the next takes its turn
    static constexpr int kStages = VoiceEnvelope::kStageCount;

    // The instruction sets the lanes can run on; Avx2 only on x86-64 (not in
    // the Windows builds) and where the processor has it.
    enum class Path : int { Portable = 0, Sse2 = 1, Avx2 = 2 };
    static bool available(Path path) noexcept;
    // The fastest available path.
    static Path best() noexcept;

    // Renders `count` samples of every active voice, adding them into `mix`
    // in voice order, as the voices one after another would.
    void render(Path path, int count, float* mix) noexcept;

    // Lane state while a span renders. The sounding voices take lanes 0, 1, ...
    // in voice order (lane v is laneVoices[v]), so that they fill whole groups.
    alignas(32) float p0[kLanes];
    alignas(32) float p1[kLanes];
    alignas(32) float p2[kLanes];
    alignas(32) float inc0[kLanes];
    alignas(32) float inc1[kLanes];
    alignas(32) float inc2[kLanes];
    alignas(32) float gain[kLanes];  // velocity gain
    float volume = 0.0f;             // the Volume knob
    alignas(32) float level[kLanes];
    alignas(32) float target[kLanes];
    alignas(32) float rate[kLanes];
    alignas(32) std::int32_t stage[kLanes];
    alignas(32) std::int32_t base[kLanes];    // where the current table starts in the bank
    alignas(32) std::int32_t active[kLanes];  // all ones for a voice that renders
    alignas(32) float stageRates[kStages][kLanes];
    alignas(32) float out[kGroups * kChunk * kGroupWidth];  // [group][sample][lane]

    // Smoothing-pass inputs, gathered when a pass runs: slot s < passCount
    // holds the pass of lane passLane[s] (the lanes that want their next
    // table, packed), the slots after them read and write the scratch table.
    alignas(32) float passCoefficient[kLanes];
    alignas(32) float passState0[kLanes];
    alignas(32) float passState1[kLanes];
    std::int32_t passIn[kLanes];   // the current table's start in the bank
    std::int32_t passOut[kLanes];  // the next table's start, or kScratch
    std::int32_t passLane[kLanes];
    int passCount = 0;

    StringVoice* voices[kLanes] = {};  // voice i's tables lie at tableStart(i, 0)
    float* bank = nullptr;             // kBankFloats floats
    int voiceCount = 0;

    // The lanes of the span being rendered: each sounding lane's voice and
    // where that voice's table 0 starts in the bank; lanes from laneCount on
    // hold no voice.
    StringVoice* laneVoices[kLanes] = {};
    std::int32_t laneTables[kLanes] = {};
    int laneCount = 0;
    int soundingCount = 0;  // a voice alone leaves its samples in loneOut only
    int laneTableStart(int lane, int table) const {
        return laneTables[lane] + table * StringVoice::kTableOffset;
    }

    // A lone voice's samples, computed ahead of the vectors that read its
    // tables (see renderLone in VoiceLanesKernel.inc); the vectors may run up
    // to a vector's width past the chunk.
    static constexpr int kLonePad = 8;
    alignas(32) float loneP0[kChunk + kLonePad] = {};
    alignas(32) float loneP1[kChunk + kLonePad] = {};
    alignas(32) float loneP2[kChunk + kLonePad] = {};
    alignas(32) float loneEnvelope[kChunk + kLonePad] = {};
    alignas(32) float loneOut[kChunk + kLonePad] = {};

    // A lone voice's smoothing pass spread over its samples: between its
    // samples it computes entries of its next table (as many per sample as its
    // head 0 advances, plus one), so that the pass's serial chain overlaps its
    // rendering. Lane v has one running where passNext[v] >= 0 (the next
    // entry), with the filter state, coefficient and tables in the lonePass
    // arrays. Passes of other lanes leave such a lane out; its head 0
    // wrapping first completes the pass at once, and every pass completes
    // before render() returns.
    std::int32_t passNext[kLanes] = {};
    float lonePassState0[kLanes] = {};
    float lonePassState1[kLanes] = {};
    float lonePassCoefficient[kLanes] = {};
    std::int32_t lonePassIn[kLanes] = {};
    std::int32_t lonePassOut[kLanes] = {};
    // Starts lane v's pass if it lacks its next table; returns whether it did.
    bool startLonePass(int v) noexcept;
    // Computes the rest of lane v's pass and marks its next table ready.
    void completeLonePass(int v) noexcept;

    // Helpers of the paths (scalar, rare).
    // Marks the pass inputs of every active voice whose next table is not
    // ready; returns false if there is none.
    bool preparePasses() noexcept;
    // Writes the filter states back and marks the next tables ready.
    void finishPasses() noexcept;
    // Head 0 of the lanes in `lanes` (bits from `firstLane`) wrapped: each
    // switches to its next table, computed first if it is not ready.
    void wrapHeads(Path path, int firstLane, unsigned lanes) noexcept;
    // Whether every lane of `count` from `lane0` has its head positions and
    // increments in 0..511, so that its positions stay there while it renders.
    bool inRange(int lane0, int count) const noexcept;
    // Envelope stages of the lanes in `lanes` (bits from `firstLane`) end.
    void advanceStages(int firstLane, unsigned lanes) noexcept;
    // Computes the next table of every active voice that lacks it.
    void computeNextTables(Path path) noexcept;
};
