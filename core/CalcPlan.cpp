#include "CalcPlan.h"

#include "Control.h"
#include "MessageText.h"
#include "ParamTransfer.h"
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

std::string InCondition(int condition) {
    return std::string(" in condition \"") + kConditionNames[condition] + "\"";
}

// Field-oriented control: bandwidths its sampled loops can hold, and a motor its dq model can
// describe.
std::optional<std::string> RefuseFoc(const CParamSet& set) {
    const CInvParams& inv = set.m_control;
    const CFocParams& foc = set.m_foc;
    if (inv.m_nScheme != 1)
        return std::nullopt;
    // The current loops act once per carrier period and a period late: beyond wc Tc = 0.5 the
    // sampled loop rings (it turns unstable at wc Tc = 1).
    const double widest = 0.5 * inv.m_dFT;
    if (!(foc.m_dCurrentBandwidth <= widest))
        return FieldName("foc", "CurrentBandwidth") + " " + ShortNumber(foc.m_dCurrentBandwidth) +
               " rad/s is not accepted with " + FieldName("control", "FT") + " " +
               ShortNumber(inv.m_dFT) +
               " Hz: the current loops are sampled once per carrier period and act a period "
               "later, so they ring above fT / 2 = " +
               ShortNumber(widest) +
               " rad/s; enter a bandwidth up to that, or a higher carrier frequency.";
    if (!(foc.m_dSpeedBandwidth < foc.m_dCurrentBandwidth))
        return FieldName("foc", "SpeedBandwidth") + " " + ShortNumber(foc.m_dSpeedBandwidth) +
               " rad/s is not accepted with " + FieldName("foc", "CurrentBandwidth") + " " +
               ShortNumber(foc.m_dCurrentBandwidth) +
               " rad/s: the speed loop commands the current loops and must be slower than "
               "them; enter a speed bandwidth below the current bandwidth (a tenth or less is "
               "usual).";
    const CMotorParams& motor = set.m_motor;
    const CDqModel dq = MotorDqModel(motor);
    if (!(dq.m_dLd > 0 && dq.m_dLq > 0 && dq.m_dPsiM > 0))
        return "Field-oriented control is not accepted for this motor: with " +
               FieldName("motor", "Ml") + " " + ShortNumber(motor.m_dMl) + " and " +
               FieldName("motor", "Mm") + " " + ShortNumber(motor.m_dMm) +
               " its dq model has Ld = " + ShortNumber(dq.m_dLd * 1e3) +
               " mH, Lq = " + ShortNumber(dq.m_dLq * 1e3) + " mH and a magnet flux of " +
               ShortNumber(dq.m_dPsiM) +
               " Wb, and the current loops need positive inductances and flux; enter "
               "multipliers that give them, or choose the scalar scheme.";
    return std::nullopt;
}

