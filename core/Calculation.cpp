#include "Calculation.h"

#include "AllocFailure.h"
#include "MessageText.h"
#include "ResultColumns.h"
#include "Solver.h"

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

namespace {

constexpr double kInfinity = std::numeric_limits<double>::infinity();

constexpr const char* kConditionNames[4] = {
    "1 - Motor supplied by inverter",
    "2 - Motor supplied by 3 phase voltage",
    "3 - Generator supplying recifier with RC load",
    "4 - Generator supplying 3 phase R load",
};

constexpr const char* kStateNames[kStateSize] = {
    "charge q0",         "charge q1",         "charge q2",         "charge q3",
    "charge q4",         "charge q5",         "charge q6",         "charge q7",
    "charge q8",         "charge q9",         "charge q10",        "charge q11",
    "current of loop A", "current of loop B", "rotor angle betaR", "rotor speed omegaR",
};

std::string Num(double value) {
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%.10g", value);
    return buffer;
}

std::string Label(const char* group, const char* key) {
    const CFieldDesc* pDesc = FindField(group, key);
    return pDesc ? pDesc->DisplayName() : std::string(key);
}

std::string InCondition(int condition) {
    return std::string(" in condition \"") + kConditionNames[condition] + "\"";
}

std::string MegaBytes(std::uint64_t bytes) {
    return Num(std::round(double(bytes) / 1e6)) + " MB";
}

// The values that make the equations singular, and what the speed path and the SVPWM need.
std::optional<std::string> RefuseModel(const CParamSet& set) {
    const CInvParams& inv = set.m_control;
    const CMotorParams& motor = set.m_motor;
    const int cond = inv.m_nCondition;
    if (cond == 0 && inv.m_dRu == 0)
        return Label("control", "Ru") + " 0 is not accepted" + InCondition(cond) +
               ": a DC source without internal resistance makes the circuit equations "
               "singular; enter a resistance greater than 0.";
    // Negative loads, capacities or inertia are not physical: they make the equations
    // singular or feed energy in, so the solution grows without bound. (Negative damping is
    // kept: it models a load that drives the rotor with its speed.)
    if (cond == 2 && !(inv.m_dRlRC > 0))
        return Label("control", "RlRC") + " " + Num(inv.m_dRlRC) + " is not accepted" +
               InCondition(cond) +
               ": a load without positive resistance makes the circuit equations singular or "
               "unstable; enter a resistance greater than 0.";
    if (cond == 2 && !(inv.m_dCl > 0))
        return Label("control", "Cl") + " " + Num(inv.m_dCl) + " is not accepted" +
               InCondition(cond) +
               ": the load capacitor needs a positive capacitance (its voltage is q/Cl); enter "
               "a capacitance greater than 0.";
    if (cond == 3 && !(inv.m_dRlR > 0))
        return Label("control", "RlR") + " " + Num(inv.m_dRlR) + " is not accepted" +
               InCondition(cond) +
               ": every bridge branch takes 4 x Rl, and branches without positive resistance "
               "make the circuit equations singular or unstable; enter a resistance greater "
               "than 0.";
    if (!(motor.m_dJ > 0))
        return Label("motor", "J") + " " + Num(motor.m_dJ) +
               " is not accepted: a rotor without positive inertia makes the motion equation "
               "singular or unstable; enter a moment of inertia greater than 0.";
    if (motor.m_dMl == 0 && motor.m_dMm == 0)
        return Label("motor", "Ml") + " 0 and " + Label("motor", "Mm") +
               " 0 are not accepted together: without inductances the winding equations are "
               "singular; enter a multiplier other than 0 for one of them.";
    std::string problem = CControl::SpeedPathMessage(inv.m_strSpeedPath);
    if (problem.empty() && cond == 0 && inv.m_nControlMethod == 0)
        problem = CControl::SvpwmMessage(inv.m_dFT, inv.m_dUd);
    if (!problem.empty())
        return problem;
    return std::nullopt;
}

// A step that no longer moves the time (ts + h == ts far from 0) freezes the run and divides
// by a zero time difference: refused when the doubles near the interval's ends cannot resolve
// the step to about a thousandth.
std::optional<std::string> RefuseFrozenTime(const CCalcPlan& plan, double h) {
    if (plan.m_nRows < 2)
        return std::nullopt;
    const double step = (plan.m_dEnd - plan.m_dStart) / (plan.m_nRows - 1);
    const double far = std::max(std::fabs(plan.m_dStart), std::fabs(plan.m_dEnd));
    const double spacing = std::nextafter(far, kInfinity) - far;
    if (step > 1024 * spacing)
        return std::nullopt;
    return Label("time", "H") + " " + ExactNumber(h) + " is not accepted with " +
           Label("time", "Ts") + " " + ExactNumber(plan.m_dStart) + " and " + Label("time", "Te") +
           " " + ExactNumber(plan.m_dEnd) + ": near these times a step of " + Num(step) +
           " s does not advance the time (the "
           "nearest times apart are " +
           Num(spacing) + " s); enter times nearer to 0 or a larger calculation step.";
}

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
                return "The calculation stopped at t = " + Num(row[0]) + " s: the result \"" +
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

std::uint64_t AvailableMemory() {
    // What the kernel can give without swapping (MemAvailable), not the installed total.
    std::FILE* file = std::fopen("/proc/meminfo", "r");
    if (file) {
        char line[256];
        unsigned long long kibibytes = 0;
        bool found = false;
        while (!found && std::fgets(line, sizeof line, file))
            found = std::sscanf(line, "MemAvailable: %llu kB", &kibibytes) == 1;
        std::fclose(file);
        if (found)
            return std::uint64_t(kibibytes) * 1024;
    }
    const long pages = sysconf(_SC_AVPHYS_PAGES);
    const long pageSize = sysconf(_SC_PAGESIZE);
    if (pages <= 0 || pageSize <= 0)
        return 0;
    return std::uint64_t(pages) * std::uint64_t(pageSize);
}

std::string StepRefusal(double h) {
    if (h > 0)
        return {};
    return Label("time", "H") + " " + Num(h) +
           " is not accepted: the calculation step must be greater than 0 s.";
}

CCalcPlan PlanCalculation(const CParamSet& set) {
    CCalcPlan plan;
    const CTimeParams& time = set.m_time;
    if (time.m_dTs < time.m_dTe) {
        plan.m_dStart = time.m_dTs;
        plan.m_dEnd = time.m_dTe;
    } else {
        plan.m_dStart = time.m_dTe;
        plan.m_dEnd = time.m_dTs;
        plan.m_bSwapped = true;
    }
    if (auto refusal = ValidateParamSet(set)) {
        plan.m_refusal = std::move(refusal);
        return plan;
    }
    const std::string interval = Num(plan.m_dStart) + " ... " + Num(plan.m_dEnd) + " s";
    if (time.m_dTs == time.m_dTe) {
        plan.m_refusal = Label("time", "Ts") + " " + Num(time.m_dTs) + " and " +
                         Label("time", "Te") + " " + Num(time.m_dTe) +
                         " are not accepted: the time interval is empty; enter an end time "
                         "other than the start time.";
        return plan;
    }
    if (std::string refusal = StepRefusal(time.m_dH); !refusal.empty()) {
        plan.m_refusal = std::move(refusal);
        return plan;
    }
    const double rows = std::trunc((plan.m_dEnd - plan.m_dStart) / time.m_dH);
    if (!(rows < double(std::numeric_limits<std::int32_t>::max()))) {
        plan.m_refusal = "The interval " + interval + " with " + Label("time", "H") + " " +
                         Num(time.m_dH) + " gives " + Num(rows) +
                         " output rows, more than a calculation can count (2147483646): enter "
                         "a larger calculation step or a shorter interval.";
        return plan;
    }
    plan.m_nRows = std::int32_t(rows);
    if (auto refusal = RefuseFrozenTime(plan, time.m_dH)) {
        plan.m_refusal = std::move(refusal);
        return plan;
    }
    if (plan.m_nRows < 2) {
        plan.m_refusal = "The interval " + interval + " with " + Label("time", "H") + " " +
                         Num(time.m_dH) + " gives " + std::to_string(plan.m_nRows) +
                         " output rows; at least 2 are needed: enter a smaller calculation "
                         "step or a longer interval.";
        return plan;
    }
    plan.m_nStored = std::int32_t(
        CSolver::StoredRows(std::uint32_t(plan.m_nRows), std::uint32_t(time.m_nEvery)));
    // Only the stored rows take memory.
    const std::uint64_t bytes = std::uint64_t(plan.m_nStored) * kBytesPerRow;
    const std::uint64_t memory = AvailableMemory();
    if (memory != 0 && bytes > memory / 5 * 4) {
        // The rest of the program and the system need room too: a run that takes nearly all
        // of the memory drives the machine into the ground.
        plan.m_refusal = "The interval " + interval + " with " + Label("time", "H") + " " +
                         Num(time.m_dH) + " gives " + std::to_string(plan.m_nStored) +
                         " stored rows, whose tables need " + MegaBytes(bytes) +
                         ", more than the memory a run may take on this computer (80 % of the " +
                         MegaBytes(memory) + " available, " + MegaBytes(memory / 5 * 4) +
                         "): enter a shorter interval, a larger calculation step, or store "
                         "fewer rows (a larger " +
                         Label("time", "Every") + ").";
        return plan;
    }
    plan.m_refusal = RefuseModel(set);
    return plan;
}

void FillInitialState(const CTimeParams& time, double* x0) {
    for (int i = 0; i < kStateSize; ++i)
        x0[i] = 0.0;
    x0[14] = time.m_dBetaR * 2 * 3.1416 / 360;
    x0[15] = time.m_dOmegaR;
}

void FillInitialState(const CParamSet& set, double* x0) {
    FillInitialState(set.m_time, x0);
    const int cond = set.m_control.m_nCondition;
    // q0 is the capacitor's charge; only the conditions with a capacitor have one to charge.
    if (cond == 0)
        x0[0] = set.m_control.m_dCu * set.m_time.m_dUc0;
    else if (cond == 2)
        x0[0] = set.m_control.m_dCl * set.m_time.m_dUc0;
}

void TransferParameters(const CParamSet& set, CSolver& solver) {
    const CInvParams& inv = set.m_control;
    const CMotorParams& motor = set.m_motor;
    const int cond = inv.m_nCondition;

    if (CRclass* pR = solver.m_pRObject) {
        CRclass& R = *pR;
        R.m_nCondition = cond;
        R.m_bSpeedControl = inv.m_bSpeedControl ? 1 : 0;
        static constexpr double kUnused = 1.0;
        R.m_dC = cond == 0 ? inv.m_dCu : cond == 2 ? inv.m_dCl : kUnused;
        R.m_pBranchR[0] = cond == 0 ? inv.m_dRu : cond == 2 ? inv.m_dRlRC : 0.0001;
        if (cond == 3)
            R.m_dRLoad = inv.m_dRlR;
        R.m_dAngle = 0;
        R.m_dKp = inv.m_dKp;
        R.m_dKi = inv.m_dKi;
        R.m_dOmegaRRamp = 0;
        R.m_dKt = inv.m_dKt;
        R.m_dIntegral = 0;
        for (int k = 1; k <= 6; ++k)
            R.m_nFailT[k] = set.m_failures.m_nFailT[k - 1];
        for (int k = 1; k <= 6; ++k)
            R.m_nFailD[k] = set.m_failures.m_nFailD[k - 1];
        R.m_dOnset = set.m_failures.m_dOnset;
        R.m_dClear = set.m_failures.m_dClear;
        R.m_dRonT = motor.m_dRonT;
        R.m_dRoffT = motor.m_dRoffT;
        R.m_dRonD = motor.m_dRonD;
        R.m_dRoffD = motor.m_dRoffD;
        if (inv.m_nControlMethod == 0) {
            R.m_dTc = 1 / inv.m_dFT;
            R.m_dUd = inv.m_dUd;
            R.m_dCarrierTime = 1000.0;
        } else {
            R.m_dTc = -1.0;
            R.m_dCarrierTime = 0;
        }
        // Every run starts its PWM sequence as the first run of a fresh program does.
        R.m_nSequenceSign = -1;
        R.m_strSpeedPath = inv.m_strSpeedPath;
        R.m_nPathIndex = 0;
        R.ParseSpeedPath();
        R.m_dMra = motor.m_dMra;
        R.m_dMrb = motor.m_dMrb;
        R.m_dMrc = motor.m_dMrc;
        R.m_dD = motor.m_dD;
    }

    if (CUclass* pU = solver.m_pUObject) {
        CUclass& U = *pU;
        const bool sine = cond == 1;
        U.m_dUmax = sine ? inv.m_dUmax : 0;
        U.m_dF = sine ? inv.m_dF : 0;
        U.m_dPhi = sine ? inv.m_dPhi * 2 * 3.1416 / 360 : 0;
        U.m_dUd = cond == 0 ? inv.m_dUd : 0;
        U.m_dT = inv.m_dT;
        // Under speed control the supply's frequency changes every step: its phase is the
        // integral of the frequency, not f(t) * t.
        U.m_bAccumulatePhase = sine && inv.m_bSpeedControl;
        U.m_bPhaseStarted = false;
    }

    if (CMclass* pM = solver.m_pMObject) {
        pM->m_dMl = motor.m_dMl;
        pM->m_dMm = motor.m_dMm;
        pM->m_dJ = motor.m_dJ;
        pM->m_nNh = std::uint32_t(motor.m_nNhInd);
    }

    if (CGclass* pG = solver.m_pGObject) {
        pG->m_dMl = motor.m_dMl;
        pG->m_dMm = motor.m_dMm;
        pG->m_nNb = std::uint32_t(motor.m_nNhFlux + 2);
        pG->m_nNh = std::uint32_t(motor.m_nNhInd);
    }
}

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
    } catch (const std::bad_alloc& failure) {
        result.m_status = ECalcStatus::Refused;
        result.m_strMessage = AllocationText(failure);
        result.m_strDetail = "The tables of " + std::to_string(plan.m_nStored) + " stored rows (" +
                             MegaBytes(std::uint64_t(plan.m_nStored) * kBytesPerRow) +
                             ") could not be allocated: enter a shorter interval, a larger "
                             "calculation step, or store fewer rows (a larger " +
                             Label("time", "Every") + ").";
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
        result.m_strDetail = "The calculation stopped at t = " + Num(plan.m_dStart) +
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
        result.m_strDetail = "The calculation stopped at t = " + Num(solver.m_dStopTime) +
                             " s: a step did not converge even after " +
                             std::to_string(CSolver::kMaxHalvings) + " halvings.";
        break;
    case ERunStatus::NonFinite: {
        const int bad = solver.m_nBadState;
        result.m_status = ECalcStatus::Stopped;
        result.m_strMessage =
            "The calculation stopped at t = " + Num(solver.m_dStopTime) + " s: the state x[" +
            std::to_string(bad) + "] (" + (bad >= 0 && bad < kStateSize ? kStateNames[bad] : "?") +
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
