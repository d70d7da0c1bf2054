// A long seeded session, computed as fast as the machine allows: notes and
// chords of every length, knob automation, program switches, state saved and
// restored, block sizes and sample rates changed as hosts do. Nothing may ever
// be NaN, infinite or subnormal, and at the end the saved state must restore
// exactly and carry the whole sound.
//
// HAMMERLYN2_SOAK_SECONDS sets the length of the session in seconds of audio
// (the build chooses a default: an hour in optimised native builds, less in
// slow ones); HAMMERLYN2_SOAK_SEED sets the seed.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "tests/reliability/ReliabilitySupport.h"

using namespace reliability;

namespace {

long long environmentNumber(const char* name, long long fallback) {
    const char* text = std::getenv(name);
    if (!text || !*text) return fallback;
    const long long value = std::atoll(text);
    return value > 0 ? value : fallback;
}

struct HeldNote {
    long long offFrame;
    unsigned char channel, note;
};

// Knob moving from one value to another over a number of blocks, as a host's
// automation lane plays it.
struct Ramp {
    VstInt32 index;
    float from, to;
    int blocks, done;
};

class Session {
public:
    explicit Session(unsigned seed) : random(seed), plugin(startedInstance(48000.0f, 512)), output(4096) {
        twin = newInstance();
    }

    // Runs until `seconds` of audio have been rendered. Program switches, state
    // round trips and rate changes come at intervals that shrink with shorter
    // sessions, so that a short run still sees every kind several times.
    void run(long long seconds) {
        const double k = std::clamp(static_cast<double>(seconds) / 3600.0, 0.05, 1.0);
        double renderedSeconds = 0.0;
        double nextSwitch = 20.0 * k, nextRoundTrip = 45.0 * k, nextRateChange = 300.0 * k;
        while (renderedSeconds < static_cast<double>(seconds)) {
            if (renderedSeconds >= nextSwitch) {
                plugin->setProgram(static_cast<VstInt32>(random() % 8));
                ++programSwitches;
                nextSwitch += (5.0 + static_cast<double>(random() % 40)) * k;
            }
            if (renderedSeconds >= nextRoundTrip) {
                roundTrip();
                if (::testing::Test::HasFatalFailure()) return;
                nextRoundTrip += (30.0 + static_cast<double>(random() % 60)) * k;
            }
            if (renderedSeconds >= nextRateChange) {
                changeRate();
                nextRateChange += (120.0 + static_cast<double>(random() % 300)) * k;
            }
            const VstInt32 frames = block();
            if (failed) return;
            renderedSeconds += static_cast<double>(frames) / static_cast<double>(rate);
            totalSeconds += static_cast<double>(frames) / static_cast<double>(rate);
        }
    }

    // The last word: the saved state restores exactly into another instance,
    // and two fresh instances restored from it sound the same.
    void finalCheck() {
        const std::vector<unsigned char> bank = plugin->getChunk(false);
        const std::vector<unsigned char> preset = plugin->getChunk(true);
        ASSERT_EQ(bank.size(), 704u);
        ASSERT_EQ(preset.size(), 64u);
        const VstInt32 program = plugin->program();

        auto first = startedInstance(48000.0f, 512);
        auto second = startedInstance(48000.0f, 512);
        for (auto* restored : {first.get(), second.get()}) {
            ASSERT_EQ(restored->setChunk(bank, false), 704);
            restored->setProgram(program);
            ASSERT_EQ(restored->setChunk(preset, true), 64);
            EXPECT_EQ(restored->getChunk(false), bank) << "the bank did not round-trip";
            EXPECT_EQ(restored->getChunk(true), preset) << "the live values did not round-trip";
        }
        std::uint64_t hashes[2] = {kHashStart, kHashStart};
        int i = 0;
        for (auto* restored : {first.get(), second.get()}) {
            restored->sendMidi({{0, 0x90, 48, 100}, {100, 0x90, 55, 90}, {300, 0x90, 64, 127}});
            for (int b = 0; b < 200; ++b) {
                output.render(*restored, 512);
                hashes[i] = hashBytes(output.left(), 512 * sizeof(float), hashes[i]);
                hashes[i] = hashBytes(output.right(), 512 * sizeof(float), hashes[i]);
                output.addTo(check, 512);
            }
            ++i;
        }
        EXPECT_EQ(hashes[0], hashes[1]) << "the restored state does not carry the whole sound";
    }

