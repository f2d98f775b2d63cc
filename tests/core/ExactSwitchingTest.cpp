// Exact switching instants (time.Exact): results that converge with the step.
#include "Calculation.h"
#include "ResultColumns.h"
#include "Solver.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

namespace {

struct CCurve {
    std::vector<double> m_adT, m_adY;
};

CCurve RunColumn(CParamSet set, double h, int col, int every = 1) {
    set.m_time.m_dH = h;
    set.m_time.m_nEvery = every;
    const CCalcResult result = Calculate(set, nullptr);
    EXPECT_EQ(result.m_status, ECalcStatus::Accepted) << result.m_strMessage;
    CCurve curve;
    for (std::int32_t k = 0; k < result.m_nRows; ++k) {
        curve.m_adT.push_back(result.m_pSolver->m_ppResTab[k][kColT]);
        curve.m_adY.push_back(result.m_pSolver->m_ppResTab[k][col]);
    }
    return curve;
}

// The run at h and a reference at 1/32 of its output interval whose stored rows fall on the
// run's rows: (te - ts) / (rows - 1) is the interval, so h / 32 itself would not nest.
std::pair<CCurve, CCurve> RunAndReference(const CParamSet& set, double h, int col) {
    const double span = set.m_time.m_dTe - set.m_time.m_dTs;
    const double rows = std::trunc(span / h);
    const double fine = 32 * (rows - 1) + 1;
    CCurve run = RunColumn(set, h, col);
    CCurve ref = RunColumn(set, span / (fine + 0.5), col, 32);
    EXPECT_EQ(run.m_adT.size(), ref.m_adT.size());
    return {run, ref};
}

// rms of the difference from the reference over [t0, t1], over the reference's rms there.
double RelativeRmsError(const std::pair<CCurve, CCurve>& runs, double t0, double t1) {
    const CCurve& run = runs.first;
    const CCurve& ref = runs.second;
    double diff = 0.0, norm = 0.0;
    for (std::size_t k = 0; k < run.m_adT.size() && k < ref.m_adT.size(); ++k) {
        if (run.m_adT[k] < t0 || run.m_adT[k] > t1)
            continue;
        EXPECT_NEAR(run.m_adT[k], ref.m_adT[k], 1e-12);
        const double r = ref.m_adY[k];
        diff += (run.m_adY[k] - r) * (run.m_adY[k] - r);
        norm += r * r;
    }
    return std::sqrt(diff / norm);
}

// Without switching (the sine supply, with the regulator setting its frequency) against a
// reference at 1/32 of each step: the error of ia falls at least as the square of the step
// (order 1.8 or more between 20 and 10 us).
TEST(ExactSwitching, SineSupplyConvergesAtSecondOrder) {
    CParamSet set;
    set.m_time.m_dTe = 0.02;
    set.m_time.m_bExact = true;
    set.m_control.m_nCondition = 1;
    for (const bool speedControl : {false, true}) {
        set.m_control.m_bSpeedControl = speedControl;
        const double e20 = RelativeRmsError(RunAndReference(set, 2e-5, kColIa), 0.0, 0.02);
        const double e10 = RelativeRmsError(RunAndReference(set, 1e-5, kColIa), 0.0, 0.02);
        EXPECT_GE(std::log2(e20 / e10), 1.8)
            << "speed control " << speedControl << ": " << e20 << ", " << e10;
    }
}

// The inverter's start at the default step against a reference at 1/32 of it, in both modes:
// exact mode within its bound and far closer than the fixed grid, whose switching instants are
// rounded to the step. Field-oriented control starts from a charged link; its current loops
// sample at every carrier period's start, a step boundary in exact mode.
struct CStartCase {
    const char* m_pszName;
    int m_nScheme;
    double m_dBound; // largest relative rms error of ia in exact mode
};

void PrintTo(const CStartCase& c, std::ostream* os) {
    *os << c.m_pszName;
}

class ExactStart : public testing::TestWithParam<CStartCase> {};

TEST_P(ExactStart, IsCloseAndFarCloserThanTheFixedGrid) {
    CParamSet set;
    set.m_time.m_dTe = 0.02;
    set.m_control.m_nScheme = GetParam().m_nScheme;
    if (GetParam().m_nScheme == 1)
        set.m_time.m_dUc0 = set.m_control.m_dUd;
    double errors[2];
    for (int exact = 0; exact < 2; ++exact) {
        set.m_time.m_bExact = exact == 1;
        errors[exact] = RelativeRmsError(RunAndReference(set, 5e-6, kColIa), 0.001, 0.02);
    }
    EXPECT_LE(errors[1], GetParam().m_dBound);
    EXPECT_LT(errors[1] * 100, errors[0]) << "default " << errors[0] << ", exact " << errors[1];
}

INSTANTIATE_TEST_SUITE_P(Schemes, ExactStart,
                         testing::Values(CStartCase{"Scalar", 0, 0.02},
                                         CStartCase{"FieldOriented", 1, 0.01}),
                         [](const auto& info) { return std::string(info.param.m_pszName); });

// Exact mode at four times the default step is more accurate than the fixed grid at the default
// step, with fewer steps: the capacitor's loop (Ru Cu = 10 us) no longer forces halvings when
// the step exceeds twice its time constant.
TEST(ExactSwitching, FourTimesTheStepBeatsTheFixedGridWithFewerSteps) {
    CParamSet set;
    set.m_time.m_dTe = 0.02;
    const double fixedError = RelativeRmsError(RunAndReference(set, 5e-6, kColIa), 0.001, 0.02);
    set.m_time.m_dH = 5e-6;
    const int fixedSteps = Calculate(set, nullptr).m_pSolver->m_nStepCount;
    set.m_time.m_bExact = true;
    const double exactError = RelativeRmsError(RunAndReference(set, 2e-5, kColIa), 0.001, 0.02);
    set.m_time.m_dH = 2e-5;
    const int exactSteps = Calculate(set, nullptr).m_pSolver->m_nStepCount;
    EXPECT_LT(exactError * 100, fixedError) << exactError << " against " << fixedError;
    EXPECT_LT(exactSteps * 2, fixedSteps) << exactSteps << " against " << fixedSteps;
}

// The first shoot-through after T1 is shorted in mid-run: its instantaneous peak does not depend
// on the step (it flows from the switching instant, a step boundary), stays below what the
// link voltage drives through the two on-resistances, and is above what the interval-mean
// column IT1 shows.
TEST(ExactSwitching, ShootThroughPeakDoesNotDependOnTheStep) {
    CParamSet set;
    set.m_time.m_dTe = 0.0104;
    set.m_time.m_bExact = true;
    set.m_failures.m_nFailT[0] = 1;
    set.m_failures.m_dOnset = 0.0101234;
    const double bound = set.m_control.m_dUd / (2 * set.m_motor.m_dRonT);
    std::vector<double> peaks, times;
    for (const double h : {5e-6, 2.5e-6, 1.25e-6}) {
        set.m_time.m_dH = h;
        const CCalcResult result = Calculate(set, nullptr);
        ASSERT_EQ(result.m_status, ECalcStatus::Accepted) << result.m_strMessage;
        const CSolver& s = *result.m_pSolver;
        ASSERT_TRUE(s.m_peaks.m_bKept);
        peaks.push_back(s.m_peaks.m_adTransistor[1]);
        times.push_back(s.m_peaks.m_adTransistorT[1]);
        double columnPeak = 0.0;
        for (std::int32_t k = 0; k < result.m_nRows; ++k)
            columnPeak = std::max(columnPeak, std::fabs(s.m_ppResTab[k][kColIT1]));
        EXPECT_GT(peaks.back(), 0.5 * bound);
        EXPECT_LE(peaks.back(), 1.01 * bound);
        EXPECT_LE(columnPeak, peaks.back());
    }
    const auto [low, high] = std::minmax_element(peaks.begin(), peaks.end());
    EXPECT_LE(*high - *low, 0.01 * *high) << *low << " to " << *high;
    EXPECT_NEAR(times.front(), times.back(), 1e-9);
}

// Column Te holds the torque of the row's own state, not of the last step's start.
TEST(ExactSwitching, TorqueColumnIsThatOfTheRowsState) {
    CParamSet set;
    set.m_time.m_dTe = 0.005;
    set.m_time.m_bExact = true;
    const CCalcResult result = Calculate(set, nullptr);
    ASSERT_EQ(result.m_status, ECalcStatus::Accepted);
    CSolver& s = *result.m_pSolver;
    double largest = 0.0;
    for (std::int32_t k = 1; k < result.m_nRows; ++k) {
        const double* P = s.m_pRes->m_pData[k];
        const double Te = s.m_pGObject->CalcTorque(P[13], P[14], P[15]);
        EXPECT_DOUBLE_EQ(s.m_ppResTab[k][kColTe], Te) << "row " << k;
        largest = std::max(largest, std::fabs(Te));
    }
    EXPECT_GT(largest, 1.0); // the drive produces torque: the comparison means something
}

// Where the output points fall against the carrier periods does not change an exact
// field-oriented run: the state at the end agrees across output grids far closer than the
// fixed grid's does.
TEST(ExactSwitching, FieldOrientedRunDoesNotDependOnTheOutputGrid) {
    CParamSet set;
    set.m_time.m_dTe = 0.02;
    set.m_control.m_nScheme = 1;
    set.m_control.m_bSpeedControl = true;
    set.m_time.m_dUc0 = set.m_control.m_dUd;
    for (const int col : {kColIa, kColOmegaR}) {
        double spread[2];
        for (int exact = 0; exact < 2; ++exact) {
            set.m_time.m_bExact = exact == 1;
            std::vector<double> ends;
            for (const double h : {5e-6, 5.3e-6, 7.1e-6}) // 40, 37.7 and 28.2 per period
                ends.push_back(RunColumn(set, h, col).m_adY.back());
            const auto [low, high] = std::minmax_element(ends.begin(), ends.end());
            spread[exact] = (*high - *low) / std::fabs(ends.front());
        }
        EXPECT_LE(spread[1], 1e-5) << "column " << col;
        EXPECT_LT(spread[1] * 100, spread[0]) << "column " << col << ": default " << spread[0];
    }
}

// The engine's energy ledger closes: what the sources and the external torque deliver is lost
// in the resistances and the damping or stored, to 1e-5 of the delivered energy, in every
// condition, with a short set in mid-run, a broken device, field-oriented control and the
// inductances' harmonics.
struct CLedgerCase {
    const char* m_pszName;
    void (*m_pSetUp)(CParamSet&);
};

void PrintTo(const CLedgerCase& c, std::ostream* os) {
    *os << c.m_pszName;
}

class ExactLedger : public testing::TestWithParam<CLedgerCase> {};

TEST_P(ExactLedger, EnergyBalanceCloses) {
    CParamSet set;
    set.m_time.m_dTe = 0.02;
    set.m_time.m_bExact = true;
    GetParam().m_pSetUp(set);
    const CCalcResult result = Calculate(set, nullptr);
    ASSERT_EQ(result.m_status, ECalcStatus::Accepted) << result.m_strMessage;
    const CEnergyLedger& ledger = result.m_pSolver->m_energy;
    ASSERT_TRUE(ledger.m_bKept);
    const CEnergyLedger::CPower& e = ledger.m_energy;
    const double delivered = e.m_dSource + e.m_dLoad;
    EXPECT_GT(delivered, 0.05);
    EXPECT_GT(e.m_dResistive, 0.01 * delivered); // the terms are there to balance
    EXPECT_GT(ledger.m_end.Total(), 1e-3 * delivered);
    EXPECT_LE(std::fabs(ledger.RelativeResidual()), 1e-5)
        << "delivered " << delivered << " J, residual " << ledger.Residual() << " J";
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ExactLedger,
    testing::Values(CLedgerCase{"Inverter", [](CParamSet&) {}},
                    CLedgerCase{"ShortMidRun",
                                [](CParamSet& s) {
                                    s.m_failures.m_nFailT[0] = 1;
                                    s.m_failures.m_dOnset = 0.0101234;
                                }},
                    CLedgerCase{"BrokenDiode", [](CParamSet& s) { s.m_failures.m_nFailD[3] = 2; }},
                    CLedgerCase{"SineSupply", [](CParamSet& s) { s.m_control.m_nCondition = 1; }},
                    CLedgerCase{"GeneratorRectifier",
                                [](CParamSet& s) {
                                    s.m_control.m_nCondition = 2;
                                    s.m_control.m_dT = 1.0;
                                }},
                    CLedgerCase{"GeneratorLoad",
                                [](CParamSet& s) {
                                    s.m_control.m_nCondition = 3;
                                    s.m_control.m_dT = 1.0;
                                }},
                    CLedgerCase{"FieldOriented",
                                [](CParamSet& s) {
                                    s.m_control.m_nScheme = 1;
                                    s.m_time.m_dUc0 = s.m_control.m_dUd;
                                }},
                    CLedgerCase{"Harmonics",
                                [](CParamSet& s) {
                                    s.m_motor.m_nNhInd = 3;
                                    s.m_motor.m_nNhFlux = 99;
                                }}),
    [](const testing::TestParamInfo<CLedgerCase>& info) { return info.param.m_pszName; });

// The default mode keeps no ledger: its corrector stops before the trapezoid's balance holds.
TEST(ExactLedgerDefault, IsNotKept) {
    CParamSet set;
    set.m_time.m_dTe = 0.001;
    const CCalcResult result = Calculate(set, nullptr);
    ASSERT_EQ(result.m_status, ECalcStatus::Accepted);
    EXPECT_FALSE(result.m_pSolver->m_energy.m_bKept);
}

} // namespace
