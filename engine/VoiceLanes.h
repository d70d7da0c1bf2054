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
// Where things are:
//  - engine/LaneOps.h: the vector operations of each instruction set.
//  - engine/VoiceLanesKernel.inc: the kernels, written once in those
//    operations and compiled once per instruction set; each compilation fills
//    one Kernels table. use() picks the table once; nothing else looks at the
//    instruction set.
//  - here and VoiceLanes.cpp: the state and the scalar steps around the
//    kernels (loading the voices into lanes, starting and finishing passes,
//    switching tables, ending envelope stages).
//
// The sounding voices take the lanes from 0 on, in voice order; groups with
// few sounding voices run narrower (four lanes), and a lone voice runs its
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
    static constexpr int kQuads = kLanes / 4;
    // The bank: voice i's table t at (2 * i + t) * kTableOffset, then one
    // scratch table that passes write for lanes that want no new table.
    static constexpr int kScratch = 2 * kLanes * StringVoice::kTableOffset;
    static constexpr int kBankFloats = kScratch + StringVoice::kTableOffset;
    static int tableStart(int lane, int table) { return (2 * lane + table) * StringVoice::kTableOffset; }
    static constexpr int kChunk = 64;  // samples rendered between mixes
    static constexpr int kSlice = 16;  // samples a group renders before the next takes its turn
    static constexpr int kStages = VoiceEnvelope::kStageCount;

    // The instruction sets the lanes can run on: Portable (plain C++, four
    // lanes), Sse2 (four lanes, every x86), Avx2 (eight lanes, x86-64 where
    // cpuid reports it, Linux and Windows) and Simd128 (four lanes,
    // WebAssembly built with SIMD).
    enum class Path : int { Portable = 0, Sse2 = 1, Avx2 = 2, Simd128 = 3 };
    static bool available(Path path) noexcept;
    // The fastest available path.
    static Path best() noexcept;

    // The entry points of one instruction set's kernels.
    struct Kernels {
        // Renders `count` (<= kChunk) samples of every sounding lane into
        // lanes.out, or lone.out for a voice alone.
        void (*renderChunk)(VoiceLanes& lanes, int count);
        // Computes the next table of every sounding voice that lacks it.
        void (*computeNextTables)(VoiceLanes& lanes);
        // Adds the chunk's `count` samples into `mix`, lane after lane.
        void (*mixChunk)(const VoiceLanes& lanes, float* mix, int count);
    };

    VoiceLanes() noexcept;
    // Renders with the path's kernels from now on; false (and nothing
    // changes) for a path this processor or build cannot run.
    bool use(Path path) noexcept;
    Path path() const noexcept { return currentPath; }

    // Renders `count` samples of every active voice, adding them into `mix`
    // in voice order, as the voices one after another would.
    void render(int count, float* mix) noexcept;

    // The engine's voices: voice i's tables lie at tableStart(i, 0).
    StringVoice* voices[kLanes] = {};
    float* bank = nullptr;  // kBankFloats floats
    int voiceCount = 0;

    // The lanes of the span being rendered: each sounding lane's voice and
    // where that voice's table 0 starts in the bank; lanes from laneCount on
    // hold no voice. The groups of four lanes with a sounding voice, in lane
    // order: where their rows start in lanes.out and which of their lanes
    // sound.
    StringVoice* laneVoices[kLanes] = {};
    std::int32_t laneTables[kLanes] = {};
    int laneCount = 0;
    int soundingCount = 0;  // a voice alone leaves its samples in lone.out only
    int quadStart[kQuads] = {};
    unsigned quadLanes[kQuads] = {};
    int quadCount = 0;
    int laneTableStart(int lane, int table) const {
        return laneTables[lane] + table * StringVoice::kTableOffset;
    }

    // Per-lane voice state while a span renders, loaded from the voices at
    // its start and written back at its end.
    struct Lanes {
        alignas(32) float p0[kLanes];  // head positions
        alignas(32) float p1[kLanes];
        alignas(32) float p2[kLanes];
        alignas(32) float inc0[kLanes];  // head increments
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
    } lanes;

    // The smoothing passes of the voices that want their next table, run
    // side by side. Slot s < count holds the pass of lane lane[s] (packed),
    // the slots after them read and write the scratch table.
    struct Passes {
        alignas(32) float coefficient[kLanes];
        alignas(32) float state0[kLanes];
        alignas(32) float state1[kLanes];
        std::int32_t in[kLanes];   // the current table's start in the bank
        std::int32_t out[kLanes];  // the next table's start, or kScratch
        std::int32_t lane[kLanes];
        int count = 0;
    } passes;

    // A voice alone. Its samples are computed ahead of the vectors that read
    // its tables (see renderLone in VoiceLanesKernel.inc); the vectors may run
    // up to a vector's width past the chunk.
    //
    // Its smoothing pass is spread over its samples: between its samples it
    // computes entries of its next table (as many per sample as its head 0
    // advances, plus one), so that the pass's serial chain overlaps its
    // rendering. Lane v has one running where passNext[v] >= 0 (the next
    // entry). Passes of other lanes leave such a lane out; its head 0
    // wrapping first completes the pass at once, and every pass completes
    // before render() returns.
    static constexpr int kLonePad = 8;
    struct Lone {
        alignas(32) float p0[kChunk + kLonePad] = {};
        alignas(32) float p1[kChunk + kLonePad] = {};
        alignas(32) float p2[kChunk + kLonePad] = {};
        alignas(32) float envelope[kChunk + kLonePad] = {};
        alignas(32) float out[kChunk + kLonePad] = {};
        std::int32_t passNext[kLanes] = {};
        float passState0[kLanes] = {};
        float passState1[kLanes] = {};
        float passCoefficient[kLanes] = {};
        std::int32_t passIn[kLanes] = {};
        std::int32_t passOut[kLanes] = {};
    } lone;

    // The scalar steps around the kernels (rare).
    // Starts lane v's lone pass if it lacks its next table; returns whether it did.
    bool startLonePass(int v) noexcept;
    // Computes the rest of lane v's lone pass and marks its next table ready.
    void completeLonePass(int v) noexcept;
    // Marks the pass inputs of every active voice whose next table is not
    // ready; returns false if there is none.
    bool preparePasses() noexcept;
    // Writes the filter states back and marks the next tables ready.
    void finishPasses() noexcept;
    // Head 0 of the lanes in `wrapped` (bits from `firstLane`) wrapped: each
    // switches to its next table, computed first if it is not ready.
    void wrapHeads(int firstLane, unsigned wrapped) noexcept;
    // Whether every lane of `count` from `lane0` has its head positions and
    // increments in 0..511, so that its positions stay there while it renders.
    bool inRange(int lane0, int count) const noexcept;
    // Envelope stages of the lanes in `ended` (bits from `firstLane`) end.
    void advanceStages(int firstLane, unsigned ended) noexcept;

private:
    const Kernels* kernels;
    Path currentPath = Path::Portable;
};
