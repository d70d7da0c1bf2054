// The parameters' identifiers against the committed list: a renamed or
// renumbered parameter fails here, not in a user's song.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "instrument/ParameterTable.h"

TEST(ParameterIdentity, EveryIdentifierMatchesTheCommittedList) {
    std::ifstream in(HAMMERLYN2_PARAMETER_IDENTIFIERS);
    ASSERT_TRUE(in) << HAMMERLYN2_PARAMETER_IDENTIFIERS;
    std::vector<std::string> committed, built;
    for (std::string line; std::getline(in, line);)
        if (!line.empty() && line[0] != '#') committed.push_back(line);
    for (const ParameterIdentity& p : kParameterIdentities) {
        std::ostringstream line;
        line << p.index << '\t' << p.id << '\t' << p.symbol << '\t' << p.name << '\t' << p.panelLabel;
        built.push_back(line.str());
        char name[kParameterTextBytes];
        formatParameterName(p.index, name);
        EXPECT_STREQ(name, p.name) << "the host name is the table's";
    }
    EXPECT_EQ(built, committed);
}
