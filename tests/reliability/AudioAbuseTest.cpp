// Audio blocks as careless hosts send them: every size from 1 frame to beyond
// the announced maximum, blocks while suspended, the sample rate changed between
// blocks, floods of events with offsets in any order and anywhere, all voices
// held for minutes and storms of notes. The output is always finite, bounded,
// free of subnormal numbers, written in full and nowhere else, and silent where
// it must be; and after a loud passage the tail settles without subnormals.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

#include "tests/reliability/ReliabilitySupport.h"

using namespace reliability;

namespace {

// The output filter's recursions carry a tiny constant offset; what leaks out
// of it lies below -240 dB.
constexpr float kSilence = 1e-12f;

struct Rendered {
    std::vector<float> left, right;
};

struct TimedMessage {
    long long frame;
    MidiMessage message;
};
using Timeline = std::vector<TimedMessage>;

// Renders a timeline in blocks whose sizes nextBlock() chooses, sending each
// block's events with offsets relative to the block. Collects both channels.
template <typename NextBlock>
Rendered renderTimeline(PluginInstance& plugin, const Timeline& timeline, long long frames, NextBlock nextBlock,
                        GuardedOutput& output, AudioCheck& check, int& unwritten) {
    Rendered out;
    std::size_t next = 0;
    for (long long start = 0; start < frames;) {
        const VstInt32 n = static_cast<VstInt32>(std::min<long long>(nextBlock(), frames - start));
        std::vector<MidiMessage> events;
        for (; next < timeline.size() && timeline[next].frame < start + n; ++next) {
            MidiMessage m = timeline[next].message;
            m.deltaFrames = static_cast<VstInt32>(timeline[next].frame - start);
            events.push_back(m);
        }
        if (!events.empty()) plugin.sendMidi(events);
        output.render(plugin, n);
        output.addTo(check, n);
        unwritten += output.unwrittenFrames(n);
        out.left.insert(out.left.end(), output.left(), output.left() + n);
        out.right.insert(out.right.end(), output.right(), output.right() + n);
        start += n;
    }
    return out;
}

// A phrase with notes on the first and the last frame of the span, releases, a
// bend and notes on several channels. Sixteen starts at most: a further start
// takes a voice that may still sound, and that voice fades from the start of
// the block in which the start arrives, so only then does the sound depend on
// where the host's blocks begin.
Timeline phrase(std::mt19937& random, long long frames) {
    Timeline t;
    t.push_back({0, {0, 0x90, 60, 127}});
    t.push_back({frames - 1, {0, 0x91, 72, 100}});
    for (int i = 0; i < 14; ++i) {
        const long long at = static_cast<long long>(random() % static_cast<unsigned>(frames));
        const auto note = static_cast<unsigned char>(30 + random() % 70);
        const auto channel = static_cast<unsigned char>(random() % 16);
        t.push_back({at, {0, static_cast<unsigned char>(0x90 | channel), note, static_cast<unsigned char>(1 + random() % 127)}});
        const long long off = at + static_cast<long long>(random() % 20000);
        if (off < frames) t.push_back({off, {0, static_cast<unsigned char>(0x80 | channel), note, 0}});
    }
    t.push_back({frames / 3, {0, 0xE0, 0, 90}});
    std::stable_sort(t.begin(), t.end(), [](const TimedMessage& a, const TimedMessage& b) { return a.frame < b.frame; });
    return t;
}

bool quiet(const std::vector<float>& v, std::size_t from) {
    for (std::size_t i = from; i < v.size(); ++i)
        if (!(std::fabs(v[i]) < kSilence)) return false;
    return true;
}

void expectSound(const AudioCheck& check, const GuardedOutput& output, int unwritten) {
    EXPECT_TRUE(check.finite) << "output not finite";
    EXPECT_EQ(check.subnormals, 0) << "subnormal output";
    EXPECT_LT(check.peak, kPeakBound);
    EXPECT_TRUE(output.guardsIntact()) << "write outside the output channels";
    EXPECT_EQ(unwritten, 0) << "frames left unwritten";
}

}  // namespace

