#include "Calculation.h"
#include "Solver.h"

#include <gtest/gtest.h>

#include <cstring>

#include <functional>
#include <string>

namespace {

std::string PathOfPoints(int points) {
    std::string text;
    for (int i = 0; i < points; ++i)
        text += std::to_string(i) + "*" + std::to_string(i) + "*"; // fits the 1000 characters
    return text;
}

} // namespace

TEST(PlanCalculation, DefaultsGive20000RowsOverTheOrderedInterval) {
    const CCalcPlan plan = PlanCalculation(CParamSet{});
    EXPECT_FALSE(plan.m_refusal) << *plan.m_refusal;
    EXPECT_FALSE(plan.m_bSwapped);
    EXPECT_EQ(plan.m_dStart, 0.0);
    EXPECT_EQ(plan.m_dEnd, 0.1);
    EXPECT_EQ(plan.m_nRows, 20000);
}

TEST(PlanCalculation, ExchangesAReversedIntervalAndSaysSo) {
    CParamSet set;
    set.m_time.m_dTs = 0.1;
    set.m_time.m_dTe = 0.0;
    const CCalcPlan plan = PlanCalculation(set);
    EXPECT_FALSE(plan.m_refusal);
    EXPECT_TRUE(plan.m_bSwapped);
    EXPECT_EQ(plan.m_dStart, 0.0);
    EXPECT_EQ(plan.m_dEnd, 0.1);
    EXPECT_EQ(plan.m_nRows, 20000);
}

TEST(PlanCalculation, TruncatesTheRowCount) {
    CParamSet set;
    set.m_time.m_dTe = 0.01;
    set.m_time.m_dH = 0.003; // 3.33 rows
    EXPECT_EQ(PlanCalculation(set).m_nRows, 3);
}

struct CRefusalCase {
    const char* m_pszName;
    std::function<void(CParamSet&)> m_change;
    const char* m_pszNamed; ///< text the refusal must contain (the value it names)
};

void PrintTo(const CRefusalCase& c, std::ostream* os) {
    *os << c.m_pszName;
}

class PlanRefusal : public ::testing::TestWithParam<CRefusalCase> {};

TEST_P(PlanRefusal, RefusesBeforeAnythingIsAllocatedNamingTheValue) {
    CParamSet set;
    GetParam().m_change(set);
    const CCalcPlan plan = PlanCalculation(set);
    ASSERT_TRUE(plan.m_refusal) << GetParam().m_pszName;
    EXPECT_NE(plan.m_refusal->find(GetParam().m_pszNamed), std::string::npos) << *plan.m_refusal;

    const CCalcResult result = Calculate(set, nullptr);
    EXPECT_EQ(result.m_status, ECalcStatus::Refused);
    EXPECT_EQ(result.m_strMessage, *plan.m_refusal);
    EXPECT_EQ(result.m_pSolver, nullptr);
}

