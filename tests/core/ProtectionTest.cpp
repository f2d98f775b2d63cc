// Protection and the event log in whole runs: trips, safe states and what the drive does after.
#include "Calculation.h"
#include "ResultColumns.h"
#include "Solver.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <ostream>
#include <vector>

namespace {

constexpr double kPi = 3.141592; // the model's angle constant

struct CProtectedRun {
    std::unique_ptr<CSolver> m_pSolver;
    ERunStatus m_status = ERunStatus::NotRun;
    std::uint32_t m_nRows = 0;
    double T(std::uint32_t k, int col) const { return m_pSolver->m_ppResTab[k][col]; }
    const std::vector<CRunEvent>& Events() const { return m_pSolver->m_events.Events(); }
    // The largest magnitude of column col over the rows with t in [from, to].
    double Largest(int col, double from, double to) const {
        double largest = 0;
        for (std::uint32_t k = 1; k < m_nRows; ++k) {
            if (T(k, kColT) >= from && T(k, kColT) <= to)
                largest = std::max(largest, std::fabs(T(k, col)));
        }
        return largest;
    }
    // The largest magnitude of column col over the rows whose whole interval lies after t
    // (a row holds the means over the interval that ends at it).
    double LargestAfter(int col, double t) const {
        double largest = 0;
        for (std::uint32_t k = 1; k < m_nRows; ++k) {
            if (T(k - 1, kColT) >= t)
                largest = std::max(largest, std::fabs(T(k, col)));
        }
        return largest;
    }
    double Mean(int col, double from, double to) const {
        double sum = 0;
        int n = 0;
        for (std::uint32_t k = 1; k < m_nRows; ++k) {
            if (T(k, kColT) >= from && T(k, kColT) <= to) {
                sum += T(k, col);
                ++n;
            }
        }
        return n ? sum / n : 0.0;
    }
    double Rms(int col, double from, double to) const {
        double sum = 0;
        int n = 0;
        for (std::uint32_t k = 1; k < m_nRows; ++k) {
            if (T(k, kColT) >= from && T(k, kColT) <= to) {
                sum += T(k, col) * T(k, col);
                ++n;
            }
        }
        return n ? std::sqrt(sum / n) : 0.0;
    }
};

// A run of set with the protection group, through the parameter transfer.
CProtectedRun RunProtected(CParamSet set, const CProtectionParams& protection) {
    set.m_protection = protection;
    CProtectedRun run;
    const CCalcPlan plan = PlanCalculation(set);
    EXPECT_FALSE(plan.m_refusal) << *plan.m_refusal;
    run.m_nRows = std::uint32_t(plan.m_nRows);
    run.m_pSolver = std::make_unique<CSolver>(run.m_nRows, kStateCols, kStateSize, kResultCols);
    if (set.m_control.m_nScheme == 1)
        run.m_pSolver->EnableFoc(FocSettings(set.m_foc));
    run.m_pSolver->m_bExact = set.m_time.m_bExact;
    double x0[kStateSize];
    FillInitialState(set, x0);
    TransferParameters(set, *run.m_pSolver);
    run.m_status = run.m_pSolver->Run(plan.m_dStart, plan.m_dEnd, x0);
    return run;
}

CProtectionParams Protection(double itrip, double idesat, double uovp, int safeState) {
    CProtectionParams p;
    p.m_dItrip = itrip;
    p.m_dIdesat = idesat;
    p.m_dUovp = uovp;
    p.m_nSafeState = safeState;
    return p;
}

// A rotor held at speed omega (an inertia no torque of this machine moves) behind a charged
// DC link; an overvoltage threshold below the link's voltage trips the protection with the
// first step, so the safe state holds from the second.
CParamSet HeldRotor(double omega) {
    CParamSet set;
    set.m_motor.m_dJ = 1000;
    set.m_time.m_dOmegaR = omega;
    set.m_time.m_dUc0 = set.m_control.m_dUd;
    set.m_time.m_dTe = 0.06;
    return set;
}

// Peak line back-EMF per rotor speed [V s/rad], from the model's own magnet flux linkages.
double LineBackEmfConstant() {
    CSolver solver(2, kStateCols, kStateSize, kResultCols);
    TransferParameters(CParamSet{}, solver);
    const CGclass& G = *solver.m_pGObject;
    constexpr int kPhaseA[6] = {0, 1, 2, 9, 10, 11};
    constexpr int kPhaseB[6] = {3, 4, 5, 12, 13, 14};
    double peak = 0;
    for (int i = 0; i < 3600; ++i) {
        const double beta = i * 2 * kPi / 3600;
        double e = 0;
        for (int m = 0; m < 4; ++m) {
            for (int c : kPhaseA)
                e += G.CoilPmFluxDerivative(c, m, beta);
            for (int c : kPhaseB)
                e -= G.CoilPmFluxDerivative(c, m, beta);
        }
        peak = std::max(peak, std::fabs(e));
    }
    return peak;
}

const CRunEvent* FirstTrip(const CProtectedRun& run) {
    return run.m_pSolver->m_events.FirstTrip();
}

} // namespace

