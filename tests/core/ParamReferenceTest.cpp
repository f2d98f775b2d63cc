#include "ParamReference.h"
#include "ParamFile.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

// Each printed default, given back as an override, is accepted and keeps the set at its
// defaults: the reference shows values in the syntax --set and the file take.
TEST(ParamReference, EveryDefaultReadsBackAsTheDefault) {
    const CParamSet defaults;
    for (const CParamEntry& entry : ParamReference()) {
        CParamSet set;
        const CStatus status = ApplyOverride(entry.m_strKey + "=" + entry.m_strDefault, set);
        EXPECT_TRUE(status.Ok()) << entry.m_strKey << ": " << status.m_strMessage;
        EXPECT_TRUE(set == defaults) << entry.m_strKey << "=" << entry.m_strDefault;
    }
}

TEST(ParamReference, ListNamesEveryKeyWithItsUnit) {
    const std::string list = ParamListText();
    for (const CParamEntry& entry : ParamReference()) {
        std::string head = "  " + entry.m_strKey + " = " + entry.m_strDefault;
        if (!entry.m_strUnit.empty())
            head += " [" + entry.m_strUnit + "]";
        EXPECT_NE(list.find(head + "\n      " + entry.m_strMeaning), std::string::npos) << head;
    }
    EXPECT_NE(list.find("motor.J = 0.000962 [kg m^2]"), std::string::npos);
}

TEST(ParamReference, DocumentIsCurrent) {
    const std::string path = std::string(KALVOR_SOURCE_DIR) + "/docs/parameters.md";
    std::ifstream in(path, std::ios::binary);
    ASSERT_TRUE(in) << path;
    std::ostringstream text;
    text << in.rdbuf();
    EXPECT_TRUE(text.str() == ParamReferenceMarkdown())
        << "docs/parameters.md differs from the table of fields: run "
           "`build/packaging/kalvor_param_keys --markdown > docs/parameters.md`";
}
