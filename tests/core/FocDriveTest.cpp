// Field-oriented control: the controller's dq model against the engine, and the drive's
// physics in whole runs.
#include "Calculation.h"
#include "FocControl.h"
#include "ParamFile.h"
#include "ResultColumns.h"
#include "Solver.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <numbers>
#include <vector>

namespace {

constexpr double kTwoPi = 2 * std::numbers::pi;

struct CFocRun {
    std::unique_ptr<CSolver> m_pSolver;
    ERunStatus m_status = ERunStatus::NotRun;
    std::uint32_t m_nRows = 0;
    double T(std::uint32_t k, int col) const { return m_pSolver->m_ppResTab[k][col]; }
    double F(std::uint32_t k, int col) const { return m_pSolver->m_ppFocTab[k][col]; }
    const CDqModel& Dq() const { return m_pSolver->m_pFoc->Model(); }
    /// The first stored row at or after time t.
    std::uint32_t RowAt(double t) const {
        std::uint32_t k = 0;
        while (k + 1 < m_nRows && T(k, kColT) < t)
            ++k;
        return k;
    }
};

// The inverter drive under field-oriented control from a charged link (no inrush).
CParamSet FocDrive() {
    CParamSet set;
    set.m_control.m_nScheme = 1;
    set.m_time.m_dUc0 = set.m_control.m_dUd;
    return set;
}

CFocRun RunFoc(const CParamSet& set) {
    CFocRun run;
    const CCalcPlan plan = PlanCalculation(set);
    EXPECT_FALSE(plan.m_refusal) << *plan.m_refusal;
    run.m_nRows = std::uint32_t(plan.m_nStored);
    run.m_pSolver = std::make_unique<CSolver>(run.m_nRows, kStateCols, kStateSize, kResultCols);
    EXPECT_TRUE(
        run.m_pSolver->SetStoring(std::uint32_t(plan.m_nRows), std::uint32_t(set.m_time.m_nEvery)));
    double x0[kStateSize];
    FillInitialState(set, x0);
    TransferParameters(set, *run.m_pSolver);
    EXPECT_TRUE(run.m_pSolver->UsesFoc());
    run.m_status = run.m_pSolver->Run(plan.m_dStart, plan.m_dEnd, x0);
    return run;
}

} // namespace

// The controller's dq model, built from averages of the tables, gives the torque the engine
// computes from the derivatives of the coil inductances and magnet flux, at any rotor angle
// and for currents on either axis (currents made by the inverse Park transform).
class FocDqTorque : public testing::TestWithParam<int> {};

TEST_P(FocDqTorque, MatchesTheEngineTorque) {
    CMclass M(16);
    CGclass G(16);
    M.m_nNh = G.m_nNh = std::uint32_t(GetParam());
    G.m_nNb = 3; // the default flux-density harmonics
    M.m_dMl = G.m_dMl = 1.0;
    M.m_dMm = G.m_dMm = 1.0;
    const CDqModel dq = CDqModel::Derive(M, G, 2.9);
    ASSERT_GT(dq.m_dPsiM, 0.0);
    const double currents[][2] = {{0, 5}, {0, -3}, {-4, 4}, {2, 1}, {-6, -2}};
    for (const auto& dqI : currents) {
        for (int n = 0; n < 12; ++n) {
            const double beta = 0.3 + n * kTwoPi / 12;
            const double theta = dq.ElectricalAngle(beta);
            const double shift = dq.m_nSequence * kTwoPi / 3;
            auto phase = [&](double s) {
                return dqI[0] * std::cos(theta + s) - dqI[1] * std::sin(theta + s);
            };
            const double ia = phase(0), ib = phase(shift);
            double id = 0, iq = 0;
            dq.Park(ia, ib, beta, id, iq);
            EXPECT_NEAR(id, dqI[0], 1e-12);
            EXPECT_NEAR(iq, dqI[1], 1e-12);
            // Loop currents: x12 = ia, x13 = ia + ib.
            const double engine = G.CalcTorque(ia, ia + ib, beta);
            EXPECT_NEAR(dq.Torque(id, iq), engine, 2e-4 * std::fabs(engine) + 1e-4)
                << "beta " << beta << " id " << dqI[0] << " iq " << dqI[1];
        }
    }
}