INSTANTIATE_TEST_SUITE_P(
    Inputs, PlanRefusal,
    ::testing::Values(
        CRefusalCase{"EmptyInterval", [](CParamSet& s) { s.m_time.m_dTs = s.m_time.m_dTe = 0.05; },
                     "ts ="},
        CRefusalCase{"ZeroStep", [](CParamSet& s) { s.m_time.m_dH = 0; }, "h = 0"},
        CRefusalCase{"OutOfRangeStep", [](CParamSet& s) { s.m_time.m_dH = 2; }, "h = 2"},
        CRefusalCase{"OneRow", [](CParamSet& s) { s.m_time.m_dH = 0.06; }, "1 output rows"},
        CRefusalCase{"NoRow", [](CParamSet& s) { s.m_time.m_dH = 0.5; }, "0 output rows"},
        CRefusalCase{"RowsBeyondACount", [](CParamSet& s) { s.m_time.m_dH = 1e-15; },
                     "more than a calculation can count"},
        CRefusalCase{"RowsBeyondMemory", [](CParamSet& s) { s.m_time.m_dH = 0.1 / 2.1e9; },
                     "more than the memory"},
        CRefusalCase{"NoSourceResistance", [](CParamSet& s) { s.m_control.m_dRu = 0; }, "Ru ="},
        CRefusalCase{"NoRcLoadResistance",
                     [](CParamSet& s) {
                         s.m_control.m_nCondition = 2;
                         s.m_control.m_dRlRC = 0;
                     },
                     "Rl = (RC load)"},
        CRefusalCase{"NoRcLoadCapacitance",
                     [](CParamSet& s) {
                         s.m_control.m_nCondition = 2;
                         s.m_control.m_dCl = 0;
                     },
                     "Cl ="},
        CRefusalCase{"NoRLoadResistance",
                     [](CParamSet& s) {
                         s.m_control.m_nCondition = 3;
                         s.m_control.m_dRlR = 0;
                     },
                     "Rl = (R load)"},
        CRefusalCase{"NoInertia", [](CParamSet& s) { s.m_motor.m_dJ = 0; }, "J ="},
        CRefusalCase{"NegativeInertia", [](CParamSet& s) { s.m_motor.m_dJ = -0.001; }, "J ="},
        CRefusalCase{"NegativeRcLoad",
                     [](CParamSet& s) {
                         s.m_control.m_nCondition = 2;
                         s.m_control.m_dRlRC = -10;
                     },
                     "Rl = (RC load)"},
        CRefusalCase{"NoInductance",
                     [](CParamSet& s) {
                         s.m_motor.m_dMl = 0;
                         s.m_motor.m_dMm = 0;
                     },
                     "ml ="},
        CRefusalCase{"SpeedPathOf100Points",
                     [](CParamSet& s) { s.m_control.m_strSpeedPath = PathOfPoints(100); }, "100"},
        CRefusalCase{"SvpwmWithoutCarrier", [](CParamSet& s) { s.m_control.m_dFT = 0; }, "fT ="},
        CRefusalCase{"SvpwmCarrierPeriodNeverStarting",
                     [](CParamSet& s) { s.m_control.m_dFT = 0.001; }, "fT ="},
        CRefusalCase{"SvpwmWithoutDcVoltage", [](CParamSet& s) { s.m_control.m_dUd = 0; }, "Ud ="}),
    [](const ::testing::TestParamInfo<CRefusalCase>& info) { return info.param.m_pszName; });

class PlanAcceptance : public ::testing::TestWithParam<CRefusalCase> {};

// Values that are singular or unusable only in another condition or method are accepted.
TEST_P(PlanAcceptance, AcceptsValuesThatDoNotHarmThisCondition) {
    CParamSet set;
    GetParam().m_change(set);
    const CCalcPlan plan = PlanCalculation(set);
    EXPECT_FALSE(plan.m_refusal) << *plan.m_refusal;
}

INSTANTIATE_TEST_SUITE_P(
    Inputs, PlanAcceptance,
    ::testing::Values(
        CRefusalCase{"RuZeroWithSineSupply",
                     [](CParamSet& s) {
                         s.m_control.m_nCondition = 1;
                         s.m_control.m_dRu = 0;
                     },
                     ""},
        CRefusalCase{"ClZeroWithInverter", [](CParamSet& s) { s.m_control.m_dCl = 0; }, ""},
        CRefusalCase{"FtZeroWithSixStep",
                     [](CParamSet& s) {
                         s.m_control.m_nControlMethod = 1;
                         s.m_control.m_dFT = 0;
                         s.m_control.m_dUd = 0;
                     },
                     ""},
        CRefusalCase{"FtZeroWithSineSupply",
                     [](CParamSet& s) {
                         s.m_control.m_nCondition = 1;
                         s.m_control.m_dFT = 0;
                     },
                     ""},
        CRefusalCase{"OnlySelfInductances", [](CParamSet& s) { s.m_motor.m_dMm = 0; }, ""},
        CRefusalCase{"NegativeDampingDrivingTheRotor",
                     [](CParamSet& s) { s.m_motor.m_dD = -0.0001; }, ""},
        CRefusalCase{"SpeedPathOf99Points",
                     [](CParamSet& s) { s.m_control.m_strSpeedPath = PathOfPoints(99); }, ""},
        CRefusalCase{"TwoRows", [](CParamSet& s) { s.m_time.m_dH = 0.05; }, ""}),
    [](const ::testing::TestParamInfo<CRefusalCase>& info) { return info.param.m_pszName; });

