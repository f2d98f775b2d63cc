#include "MessageText.h"

#include <gtest/gtest.h>

#include <string>

// Well-formed UTF-8 by the Unicode table of well-formed byte sequences.
TEST(IsValidUtf8, AcceptsWellFormedSequencesOnly) {
    const struct {
        const char* m_pszText;
        bool m_bValid;
    } cases[] = {
        {"plain ASCII", true},
        {"\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80", true}, // é € 😀
        {"\xF4\x8F\xBF\xBF", true},                       // U+10FFFF
        {"\xff", false},
        {"\xC0\xAF", false},         // overlong '/'
        {"\xE0\x80\xAF", false},     // overlong '/'
        {"\xED\xA0\x80", false},     // surrogate U+D800
        {"\xF4\x90\x80\x80", false}, // above U+10FFFF
        {"\xC3", false},             // cut short
        {"\xE2\x82", false},         // cut short
    };
    for (const auto& c : cases)
        EXPECT_EQ(IsValidUtf8(c.m_pszText), c.m_bValid) << c.m_pszText;
}

// A quote is readable UTF-8 of at most 80 characters (plus the ellipsis), cut between
// characters, never inside one.
TEST(Quote, CutsLongTextBetweenCharactersAndMendsWhatIsNotUtf8) {
    std::string euros;
    for (int i = 0; i < 100; ++i)
        euros += "\xE2\x82\xAC";
    std::string expected;
    for (int i = 0; i < 80; ++i)
        expected += "\xE2\x82\xAC";
    EXPECT_EQ(Quote(euros), expected + "\xE2\x80\xA6");
    EXPECT_EQ(Quote(std::string(80, 'a')), std::string(80, 'a'));
    EXPECT_EQ(Quote("a\xff"
                    "b\n\x01"),
              "a\xEF\xBF\xBD"
              "b\\n\\x01");
    EXPECT_TRUE(IsValidUtf8(Quote(std::string(200, '\xC3'))));
}

TEST(ExactNumber, ReadsBackToTheSameDouble) {
    for (double value : {10000.000000001, 0.0001, 1e-300, 1e17, -2147483648.0, 0.1 + 0.2})
        EXPECT_EQ(std::stod(ExactNumber(value)), value) << ExactNumber(value);
    EXPECT_EQ(ExactNumber(10000000000.0), "10000000000");
    EXPECT_EQ(ExactNumber(0.0001), "0.0001");
}
