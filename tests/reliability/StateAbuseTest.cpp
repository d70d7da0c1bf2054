// Saved state from hosts that hand over the wrong thing: every size around the
// two real ones, non-finite values at every position, values out of range, in
// every state an instance can be in. A refused block changes nothing and asks
// the host to refresh its display; an accepted one leaves every live and saved
// value finite within 0..1 and round-trips exactly.
#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

#include "tests/reliability/ReliabilitySupport.h"

using namespace reliability;

namespace {

std::vector<float> nonFinitePatterns() {
    std::vector<float> values = {std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity(),
                                 -std::numeric_limits<float>::infinity()};
    for (std::uint32_t bits : {0x7F800001u, 0xFFC00000u, 0x7FFFFFFFu, 0xFFFFFFFFu}) {  // signalling, negative, payloads
        float v;
        std::memcpy(&v, &bits, 4);
        values.push_back(v);
    }
    return values;
}

void put(std::vector<unsigned char>& block, std::size_t offset, float value) { std::memcpy(&block[offset], &value, 4); }

int displayRequests(const PluginInstance& plugin) {
    int count = 0;
    for (const HostCall& call : plugin.calls())
        if (call.opcode == audioMasterUpdateDisplay) ++count;
    return count;
}

// Puts an instance into one of the states a host may restore state in.
std::unique_ptr<PluginInstance> instanceInState(int state, GuardedOutput& output) {
    auto plugin = newInstance();
    switch (state) {
    case 0:  // before the first resume
        plugin->dispatch(effOpen);
        break;
    case 1:  // running, with notes sounding
        plugin->start(44100.0f, 256);
        plugin->sendMidi({{0, 0x90, 60, 127}, {0, 0x90, 64, 127}});
        output.render(*plugin, 256);
        break;
    case 2:  // suspended
        plugin->start(48000.0f, 128);
        plugin->suspend();
        break;
    default:  // editor open on another program
        plugin->start(44100.0f, 64);
        plugin->setProgram(6);
        plugin->dispatch(effEditOpen);
        break;
    }
    return plugin;
}

}  // namespace

TEST(StateAbuse, MalformedBlocksAreRefusedInEveryState) {
    ASSERT_TRUE(builtPlugin().loaded()) << builtPlugin().error();
    std::mt19937 random(6502);
    GuardedOutput output(256);
    for (int state = 0; state < 4; ++state) {
        SCOPED_TRACE("state " + std::to_string(state));
        auto plugin = instanceInState(state, output);
        const std::vector<unsigned char> bank = plugin->getChunk(false);
        const std::vector<unsigned char> preset = plugin->getChunk(true);
        const VstInt32 program = plugin->program();
        ASSERT_EQ(bank.size(), 704u);
        ASSERT_EQ(preset.size(), 64u);
        int refused = 0;

        auto expectRefused = [&](const std::vector<unsigned char>& block, bool asPreset, const char* what) {
            plugin->clearCalls();
            EXPECT_EQ(plugin->setChunk(block, asPreset), 0) << what << ", " << block.size() << " bytes";
            EXPECT_EQ(displayRequests(*plugin), 1) << what;
            ++refused;
        };

        // Every size from empty to beyond the bank and two banks, random
        // contents, both flags; only 64 bytes as a preset and 704 bytes either
        // way may be taken.
        for (std::size_t size = 0; size <= 1408; size += size < 800 ? 1 : 608) {
            if (size == 704 || size == 64) continue;
            std::vector<unsigned char> block(size);
            for (auto& b : block) b = static_cast<unsigned char>(random());
            expectRefused(block, size % 2 == 0, "wrong size");
        }
        std::vector<unsigned char> shortPreset(preset);
        expectRefused(shortPreset, false, "preset block without the preset flag");

        // A non-finite value anywhere a value lies.
        for (float bad : nonFinitePatterns()) {
            for (std::size_t i = 0; i < 16; ++i) {
                std::vector<unsigned char> block(preset);
                put(block, 4 * i, bad);
                expectRefused(block, true, "non-finite preset value");
            }
            for (std::size_t p = 0; p < 8; ++p) {
                for (std::size_t i = 0; i < 16; ++i) {
                    std::vector<unsigned char> block(bank);
                    put(block, 88 * p + 24 + 4 * i, bad);
                    expectRefused(block, random() % 2 == 0, "non-finite bank value");
                }
            }
        }
        EXPECT_EQ(plugin->getChunk(false), bank) << "a refused block changed the bank";
        EXPECT_EQ(plugin->getChunk(true), preset) << "a refused block changed the live values";
        EXPECT_EQ(plugin->program(), program) << "a refused block changed the program";
        output.render(*plugin, 64);
        EXPECT_TRUE(output.guardsIntact());
        std::printf("state %d: %d malformed blocks refused\n", state, refused);
    }
}

