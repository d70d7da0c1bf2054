// The computer keyboard as a small music keyboard, by key position whatever
// the layout (the two rows of trackers): the lower row Z S X D C V G B H N J M
// plays C to B from the octave's C, the upper row Q 2 W 3 E R 5 T 6 Y 7 U I
// plays C to C an octave up. Left and Right move the octave, Down and Up the
// velocity. Keys are named by position as web pages name them ("KeyZ",
// "Digit2", "ArrowLeft"), or by the codes window systems report for the same
// positions.
#pragma once

class NoteKeys {
public:
    static constexpr int kFirstOctave = 48;  // C3 on the lower row, C4 on the upper
    static constexpr int kFirstVelocity = 100;
    static constexpr int kVelocityStep = 16;

    // A playing key, or -1 for any other key.
    static int keyFromCode(const char* code);
    // From a Linux input event code (an X11 key code less 8).
    static int keyFromEvdev(int code);
    // From a PC keyboard's scan code (set 1; 0xE0xx for the extended keys,
    // as Windows reports them in a key message).
    static int keyFromScanCode(int code);

    // What pressing or letting go of a key did.
    struct Action {
        enum Kind { None, NoteOn, NoteOff, Moved } kind = None;  // Moved: octave or velocity changed
        int note = 0;
        int velocity = 0;
    };
    // A key held down (repeats included) plays its note once; letting it go
    // releases the note it started, whatever the octave is by then.
    Action press(int key);
    Action release(int key);
    // The notes of every key held, let go at once (the window lost the keyboard).
    template <class NoteOff>
    void releaseAll(NoteOff noteOff) {
        for (int& note : held)
            if (note >= 0) noteOff(note), note = -1;
    }

    int octave() const { return base; }
    int velocity() const { return strength; }

private:
    static constexpr int kKeys = 29;
    int base = kFirstOctave;
    int strength = kFirstVelocity;
    int held[kKeys] = {-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1,
                       -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1};
};
