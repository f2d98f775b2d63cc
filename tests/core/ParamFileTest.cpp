#include "ParamFile.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace {

namespace fs = std::filesystem;

// A file in a fresh temporary folder, removed with the fixture.
class ParamFile : public testing::Test {
protected:
    void SetUp() override {
        m_dir = fs::temp_directory_path() /
                ("kalvor_paramfile_" +
                 std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "_" +
                 testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(m_dir);
    }
    void TearDown() override { fs::remove_all(m_dir); }

    std::string Path(const char* name) const { return (m_dir / name).string(); }

    std::string Write(const char* name, const std::string& text) const {
        std::ofstream(Path(name), std::ios::binary) << text;
        return Path(name);
    }

    fs::path m_dir;
};

CParamSet Changed() {
    CParamSet set;
    set.m_control.m_dUd = 150.123456789012345;
    set.m_control.m_dCu = 0.00047;
    set.m_control.m_nControlMethod = 1;
    set.m_control.m_strSpeedPath = "0*50*0.05*100*";
    set.m_control.m_bSpeedControl = true;
    set.m_control.m_nCondition = 2;
    set.m_control.m_dPhi = -1.0 / 3.0;
    set.m_motor.m_nNhInd = 3;
    set.m_motor.m_nNhFlux = 99;
    set.m_motor.m_dJ = 1e-300;
    set.m_failures.m_nFailT = {0, 1, 0, 0, 2, 0};
    set.m_failures.m_nFailD = {2, 0, 0, 1, 0, 0};
    set.m_time.m_dH = 2.5e-6;
    set.m_time.m_dBetaR = 0.1 + 0.2;
    set.m_inductancePlot.m_bRotation = true;
    set.m_fluxPlot.m_bAirGap = true;
    set.m_voltagePlot.m_dMf = std::nextafter(0.01, 1.0);
    set.m_dft.m_nNh = 1000;
    set.m_resultPlot.m_nResult = 34;
    return set;
}

} // namespace

TEST_F(ParamFile, WrittenValuesReadBackExactly) {
    const CParamSet written = Changed();
    ASSERT_TRUE(WriteParamFile(Path("a.kalvor"), written).Ok());
    CParamSet read;
    const CStatus status = ReadParamFile(Path("a.kalvor"), read);
    ASSERT_TRUE(status.Ok()) << status.m_strMessage;
    EXPECT_TRUE(read == written);
    EXPECT_EQ(read.m_voltagePlot.m_dMf, std::nextafter(0.01, 1.0));
    EXPECT_FALSE(fs::exists(Path("a.kalvor.tmp")));
}

TEST_F(ParamFile, SavedFileHoldsEveryGroupAndKey) {
    ASSERT_TRUE(WriteParamFile(Path("b.kalvor"), CParamSet()).Ok());
    std::ifstream in(Path("b.kalvor"));
    std::stringstream text;
    text << in.rdbuf();
    for (const CFieldDesc& desc : FieldDescriptions()) {
        EXPECT_NE(text.str().find("\"" + std::string(desc.m_strGroup) + "\""), std::string::npos);
        EXPECT_NE(text.str().find("\"" + std::string(desc.m_strKey) + "\""), std::string::npos);
    }
}

TEST_F(ParamFile, EmptyFileOpensWithTheDefaults) {
    CParamSet set = Changed();
    const CStatus status = ReadParamFile(Write("empty.kalvor", ""), set);
    ASSERT_TRUE(status.Ok()) << status.m_strMessage;
    EXPECT_TRUE(set == CParamSet());
}

TEST_F(ParamFile, MissingGroupsAndKeysTakeTheirDefaults) {
    CParamSet set = Changed();
    const CStatus status =
        ReadParamFile(Write("partial.kalvor", R"({"control": {"Ud": 123.5}})"), set);
    ASSERT_TRUE(status.Ok()) << status.m_strMessage;
    CParamSet expected;
    expected.m_control.m_dUd = 123.5;
    EXPECT_TRUE(set == expected);
}

struct CRefusal {
    const char* name;
    const char* text;
    const char* mentions; // what the message must name
};

void PrintTo(const CRefusal& c, std::ostream* os) {
    *os << c.name;
}

class ParamFileRefusal : public ParamFile, public testing::WithParamInterface<CRefusal> {};

TEST_P(ParamFileRefusal, GivesOneMessageAndChangesNothing) {
    const CRefusal& c = GetParam();
    const std::string path = Write("bad.kalvor", c.text);
    CParamSet set = Changed();
    const CStatus status = ReadParamFile(path, set);
    EXPECT_FALSE(status.Ok());
    EXPECT_NE(status.m_strMessage.find(path), std::string::npos) << status.m_strMessage;
    EXPECT_NE(status.m_strMessage.find(c.mentions), std::string::npos) << status.m_strMessage;
    EXPECT_TRUE(set == Changed());
}

