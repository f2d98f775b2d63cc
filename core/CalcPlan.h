#pragma once

#include "ParamSet.h"

#include <cstdint>
#include <optional>
#include <string>

/// Dimensions of a calculation: state size, state-table and result-table columns.
inline constexpr int kStateSize = 16;
inline constexpr int kStateCols = 17;
inline constexpr int kResultCols = 36;

/// Memory the tables of one output row take at most [bytes]: state row, result row, coil-flux
/// row and their row pointers.
inline constexpr std::uint64_t kBytesPerRow = 600;

/// Memory the tables of one stored row take at most for this parameter set [bytes]: a
/// field-oriented run keeps its kFocColumns columns beside the result table.
std::uint64_t BytesPerRow(const CParamSet& set);

/// What Calculate does with the time group: the ordered interval and the row count.
struct CCalcPlan {
    double m_dStart = 0;                  ///< start of the ordered interval [s]
    double m_dEnd = 0;                    ///< end of the ordered interval [s]
    bool m_bSwapped = false;              ///< ts was not before te ("Tp > Tk?")
    std::int32_t m_nRows = 0;             ///< output points, (end - start) / h truncated
    std::int32_t m_nStored = 0;           ///< rows stored: every Every-th point and the last
    std::optional<std::string> m_refusal; ///< why the calculation cannot run
};

/// Orders the interval (m_bSwapped when ts is not before te: the caller reports "Tp > Tk?"
/// and the calculation goes on with the exchanged values), counts the rows and checks every
/// input the run relies on, before anything is allocated. m_refusal names the value and why:
/// a parameter outside its range, ts = te, h <= 0, a step that does not advance the time at
/// the interval's magnitude, fewer than 2 rows, tables beyond 80 % of the available memory, values
/// that make the equations singular (Ru = 0 with the inverter, Rl = 0 or Cl = 0 of the RC load, Rl
/// = 0 of the R load, J = 0, ml = mm = 0), a speed path of more points than the table holds, fT
/// or Ud that space-vector PWM cannot run with, and for field-oriented control a current
/// bandwidth above fT / 2, a speed bandwidth not below it, or a motor without positive Ld, Lq
/// and magnet flux.
CCalcPlan PlanCalculation(const CParamSet& set);

/// The message PlanCalculation refuses a calculation step h with (h not above 0 s), or empty
/// when h is accepted.
std::string StepRefusal(double h);

/// The memory the machine offers to the tables [bytes]; 0 when unknown.
std::uint64_t AvailableMemory();
