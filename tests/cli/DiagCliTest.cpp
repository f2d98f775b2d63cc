#include "Control.h"
#include "DiagPlots.h"
#include "Gclass.h"
#include "Mclass.h"
#include "ParamSet.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

/// A fresh folder under the system's temporary folder, removed at the end of the test.
class CDiagTempDir {
public:
    CDiagTempDir() {
        m_path = fs::temp_directory_path() /
                 ("kalvor-diag-" + std::to_string(::getpid()) + "-" + std::to_string(++s_n));
        fs::remove_all(m_path);
        fs::create_directories(m_path);
    }
    ~CDiagTempDir() {
        std::error_code ec;
        fs::remove_all(m_path, ec);
    }
    fs::path operator/(const std::string& name) const { return m_path / name; }

private:
    static inline int s_n = 0;
    fs::path m_path;
};

std::string ReadBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

/// Runs kalvor-cli with args; stdout and stderr go to the given files. Returns the exit status.
int RunDiag(const std::string& args, const fs::path& out, const fs::path& err) {
    const std::string cmd = std::string("\"") + KALVOR_CLI_PATH + "\" diag " + args + " >\"" +
                            out.string() + "\" 2>\"" + err.string() + "\"";
    const int status = std::system(cmd.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

/// The "Export plot..." bytes of a curve, formatted here with printf.
std::string CurveBytes(const CDiagPlot& plot) {
    std::string text;
    char line[128];
    for (std::size_t i = 0; i < plot.m_x.size(); ++i) {
        std::snprintf(line, sizeof line, "%.6f %.6f \r\n", plot.m_x[i], plot.m_y[i]);
        text += line;
    }
    return text;
}

} // namespace

TEST(KalvorCliDiag, InductanceWritesTheCoreCurveInThePlotExportFormat) {
    CDiagTempDir dir;
    ASSERT_EQ(RunDiag("inductance --out \"" + (dir / "ind.txt").string() + "\"", dir / "stdout",
                      dir / "stderr"),
              0)
        << ReadBytes(dir / "stderr");
    CMclass m(18);
    CGclass g(18);
    const CDiagPlot plot = InductancePlot(CIndSettings{}, CMotorParams{}, m, g);
    ASSERT_TRUE(plot.Ok());
    const std::string bytes = ReadBytes(dir / "ind.txt");
    EXPECT_EQ(bytes, CurveBytes(plot));
    EXPECT_EQ(bytes.rfind("0.000000 ", 0), 0u);
    EXPECT_NE(bytes.find("6.283200 "), std::string::npos);
    EXPECT_TRUE(ReadBytes(dir / "stdout").empty());
}

TEST(KalvorCliDiag, FluxFromAParameterFileAndOverridesGoesToStandardOutput) {
    CDiagTempDir dir;
    {
        std::ofstream params(dir / "p.kalvor");
        params << R"({ "flux_plot": { "Quantity": 2, "X": 7, "Y": 2, "N": 300 },
                       "motor": { "Ml": 2.0 } })";
    }
    ASSERT_EQ(RunDiag("flux \"" + (dir / "p.kalvor").string() +
                          "\" --set flux_plot.Nh=40 --set flux_plot.Alfae=180",
                      dir / "stdout", dir / "stderr"),
              0)
        << ReadBytes(dir / "stderr");
    CFluxPlotSettings settings;
    settings.m_nQuantity = 2;
    settings.m_nX = 7;
    settings.m_nY = 2;
    settings.m_nN = 300;
    settings.m_nNh = 40;
    settings.m_dAlfae = 180;
    CGclass g(18);
    const CDiagPlot plot = FluxPlot(settings, g);
    EXPECT_EQ(ReadBytes(dir / "stdout"), CurveBytes(plot));
}

TEST(KalvorCliDiag, PwmWithReversedTimesWarnsAndPlotsTheExchangedInterval) {
    CDiagTempDir dir;
    ASSERT_EQ(RunDiag("pwm --set voltage_plot.Ts=0.04 --set voltage_plot.Te=0 --set "
                      "voltage_plot.Phase=2 --out -",
                      dir / "stdout", dir / "stderr"),
              0);
    EXPECT_NE(ReadBytes(dir / "stderr").find("Tp > Tk?\n"), std::string::npos);
    CVoltPlotSettings settings;
    settings.m_nPhase = 2;
    CControl control;
    const CDiagPlot plot = VoltagePlot(settings, control);
    EXPECT_EQ(ReadBytes(dir / "stdout"), CurveBytes(plot));
}

struct CBadDiag {
    const char* m_strName;
    const char* m_strArgs;
    const char* m_strMessage; ///< a part of the message on stderr
};

void PrintTo(const CBadDiag& c, std::ostream* os) {
    *os << c.m_strName;
}

class KalvorCliDiagRefuses : public testing::TestWithParam<CBadDiag> {};

TEST_P(KalvorCliDiagRefuses, WithExitTwoAClearMessageAndNothingWritten) {
    const CBadDiag& c = GetParam();
    CDiagTempDir dir;
    const fs::path out = dir / "plot.txt";
    EXPECT_EQ(RunDiag(std::string(c.m_strArgs) + " --out \"" + out.string() + "\"", dir / "stdout",
                      dir / "stderr"),
              2);
    EXPECT_NE(ReadBytes(dir / "stderr").find(c.m_strMessage), std::string::npos)
        << ReadBytes(dir / "stderr");
    EXPECT_FALSE(fs::exists(out));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, KalvorCliDiagRefuses,
    testing::Values(CBadDiag{"OneSample", "inductance --set inductance_plot.N=1", "N = "},
                    CBadDiag{"SampleCountOutOfRange", "flux --set flux_plot.N=5000", "N = "},
                    CBadDiag{"CoilOutOfRange", "inductance --set inductance_plot.X=18", "x ="},
                    CBadDiag{"UnknownKey", "pwm --set voltage_plot.Q=1", "voltage_plot.Q"},
                    CBadDiag{"EqualTimes", "pwm --set voltage_plot.Te=0", "ts ="},
                    CBadDiag{"UnknownKind", "torque", "torque"},
                    CBadDiag{"MissingFile", "flux /nonexistent/params.kalvor",
                             "/nonexistent/params.kalvor"}),
    [](const testing::TestParamInfo<CBadDiag>& info) { return info.param.m_strName; });

TEST(KalvorCliDiag, AnOutputThatCannotBeCreatedIsNamedWithTheReason) {
    CDiagTempDir dir;
    const std::string out = (dir / "missing-folder" / "plot.txt").string();
    EXPECT_EQ(RunDiag("flux --out \"" + out + "\"", dir / "stdout", dir / "stderr"), 2);
    const std::string err = ReadBytes(dir / "stderr");
    EXPECT_NE(err.find(out), std::string::npos) << err;
    EXPECT_NE(err.find("No such file or directory"), std::string::npos) << err;
}
