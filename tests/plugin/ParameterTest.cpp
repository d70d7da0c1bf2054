// Parameters as a host's generic editor and automation lanes see them.
#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "tests/plugin/PluginFixture.h"

namespace {

// A text request into a canary-guarded buffer: at most 8 characters and a NUL.
std::string guardedText(PluginInstance& plugin, VstInt32 opcode, VstInt32 index) {
    char buffer[32];
    std::memset(buffer, '#', sizeof(buffer));
    plugin.dispatch(opcode, index, 0, buffer);
    for (std::size_t i = 9; i < sizeof(buffer); ++i)
        EXPECT_EQ(buffer[i], '#') << "opcode " << opcode << " index " << index;
    EXPECT_NE(std::memchr(buffer, 0, 9), nullptr);
    return buffer;
}

}  // namespace

TEST_F(PluginTest, EveryParameterHasANameUnitAndDisplay) {
    const char* names[16] = {"RND",     "SAW",     "SQR",     "PreFilt", "Damp",   "Vel",
                             "Key",     "Body100", "Body200", "Body300", "Attack", "Decay",
                             "Release", "Detune",  "Chorus",  "Volume"};
    for (int i = 0; i < 16; ++i) {
        EXPECT_EQ(guardedText(*plugin, effGetParamName, i), names[i]);
        EXPECT_FALSE(guardedText(*plugin, effGetParamLabel, i).empty()) << i;
        EXPECT_FALSE(guardedText(*plugin, effGetParamDisplay, i).empty()) << i;
    }
    for (int index : {-1, 16, 1000}) {
        EXPECT_EQ(guardedText(*plugin, effGetParamName, index), "");
        EXPECT_EQ(guardedText(*plugin, effGetParamLabel, index), "");
        EXPECT_EQ(guardedText(*plugin, effGetParamDisplay, index), "");
    }
}

TEST_F(PluginTest, DisplayTextsShowTheValueInItsUnit) {
    struct Case {
        int index;
        float value;
        const char* display;
        const char* unit;
    };
    const Case cases[] = {
        {0, 0.48f, "48", "%"},    {15, 1.0f, "100", "%"},   {6, 0.0f, "0", "%"},
        {7, 1.0f, "+18.0", "dB"}, {8, 0.0f, "-18.0", "dB"}, {9, 0.5f, "0.0", "dB"},
        {7, 0.75f, "+9.0", "dB"}, {10, 0.0f, "0.60", "ms"}, {10, 1.0f, "601", "ms"},
        {10, 0.1f, "6.60", "ms"}, {11, 1.0f, "6.00", "s"},  {12, 0.2f, "241", "ms"},
        {11, 0.5f, "1.50", "s"},  {12, 0.0f, "1.20", "ms"}, {10, 0.2f, "24.6", "ms"},
        {11, 0.1f, "61.2", "ms"}, {8, 0.499f, "0.0", "dB"}, {9, 0.501f, "0.0", "dB"},
    };
    for (const Case& c : cases) {
        plugin->setParameter(c.index, c.value);
        EXPECT_EQ(guardedText(*plugin, effGetParamDisplay, c.index), c.display) << c.index << " " << c.value;
        EXPECT_EQ(guardedText(*plugin, effGetParamLabel, c.index), c.unit) << c.index << " " << c.value;
    }
}

TEST_F(PluginTest, ValuesAreClampedAndNonsenseIgnored) {
    plugin->setParameter(4, 0.3f);
    plugin->setParameter(4, std::numeric_limits<float>::quiet_NaN());
    EXPECT_EQ(plugin->getParameter(4), 0.3f);
    plugin->setParameter(4, 1.7f);
    EXPECT_EQ(plugin->getParameter(4), 1.0f);
    plugin->setParameter(3, -2.0f);
    EXPECT_EQ(plugin->getParameter(3), 0.0f);
    plugin->setParameter(3, std::numeric_limits<float>::infinity());
    EXPECT_EQ(plugin->getParameter(3), 1.0f);
    plugin->setParameter(16, 0.5f);
    plugin->setParameter(-1, 0.5f);
    EXPECT_EQ(plugin->getParameter(16), 0.0f);
    EXPECT_EQ(plugin->getParameter(-1), 0.0f);
    EXPECT_EQ(plugin->getChunk(false).size(), 704u);
}

// Each body knob reaches its own band whichever way it is set: turned by the
// host (or the panel), restored with a preset, or brought back by a program
// switch. A fault names the band.
TEST_F(PluginTest, BodyKnobsReachTheirBandsByEveryRoute) {
    auto render = [](PluginInstance& instance) {
        instance.sendMidi({{0, 0x90, 31, 127}, {0, 0x90, 43, 100}});
        return checksum(renderBlocks(instance, 16384, 512));
    };
    const std::uint64_t untouched = render(*startInstance());
    for (int band = 0; band < 3; ++band) {
        const VstInt32 knob = 7 + band;
        SCOPED_TRACE("body band " + std::to_string(100 * (band + 1)) + " Hz");

        // Both instances start from a restore of the same values, which sets
        // every band (a band never set keeps its built-in shape, bit for bit a
        // different flat filter).
        auto turned = startInstance();
        ASSERT_EQ(turned->setChunk(turned->getChunk(true), true), 64);
        turned->setParameter(knob, 1.0f);
        auto restored = startInstance();
        std::vector<unsigned char> preset = restored->getChunk(true);
        const float boost = 1.0f;
        std::memcpy(preset.data() + 4 * knob, &boost, 4);
        ASSERT_EQ(restored->setChunk(preset, true), 64);
        const std::uint64_t expected = render(*restored);
        EXPECT_NE(expected, untouched) << "the band does nothing";
        EXPECT_EQ(render(*turned), expected) << "turning the knob did not reach the band";

        // Program 1 edited, left and selected again: the switch sets the band.
        auto switched = startInstance();
        switched->setProgram(1);
        switched->setParameter(knob, 1.0f);
        switched->setProgram(0);
        switched->setProgram(1);
        auto direct = startInstance();
        direct->setProgram(1);
        direct->setParameter(knob, 1.0f);
        EXPECT_EQ(render(*switched), render(*direct)) << "the program switch left the band as it was";
    }
}
