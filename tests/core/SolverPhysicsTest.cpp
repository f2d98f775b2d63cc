// Physics of whole runs: what no formula check of a single column catches.
#include "Calculation.h"
#include "Progress.h"
#include "ResultColumns.h"
#include "Solver.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

namespace {

constexpr double kPi = 3.141592; // the model's angle constant

// Branch of every device in the branch list, in the order of the result columns IT1..IT6,
// ID1..ID6.
constexpr int kDeviceBranch[12] = {3, 7, 11, 5, 9, 13, 2, 6, 10, 4, 8, 12};

// Records, at the start of every step, the branch resistances the previous step ran with.
struct CBranchRecorder : IProgressSink {
    explicit CBranchRecorder(const CRclass& R) : m_R(R) {}
    void Open(long long, long long) override {}
    void SetPos(long long pos) override {
        if (pos >= 2)
            Save();
    }
    void Close() override {}
    void Save() {
        std::array<double, 14> branch;
        std::copy(m_R.m_pBranchR, m_R.m_pBranchR + 14, branch.begin());
        m_steps.push_back(branch);
    }
    const CRclass& m_R;
    std::vector<std::array<double, 14>> m_steps; ///< entry s - 1: step s
};

// A run through the public steps of Calculate, keeping the solver.
struct CRun {
    CCalcPlan m_plan;
    std::unique_ptr<CSolver> m_pSolver;
    ERunStatus m_status = ERunStatus::NotRun;
    double T(std::uint32_t k, int col) const { return m_pSolver->m_ppResTab[k][col]; }
    std::uint32_t Rows() const { return std::uint32_t(m_plan.m_nStored); }
};

CRun RunSet(const CParamSet& set, CBranchRecorder** ppRecorder = nullptr) {
    CRun run;
    run.m_plan = PlanCalculation(set);
    EXPECT_FALSE(run.m_plan.m_refusal) << *run.m_plan.m_refusal;
    run.m_pSolver = std::make_unique<CSolver>(std::uint32_t(run.m_plan.m_nStored), kStateCols,
                                              kStateSize, kResultCols);
    EXPECT_TRUE(run.m_pSolver->SetStoring(std::uint32_t(run.m_plan.m_nRows),
                                          std::uint32_t(set.m_time.m_nEvery)));
    double x0[kStateSize];
    FillInitialState(set, x0);
    TransferParameters(set, *run.m_pSolver);
    if (ppRecorder) {
        *ppRecorder = new CBranchRecorder(*run.m_pSolver->m_pRObject);
        run.m_pSolver->m_pProgress = *ppRecorder;
    }
    run.m_status = run.m_pSolver->Run(run.m_plan.m_dStart, run.m_plan.m_dEnd, x0);
    run.m_pSolver->m_pProgress = nullptr;
    if (ppRecorder)
        (*ppRecorder)->Save(); // the last step
    return run;
}

double Mean(const std::vector<double>& v) {
    double s = 0;
    for (double x : v)
        s += x;
    return s / double(v.size());
}

double StdDev(const std::vector<double>& v) {
    const double m = Mean(v);
    double s = 0;
    for (double x : v)
        s += (x - m) * (x - m);
    return std::sqrt(s / double(v.size()));
}

} // namespace

// With the sine supply the winding's line voltage, built from the flux linkages, is the
// supply's line voltage: every coil must link the flux of each coil's own phase current.
TEST(RunPhysics, SineSupplyLineVoltageFollowsTheSupply) {
    CParamSet set;
    set.m_control.m_nCondition = 1;
    set.m_motor.m_nNhInd = 3;
    const CRun run = RunSet(set);
    ASSERT_EQ(run.m_status, ERunStatus::Completed);
    const double umax = set.m_control.m_dUmax;
    const double amplitude = umax * std::sqrt(3.0);
    double worst = 0;
    for (std::uint32_t k = 1; k < run.Rows(); ++k) {
        const double t = run.T(k, kColT);
        if (t < 0.001)
            continue;
        const double w = 2 * kPi * set.m_control.m_dF * t;
        const double expected = umax * (std::sin(w) - std::sin(w + 2 * kPi / 3));
        worst = std::max(worst, std::fabs(run.T(k, kColUab) - expected));
    }
    EXPECT_LT(worst, 0.02 * amplitude);
}

