// Saved state as the host sees it: the bank and preset blocks, their restore
// rules, program switches and names. Malformed and out-of-range blocks are
// StateAbuseTest's.
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "tests/plugin/PluginFixture.h"

namespace {

// The factory bank written out independently of the plug-in's own table: names
// and the decimal values as printed in the sound designer's sheet.
std::vector<unsigned char> expectedFactoryBank() {
    const char* names[8] = {"Dulcimer 1",   "Dulcimer 2", "Dry Harp", "Soft Harp",
                            "Fonky chords", "DEFAULT",    "Guitar?",  "Lute or Fish"};
    const char* values[16][8] = {
        {"1", "1", "0.74500024", "0.49000046", "1", "1", "1", "0.8050002"},
        {"0.43499982", "0.26", "0", "0", "0.7599997", "0.48999977", "0.9899997", "0.29999992"},
        {"0.12000002", "0.19500002", "0.61999965", "1", "0.24999997", "0.52999973", "0", "0.43499976"},
        {"0.8099995", "0.995", "0.5549997", "0.7249996", "0.9849995", "0.47499985", "0.6800003", "1"},
        {"0.9449996", "0.96000004", "0.32499987", "0.37499988", "1", "0.49499977", "0.73000026",
         "0.51499975"},
        {"0.80499965", "0.78499997", "1", "0.34", "0.7599999", "0.28000006", "0.80999994", "0.81999993"},
        {"0.42999983", "0.47999978", "0.3449999", "0.4699998", "0.19500002", "0.3449999", "0.96500003",
         "0.7649998"},
        {"0.5", "0.26500005", "0.5", "0.19500016", "0.73499984", "0.5", "0.25500017", "0.5"},
        {"0.5", "0.6949999", "0.81499976", "0.27500013", "0.6699999", "0.5", "0.70499986", "0.5"},
        {"0.5", "0.8100002", "0.5", "0.72999984", "0.70499986", "0.5", "0.8499997", "0.5"},
        {"0", "0", "0.15500003", "0.044999994", "0.005", "0.044999994", "0.054999992", "0.1"},
        {"0.6399996", "0.72999954", "0.80999947", "0.72999954", "0.7449995", "0.72999954", "0.6899996",
         "0.6649996"},
        {"0.6199999", "0.5799999", "0.6299999", "0.6899998", "0.09500001", "0.48000002", "0.31000015",
         "0.22000025"},
        {"0.37500042", "0.6949998", "0", "0", "4.3213367e-7", "0", "0", "0"},
        {"0.5899998", "0.2050001", "0", "0.6849999", "0.8349996", "0", "0.45000005", "0.34499997"},
        {"0.4799999", "0.57499987", "0.4899999", "0.31500006", "0.30000004", "0.52499986", "0.31500006",
         "0.4649999"},
    };
    std::vector<unsigned char> bank(704, 0);
    for (int p = 0; p < 8; ++p) {
        std::memcpy(&bank[88 * p], names[p], std::strlen(names[p]));
        for (int i = 0; i < 16; ++i) {
            const float v = std::strtof(values[i][p], nullptr);
            std::memcpy(&bank[88 * p + 24 + 4 * i], &v, 4);  // little-endian hosts only
        }
    }
    return bank;
}

float floatAt(const std::vector<unsigned char>& block, std::size_t offset) {
    float v = 0.0f;
    std::memcpy(&v, &block[offset], 4);
    return v;
}

std::vector<unsigned char> presetBlock(std::initializer_list<float> values) {
    std::vector<unsigned char> block(64, 0);
    int i = 0;
    for (float v : values) std::memcpy(&block[4 * i++], &v, 4);
    return block;
}

}  // namespace

TEST_F(PluginTest, NewInstanceHoldsTheFactoryBankByteForByte) {
    EXPECT_EQ(plugin->getChunk(false), expectedFactoryBank());
    const auto preset = plugin->getChunk(true);
    ASSERT_EQ(preset.size(), 64u);
    EXPECT_TRUE(std::equal(preset.begin(), preset.end(), expectedFactoryBank().begin() + 24));
    EXPECT_EQ(plugin->programName(), "Dulcimer 1");
    EXPECT_EQ(plugin->getParameter(13), 0.37500042f);
}

TEST_F(PluginTest, EditsAreKeptWhenLeavingAProgram) {
    plugin->setParameter(3, 0.25f);
    plugin->setProgram(1);
    EXPECT_EQ(plugin->getParameter(3), 0.995f);
    plugin->setProgram(0);
    EXPECT_EQ(plugin->getParameter(3), 0.25f);

    // The bank block shows the live values of the current program without a switch.
    plugin->setProgram(2);
    plugin->setParameter(5, 0.25f);
    EXPECT_EQ(floatAt(plugin->getChunk(false), 220), 0.25f);
}

