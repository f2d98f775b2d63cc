#include "AtomicFile.h"
#include "DiagPlots.h"
#include "ParamFile.h"
#include "ResultExport.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <functional>
#include <string>

namespace {

namespace fs = std::filesystem;

// Callers choose an exit status or an exception by the code: refused input and a file that
// could not be written must come back as such, never as success or "not run".
struct CStatusCase {
    const char* m_pszName;
    std::function<CStatus(const fs::path& dir)> m_operation;
    EStatus m_expected;
};

void PrintTo(const CStatusCase& c, std::ostream* os) {
    *os << c.m_pszName;
}

class StatusOfOperation : public testing::TestWithParam<CStatusCase> {};

TEST_P(StatusOfOperation, NamesWhatHappened) {
    const fs::path dir = fs::temp_directory_path() /
                         ("kalvor-status-" + std::to_string(getpid()) + GetParam().m_pszName);
    fs::remove_all(dir);
    fs::create_directories(dir / "folder");
    const CStatus status = GetParam().m_operation(dir);
    EXPECT_EQ(status.m_code, GetParam().m_expected) << status.m_strMessage;
    EXPECT_EQ(status.Ok(), status.m_strMessage.empty()) << status.m_strMessage;
    fs::remove_all(dir);
}

const double kX[2] = {0, 1};

INSTANTIATE_TEST_SUITE_P(
    Core, StatusOfOperation,
    testing::Values(
        CStatusCase{"NothingYet", [](const fs::path&) { return CStatus(); }, EStatus::NotRun},
        CStatusCase{"SaveAndReadBack",
                    [](const fs::path& d) {
                        CParamSet set;
                        const CStatus saved = WriteParamFile((d / "p.kalvor").string(), set);
                        return saved.Ok() ? ReadParamFile((d / "p.kalvor").string(), set) : saved;
                    },
                    EStatus::Ok},
        CStatusCase{"ReadMissingFile",
                    [](const fs::path& d) {
                        CParamSet set;
                        return ReadParamFile((d / "none.kalvor").string(), set);
                    },
                    EStatus::Refused},
        CStatusCase{"OverrideOutOfRange",
                    [](const fs::path&) {
                        CParamSet set;
                        return ApplyOverride("control.Cu=0.00005", set);
                    },
                    EStatus::Refused},
        CStatusCase{
            "SaveOverAFolder",
            [](const fs::path& d) { return WriteParamFile((d / "folder").string(), CParamSet()); },
            EStatus::Failed},
        CStatusCase{"ExportIntoAMissingFolder",
                    [](const fs::path& d) {
                        return ExportPlotFile((d / "none" / "plot.txt").string(), kPlotCurve, kX,
                                              kX, nullptr, 2);
                    },
                    EStatus::Failed},
        CStatusCase{"ExportWithoutData",
                    [](const fs::path& d) {
                        return ExportPlotFile((d / "plot.txt").string(), kPlotCurve, kX, nullptr,
                                              nullptr, 2);
                    },
                    EStatus::Refused},
        CStatusCase{
            "DiagPlotOfUnknownKind",
            [](const fs::path&) -> CStatus { return DiagPlotOfKind("torque", CParamSet()); },
            EStatus::Refused},
        CStatusCase{
            "DiagPlot",
            [](const fs::path&) -> CStatus { return DiagPlotOfKind("inductance", CParamSet()); },
            EStatus::Ok}),
    [](const testing::TestParamInfo<CStatusCase>& info) {
        return std::string(info.param.m_pszName);
    });

} // namespace