// The defaults: the speed follows the ramp to the path's 100 rad/s and the error dies out
// (the regulator overshoots once and has settled by 0.35 s).
TEST(RunPhysics, DefaultDriveAcceleratesTowardTheReference) {
    CParamSet set;
    set.m_time.m_dTe = 0.4;
    const CRun run = RunSet(set);
    ASSERT_EQ(run.m_status, ERunStatus::Completed);
    std::vector<double> errorOnRamp, errorSettled;
    for (std::uint32_t k = 1; k < run.Rows(); ++k) {
        const double t = run.T(k, kColT);
        if (std::fabs(t - 0.1) < 1e-9) {
            EXPECT_GT(run.T(k, kColOmegaR), 30.0);
        }
        if (t >= 0.05 && t < 0.1)
            errorOnRamp.push_back(std::fabs(run.T(k, kColOmegaE)));
        if (t >= 0.35)
            errorSettled.push_back(std::fabs(run.T(k, kColOmegaE)));
    }
    EXPECT_LT(Mean(errorSettled), 0.2 * Mean(errorOnRamp));
    EXPECT_NEAR(run.T(run.Rows() - 1, kColOmegaR), 100.0, 3.0);
    EXPECT_NEAR(run.T(run.Rows() - 1, kColOmegaRRef), 100.0, 0.0);
}

// Held rotor at +100 rad/s with a synchronous six-step field (omegaU = 200 rad/s after the
// ramp): a field turning with the rotor gives a steady torque whose mean depends on the
// initial angle; a field turning against it swings by tens of N m around a mean that hardly
// does.
TEST(RunPhysics, SixStepFieldTurnsWithTheRotor) {
    double mean[2], spread[2];
    const double angles[2] = {0.0, 45.0};
    for (int a = 0; a < 2; ++a) {
        CParamSet set;
        set.m_control.m_nControlMethod = 1;
        set.m_control.m_dUd = 400;
        set.m_control.m_dKt = 10000;
        set.m_control.m_strSpeedPath = "0*188*";
        set.m_control.m_dKp = 1.1363636;
        set.m_control.m_dKi = 0;
        set.m_motor.m_dJ = 1000;
        set.m_time.m_dOmegaR = 100;
        set.m_time.m_dBetaR = angles[a];
        set.m_time.m_dTe = 0.08;
        const CRun run = RunSet(set);
        ASSERT_EQ(run.m_status, ERunStatus::Completed);
        std::vector<double> torque;
        for (std::uint32_t k = 1; k < run.Rows(); ++k) {
            if (run.T(k, kColT) >= 0.02)
                torque.push_back(run.T(k, kColTe));
        }
        EXPECT_NEAR(run.T(run.Rows() - 1, kColOmegaU), 200.0, 1.0);
        mean[a] = Mean(torque);
        spread[a] = StdDev(torque);
    }
    EXPECT_LT(spread[0], 10.0);
    EXPECT_LT(spread[1], 10.0);
    EXPECT_GT(std::fabs(mean[0] - mean[1]), 30.0);
}

// Under speed control the supply's phase is the integral of omegaU: the zero crossings of the
// line voltage ua - ub = sqrt(3) A sin(phase - pi/6) fall where that integral says.
TEST(RunPhysics, SpeedControlledSupplyPhaseIsTheIntegralOfOmegaU) {
    CParamSet set;
    set.m_control.m_nCondition = 1;
    set.m_control.m_bSpeedControl = true;
    set.m_control.m_dKt = 2000;
    set.m_time.m_dTe = 0.15;
    const CRun run = RunSet(set);
    ASSERT_EQ(run.m_status, ERunStatus::Completed);
    ASSERT_EQ(run.m_pSolver->m_nStepCount, int(run.Rows()) - 1); // one step per row
    double phase = 0, previousPhase = 0;
    int crossings = 0;
    for (std::uint32_t k = 1; k < run.Rows(); ++k) {
        previousPhase = phase;
        phase += run.T(k, kColOmegaU) * (run.T(k, kColT) - run.T(k - 1, kColT));
        const double before = run.T(k - 1, kColUab), now = run.T(k, kColUab);
        if (k < 2 || !(before * now < 0))
            continue;
        const double f = before / (before - now);
        const double x = previousPhase + f * (phase - previousPhase) - kPi / 6;
        const double offset = x - std::round(x / kPi) * kPi;
        EXPECT_LT(std::fabs(offset), 0.01) << "crossing at t = " << run.T(k, kColT);
        ++crossings;
    }
    EXPECT_GE(crossings, 5);
}

