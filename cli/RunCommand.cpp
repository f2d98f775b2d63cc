#include "Calculation.h"
#include "Commands.h"
#include "ParamArgs.h"
#include "ResultExport.h"
#include "Solver.h"
#include "TerminalProgress.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

namespace {

bool ToStdout(const std::string& strOut) {
    return strOut.empty() || strOut == "-";
}

// A destination that cannot be written is reported before the calculation, not after it.
std::string CheckDestination(const std::string& strPath) {
    if (access(strPath.c_str(), F_OK) == 0) {
        if (access(strPath.c_str(), W_OK) != 0)
            return "Cannot create " + strPath + ": " + std::strerror(errno);
        return {};
    }
    const std::size_t slash = strPath.find_last_of('/');
    const std::string dir =
        slash == std::string::npos ? "." : (slash == 0 ? "/" : strPath.substr(0, slash));
    if (access(dir.c_str(), W_OK | X_OK) != 0)
        return "Cannot create " + strPath + ": " + std::strerror(errno);
    return {};
}

bool WriteTable(const CRunOptions& options, const CSolver& solver, std::int32_t nRows) {
    const double* const* ppRows = solver.m_ppResTab;
    const std::size_t rows = std::size_t(nRows);
    const std::size_t cols = solver.m_nResCols;
    CExportStatus status;
    if (ToStdout(options.m_strOut)) {
        status = options.m_bCsv ? WriteResultCsv(stdout, "standard output", ppRows, rows, cols)
                                : WriteResultTable(stdout, "standard output", ppRows, rows, cols);
    } else {
        status = ExportResultFile(options.m_strOut, ppRows, rows, cols, options.m_bCsv);
        if (!status.m_bOk)
            std::remove(options.m_strOut.c_str());
    }
    if (!status.m_bOk)
        std::fprintf(stderr, "%s\n", status.m_strMessage.c_str());
    return status.m_bOk;
}

} // namespace

int RunMain(const CRunOptions& options) {
    CParamSet set;
    const CFileStatus loaded = LoadParamArgs(options.m_strParams, options.m_overrides, set);
    if (!loaded.m_bOk) {
        std::fprintf(stderr, "%s\n", loaded.m_strMessage.c_str());
        return kExitUsage;
    }

    const CCalcPlan plan = PlanCalculation(set);
    if (plan.m_bSwapped)
        std::fprintf(stderr, "%s\n", kMsgTpTk);
    if (plan.m_refusal) {
        std::fprintf(stderr, "%s\n", plan.m_refusal->c_str());
        return kExitUsage;
    }
    if (!ToStdout(options.m_strOut)) {
        const std::string problem = CheckDestination(options.m_strOut);
        if (!problem.empty()) {
            std::fprintf(stderr, "%s\n", problem.c_str());
            return kExitUsage;
        }
    }

    std::unique_ptr<CTerminalProgress> pProgress;
    if (!options.m_bQuiet && isatty(STDERR_FILENO))
        pProgress = std::make_unique<CTerminalProgress>(stderr, "Calculate progress");
    const CCalcResult result = Calculate(set, pProgress.get());
    pProgress.reset();

    switch (result.m_status) {
    case ECalcStatus::Accepted:
        return WriteTable(options, *result.m_pSolver, result.m_nRows) ? kExitOk : kExitUsage;
    case ECalcStatus::StepHalved:
        std::fprintf(stderr, "%s\n", result.m_strMessage.c_str());
        return WriteTable(options, *result.m_pSolver, result.m_nRows) ? kExitStepHalved
                                                                      : kExitUsage;
    case ECalcStatus::Stopped:
    case ECalcStatus::Cancelled:
        std::fprintf(stderr, "%s\n", result.m_strMessage.c_str());
        if (!result.m_strDetail.empty())
            std::fprintf(stderr, "%s\n", result.m_strDetail.c_str());
        return kExitStopped;
    case ECalcStatus::Refused:
    case ECalcStatus::NotRun:
        break;
    }
    std::fprintf(stderr, "%s\n", result.m_strMessage.c_str());
    return kExitUsage;
}
