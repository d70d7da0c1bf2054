// The VST3 parameter ids (formats/dpf/Vst3ParameterIds), without DPF: fixed
// for good, as saved songs and their automation hold them.
#include <gtest/gtest.h>

#include "Vst3ParameterIds.h"

TEST(Vst3ParameterIds, AreFixedAndReadBack) {
    using Ids = Vst3ParameterIds;
    // Ours 0..15 from the identity table, the program 16, block size and rate 18
    // and 19, then per channel all notes off, mono mode on and pitch bend from 20.
    for (std::uint32_t i = 0; i < 16; ++i) EXPECT_EQ(Ids::ofParameter(i), kParameterIdentities[i].id);
    EXPECT_EQ(Ids::ofPlace(Ids::Program), 16u);
    EXPECT_EQ(Ids::ofPlace(Ids::SampleRate), 19u);
    EXPECT_EQ(Ids::ofController(0, 123), 20u);
    EXPECT_EQ(Ids::ofController(15, 129), 20u + 3 * 15 + 2);
    EXPECT_EQ(Ids::ofController(0, 64), Ids::kNone) << "a controller the instrument ignores";
    // Every id names what it was made from, and nothing past the last.
    const std::uint32_t withPanel[] = {Ids::BufferSize, Ids::SampleRate, Ids::Program};
    ASSERT_EQ(Ids::count(3), 16u + 3 + 48);
    for (std::uint32_t position = 0; position < Ids::count(3); ++position) {
        const std::uint32_t id = Ids::at(position, withPanel, 3);
        std::uint32_t first = 0, second = 0;
        switch (Ids::find(id, first, second)) {
        case Ids::Parameter: EXPECT_EQ(Ids::ofParameter(first), id); break;
        case Ids::Internal: EXPECT_EQ(Ids::ofPlace(first), id); break;
        case Ids::Controller: EXPECT_EQ(Ids::ofController(first, second), id); break;
        default: ADD_FAILURE() << position;
        }
        std::uint32_t index = 0;  // and DPF's numbering inside gives it back
        ASSERT_TRUE(Ids::dpfIndexOf(id, withPanel, 3, index)) << id;
        EXPECT_EQ(Ids::ofDpfIndex(index, withPanel, 3), id);
    }
    EXPECT_EQ(Ids::at(16, withPanel, 3), 16u);  // the program first, then 18 and 19
    EXPECT_EQ(Ids::at(17, withPanel, 3), 18u);
    const std::uint32_t withoutPanel[] = {Ids::Program};
    EXPECT_EQ(Ids::at(17, withoutPanel, 1), 20u);
    std::uint32_t first = 0, second = 0;
    EXPECT_EQ(Ids::find(20 + 48, first, second), Ids::None);
    EXPECT_EQ(Ids::at(Ids::count(1), withoutPanel, 1), Ids::kNone);
    // DPF's numbering: its places, 16 x 130 controllers (ignored ones have no id), ours.
    EXPECT_EQ(Ids::ofDpfIndex(2, withPanel, 3), 16u);
    EXPECT_EQ(Ids::ofDpfIndex(3 + 130 + 123, withPanel, 3), 23u);
    EXPECT_EQ(Ids::ofDpfIndex(3 + 64, withPanel, 3), Ids::kNone);
    EXPECT_EQ(Ids::ofDpfIndex(3 + 16 * 130, withPanel, 3), Ids::ofParameter(0));
    EXPECT_FALSE(Ids::dpfIndexOf(20 + 48, withPanel, 3, first));
}
