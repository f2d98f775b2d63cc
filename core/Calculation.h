#pragma once

#include "ParamSet.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

class CSolver;
class IProgressSink;

/// How a calculation ended.
enum class ECalcStatus {
    NotRun,      ///< nothing was calculated yet
    Accepted,    ///< the run completed without a halved step: results are valid
    StepHalved,  ///< the run completed but a step was halved ("Set smaller calculation step!")
    Refused,     ///< the inputs were refused before anything was allocated
    Stopped,     ///< the run stopped: minimum step or a non-finite state
    Cancelled,   ///< the user stopped the run
};

/// What Calculate does with the time group: the ordered interval and the row count.
struct CCalcPlan {
    double m_dStart = 0;          ///< start of the ordered interval [s]
    double m_dEnd = 0;            ///< end of the ordered interval [s]
    bool m_bSwapped = false;      ///< ts was not before te ("Tp > Tk?")
    std::int32_t m_nRows = 0;     ///< output rows, (end - start) / h truncated
    std::optional<std::string> m_refusal; ///< why the calculation cannot run
};

/// The outcome of a calculation. The solver is kept whatever the status, except Refused.
struct CCalcResult {
    ECalcStatus m_status = ECalcStatus::NotRun;
    std::string m_strMessage;          ///< the system's text for the status, or the refusal
    std::unique_ptr<CSolver> m_pSolver; ///< the run with its tables
    std::int32_t m_nRows = 0;          ///< rows of the result table
    CCalcResult();
    CCalcResult(CCalcResult&&) noexcept;
    CCalcResult& operator=(CCalcResult&&) noexcept;
    ~CCalcResult();
};

/// Orders the interval, counts the rows and checks every input the run relies on, before
/// anything is allocated.
CCalcPlan PlanCalculation(const CParamSet& set);

/// Creates the solver, fills the initial state, transfers the parameters (R, U, M, G), runs
/// and judges the run. pProgress may be null.
CCalcResult Calculate(const CParamSet& set, IProgressSink* pProgress);

/// Copies the parameter set into the model objects of a new solver, in the order R, U, M, G.
void TransferParameters(const CParamSet& set, CSolver& solver);
