// Parameters as a host's generic editor and automation lanes see them.
#include <cmath>
#include <cstring>
#include <limits>

#include "tests/plugin/PluginFixture.h"

namespace {

// A text request into a canary-guarded buffer: at most 8 characters and a NUL.
std::string guardedText(PluginInstance& plugin, VstInt32 opcode, VstInt32 index) {
    char buffer[32];
    std::memset(buffer, '#', sizeof(buffer));
    plugin.dispatch(opcode, index, 0, buffer);
    for (std::size_t i = 9; i < sizeof(buffer); ++i) EXPECT_EQ(buffer[i], '#') << "opcode " << opcode << " index " << index;
    EXPECT_NE(std::memchr(buffer, 0, 9), nullptr);
    return buffer;
}

}  // namespace

TEST_F(PluginTest, EveryParameterHasANameUnitAndDisplay) {
    const char* names[16] = {"RND",     "SAW",     "SQR",     "PreFilt", "Damp",   "Vel",    "Key",    "Body100",
                             "Body200", "Body300", "Attack",  "Decay",   "Release", "Detune", "Chorus", "Volume"};
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
        {0, 0.48f, "48", "%"},     {15, 1.0f, "100", "%"},      {6, 0.0f, "0", "%"},
        {7, 1.0f, "+18.0", "dB"},  {8, 0.0f, "-18.0", "dB"},    {9, 0.5f, "0.0", "dB"},
        {7, 0.75f, "+9.0", "dB"},  {10, 0.0f, "0.60", "ms"},    {10, 1.0f, "601", "ms"},
        {10, 0.1f, "6.60", "ms"},   {11, 1.0f, "6.00", "s"},     {12, 0.2f, "241", "ms"},
        {11, 0.5f, "1.50", "s"},   {12, 0.0f, "1.20", "ms"},
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
