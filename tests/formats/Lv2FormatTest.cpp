// The LV2 build through the test's LV2 host: its state keeps the selected
// program, is read within the size the host gives (with or without a
// terminating zero), and a bank of another version changes nothing; programs
// selected on the audio thread.
#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "tests/formats/Lv2Host.h"

TEST(Lv2Format, StateKeepsTheProgramAndIsReadWithinItsSize) {
    Lv2Instance lv2(HAMMERLYN2_LV2_PATH);
    ASSERT_TRUE(lv2.ready());
    lv2.selectProgram(3);
    const std::map<std::string, std::string> saved = lv2.saveState();
    ASSERT_EQ(saved.size(), 1u);
    EXPECT_EQ(saved.begin()->second.substr(0, 4), "1:3:");
    for (bool withTerminator : {true, false}) {
        Lv2Instance reopened(HAMMERLYN2_LV2_PATH);
        ASSERT_TRUE(reopened.ready());
        ASSERT_TRUE(reopened.restoreState(saved, withTerminator));
        EXPECT_EQ(reopened.saveState(), saved) << "with the terminator: " << withTerminator;
    }
    std::map<std::string, std::string> later = saved;
    later.begin()->second[0] = '2';
    Lv2Instance other(HAMMERLYN2_LV2_PATH);
    ASSERT_TRUE(other.ready());
    const std::map<std::string, std::string> fresh = other.saveState();
    other.restoreState(later);
    EXPECT_EQ(other.saveState(), fresh);
}

// A program selected between blocks, as hosts do for MIDI program changes on
// their audio thread, sounds as a song saved on it; and it never waits for
// nor fights a save or restore on another thread (run under ThreadSanitizer
// and AddressSanitizer as well).
TEST(Lv2Format, ProgramSelectedOnTheAudioThreadIsHeardBesideSavesAndRestores) {
    auto play = [](Lv2Instance& lv2) {
        std::vector<float> left(1024), right(1024);
        lv2.run({{10, {0x90, 60, 100}}}, left.data(), right.data(), 512);
        lv2.run({}, left.data() + 512, right.data() + 512, 512);
        return left;
    };
    Lv2Instance chosen(HAMMERLYN2_LV2_PATH), restored(HAMMERLYN2_LV2_PATH), plain(HAMMERLYN2_LV2_PATH);
    for (Lv2Instance* lv2 : {&chosen, &restored, &plain}) {
        ASSERT_TRUE(lv2->ready());
        lv2->activate();
    }
    chosen.selectProgram(5);
    ASSERT_TRUE(restored.restoreState(chosen.saveState()));
    const std::vector<float> heard = play(chosen);
    EXPECT_EQ(heard, play(restored));
    EXPECT_NE(heard, play(plain));

    const std::map<std::string, std::string> onProgram3 = restored.saveState(), onProgram0 = plain.saveState();
    std::atomic<bool> playing{true};
    std::thread audio([&] {
        std::vector<float> left(256), right(256);
        for (int block = 0; playing.load(std::memory_order_relaxed) || block < 200; ++block) {
            chosen.selectProgram(static_cast<unsigned>(block % 8));
            const auto note = static_cast<unsigned char>(48 + block % 24);
            chosen.run({{0, {0x90, note, 100}}, {100, {0x80, static_cast<unsigned char>(note ^ 12), 0}}},
                       left.data(), right.data(), 256);
        }
    });
    // Another instance answers get_program on another thread meanwhile, each
    // with its own answers.
    const std::string program7 = plain.program(7);
    std::thread asking([&] {
        for (int i = 0; i < 2000; ++i) EXPECT_EQ(plain.program(7), program7);
    });
    for (int round = 0; round < 100; ++round) {
        EXPECT_EQ(restored.program(static_cast<unsigned>(round % 7)).substr(0, 4), "0 " + std::to_string(round % 7) + " ");
        EXPECT_FALSE(chosen.saveState().empty());
        EXPECT_TRUE(chosen.restoreState(round % 2 ? onProgram3 : onProgram0));
    }
    playing = false;
    audio.join();
    asking.join();
    chosen.selectProgram(2);
    plain.selectProgram(2);
    for (unsigned i = 0; i < 16; ++i) EXPECT_EQ(chosen.control(i), plain.control(i)) << i;
}