TEST(StateAbuse, AcceptedBlocksAreClampedAndRoundTripExactly) {
    ASSERT_TRUE(builtPlugin().loaded()) << builtPlugin().error();
    std::mt19937 random(1984);
    GuardedOutput output(256);
    AudioCheck check;
    const int rounds = scaled(300, 40);
    for (int state = 0; state < 4; ++state) {
        auto plugin = instanceInState(state, output);
        // A value beyond either end takes that end.
        std::vector<unsigned char> ends(64, 0);
        for (std::size_t i = 0; i < 4; ++i) put(ends, 4 * i, std::array{2.0f, -1.0f, 1e30f, -0.0f}[i]);
        ASSERT_EQ(plugin->setChunk(ends, true), 64);
        EXPECT_EQ(plugin->getParameter(0), 1.0f);
        EXPECT_EQ(plugin->getParameter(1), 0.0f);
        EXPECT_EQ(plugin->getParameter(2), 1.0f);
        EXPECT_EQ(plugin->getParameter(3), 0.0f);
        for (int round = 0; round < rounds; ++round) {
            const bool asPreset = random() % 2 == 0;
            std::vector<unsigned char> block(asPreset ? 64 : 704);
            for (auto& b : block) b = static_cast<unsigned char>(random());  // names: any bytes
            const std::size_t values = asPreset ? 16 : 128;
            for (std::size_t v = 0; v < values; ++v) {
                const std::size_t offset = asPreset ? 4 * v : 88 * (v / 16) + 24 + 4 * (v % 16);
                static const float odd[] = {-1e30f, -1.0f, -0.0f, 0.0f, 1e-40f, 0.5f, 1.0f, 1.0000001f, 3.0f, 1e30f};
                const float value = random() % 2 ? odd[random() % 10] : static_cast<float>(random() % 3001) / 1000.0f - 1.0f;
                put(block, offset, value);
            }
            ASSERT_EQ(plugin->setChunk(block, asPreset), static_cast<VstIntPtr>(block.size()));
            ASSERT_TRUE(liveValuesInRange(*plugin)) << "round " << round;

            // What was accepted comes back exactly: the same block restores to the same block.
            const std::vector<unsigned char> saved = plugin->getChunk(asPreset);
            ASSERT_EQ(plugin->setChunk(saved, asPreset), static_cast<VstIntPtr>(saved.size()));
            EXPECT_EQ(plugin->getChunk(asPreset), saved);
            if (!asPreset) {
                EXPECT_EQ(0, std::memcmp(saved.data(), block.data(), 24)) << "a name was changed";
            }

            if (state != 0 && state != 2) {
                plugin->sendMidi({{0, 0x90, static_cast<unsigned char>(40 + round % 40), 127}});
                output.render(*plugin, 256);
                output.addTo(check, 256);
            }
        }
        EXPECT_TRUE(plugin->close() == 1);
    }
    EXPECT_TRUE(check.finite);
    EXPECT_EQ(check.subnormals, 0);
    EXPECT_TRUE(output.guardsIntact());
}
