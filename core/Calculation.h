#pragma once

#include "ParamSet.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

class CSolver;
class IProgressSink;

/// The system's texts of the Calculate command.
inline constexpr const char* kMsgTpTk = "Tp > Tk?";
inline constexpr const char* kMsgSmallerStep = "Set smaller calculation step!";

/// Dimensions of a calculation: state size, state-table and result-table columns.
inline constexpr int kStateSize = 16;
inline constexpr int kStateCols = 17;
inline constexpr int kResultCols = 36;

/// Memory the tables of one output row take at most [bytes]: state row, result row, coil-flux
/// row and their row pointers.
inline constexpr std::uint64_t kBytesPerRow = 600;

/// How a calculation ended.
enum class ECalcStatus {
    NotRun,     ///< nothing was calculated yet
    Accepted,   ///< the run completed without a halved step: results are valid
    StepHalved, ///< the run completed but a step was halved ("Set smaller calculation step!")
    Refused,    ///< the inputs were refused before anything was allocated
    Stopped,    ///< the run stopped: minimum step or a non-finite state
    Cancelled,  ///< the user stopped the run
};

/// What Calculate does with the time group: the ordered interval and the row count.
struct CCalcPlan {
    double m_dStart = 0;                  ///< start of the ordered interval [s]
    double m_dEnd = 0;                    ///< end of the ordered interval [s]
    bool m_bSwapped = false;              ///< ts was not before te ("Tp > Tk?")
    std::int32_t m_nRows = 0;             ///< output points, (end - start) / h truncated
    std::int32_t m_nStored = 0;           ///< rows stored: every Every-th point and the last
    std::optional<std::string> m_refusal; ///< why the calculation cannot run
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

/// Orders the interval (m_bSwapped when ts is not before te: the caller reports "Tp > Tk?"
/// and the calculation goes on with the exchanged values), counts the rows and checks every
/// input the run relies on, before anything is allocated. m_refusal names the value and why:
/// a parameter outside its range, ts = te, h <= 0, a step that does not advance the time at
/// the interval's magnitude, fewer than 2 rows, tables beyond 80 % of the available memory, values
/// that make the equations singular (Ru = 0 with the inverter, Rl = 0 or Cl = 0 of the RC load, Rl
/// = 0 of the R load, J = 0, ml = mm = 0), a speed path of more points than the table holds, and fT
/// or Ud that space-vector PWM cannot run with.
CCalcPlan PlanCalculation(const CParamSet& set);

/// The first value of the solver's result table that is not finite, as the message of a
/// stopped run naming the time, the column and the row; nothing when every value is finite.
/// Meant for a completed run, whose every row is filled.
std::optional<std::string> FirstNonFiniteResult(const CSolver& solver);

/// The message PlanCalculation refuses a calculation step h with (h not above 0 s), or empty
/// when h is accepted.
std::string StepRefusal(double h);

/// The memory the machine offers to the tables [bytes]; 0 when unknown.
std::uint64_t AvailableMemory();

/// Fills x0 (kStateSize values) from the time group: zeros, the rotor angle converted from
/// degrees with 3.1416, and the speed.
void FillInitialState(const CTimeParams& time, double* x0);
/// As above, and the charge of the DC-side capacitor for its initial voltage Uc0: Cu Uc0 with
/// the inverter (condition index 0), Cl Uc0 with the rectifier's RC load (index 2), none in
/// the other conditions, which have no capacitor.
void FillInitialState(const CParamSet& set, double* x0);

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

/// Copies the parameter set into the model objects of a new solver, in the order R, U, M, G,
/// skipping an object that is missing. Every run starts the PWM sequence sign at -1.
void TransferParameters(const CParamSet& set, CSolver& solver);