// The values that make the equations singular, and what the speed path and the SVPWM need.
std::optional<std::string> RefuseModel(const CParamSet& set) {
    const CInvParams& inv = set.m_control;
    const CMotorParams& motor = set.m_motor;
    const int cond = inv.m_nCondition;
    if (cond == 0 && inv.m_dRu == 0)
        return FieldName("control", "Ru") + " 0 is not accepted" + InCondition(cond) +
               ": a DC source without internal resistance makes the circuit equations "
               "singular; enter a resistance greater than 0.";
    // Negative loads, capacities or inertia are not physical: they make the equations
    // singular or feed energy in, so the solution grows without bound. (Negative damping is
    // kept: it models a load that drives the rotor with its speed.)
    if (cond == 2 && !(inv.m_dRlRC > 0))
        return FieldName("control", "RlRC") + " " + ShortNumber(inv.m_dRlRC) + " is not accepted" +
               InCondition(cond) +
               ": a load without positive resistance makes the circuit equations singular or "
               "unstable; enter a resistance greater than 0.";
    if (cond == 2 && !(inv.m_dCl > 0))
        return FieldName("control", "Cl") + " " + ShortNumber(inv.m_dCl) + " is not accepted" +
               InCondition(cond) +
               ": the load capacitor needs a positive capacitance (its voltage is q/Cl); enter "
               "a capacitance greater than 0.";
    if (cond == 3 && !(inv.m_dRlR > 0))
        return FieldName("control", "RlR") + " " + ShortNumber(inv.m_dRlR) + " is not accepted" +
               InCondition(cond) +
               ": every bridge branch takes 4 x Rl, and branches without positive resistance "
               "make the circuit equations singular or unstable; enter a resistance greater "
               "than 0.";
    if (!(motor.m_dJ > 0))
        return FieldName("motor", "J") + " " + ShortNumber(motor.m_dJ) +
               " is not accepted: a rotor without positive inertia makes the motion equation "
               "singular or unstable; enter a moment of inertia greater than 0.";
    if (motor.m_dMl == 0 && motor.m_dMm == 0)
        return FieldName("motor", "Ml") + " 0 and " + FieldName("motor", "Mm") +
               " 0 are not accepted together: without inductances the winding equations are "
               "singular; enter a multiplier other than 0 for one of them.";
    std::string problem = CControl::SpeedPathMessage(inv.m_strSpeedPath);
    if (problem.empty() && cond == 0 && inv.m_nControlMethod == 0)
        problem = CControl::SvpwmMessage(inv.m_dFT, inv.m_dUd);
    if (!problem.empty())
        return problem;
    return RefuseFoc(set);
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
    return FieldName("time", "H") + " " + ExactNumber(h) + " is not accepted with " +
           FieldName("time", "Ts") + " " + ExactNumber(plan.m_dStart) + " and " +
           FieldName("time", "Te") + " " + ExactNumber(plan.m_dEnd) +
           ": near these times a step of " + ShortNumber(step) +
           " s does not advance the time (the "
           "nearest times apart are " +
           ShortNumber(spacing) + " s); enter times nearer to 0 or a larger calculation step.";
}

} // namespace

std::uint64_t BytesPerRow(const CParamSet& set) {
    const bool foc = set.m_control.m_nScheme == 1;
    return kBytesPerRow + (foc ? (kFocColumns + 1) * sizeof(double) : 0);
}

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
    return FieldName("time", "H") + " " + ShortNumber(h) +
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
    const std::string interval =
        ShortNumber(plan.m_dStart) + " ... " + ShortNumber(plan.m_dEnd) + " s";
    if (time.m_dTs == time.m_dTe) {
        plan.m_refusal = FieldName("time", "Ts") + " " + ShortNumber(time.m_dTs) + " and " +
                         FieldName("time", "Te") + " " + ShortNumber(time.m_dTe) +
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
        plan.m_refusal = "The interval " + interval + " with " + FieldName("time", "H") + " " +
                         ShortNumber(time.m_dH) + " gives " + ShortNumber(rows) +
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
        plan.m_refusal = "The interval " + interval + " with " + FieldName("time", "H") + " " +
                         ShortNumber(time.m_dH) + " gives " + std::to_string(plan.m_nRows) +
                         " output rows; at least 2 are needed: enter a smaller calculation "
                         "step or a longer interval.";
        return plan;
    }
    plan.m_nStored = std::int32_t(
        CSolver::StoredRows(std::uint32_t(plan.m_nRows), std::uint32_t(time.m_nEvery)));
    // Only the stored rows take memory.
    const std::uint64_t bytes = std::uint64_t(plan.m_nStored) * BytesPerRow(set);
    const std::uint64_t memory = AvailableMemory();
    if (memory != 0 && bytes > memory / 5 * 4) {
        // The rest of the program and the system need room too: a run that takes nearly all
        // of the memory drives the machine into the ground.
        plan.m_refusal = "The interval " + interval + " with " + FieldName("time", "H") + " " +
                         ShortNumber(time.m_dH) + " gives " + std::to_string(plan.m_nStored) +
                         " stored rows, whose tables need " + MegaBytesText(bytes) +
                         ", more than the memory a run may take on this computer (80 % of the " +
                         MegaBytesText(memory) + " available, " + MegaBytesText(memory / 5 * 4) +
                         "): enter a shorter interval, a larger calculation step, or store "
                         "fewer rows (a larger " +
                         FieldName("time", "Every") + ").";
        return plan;
    }
    plan.m_refusal = RefuseModel(set);
    return plan;
}
