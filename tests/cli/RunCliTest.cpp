#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

// A fresh folder for one test, removed at its end.
class RunCli : public ::testing::Test {
protected:
    void SetUp() override {
        m_dir = fs::temp_directory_path() /
                ("kalvor-run-" + std::to_string(::getpid()) + "-" + std::to_string(++s_nDir));
        fs::remove_all(m_dir);
        fs::create_directories(m_dir);
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(m_dir, ec);
    }

    // Runs kalvor-cli with args; stdout goes to stdout.bin, stderr to m_strErr.
    int Run(const std::string& args) {
        const fs::path out = m_dir / "stdout.bin", err = m_dir / "stderr.txt";
        const std::string cmd = std::string("\"") + KALVOR_CLI_PATH + "\" " + args + " >\"" +
                                out.string() + "\" 2>\"" + err.string() + "\"";
        const int status = std::system(cmd.c_str());
        m_strErr = Read(err);
        m_strOut = Read(out);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    static std::string Read(const fs::path& path) {
        std::ifstream in(path, std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }

    std::string Path(const char* name) const { return (m_dir / name).string(); }

    fs::path m_dir;
    std::string m_strErr, m_strOut;
    static inline int s_nDir = 0;
};

// Lines of an export file: every line must end with CR LF.
std::vector<std::string> SplitCrLf(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find("\r\n", start);
        if (end == std::string::npos) {
            ADD_FAILURE() << "text after the last CR LF: " << text.substr(start, 80);
            break;
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

std::vector<std::string> Split(const std::string& line, char separator) {
    std::vector<std::string> fields;
    std::string field;
    std::istringstream in(line);
    while (std::getline(in, field, separator))
        fields.push_back(field);
    return fields;
}

// 36 numbers "%.6f", each followed by one space.
void ExpectExportLine(const std::string& line, std::size_t row) {
    static const std::regex format("(-?[0-9]+\\.[0-9]{6} ){36}");
    ASSERT_TRUE(std::regex_match(line, format)) << "line " << row << ": " << line;
}

} // namespace

TEST_F(RunCli, DefaultRunWritesTheExportFormat) {
    ASSERT_EQ(Run("run --out " + Path("r.txt")), 0) << m_strErr;
    const std::string text = Read(Path("r.txt"));
    const std::vector<std::string> lines = SplitCrLf(text);
    ASSERT_EQ(lines.size(), 20000u);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 20000);
    for (std::size_t r = 0; r < lines.size(); ++r)
        ExpectExportLine(lines[r], r);
    EXPECT_EQ(lines[0].substr(0, 9), "0.000000 ");
    EXPECT_EQ(lines[19999].substr(0, 9), "0.100000 ");
    EXPECT_TRUE(m_strOut.empty());
    // stderr is no terminal here: no progress bar.
    EXPECT_EQ(m_strErr.find("Calculate progress"), std::string::npos);
}

TEST_F(RunCli, WritesTheSameBytesToStandardOutput) {
    ASSERT_EQ(Run("run --set time.Te=0.004 --out " + Path("r.txt")), 0) << m_strErr;
    const std::string file = Read(Path("r.txt"));
    ASSERT_EQ(Run("run --set time.Te=0.004 --out -"), 0) << m_strErr;
    EXPECT_EQ(m_strOut, file);
    ASSERT_EQ(Run("run --set time.Te=0.004"), 0) << m_strErr;
    EXPECT_EQ(m_strOut, file);
    EXPECT_EQ(SplitCrLf(file).size(), 800u);
}

TEST_F(RunCli, CsvHoldsTheLabelsAndTheFullValuesOfTheTable) {
    ASSERT_EQ(Run("run --set time.Te=0.004 --out " + Path("r.txt")), 0) << m_strErr;
    const std::vector<std::string> table = SplitCrLf(Read(Path("r.txt")));
    ASSERT_EQ(Run("run --set time.Te=0.004 --csv --out " + Path("r.csv")), 0) << m_strErr;
    const std::string csv = Read(Path("r.csv"));
    EXPECT_EQ(csv.find('\r'), std::string::npos);
    const std::vector<std::string> lines = Split(csv, '\n');
    ASSERT_EQ(lines.size(), 801u);
    const std::vector<std::string> labels = Split(lines[0], ',');
    ASSERT_EQ(labels.size(), 36u);
    EXPECT_EQ(labels[0], "t [s]");
    EXPECT_EQ(labels[22], "omegaR [rad/s]");
    EXPECT_EQ(labels[35], "Psic [Wb]");
    for (std::size_t r = 0; r < table.size(); ++r) {
        const std::vector<std::string> values = Split(lines[r + 1], ',');
        const std::vector<std::string> fixed = Split(table[r], ' ');
        ASSERT_EQ(values.size(), 36u);
        ASSERT_EQ(fixed.size(), 36u);
        for (std::size_t c = 0; c < 36; ++c) {
            char buffer[400];
            std::snprintf(buffer, sizeof buffer, "%.6f", std::strtod(values[c].c_str(), nullptr));
            ASSERT_EQ(buffer, fixed[c]) << "row " << r << " column " << c;
        }
    }
}

// A field-oriented run's CSV carries the dq columns after the 36; its export table keeps 36.
TEST_F(RunCli, FieldOrientedCsvAppendsTheDqColumns) {
    const std::string args = "run --set time.Te=0.004 --set control.Scheme=1 --set time.Uc0=200 ";
    ASSERT_EQ(Run(args + "--out " + Path("r.txt")), 0) << m_strErr;
    const std::vector<std::string> table = SplitCrLf(Read(Path("r.txt")));
    ASSERT_EQ(table.size(), 800u);
    EXPECT_EQ(Split(table[5], ' ').size(), 36u);
    ASSERT_EQ(Run(args + "--csv --out " + Path("r.csv")), 0) << m_strErr;
    const std::vector<std::string> lines = Split(Read(Path("r.csv")), '\n');
    ASSERT_EQ(lines.size(), 801u);
    const std::vector<std::string> labels = Split(lines[0], ',');
    ASSERT_EQ(labels.size(), 42u);
    const char* dq[6] = {"id [A]", "iq [A]", "id* [A]", "iq* [A]", "ud* [V]", "uq* [V]"};
    for (int c = 0; c < 6; ++c)
        EXPECT_EQ(labels[36 + c], dq[c]);
    // The drive accelerates from standstill: iq* is the positive torque current after the
    // first sample.
    const std::vector<std::string> last = Split(lines[800], ',');
    ASSERT_EQ(last.size(), 42u);
    EXPECT_GT(std::strtod(last[39].c_str(), nullptr), 0.0);
}

// 400 output points (0.002 s at 5 us): every 20th is stored, and the last.
// Exact mode reports its energy ledger on stderr (not with --quiet); the table is unchanged by it.
TEST_F(RunCli, ExactRunReportsItsEnergyBalance) {
    const std::string args = "run --set time.Te=0.004 --set time.Exact=true ";
    ASSERT_EQ(Run(args + "--out " + Path("a.txt")), 0) << m_strErr;
    const std::string line = m_strErr;
    EXPECT_NE(line.find("Energy [J]: sources "), std::string::npos) << line;
    double relative = 1.0;
    const std::size_t at = line.find("(");
    ASSERT_NE(at, std::string::npos) << line;
    ASSERT_EQ(std::sscanf(line.c_str() + at, "(%lf of the delivered)", &relative), 1) << line;
    EXPECT_LT(std::fabs(relative), 1e-5);
    ASSERT_EQ(Run(args + "--quiet --out " + Path("q.txt")), 0) << m_strErr;
    EXPECT_EQ(m_strErr, "");
    EXPECT_EQ(Read(Path("a.txt")), Read(Path("q.txt")));
    ASSERT_EQ(Run("run --set time.Te=0.004 --out " + Path("d.txt")), 0) << m_strErr;
    EXPECT_EQ(m_strErr.find("Energy"), std::string::npos); // the default mode keeps none
}

TEST_F(RunCli, StoresEveryNthRow) {
    ASSERT_EQ(Run("run --set time.Te=0.002 --set time.Every=20 --out " + Path("r.txt")), 0)
        << m_strErr;
    EXPECT_EQ(SplitCrLf(Read(Path("r.txt"))).size(), 21u);
}

TEST_F(RunCli, AppliesAParameterFileThenTheOverrides) {
    std::ofstream(Path("p.json")) << R"({"time": {"Te": 0.002, "H": 0.00001}})";
    ASSERT_EQ(Run("run " + Path("p.json") + " --set time.H=0.000005 --out " + Path("r.txt")), 0)
        << m_strErr;
    EXPECT_EQ(SplitCrLf(Read(Path("r.txt"))).size(), 400u);
}

struct CBadArgs {
    const char* m_pszName;
    const char* m_pszArgs;
    const char* m_pszNamed; ///< what the message must name
};

void PrintTo(const CBadArgs& c, std::ostream* os) {
    *os << c.m_pszName;
}

class RunCliRefusal : public RunCli, public ::testing::WithParamInterface<CBadArgs> {};

TEST_P(RunCliRefusal, ExitsWithStatus2AndWritesNothing) {
    const std::string out = Path("r.txt");
    std::string args = GetParam().m_pszArgs;
    const std::size_t dir = args.find("DIR");
    if (dir != std::string::npos)
        args.replace(dir, 3, m_dir.string());
    EXPECT_EQ(Run("run " + args + " --out " + out), 2);
    EXPECT_NE(m_strErr.find(GetParam().m_pszNamed), std::string::npos) << m_strErr;
    EXPECT_FALSE(fs::exists(out));
}

INSTANTIATE_TEST_SUITE_P(
    Arguments, RunCliRefusal,
    ::testing::Values(
        CBadArgs{"TextForANumber", "--set control.Ud=abc", "Ud"},
        CBadArgs{"UnknownKey", "--set control.Nope=1", "Nope"},
        CBadArgs{"UnknownGroup", "--set engine.Ud=1", "engine"},
        CBadArgs{"OutOfRange", "--set time.H=2", "h ="},
        CBadArgs{"WrongCodeCount", "--set failures.FailT=[0,1,0]", "FailT"},
        CBadArgs{"MissingParameterFile", "DIR/none.json", "none.json"},
        CBadArgs{"ZeroStep", "--set time.H=0", "h = 0"},
        CBadArgs{"EmptyInterval", "--set time.Ts=0.1", "ts ="},
        CBadArgs{"SingularSource", "--set control.Ru=0", "Ru ="},
        CBadArgs{"SvpwmWithoutCarrier", "--set control.FT=0", "fT ="},
        CBadArgs{"ClearBeforeOnset", "--set failures.Clear=0.01 --set failures.Onset=0.02",
                 "until t ="},
        CBadArgs{"NoStoredRows", "--set time.Every=0", "store every"},
        CBadArgs{"FieldOrientedWithSixStep", "--set control.Scheme=1 --set control.ControlMethod=1",
                 "Control scheme 1"},
        CBadArgs{"FieldOrientedOnSineSupply", "--set control.Scheme=1 --set control.Condition=1",
                 "Condition of work 1"},
        CBadArgs{"CurrentBandwidthBeyondSampling",
                 "--set control.Scheme=1 --set foc.CurrentBandwidth=3000",
                 "Current bandwidth = 3000"},
        CBadArgs{"SpeedLoopFasterThanCurrentLoop",
                 "--set control.Scheme=1 --set foc.SpeedBandwidth=2000", "Speed bandwidth = 2000"},
        CBadArgs{"NoCurrentLimit", "--set foc.Imax=0", "Imax ="},
        CBadArgs{"NegativeTripCurrent", "--set protection.Idesat=-5", "Idesat ="},
        CBadArgs{"UnknownSafeState", "--set protection.SafeState=2", "After a trip"},
        CBadArgs{"EventsIntoAFolder", "--events DIR", "is a folder"}),
    [](const ::testing::TestParamInfo<CBadArgs>& info) { return info.param.m_pszName; });

// Outputs of one command that meet, however named: the last written would replace the
// other, or the user's parameter file. Refused before calculating, every file kept.
struct COutputClash {
    const char* m_pszName;
    const char* m_pszArgs; ///< DIR the test's folder; p.json the parameter file read
    const char* m_pszNamed;
};

void PrintTo(const COutputClash& c, std::ostream* os) {
    *os << c.m_pszName;
}

class RunCliOutputClash : public RunCli, public ::testing::WithParamInterface<COutputClash> {};

TEST_P(RunCliOutputClash, IsRefusedAndEveryFileKept) {
    const std::string params = "{\"control\": {\"Ud\": 150}}\n";
    std::ofstream(Path("p.json"), std::ios::binary) << params;
    fs::create_symlink("r.txt", m_dir / "link.txt");
    std::string args = GetParam().m_pszArgs;
    for (std::size_t at; (at = args.find("DIR")) != std::string::npos;)
        args.replace(at, 3, m_dir.string());
    EXPECT_EQ(Run(args + " --set time.Te=0.0002"), 2);
    EXPECT_NE(m_strErr.find(GetParam().m_pszNamed), std::string::npos) << m_strErr;
    EXPECT_EQ(std::count(m_strErr.begin(), m_strErr.end(), '\n'), 1) << m_strErr;
    EXPECT_FALSE(fs::exists(Path("r.txt")));
    EXPECT_EQ(Read(Path("p.json")), params);
    EXPECT_TRUE(m_strOut.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Outputs, RunCliOutputClash,
    ::testing::Values(
        COutputClash{"EventsOverTheTable", "run --out DIR/r.txt --events DIR/r.txt",
                     "name the same file"},
        COutputClash{"EventsThroughALinkToTheTable", "run --out DIR/r.txt --events DIR/link.txt",
                     "name the same file"},
        COutputClash{"TheSameFolderNamedTwoWays", "run --out DIR/r.txt --events DIR/./r.txt",
                     "name the same file"},
        COutputClash{"EventsToStandardOutputByName", "run --events /dev/stdout",
                     "both go to standard output"},
        COutputClash{"TableOverTheParameterFile", "run DIR/p.json --out DIR/p.json",
                     "is the parameter file"},
        COutputClash{"EventsOverTheParameterFile",
                     "run DIR/p.json --out DIR/r.txt --events DIR/p.json", "is the parameter file"},
        COutputClash{"PlotOverTheParameterFile", "diag pwm DIR/p.json --out DIR/p.json",
                     "is the parameter file"}),
    [](const ::testing::TestParamInfo<COutputClash>& info) { return info.param.m_pszName; });

TEST_F(RunCli, RefusesADestinationThatCannotBeCreatedBeforeCalculating) {
    const std::string out = (m_dir / "missing" / "r.txt").string();
    EXPECT_EQ(Run("run --out " + out), 2);
    EXPECT_NE(m_strErr.find(out), std::string::npos) << m_strErr;
    EXPECT_NE(m_strErr.find("No such file or directory"), std::string::npos) << m_strErr;
}

TEST_F(RunCli, ReversedIntervalIsReportedAndCalculated) {
    ASSERT_EQ(Run("run --set time.Ts=0.008 --set time.Te=0 --out " + Path("r.txt")), 0) << m_strErr;
    EXPECT_NE(m_strErr.find("Tp > Tk?\n"), std::string::npos) << m_strErr;
    const std::vector<std::string> lines = SplitCrLf(Read(Path("r.txt")));
    ASSERT_EQ(lines.size(), 1600u);
    EXPECT_EQ(lines.front().substr(0, 9), "0.000000 ");
    EXPECT_EQ(lines.back().substr(0, 9), "0.008000 ");
}

TEST_F(RunCli, HalvedStepExitsWithStatus3AndStillWritesTheTable) {
    EXPECT_EQ(Run("run --set time.H=0.001 --out " + Path("r.txt")), 3);
    EXPECT_NE(m_strErr.find("Set smaller calculation step!\n"), std::string::npos) << m_strErr;
    const std::vector<std::string> lines = SplitCrLf(Read(Path("r.txt")));
    ASSERT_EQ(lines.size(), 100u);
    for (std::size_t r = 0; r < lines.size(); ++r)
        ExpectExportLine(lines[r], r);
}

TEST_F(RunCli, MinimumStepExitsWithStatus4AndWritesNothing) {
    EXPECT_EQ(Run("run --set motor.J=1e-30 --set control.T=50 --set time.Te=0.001 --out " +
                  Path("r.txt")),
              4);
    EXPECT_NE(m_strErr.find("Set smaller calculation step!\n"), std::string::npos) << m_strErr;
    EXPECT_FALSE(fs::exists(Path("r.txt")));
}

TEST_F(RunCli, NonFiniteStateExitsWithStatus4AndWritesNothing) {
    EXPECT_EQ(Run("run --set motor.RonT=0 --set motor.RoffT=0 --set motor.RonD=0 "
                  "--set motor.RoffD=0 --set time.Te=0.001 --out " +
                  Path("r.txt")),
              4);
    EXPECT_NE(m_strErr.find("not a finite number"), std::string::npos) << m_strErr;
    EXPECT_FALSE(fs::exists(Path("r.txt")));
}

// A T1 short with desaturation protection: the event log holds the onset, then the trip, as
// the program's CSV; the trip is summarised on stderr, unless --quiet, and the table is as it
// would be without --events.
TEST_F(RunCli, WritesTheEventLogAndSummarisesTheTrip) {
    const std::string run = "run --csv --set time.Te=0.056 --set failures.FailT=[1,0,0,0,0,0] "
                            "--set failures.Onset=0.05 --set protection.Idesat=300 ";
    ASSERT_EQ(Run(run + "--out " + Path("r.csv") + " --events " + Path("e.csv")), 0) << m_strErr;
    const std::string events = Read(Path("e.csv"));
    const std::regex format("t,kind,source,value\n"
                            "0\\.050[0-9e.+-]*,fault_onset,T1,1\n"
                            "0\\.050[0-9e.+-]*,desaturation,T4,[0-9.e+]+\n");
    EXPECT_TRUE(std::regex_match(events, format)) << events;
    EXPECT_NE(m_strErr.find("Protection tripped at t = 0.050"), std::string::npos) << m_strErr;
    EXPECT_NE(m_strErr.find("desaturation of T4"), std::string::npos) << m_strErr;

    EXPECT_EQ(Run(run + "--events -"), 2); // the table is on standard output already
    EXPECT_NE(m_strErr.find("--events"), std::string::npos) << m_strErr;
    EXPECT_TRUE(m_strOut.empty());
    ASSERT_EQ(Run(run + "--quiet --out " + Path("r2.csv") + " --events -"), 0) << m_strErr;
    EXPECT_EQ(m_strOut, events);
    EXPECT_EQ(m_strErr.find("tripped"), std::string::npos) << m_strErr;
    EXPECT_EQ(Read(Path("r2.csv")), Read(Path("r.csv")));
}