TEST_F(PluginTest, PresetBlockReplacesOnlyTheCurrentProgramsValues) {
    plugin->setProgram(3);
    const auto block = presetBlock({0.1f, 0.2f, 0.3f, 0.4f, 0.5f, 0.6f, 0.7f, 0.8f, 0.9f, 1.0f, 0.0f, 0.25f,
                                    0.5f, 0.75f, 0.125f, 0.375f});
    EXPECT_EQ(plugin->setChunk(block, true), 64);
    EXPECT_EQ(plugin->getParameter(0), 0.1f);
    EXPECT_EQ(plugin->getParameter(15), 0.375f);
    EXPECT_EQ(plugin->programName(), "Soft Harp");
    EXPECT_EQ(plugin->program(), 3);
    EXPECT_EQ(plugin->getChunk(true), block);
    // The other programs are untouched.
    const auto bank = plugin->getChunk(false);
    const auto factory = expectedFactoryBank();
    EXPECT_TRUE(std::equal(bank.begin(), bank.begin() + 88 * 3, factory.begin()));
}

TEST_F(PluginTest, BankBlockReplacesEveryProgramButNotTheSelection) {
    plugin->setProgram(6);
    auto bank = expectedFactoryBank();
    for (int p = 0; p < 8; ++p) {
        std::memset(&bank[88 * p], 0, 24);
        const std::string name = "Restored " + std::to_string(p);
        std::memcpy(&bank[88 * p], name.data(), name.size());
        const float v = 0.01f * static_cast<float>(p + 1);
        std::memcpy(&bank[88 * p + 24], &v, 4);
    }
    // A bank is accepted whatever the preset flag says.
    EXPECT_EQ(plugin->setChunk(bank, true), 704);
    EXPECT_EQ(plugin->program(), 6);
    EXPECT_EQ(plugin->programName(), "Restored 6");
    EXPECT_EQ(plugin->getParameter(0), 0.07f);
    EXPECT_EQ(plugin->getChunk(false), bank);
}

TEST_F(PluginTest, ProgramNamesAreCutAtTwentyFourCharacters) {
    char longName[] = "A name of thirty characters..";
    plugin->dispatch(effSetProgramName, 0, 0, longName);
    char text[40];
    std::memset(text, 'x', sizeof(text));
    plugin->dispatch(effGetProgramName, 0, 0, text);
    EXPECT_EQ(std::string(text), std::string(longName, 24));
    EXPECT_EQ(text[25], 'x');
    EXPECT_EQ(plugin->getParameter(0), 1.0f);  // the values after the name are untouched

    // A bank with an unterminated 24-character name reads back terminated.
    auto bank = expectedFactoryBank();
    std::memset(&bank[88 * 2], 'Z', 24);
    ASSERT_EQ(plugin->setChunk(bank, false), 704);
    std::memset(text, 'x', sizeof(text));
    EXPECT_EQ(plugin->dispatch(effGetProgramNameIndexed, 2, 0, text), 1);
    EXPECT_EQ(std::string(text), std::string(24, 'Z'));

    std::memset(text, 'x', sizeof(text));
    EXPECT_EQ(plugin->dispatch(effGetProgramNameIndexed, 8, 0, text), 0);
    EXPECT_EQ(text[0], 0);
    EXPECT_EQ(plugin->dispatch(effGetProgramNameIndexed, -1, 0, text), 0);
    EXPECT_EQ(plugin->dispatch(effGetProgramNameIndexed, 7, 0, text), 1);
    EXPECT_STREQ(text, "Lute or Fish");
}

TEST_F(PluginTest, StateRestoredIntoAnotherInstanceSoundsTheSame) {
    auto source = startInstance(48000.0f, 256);
    source->setProgram(3);
    source->setParameter(7, 0.9f);
    source->setParameter(10, 0.3f);
    source->setParameter(14, 0.7f);
    const auto bank = source->getChunk(false);
    const VstInt32 program = source->program();

    auto copy = PluginInstance::create(builtPlugin().entry());
    ASSERT_NE(copy, nullptr);
    // Some hosts restore state before the first resume.
    ASSERT_EQ(copy->setChunk(bank, false), 704);
    copy->setProgram(program);
    copy->start(48000.0f, 256);

    const std::vector<MidiMessage> phrase = {{5, 0x90, 57, 100}, {100, 0x90, 64, 80}, {200, 0x91, 69, 127}};
    source->sendMidi(phrase);
    copy->sendMidi(phrase);
    const Rendered a = renderBlocks(*source, 24000, 256);
    const Rendered b = renderBlocks(*copy, 24000, 256);
    EXPECT_EQ(checksum(a), checksum(b));
    EXPECT_EQ(source->getChunk(false), copy->getChunk(false));
}
