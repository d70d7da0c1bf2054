// The LV2 build through the test's LV2 host: its state keeps the selected
// program, is read within the size the host gives (with or without a
// terminating zero), and a bank of another version changes nothing.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "tests/formats/Lv2Host.h"

TEST(Lv2Format, StateKeepsTheProgramAndIsReadWithinItsSize) {
    Lv2Instance lv2(HAMMERLYN2_LV2_PATH);
    ASSERT_TRUE(lv2.ready());
    lv2.selectProgram(3);
    const std::map<std::string, std::string> saved = lv2.saveState();
    ASSERT_EQ(saved.size(), 1u);
    EXPECT_EQ(saved.begin()->second.substr(0, 4), "1:3:");
    for (bool withTerminator : {true, false}) {
        Lv2Instance reopened(HAMMERLYN2_LV2_PATH);
        ASSERT_TRUE(reopened.ready());
        ASSERT_TRUE(reopened.restoreState(saved, withTerminator));
        EXPECT_EQ(reopened.saveState(), saved) << "with the terminator: " << withTerminator;
    }
    std::map<std::string, std::string> later = saved;
    later.begin()->second[0] = '2';
    Lv2Instance other(HAMMERLYN2_LV2_PATH);
    ASSERT_TRUE(other.ready());
    const std::map<std::string, std::string> fresh = other.saveState();
    other.restoreState(later);
    EXPECT_EQ(other.saveState(), fresh);
}