namespace {

// Energy of a run [J]: what the DC source delivered, and what the motor's terminals, the
// resistances and the capacitor took. The device losses use the branch resistances each step
// ran with.
struct CEnergy {
    double m_dSource = 0, m_dTerminal = 0, m_dSourceLoss = 0, m_dDeviceLoss = 0, m_dCapacitor = 0;
    double Consumed() const { return m_dTerminal + m_dSourceLoss + m_dDeviceLoss + m_dCapacitor; }
};

CEnergy EnergyOf(const CRun& run, const CBranchRecorder& recorder, const CParamSet& set) {
    CEnergy e;
    const double ud = set.m_control.m_dUd, ru = set.m_control.m_dRu;
    for (std::uint32_t k = 1; k < run.Rows(); ++k) {
        const double dt = run.T(k, kColT) - run.T(k - 1, kColT);
        const double iu = run.T(k, kColIU);
        e.m_dSource += ud * iu * dt;
        e.m_dSourceLoss += ru * iu * iu * dt;
        for (int p = 0; p < 3; ++p)
            e.m_dTerminal += run.T(k, kColUa + p) * run.T(k, kColIa + p) * dt;
        const std::array<double, 14>& branch = recorder.m_steps[k - 1];
        for (int d = 0; d < 12; ++d) {
            const double i = run.T(k, kColIT1 + d);
            e.m_dDeviceLoss += branch[kDeviceBranch[d]] * i * i * dt;
        }
    }
    const double q0 = run.m_pSolver->m_pRes->m_pData[run.Rows() - 1][1];
    e.m_dCapacitor = 0.5 * q0 * q0 / set.m_control.m_dCu;
    return e;
}

} // namespace

// The default run: after the capacitor's first charge no transistor or diode carries more
// than a few amperes (no shoot-through at the commutations).
TEST(RunPhysics, DefaultRunHasNoShootThrough) {
    CParamSet set;
    const CRun run = RunSet(set);
    ASSERT_EQ(run.m_status, ERunStatus::Completed);
    double worstDevice = 0;
    for (std::uint32_t k = 1; k < run.Rows(); ++k) {
        for (int d = 0; d < 12; ++d) {
            if (run.T(k, kColT) > 0.001)
                worstDevice = std::max(worstDevice, std::fabs(run.T(k, kColIT1 + d)));
        }
    }
    EXPECT_LT(worstDevice, 5.0);
}

// The inverter, sound and with T1 broken or shorted: a bridge fed from Ud cannot put more than
// Ud between two terminals nor more than 2/3 Ud on a phase of the star (a few volts of device
// drops aside) once the capacitor is charged: every commutating current finds a diode at once.
// The DC source's energy is the motor's terminal energy plus the resistive losses plus the
// capacitor's charge.
class CInverterRun : public ::testing::TestWithParam<int> {};

TEST_P(CInverterRun, StaysWithinTheRailsAndBalancesItsEnergy) {
    CParamSet set;
    set.m_failures.m_nFailT[0] = GetParam();
    CBranchRecorder* pRecorder = nullptr;
    const CRun run = RunSet(set, &pRecorder);
    std::unique_ptr<CBranchRecorder> recorder(pRecorder);
    ASSERT_EQ(run.m_status, ERunStatus::Completed);
    ASSERT_EQ(run.m_pSolver->m_nStepCount, int(run.Rows()) - 1);
    ASSERT_EQ(recorder->m_steps.size(), run.Rows() - 1);

    const double ud = set.m_control.m_dUd;
    double line = 0, phase = 0;
    for (std::uint32_t k = 1; k < run.Rows(); ++k) {
        if (run.T(k, kColT) <= 0.001)
            continue;
        for (int p = 0; p < 3; ++p) {
            line = std::max(line, std::fabs(run.T(k, kColUab + p)));
            phase = std::max(phase, std::fabs(run.T(k, kColUa + p)));
        }
    }
    EXPECT_LT(line, ud + 3.0);
    EXPECT_LT(phase, 2 * ud / 3 + 3.0);

    const CEnergy e = EnergyOf(run, *recorder, set);
    EXPECT_GT(e.m_dTerminal, 0.0);
    EXPECT_NEAR(e.m_dSource, e.Consumed(), 0.03 * e.m_dSource)
        << "terminal " << e.m_dTerminal << " J, source loss " << e.m_dSourceLoss
        << " J, device loss " << e.m_dDeviceLoss << " J, capacitor " << e.m_dCapacitor << " J";
}

