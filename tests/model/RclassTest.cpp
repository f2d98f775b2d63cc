#include "Rclass.h"

#include <gtest/gtest.h>

#include <array>
#include <tuple>

namespace {

constexpr double kRonT = 0.1;
constexpr double kRoffT = 1000;
constexpr double kRonD = 0.2;
constexpr double kRoffD = 2000;

// Branch of each transistor T1..T6 and diode D1..D6 (index 0 unused), from the circuit.
constexpr int kTBranch[7] = {0, 3, 7, 11, 5, 9, 13};
constexpr int kDBranch[7] = {0, 2, 6, 10, 4, 8, 12};

void SetDevices(CRclass& r, int condition) {
    r.m_nCondition = condition;
    r.m_dRonT = kRonT;
    r.m_dRoffT = kRoffT;
    r.m_dRonD = kRonD;
    r.m_dRoffD = kRoffD;
    r.m_dC = 0.0001;
    r.m_pBranchR[0] = 0.1;
}

// Currents of a row: every transistor forward-biased (its off-state voltage 1 V) and every
// diode forward-biased (1 V), so that only the switching and the interlocks decide.
void UpdateAllForward(CRclass& r) {
    const double it = 1.0 / kRoffT;
    const double id = 1.0 / kRoffD;
    r.UpdateConduction(it, id, it, id, it, id, it, id, it, id, it, id);
}

double Branch(const CRclass& r, int b) {
    std::array<double, 14> branch{};
    std::array<double, 18> coil{};
    EXPECT_TRUE(r.GetResistances(branch.data(), coil.data()));
    return branch[b];
}

} // namespace

TEST(CRclass, NewObjectHasZeroMatrixAndDcLinkBranch) {
    CRclass r(16);
    EXPECT_EQ(r.m_nSize, 16u);
    EXPECT_EQ(r.m_pBranchR[1], 0.0);
    EXPECT_EQ(r.m_dRLoad, 0.0);
    for (int i = 0; i < 16; ++i)
        for (int j = 0; j < 16; ++j)
            ASSERT_EQ(r.m_pR->m_pData[i][j], 0.0);
}

TEST(CRclass, FirstStepWithZeroCurrentsTurnsEveryDeviceOff) {
    CRclass r(16);
    SetDevices(r, 0);
    for (int k = 1; k <= 6; ++k)
        r.m_dRT[k] = kRonT;
    r.UpdateConduction(0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0);
    for (int k = 1; k <= 6; ++k) {
        EXPECT_EQ(r.m_dRT[k], kRoffT) << "T" << k;
        EXPECT_EQ(r.m_dRD[k], kRoffD) << "D" << k;
    }
}

TEST(CRclass, ForwardBiasedTransistorStaysOnAndDiodeFollowsItsVoltage) {
    CRclass r(16);
    SetDevices(r, 0);
    r.m_dRT[1] = kRonT;
    r.m_dRT[4] = kRoffT;
    // T1 at 0.3 V off-state voltage stays on; D1 conducts at 0.6 V only with T1 and T4 off.
    r.UpdateConduction(0.3 / kRoffT, 0.6 / kRoffD, 0, 0, 0, 0, 0, 0.6 / kRoffD, 0, 0, 0, 0);
    EXPECT_EQ(r.m_dRT[1], kRonT);
    EXPECT_EQ(r.m_dRD[1], kRoffD); // its own transistor conducts
    EXPECT_EQ(r.m_dRD[4], kRoffD); // the opposite transistor T1 conducts
    r.m_dRT[1] = kRoffT;
    r.UpdateConduction(0, 0.6 / kRoffD, 0, 0.59 / kRoffD, 0, 0, 0, -1, 0, 0, 0, 0);
    EXPECT_EQ(r.m_dRD[1], kRonD);
    EXPECT_EQ(r.m_dRD[2], kRoffD);
    EXPECT_EQ(r.m_dRD[4], kRoffD);
}

// The diode interlock, leg by leg: k is the diode, its opposite transistor switches on.
class CRclassInterlock : public ::testing::TestWithParam<int> {};

