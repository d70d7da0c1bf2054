#include <gtest/gtest.h>

#include "editor/keys/NoteKeys.h"

// The two rows by position from every window system's names, the octave and
// velocity keys at their limits, and a note let go as it was struck.
TEST(NoteKeys, PlaysTheTwoRowsAndReleasesWhatWasStruck) {
    NoteKeys keys;
    const int z = NoteKeys::keyFromCode("KeyZ"), i = NoteKeys::keyFromCode("KeyI");
    EXPECT_EQ(z, NoteKeys::keyFromEvdev(52 - 8));  // X11 key code 52
    EXPECT_EQ(z, NoteKeys::keyFromScanCode(0x2C));
    EXPECT_EQ(NoteKeys::keyFromCode("ArrowLeft"), NoteKeys::keyFromScanCode(0xE04B));
    EXPECT_EQ(NoteKeys::keyFromCode("KeyA"), -1);

    NoteKeys::Action a = keys.press(z);
    EXPECT_EQ(a.kind, NoteKeys::Action::NoteOn);
    EXPECT_EQ(a.note, 48);
    EXPECT_EQ(a.velocity, 100);
    EXPECT_EQ(keys.press(z).kind, NoteKeys::Action::None);  // a held key repeating
    EXPECT_EQ(keys.press(i).note, 72);                      // C an octave above the upper row's C4

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

// Every playing key by its three names, checked against each other: Linux
// input codes equal the PC's set-1 scan codes on the main block, the arrows
// are the extended keys; and the top octave stops at note 127.
TEST(NoteKeys, TheThreeCodeTablesAgreeForEveryKey) {
    const std::pair<const char*, int> keys[] = {
        {"KeyZ", 0x2C},   {"KeyS", 0x1F}, {"KeyX", 0x2D},   {"KeyD", 0x20},   {"KeyC", 0x2E},
        {"KeyV", 0x2F},   {"KeyG", 0x22}, {"KeyB", 0x30},   {"KeyH", 0x23},   {"KeyN", 0x31},
        {"KeyJ", 0x24},   {"KeyM", 0x32}, {"KeyQ", 0x10},   {"Digit2", 0x03}, {"KeyW", 0x11},
        {"Digit3", 0x04}, {"KeyE", 0x12}, {"KeyR", 0x13},   {"Digit5", 0x06}, {"KeyT", 0x14},
        {"Digit6", 0x07}, {"KeyY", 0x15}, {"Digit7", 0x08}, {"KeyU", 0x16},   {"KeyI", 0x17},
    };
    for (int semitone = 0; semitone < 25; ++semitone) {
        const auto [name, scan] = keys[semitone];
        const int key = NoteKeys::keyFromCode(name);
        EXPECT_EQ(NoteKeys::keyFromScanCode(scan), key) << name;
        EXPECT_EQ(NoteKeys::keyFromEvdev(scan), key) << name;
        NoteKeys fresh;
        EXPECT_EQ(fresh.press(key).note, NoteKeys::kFirstOctave + semitone) << name;
    }
    const std::pair<const char*, int> arrows[] = {
        {"ArrowLeft", 105}, {"ArrowRight", 106}, {"ArrowUp", 103}, {"ArrowDown", 108}};
    for (const auto& [name, evdev] : arrows) {
        EXPECT_GE(NoteKeys::keyFromCode(name), 0) << name;
        EXPECT_EQ(NoteKeys::keyFromEvdev(evdev), NoteKeys::keyFromCode(name)) << name;
    }
    NoteKeys top;
    for (int n = 0; n < 5; ++n) top.press(NoteKeys::keyFromCode("ArrowRight"));
    ASSERT_EQ(top.octave(), 108);
    EXPECT_EQ(top.press(NoteKeys::keyFromCode("KeyT")).note, 127);                       // G9
    EXPECT_EQ(top.press(NoteKeys::keyFromCode("Digit6")).kind, NoteKeys::Action::None);  // 128
}