// How a drive under test is controlled and stepped.
struct CDriveCase {
    const char* m_pszName;
    int m_nScheme;    ///< control.Scheme
    bool m_bExact;    ///< time.Exact
    int m_nSafeState; ///< protection.SafeState
};

static void PrintTo(const CDriveCase& c, std::ostream* os) {
    *os << c.m_pszName << ", safe state " << c.m_nSafeState;
}

// T1 shorts while the drive runs at speed; T4, gated on against it, carries the shoot-through.
// Its gate driver trips after the blanking time, the safe state holds from the next step, and
// from then on no transistor that the safe state opened carries more than the off-state
// leakage. Gates off opens every healthy transistor; the active short circuit closes the
// shorted upper side, so the lower one opens. The log holds the onset and the trip only. The
// same in each control scheme and with exact switching instants.
class CDesaturationTrip : public ::testing::TestWithParam<CDriveCase> {};

TEST_P(CDesaturationTrip, OpensTheLegWithinTdesatAndOneStep) {
    const CDriveCase drive = GetParam();
    CParamSet set;
    set.m_control.m_nScheme = drive.m_nScheme;
    set.m_time.m_bExact = drive.m_bExact;
    set.m_time.m_dOmegaR = 100;
    set.m_time.m_dUc0 = set.m_control.m_dUd;
    set.m_time.m_dTe = 0.026;
    set.m_failures.m_nFailT[0] = 1;
    const double onset = 0.02;
    set.m_failures.m_dOnset = onset;
    const CProtectionParams protection = Protection(0, 300, 0, drive.m_nSafeState);
    const CProtectedRun run = RunProtected(set, protection);
    ASSERT_EQ(run.m_status, ERunStatus::Completed);
    ASSERT_EQ(run.Events().size(), 2u);
    const CRunEvent& fault = run.Events()[0];
    EXPECT_EQ(fault.m_eKind, EEventKind::FaultOnset);
    EXPECT_EQ(fault.Source(), "T1");
    const double h = set.m_time.m_dH;
    // Exact switching lands a step on the onset; the fixed grid applies it from the first
    // step that starts at or after it.
    EXPECT_GE(fault.m_dT, onset - 1e-12);
    EXPECT_LE(fault.m_dT, drive.m_bExact ? onset + 1e-12 : onset + h);
    const CRunEvent& trip = run.Events()[1];
    EXPECT_EQ(trip.m_eKind, EEventKind::Desaturation);
    EXPECT_EQ(trip.Source(), "T4");
    EXPECT_GT(trip.m_dValue, 300.0);

    // The first row above Idesat ends an interval in which a step above it ended.
    double firstAbove = -1;
    for (std::uint32_t k = 1; k < run.m_nRows && firstAbove < 0; ++k) {
        if (run.T(k, kColIT1 + 3) > 300)
            firstAbove = run.T(k, kColT);
    }
    ASSERT_GT(firstAbove, onset);
    EXPECT_GE(trip.m_dT - fault.m_dT, protection.m_dTdesat - 1e-12);
    EXPECT_LE(trip.m_dT - firstAbove, protection.m_dTdesat + h + 1e-12);

    // Off-state leakage: the link voltage over the off-resistance, 0.2 A.
    const double leakage = 1.5 * set.m_control.m_dUd / set.m_motor.m_dRoffT;
    const int firstOpen = drive.m_nSafeState == CProtection::kGatesOff ? 2 : 4;
    for (int k = firstOpen; k <= 6; ++k)
        EXPECT_LT(run.LargestAfter(kColIT1 + k - 1, trip.m_dT), leakage) << "T" << k;
}

