// Program changes from the audio thread: they never wait for the program lock,
// the latest change wins, and no edit is lost on either side of the switch.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "instrument/Instrument.h"

namespace {

class ProgramRequest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(instrument.prepare(64)); }

    void renderBlock() { instrument.render(left.data(), right.data(), 64); }

    // Requests a program while another thread keeps taking the program lock,
    // until a request finds it held: the request is then pending, with the
    // program left still playing.
    void requestWhileTheLockIsHeld(int index) {
        std::atomic<bool> stop{false};
        std::thread saver([&] {
            while (!stop.load()) {
                const void* data = nullptr;
                instrument.saveState(false, &data);
            }
        });
        const int playing = instrument.program();
        bool pending = false;
        for (int attempt = 0; attempt < 1000000 && !pending; ++attempt) {
            instrument.selectProgram(playing);
            instrument.requestProgram(index);
            pending = instrument.program() == playing;
        }
        stop = true;
        saver.join();
        ASSERT_TRUE(pending) << "no request ever found the program lock held";
    }

    Instrument instrument;
    std::vector<float> left = std::vector<float>(64), right = std::vector<float>(64);
};

TEST_F(ProgramRequest, HeldOffChangeLoadsAtTheNextBlockAndKeepsEveryEdit) {
    // A free lock: the program loads at once; out of range changes nothing.
    EXPECT_TRUE(instrument.requestProgram(2));
    EXPECT_EQ(instrument.program(), 2);
    EXPECT_FALSE(instrument.requestProgram(8));
    EXPECT_FALSE(instrument.requestProgram(-1));
    EXPECT_EQ(instrument.program(), 2);

    ASSERT_TRUE(instrument.selectProgram(0));
    const float factoryDecay0 = instrument.parameter(ParameterIndex::Decay);
    instrument.setParameter(ParameterIndex::Noise, 0.25f);  // an edit of the program left
    requestWhileTheLockIsHeld(3);
    instrument.setParameter(ParameterIndex::Decay, 0.875f);  // a change after the request
    renderBlock();
    EXPECT_EQ(instrument.program(), 3);
    EXPECT_EQ(instrument.parameter(ParameterIndex::Decay), 0.875f);
    EXPECT_EQ(instrument.parameter(ParameterIndex::Noise), 0.49000046f);  // program 3's own

    // The program left kept its edit and not the change meant for the new one;
    // once chosen elsewhere, the old request never comes back.
    ASSERT_TRUE(instrument.selectProgram(0));
    EXPECT_EQ(instrument.parameter(ParameterIndex::Noise), 0.25f);
    EXPECT_EQ(instrument.parameter(ParameterIndex::Decay), factoryDecay0);
    for (int block = 0; block < 4; ++block) renderBlock();
    EXPECT_EQ(instrument.program(), 0);

    // A choice from another thread after the request wins over it.
    requestWhileTheLockIsHeld(4);
    ASSERT_TRUE(instrument.selectProgram(6));
    renderBlock();
    EXPECT_EQ(instrument.program(), 6);
}

}  // namespace
