// Instances created and closed in bulk, in every state a host may leave them
// in, and several instances alive at once whose sound does not depend on each
// other or on the order in which the host serves them.
#include <algorithm>
#include <cmath>
#include <numeric>

#include "tests/reliability/ReliabilitySupport.h"

using namespace reliability;

namespace {

// One instance playing its own seeded part: every step may send notes and move
// a knob, then renders a block whose bits go into a running hash.
class ScriptedPart {
public:
    ScriptedPart(unsigned seed, float rate, VstInt32 block)
        : random(seed), plugin(startedInstance(rate, block)), block(block), output(block) {
        plugin->setProgram(static_cast<VstInt32>(seed % 8));
    }

    void step() {
        std::vector<MidiMessage> events;
        const int count = static_cast<int>(random() % 4);
        for (int e = 0; e < count; ++e) {
            const auto status = static_cast<unsigned char>((random() % 3 ? 0x90 : 0x80) | (random() % 16));
            events.push_back({static_cast<VstInt32>(random() % static_cast<unsigned>(block)), status,
                              static_cast<unsigned char>(36 + random() % 60),
                              static_cast<unsigned char>(1 + random() % 127)});
        }
        std::sort(events.begin(), events.end(), [](auto& a, auto& b) { return a.deltaFrames < b.deltaFrames; });
        plugin->sendMidi(events);
        if (random() % 8 == 0)
            plugin->setParameter(static_cast<VstInt32>(random() % 16), static_cast<float>(random() % 1000) / 999.0f);
        output.render(*plugin, block);
        hash = hashBytes(output.left(), sizeof(float) * static_cast<std::size_t>(block), hash);
        hash = hashBytes(output.right(), sizeof(float) * static_cast<std::size_t>(block), hash);
        output.addTo(check, block);
        intact = intact && output.guardsIntact();
    }

    std::mt19937 random;
    std::unique_ptr<PluginInstance> plugin;
    VstInt32 block;
    GuardedOutput output;
    std::uint64_t hash = kHashStart;
    AudioCheck check;
    bool intact = true;
};

struct PartSetup {
    unsigned seed;
    float rate;
    VstInt32 block;
};

const PartSetup kParts[] = {
    {11, 44100.0f, 64}, {22, 48000.0f, 128}, {33, 96000.0f, 37}, {44, 22050.0f, 512}, {55, 192000.0f, 256},
};

}  // namespace

TEST(Lifecycle, ThousandInstancesAreCreatedAndClosedInEveryState) {
    ASSERT_TRUE(builtPlugin().loaded()) << builtPlugin().error();
    GuardedOutput output(256);
    AudioCheck check;
    for (int i = 0; i < 1000; ++i) {
        auto plugin = newInstance();
        ASSERT_NE(plugin, nullptr) << i;
        switch (i % 6) {
        case 0:  // cold: created and closed at once
            break;
        case 1:  // opened and resumed, never rendered
            plugin->start(44100.0f, 256);
            break;
        case 2:  // closed while a note sounds
            plugin->start(48000.0f, 256);
            plugin->sendMidi({{0, 0x90, 60, 127}, {3, 0x90, 67, 100}});
            output.render(*plugin, 256);
            output.addTo(check, 256);
            break;
        case 3:  // suspended again before the close
            plugin->start(44100.0f, 128);
            plugin->sendMidi({{0, 0x90, 48, 90}});
            output.render(*plugin, 128);
            plugin->suspend();
            break;
        case 4:  // closed with the editor open (no parent window: nothing to show it in)
            plugin->dispatch(effEditOpen);
            plugin->start(44100.0f, 64);
            output.render(*plugin, 64);
            break;
        default:  // state restored before the first resume, resumed twice
            plugin->setChunk(plugin->getChunk(false), false);
            plugin->resume();
            plugin->resume();
            break;
        }
        ASSERT_EQ(plugin->close(), 1) << i;
    }
    EXPECT_TRUE(output.guardsIntact());
    EXPECT_TRUE(check.finite);
}

TEST(Lifecycle, InstancesAliveTogetherEachSoundAsIfAlone) {
    ASSERT_TRUE(builtPlugin().loaded()) << builtPlugin().error();
    const int steps = scaled(400, 40);
    std::vector<std::uint64_t> alone;
    for (const PartSetup& setup : kParts) {
        ScriptedPart part(setup.seed, setup.rate, setup.block);
        for (int s = 0; s < steps; ++s) part.step();
        EXPECT_TRUE(part.check.finite && part.intact) << setup.seed;
        EXPECT_GT(part.check.peak, 0.0f) << setup.seed;
        alone.push_back(part.hash);
    }

    // All parts at once, served in a random order, with other instances coming
    // and going in between; then closed in another order than created.
    std::vector<std::unique_ptr<ScriptedPart>> parts;
    for (const PartSetup& setup : kParts) parts.push_back(std::make_unique<ScriptedPart>(setup.seed, setup.rate, setup.block));
    std::vector<int> remaining(parts.size(), steps);
    std::mt19937 order(90210);
    std::unique_ptr<PluginInstance> bystander;
    GuardedOutput scratch(512);
    int left = steps * static_cast<int>(parts.size());
    while (left > 0) {
        const auto p = static_cast<std::size_t>(order() % parts.size());
        if (remaining[p] == 0) continue;
        parts[p]->step();
        --remaining[p];
        --left;
        if (order() % 50 == 0) {
            if (bystander) {
                bystander->close();
                bystander.reset();
            } else {
                bystander = startedInstance(44100.0f, 512);
                bystander->setProgram(3);
                bystander->sendMidi({{0, 0x90, 40, 127}, {0, 0x90, 47, 127}});
                scratch.render(*bystander, 512);
            }
        }
    }
    for (std::size_t p = 0; p < parts.size(); ++p) EXPECT_EQ(parts[p]->hash, alone[p]) << "part " << kParts[p].seed;

    std::vector<std::size_t> closing(parts.size());
    std::iota(closing.begin(), closing.end(), 0);
    std::shuffle(closing.begin(), closing.end(), order);
    for (std::size_t p : closing) EXPECT_EQ(parts[p]->plugin->close(), 1);
}
