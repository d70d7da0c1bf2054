#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <random>
#include <thread>
#include <vector>

#include "engine/VoiceEngine.h"
#include "tests/engine/EngineTestSupport.h"
#include "tests/support/HashBytes.h"

namespace {

std::unique_ptr<VoiceEngine> freshEngine(float rate = 88200.0f) {
    auto engine = std::make_unique<VoiceEngine>();
    loadProgram(*engine);
    engine->setSampleRate(rate);
    return engine;
}

int activeVoices(const VoiceEngine& e) {
    int n = 0;
    for (int i = 0; i < VoiceEngine::kVoiceCount; ++i) n += e.voice(i).active();
    return n;
}

int voicePlaying(const VoiceEngine& e, int note) {
    for (int i = 0; i < VoiceEngine::kVoiceCount; ++i)
        if (e.voice(i).active() && !e.voice(i).released() && e.voice(i).note() == note) return i;
    return -1;
}

}  // namespace

TEST(VoiceEngine, TablesHoldPitchesAndExcitationShapes) {
    VoiceEngine e;
    EXPECT_EQ(e.noteFrequencyTable()[69], 440.0f);
    EXPECT_NEAR(e.noteFrequencyTable()[0], 8.1758, 1e-4);
    EXPECT_NEAR(e.noteFrequencyTable()[127], 12543.85, 0.01);
    EXPECT_EQ(e.sawTable()[0] + e.sawTable()[255] + e.sawTable()[510], 0.0f);
    EXPECT_EQ(std::count(e.squareTable(), e.squareTable() + 256, -0.3f), 256);
    EXPECT_EQ(std::count(e.squareTable() + 256, e.squareTable() + 511, 0.3f), 255);
}

TEST(VoiceEngine, ReserveRuleAllocationSequence) {
    auto e = freshEngine();
    // One note per block, all held: 0, then 16 down to 2, voice 1 in reserve;
    // the 17th goes to voice 1 and steals voice 0, the 18th voice 16.
    const int expected[] = {0, 16, 15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0};
    for (int n = 0; n < 18; ++n) {
        SCOPED_TRACE(n);
        const int reserveBefore = e->reserve();
        e->noteOn(0, 30 + n, 0.8f);
        EXPECT_EQ(e->voiceOrderAt(VoiceEngine::kVoiceCount - 1), e->reserve());
        renderBlock(*e, 256);
        EXPECT_EQ(voicePlaying(*e, 30 + n), expected[n]);
        EXPECT_EQ(expected[n], reserveBefore);
        EXPECT_LE(activeVoices(*e), 16);
        if (n == 16) {
            // Voice 0 held the first note; it faded out within the block.
            EXPECT_EQ(e->reserve(), 0);
            EXPECT_TRUE(e->voice(0).released());
            EXPECT_FALSE(e->voice(0).active());
            EXPECT_EQ(voicePlaying(*e, 30), -1);
        }
    }
    EXPECT_EQ(e->reserve(), 16);
    EXPECT_EQ(activeVoices(*e), 16);
}

TEST(VoiceEngine, EventsTakeEffectAtTheirExactSample) {
    auto ref = freshEngine();
    ref->noteOn(0, 48, 1.0f);
    const auto atZero = renderBlock(*ref, 400);
    EXPECT_NE(atZero[0], 0.0f);

    // Host frame 10 is engine sample 20.
    auto late = freshEngine();
    late->noteOn(20, 48, 1.0f);
    const auto at20 = renderBlock(*late, 400);
    EXPECT_EQ(firstNonZero(at20), 20);
    EXPECT_TRUE(sameBits({at20.begin() + 20, at20.end()}, {atZero.begin(), atZero.end() - 20}));

    // Note on and off in the same block.
    auto both = freshEngine();
    both->noteOn(20, 48, 1.0f);
    both->noteOff(120, 48);
    const auto released = renderBlock(*both, 400);
    EXPECT_TRUE(sameBits({released.begin(), released.begin() + 120}, {at20.begin(), at20.begin() + 120}));
    EXPECT_NE(released[120], at20[120]);
    EXPECT_TRUE(both->voice(0).released());
    EXPECT_EQ(both->voice(0).envelope().stage(), VoiceEnvelope::Release);

    // An event at offset `count` lands after the last sample.
    auto atEnd = freshEngine();
    atEnd->noteOn(400, 48, 1.0f);
    EXPECT_EQ(firstNonZero(renderBlock(*atEnd, 400)), -1);
    EXPECT_TRUE(atEnd->voice(0).active());
    EXPECT_TRUE(sameBits(renderBlock(*atEnd, 400), atZero));
}