INSTANTIATE_TEST_SUITE_P(SoundBrokenShortedT1, CInverterRun, ::testing::Values(0, 2, 1));

// Every run starts its PWM sequence afresh: identical calculations give identical tables.
TEST(RunPhysics, IdenticalCalculationsGiveIdenticalTables) {
    CParamSet set;
    set.m_time.m_dTe = 0.01;
    const CCalcResult first = Calculate(set, nullptr);
    const CCalcResult second = Calculate(set, nullptr);
    ASSERT_EQ(first.m_status, ECalcStatus::Accepted);
    ASSERT_EQ(second.m_status, ECalcStatus::Accepted);
    for (int k = 0; k < first.m_nRows; ++k)
        ASSERT_EQ(std::memcmp(first.m_pSolver->m_ppResTab[k], second.m_pSolver->m_ppResTab[k],
                              kResultCols * sizeof(double)),
                  0)
            << "row " << k;
}

TEST(Calculate, AcceptsTheDefaultsWithOneStepPerRow) {
    const CCalcResult result = Calculate(CParamSet{}, nullptr);
    EXPECT_EQ(result.m_status, ECalcStatus::Accepted);
    EXPECT_TRUE(result.m_strMessage.empty());
    ASSERT_NE(result.m_pSolver, nullptr);
    EXPECT_EQ(result.m_nRows, 20000);
    EXPECT_EQ(result.m_pSolver->m_nStepCount, 19999);
}

TEST(Calculate, KeepsAHalvedRunButAsksForASmallerStep) {
    CParamSet set;
    set.m_time.m_dH = 0.001;
    const CCalcResult result = Calculate(set, nullptr);
    EXPECT_EQ(result.m_status, ECalcStatus::StepHalved);
    EXPECT_EQ(result.m_strMessage, "Set smaller calculation step!");
    ASSERT_NE(result.m_pSolver, nullptr);
    EXPECT_GT(result.m_pSolver->m_nStepCount, result.m_nRows - 1);
    EXPECT_NEAR(result.m_pSolver->m_ppResTab[result.m_nRows - 1][kColT], 0.1, 1e-12);
}

TEST(Calculate, StopsAtTheMinimumStepAskingForASmallerStep) {
    CParamSet set;
    set.m_motor.m_dJ = 1e-30; // 50 Nm on no inertia: the speed changes by 1e31 rad/s per s,
    set.m_control.m_dT = 50;  // far beyond the tolerance even after 20 halvings
    set.m_time.m_dTe = 0.001;
    const CCalcResult result = Calculate(set, nullptr);
    EXPECT_EQ(result.m_status, ECalcStatus::Stopped);
    EXPECT_EQ(result.m_strMessage, "Set smaller calculation step!");
    EXPECT_NE(result.m_strDetail.find("t = 0 s"), std::string::npos) << result.m_strDetail;
}

TEST(Calculate, StopsOnAStateThatIsNotFinite) {
    CParamSet set;
    set.m_motor.m_dRonT = set.m_motor.m_dRoffT = 0; // bridge meshes without an equation
    set.m_motor.m_dRonD = set.m_motor.m_dRoffD = 0;
    set.m_time.m_dTe = 0.001;
    const CCalcResult result = Calculate(set, nullptr);
    EXPECT_EQ(result.m_status, ECalcStatus::Stopped);
    EXPECT_NE(result.m_strMessage.find("is not a finite number"), std::string::npos)
        << result.m_strMessage;
    EXPECT_NE(result.m_strMessage.find("t = 0 s"), std::string::npos) << result.m_strMessage;
}

namespace {

// The largest current of the given devices (columns) over rows with t in [from, to).
double LargestCurrent(const CRun& run, double from, double to, int firstCol, int lastCol) {
    double largest = 0;
    for (std::uint32_t k = 1; k < run.Rows(); ++k) {
        const double t = run.T(k, kColT);
        for (int c = firstCol; c <= lastCol && t >= from && t < to; ++c)
            largest = std::max(largest, std::fabs(run.T(k, c)));
    }
    return largest;
}

bool SameRow(const CRun& a, std::uint32_t ka, const CRun& b, std::uint32_t kb) {
    const CSolver& sa = *a.m_pSolver;
    const CSolver& sb = *b.m_pSolver;
    return std::memcmp(sa.m_ppResTab[ka], sb.m_ppResTab[kb], kResultCols * sizeof(double)) == 0 &&
           std::memcmp(sa.m_pRes->m_pData[ka], sb.m_pRes->m_pData[kb],
                       kStateCols * sizeof(double)) == 0 &&
           std::memcmp(sa.m_pFluxTab[ka], sb.m_pFluxTab[kb], 18 * sizeof(double)) == 0;
}

} // namespace

