#include <gtest/gtest.h>

#include "editor/keys/NoteKeys.h"

// The two rows by position from every window system's names, the octave and
// velocity keys at their limits, and a note let go as it was struck.
TEST(NoteKeys, PlaysTheTwoRowsAndReleasesWhatWasStruck) {
    NoteKeys keys;
    const int z = NoteKeys::keyFromCode("KeyZ"), i = NoteKeys::keyFromCode("KeyI");
    EXPECT_EQ(z, NoteKeys::keyFromEvdev(52 - 8));     // X11 key code 52
    EXPECT_EQ(z, NoteKeys::keyFromScanCode(0x2C));
    EXPECT_EQ(NoteKeys::keyFromCode("ArrowLeft"), NoteKeys::keyFromScanCode(0xE04B));
    EXPECT_EQ(NoteKeys::keyFromCode("KeyA"), -1);

    NoteKeys::Action a = keys.press(z);
    EXPECT_EQ(a.kind, NoteKeys::Action::NoteOn);
    EXPECT_EQ(a.note, 48);
    EXPECT_EQ(a.velocity, 100);
    EXPECT_EQ(keys.press(z).kind, NoteKeys::Action::None);  // a held key repeating
    EXPECT_EQ(keys.press(i).note, 72);                       // C an octave above the upper row's C4

    keys.press(NoteKeys::keyFromCode("ArrowRight"));
    a = keys.release(z);
    EXPECT_EQ(a.kind, NoteKeys::Action::NoteOff);
    EXPECT_EQ(a.note, 48);  // not the note the key would play now
    EXPECT_EQ(keys.press(z).note, 60);

    for (int n = 0; n < 3; ++n) keys.press(NoteKeys::keyFromCode("ArrowUp"));
    EXPECT_EQ(keys.velocity(), 127);
    for (int n = 0; n < 12; ++n) keys.press(NoteKeys::keyFromCode("ArrowDown"));
    EXPECT_EQ(keys.velocity(), 1);
    for (int n = 0; n < 12; ++n) keys.press(NoteKeys::keyFromCode("ArrowRight"));
    EXPECT_EQ(keys.octave(), 108);
    EXPECT_EQ(keys.press(i).kind, NoteKeys::Action::None);  // above MIDI 127

    int released = 0;
    keys.releaseAll([&](int note) { released += note; });
    EXPECT_EQ(released, 72 + 60);
}
