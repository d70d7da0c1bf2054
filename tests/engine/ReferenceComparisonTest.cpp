#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

#if defined(__x86_64__)
#include <cpuid.h>
#endif

#include "engine/VoiceEngine.h"
#include "engine/VoiceLanes.h"
#include "tests/engine/EngineTestSupport.h"
#include "tests/engine/ReferenceEngine.h"
#include "tests/engine/ReferenceVoice.h"

namespace {

// Drives the engine and the scalar reference with the same random calls and
// compares every block to the bit: notes (junk ones too) and velocities,
// releases, bends, knob changes, sample rates from absurdly low (a head
// passing the whole table in one sample) to 768 kHz, block sizes from 0 to
// 3000 with some blocks rendered in pieces, silencing, dropped blocks, and
// enough notes to steal voices; now and then a flood of thousands of events.
class Session {
public:
    Session(unsigned seed, VoiceLanes::Path path) : rng(seed) {
        engine = std::make_unique<VoiceEngine>();
        reference = std::make_unique<ReferenceEngine>();
        ok = engine->useLanePath(path);
        newProgram();
        newRate();
    }

    bool ok = false;

    // Plays and renders one block; returns false at the first differing bit.
    bool block() {
        const int count = pick(10) == 0 ? pick(4) : pick(3000);
        const int events = pick(30) == 0 ? pick(3000) : pick(4) == 0 ? pick(60) : pick(6);
        for (int e = 0; e < events; ++e) event(count);
        if (pick(40) == 0) newProgram();
        if (pick(60) == 0) newRate();
        if (pick(80) == 0) {
            engine->silenceAll();
            reference->silenceAll();
        }
        if (pick(50) == 0) {
            engine->discardEvents();
            reference->discardEvents();
            return true;
        }
        std::vector<float> a(count + 1, 0.25f), b(count + 1, 0.25f);
        // The engine may render in pieces; the reference renders the block whole.
        int done = 0;
        while (pick(3) == 0 && done < count) {
            const int piece = pick(count - done + 1);
            engine->renderPartial(a.data() + done, piece);
            done += piece;
        }
        engine->render(a.data() + done, count - done);
        reference->render(b.data(), count);
        return std::memcmp(a.data(), b.data(), a.size() * sizeof(float)) == 0;
    }

private:
    int pick(int n) { return n <= 1 ? 0 : std::uniform_int_distribution<int>(0, n - 1)(rng); }
    float unit() { return std::uniform_real_distribution<float>(0.0f, 1.0f)(rng); }

    void event(int count) {
        int offset = pick(count + 1);
        if (pick(20) == 0) offset = pick(2) ? -pick(100) : count + pick(100);
        const int kind = pick(10);
        int note = 24 + pick(80);
        if (pick(30) == 0) note = -40 + pick(200);  // beyond both ends of the table
        if (kind < 5) {
            const float velocity = pick(10) == 0 ? 1.0f : unit();
            engine->noteOn(offset, note, velocity);
            reference->noteOn(offset, note, velocity);
        } else if (kind < 8) {
            engine->noteOff(offset, note);
            reference->noteOff(offset, note);
        } else {
            const float bend = unit() * 2.0f - 1.0f;
            engine->pitchBend(offset, bend);
            reference->pitchBend(offset, bend);
        }
    }

    void newProgram() {
        for (int i = 0; i < VoiceEngine::kParamCount; ++i) {
            float value = unit();
            if (pick(6) == 0) value = static_cast<float>(pick(2));                       // the ends
            if (i == VoiceParameter::PreFilter || i == VoiceParameter::Volume) value *= 2.0f;  // up to clipping
            engine->setParam(i, value);
            reference->setParam(i, value);
            engine->parameterChanged(i);
            reference->parameterChanged(i);
        }
    }

    void newRate() {
        static constexpr float kRates[] = {88200.0f,  96000.0f,  192000.0f, 16000.0f, 44100.0f,
                                           384000.0f, 768000.0f, 2000.0f,   22050.0f, 176400.0f};
        const float rate = kRates[pick(10)];
        engine->setSampleRate(rate);
        reference->setSampleRate(rate);
    }