// T1 shorts at 0.05 s in a drive running healthy, and the short clears at 0.07 s: up to the
// onset the run is the healthy one, byte for byte; T4, gated on against the short, then
// carries a shoot-through current of hundreds of amperes; a few milliseconds after the
// clearing no device carries one any more.
TEST(FaultEvent, ShortOfT1StartsAndClearsAtItsTimes) {
    CParamSet healthy;
    healthy.m_time.m_dTe = 0.09;
    CParamSet faulty = healthy;
    faulty.m_failures.m_nFailT[0] = 1;
    faulty.m_failures.m_dOnset = 0.05;
    faulty.m_failures.m_dClear = 0.07;
    const CRun sound = RunSet(healthy);
    const CRun fault = RunSet(faulty);
    ASSERT_EQ(fault.m_status, ERunStatus::Completed);
    ASSERT_EQ(sound.Rows(), fault.Rows());
    std::uint32_t before = 0;
    while (fault.T(before, kColT) < 0.05) {
        ASSERT_TRUE(SameRow(sound, before, fault, before)) << "row " << before;
        ++before;
    }
    EXPECT_GT(before, 9000u);
    EXPECT_GT(LargestCurrent(fault, 0.05, 0.051, kColIT1 + 3, kColIT1 + 3), 200.0);
    EXPECT_LT(LargestCurrent(sound, 0.002, 0.09, kColIT1, kColID1 + 5), 50.0);
    EXPECT_LT(LargestCurrent(fault, 0.075, 0.09, kColIT1, kColID1 + 5), 50.0);
}

// A capacitor charged to Ud spares the source the inrush of the first step (1625 A from an
// empty capacitor).
TEST(ChargedStart, CapacitorAtUdDrawsNoInrush) {
    CParamSet set;
    set.m_time.m_dTe = 0.002;
    set.m_time.m_dUc0 = set.m_control.m_dUd;
    const CRun charged = RunSet(set);
    ASSERT_EQ(charged.m_status, ERunStatus::Completed);
    EXPECT_LT(LargestCurrent(charged, 0, 0.001, kColIU, kColIU), 5.0);
    set.m_time.m_dUc0 = 0;
    EXPECT_GT(LargestCurrent(RunSet(set), 0, 0.001, kColIU, kColIU), 1000.0);
}

// Storing every n-th output point changes nothing of what is stored: each stored row is the
// same point of the full run, byte for byte, the last point included. A fault with an onset
// runs through it, so the conduction update is fed from points that are not stored.
class CStoredRows : public ::testing::TestWithParam<int> {};

TEST_P(CStoredRows, AreTheFullRunsRowsByteForByte) {
    CParamSet set;
    set.m_time.m_dTe = 0.01;
    set.m_failures.m_nFailT[0] = 1;
    set.m_failures.m_dOnset = 0.004;
    const CRun full = RunSet(set);
    set.m_time.m_nEvery = GetParam();
    const CRun sparse = RunSet(set);
    ASSERT_EQ(sparse.m_status, ERunStatus::Completed);
    EXPECT_EQ(sparse.m_pSolver->m_nStepCount, full.m_pSolver->m_nStepCount);
    const std::uint32_t every = std::uint32_t(GetParam());
    const std::uint32_t last = full.Rows() - 1;
    ASSERT_EQ(sparse.Rows(), (last + every - 1) / every + 1);
    for (std::uint32_t r = 0; r < sparse.Rows(); ++r)
        ASSERT_TRUE(SameRow(full, std::min(r * every, last), sparse, r))
            << "row " << r; // Calculate judges the run by its points and checks the stored rows.
    const CCalcResult calculated = Calculate(set, nullptr);
    EXPECT_EQ(calculated.m_status, ECalcStatus::Accepted) << calculated.m_strMessage;
    EXPECT_EQ(std::uint32_t(calculated.m_nRows), sparse.Rows());
}

INSTANTIATE_TEST_SUITE_P(Every, CStoredRows, ::testing::Values(1, 7, 10, 1999, 5000));