    std::mt19937 random;
    std::unique_ptr<PluginInstance> plugin, twin;
    GuardedOutput output;
    AudioCheck check;
    float rate = 48000.0f;
    VstInt32 announced = 512;
    long long frame = 0;
    double totalSeconds = 0.0;
    bool failed = false;
    long long blocks = 0, notes = 0, knobMoves = 0, programSwitches = 0, roundTrips = 0, rateChanges = 0, silences = 0;

private:
    VstInt32 block() {
        // Mostly the announced size; now and then shorter, as hosts do at loop
        // points and for automation splits.
        VstInt32 frames = announced;
        if (random() % 8 == 0) frames = 1 + static_cast<VstInt32>(random() % static_cast<unsigned>(announced));
        std::vector<MidiMessage> events;

        for (auto it = held.begin(); it != held.end();) {
            if (it->offFrame < frame + frames) {
                const auto delta = static_cast<VstInt32>(std::max<long long>(0, it->offFrame - frame));
                events.push_back({delta, static_cast<unsigned char>(0x80 | it->channel), it->note, 64});
                it = held.erase(it);
            } else {
                ++it;
            }
        }
        // About three note starts a second, in runs and chords.
        const double perBlock = 3.0 * static_cast<double>(frames) / static_cast<double>(rate);
        while (static_cast<double>(random() % 100000) / 100000.0 < perBlock && held.size() < 40) {
            const int chord = random() % 6 == 0 ? 3 + static_cast<int>(random() % 4) : 1;
            const auto delta = static_cast<VstInt32>(random() % static_cast<unsigned>(frames));
            const auto channel = static_cast<unsigned char>(random() % 16);
            const auto root = static_cast<unsigned char>(24 + random() % 72);
            for (int c = 0; c < chord; ++c) {
                const auto note = static_cast<unsigned char>(std::min(127, root + 4 * c));
                const auto velocity = static_cast<unsigned char>(1 + random() % 127);
                events.push_back({delta, static_cast<unsigned char>(0x90 | channel), note, velocity});
                const long long length = static_cast<long long>(rate * (0.02f + static_cast<float>(random() % 800) / 100.0f));
                held.push_back({frame + delta + length, channel, note});
                ++notes;
            }
            if (random() % 2) break;
        }
        if (random() % 400 == 0)
            events.push_back({static_cast<VstInt32>(random() % static_cast<unsigned>(frames)), 0xE0,
                              static_cast<unsigned char>(random() % 128), static_cast<unsigned char>(random() % 128)});
        if (random() % 20000 == 0) {  // the transport stops: all sound off on every channel
            for (unsigned char ch = 0; ch < 16; ++ch) events.push_back({0, static_cast<unsigned char>(0xB0 | ch), 123, 0});
            held.clear();
            ++silences;
        }
        std::stable_sort(events.begin(), events.end(), [](auto& a, auto& b) { return a.deltaFrames < b.deltaFrames; });
        if (!events.empty()) plugin->sendMidi(events);

        automate();
        output.render(*plugin, frames);
        output.addTo(check, frames);
        ++blocks;
        frame += frames;
        if (!check.finite || check.subnormals != 0 || !output.guardsIntact() || output.unwrittenFrames(frames) != 0) {
            ADD_FAILURE() << "block " << blocks << " at " << totalSeconds << " s: finite " << check.finite
                          << ", subnormals " << check.subnormals << ", guards " << output.guardsIntact();
            failed = true;
        }
        return frames;
    }

    void automate() {
        if (ramps.size() < 3 && random() % 200 == 0) {
            const auto index = static_cast<VstInt32>(random() % 16);
            const float to = random() % 5 == 0 ? static_cast<float>(random() % 2) : static_cast<float>(random() % 1001) / 1000.0f;
            ramps.push_back({index, plugin->getParameter(index), to, 1 + static_cast<int>(random() % 400), 0});
        }
        for (auto it = ramps.begin(); it != ramps.end();) {
            ++it->done;
            const float t = static_cast<float>(it->done) / static_cast<float>(it->blocks);
            plugin->setParameter(it->index, it->from + (it->to - it->from) * t);
            ++knobMoves;
            it = it->done >= it->blocks ? ramps.erase(it) : it + 1;
        }
    }

    void roundTrip() {
        ++roundTrips;
        const bool preset = random() % 2 == 0;
        const std::vector<unsigned char> saved = plugin->getChunk(preset);
        ASSERT_EQ(saved.size(), preset ? 64u : 704u);
        for (float v : blockValues(saved)) ASSERT_TRUE(v >= 0.0f && v <= 1.0f) << v;
        // Back into the same instance, as a host reloading its project does ...
        ASSERT_EQ(plugin->setChunk(saved, preset), static_cast<VstIntPtr>(saved.size()));
        ASSERT_EQ(plugin->getChunk(preset), saved) << "state changed by its own restore";
        // ... and into another, which must save the same block.
        if (!preset) {
            ASSERT_EQ(twin->setChunk(saved, false), 704);
            ASSERT_EQ(twin->getChunk(false), saved);
        }
    }

    void changeRate() {
        static const float rates[] = {44100.0f, 88200.0f, 96000.0f, 22050.0f, 192000.0f};
        rate = random() % 2 ? 48000.0f : rates[random() % 5];
        static const VstInt32 sizes[] = {32, 64, 128, 256, 441, 512, 1024, 2048};
        announced = sizes[random() % 8];
        plugin->suspend();
        plugin->setSampleRate(rate);
        plugin->setBlockSize(announced);
        plugin->resume();
        ++rateChanges;
    }

    std::vector<HeldNote> held;
    std::vector<Ramp> ramps;
};

}  // namespace

TEST(Soak, SeededSessionStaysSoundAndItsStateRoundTrips) {
    ASSERT_TRUE(builtPlugin().loaded()) << builtPlugin().error();
    const long long seconds = environmentNumber("HAMMERLYN2_SOAK_SECONDS", HAMMERLYN2_SOAK_SECONDS);
    const auto seed = static_cast<unsigned>(environmentNumber("HAMMERLYN2_SOAK_SEED", 20240611));
    std::printf("soak: seed %u, %lld s of audio\n", seed, seconds);
    std::fflush(stdout);

    const auto start = std::chrono::steady_clock::now();
    Session session(seed);
    session.run(seconds);
    ASSERT_FALSE(::testing::Test::HasFailure());
    session.finalCheck();
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

    EXPECT_TRUE(session.check.finite) << "NaN or infinity in the output";
    EXPECT_EQ(session.check.subnormals, 0);
    EXPECT_LT(session.check.peak, kPeakBound);
    EXPECT_GT(session.notes, 0);
    std::printf("soak: %.0f s of audio in %.1f s (%.0fx real time); %lld blocks, %lld notes, %lld knob moves, "
                "%lld program switches, %lld state round trips, %lld rate changes, %lld all-sound-off; peak %g\n",
                session.totalSeconds, wall, session.totalSeconds / wall, session.blocks, session.notes,
                session.knobMoves, session.programSwitches, session.roundTrips, session.rateChanges, session.silences,
                session.check.peak);
}
