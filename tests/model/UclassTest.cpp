#include "Uclass.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

constexpr double kTwoPi = 2 * 3.141592;

} // namespace

TEST(CUclass, SupplyVoltagesAtAQuarterPeriod) {
    CUclass u(16);
    u.m_dUmax = 200;
    u.m_dF = 50;
    u.m_dPhi = 0;
    const double pm[2] = {0.3, 0.2};
    u.SetPmTerms(pm);
    u.CalcU(0.005, 10);
    // Hand derivation: w = 1.570796 (a quarter turn to 7 digits); b and c at -1/2.
    EXPECT_NEAR(u.m_dUa, 200.0, 1e-9);
    EXPECT_NEAR(u.m_dUb, -100.0, 1e-3);
    EXPECT_NEAR(u.m_dUc, -100.0, 1e-3);
    const double* U = u.m_pU->m_pData;
    EXPECT_DOUBLE_EQ(U[12], u.m_dUa - u.m_dUb - 10 * 0.3);
    EXPECT_NEAR(U[12], 297.0, 1e-3);
    EXPECT_NEAR(U[13], -2.0, 1e-3);
}

TEST(CUclass, PhaseBLeadsAndPhaseAngleShiftsAllThree) {
    CUclass u(16);
    u.m_dUmax = 100;
    u.m_dF = 50;
    u.m_dPhi = 3.141592 / 2;
    u.CalcU(0.005, 0);
    EXPECT_NEAR(u.m_dUa, 0.0, 1e-4);
    EXPECT_NEAR(u.m_dUb, 86.6025, 1e-3); // sin(120 degrees)
    EXPECT_NEAR(u.m_dUc, -86.6025, 1e-3);
    EXPECT_NEAR(u.m_dUa + u.m_dUb + u.m_dUc, 0.0, 1e-4);
}

TEST(CUclass, DcSourceDrivesTheFirstTwoMeshesAndTorquesTheMotion) {
    CUclass u(16);
    u.m_dUd = 200;
    u.m_dT = -5;
    u.SetTorque(5);
    const double pm[2] = {0.0, 0.0};
    u.SetPmTerms(pm);
    u.CalcU(0.01, 100);
    const double* U = u.m_pU->m_pData;
    EXPECT_EQ(U[0], 200.0);
    EXPECT_EQ(U[1], 200.0);
    for (int i = 2; i <= 14; ++i)
        EXPECT_EQ(U[i], 0.0) << "U[" << i << "]";
    EXPECT_EQ(U[15], 0.0);
    u.SetTorque(2.5);
    u.CalcU(0.01, 100);
    EXPECT_EQ(U[15], -2.5);
}

TEST(CUclass, GeneratorHoldsOnlyMagnetTermsAndExternalTorque) {
    CUclass u(16);
    u.m_dT = 3;
    u.SetTorque(-1);
    const double pm[2] = {0.05, -0.02};
    u.SetPmTerms(pm);
    u.CalcU(0.0123, 150);
    const double* U = u.m_pU->m_pData;
    for (int i = 0; i <= 11; ++i)
        EXPECT_EQ(U[i], 0.0) << "U[" << i << "]";
    EXPECT_EQ(U[12], -150 * 0.05);
    EXPECT_EQ(U[13], 150 * 0.02);
    EXPECT_EQ(U[14], 0.0);
    EXPECT_EQ(U[15], 2.0);
}

TEST(CUclass, WithoutAccumulationTheAngleIsTheConstantFrequencyFormula) {
    CUclass u(16);
    u.m_dF = 50;
    u.BeginStep(0.001);
    u.AcceptStep(0.002);
    u.m_dF = 80;
    EXPECT_EQ(u.SupplyAngle(0.003), 2 * 3.141592 * 80 * 0.003);
}