TEST(AudioAbuse, BlockSizesFromOneFrameToBeyondTheAnnouncedOneSoundTheSame) {
    ASSERT_TRUE(builtPlugin().loaded()) << builtPlugin().error();
    std::mt19937 random(4242);
    const long long frames = scaled(48000, 6000);
    for (float rate : {22050.0f, 44100.0f, 48000.0f, 96000.0f, 192000.0f}) {
        for (VstInt32 announced : {1, 2, 17, 64, 512, 4096}) {
            SCOPED_TRACE("rate " + std::to_string(rate) + ", announced block " + std::to_string(announced));
            const Timeline timeline = phrase(random, frames);
            GuardedOutput output(3 * 4096);
            AudioCheck check;
            int unwritten = 0;

            auto steady = startedInstance(rate, announced);
            const Rendered reference =
                renderTimeline(*steady, timeline, frames, [&] { return announced; }, output, check, unwritten);

            // Sizes from 1 to the announced one, now and then up to three times it
            // or up to 4096 whatever was announced, and empty blocks in between.
            auto ragged = startedInstance(rate, announced);
            std::mt19937 sizes(static_cast<unsigned>(rate) + static_cast<unsigned>(announced));
            const Rendered varied = renderTimeline(
                *ragged, timeline, frames,
                [&]() -> VstInt32 {
                    if (sizes() % 11 == 0) ragged->process(output.left(), output.right(), 0);
                    if (sizes() % 7 == 0) return 1 + static_cast<VstInt32>(sizes() % (3u * static_cast<unsigned>(announced)));
                    if (sizes() % 29 == 0) return 1 + static_cast<VstInt32>(sizes() % 4096u);
                    return 1 + static_cast<VstInt32>(sizes() % static_cast<unsigned>(announced));
                },
                output, check, unwritten);

            expectSound(check, output, unwritten);
            EXPECT_GT(check.peak, 0.0f);
            EXPECT_TRUE(reference.left == varied.left && reference.right == varied.right)
                << "the sound depends on how the host cuts it into blocks";
        }
    }
}

TEST(AudioAbuse, SuspendedBlocksAreSilentAndTheirEventsNeverSound) {
    ASSERT_TRUE(builtPlugin().loaded()) << builtPlugin().error();
    auto plugin = newInstance();
    GuardedOutput output(4096);
    AudioCheck check;

    // Events and blocks before the first resume, suspends without a resume.
    plugin->dispatch(effOpen);
    plugin->setSampleRate(48000.0f);
    plugin->setBlockSize(256);
    plugin->suspend();
    for (VstInt32 frames : {1, 256, 4096, 0, 17}) {
        plugin->sendMidi({{0, 0x90, 60, 127}, {frames, 0x90, 64, 127}});
        output.render(*plugin, frames);
        for (VstInt32 i = 0; i < frames; ++i) ASSERT_TRUE(output.left()[i] == 0.0f && output.right()[i] == 0.0f);
    }
    plugin->suspend();
    plugin->resume();
    plugin->resume();
    output.render(*plugin, 256);
    output.addTo(check, 256);
    for (int i = 0; i < 256; ++i) EXPECT_LT(std::fabs(output.left()[i]), kSilence) << "a dropped note sounds";

    // Suspended in the middle of playing: silence while suspended, and after
    // the resume the voices carry on to the bit as if the suspend had not been.
    auto continuous = startedInstance(48000.0f, 256);
    continuous->process(256);
    for (auto* p : {plugin.get(), continuous.get()}) p->sendMidi({{0, 0x90, 55, 120}, {10, 0x90, 62, 120}});
    output.render(*plugin, 256);
    output.addTo(check, 256);
    const std::vector<float> before(output.left(), output.left() + 256);
    continuous->process(256);
    EXPECT_EQ(before, std::vector<float>(continuous->left().begin(), continuous->left().begin() + 256));
    plugin->suspend();
    plugin->setBlockSize(64);
    plugin->sendMidi({{5, 0x90, 80, 127}});
    output.render(*plugin, 300);
    for (int i = 0; i < 300; ++i) ASSERT_TRUE(output.left()[i] == 0.0f && output.right()[i] == 0.0f);
    plugin->resume();
    output.render(*plugin, 1000);  // above the new block size
    output.addTo(check, 1000);
    continuous->process(1000);
    float peak = 0.0f;
    for (int i = 0; i < 1000; ++i) peak = std::max(peak, std::fabs(output.left()[i]));
    EXPECT_GT(peak, 1e-3f) << "held voices stopped across a suspend";
    EXPECT_TRUE(std::equal(continuous->left().begin(), continuous->left().begin() + 1000, output.left()) &&
                std::equal(continuous->right().begin(), continuous->right().begin() + 1000, output.right()))
        << "a suspend changed the sound of the voices held through it";
    expectSound(check, output, 0);
}

