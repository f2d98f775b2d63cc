#include "Calculation.h"

#include "AllocFailure.h"
#include "MessageText.h"
#include "ResultColumns.h"
#include "Solver.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

namespace {

constexpr const char* kStateNames[kStateSize] = {
    "charge q0",         "charge q1",         "charge q2",         "charge q3",
    "charge q4",         "charge q5",         "charge q6",         "charge q7",
    "charge q8",         "charge q9",         "charge q10",        "charge q11",
    "current of loop A", "current of loop B", "rotor angle betaR", "rotor speed omegaR",
};

// The system's text of a failed allocation; a failure outside the engine's own tables gets
// the matrices' text.
std::string AllocationText(const std::bad_alloc& failure) {
    if (const auto* pEngine = dynamic_cast<const CAllocFailure*>(&failure))
        return pEngine->what();
    return "Błąd przydziału pamęci";
}

} // namespace

std::optional<std::string> FirstNonFiniteResult(const CSolver& solver) {
    for (std::uint32_t k = 0; k < solver.m_nRows; ++k) {
        const double* row = solver.m_ppResTab[k];
        for (std::uint32_t c = 0; c < solver.m_nResCols; ++c) {
            if (!std::isfinite(row[c]))
                return "The calculation stopped at t = " + ShortNumber(row[0]) +
                       " s: the result \"" +
                       std::string(c < std::uint32_t(kResultColumns) ? kResultLabels[c]
                                                                     : std::string_view("?")) +
                       "\" (column " + std::to_string(c) + ") of row " + std::to_string(k) +
                       " is not a finite number; the equations are singular or ill-conditioned "
                       "for these parameters.";
        }
    }
    return std::nullopt;
}

CCalcResult::CCalcResult() = default;
CCalcResult::CCalcResult(CCalcResult&&) noexcept = default;
CCalcResult& CCalcResult::operator=(CCalcResult&&) noexcept = default;
CCalcResult::~CCalcResult() = default;

CCalcResult Calculate(const CParamSet& set, IProgressSink* pProgress) {
    CCalcResult result;
    const CCalcPlan plan = PlanCalculation(set);
    if (plan.m_refusal) {
        result.m_status = ECalcStatus::Refused;
        result.m_strMessage = *plan.m_refusal;
        return result;
    }
    result.m_nRows = plan.m_nStored;
    try {
        result.m_pSolver = std::make_unique<CSolver>(std::uint32_t(plan.m_nStored), kStateCols,
                                                     kStateSize, kResultCols);
        if (set.m_control.m_nScheme == 1)
            result.m_pSolver->EnableFoc(FocSettings(set.m_foc));
    } catch (const std::bad_alloc& failure) {
        result.m_status = ECalcStatus::Refused;
        result.m_strMessage = AllocationText(failure);
        result.m_strDetail = "The tables of " + std::to_string(plan.m_nStored) + " stored rows (" +
                             MegaBytesText(std::uint64_t(plan.m_nStored) * BytesPerRow(set)) +
                             ") could not be allocated: enter a shorter interval, a larger "
                             "calculation step, or store fewer rows (a larger " +
                             FieldName("time", "Every") + ").";
        result.m_nRows = 0;
        return result;
    }
    CSolver& solver = *result.m_pSolver;
    solver.SetStoring(std::uint32_t(plan.m_nRows), std::uint32_t(set.m_time.m_nEvery));
    solver.m_bExact = set.m_time.m_bExact;
    double x0[kStateSize];
    FillInitialState(set, x0);
    TransferParameters(set, solver);

    solver.m_pProgress = pProgress;
    ERunStatus status = ERunStatus::NotRun;
    try {
        status = solver.Run(plan.m_dStart, plan.m_dEnd, x0);
    } catch (const std::bad_alloc& failure) {
        solver.m_pProgress = nullptr;
        result.m_status = ECalcStatus::Stopped;
        result.m_strMessage = AllocationText(failure);
        result.m_strDetail = "The calculation stopped at t = " + ShortNumber(plan.m_dStart) +
                             " s: the memory of its working buffers could not be allocated.";
        return result;
    }
    solver.m_pProgress = nullptr;

    switch (status) {
    case ERunStatus::Completed:
        // The state was finite at every step; a derived column may still overflow.
        if (auto problem = FirstNonFiniteResult(solver)) {
            result.m_status = ECalcStatus::Stopped;
            result.m_strMessage = *problem;
        } else if (solver.m_nHalvings == 0 || solver.m_bExact) {
            // Exact mode shortens its steps as the circuit needs: a halved step is part of
            // the method there, not a sign of a step chosen too long.
            result.m_status = ECalcStatus::Accepted;
        } else {
            result.m_status = ECalcStatus::StepHalved;
            result.m_strMessage = kMsgSmallerStep;
        }
        break;
    case ERunStatus::StepTooSmall:
        result.m_status = ECalcStatus::Stopped;
        result.m_strMessage = kMsgSmallerStep;
        result.m_strDetail = "The calculation stopped at t = " + ShortNumber(solver.m_dStopTime) +
                             " s: a step did not converge even after " +
                             std::to_string(CSolver::kMaxHalvings) + " halvings.";
        break;
    case ERunStatus::TooMuchWork:
        result.m_status = ECalcStatus::Stopped;
        result.m_strMessage = kMsgSmallerStep;
        result.m_strDetail = "The calculation stopped at t = " + ShortNumber(solver.m_dStopTime) +
                             " s: its steps converge only far below the calculation step "
                             "(more than " +
                             std::to_string(CSolver::kMaxStepsPerPoint) +
                             " steps per output point); the state does not converge for these "
                             "parameters at this step.";
        break;
    case ERunStatus::NonFinite: {
        const int bad = solver.m_nBadState;
        result.m_status = ECalcStatus::Stopped;
        result.m_strMessage =
            "The calculation stopped at t = " + ShortNumber(solver.m_dStopTime) +
            " s: the state x[" + std::to_string(bad) + "] (" +
            (bad >= 0 && bad < kStateSize ? kStateNames[bad] : "?") +
            ") is not a finite number; the equations are singular or ill-conditioned for these "
            "parameters.";
        break;
    }
    case ERunStatus::Cancelled:
        result.m_status = ECalcStatus::Cancelled;
        result.m_strMessage = "The calculation was cancelled.";
        break;
    case ERunStatus::NotRun:
        result.m_status = ECalcStatus::Refused;
        result.m_strMessage = "The calculation could not start.";
        break;
    }
    return result;
}