TEST(CUclass, AccumulatedPhaseIsContinuousAcrossFrequencyChanges) {
    CUclass u(16);
    u.m_bAccumulatePhase = true;
    u.m_dUmax = 100;
    const double ts = 0.001;
    const double h = 0.0001;
    u.m_dF = 50;
    u.BeginStep(ts);
    // Starts at the constant-frequency formula's value at ts.
    EXPECT_EQ(u.SupplyAngle(ts), 2 * 3.141592 * 50 * ts);
    EXPECT_NEAR(u.SupplyAngle(ts + h / 2), kTwoPi * 50 * (ts + h / 2), 1e-12);
    u.AcceptStep(ts + h);
    const double atEnd = kTwoPi * 50 * (ts + h);

    // An attempt with 70 Hz is halved and repeated with 80 Hz: the abandoned attempt
    // leaves no trace.
    u.m_dF = 70;
    u.BeginStep(ts + h);
    EXPECT_NEAR(u.SupplyAngle(ts + h), atEnd, 1e-12);
    u.CalcU(ts + 2 * h, 0);
    u.m_dF = 80;
    u.BeginStep(ts + h);
    EXPECT_NEAR(u.SupplyAngle(ts + h + h / 2), atEnd + kTwoPi * 80 * h / 2, 1e-12);
    u.CalcU(ts + h + h / 2, 0);
    EXPECT_NEAR(u.m_dUa, 100 * std::sin(atEnd + kTwoPi * 80 * h / 2), 1e-9);
    u.AcceptStep(ts + h + h / 2);
    EXPECT_NEAR(u.SupplyAngle(ts + 2 * h), atEnd + kTwoPi * 80 * h, 1e-12);
}

TEST(CUclass, AccumulatedPhaseFollowsTheIntegralOfAFrequencyRamp) {
    // f(t) = 10 + 1000 t set at each step start; the exact angle is 2 pi (10 t + 500 t^2).
    CUclass u(16);
    u.m_bAccumulatePhase = true;
    const double h = 0.000005;
    double t = 0;
    double worst = 0;
    double literalWorst = 0;
    for (int i = 0; i < 20000; ++i) {
        u.m_dF = 10 + 1000 * t;
        u.BeginStep(t);
        const double exact = kTwoPi * (10 * t + 500 * t * t);
        worst = std::fmax(worst, std::fabs(u.SupplyAngle(t) - exact));
        literalWorst = std::fmax(literalWorst, std::fabs(kTwoPi * u.m_dF * t - exact));
        u.AcceptStep(t + h);
        t += h;
    }
    // The rectangle rule with f of the step start: error at most pi * 1000 * h * t.
    EXPECT_LT(worst, 3.141592 * 1000 * h * t + 1e-9);
    // The constant-frequency formula is off by a full 2 pi 500 t^2.
    EXPECT_GT(literalWorst, 25.0);
}

// The sines of the last supply angle are kept; whatever changes between two calls (phase,
// amplitude, frequency, time) must show in the voltages as in a fresh object.
TEST(CUclass, VoltagesFollowEveryChangeBetweenCalls) {
    CUclass kept(16);
    struct CCall {
        double m_dPhi, m_dUmax, m_dF, m_dT;
    };
    const CCall calls[] = {{0.0, 200, 0, 0.01}, {0.0, 200, 0, 0.02},  {0.4, 200, 0, 0.02},
                           {0.4, 150, 0, 0.02}, {0.4, 150, 50, 0.02}, {0.4, 150, 50, 0.021},
                           {0.0, 150, 0, -0.0}, {0.0, 150, 0, 0.0}};
    for (const CCall& c : calls) {
        CUclass fresh(16);
        for (CUclass* u : {&kept, &fresh}) {
            u->m_dPhi = c.m_dPhi;
            u->m_dUmax = c.m_dUmax;
            u->m_dF = c.m_dF;
            u->CalcU(c.m_dT, 0);
        }
        EXPECT_EQ(std::signbit(kept.m_dUa), std::signbit(fresh.m_dUa));
        EXPECT_EQ(kept.m_dUa, fresh.m_dUa) << "phi " << c.m_dPhi << " t " << c.m_dT;
        EXPECT_EQ(kept.m_dUb, fresh.m_dUb) << "phi " << c.m_dPhi << " t " << c.m_dT;
        EXPECT_EQ(kept.m_dUc, fresh.m_dUc) << "phi " << c.m_dPhi << " t " << c.m_dT;
    }
}