INSTANTIATE_TEST_SUITE_P(
    Reader, ParamFileRefusal,
    testing::Values(
        CRefusal{"NotJson", "Ud = 200", "not valid JSON"},
        CRefusal{"NotAnObject", "[1, 2]", "array"},
        CRefusal{"UnknownGroup", R"({"contrl": {}})", "contrl"},
        CRefusal{"UnknownKey", R"({"control": {"Uq": 1}})", "control.Uq"},
        CRefusal{"GroupNotObject", R"({"motor": 3})", "motor"},
        CRefusal{"WrongTypeText", R"({"control": {"Ud": "200"}})", "Ud ="},
        CRefusal{"WrongTypeFraction", R"({"motor": {"NhInd": 1.5}})", "Winding inductances"},
        CRefusal{"WrongTypeFlag", R"({"control": {"SpeedControl": 1}})", "true or false"},
        CRefusal{"OutOfRange", R"({"control": {"Cu": 0.00005}})", "0.0001 to 10"},
        CRefusal{"CodeOutOfRange", R"({"failures": {"FailT": [0, 0, 3, 0, 0, 0]}})", "FailT"},
        CRefusal{"TooFewCodes", R"({"failures": {"FailD": [0, 0]}})", "not 2 values"},
        CRefusal{"FractionalCode", R"({"failures": {"FailD": [0, 0, 0, 0, 0, 1.5]}})",
                 "value 6 is 1.5"},
        CRefusal{"ArticleOfTheKind", R"({"control": {"Kp": [1]}})", "not an array"},
        CRefusal{"LateKeyBad", R"({"control": {"Ud": 1}, "time": {"H": 2}})", "time.H"},
        CRefusal{"ClearBeforeOnset", R"({"failures": {"Onset": 0.05, "Clear": 0.04}})",
                 "failures.Clear"},
        CRefusal{"NoStoredRows", R"({"time": {"Every": 0}})", "store every"}),
    [](const testing::TestParamInfo<CRefusal>& info) { return std::string(info.param.name); });

TEST_F(ParamFile, UnreadableFileIsRefusedWithItsName) {
    CParamSet set = Changed();
    const CStatus missing = ReadParamFile(Path("missing.kalvor"), set);
    EXPECT_FALSE(missing.Ok());
    EXPECT_NE(missing.m_strMessage.find("missing.kalvor"), std::string::npos);
    const CStatus folder = ReadParamFile(m_dir.string(), set);
    EXPECT_FALSE(folder.Ok());
    EXPECT_TRUE(set == Changed());
}

TEST_F(ParamFile, WriteIntoMissingFolderReportsTheFile) {
    const CStatus status = WriteParamFile(Path("no/such/dir/x.kalvor"), CParamSet());
    EXPECT_FALSE(status.Ok());
    EXPECT_NE(status.m_strMessage.find("x.kalvor"), std::string::npos);
}

TEST(ParamOverride, AcceptsJsonAndBareText) {
    CParamSet set;
    ASSERT_TRUE(ApplyOverride("control.Ud=150", set).Ok());
    EXPECT_EQ(set.m_control.m_dUd, 150);
    ASSERT_TRUE(ApplyOverride("failures.FailT=[0,1,0,0,0,0]", set).Ok());
    EXPECT_EQ(set.m_failures.m_nFailT[1], 1);
    ASSERT_TRUE(ApplyOverride("control.SpeedPath=0*50*0.05*100*", set).Ok());
    EXPECT_EQ(set.m_control.m_strSpeedPath, "0*50*0.05*100*");
    ASSERT_TRUE(ApplyOverride("control.SpeedControl=true", set).Ok());
    EXPECT_TRUE(set.m_control.m_bSpeedControl);
}

TEST(ParamOverride, NonFiniteNumberTextIsNamedAsSuch) {
    CParamSet set;
    const CStatus status = ApplyOverride("control.Ud=inf", set);
    EXPECT_FALSE(status.Ok());
    EXPECT_NE(status.m_strMessage.find("\"inf\" is not accepted: enter a finite number"),
              std::string::npos)
        << status.m_strMessage;
}

TEST(ParamOverride, RefusesWithTheSameChecksAsTheFile) {
    CParamSet set;
    for (const char* bad :
         {"control.Cu=0.00005", "control.Ud=abc", "control.Ud=nan", "control.Ud=1e400",
          "motor.NhInd=4", "nogroup.X=1", "control.Nokey=1", "control.Ud", "Ud=1"}) {
        const CStatus status = ApplyOverride(bad, set);
        EXPECT_FALSE(status.Ok()) << bad;
        EXPECT_FALSE(status.m_strMessage.empty());
    }
    EXPECT_TRUE(set == CParamSet());
}
