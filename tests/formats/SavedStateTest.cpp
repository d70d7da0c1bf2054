// How the VST3, CLAP and LV2 builds read a saved state (formats/dpf/SavedState
// and its bank text, StateText), without DPF: a good state read whole and in
// pieces, every damaged one the format tests hand to the hosts refused, parts
// of other versions skipped.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "SavedState.h"
#include "instrument/Instrument.h"
#include "tests/formats/SavedStates.h"

namespace {

using namespace std::string_literals;

// DPF's layout: program 3, the bank, two parameters of ours and one of another version.
std::string goodState(const std::string& volume = "0.25") {
    Instrument core;
    const void* bank = nullptr;
    const std::int32_t bytes = core.saveState(false, &bank);
    return "__dpf_program__\0"s "3\0"s "__dpf_state_begin__\0"s "later\0"s "x\0"s "bank\0"s +
           StateText::encode(3, bank, static_cast<std::size_t>(bytes)) + "\0"s "__dpf_state_end__\0"s
           "__dpf_parameters_begin__\0"s "rnd\0"s "1\0"s "wobble\0"s "9\0"s "volume\0"s + volume +
           "\0"s "__dpf_parameters_end__\0"s "\xfe"s;
}

// The state as a host hands it over in reads of at most `piece` bytes.
bool read(const std::string& state, SavedState& saved, std::uint32_t piece = 4096) {
    SavedStateBuffer buffer;
    for (std::size_t at = 0; !buffer.ended();) {
        std::uint32_t count = 0;
        char* room = buffer.room(count);
        if (!room) return false;
        const std::size_t n = std::min<std::size_t>({count, piece, state.size() - at});
        std::memcpy(room, state.data() + at, n);
        at += n;
        if (!buffer.took(static_cast<std::int64_t>(n), count) || n == 0) break;
    }
    return saved.read(buffer);
}

TEST(DpfSavedState, AGoodStateIsReadWholeInAnyPieces) {
    for (std::uint32_t piece : {4096u, 7u, 1u}) {
        SavedState saved;
        ASSERT_TRUE(read(goodState(), saved, piece)) << piece;
        EXPECT_EQ(saved.program, 3);
        ASSERT_EQ(saved.states.size(), 1u);  // the later version's key is skipped
        EXPECT_EQ(saved.states[0].first, "bank");
        EXPECT_TRUE(saved.hasBank);
        EXPECT_EQ(saved.bankProgram, 3);
        ASSERT_EQ(saved.parameters.size(), 2u);  // "wobble" is skipped
        EXPECT_EQ(saved.parameters[0], std::make_pair(0u, 1.0f));
        EXPECT_EQ(saved.parameters[1], std::make_pair(15u, 0.25f));
    }
}

TEST(DpfSavedState, ADamagedStateIsRefusedWhole) {
    const std::string good = goodState();
    for (const auto& [what, state] : refusedStates(StateBytes(good.begin(), good.end()))) {
        SavedState saved;
        EXPECT_FALSE(read(std::string(state.begin(), state.end()), saved)) << what;
    }
    for (const std::string volume : {"0,5", "-0.1", "1e400", "0x1p-1", "nan", ""}) {
        SavedState saved;
        EXPECT_FALSE(read(goodState(volume), saved)) << volume;
    }
    // A magnitude below a double's reads as zero, as the C library reads it.
    SavedState tiny;
    ASSERT_TRUE(read(goodState("1e-400"), tiny));
    EXPECT_EQ(tiny.parameters[1].second, 0.0f);
    // A host reporting more bytes than it was asked for.
    SavedStateBuffer buffer;
    std::uint32_t count = 0;
    ASSERT_NE(buffer.room(count), nullptr);
    EXPECT_FALSE(buffer.took(static_cast<std::int64_t>(count) + 1, count));
}

TEST(StateText, ReadsOnlyItsOwnVersionWhole) {
    unsigned char bank[StateText::kBankBytes];
    for (std::size_t i = 0; i < sizeof(bank); ++i) bank[i] = static_cast<unsigned char>(i * 7);
    const std::string text = StateText::encode(5, bank, sizeof(bank));
    int program = -1;
    unsigned char read[StateText::kBankBytes] = {};
    ASSERT_TRUE(StateText::decode(text.c_str(), &program, read));
    EXPECT_EQ(program, 5);
    EXPECT_EQ(std::memcmp(read, bank, sizeof(bank)), 0);
    const auto with = [&](std::size_t at, char c) {
        std::string changed = text;
        changed[at] = c;
        return changed;
    };
    const std::vector<std::string> refused = {"", with(0, '2'), with(2, '8'), text.substr(0, text.size() - 1),
                                              text + "0", with(10, 'G'), with(20, 'A')};
    for (const std::string& bad : refused) {
        unsigned char untouched[StateText::kBankBytes] = {};
        int p = -1;
        EXPECT_FALSE(StateText::decode(bad.c_str(), &p, untouched)) << bad.substr(0, 12);
        EXPECT_EQ(p, -1);
    }
    EXPECT_FALSE(StateText::decode(nullptr, &program, read));
}

}  // namespace