    std::mt19937 rng;
    std::unique_ptr<VoiceEngine> engine;
    std::unique_ptr<ReferenceEngine> reference;
};

#if defined(__x86_64__)
// AVX2 as cpuid reports it, with the system saving the 256-bit registers (XCR0 bits 1 and 2).
bool processorRunsAvx2() {
    unsigned a = 0, b = 0, c = 0, d = 0, xcr0 = 0, high = 0;
    if (!__get_cpuid(1, &a, &b, &c, &d) || (c & bit_OSXSAVE) == 0) return false;
    __asm__("xgetbv" : "=a"(xcr0), "=d"(high) : "c"(0));
    return (xcr0 & 6u) == 6u && __get_cpuid_count(7, 0, &a, &b, &c, &d) && (b & bit_AVX2) != 0;
}
#endif

}  // namespace

TEST(VoiceEngine, EveryLanePathRendersTheReferenceBits) {
#ifdef NDEBUG
    constexpr unsigned kSeeds = 8;
#else
    constexpr unsigned kSeeds = 3;  // debug and sanitizer builds run many times slower
#endif
    int pathsRun = 0;
    for (VoiceLanes::Path path :
         {VoiceLanes::Path::Portable, VoiceLanes::Path::Sse2, VoiceLanes::Path::Avx2, VoiceLanes::Path::Simd128}) {
        if (!VoiceLanes::available(path)) continue;
        ++pathsRun;
        for (unsigned seed = 1; seed <= kSeeds; ++seed) {
            Session session(seed, path);
            ASSERT_TRUE(session.ok);
            for (int block = 0; block < 40; ++block)
                ASSERT_TRUE(session.block())
                    << "path " << static_cast<int>(path) << " seed " << seed << " block " << block;
        }
    }
    EXPECT_GE(pathsRun, 1);
    // The engine starts on the fastest path the processor has.
    EXPECT_EQ(VoiceEngine().lanePath(), VoiceLanes::best());
#if defined(__x86_64__)
    // ... as the processor itself answers (so that a wrong test of AVX2 cannot
    // leave it out, and every AVX2 comparison above with it, in silence).
    EXPECT_EQ(VoiceLanes::available(VoiceLanes::Path::Avx2), processorRunsAvx2());
    EXPECT_EQ(VoiceEngine().lanePath(), processorRunsAvx2() ? VoiceLanes::Path::Avx2 : VoiceLanes::Path::Sse2);
#endif
}

namespace {

// The engine and the reference driven by the same calls, compared block by block.
class Pair {
public:
    explicit Pair(VoiceLanes::Path path, float rate) {
        ok = engine.useLanePath(path);
        // Every excitation, full detune, short envelope stages, Volume up to clipping.
        constexpr float kKnobs[VoiceEngine::kParamCount] = {0.6f, 0.3f,  0.2f, 0.8f,  0.7f, 0.5f,
                                                            0.5f, 0.05f, 0.3f, 0.05f, 1.0f, 2.0f};
        for (int i = 0; i < VoiceEngine::kParamCount; ++i) {
            engine.setParam(i, kKnobs[i]);
            reference.setParam(i, kKnobs[i]);
            engine.parameterChanged(i);
            reference.parameterChanged(i);
        }
        engine.setSampleRate(rate);
        reference.setSampleRate(rate);
    }
    void noteOn(int note, int offset) {
        engine.noteOn(offset, note, 0.9f);
        reference.noteOn(offset, note, 0.9f);
    }
    void noteOff(int note, int offset) {
        engine.noteOff(offset, note);
        reference.noteOff(offset, note);
    }
    void setSampleRate(float rate) {
        engine.setSampleRate(rate);
        reference.setSampleRate(rate);
    }
    // Renders `count` samples on both; true when every bit agrees.
    bool block(int count) {
        std::vector<float> a(count, 0.125f), b(count, 0.125f);
        engine.render(a.data(), count);
        reference.render(b.data(), count);
        return std::memcmp(a.data(), b.data(), a.size() * sizeof(float)) == 0;
    }

    bool ok = false;

private:
    VoiceEngine engine;
    ReferenceEngine reference;
};

constexpr VoiceLanes::Path kPaths[] = {VoiceLanes::Path::Portable, VoiceLanes::Path::Sse2,
                                       VoiceLanes::Path::Avx2, VoiceLanes::Path::Simd128};
// Block sizes that start and end anywhere in the 64-sample chunks.
constexpr int kBlocks[] = {1, 63, 64, 65, 7, 300, 129, 1000};

}  // namespace