TEST(FillInitialState, ConvertsDegreesWithTheConstant31416) {
    CTimeParams time;
    time.m_dBetaR = 90;
    time.m_dOmegaR = -12.5;
    double x0[kStateSize];
    for (double& v : x0)
        v = 7.0;
    FillInitialState(time, x0);
    for (int i = 0; i < 14; ++i)
        EXPECT_EQ(x0[i], 0.0);
    EXPECT_DOUBLE_EQ(x0[14], 1.5708);
    EXPECT_EQ(x0[15], -12.5);
}

// The initial voltage charges the capacitor of the condition (Cu with the inverter, Cl with
// the RC load); the others have none. Uc0 = 0 leaves the state exactly as before.
class CChargedStart : public testing::TestWithParam<int> {};

TEST_P(CChargedStart, ChargesOnlyTheConditionsCapacitor) {
    CParamSet set;
    set.m_control.m_nCondition = GetParam();
    set.m_control.m_dCu = 0.0002;
    set.m_control.m_dCl = 0.0005;
    set.m_time.m_dBetaR = 30;
    double plain[kStateSize], x0[kStateSize];
    FillInitialState(set.m_time, plain);
    FillInitialState(set, x0);
    EXPECT_EQ(std::memcmp(plain, x0, sizeof x0), 0);
    set.m_time.m_dUc0 = -150;
    FillInitialState(set, x0);
    const double charge[4] = {0.0002 * -150, 0, 0.0005 * -150, 0};
    EXPECT_EQ(x0[0], charge[GetParam()]);
    EXPECT_EQ(std::memcmp(plain + 1, x0 + 1, sizeof x0 - sizeof x0[0]), 0);
}

INSTANTIATE_TEST_SUITE_P(Conditions, CChargedStart, testing::Range(0, 4));

struct CTransferCase {
    int m_nCondition;
    double m_dC;       ///< expected capacitance of the DC side
    double m_dBranch0; ///< expected source or load branch
    double m_dUmax, m_dF, m_dUd;
};

void PrintTo(const CTransferCase& c, std::ostream* os) {
    *os << "condition " << c.m_nCondition;
}

class TransferByCondition : public ::testing::TestWithParam<CTransferCase> {};