INSTANTIATE_TEST_SUITE_P(
    SafeStates, CDesaturationTrip,
    ::testing::Values(
        CDriveCase{"scalar", 0, false, CProtection::kGatesOff},
        CDriveCase{"scalar", 0, false, CProtection::kActiveShortCircuit},
        CDriveCase{"field-oriented", 1, false, CProtection::kGatesOff},
        CDriveCase{"field-oriented", 1, false, CProtection::kActiveShortCircuit},
        CDriveCase{"scalar, exact instants", 0, true, CProtection::kGatesOff},
        CDriveCase{"scalar, exact instants", 0, true, CProtection::kActiveShortCircuit},
        CDriveCase{"field-oriented, exact instants", 1, true, CProtection::kGatesOff},
        CDriveCase{"field-oriented, exact instants", 1, true, CProtection::kActiveShortCircuit}));

// The active short circuit of the lower side is, once settled, the run in which those
// transistors are shorted and the upper ones broken: same currents, same braking torque.
TEST(ActiveShortCircuit, SettlesAsTheLowerTransistorsShortedAndTheUpperBroken) {
    CParamSet set = HeldRotor(150);
    const CProtectedRun asc =
        RunProtected(set, Protection(0, 0, 1, CProtection::kActiveShortCircuit));
    set.m_failures.m_nFailT = {2, 2, 2, 1, 1, 1};
    const CProtectedRun declared = RunProtected(set, CProtectionParams{});
    ASSERT_EQ(asc.m_status, ERunStatus::Completed);
    ASSERT_EQ(declared.m_status, ERunStatus::Completed);
    ASSERT_NE(FirstTrip(asc), nullptr);
    EXPECT_EQ(FirstTrip(asc)->m_eKind, EEventKind::Overvoltage);
    const double from = 0.04, to = set.m_time.m_dTe;
    for (int col : {kColIa, kColIb, kColIc}) {
        const double rms = declared.Rms(col, from, to);
        EXPECT_GT(rms, 5.0);
        EXPECT_NEAR(asc.Rms(col, from, to), rms, 0.02 * rms) << kResultLabels[col];
    }
    const double torque = declared.Mean(kColTe, from, to);
    EXPECT_LT(torque, 0.0); // it brakes
    EXPECT_NEAR(asc.Mean(kColTe, from, to), torque, 0.02 * std::fabs(torque));
    // The upper side stays open: its transistors carry no more than leakage.
    for (int col = kColIT1; col < kColIT1 + 3; ++col)
        EXPECT_LT(asc.Largest(col, from, to), 0.5) << kResultLabels[col];
}

// With every gate off the bridge is a diode rectifier: below the speed at which the line
// back-EMF's peak reaches the link voltage no diode carries more than its off-state leakage
// and the line voltage is the back-EMF; above it the diodes conduct into the link and clamp
// the line voltage at the link's.
class CUncontrolledGenerator : public ::testing::TestWithParam<double> {};

TEST_P(CUncontrolledGenerator, ConductsOnlyAboveTheBackEmfSpeed) {
    const CParamSet defaults;
    const double ud = defaults.m_control.m_dUd;
    const double constant = LineBackEmfConstant();
    const double threshold = ud / constant; // about 103 rad/s
    const double factor = GetParam();
    const CProtectedRun run =
        RunProtected(HeldRotor(factor * threshold), Protection(0, 0, 1, CProtection::kGatesOff));
    ASSERT_EQ(run.m_status, ERunStatus::Completed);
    ASSERT_NE(FirstTrip(run), nullptr);
    double diode = 0;
    for (int col = kColID1; col < kColID1 + 6; ++col)
        diode = std::max(diode, run.Largest(col, 0.02, 0.06));
    const double line = run.Largest(kColUab, 0.02, 0.06);
    const double leakage = 1.05 * ud / defaults.m_motor.m_dRoffD;
    if (factor < 1) {
        EXPECT_LT(diode, leakage);
        EXPECT_NEAR(line, factor * ud, 0.02 * ud); // less the leakage currents' drops
    } else {
        EXPECT_GT(diode, 2 * leakage);
        EXPECT_LT(line, ud + 3.0);
    }
}

