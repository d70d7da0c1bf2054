// Where parameter changes, program switches and restores land inside the
// plug-in: envelope rates of every voice, and the sample rate of the voices.
#include <gtest/gtest.h>

#include <cstring>

#include "engine/VoiceEngine.h"
#include "plugin/VSTPlug.h"

namespace {

class ParameterRouting : public ::testing::Test {
protected:
    VSTPlug plug{nullptr};
    VoiceEngine& engine = plug.instrument().voiceEngine();

    void expectAllVoices(int stage, float rate) {
        for (int v = 0; v < VoiceEngine::kVoiceCount; ++v)
            EXPECT_EQ(engine.voice(v).envelope().rate(stage), rate) << "voice " << v << " stage " << stage;
    }
};

}  // namespace

TEST_F(ParameterRouting, EnvelopeKnobsReachEveryVoice) {
    for (int index : {10, 11, 12}) {
        const int stage = index - 10;
        const float before = engine.voice(0).envelope().rate(stage);
        plug.setParameter(index, 0.9f);
        const float after = engine.voice(0).envelope().rate(stage);
        EXPECT_NE(after, before) << index;
        expectAllVoices(stage, after);
    }
    // A program switch recomputes them from the new program's values.
    VSTPlug fresh(nullptr);
    fresh.setProgram(2);
    plug.setProgram(2);
    for (int stage = 0; stage < 3; ++stage)
        expectAllVoices(stage, fresh.instrument().voiceEngine().voice(0).envelope().rate(stage));
}

TEST_F(ParameterRouting, VoicesRunAtTwiceTheHostRateFromTheStart) {
    for (int v = 0; v < VoiceEngine::kVoiceCount; ++v) EXPECT_EQ(engine.voice(v).sampleRate(), 88200.0f);
    plug.setSampleRate(48000.0f);
    for (int v = 0; v < VoiceEngine::kVoiceCount; ++v) EXPECT_EQ(engine.voice(v).sampleRate(), 96000.0f);
    plug.setSampleRate(0.0f);
    EXPECT_EQ(engine.voice(0).sampleRate(), 96000.0f);
}

TEST_F(ParameterRouting, PresetRestoreKeepsValuesAndRatesInStep) {
    float values[16];
    for (int i = 0; i < 16; ++i) values[i] = 0.05f * static_cast<float>(i);
    ASSERT_EQ(plug.setChunk(values, 64, true), 64);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(plug.getParameter(i), values[i]);

    VSTPlug reference(nullptr);
    for (int i = 0; i < 16; ++i) reference.setParameter(i, values[i]);
    for (int stage = 0; stage < 3; ++stage)
        expectAllVoices(stage, reference.instrument().voiceEngine().voice(0).envelope().rate(stage));

    void* data = nullptr;
    ASSERT_EQ(plug.getChunk(&data, true), 64);
    EXPECT_EQ(std::memcmp(data, values, 64), 0);
}