TEST_P(TransferByCondition, FillsTheModelObjectsAsTheConditionAsks) {
    const CTransferCase& c = GetParam();
    CParamSet set;
    set.m_control.m_nCondition = c.m_nCondition;
    set.m_control.m_dCu = 0.0002;
    set.m_control.m_dRu = 0.3;
    set.m_control.m_dCl = 0.0005;
    set.m_control.m_dRlRC = 55;
    set.m_control.m_dRlR = 33;
    set.m_control.m_dUmax = 150;
    set.m_control.m_dF = 40;
    set.m_control.m_dPhi = 90;
    set.m_control.m_dUd = 250;
    set.m_control.m_dT = -3;
    set.m_control.m_bSpeedControl = true;
    set.m_control.m_dKp = 0.7;
    set.m_control.m_dKi = 60;
    set.m_control.m_dKt = 800;
    set.m_control.m_dFT = 4000;
    set.m_control.m_strSpeedPath = " 0*50*0.01*150* \n";
    set.m_failures.m_nFailT = {0, 1, 0, 0, 2, 0};
    set.m_failures.m_nFailD = {2, 0, 0, 1, 0, 0};
    set.m_motor.m_dRonT = 0.2;
    set.m_motor.m_dRoffT = 900;
    set.m_motor.m_dRonD = 0.15;
    set.m_motor.m_dRoffD = 800;
    set.m_motor.m_dMra = 1.5;
    set.m_motor.m_dMrb = 2;
    set.m_motor.m_dMrc = 0.5;
    set.m_motor.m_dMl = 1.1;
    set.m_motor.m_dMm = 0.9;
    set.m_motor.m_dJ = 0.002;
    set.m_motor.m_dD = 0.001;
    set.m_motor.m_nNhInd = 2;
    set.m_motor.m_nNhFlux = 40;

    CSolver solver(10, kStateCols, kStateSize, kResultCols);
    // Leftovers of a previous use must not survive the transfer.
    solver.m_pRObject->m_nSequenceSign = 1;
    solver.m_pRObject->m_dIntegral = 5;
    solver.m_pRObject->m_dAngle = 1;
    solver.m_pRObject->m_dOmegaRRamp = 9;
    TransferParameters(set, solver);

    const CRclass& R = *solver.m_pRObject;
    EXPECT_EQ(R.m_nCondition, c.m_nCondition);
    EXPECT_TRUE(R.m_bSpeedControl);
    EXPECT_EQ(R.m_dC, c.m_dC);
    EXPECT_EQ(R.m_pBranchR[0], c.m_dBranch0);
    EXPECT_EQ(R.m_dRLoad, c.m_nCondition == 3 ? 33.0 : 0.0);
    EXPECT_EQ(R.m_dAngle, 0);
    EXPECT_EQ(R.m_dIntegral, 0);
    EXPECT_EQ(R.m_dOmegaRRamp, 0);
    EXPECT_EQ(R.m_dKp, 0.7);
    EXPECT_EQ(R.m_dKi, 60);
    EXPECT_EQ(R.m_dKt, 800);
    EXPECT_EQ(R.m_nSequenceSign, -1);
    const int failT[7] = {0, 0, 1, 0, 0, 2, 0};
    const int failD[7] = {0, 2, 0, 0, 1, 0, 0};
    for (int k = 1; k <= 6; ++k) {
        EXPECT_EQ(R.m_nFailT[k], failT[k]) << k;
        EXPECT_EQ(R.m_nFailD[k], failD[k]) << k;
    }
    EXPECT_EQ(R.m_dRonT, 0.2);
    EXPECT_EQ(R.m_dRoffT, 900);
    EXPECT_EQ(R.m_dRonD, 0.15);
    EXPECT_EQ(R.m_dRoffD, 800);
    EXPECT_EQ(R.m_dTc, 1.0 / 4000);
    EXPECT_EQ(R.m_dUd, 250);
    EXPECT_EQ(R.m_dCarrierTime, 1000.0);
    EXPECT_EQ(R.m_nPathIndex, 0u);
    ASSERT_EQ(R.m_nPathCount, 2);
    EXPECT_EQ(R.m_path[1].time, 0.01);
    EXPECT_EQ(R.m_path[1].speed, 150);
    EXPECT_EQ(R.m_dMra, 1.5);
    EXPECT_EQ(R.m_dMrb, 2);
    EXPECT_EQ(R.m_dMrc, 0.5);
    EXPECT_EQ(R.m_dD, 0.001);

    const CUclass& U = *solver.m_pUObject;
    EXPECT_EQ(U.m_dUmax, c.m_dUmax);
    EXPECT_EQ(U.m_dF, c.m_dF);
    EXPECT_EQ(U.m_dPhi, c.m_nCondition == 1 ? 90 * 2 * 3.1416 / 360 : 0.0);
    EXPECT_EQ(U.m_dUd, c.m_dUd);
    EXPECT_EQ(U.m_dT, -3);
    EXPECT_EQ(U.m_bAccumulatePhase, c.m_nCondition == 1);

    const CMclass& M = *solver.m_pMObject;
    EXPECT_EQ(M.m_dMl, 1.1);
    EXPECT_EQ(M.m_dMm, 0.9);
    EXPECT_EQ(M.m_dJ, 0.002);
    EXPECT_EQ(M.m_nNh, 2u);
    const CGclass& G = *solver.m_pGObject;
    EXPECT_EQ(G.m_dMl, 1.1);
    EXPECT_EQ(G.m_dMm, 0.9);
    EXPECT_EQ(G.m_nNb, 42u);
    EXPECT_EQ(G.m_nNh, 2u);
}

INSTANTIATE_TEST_SUITE_P(Conditions, TransferByCondition,
                         ::testing::Values(CTransferCase{0, 0.0002, 0.3, 0, 0, 250},
                                           CTransferCase{1, 1.0, 0.0001, 150, 40, 0},
                                           CTransferCase{2, 0.0005, 55, 0, 0, 0},
                                           CTransferCase{3, 1.0, 0.0001, 0, 0, 0}));

TEST(TransferParameters, SixStepMarksTheCarrierAndLeavesTheSupplyPhaseFormula) {
    CParamSet set;
    set.m_control.m_nControlMethod = 1;
    CSolver solver(10, kStateCols, kStateSize, kResultCols);
    TransferParameters(set, solver);
    EXPECT_EQ(solver.m_pRObject->m_dTc, -1.0);
    EXPECT_EQ(solver.m_pRObject->m_dCarrierTime, 0.0);
    EXPECT_FALSE(solver.m_pUObject->m_bAccumulatePhase);
}