TEST_P(CRclassInterlock, FreewheelingDiodeStopsWhenOppositeTransistorTurnsOn) {
    const int k = GetParam();
    const int opposite = k <= 3 ? k + 3 : k - 3;
    CRclass r(16);
    SetDevices(r, 0);
    for (int j = 1; j <= 6; ++j)
        r.m_dRT[j] = kRoffT;
    UpdateAllForward(r);
    EXPECT_EQ(r.m_dRD[k], kRonD);

    r.m_dRT[opposite] = kRonT; // the switching turns the opposite transistor on
    UpdateAllForward(r);
    EXPECT_EQ(r.m_dRD[k], kRoffD);
    r.CalcR();
    EXPECT_EQ(Branch(r, kDBranch[k]), kRoffD);
    EXPECT_EQ(Branch(r, kTBranch[opposite]), kRonT);
}

TEST_P(CRclassInterlock, ShortedOppositeTransistorCountsAsConductingAndBrokenAsNot) {
    const int k = GetParam();
    const int opposite = k <= 3 ? k + 3 : k - 3;
    CRclass r(16);
    SetDevices(r, 0);
    for (int j = 1; j <= 6; ++j)
        r.m_dRT[j] = kRoffT;
    r.m_nFailT[opposite] = 1;
    UpdateAllForward(r);
    EXPECT_EQ(r.m_dRD[k], kRoffD);

    r.m_nFailT[opposite] = 2;
    r.m_dRT[opposite] = kRonT;
    UpdateAllForward(r);
    EXPECT_EQ(r.m_dRD[k], kRonD);
}

TEST_P(CRclassInterlock, OnlyTheVoltageDecidesOutsideTheInverter) {
    const int k = GetParam();
    const int opposite = k <= 3 ? k + 3 : k - 3;
    CRclass r(16);
    SetDevices(r, 2);
    r.m_dRT[k] = kRonT;
    r.m_dRT[opposite] = kRonT;
    UpdateAllForward(r);
    EXPECT_EQ(r.m_dRD[k], kRonD);
}

// A transistor that stops conducting leaves its current to a diode of its leg at once. The
// row's currents: transistor k carries itK, its opposite itO, every diode nothing.
void UpdateLeg(CRclass& r, int k, double itK, double itO) {
    double it[7] = {}, id[7] = {};
    it[k] = itK;
    it[k <= 3 ? k + 3 : k - 3] = itO;
    r.UpdateConduction(it[1], id[1], it[2], id[2], it[3], id[3], it[4], id[4], it[5], id[5], it[6],
                       id[6]);
}

TEST_P(CRclassInterlock, DiodeTakesOverTheCurrentOfATransistorThatStopsConducting) {
    const int k = GetParam();
    const int opposite = k <= 3 ? k + 3 : k - 3;
    const double reverse = -0.6 / kRoffT, forward = 0.6 / kRoffT, weak = 0.59 / kRoffT;
    struct CCase {
        int m_nOnAtRow;   // the transistor that conducted in the step of the last stored row
        int m_nGatedOn;   // the transistor the switching turns on now (0: none)
        int m_nFailK;     // failure code of transistor k
        double m_dItK;    // row current of transistor k [A]
        double m_dItO;    // row current of the opposite transistor [A]
        bool m_bConducts; // diode k afterwards
    };
    const CCase cases[] = {
        {k, 0, 0, reverse, 0, true},               // its own transistor carried current backwards
        {k, 0, 0, -weak, 0, false},                // below 0.6 V
        {opposite, 0, 0, 0, forward, true},        // the opposite transistor was switched off
        {opposite, 0, 0, 0, weak, false},          // below 0.6 V
        {opposite, k, 0, forward, forward, false}, // its own transistor took the current
        {opposite, k, 2, forward, forward, true},  // ... a broken one cannot
        {0, 0, 0, reverse, forward, false},        // nothing conducted: the voltage rule alone
        {opposite, opposite, 0, 0, 1.0, false}     // still conducting: no change
    };
    for (const CCase& c : cases) {
        CRclass r(16);
        SetDevices(r, 0);
        for (int j = 1; j <= 6; ++j)
            r.m_dRT[j] = kRoffT;
        if (c.m_nOnAtRow != 0)
            r.m_dRT[c.m_nOnAtRow] = kRonT;
        r.KeepTransistorStates();
        for (int j = 1; j <= 6; ++j)
            r.m_dRT[j] = j == c.m_nGatedOn ? kRonT : kRoffT;
        r.m_nFailT[k] = c.m_nFailK;
        UpdateLeg(r, k, c.m_dItK, c.m_dItO);
        EXPECT_EQ(r.m_dRD[k] == kRonD, c.m_bConducts)
            << "on at row T" << c.m_nOnAtRow << ", gated T" << c.m_nGatedOn << ", currents "
            << c.m_dItK << " / " << c.m_dItO;
    }
}