TEST(AudioAbuse, SampleRateChangesBetweenBlocksKeepTheOutputSound) {
    ASSERT_TRUE(builtPlugin().loaded()) << builtPlugin().error();
    std::mt19937 random(777);
    auto plugin = startedInstance(44100.0f, 512);
    GuardedOutput output(512);
    AudioCheck check;
    int unwritten = 0;
    const int blocks = scaled(6000, 600);
    for (int b = 0; b < blocks; ++b) {
        if (b % 40 == 0) {
            static const float rates[] = {22050.0f, 32000.0f, 44100.0f, 48000.0f, 88200.0f, 96000.0f, 176400.0f, 192000.0f};
            const float rate = random() % 3 ? rates[random() % 8] : 22050.0f + static_cast<float>(random() % 169951);
            if (random() % 2) {  // as a careful host does it
                plugin->suspend();
                plugin->setSampleRate(rate);
                plugin->resume();
            } else {  // as a careless one does
                plugin->setSampleRate(rate);
            }
        }
        if (b % 5 == 0) {
            std::vector<MidiMessage> events;
            for (int e = 0; e < 4; ++e)
                events.push_back({static_cast<VstInt32>(e * 100), static_cast<unsigned char>(random() % 2 ? 0x90 : 0x80),
                                  static_cast<unsigned char>(24 + random() % 90), static_cast<unsigned char>(random() % 128)});
            plugin->sendMidi(events);
        }
        if (b % 13 == 0) plugin->setParameter(static_cast<VstInt32>(random() % 16), static_cast<float>(random() % 2));
        output.render(*plugin, 512);
        output.addTo(check, 512);
        unwritten += output.unwrittenFrames(512);
        ASSERT_TRUE(check.finite) << "block " << b;
    }
    expectSound(check, output, unwritten);

    // All sound off, then the tails of the output stage die away.
    plugin->sendMidi({{0, 0xB0, 123, 0}});
    std::vector<float> tail;
    for (int b = 0; b < 400; ++b) {
        output.render(*plugin, 512);
        tail.insert(tail.end(), output.left(), output.left() + 512);
    }
    EXPECT_TRUE(quiet(tail, tail.size() - 48000));
}