// (Harmonics 2 and 3 add a reluctance-torque ripple of about 1 % that a dq model has not.)
INSTANTIATE_TEST_SUITE_P(InductanceHarmonics, FocDqTorque, testing::Values(0, 1));

// A step of iq* with the rotor held by a large inertia: the current loop answers as its
// first-order design, 63 % within 1/CurrentBandwidth plus the period between the sample and
// the voltage (+-30 %), and settles on the reference; id stays at its reference of 0.
// The speed regulator saturates at once, so iq* steps to Imax at the first sample (t = ts).
class FocCurrentStep : public testing::TestWithParam<double> {};

TEST_P(FocCurrentStep, IqRisesAsTheFirstOrderDesign) {
    CParamSet set = FocDrive();
    set.m_motor.m_dJ = 1000;
    set.m_control.m_dKt = 10000;
    set.m_control.m_strSpeedPath = "0*10*";
    set.m_foc.m_dImax = 1; // small enough for the voltage to stay linear
    set.m_foc.m_dCurrentBandwidth = GetParam();
    set.m_time.m_dTe = 0.05;
    const CFocRun run = RunFoc(set);
    ASSERT_EQ(run.m_status, ERunStatus::Completed);
    const double step = 1.0;
    double t63 = -1, idLargest = 0;
    for (std::uint32_t k = 0; k < run.m_nRows; ++k) {
        EXPECT_EQ(run.F(k, 3), k == 0 ? 0.0 : step) << "iq* at row " << k;
        if (t63 < 0 && run.F(k, 1) >= 0.632 * step)
            t63 = run.T(k, kColT);
        idLargest = std::max(idLargest, std::fabs(run.F(k, 0)));
    }
    const double Tc = 1 / set.m_control.m_dFT;
    const double design = 1 / GetParam() + Tc;
    EXPECT_NEAR(t63, design, 0.3 * design);
    RecordProperty("t63_us", std::to_string(t63 * 1e6));
    EXPECT_LT(idLargest, 0.05 * step);
    // Settled: the mean over the last millisecond (five carrier periods of ripple). The
    // integral's zero at R/L leaves a tail of time constant L/R (12 ms) behind the step.
    double sum = 0;
    int n = 0;
    for (std::uint32_t k = run.RowAt(0.049); k < run.m_nRows; ++k, ++n)
        sum += run.F(k, 1);
    EXPECT_NEAR(sum / n, step, 0.02 * step);
}

INSTANTIATE_TEST_SUITE_P(Bandwidths, FocCurrentStep,
                         testing::Values(2 * std::numbers::pi * 100, 2 * std::numbers::pi * 200));

// The default drive under a load torque ramps to the path's speed and holds it without a
// steady error (the speed regulator's integral); its torque is the dq model's torque of the
// measured currents row by row; the applied voltage turns at the electrical speed.
TEST(FocDrive, HoldsTheSpeedUnderLoadWithTheDqTorque) {
    CParamSet set = FocDrive();
    set.m_control.m_strSpeedPath = "0*60*";
    set.m_control.m_dT = -2;
    set.m_time.m_dTe = 0.5;
    const CFocRun run = RunFoc(set);
    ASSERT_EQ(run.m_status, ERunStatus::Completed);
    double errorSum = 0, omegaSum = 0, omegaUSum = 0, torqueGap = 0, torqueLargest = 0;
    int n = 0;
    for (std::uint32_t k = 1; k + 1 < run.m_nRows; ++k) {
        const double t = run.T(k, kColT);
        if (t >= 0.45) {
            errorSum += run.T(k, kColOmegaR) - 60;
            omegaSum += run.T(k, kColOmegaR);
            omegaUSum += run.T(k, kColOmegaU);
            ++n;
        }
        // Te of row k + 1 is the torque of row k's state: one step per row.
        if (t >= 0.01) {
            const double model = run.Dq().Torque(run.F(k, 0), run.F(k, 1));
            torqueGap = std::max(torqueGap, std::fabs(run.T(k + 1, kColTe) - model));
            torqueLargest = std::max(torqueLargest, std::fabs(model));
        }
    }
    ASSERT_GT(n, 0);
    EXPECT_LT(std::fabs(errorSum / n), 0.02);
    EXPECT_NEAR(omegaUSum / n, 2 * omegaSum / n, 0.01 * omegaSum / n);
    EXPECT_GT(torqueLargest, 2.0);
    EXPECT_LT(torqueGap, 1e-3 * torqueLargest);
    // The load is carried: the regulator asks for the load's torque and the damping.
    const std::uint32_t last = run.m_nRows - 1;
    const double demand = 2 + set.m_motor.m_dD * 60;
    EXPECT_NEAR(run.Dq().Torque(run.F(last, 2), run.F(last, 3)), demand, 0.02 * demand);
}

