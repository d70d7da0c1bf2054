// A short piece for comparing renders between formats: notes of every velocity
// range, notes on neighbouring and identical frames, pitch bends up to the top
// of the range, all-notes-off by controllers 123 and 126, and a note on with
// velocity 0. Frames count from the start of the render at 44.1 kHz.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

struct ScoreEvent {
    std::uint32_t frame;
    unsigned char status, data1, data2;
};

inline const std::vector<ScoreEvent>& comparisonScore() {
    static const std::vector<ScoreEvent> score = {
        {0, 0x90, 60, 100},     {1, 0x90, 64, 64},      {4410, 0x90, 67, 127},  {10000, 0xE0, 0x68, 0x47},
        {15000, 0xE0, 0x7F, 0x7F}, {20000, 0x80, 60, 0},   {22050, 0x90, 72, 1},   {30000, 0xB0, 123, 0},
        {30001, 0x90, 48, 90},  {40000, 0x90, 48, 0},   {40010, 0xE0, 0x00, 0x40}, {45000, 0x90, 55, 110},
        {45000, 0x90, 59, 80},  {52000, 0xE0, 0x00, 0x00}, {60000, 0xB0, 126, 0}, {60500, 0x90, 62, 70},
        {66000, 0x80, 62, 64},
    };
    return score;
}
constexpr std::uint32_t kScoreFrames = 70000;

// Knob settings away from program 0 applied before the piece, so that the
// parameters' routes are compared as well: (index, value).
struct ScoreSetting {
    int index;
    float value;
};
inline const std::vector<ScoreSetting>& comparisonSettings() {
    static const std::vector<ScoreSetting> settings = {
        {13, 0.3f}, {14, 0.8f}, {8, 0.2f}, {10, 0.1f}, {12, 0.55f}, {0, 0.35f},
    };
    return settings;
}

// Uneven blocks, from a single frame to 4096, repeated. Renders compared with
// the VST 2 build use the same blocks: all-notes-off takes effect at the start
// of its block in the instrument, so only the same blocks give the same bits.
constexpr std::uint32_t kComparisonBlocks[8] = {1, 37, 1024, 4096, 300, 7, 2048, 513};
constexpr std::uint32_t kComparisonMaxBlock = 4096;

// The frames of each block of a render of kScoreFrames frames.
std::vector<std::uint32_t> comparisonBlocks();

// The score through the VST 2 build at 44.1 kHz in comparisonBlocks(), after
// comparisonSettings() when asked: left channel, then right.
std::vector<float> renderVst2Reference(const std::vector<ScoreEvent>& score, bool withSettings);
// The same in the given blocks (frames of each, in order) for as many frames as
// they add up to. With restored, the settings reach the instance that renders
// through a saved bank (set on another instance, saved, restored), as a
// reopened song brings them; the instrument then sets up every band again,
// which differs in the last bits from an instance that never did.
std::vector<float> renderVst2Reference(const std::vector<ScoreEvent>& score, bool withSettings,
                                       const std::vector<std::uint32_t>& blocks, bool restored = false);

// The index of the first sample where two renders differ bit for bit, or their
// common length when they are equal.
std::size_t firstDifference(const std::vector<float>& a, const std::vector<float>& b);
