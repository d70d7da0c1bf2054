// A block's MIDI events put in time order, events at the same frame kept in
// the host's order: hosts may hand them over out of order (the patched CLAP
// wrapper calls this before it runs the block). An insertion sort, stable and
// allocation-free, quick on the nearly sorted lists hosts send. Event has a
// frame (DPF's MidiEvent).
#pragma once

template <typename Event, typename Count>
void hammerlyn2InTimeOrder(Event* events, const Count count) noexcept {
    for (Count i = 1; i < count; ++i) {
        const Event event(events[i]);
        Count j = i;
        for (; j > 0 && events[j - 1].frame > event.frame; --j) events[j] = events[j - 1];
        events[j] = event;
    }
}
