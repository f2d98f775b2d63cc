#include "Calculation.h"
#include "Commands.h"
#include "Interrupt.h"
#include "Output.h"
#include "ParamArgs.h"
#include "ResultExport.h"
#include "Solver.h"
#include "TerminalProgress.h"

#include <unistd.h>

#include <cstdio>

namespace {

int WriteTable(const CRunOptions& options, const CSolver& solver, std::int32_t nRows,
               const CInterruptGuard& interrupt, IProgressSink& progress) {
    const double* const* ppRows = solver.m_ppResTab.get();
    const std::size_t rows = std::size_t(nRows);
    const std::size_t cols = solver.m_nResCols;
    return WriteOutput(
        options.m_strOut, interrupt, [&](std::FILE* pFile, const std::string& strName) {
            return options.m_bCsv ? WriteResultCsv(pFile, strName, ppRows, rows, cols, &progress,
                                                   solver.m_ppFocTab.get())
                                  : WriteResultTable(pFile, strName, ppRows, rows, cols, &progress);
        });
}

// The table, then the event log when asked for; the first failure decides.
int WriteResults(const CRunOptions& options, const CSolver& solver, std::int32_t nRows,
                 const CInterruptGuard& interrupt, IProgressSink& progress) {
    const int written = WriteTable(options, solver, nRows, interrupt, progress);
    if (written != kExitOk || options.m_strEvents.empty())
        return written;
    return WriteOutput(options.m_strEvents, interrupt,
                       [&](std::FILE* pFile, const std::string& strName) {
                           return WriteEventsCsv(pFile, strName, solver.m_events.Events());
                       });
}

void ReportTrips(const CSolver& solver) {
    for (const CRunEvent& event : solver.m_events.Events()) {
        if (IsTrip(event.m_eKind))
            std::fprintf(stderr, "%s\n", TripSummary(event).c_str());
    }
}

// Exact mode's energy ledger in one line: where the delivered energy went and what is left.
void ReportEnergy(const CSolver& solver) {
    const CEnergyLedger& ledger = solver.m_energy;
    if (!ledger.m_bKept)
        return;
    const CEnergyLedger::CPower& e = ledger.m_energy;
    std::fprintf(stderr,
                 "Energy [J]: sources %.6g, external torque %.6g, resistances %.6g, damping "
                 "%.6g, stored %.6g to %.6g; residual %.3g (%.3g of the delivered)\n",
                 e.m_dSource, e.m_dLoad, e.m_dResistive, e.m_dDamping, ledger.m_start.Total(),
                 ledger.m_end.Total(), ledger.Residual(), ledger.RelativeResidual());
}

// The table, the event log and the parameter file read each need a file of their own: one
// written over another would leave only the last, and a parameter file is the user's work.
bool CheckOutputsApart(const CRunOptions& options) {
    const std::string& out = options.m_strOut;
    const std::string& events = options.m_strEvents;
    const std::string& params = options.m_strParams;
    const bool bOutFile = !IsStandardOutput(out);
    const bool bEventsFile = !events.empty() && !IsStandardOutput(events);
    std::string clash;
    if (!events.empty() && !bOutFile && !bEventsFile)
        clash = "--events " + events +
                " and the table both go to standard output: give one of "
                "them a file (--out FILE or --events FILE).";
    else if (bOutFile && bEventsFile && CAtomicFile::SameDestination(out, events))
        clash = "--out " + out + " and --events " + events +
                " name the same file: the event log would replace the table; give each its own.";
    else if (!params.empty() && bOutFile && CAtomicFile::SameDestination(params, out))
        clash = "--out " + out + " is the parameter file " + params +
                ": the table would replace it; write the table to another file.";
    else if (!params.empty() && bEventsFile && CAtomicFile::SameDestination(params, events))
        clash = "--events " + events + " is the parameter file " + params +
                ": the event log would replace it; write it to another file.";
    if (!clash.empty())
        std::fprintf(stderr, "%s\n", clash.c_str());
    return clash.empty();
}

} // namespace

int RunMain(const CRunOptions& options) {
    CParamSet set;
    const CStatus loaded = LoadParamArgs(options.m_strParams, options.m_overrides, set);
    if (!loaded.Ok())
        return ExitStatus(loaded);

    const CCalcPlan plan = PlanCalculation(set);
    // Equal times are refused with their own message; "Tp > Tk?" is for reversed ones.
    if (plan.m_bSwapped && set.m_time.m_dTs != set.m_time.m_dTe)
        std::fprintf(stderr, "%s\n", kMsgTpTk);
    if (plan.m_refusal) {
        std::fprintf(stderr, "%s\n", plan.m_refusal->c_str());
        return kExitUsage;
    }
    if (!CheckOutput(options.m_strOut))
        return kExitUsage;
    if (!options.m_strEvents.empty() && !CheckOutput(options.m_strEvents))
        return kExitUsage;
    if (!CheckOutputsApart(options))
        return kExitUsage;

    const CInterruptGuard interrupt;
    const bool draw = !options.m_bQuiet && isatty(STDERR_FILENO);
    CTerminalProgress progress(draw ? stderr : nullptr, "Calculate progress", &interrupt);
    const CCalcResult result = Calculate(set, &progress);
    progress.Close();
    if (interrupt.Requested()) {
        std::fprintf(stderr, "Interrupted: the calculation was stopped and nothing written.\n");
        return kExitInterrupted;
    }

    if (result.m_pSolver && !options.m_bQuiet) {
        ReportTrips(*result.m_pSolver);
        ReportEnergy(*result.m_pSolver);
    }
    CTerminalProgress quiet(nullptr, "", &interrupt);
    switch (result.m_status) {
    case ECalcStatus::Accepted:
        return WriteResults(options, *result.m_pSolver, result.m_nRows, interrupt, quiet);
    case ECalcStatus::StepHalved: {
        std::fprintf(stderr, "%s\n", result.m_strMessage.c_str());
        const int written =
            WriteResults(options, *result.m_pSolver, result.m_nRows, interrupt, quiet);
        return written == kExitOk ? kExitStepHalved : written;
    }
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
    if (!result.m_strDetail.empty())
        std::fprintf(stderr, "%s\n", result.m_strDetail.c_str());
    return kExitUsage;
}