TEST(AudioAbuse, EventFloodsAndOffsetsAnywhereAreTakenSafely) {
    ASSERT_TRUE(builtPlugin().loaded()) << builtPlugin().error();
    std::mt19937 random(31337);
    auto plugin = startedInstance(44100.0f, 64);
    GuardedOutput output(4096);
    AudioCheck check;
    int unwritten = 0;

    // Far more events than one block's queue holds, offsets out of order, negative,
    // beyond the block and at the ends of the integer range, on every channel, and
    // other event types in between.
    const int blocks = scaled(3000, 300);
    for (int b = 0; b < blocks; ++b) {
        std::vector<MidiMessage> events;
        const int count = b % 10 == 0 ? 1000 : static_cast<int>(random() % 300);
        for (int e = 0; e < count; ++e) {
            VstInt32 delta = static_cast<VstInt32>(random() % 64);
            switch (random() % 8) {
            case 0: delta = -static_cast<VstInt32>(random() % 100000); break;
            case 1: delta = 64 + static_cast<VstInt32>(random() % 100000); break;
            case 2: delta = random() % 2 ? std::numeric_limits<VstInt32>::max() : std::numeric_limits<VstInt32>::min(); break;
            default: break;
            }
            static const unsigned char kinds[] = {0x90, 0x90, 0x90, 0x80, 0xB0, 0xE0, 0xA0, 0xC0, 0xD0, 0xF0};
            const auto status = static_cast<unsigned char>(kinds[random() % 10] | (random() % 16));
            events.push_back({delta, status, static_cast<unsigned char>(random() % 256),
                              static_cast<unsigned char>(random() % 256)});
        }
        plugin->sendMidi(events);
        const VstInt32 frames = static_cast<VstInt32>(1 + random() % (b % 3 == 0 ? 4096 : 64));
        output.render(*plugin, frames);
        output.addTo(check, frames);
        unwritten += output.unwrittenFrames(frames);
        ASSERT_TRUE(check.finite && output.guardsIntact()) << "block " << b;
    }
    expectSound(check, output, unwritten);
    EXPECT_GT(check.peak, 0.0f);

    // A note placed beyond its block starts at the block's end: silent now,
    // sounding in the next block.
    auto late = startedInstance(44100.0f, 64);
    late->sendMidi({{1000, 0x90, 60, 127}});
    output.render(*late, 64);
    for (int i = 0; i < 64; ++i) EXPECT_LT(std::fabs(output.left()[i]), kSilence);
    output.render(*late, 64);
    EXPECT_GT(std::fabs(output.left()[0]) + std::fabs(output.left()[1]), 0.0f);
}

TEST(AudioAbuse, AllVoicesHeldForMinutesStayBoundedAndDecay) {
    ASSERT_TRUE(builtPlugin().loaded()) << builtPlugin().error();
    const float rate = 48000.0f;
    const int block = 512;
    const long long heldFrames = static_cast<long long>(rate) * scaled(180, 10);
    auto plugin = startedInstance(rate, block);
    plugin->setProgram(4);
    for (VstInt32 band = 7; band <= 9; ++band) plugin->setParameter(band, 1.0f);  // every body band at +18 dB
    plugin->setParameter(15, 1.0f);
    std::vector<MidiMessage> chord;
    for (int n = 0; n < 20; ++n)  // more notes than voices
        chord.push_back({static_cast<VstInt32>(n * 3), static_cast<unsigned char>(0x90 | (n % 16)),
                         static_cast<unsigned char>(28 + 3 * n), 127});
    plugin->sendMidi(chord);

    GuardedOutput output(block);
    AudioCheck check;
    int unwritten = 0;
    float lastMinutePeak = 0.0f;
    for (long long done = 0; done < heldFrames; done += block) {
        output.render(*plugin, block);
        output.addTo(check, block);
        unwritten += output.unwrittenFrames(block);
        if (done > heldFrames - 60 * static_cast<long long>(rate))
            for (int i = 0; i < block; ++i) lastMinutePeak = std::max(lastMinutePeak, std::fabs(output.left()[i]));
        ASSERT_TRUE(check.finite) << "frame " << done;
    }
    expectSound(check, output, unwritten);
    EXPECT_GT(check.peak, 0.1f);
    std::printf("20 notes held for %lld s: peak %g, peak of the last minute %g\n",
                heldFrames / static_cast<long long>(rate), check.peak, lastMinutePeak);

    // Released: silent once the release and the output stage's tails are over.
    std::vector<MidiMessage> off;
    for (const MidiMessage& m : chord) off.push_back({0, static_cast<unsigned char>(0x80 | (m.status & 0x0F)), m.data1, 0});
    plugin->sendMidi(off);
    std::vector<float> tail;
    for (int b = 0; b < static_cast<int>(12 * rate) / block; ++b) {
        output.render(*plugin, block);
        output.addTo(check, block);
        tail.insert(tail.end(), output.left(), output.left() + block);
    }
    EXPECT_TRUE(quiet(tail, tail.size() - static_cast<std::size_t>(rate)));
    EXPECT_EQ(check.subnormals, 0);
}