TEST_P(CRclassInterlock, BrokenTransistorDoesNotBlockItsOwnDiode) {
    const int k = GetParam();
    CRclass r(16);
    SetDevices(r, 0);
    for (int j = 1; j <= 6; ++j)
        r.m_dRT[j] = kRoffT;
    r.m_dRT[k] = kRonT; // gated on, but broken
    r.m_nFailT[k] = 2;
    UpdateAllForward(r);
    EXPECT_EQ(r.m_dRD[k], kRonD);
    r.m_nFailT[k] = 0;
    r.m_dRT[k] = kRonT;
    UpdateAllForward(r);
    EXPECT_EQ(r.m_dRD[k], kRoffD);
}

// Outside the inverter the diodes follow their own voltage, whatever the transistors did.
TEST_P(CRclassInterlock, TakeOverOnlyInTheInverter) {
    const int k = GetParam();
    for (int condition = 1; condition < 4; ++condition) {
        CRclass r(16);
        SetDevices(r, condition);
        for (int j = 1; j <= 6; ++j)
            r.m_dRT[j] = kRonT;
        r.KeepTransistorStates();
        for (int j = 1; j <= 6; ++j)
            r.m_dRT[j] = kRoffT;
        UpdateLeg(r, k, -1.0, 1.0);
        EXPECT_EQ(r.m_dRD[k], kRoffD) << "condition " << condition;
    }
}

INSTANTIATE_TEST_SUITE_P(Diodes, CRclassInterlock, ::testing::Range(1, 7));

TEST(CRclass, ShortedTransistorWithTheOtherSwitchedOnStillShortsTheLink) {
    CRclass r(16);
    SetDevices(r, 0);
    r.m_nFailT[4] = 1;
    r.m_dRT[1] = kRonT;
    r.m_dRT[4] = kRoffT;
    UpdateAllForward(r);
    r.CalcR();
    EXPECT_EQ(Branch(r, kTBranch[1]), kRonT);
    EXPECT_EQ(Branch(r, kTBranch[4]), kRonT);
}

// Failure codes: condition, device (1..6 transistors, 7..12 diodes), code.
class CRclassFailure : public ::testing::TestWithParam<std::tuple<int, int, int>> {};

TEST_P(CRclassFailure, AppliesWhereTheConditionUsesTheDevice) {
    const auto [condition, device, code] = GetParam();
    const bool transistor = device <= 6;
    const int k = transistor ? device : device - 6;
    CRclass r(16);
    SetDevices(r, condition);
    r.m_dRLoad = 100;
    // The switching and conduction leave every transistor on and every diode off.
    for (int j = 1; j <= 6; ++j) {
        r.m_dRT[j] = kRonT;
        r.m_dRD[j] = kRoffD;
    }
    (transistor ? r.m_nFailT : r.m_nFailD)[k] = code;
    r.CalcR();
    const double got = Branch(r, transistor ? kTBranch[k] : kDBranch[k]);

    double expected = 0;
    switch (condition) {
    case 0:
        expected = transistor ? (code == 2 ? kRoffT : kRonT) : (code == 1 ? kRonD : kRoffD);
        break;
    case 1:
        expected = 0.0001;
        break;
    case 2:
        expected = transistor ? 10000.0 : (code == 1 ? kRonD : kRoffD);
        break;
    case 3:
        expected = 400.0;
        break;
    }
    EXPECT_EQ(got, expected);
    // A failure is re-applied every step, whatever the switching says next.
    if (condition == 0 && code != 0) {
        for (int j = 1; j <= 6; ++j) {
            r.m_dRT[j] = kRoffT;
            r.m_dRD[j] = kRonD;
        }
        r.CalcR();
        EXPECT_EQ(Branch(r, transistor ? kTBranch[k] : kDBranch[k]), expected);
    }
}

INSTANTIATE_TEST_SUITE_P(ConditionsDevicesCodes, CRclassFailure,
                         ::testing::Combine(::testing::Range(0, 4), ::testing::Values(1, 4, 9, 12),
                                            ::testing::Range(0, 3)));

