#include "editor/keys/NoteKeys.h"

#include <algorithm>
#include <cstring>

namespace {

enum : int { kLeft = 25, kRight, kUp, kDown };

// Each playing key: its web name, its Linux input code and its PC scan code.
// Keys 0..24 play that many semitones above the octave's C.
struct Key {
    const char* code;
    int evdev;
    int scan;
};
constexpr Key kTable[] = {
    {"KeyZ", 44, 0x2C},    {"KeyS", 31, 0x1F},   {"KeyX", 45, 0x2D},      {"KeyD", 32, 0x20},
    {"KeyC", 46, 0x2E},    {"KeyV", 47, 0x2F},   {"KeyG", 34, 0x22},      {"KeyB", 48, 0x30},
    {"KeyH", 35, 0x23},    {"KeyN", 49, 0x31},   {"KeyJ", 36, 0x24},      {"KeyM", 50, 0x32},
    {"KeyQ", 16, 0x10},    {"Digit2", 3, 0x03},  {"KeyW", 17, 0x11},      {"Digit3", 4, 0x04},
    {"KeyE", 18, 0x12},    {"KeyR", 19, 0x13},   {"Digit5", 6, 0x06},     {"KeyT", 20, 0x14},
    {"Digit6", 7, 0x07},   {"KeyY", 21, 0x15},   {"Digit7", 8, 0x08},     {"KeyU", 22, 0x16},
    {"KeyI", 23, 0x17},    {"ArrowLeft", 105, 0xE04B}, {"ArrowRight", 106, 0xE04D}, {"ArrowUp", 103, 0xE048},
    {"ArrowDown", 108, 0xE050},
};
static_assert(sizeof kTable / sizeof kTable[0] == kDown + 1);

template <class Match>
int find(Match match) {
    for (int k = 0; k <= kDown; ++k)
        if (match(kTable[k])) return k;
    return -1;
}

}  // namespace

int NoteKeys::keyFromCode(const char* code) {
    return code ? find([code](const Key& k) { return std::strcmp(k.code, code) == 0; }) : -1;
}

int NoteKeys::keyFromEvdev(int code) {
    return find([code](const Key& k) { return k.evdev == code; });
}

int NoteKeys::keyFromScanCode(int code) {
    return find([code](const Key& k) { return k.scan == code; });
}

NoteKeys::Action NoteKeys::press(int key) {
    if (key < 0 || key >= kKeys || held[key] >= 0) return {};
    switch (key) {
    case kLeft: base = std::max(0, base - 12); return {Action::Moved};
    case kRight: base = std::min(108, base + 12); return {Action::Moved};
    case kUp: strength = std::min(127, strength + kVelocityStep); return {Action::Moved};
    case kDown: strength = std::max(1, strength - kVelocityStep); return {Action::Moved};
    default: break;
    }
    const int note = base + key;
    if (note > 127) return {};
    held[key] = note;
    return {Action::NoteOn, note, strength};
}

NoteKeys::Action NoteKeys::release(int key) {
    if (key < 0 || key >= kKeys || held[key] < 0) return {};
    const int note = held[key];
    held[key] = -1;
    return {Action::NoteOff, note, 0};
}