TEST(AudioAbuse, NoteStormsWithExtremeKnobsStayBoundedAndEndInSilence) {
    ASSERT_TRUE(builtPlugin().loaded()) << builtPlugin().error();
    std::mt19937 random(5150);
    auto plugin = startedInstance(96000.0f, 128);
    GuardedOutput output(128);
    AudioCheck check;
    int unwritten = 0;
    const int blocks = scaled(60 * 96000 / 128, 3000);
    for (int b = 0; b < blocks; ++b) {
        std::vector<MidiMessage> events;
        const int count = static_cast<int>(random() % 40);
        for (int e = 0; e < count; ++e) {
            const auto status = static_cast<unsigned char>((random() % 3 ? 0x90 : 0x80) | (random() % 16));
            const auto velocity = static_cast<unsigned char>(random() % 4 == 0 ? 0 : (random() % 2 ? 127 : random() % 128));
            events.push_back({static_cast<VstInt32>(random() % 128), status, static_cast<unsigned char>(random() % 128), velocity});
        }
        std::sort(events.begin(), events.end(), [](auto& a, auto& c) { return a.deltaFrames < c.deltaFrames; });
        plugin->sendMidi(events);
        if (b % 3 == 0) plugin->setParameter(static_cast<VstInt32>(random() % 16), random() % 2 ? 1.0f : 0.0f);
        if (b % 997 == 0) plugin->setProgram(static_cast<VstInt32>(random() % 8));
        output.render(*plugin, 128);
        output.addTo(check, 128);
        unwritten += output.unwrittenFrames(128);
        ASSERT_TRUE(check.finite) << "block " << b;
    }
    expectSound(check, output, unwritten);

    plugin->sendMidi({{0, 0xB0, 123, 0}, {0, 0xB5, 126, 0}});
    std::vector<float> tail;
    for (int b = 0; b < 4 * 96000 / 128; ++b) {
        output.render(*plugin, 128);
        tail.insert(tail.end(), output.left(), output.left() + 128);
    }
    EXPECT_TRUE(quiet(tail, tail.size() - 96000));
}

TEST(AudioAbuse, TailsAfterALoudPassageSettleWithoutSubnormals) {
    ASSERT_TRUE(builtPlugin().loaded()) << builtPlugin().error();
    for (float rate : {22050.0f, 44100.0f, 192000.0f}) {
        SCOPED_TRACE("rate " + std::to_string(rate));
        auto plugin = startedInstance(rate, 256);
        for (VstInt32 band = 7; band <= 9; ++band) plugin->setParameter(band, 1.0f);
        plugin->setParameter(14, 1.0f);
        plugin->setParameter(15, 1.0f);
        std::vector<MidiMessage> chord, off;
        for (unsigned char n = 0; n < 16; ++n) {
            chord.push_back({0, 0x90, static_cast<unsigned char>(30 + 4 * n), 127});
            off.push_back({0, 0x80, static_cast<unsigned char>(30 + 4 * n), 0});
        }
        GuardedOutput output(256);
        AudioCheck loud, decay;
        const int second = static_cast<int>(rate) / 256;
        plugin->sendMidi(chord);
        for (int b = 0; b < 3 * second; ++b) {
            output.render(*plugin, 256);
            output.addTo(loud, 256);
        }
        plugin->sendMidi(off);

        // A long silence: every sample is zero or a normal number all the way down.
        const int seconds = std::max(30, scaled(90));
        float lastSecondPeak = 0.0f, smallestNonzero = 1.0f;
        long long zeros = 0, total = 0;
        for (int b = 0; b < seconds * second; ++b) {
            output.render(*plugin, 256);
            output.addTo(decay, 256);
            for (int i = 0; i < 256; ++i) {
                for (float x : {output.left()[i], output.right()[i]}) {
                    if (b >= (seconds - 1) * second) {
                        lastSecondPeak = std::max(lastSecondPeak, std::fabs(x));
                        ++total;
                        if (x == 0.0f) ++zeros;
                    }
                    if (x != 0.0f) smallestNonzero = std::min(smallestNonzero, std::fabs(x));
                }
            }
        }
        EXPECT_GT(loud.peak, 0.1f);
        EXPECT_TRUE(loud.finite && decay.finite);
        EXPECT_EQ(loud.subnormals + decay.subnormals, 0) << "subnormal output in the tail";
        EXPECT_LT(lastSecondPeak, kSilence);
        std::printf("rate %g: loud peak %g; after %d s of silence the last second peaks at %g, %lld of %lld samples "
                    "exactly zero; smallest nonzero output %g\n",
                    rate, loud.peak, seconds, lastSecondPeak, zeros, total, smallestNonzero);
    }
}