INSTANTIATE_TEST_SUITE_P(BelowAndAbove, CUncontrolledGenerator,
                         ::testing::Values(0.9, 0.97, 1.1, 1.2));

// Test names show the thresholds and the safe state.
static void PrintTo(const CProtectionParams& p, std::ostream* os) {
    *os << "Itrip " << p.m_dItrip << " Idesat " << p.m_dIdesat << " Uovp " << p.m_dUovp
        << " SafeState " << p.m_nSafeState;
}

// Protection that is off, or armed with thresholds the run never reaches, leaves every value
// of the tables as it was, bit for bit, and logs only the fault.
class CQuietProtection : public ::testing::TestWithParam<CProtectionParams> {};

// In the protection's own (global) namespace, where argument lookup finds it.
void PrintTo(const CProtection& p, std::ostream* os) {
    *os << "Itrip " << p.m_dItrip << " Idesat " << p.m_dIdesat << " Uovp " << p.m_dUovp
        << " safe state " << p.m_nSafeState;
}

TEST_P(CQuietProtection, ChangesNothing) {
    CParamSet set;
    set.m_time.m_dTe = 0.02;
    set.m_failures.m_nFailT[0] = 1;
    set.m_failures.m_dOnset = 0.01;
    const CProtectedRun plain = RunProtected(set, CProtectionParams{});
    const CProtectedRun guarded = RunProtected(set, GetParam());
    ASSERT_EQ(guarded.m_status, ERunStatus::Completed);
    for (std::uint32_t k = 0; k < plain.m_nRows; ++k)
        ASSERT_EQ(std::memcmp(plain.m_pSolver->m_ppResTab[k], guarded.m_pSolver->m_ppResTab[k],
                              kResultCols * sizeof(double)),
                  0)
            << "row " << k;
    ASSERT_EQ(guarded.Events().size(), 1u);
    EXPECT_EQ(guarded.Events()[0].m_eKind, EEventKind::FaultOnset);
}

INSTANTIATE_TEST_SUITE_P(OffOrNeverReached, CQuietProtection,
                         ::testing::Values(Protection(0, 0, 0, CProtection::kActiveShortCircuit),
                                           Protection(1e6, 1e6, 1e6, CProtection::kGatesOff),
                                           Protection(1e6, 1e6, 1e6,
                                                      CProtection::kActiveShortCircuit)));

// Every device whose code acts in the condition is logged at the first step the codes apply
// and at the first step they no longer do, with its code; condition index 1 has no bridge
// devices to fail, and the protection acts in condition index 0 only. Exact switching lands
// steps on both instants (here also carrier period ends, summed differently).
class CFaultEvents : public ::testing::TestWithParam<bool> {};

TEST_P(CFaultEvents, LogsOnsetAndClearingOfEveryFailedDevice) {
    CParamSet set;
    set.m_time.m_bExact = GetParam();
    set.m_time.m_dTe = 0.01;
    set.m_failures.m_nFailT[0] = 1;
    set.m_failures.m_nFailD[3] = 2;
    set.m_failures.m_dOnset = 0.004;
    set.m_failures.m_dClear = 0.006;
    const double h = set.m_time.m_dH;
    const CProtectedRun run = RunProtected(set, CProtectionParams{});
    ASSERT_EQ(run.Events().size(), 4u);
    const char* sources[4] = {"T1", "D4", "T1", "D4"};
    const double values[4] = {1, 2, 1, 2};
    for (int e = 0; e < 4; ++e) {
        const CRunEvent& event = run.Events()[e];
        EXPECT_EQ(event.m_eKind, e < 2 ? EEventKind::FaultOnset : EEventKind::FaultClear);
        EXPECT_EQ(event.Source(), sources[e]);
        EXPECT_EQ(event.m_dValue, values[e]);
        const double at = e < 2 ? 0.004 : 0.006;
        EXPECT_GE(event.m_dT, at - 1e-12);
        EXPECT_LT(event.m_dT, GetParam() ? at + 1e-12 : at + h);
    }
    set.m_control.m_nCondition = 1;
    const CProtectedRun sine = RunProtected(set, Protection(1e-3, 1e-3, 1e-3, 0));
    EXPECT_TRUE(sine.Events().empty());
}

INSTANTIATE_TEST_SUITE_P(FixedGridAndExact, CFaultEvents, ::testing::Bool(),
                         ::testing::PrintToStringParamName());