TEST(VoiceEngine, NoteOffReleasesEveryVoiceOfTheNote) {
    // Struck twice in earlier blocks.
    auto e = freshEngine();
    e->noteOn(0, 48, 1.0f);
    renderBlock(*e, 64);
    e->noteOn(0, 48, 0.5f);
    e->noteOn(0, 50, 0.5f);
    renderBlock(*e, 64);
    e->noteOff(10, 48);
    EXPECT_EQ(e->queuedEvents(), 2);
    renderBlock(*e, 64);
    EXPECT_TRUE(e->voice(0).released());
    EXPECT_TRUE(e->voice(16).released());
    EXPECT_FALSE(e->voice(15).released());

    // Struck twice in the block of the note off, once before it: all three go.
    auto f = freshEngine();
    f->noteOn(0, -12, 1.0f);
    renderBlock(*f, 64);
    f->noteOn(0, -12, 1.0f);
    f->noteOn(5, -12, 1.0f);
    f->noteOff(10, -12);
    EXPECT_EQ(f->queuedEvents(), 5);
    renderBlock(*f, 64);
    for (int v : {0, 16, 15}) EXPECT_TRUE(f->voice(v).released()) << v;
    EXPECT_EQ(voicePlaying(*f, -12), -1);
}

TEST(VoiceEngine, QueueKeepsEveryNoteOffAndDropsNoteOnsBeyondItsBound) {
    // A voice is released once however many note offs name it.
    auto e = freshEngine();
    e->noteOn(0, 50, 1.0f);
    for (int i = 0; i < 127; ++i) e->noteOff(5, 50);
    EXPECT_EQ(e->queuedEvents(), 2);

    // Starts fill the queue; a note beyond them leaves no trace, and note offs
    // sent after them all still fit: every voice ends released.
    for (int i = 1; i < VoiceEngine::kMaxStarts; ++i) e->noteOn(i % 500, i % 100, 0.7f);
    std::vector<int> order;
    for (int i = 0; i < VoiceEngine::kVoiceCount; ++i) order.push_back(e->voiceOrderAt(i));
    const int reserve = e->reserve();
    e->noteOn(10, 101, 1.0f);
    EXPECT_EQ(e->reserve(), reserve);
    for (int i = 0; i < VoiceEngine::kVoiceCount; ++i) EXPECT_EQ(e->voiceOrderAt(i), order[i]);
    for (int n = 0; n <= 101; ++n) e->noteOff(500, n);
    EXPECT_LE(e->queuedEvents(), VoiceEngine::kQueueSize);
    renderBlock(*e, 512);
    EXPECT_EQ(e->queuedEvents(), 0);
    for (int n = 0; n <= 101; ++n) EXPECT_EQ(voicePlaying(*e, n), -1) << n;

    // A dense bend curve takes none of the slots: the note offs after 300
    // bends still release their notes, and the block sounds as without bends.
    auto bent = freshEngine(), plain = freshEngine();
    for (VoiceEngine* engine : {bent.get(), plain.get()}) {
        for (int n : {36, 43, 48, 52}) engine->noteOn(0, n, 0.8f);
        renderBlock(*engine, 256);
    }
    for (int i = 0; i < 300; ++i) bent->pitchBend(i, static_cast<float>(i % 7) / 7.0f);
    EXPECT_EQ(bent->queuedEvents(), VoiceEngine::kMaxBends);
    for (VoiceEngine* engine : {bent.get(), plain.get()})
        for (int n : {36, 43, 48, 52}) engine->noteOff(300 + n, n);
    EXPECT_EQ(bent->queuedEvents(), VoiceEngine::kMaxBends + 4);
    EXPECT_TRUE(sameBits(renderBlock(*bent, 512), renderBlock(*plain, 512)));
    for (int n : {36, 43, 48, 52}) EXPECT_EQ(voicePlaying(*bent, n), -1) << n;
    EXPECT_EQ(activeVoices(*bent), 4);  // releasing, not cut off

    // 300 on/off pairs: all play, and none is left sounding.
    auto f = freshEngine();
    for (int i = 0; i < 300; ++i) {
        f->noteOn(i, i % 100, 0.7f);
        f->noteOff(i + 1, i % 100);
    }
    Buffers b(512);
    f->render(b.mixData(), 512);
    EXPECT_TRUE(b.guardsIntact());
    for (int n = 0; n < 100; ++n) EXPECT_EQ(voicePlaying(*f, n), -1) << n;
    EXPECT_EQ(f->voice(f->voiceOrderAt(VoiceEngine::kVoiceCount - 2)).note(), 99);

    // A block that is never rendered drops its events; the next block plays.
    f->noteOn(0, 60, 1.0f);
    f->discardEvents();
    EXPECT_EQ(f->queuedEvents(), 0);
    EXPECT_EQ(voicePlaying(*f, 60), -1);
    f->noteOn(0, 61, 1.0f);
    renderBlock(*f, 64);
    EXPECT_NE(voicePlaying(*f, 61), -1);
}

