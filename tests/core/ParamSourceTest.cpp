#include "ParamFile.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <ostream>
#include <string>

namespace {

namespace fs = std::filesystem;

std::string Nested(int levels, const char* open, const char* close) {
    std::string text;
    for (int i = 0; i < levels; ++i)
        text += open;
    text += "1";
    for (int i = 0; i < levels; ++i)
        text += close;
    return text;
}

std::string Put(const fs::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
    return path.string();
}

CParamSet Changed() {
    CParamSet set;
    set.m_control.m_dUd = 150.5;
    set.m_motor.m_nNhInd = 2;
    return set;
}

// A source of parameters the reader must refuse: a file (its path made in the folder) or an
// override. The refusal names the source and what is wrong, and changes nothing.
struct CBadSource {
    const char* m_pszName;
    std::function<std::string(const fs::path&)> m_file; ///< makes the file, returns its path
    const char* m_pszOverride;                          ///< or the --set text
    const char* m_pszMentions;                          ///< what the message must say
};

void PrintTo(const CBadSource& c, std::ostream* os) {
    *os << c.m_pszName;
}

class BadSource : public testing::TestWithParam<CBadSource> {
protected:
    void SetUp() override {
        m_dir = fs::temp_directory_path() /
                ("kalvor_source_" + std::to_string(getpid()) + "_" + GetParam().m_pszName);
        fs::remove_all(m_dir);
        fs::create_directories(m_dir);
    }
    void TearDown() override { fs::remove_all(m_dir); }
    fs::path m_dir;
};

TEST_P(BadSource, IsRefusedWithAShortClearMessageAndChangesNothing) {
    const CBadSource& c = GetParam();
    CParamSet set = Changed();
    std::string source;
    CStatus status;
    if (c.m_file) {
        source = c.m_file(m_dir);
        status = ReadParamFile(source, set);
    } else {
        source = "--set";
        status = ApplyOverride(c.m_pszOverride, set);
    }
    EXPECT_FALSE(status.Ok());
    EXPECT_NE(status.m_strMessage.find(source), std::string::npos) << status.m_strMessage;
    EXPECT_NE(status.m_strMessage.find(c.m_pszMentions), std::string::npos) << status.m_strMessage;
    // Quoted text is cut: a message stays readable whatever the source held.
    EXPECT_LT(status.m_strMessage.size(), source.size() + 400) << status.m_strMessage;
    EXPECT_TRUE(set == Changed());
}

const std::string g_longKey(5000, 'k');
const std::string g_longSet = "control.Ud=" + std::string(5000, 'x');
const std::string g_deepSet = "failures.FailT=" + Nested(100000, "[", "]");
const std::string g_badUtf8Set = "control.SpeedPath=0*100*\xff";

INSTANTIATE_TEST_SUITE_P(
    Reader, BadSource,
    testing::Values(
        CBadSource{"DeepArrays",
                   [](const fs::path& d) { return Put(d / "p", Nested(100000, "[", "]")); },
                   nullptr, "nested deeper than"},
        CBadSource{"DeepObjects",
                   [](const fs::path& d) { return Put(d / "p", Nested(100000, "{\"a\":", "}")); },
                   nullptr, "nested deeper than"},
        CBadSource{"DeepInsideAGroup",
                   [](const fs::path& d) {
                       return Put(d / "p",
                                  "{\"failures\": {\"FailT\": " + Nested(50, "[", "]") + "}}");
                   },
                   nullptr, "nested deeper than"},
        CBadSource{"ReadError", [](const fs::path&) { return std::string("/proc/self/mem"); },
                   nullptr, "cannot be read ("},
        CBadSource{"Oversized",
                   [](const fs::path& d) {
                       return Put(d / "p", "{}" + std::string(kMaxParamFileBytes, ' '));
                   },
                   nullptr, "too large for a parameter file"},
        CBadSource{"EndlessDevice", [](const fs::path&) { return std::string("/dev/zero"); },
                   nullptr, "not a regular file"},
        CBadSource{"FifoWithoutWriter",
                   [](const fs::path& d) {
                       mkfifo((d / "p").c_str(), 0600);
                       return (d / "p").string();
                   },
                   nullptr, "not a regular file"},
        CBadSource{"Folder", [](const fs::path& d) { return d.string(); }, nullptr, "is a folder"},
        CBadSource{"InvalidUtf8",
                   [](const fs::path& d) {
                       return Put(d / "p", "{\"control\": {\"SpeedPath\": \"0*100*\xff\"}}");
                   },
                   nullptr, "UTF-8"},
        CBadSource{"DuplicateKey",
                   [](const fs::path& d) {
                       return Put(d / "p", R"({"control": {"Ud": 1, "Kp": 2, "Ud": 3}})");
                   },
                   nullptr, "\"control.Ud\" appears twice"},
        CBadSource{"DuplicateGroup",
                   [](const fs::path& d) {
                       return Put(d / "p", R"({"time": {}, "motor": {}, "time": {}})");
                   },
                   nullptr, "\"time\" appears twice"},
        CBadSource{"SyntaxErrorIsLocated",
                   [](const fs::path& d) {
                       return Put(d / "p", "{\n  \"control\": {\n    \"Ud\": 1,,\n  }\n}\n");
                   },
                   nullptr, "line 3, column 13"},
        CBadSource{"NumberTooLarge",
                   [](const fs::path& d) { return Put(d / "p", "{\"control\": {\"Ud\": 1e400}}"); },
                   nullptr, "1e400 at line 1, column 20 is too large to hold"},
        CBadSource{"LongUnknownKeyIsCut",
                   [](const fs::path& d) {
                       return Put(d / "p", "{\"control\": {\"" + g_longKey + "\": 1}}");
                   },
                   nullptr, "kkk\xE2\x80\xA6"},
        CBadSource{"JustAboveTheBound",
                   [](const fs::path& d) {
                       return Put(d / "p", R"({"control": {"FT": 10000.000000001}})");
                   },
                   nullptr, "fT = 10000.000000001 is not accepted"},
        CBadSource{"FractionForAWholeNumber",
                   [](const fs::path& d) { return Put(d / "p", R"({"motor": {"NhInd": 1.5}})"); },
                   nullptr, "1.5 is not a whole number"},
        CBadSource{"WholeNumberBeyond32Bits",
                   [](const fs::path& d) {
                       return Put(d / "p", R"({"voltage_plot": {"N": 10000000000}})");
                   },
                   nullptr,
                   "N = 10000000000 is not accepted: enter a whole number from "
                   "-2147483648 to 2147483647"},
        CBadSource{"SetInvalidUtf8", nullptr, g_badUtf8Set.c_str(), "not valid UTF-8"},
        CBadSource{"SetDeepValue", nullptr, g_deepSet.c_str(), "nested deeper than"},
        CBadSource{"SetLongTextIsCut", nullptr, g_longSet.c_str(), "xxx\xE2\x80\xA6"},
        CBadSource{"SetFraction", nullptr, "dft.Nh=2.5", "2.5 is not a whole number"}),
    [](const testing::TestParamInfo<CBadSource>& info) {
        return std::string(info.param.m_pszName);
    });

// What the file accepts the override accepts, and the reverse: a whole number written 3.0,
// text with every kind of UTF-8 character.
TEST(GoodSource, FileAndOverrideAcceptTheSameValues) {
    for (const auto& [key, text] :
         {std::pair<std::string, std::string>{"motor.NhInd", "3.0"},
          {"control.SpeedPath", "\"0*100\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80*\""}}) {
        CParamSet fromSet;
        ASSERT_TRUE(ApplyOverride(key + "=" + text, fromSet).Ok()) << key;
        const std::size_t dot = key.find('.');
        CParamSet fromFile;
        const std::string file =
            "{\"" + key.substr(0, dot) + "\": {\"" + key.substr(dot + 1) + "\": " + text + "}}";
        ASSERT_TRUE(ParseParamText(file, "f", fromFile).Ok()) << file;
        EXPECT_TRUE(fromSet == fromFile) << key;
        EXPECT_FALSE(fromSet == CParamSet()) << key;
    }
}

} // namespace

namespace {

// A set that holds text which is not UTF-8 (put there by a caller, not by the reader) still
// saves: the bad bytes are replaced, and the file reads back.
TEST(GoodSource, SavingTextThatIsNotUtf8DoesNotThrow) {
    CParamSet set;
    set.m_control.m_strSpeedPath = "0*100\xff*";
    std::string text;
    ASSERT_NO_THROW(text = ParamText(set));
    CParamSet read;
    ASSERT_TRUE(ParseParamText(text, "saved", read).Ok());
    EXPECT_EQ(read.m_control.m_strSpeedPath, "0*100\xEF\xBF\xBD*");
}

} // namespace