// A voice alone computes its samples a vector at a time between the wraps of
// its head 0; at every rate (up to a wrap every sample), note (junk ones too)
// and block size, through attack, decay, release and silence, it renders the
// reference bits.
TEST(VoiceEngine, LoneVoiceRendersTheReferenceBitsAtEveryRateAndNote) {
    for (VoiceLanes::Path path : kPaths) {
        if (!VoiceLanes::available(path)) continue;
        for (float rate : {2000.0f, 16000.0f, 44100.0f, 96000.0f, 768000.0f}) {
            for (int note : {-30, 12, 48, 84, 115, 160}) {
                Pair pair(path, rate);
                ASSERT_TRUE(pair.ok);
                pair.noteOn(note, 5);
                int block = 0;
                for (int count : kBlocks)
                    ASSERT_TRUE(pair.block(count)) << "path " << static_cast<int>(path) << " rate " << rate
                                                   << " note " << note << " block " << block++;
                pair.noteOff(note, 3);
                for (int count : kBlocks)
                    ASSERT_TRUE(pair.block(count)) << "path " << static_cast<int>(path) << " rate " << rate
                                                   << " note " << note << " release block " << block++;
            }
        }
    }
}

// Sounding voices take the lanes in voice order each block: from 1 to 17
// voices started together and released one at a time (the lanes repacking
// as they fall silent), every path renders the reference bits.
TEST(VoiceEngine, AnyNumberOfVoicesRendersTheReferenceBitsAsTheyFallSilent) {
    for (VoiceLanes::Path path : kPaths) {
        if (!VoiceLanes::available(path)) continue;
        for (int voices = 1; voices <= 17; ++voices) {
            Pair pair(path, 96000.0f);
            ASSERT_TRUE(pair.ok);
            for (int v = 0; v < voices; ++v) pair.noteOn(36 + 5 * v, v);
            ASSERT_TRUE(pair.block(700)) << "path " << static_cast<int>(path) << " voices " << voices;
            for (int v = 0; v < voices; ++v) {
                pair.noteOff(36 + 5 * ((v * 7) % voices), 11);
                for (int count : {97, 1000})
                    ASSERT_TRUE(pair.block(count))
                        << "path " << static_cast<int>(path) << " voices " << voices << " released " << v + 1;
            }
        }
    }
}

// At 511 x 440 Hz the heads of A4 and A5 advance exactly one and two entries
// a sample, so head 0 rests on exactly 511.0 before it wraps: the lanes side
// by side, which read without a range check, still give entry 511 there.
// At 511 x 3520 / 681.5 Hz head 0 of A7 advances 681.5 entries, wraps by 511
// each sample and reads at 511.5 on its fourth: the range check takes that
// read as past the table (entry 511), alone and in a group.
TEST(VoiceEngine, HeadsRestingOnTheTableEndReadTheReferenceBits) {
    constexpr float kPast = 511.0f * 3520.0f / 681.5f;
    constexpr struct {
        float rate;
        int notes[2];
    } kCases[] = {{511.0f * 440.0f, {57, 69}}, {kPast, {93, -1}}, {kPast, {93, 81}}};
    for (VoiceLanes::Path path : kPaths) {
        if (!VoiceLanes::available(path)) continue;
        for (const auto& c : kCases) {
            Pair pair(path, c.rate);
            ASSERT_TRUE(pair.ok);
            for (int note : c.notes)
                if (note >= 0) pair.noteOn(note, 0);
            for (int block = 0; block < 12; ++block)
                ASSERT_TRUE(pair.block(kBlocks[block % 8]))
                    << "path " << static_cast<int>(path) << " rate " << c.rate << " block " << block;
        }
    }
}

// A voice whose heads run far past the table (a junk note at 2 kHz) leaves
// its positions behind in the lone voice's buffers; a lone voice that reads
// without the range check afterwards must not read at them.
TEST(VoiceEngine, LoneVoiceAfterAVoiceOutsideTheTableReadsTheReferenceBits) {
    for (VoiceLanes::Path path : kPaths) {
        if (!VoiceLanes::available(path)) continue;
        Pair pair(path, 2000.0f);
        ASSERT_TRUE(pair.ok);
        pair.noteOn(160, 0);
        ASSERT_TRUE(pair.block(1000));
        pair.noteOff(160, 0);
        for (int block = 0; block < 40; ++block) ASSERT_TRUE(pair.block(1000));
        pair.setSampleRate(96000.0f);
        pair.noteOn(48, 0);
        for (int block = 0; block < 24; ++block)
            ASSERT_TRUE(pair.block(kBlocks[block % 8])) << "path " << static_cast<int>(path) << " block " << block;
    }
}

