// The built-in demo as a host will play it: every program in turn, every note
// released, nothing out of order.
#include <gtest/gtest.h>

#include <array>
#include <map>

#include "tools/render/DemoSong.h"

TEST(renderDemoSong, SwitchesToEachProgramAtItsSection) {
    const Timeline song = demoSong(8);
    std::vector<std::pair<double, int>> switches;
    for (const TimedEvent& event : song.events)
        if (event.kind == TimedEvent::Kind::Program) switches.emplace_back(event.seconds, event.program);
    ASSERT_EQ(switches.size(), 8u);
    for (int s = 0; s < 8; ++s) {
        EXPECT_EQ(switches[static_cast<std::size_t>(s)].second, s);
        EXPECT_NEAR(switches[static_cast<std::size_t>(s)].first, s * demoSectionSeconds(), 1e-9);
    }
    EXPECT_GE(song.lengthSeconds, 28.0);
    EXPECT_LE(song.lengthSeconds, 32.0);

    // Fewer programs: they repeat; one program: no switching at all.
    int last = -1;
    for (const TimedEvent& event : demoSong(3).events)
        if (event.kind == TimedEvent::Kind::Program) last = event.program;
    EXPECT_EQ(last, 7 % 3);
    for (const TimedEvent& event : demoSong(1).events) EXPECT_NE(event.kind, TimedEvent::Kind::Program);
}

// Each strike is released exactly once, after it and before the same key is
// struck again, so no release can cut a later note short.
TEST(renderDemoSong, EveryNoteIsReleasedBeforeItsKeyIsStruckAgain) {
    const Timeline song = demoSong(8);
    std::array<int, 128> held{};
    double previous = 0.0;
    int notes = 0;
    for (const TimedEvent& event : song.events) {
        EXPECT_GE(event.seconds, previous);
        previous = event.seconds;
        if (event.kind != TimedEvent::Kind::Midi) continue;
        ASSERT_LT(event.data1, 128);
        if ((event.status & 0xf0) == 0x90) {
            EXPECT_EQ(held[event.data1], 0) << "key " << int(event.data1) << " struck while held at " << event.seconds;
            EXPECT_GT(event.data2, 0);
            EXPECT_GE(event.data1, 28);
            EXPECT_LE(event.data1, 96);
            ++held[event.data1];
            ++notes;
        } else {
            EXPECT_EQ(event.status & 0xf0, 0x80);
            EXPECT_EQ(held[event.data1], 1) << "key " << int(event.data1) << " released while not held";
            --held[event.data1];
        }
        EXPECT_LE(event.seconds, song.lengthSeconds);
    }
    for (int key = 0; key < 128; ++key) EXPECT_EQ(held[static_cast<std::size_t>(key)], 0) << "key " << key;
    EXPECT_GT(notes, 200);
}