TEST(VoiceEngine, OffsetsOutsideTheBlockAreClampedIntoIt) {
    auto wild = freshEngine();
    wild->noteOn(-50, 48, 1.0f);  // before the block: at 0
    wild->noteOn(100, 52, 0.9f);
    wild->noteOn(40, 55, 0.8f);  // earlier than the previous event: at 100
    wild->noteOff(1 << 30, 48);  // beyond the block: at its end
    wild->noteOn(1000, 60, 0.7f);
    auto tame = freshEngine();
    tame->noteOn(0, 48, 1.0f);
    tame->noteOn(100, 52, 0.9f);
    tame->noteOn(100, 55, 0.8f);
    tame->noteOff(300, 48);
    tame->noteOn(300, 60, 0.7f);

    Buffers w(300), t(300);
    wild->render(w.mixData(), 300);
    tame->render(t.mixData(), 300);
    EXPECT_TRUE(w.guardsIntact());
    EXPECT_TRUE(sameBits(w.samples(), t.samples()));
    EXPECT_TRUE(sameBits(renderBlock(*wild, 300), renderBlock(*tame, 300)));

    // An empty block still applies its events, and writes nothing.
    wild->noteOn(5, 70, 1.0f);
    Buffers none(0);
    wild->render(none.mixData(), 0);
    EXPECT_TRUE(none.guardsIntact());
    EXPECT_EQ(wild->queuedEvents(), 0);
    EXPECT_NE(voicePlaying(*wild, 70), -1);
}

TEST(VoiceEngine, PitchBendOnlySplitsTheBlock) {
    auto plain = freshEngine(), bent = freshEngine();
    for (VoiceEngine* e : {plain.get(), bent.get()}) {
        e->noteOn(0, 40, 0.9f);
        e->noteOn(33, 47, 0.6f);
    }
    for (int i = 0; i < 20; ++i) bent->pitchBend(i * 25, i % 2 ? 1.0f : -1.0f);
    EXPECT_TRUE(sameBits(renderBlock(*plain, 512), renderBlock(*bent, 512)));
    EXPECT_EQ(plain->voice(0).increment(0), bent->voice(0).increment(0));
}