// T1 opens while the drive runs at 100 rad/s: field-oriented control keeps the rotor in step
// (no reversal, a dip of a few rad/s) and phase a loses its positive half-wave.
TEST(FocDrive, OpenT1AtSpeedKeepsSynchronismAndRemovesPositiveIa) {
    CParamSet set = FocDrive();
    set.m_failures.m_nFailT = {2, 0, 0, 0, 0, 0};
    set.m_failures.m_dOnset = 0.2;
    set.m_time.m_dTe = 0.3;
    const CFocRun run = RunFoc(set);
    ASSERT_EQ(run.m_status, ERunStatus::Completed);
    double omegaBefore = 0, omegaLowest = 1e9, iaPositive = 0, iaNegative = 0;
    for (std::uint32_t k = 1; k < run.m_nRows; ++k) {
        const double t = run.T(k, kColT);
        if (t < 0.2)
            omegaBefore = run.T(k, kColOmegaR);
        else
            omegaLowest = std::min(omegaLowest, run.T(k, kColOmegaR));
        if (t >= 0.21) {
            iaPositive = std::max(iaPositive, run.T(k, kColIa));
            iaNegative = std::min(iaNegative, run.T(k, kColIa));
        }
    }
    EXPECT_GT(omegaBefore, 95.0);
    EXPECT_GT(omegaLowest, omegaBefore - 20);
    EXPECT_LT(iaNegative, -0.2);
    EXPECT_LT(iaPositive, 0.01 * -iaNegative);
}

// The file reads and writes the scheme and the foc group, and refuses field-oriented control
// outside the inverter with space-vector PWM, naming the file and the key; nothing changes.
TEST(FocParameters, FileKeepsTheSchemeAndRefusesItOutsideTheInverterWithSvpwm) {
    CParamSet set;
    const CStatus read = ParseParamText(
        R"({"control": {"Scheme": 1}, "foc": {"Imax": 5.5, "Mtpa": true, "SpeedBandwidth": 30}})",
        "drive.json", set);
    ASSERT_TRUE(read.Ok()) << read.m_strMessage;
    EXPECT_EQ(set.m_control.m_nScheme, 1);
    EXPECT_EQ(set.m_foc.m_dImax, 5.5);
    EXPECT_TRUE(set.m_foc.m_bMtpa);
    EXPECT_EQ(set.m_foc.m_dSpeedBandwidth, 30.0);
    CParamSet again;
    ASSERT_TRUE(ParseParamText(ParamText(set), "saved", again).Ok());
    EXPECT_TRUE(again == set);

    const char* refused[] = {R"({"control": {"Scheme": 1, "Condition": 3}})",
                             R"({"control": {"Scheme": 1, "ControlMethod": 1}})"};
    for (const char* text : refused) {
        CParamSet kept = set;
        const CStatus status = ParseParamText(text, "drive.json", kept);
        EXPECT_FALSE(status.Ok()) << text;
        EXPECT_NE(status.m_strMessage.find("drive.json"), std::string::npos);
        EXPECT_NE(status.m_strMessage.find("control.Scheme"), std::string::npos)
            << status.m_strMessage;
        EXPECT_TRUE(kept == set);
    }
}