TEST(CRclass, ThreePhaseLoadPutsFourTimesRlIntoEveryDevice) {
    CRclass r(16);
    SetDevices(r, 3);
    r.m_dRLoad = 100;
    r.CalcR();
    for (int b = 2; b < 14; ++b)
        EXPECT_EQ(Branch(r, b), 400.0) << "branch " << b;
    EXPECT_EQ(Branch(r, 1), 0.0);
}

TEST(CRclass, MatrixEntriesFollowTheCircuit) {
    CRclass r(16);
    SetDevices(r, 0);
    r.m_dD = 0.000904;
    r.m_nSwitch[0] = 1; // T1 on, T4 off; legs b and c lower on
    r.ApplySwitchStates();
    for (int k = 1; k <= 6; ++k)
        r.m_dRD[k] = kRoffD;
    r.CalcR();
    double** m = r.m_pR->m_pData;
    EXPECT_EQ(m[0][0], 1 / 0.0001);
    EXPECT_EQ(m[10][12], -1.0);
    EXPECT_EQ(m[11][13], -1.0);
    EXPECT_EQ(m[14][15], -1.0);
    EXPECT_EQ(m[15][15], 0.000904);
    // Each phase has 2.9 Ohm with multiplier 1 (hand sum of the coil table).
    EXPECT_NEAR(m[12][13], -2.9, 1e-12);
    EXPECT_EQ(m[13][12], m[12][13]);
    // R[12][12] holds T4 and D5; R[13][13] holds T5 and D6.
    EXPECT_NEAR(m[12][12], kRoffT + kRoffD + 5.8, 1e-9);
    EXPECT_NEAR(m[13][13], kRonT + kRoffD + 5.8, 1e-9);
    int nonZero = 0;
    for (int i = 0; i < 16; ++i)
        for (int j = 0; j < 16; ++j)
            nonZero += m[i][j] != 0.0;
    EXPECT_EQ(nonZero, 9);
}

TEST(CRclass, PhaseMultipliersScaleTheirCoils) {
    CRclass base(16);
    SetDevices(base, 1);
    base.CalcR();
    CRclass scaled(16);
    SetDevices(scaled, 1);
    scaled.m_dMra = 2;
    scaled.CalcR();
    double** b = base.m_pR->m_pData;
    double** s = scaled.m_pR->m_pData;
    EXPECT_NEAR(s[12][12] - b[12][12], 2.9, 1e-12);
    EXPECT_EQ(s[13][13], b[13][13]);
    EXPECT_EQ(s[12][13], b[12][13]);
    double phaseA = 0;
    for (int i : {0, 1, 2, 9, 10, 11})
        phaseA += scaled.m_dCoilR[i];
    EXPECT_NEAR(phaseA, 5.8, 1e-12);

    scaled.m_dMra = 1;
    scaled.m_dMrb = 3;
    scaled.CalcR();
    EXPECT_NEAR(s[12][13], -8.7, 1e-12);
    EXPECT_NEAR(s[12][12] - b[12][12], 5.8, 1e-12);
    EXPECT_NEAR(s[13][13] - b[13][13], 5.8, 1e-12);
}

TEST(CRclass, ModulateSwitchesOnlyTheInverter) {
    for (int condition = 0; condition < 4; ++condition) {
        CRclass r(16);
        SetDevices(r, condition);
        r.m_dTc = -1.0; // six-step, which sets 100 at zero frequency
        r.m_dOmegaU = 0;
        EXPECT_TRUE(r.Modulate(0.0, 0.000005));
        const bool switched = r.m_nSwitch[0] == 1;
        EXPECT_EQ(switched, condition == 0) << "condition " << condition;
        EXPECT_EQ(r.m_dRT[1], condition == 0 ? kRonT : 0.0);
    }
    CRclass r(16);
    SetDevices(r, 0);
    r.m_dTc = 1 / 5000.0;
    r.m_dUd = 200;
    r.m_dAmplitude = 0.5;
    r.m_dCarrierTime = 1000.0;
    r.Modulate(5.5, 0.000005);
    EXPECT_EQ(r.m_nSequenceSign, 1); // SVPWM started a carrier period
    EXPECT_EQ(r.m_dCarrierTime, 0.0);
}