TEST(VoiceEngine, SilenceAllStopsVoicesAtOnceAndKeepsTheQueue) {
    auto e = freshEngine();
    for (int n = 0; n < 17; ++n) {  // every voice used; voice 0 is the reserve now
        e->noteOn(0, 40 + n, 0.8f);
        renderBlock(*e, 128);
    }
    ASSERT_EQ(voicePlaying(*e, 45), 12);
    ASSERT_EQ(voicePlaying(*e, 46), 11);
    e->noteOff(0, 45);
    e->noteOff(0, 46);
    renderBlock(*e, 64);
    e->noteOn(32, 70, 1.0f);  // on voice 0; voice 12 becomes the reserve
    e->silenceAll();
    EXPECT_EQ(activeVoices(*e), 0);
    EXPECT_EQ(e->queuedEvents(), 1);
    const auto out = renderBlock(*e, 64);
    EXPECT_EQ(firstNonZero(out), 32);  // only the queued note sounds
    EXPECT_EQ(activeVoices(*e), 1);
    EXPECT_TRUE(e->voice(0).active());

    // Silenced held voices keep `released` false: the released voice 11 is
    // found before the front of the order, then only the front is left.
    for (int i = 1; i < VoiceEngine::kVoiceCount; ++i)
        EXPECT_EQ(e->voice(i).released(), i == 11 || i == 12) << i;
    e->noteOff(0, 50);  // its voice no longer sounds: nothing to release
    EXPECT_EQ(e->queuedEvents(), 0);
    ASSERT_EQ(e->voiceOrderAt(0), 16);
    e->noteOn(0, 71, 1.0f);
    EXPECT_EQ(e->reserve(), 11);
    renderBlock(*e, 64);
    e->noteOn(0, 72, 1.0f);
    EXPECT_EQ(e->reserve(), 16);
}

namespace {

// Renders one sample at a time while voice `v` stays in `stage` (at most
// `limit` samples) and returns the stage time measured from its envelope: the
// samples after which all but 0.8 % of the distance from the level where the
// stage began to the stage's target would be covered, from the distance
// actually covered in the samples rendered.
double measuredStageSamples(VoiceEngine& e, int v, int stage, int limit) {
    const double target = stage == VoiceEnvelope::Attack ? 1.0 : 0.0;
    const double start = std::fabs(target - e.voice(v).envelope().level());
    int samples = 0;
    double left = start;
    while (samples < limit) {
        renderBlock(e, 1);
        if (e.voice(v).envelope().stage() != stage) break;
        ++samples;
        left = std::fabs(target - e.voice(v).envelope().level());
    }
    return samples * std::log(0.008) / std::log(left / start);
}

// A block of no samples: applies the queued events, renders nothing.
void applyEvents(VoiceEngine& e) {
    float unused[1] = {};
    e.render(unused, 0);
}

}  // namespace

