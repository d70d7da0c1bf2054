// A host's value scaled to a MIDI number (a velocity times 127, a pitch bend
// times 16384) as that number, 0..top: values beyond either end are held to
// it, and a value that is not a number gives 0 (converting it to an integer
// is undefined). Values in range are cut toward zero, as DPF converts them.
#pragma once

template <typename T>
constexpr int hammerlyn2MidiValue(const T scaled, const int top) noexcept {
    return scaled >= top ? top : scaled > 0 ? static_cast<int>(scaled) : 0;
}
