// Typed values as every format reads them: in the unit written, with a point or
// a decimal comma, with or without a leading digit; refused in a unit the
// parameter does not have.
#include <gtest/gtest.h>

#include <string>

#include "instrument/ParameterTable.h"

TEST(ParameterText, TypedTextIsReadInItsUnitAndShowsAsExpected) {
    struct Typed {
        int parameter;
        const char* typed;
        const char* shown;  // null: refused
    };
    const Typed table[] = {
        {ParameterIndex::Release, ".5 s", "500 ms"},    {ParameterIndex::Body100, ",5", "+0.5 dB"},
        {ParameterIndex::Attack, "0.6 ms", "0.60 ms"},  {ParameterIndex::Decay, "6 s", "6.00 s"},
        {ParameterIndex::Saw, "-5 %", "0 %"},           {ParameterIndex::Body300, "+40 dB", "+18.0 dB"},
        {ParameterIndex::Decay, "s", nullptr},          {ParameterIndex::Volume, ".", nullptr},
        {ParameterIndex::Chorus, "5 dB", nullptr},      {kParameterCount, "5", nullptr},
    };
    for (const Typed& t : table) {
        SCOPED_TRACE(std::to_string(t.parameter) + " \"" + t.typed + "\"");
        float value = -1.0f;
        ASSERT_EQ(readParameterText(t.parameter, t.typed, &value), t.shown != nullptr);
        if (!t.shown) continue;
        char shown[32];
        ASSERT_TRUE(formatParameterValueText(t.parameter, value, shown, sizeof(shown)));
        EXPECT_STREQ(shown, t.shown);
    }
}
