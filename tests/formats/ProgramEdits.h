// A program chosen from the panel reaches a CLAP host as sixteen parameter
// edits, each inside its own gesture, with the program's values, and the
// plug-in takes them. Shared by the Windows and the X11 panel tests.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>

#include "instrument/FactoryPrograms.h"
#include "tests/formats/ClapHost.h"

inline ::testing::AssertionResult programArrivedAsEdits(const ClapInstance& clap, int program) {
    const auto& sent = clap.sent();
    if (sent.size() != 48u)
        return ::testing::AssertionFailure() << sent.size() << " events, not 16 gestures of 3";
    for (std::uint32_t i = 0; i < 16; ++i) {
        const float value = kFactoryPrograms[program].params[i];
        if (sent[3 * i].type != CLAP_EVENT_PARAM_GESTURE_BEGIN || sent[3 * i + 1].type != CLAP_EVENT_PARAM_VALUE ||
            sent[3 * i + 2].type != CLAP_EVENT_PARAM_GESTURE_END)
            return ::testing::AssertionFailure() << "parameter " << i << " not begin, value, end";
        for (int k = 0; k < 3; ++k)
            if (sent[3 * i + k].parameter != i)
                return ::testing::AssertionFailure() << "event " << 3 * i + k << " names parameter "
                                                     << sent[3 * i + k].parameter << ", not " << i;
        if (static_cast<float>(sent[3 * i + 1].value) != value)
            return ::testing::AssertionFailure() << "parameter " << i << " sent " << sent[3 * i + 1].value
                                                 << ", the program holds " << value;
        if (static_cast<float>(clap.parameterValue(i)) != value)
            return ::testing::AssertionFailure() << "the plug-in holds " << clap.parameterValue(i)
                                                 << " for parameter " << i << ", the program " << value;
    }
    return ::testing::AssertionSuccess();
}