TEST(VoiceEngine, EnvelopeStagesLastTheKnobsDocumentedTimes) {
    // Attack 0.6 v^2 + 0.0006 s, Decay and Release 6 v^2 + 0.0012 s, counted at
    // the engine rate (88200: a 44100 host). Stages of a few thousand samples:
    // in longer ones the float coefficient alone moves the end by samples.
    const auto attackTime = [](double v) { return 0.6 * v * v + 0.0006; };
    const auto fallTime = [](double v) { return 6.0 * v * v + 0.0012; };
    auto e = freshEngine();
    e->setParam(VoiceParameter::Attack, 0.2f);
    e->parameterChanged(VoiceParameter::Attack);
    e->setParam(VoiceParameter::Decay, 0.1f);
    e->parameterChanged(VoiceParameter::Decay);
    e->noteOn(0, 48, 1.0f);
    applyEvents(*e);  // the start, no sample yet
    const int v = voicePlaying(*e, 48);
    ASSERT_GE(v, 0);
    EXPECT_NEAR(measuredStageSamples(*e, v, VoiceEnvelope::Attack, 100000), attackTime(0.2) * 88200, 1.0);
    ASSERT_EQ(e->voice(v).envelope().stage(), VoiceEnvelope::Decay);
    EXPECT_NEAR(measuredStageSamples(*e, v, VoiceEnvelope::Decay, 5000), fallTime(0.1) * 88200, 1.0);

    // A knob reaches the sounding note only through its own index; the note
    // keeps its stage and level.
    const float release = e->voice(v).envelope().rate(VoiceEnvelope::Release);
    e->setParam(VoiceParameter::Release, 0.05f);
    e->parameterChanged(VoiceParameter::Velocity);
    EXPECT_EQ(e->voice(v).envelope().rate(VoiceEnvelope::Release), release);
    const float level = e->voice(v).envelope().level();
    e->parameterChanged(VoiceParameter::Release);
    EXPECT_EQ(e->voice(v).envelope().stage(), VoiceEnvelope::Decay);
    EXPECT_EQ(e->voice(v).envelope().level(), level);
    e->noteOff(0, 48);
    applyEvents(*e);
    EXPECT_NEAR(measuredStageSamples(*e, v, VoiceEnvelope::Release, 100000), fallTime(0.05) * 88200, 1.0);
    for (int i = 0; i < VoiceEngine::kVoiceCount; ++i)
        EXPECT_EQ(e->voice(i).envelope().rate(VoiceEnvelope::Release),
                  e->voice(v).envelope().rate(VoiceEnvelope::Release));

    // A new rate reaches every voice's envelope at once and the pitch of the
    // next notes; sounding notes keep their pitch.
    e->noteOn(0, 60, 1.0f);
    renderBlock(*e, 16);
    const int held = voicePlaying(*e, 60);
    const float increment = e->voice(held).increment(0);
    e->setSampleRate(192000.0f);
    EXPECT_EQ(e->voice(held).increment(0), increment);
    e->noteOn(0, 60, 1.0f);
    applyEvents(*e);
    int fresh = -1;
    for (int i = 0; i < VoiceEngine::kVoiceCount; ++i)
        if (i != held && e->voice(i).active() && e->voice(i).note() == 60) fresh = i;
    ASSERT_GE(fresh, 0);
    EXPECT_NEAR(e->voice(fresh).increment(0), increment * 88200.0f / 192000.0f, increment * 1e-6f);
    EXPECT_NEAR(measuredStageSamples(*e, fresh, VoiceEnvelope::Attack, 100000), attackTime(0.2) * 192000,
                1.0);
}

TEST(VoiceEngine, KnobsMayMoveFromAnotherThreadWhileRendering) {
    auto e = freshEngine();
    std::atomic<bool> done{false};
    std::thread knobs([&] {
        for (int i = 0; !done.load(); ++i) {
            e->setParam(i % VoiceEngine::kParamCount, static_cast<float>(i % 100) * 0.01f);
            e->parameterChanged(i % VoiceEngine::kParamCount);
        }
    });
    bool finite = true;
    for (int block = 0; block < 200; ++block) {
        e->noteOn(block % 64, 30 + block % 40, 0.9f);
        e->noteOff(64, 30 + (block + 20) % 40);
        for (float s : renderBlock(*e, 128)) finite &= std::isfinite(s);
    }
    done = true;
    knobs.join();
    EXPECT_TRUE(finite);
}

TEST(VoiceEngine, EachEngineHasItsOwnNoise) {
    auto a = freshEngine(), b = freshEngine(), alone = freshEngine();
    std::vector<float> outA, outAlone;
    for (int block = 0; block < 4; ++block) {
        for (VoiceEngine* e : {a.get(), b.get(), alone.get()}) e->noteOn(17 * block, 36 + 5 * block, 0.9f);
        const auto ra = renderBlock(*a, 256);
        renderBlock(*b, 256);  // interleaved with a
        const auto rAlone = renderBlock(*alone, 256);
        outA.insert(outA.end(), ra.begin(), ra.end());
        outAlone.insert(outAlone.end(), rAlone.begin(), rAlone.end());
    }
    EXPECT_TRUE(sameBits(outA, outAlone));
    EXPECT_EQ(a->noiseState(), b->noiseState());
}

