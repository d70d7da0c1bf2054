// Program changes from the audio thread: they never wait for the program lock,
// the latest change wins, and no edit is lost on either side of the switch.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "instrument/Instrument.h"

TEST(ProgramRequest, HeldOffChangeLoadsAtTheNextBlockAndKeepsEveryEdit) {
    Instrument instrument;
    ASSERT_TRUE(instrument.prepare(64));
    float left[64], right[64];
    // Requests while another thread keeps taking the program lock, until one
    // finds it held and stays pending with the old program playing.
    const auto requestWhileHeld = [&](int index) {
        std::atomic<bool> stop{false};
        std::thread saver([&] {
            for (const void* data = nullptr; !stop.load();) instrument.saveState(false, &data);
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
        return pending;
    };
    EXPECT_FALSE(instrument.requestProgram(8));
    const float factoryDecay = instrument.parameter(ParameterIndex::Decay);
    instrument.setParameter(ParameterIndex::Noise, 0.25f);  // an edit of the program left
    ASSERT_TRUE(requestWhileHeld(3));
    instrument.setParameter(ParameterIndex::Decay, 0.875f);  // a change after the request
    instrument.render(left, right, 64);
    EXPECT_EQ(instrument.program(), 3);
    EXPECT_EQ(instrument.parameter(ParameterIndex::Decay), 0.875f);
    EXPECT_EQ(instrument.parameter(ParameterIndex::Noise), 0.49000046f);  // program 3's own

    // The program left kept its edit, not the change meant for the new one; a
    // choice from another thread after a request wins over it.
    ASSERT_TRUE(requestWhileHeld(0) || instrument.program() == 0);
    instrument.render(left, right, 64);
    EXPECT_EQ(instrument.parameter(ParameterIndex::Noise), 0.25f);
    EXPECT_EQ(instrument.parameter(ParameterIndex::Decay), factoryDecay);
    ASSERT_TRUE(requestWhileHeld(4));
    ASSERT_TRUE(instrument.selectProgram(6));
    for (int block = 0; block < 3; ++block) instrument.render(left, right, 64);
    EXPECT_EQ(instrument.program(), 6);
}