TEST(AudioAbuse, AbsurdRatesLeaveTheInstrumentPlayable) {
    // Rates no host should send but that are finite and positive: far below
    // audio rates (where the body bands lie above half the rate), tiny and
    // subnormal ones, and far above. Whatever happens while they are in force,
    // the output stays finite and bounded and the instrument plays normally
    // again once the host returns to a real rate.
    // Rates above 768 kHz (no audio interface runs faster) are ignored: the
    // instrument plays on at the rate it had, bit for bit. Seconds are rendered
    // at each rate, long enough for an unstable band to blow up.
    ASSERT_TRUE(builtPlugin().loaded()) << builtPlugin().error();
    const int duringBlocks = scaled(300, 40);
    auto play = [&](float rate, GuardedOutput& output, AudioCheck& during, std::uint64_t& hash) {
        auto plugin = startedInstance(44100.0f, 512);
        for (VstInt32 band = 7; band <= 9; ++band) plugin->setParameter(band, 1.0f);
        plugin->setParameter(14, 1.0f);
        plugin->sendMidi({{0, 0x90, 60, 127}, {0, 0x90, 30, 127}});
        output.render(*plugin, 512);
        if (rate > 0.0f) plugin->setSampleRate(rate);
        plugin->sendMidi({{0, 0x90, 67, 127}});
        for (int b = 0; b < duringBlocks; ++b) {
            output.render(*plugin, 512);
            output.addTo(during, 512);
            hash = hashBytes(output.left(), 512 * sizeof(float), hash);
        }
        return plugin;
    };
    GuardedOutput referenceOutput(512);
    AudioCheck referenceCheck;
    std::uint64_t unchanged = 0;
    play(0.0f, referenceOutput, referenceCheck, unchanged);

    for (float rate : {1.0f, 8.0f, 100.0f, 250.0f, 500.0f, 700.0f, 1000.0f, 4000.0f, 768000.0f, 768001.0f, 3e6f,
                       1e7f, 3.7e11f, 3e38f, 1e-30f, std::numeric_limits<float>::min(),
                       std::numeric_limits<float>::denorm_min()}) {
        SCOPED_TRACE("rate " + std::to_string(rate));
        GuardedOutput output(512);
        AudioCheck during, after;
        std::uint64_t hash = 0;
        auto plugin = play(rate, output, during, hash);
        if (rate > 768000.0f) {
            EXPECT_EQ(hash, unchanged) << "a rate above 768 kHz was taken";
        }
        plugin->setSampleRate(44100.0f);
        plugin->sendMidi({{0, 0xB0, 123, 0}, {0, 0x90, 72, 127}});
        for (int b = 0; b < 16; ++b) {
            output.render(*plugin, 512);
            output.addTo(after, 512);
        }
        EXPECT_TRUE(during.finite && after.finite) << "not a number or infinite output";
        EXPECT_LT(during.peak, kPeakBound);
        EXPECT_LT(after.peak, kPeakBound);
        EXPECT_GT(after.peak, 0.0f) << "silent after the return to a real rate";
        EXPECT_EQ(during.subnormals + after.subnormals, 0);
        EXPECT_TRUE(output.guardsIntact());
    }
}