namespace {

// A random block's worth of calls, some with offsets out of order or range.
void playRandomEvents(std::mt19937& rng, VoiceEngine& a, VoiceEngine& b, int count) {
    std::uniform_int_distribution<int> pick(0, 99), note(20, 70), offset(0, count);
    const int events = 5 + pick(rng) % 40;
    std::vector<int> offsets(events);
    for (int& o : offsets) o = offset(rng);
    std::sort(offsets.begin(), offsets.end());
    for (int i = 0; i < events; ++i) {
        int at = offsets[i];
        const int oddity = pick(rng);
        if (oddity < 4)
            at = -at - 1;
        else if (oddity < 8)
            at = count + 1 + at;
        else if (oddity < 12 && i > 0)
            at = offsets[i - 1] / 2;
        const int kind = pick(rng), n = note(rng);
        const float velocity = 0.2f + 0.008f * pick(rng);
        for (VoiceEngine* e : {&a, &b}) {
            if (kind < 50)
                e->noteOn(at, n, velocity);
            else if (kind < 90)
                e->noteOff(at, n);
            else
                e->pitchBend(at, 0.0f);
        }
    }
}

}  // namespace

TEST(VoiceEngine, BlockRenderedInPiecesEqualsOneRender) {
    constexpr int kCount = 1536;
    for (unsigned seed = 1; seed <= 12; ++seed) {
        SCOPED_TRACE(seed);
        std::mt19937 rng(seed);
        auto whole = freshEngine(), pieces = freshEngine();
        for (int block = 0; block < 6; ++block) {
            playRandomEvents(rng, *whole, *pieces, kCount);
            Buffers one(kCount), split(kCount);
            whole->render(one.mixData(), kCount);

            // Random cuts, some of them on event offsets.
            std::vector<int> cuts;
            std::uniform_int_distribution<int> cut(0, kCount);
            for (int i = 0; i < 6; ++i) cuts.push_back(cut(rng));
            for (int i = 0; i < pieces->queuedEvents() && i < 3; ++i)
                cuts.push_back(std::clamp(pieces->event(i * 7 % pieces->queuedEvents()).offset, 0, kCount));
            std::sort(cuts.begin(), cuts.end());
            int start = 0;
            for (int c : cuts) {
                pieces->renderPartial(split.mixData() + start, c - start);
                start = c;
            }
            pieces->render(split.mixData() + start, kCount - start);

            ASSERT_TRUE(split.guardsIntact());
            ASSERT_EQ(pieces->queuedEvents(), 0);
            ASSERT_TRUE(sameBits(one.samples(), split.samples())) << "block " << block;
        }
    }
}

TEST(VoiceEngine, FixedPhraseRendersTheSameBitsInEveryBuild) {
    // A chord, a run with releases and reused voices, knob changes and the
    // extreme notes: 48 blocks of 512 samples at 88200. The hash of the bits
    // of every sample. The constant was made once by running this test with
    // 0 in its place and copying the printed hash (Release build); Debug,
    // sanitizer and 32-bit Windows builds must give the same.
    auto e = freshEngine();
    std::vector<float> all;
    for (int block = 0; block < 48; ++block) {
        if (block == 0)
            for (int n : {36, 43, 48, 52}) e->noteOn(3 * n, n, 0.85f);
        if (block >= 4 && block < 24)
            e->noteOn((block * 97) % 512, 55 + (block * 5) % 24, 0.3f + 0.03f * block);
        if (block >= 8 && block < 28) e->noteOff((block * 61) % 512, 55 + ((block - 4) * 5) % 24);
        if (block == 20) {
            e->setParam(VoiceParameter::Release, 0.6f);
            e->parameterChanged(VoiceParameter::Release);
            e->setParam(VoiceParameter::Volume, 0.5f);
        }
        if (block == 30)
            for (int n : {36, 43, 48, 52}) e->noteOff(100, n);
        if (block == 32) e->noteOn(0, 115, 1.0f);
        if (block == 36) e->noteOn(511, -12, 1.0f);
        const auto out = renderBlock(*e, 512);
        all.insert(all.end(), out.begin(), out.end());
    }
    const std::uint64_t hash = hashBytes(all.data(), all.size() * sizeof(float));
    EXPECT_EQ(hash, 0x37f0dde4fb60111bull) << std::hex << "0x" << hash;
}