// A group reads without the range check only when all its lanes are in range:
// one voice whose heads run past the table (a junk note at 2 kHz) in any lane of a
// group of four or of eight, the last one included, makes the whole group
// take the checked reads.
TEST(VoiceEngine, AVoiceOutsideTheTableInAnyLaneOfAGroupReadsTheReferenceBits) {
    for (VoiceLanes::Path path : kPaths) {
        if (!VoiceLanes::available(path)) continue;
        for (int voices : {4, 8}) {
            for (int junk = 0; junk < voices; ++junk) {
                Pair pair(path, 2000.0f);
                ASSERT_TRUE(pair.ok);
                for (int v = 0; v < voices; ++v) pair.noteOn(v == junk ? 160 : 40 + 5 * v, 0);
                for (int block = 0; block < 8; ++block)
                    ASSERT_TRUE(pair.block(kBlocks[block])) << "path " << static_cast<int>(path) << " voices "
                                                            << voices << " junk " << junk << " block " << block;
            }
        }
    }
}

// The lane bank holds more voices than the engine plays: with every one of its
// 24 lanes sounding (three full groups; passes of three chains of eight, or of
// six chains of four), each path renders what 24 scalar voices render one
// after another.
TEST(VoiceLanes, EveryLaneOfTheBankRendersTheReferenceBits) {
    constexpr int kVoices = VoiceLanes::kLanes, kCount = 2500, kPiece = 700;
    const VoiceEngine shapes;  // note frequencies and excitation shapes
    std::array<std::atomic<float>, VoiceEngine::kParamCount> params{};
    for (int i = 0; i < VoiceEngine::kParamCount; ++i) params[i] = kTestProgram[i];
    const auto prepare = [&](auto& voice, int v) {
        voice.setSampleRate(96000.0f);
        voice.setEnvelopeRates(kTestProgram[VoiceParameter::Attack], kTestProgram[VoiceParameter::Decay],
                               kTestProgram[VoiceParameter::Release]);
        voice.start(0.3f + 0.02f * static_cast<float>(v), 24 + 3 * v);  // MIDI 36 to 105
    };

    std::uint32_t referenceNoise = StringVoice::kNoiseSeed;
    std::vector<std::unique_ptr<ReferenceVoice>> reference;
    std::vector<float> expected(kCount, 0.0f), work(kCount);
    for (int v = 0; v < kVoices; ++v) {
        reference.push_back(std::make_unique<ReferenceVoice>(params.data(), shapes.noteFrequencyTable(),
                                                             shapes.sawTable(), shapes.squareTable(),
                                                             &referenceNoise));
        prepare(*reference.back(), v);
    }
    for (int done = 0; done < kCount; done += kPiece)
        for (auto& voice : reference)
            voice->render(std::min(kPiece, kCount - done), work.data(), expected.data() + done);
    ASSERT_GT(*std::max_element(expected.begin(), expected.end()), 0.05f);  // the voices sound

    for (VoiceLanes::Path path : kPaths) {
        if (!VoiceLanes::available(path)) continue;
        const auto bank = std::make_unique<float[]>(VoiceLanes::kBankFloats);
        const auto lanes = std::make_unique<VoiceLanes>();
        lanes->bank = bank.get();
        lanes->voiceCount = kVoices;
        lanes->use(path);
        lanes->lanes.volume = kTestProgram[VoiceParameter::Volume];
        std::uint32_t noise = StringVoice::kNoiseSeed;
        std::vector<std::unique_ptr<StringVoice>> voices;
        for (int v = 0; v < kVoices; ++v) {
            voices.push_back(std::make_unique<StringVoice>(params.data(), shapes.noteFrequencyTable(),
                                                           shapes.sawTable(), shapes.squareTable(), &noise,
                                                           bank.get() + VoiceLanes::tableStart(v, 0)));
            prepare(*voices.back(), v);
            lanes->voices[v] = voices.back().get();
        }
        std::vector<float> mix(kCount, 0.0f);
        for (int done = 0; done < kCount; done += kPiece)
            lanes->render(std::min(kPiece, kCount - done), mix.data() + done);
        EXPECT_EQ(0, std::memcmp(mix.data(), expected.data(), kCount * sizeof(float)))
            << "path " << static_cast<int>(path);
    }
}
