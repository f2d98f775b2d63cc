#pragma once

#include "CalcPlan.h"
#include "ParamTransfer.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

class CSolver;
class IProgressSink;

/// The system's texts of the Calculate command.
inline constexpr const char* kMsgTpTk = "Tp > Tk?";
inline constexpr const char* kMsgSmallerStep = "Set smaller calculation step!";

/// How a calculation ended.
enum class ECalcStatus {
    NotRun,     ///< nothing was calculated yet
    Accepted,   ///< the run completed without a halved step: results are valid
    StepHalved, ///< the run completed but a step was halved ("Set smaller calculation step!")
    Refused,    ///< the inputs were refused before anything was allocated
    Stopped,    ///< the run stopped: minimum step or a non-finite state
    Cancelled,  ///< the user stopped the run
};

/// The outcome of a calculation. The solver is kept whatever the status, except Refused.
struct CCalcResult {
    ECalcStatus m_status = ECalcStatus::NotRun;
    std::string m_strMessage;           ///< the system's text for the status, or the refusal
    std::string m_strDetail;            ///< where and why a run stopped, empty otherwise
    std::unique_ptr<CSolver> m_pSolver; ///< the run with its tables
    std::int32_t m_nRows = 0;           ///< rows of the result table (the stored points)
    CCalcResult();
    CCalcResult(CCalcResult&&) noexcept;
    CCalcResult& operator=(CCalcResult&&) noexcept;
    ~CCalcResult();
};

/// The first value of the solver's result table that is not finite, as the message of a
/// stopped run naming the time, the column and the row; nothing when every value is finite.
/// Meant for a completed run, whose every row is filled.
std::optional<std::string> FirstNonFiniteResult(const CSolver& solver);

/// Plans, creates the solver, fills the initial state, transfers the parameters (R, U, M, G),
/// runs and judges the run: Stopped when a result value is not finite, Accepted when no step
/// was halved (m_nStepCount = points - 1) or the run is in exact mode (time.Exact),
/// StepHalved ("Set smaller calculation step!") when one was, Stopped when the run hit the
/// minimum step ("Set smaller calculation step!") or a state that is not finite, Cancelled
/// when pProgress asked for it, Refused when the plan refused the inputs (no solver then).
/// An allocation that fails never ends the process: the tables that cannot be allocated give
/// Refused (no solver), the run's buffers Stopped, each with the system's text and m_strDetail
/// saying what to change. pProgress may be null.
CCalcResult Calculate(const CParamSet& set, IProgressSink* pProgress);
