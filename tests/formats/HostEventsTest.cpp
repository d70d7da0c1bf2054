// What the patched VST3 and CLAP wrappers make of a host's events, without
// DPF: values as MIDI numbers (MidiValue.h), a block's events in time order
// (InTimeOrder.h).
#include <gtest/gtest.h>

#include <limits>

#include "InTimeOrder.h"
#include "MidiValue.h"

TEST(DpfHostEvents, ValuesHoldToTheMidiRangeAndCutTowardZero) {
    EXPECT_EQ(hammerlyn2MidiValue(std::numeric_limits<float>::quiet_NaN() * 127, 127), 0);
    EXPECT_EQ(hammerlyn2MidiValue(-0.5 * 16384, 16384), 0);
    EXPECT_EQ(hammerlyn2MidiValue(1e300 * 127, 127), 127);
    EXPECT_EQ(hammerlyn2MidiValue(0.5f * 127, 127), 63);
    EXPECT_EQ(hammerlyn2MidiValue(0.5 * 16384, 16384), 8192);
    EXPECT_EQ(hammerlyn2MidiValue(0.8 * 127 + 0.5, 127), 102) << "CLAP rounds before";
}

TEST(DpfHostEvents, PlayInTimeOrderAndInTheHostsOrderAtOneFrame) {
    struct Event { unsigned frame; int tag; };
    Event events[] = {{10, 0}, {20, 1}, {50, 2}, {40, 3}, {20, 4}, {0, 5}};
    hammerlyn2InTimeOrder(events, 6u);
    const int tags[] = {5, 0, 1, 4, 3, 2};
    for (int i = 0; i < 6; ++i) EXPECT_EQ(events[i].tag, tags[i]) << i;
}
