// What a text field accepts: speed-path tokens that are numbers, no NUL anywhere.
#include "ParamFile.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct CPathCase {
    const char* m_pszName;
    const char* m_pszPath;
    const char* m_pszQuoted; ///< the token the refusal quotes; null when accepted
};

void PrintTo(const CPathCase& c, std::ostream* os) {
    *os << c.m_pszName;
}

const CPathCase kPathCases[] = {
    {"Default", "0*188*", nullptr},
    {"SurroundingSpace", " 0*188*  ", nullptr},
    {"TextAfterANumber", "0*100rad/s*", nullptr}, // read as 100, as before
    {"UnfinishedPoint", "0*188*5", nullptr},      // dropped, as before
    {"Empty", "", nullptr},
    {"Word", "abc", "\"abc\""},
    {"WordAfterAPoint", "0*5*x", "\"x\""},
    {"NaN", "0*nan*", "\"nan\""},
    {"Infinity", "inf*5*", "\"inf\""},
    {"BeyondADouble", "0*5*1e400*7*", "\"1e400\""},
    {"EmptySpeed", "0**", "\"*\""},
};

class SpeedPathText : public testing::TestWithParam<CPathCase> {};

} // namespace

TEST_P(SpeedPathText, FileAndOverrideRefuseATokenThatIsNotANumber) {
    const CPathCase& c = GetParam();
    CParamSet fromSet, fromFile;
    const CStatus set =
        ApplyOverride(std::string("control.SpeedPath=\"") + c.m_pszPath + "\"", fromSet);
    const CStatus file = ParseParamText(
        std::string("{\"control\": {\"SpeedPath\": \"") + c.m_pszPath + "\"}}", "f", fromFile);
    if (!c.m_pszQuoted) {
        EXPECT_TRUE(set.Ok()) << set.m_strMessage;
        EXPECT_TRUE(file.Ok()) << file.m_strMessage;
        EXPECT_EQ(fromSet.m_control.m_strSpeedPath, c.m_pszPath);
        return;
    }
    for (const CStatus& status : {set, file}) {
        EXPECT_FALSE(status.Ok());
        EXPECT_NE(status.m_strMessage.find(std::string(c.m_pszQuoted) + ", is not"),
                  std::string::npos)
            << status.m_strMessage;
    }
    EXPECT_TRUE(fromSet == CParamSet());
}

INSTANTIATE_TEST_SUITE_P(Tokens, SpeedPathText, testing::ValuesIn(kPathCases),
                         [](const testing::TestParamInfo<CPathCase>& info) {
                             return std::string(info.param.m_pszName);
                         });

TEST(ParamText, ANulByteIsRefusedWhereverItIs) {
    CParamSet set;
    const std::string afterObject("{\"time\": {\"Te\": 0.2}}\n\0{\"time\": {\"Te\": 5}}", 42);
    const CStatus file = ParseParamText(afterObject, "p.json", set);
    EXPECT_FALSE(file.Ok());
    EXPECT_EQ(file.m_strMessage,
              "p.json: not a Kalvor parameter file: a NUL byte at line 2, column 1 (a parameter "
              "file is text).");
    const CStatus escaped =
        ParseParamText("{\"control\": {\"SpeedPath\": \"0*5\\u0000*\"}}", "q.json", set);
    EXPECT_FALSE(escaped.Ok());
    EXPECT_NE(escaped.m_strMessage.find("NUL character at position 4"), std::string::npos)
        << escaped.m_strMessage;
    EXPECT_TRUE(set == CParamSet());
}
