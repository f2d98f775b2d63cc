#include "Mclass.h"
#include "LiteralModel.h"
#include "ModelTolerance.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <utility>

namespace {

constexpr double kTurnsLength = 39.0 * 39.0 * 0.1035;

// Coils of each phase.
const int kPhaseA[6] = {0, 1, 2, 9, 10, 11};
const int kPhaseB[6] = {3, 4, 5, 12, 13, 14};
const int kPhaseC[6] = {6, 7, 8, 15, 16, 17};

void Configure(CMclass& m, std::uint32_t nh, double ml, double mm) {
    m.m_nNh = nh;
    m.m_dMl = ml;
    m.m_dMm = mm;
}

double SelfSum(const CMclass& m, const int* pCoils, double beta) {
    double s = 0;
    for (int i = 0; i < 6; ++i)
        s += m.Inductance(pCoils[i], pCoils[i], beta);
    return s;
}

} // namespace

TEST(CMclass, SelfInductanceOfCoilZeroAtZeroAngleIsRowZeroSum) {
    CMclass m(16);
    Configure(m, 3, 1.0, 1.0);
    // Row 0, column 0 of L0, A1, A2, A3 as documented.
    const double expected =
        (1.830739e-05 + 7.052835e-06 + 1.544457e-07 + 2.723333e-07) * kTurnsLength;
    EXPECT_NEAR(m.Inductance(0, 0, 0.0), expected, 1e-12 * expected);
}

TEST(CMclass, HarmonicCountAboveThreeActsAsThree) {
    CMclass m3(16), m7(16);
    Configure(m3, 3, 1.1, 0.9);
    Configure(m7, 7, 1.1, 0.9);
    for (double beta : {0.0, 0.3, 1.7, -2.2}) {
        EXPECT_EQ(m3.Inductance(1, 7, beta), m7.Inductance(1, 7, beta));
        m3.CalcM(beta);
        m7.CalcM(beta);
        EXPECT_EQ(m3.m_pM->m_pData[12][13], m7.m_pM->m_pData[12][13]);
    }
}

class CMclassHarmonics : public ::testing::TestWithParam<std::uint32_t> {};

TEST_P(CMclassHarmonics, InductanceIsSymmetricAndRepeatsEveryQuarterTurn) {
    CMclass m(16);
    Configure(m, GetParam(), 1.0, 1.0);
    for (double beta : {0.0, 0.4, 1.3, 2.9, -0.7})
        for (int i = 0; i < 18; ++i)
            for (int j = 0; j < 18; ++j) {
                const double v = m.Inductance(i, j, beta);
                EXPECT_EQ(v, m.Inductance(j, i, beta));
                EXPECT_NEAR(m.Inductance(i, j, beta + std::numbers::pi / 2), v, 1e-13);
            }
}

TEST_P(CMclassHarmonics, StatorBlockAgreesWithCoilPairSums) {
    CMclass m(16);
    const double aMl[3] = {1.0, 0.8, 1.25};
    const double aMm[3] = {1.0, 1.3, 0.0};
    for (int v = 0; v < 3; ++v) {
        Configure(m, GetParam(), aMl[v], aMm[v]);
        literal::CParams p{GetParam(), 101, aMl[v], aMm[v]};
        for (int n = 0; n < 60; ++n) {
            const double beta = -7.0 + 0.2371 * n;
            m.CalcM(beta);
            double ref[3];
            literal::MBlock(p, beta, ref);
            const double tol = 1e-10 * LargestMagnitude({ref[0], ref[1], ref[2]});
            double** a = m.m_pM->m_pData;
            EXPECT_NEAR(a[12][12], ref[0], tol);
            EXPECT_NEAR(a[12][13], ref[1], tol);
            EXPECT_EQ(a[13][12], a[12][13]);
            EXPECT_NEAR(a[13][13], ref[2], tol);
        }
    }
}

TEST_P(CMclassHarmonics, StatorLoopBlockIsPositiveDefinite) {
    CMclass m(16);
    Configure(m, GetParam(), 1.0, 1.0);
    for (int n = 0; n <= 2000; ++n) {
        const double beta = n * (std::numbers::pi / 2) / 2000;
        m.CalcM(beta);
        double** a = m.m_pM->m_pData;
        ASSERT_GT(a[12][12], 0.0) << "beta " << beta;
        ASSERT_GT(a[12][12] * a[13][13] - a[12][13] * a[13][12], 0.0) << "beta " << beta;
    }
}

TEST_P(CMclassHarmonics, CoilInductancesEqualSingleCalls) {
    CMclass m(18);
    Configure(m, GetParam(), 1.2, 0.7);
    double l[18][18];
    for (double beta : {0.0, 0.77, -3.1}) {
        m.CoilInductances(beta, l);
        for (int i = 0; i < 18; ++i)
            for (int j = 0; j < 18; ++j)
                EXPECT_EQ(l[i][j], m.Inductance(i, j, beta));
    }
}

// Phase sums of a coil's inductances, as the result rows take them; ml and mm changed between
// calls must be used.
TEST_P(CMclassHarmonics, CoilPhaseInductancesSumTheSingleCalls) {
    CMclass m(18);
    for (const auto& [ml, mm] : {std::pair(1.2, 0.7), std::pair(0.4, 1.9)}) {
        Configure(m, GetParam(), ml, mm);
        for (double beta : {0.0, 0.77, -3.1, 250.3}) {
            double sums[18][3];
            m.CoilPhaseInductances(beta, sums);
            for (int i = 0; i < 18; ++i)
                for (int p = 0; p < 3; ++p) {
                    double ref = 0.0, largest = 0.0;
                    for (int j = 0; j < 18; ++j)
                        if ((j / 3) % 3 == p) {
                            ref += m.Inductance(i, j, beta);
                            largest = std::max(largest, std::fabs(m.Inductance(i, j, beta)));
                        }
                    EXPECT_NEAR(sums[i][p], ref, 1e-13 * largest)
                        << "coil " << i << " phase " << p << " beta " << beta;
                }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Nh, CMclassHarmonics, ::testing::Values(0u, 1u, 2u, 3u));

TEST(CMclass, WithoutHarmonicsStatorBlockDoesNotDependOnAngle) {
    CMclass m(16);
    Configure(m, 0, 1.0, 1.0);
    m.CalcM(0.0);
    const double a11 = m.m_pM->m_pData[12][12], a12 = m.m_pM->m_pData[12][13],
                 a22 = m.m_pM->m_pData[13][13];
    for (double beta : {0.1, 0.9, 2.5, -4.0, 100.0}) {
        m.CalcM(beta);
        EXPECT_DOUBLE_EQ(m.m_pM->m_pData[12][12], a11);
        EXPECT_DOUBLE_EQ(m.m_pM->m_pData[12][13], a12);
        EXPECT_DOUBLE_EQ(m.m_pM->m_pData[13][13], a22);
    }
}

TEST(CMclass, WithoutMutualMultiplierStatorBlockHoldsSelfInductances) {
    CMclass m(16);
    Configure(m, 3, 1.0, 0.0);
    for (double beta : {0.0, 0.35, 1.9}) {
        m.CalcM(beta);
        double** a = m.m_pM->m_pData;
        const double sa = SelfSum(m, kPhaseA, beta), sb = SelfSum(m, kPhaseB, beta),
                     sc = SelfSum(m, kPhaseC, beta);
        EXPECT_NEAR(a[12][12], sa + sb, 1e-12 * (sa + sb));
        EXPECT_NEAR(a[13][13], sb + sc, 1e-12 * (sb + sc));
        EXPECT_NEAR(a[12][13], -sb, 1e-12 * sb);
    }
}

TEST(CMclass, MultipliersScaleSelfAndMutualPartsSeparately) {
    // The block is linear in (ml, mm): ml = 2, mm = 3 is twice the self part plus three times
    // the mutual part.
    CMclass m(16);
    const double beta = 0.61;
    double self[3], mutual[3];
    Configure(m, 3, 1.0, 0.0);
    m.CalcM(beta);
    self[0] = m.m_pM->m_pData[12][12];
    self[1] = m.m_pM->m_pData[12][13];
    self[2] = m.m_pM->m_pData[13][13];
    Configure(m, 3, 0.0, 1.0);
    m.CalcM(beta);
    mutual[0] = m.m_pM->m_pData[12][12];
    mutual[1] = m.m_pM->m_pData[12][13];
    mutual[2] = m.m_pM->m_pData[13][13];
    Configure(m, 3, 2.0, 3.0);
    m.CalcM(beta);
    const double tol = 1e-12 * LargestMagnitude({self[0], mutual[0], self[2], mutual[2]});
    EXPECT_NEAR(m.m_pM->m_pData[12][12], 2 * self[0] + 3 * mutual[0], tol);
    EXPECT_NEAR(m.m_pM->m_pData[12][13], 2 * self[1] + 3 * mutual[1], tol);
    EXPECT_NEAR(m.m_pM->m_pData[13][13], 2 * self[2] + 3 * mutual[2], tol);
}

TEST(CMclass, MultipliersWrittenBetweenCallsAreUsed) {
    CMclass m(16);
    Configure(m, 2, 1.0, 1.0);
    m.CalcM(0.4);
    m.m_dMl = 1.7;
    m.m_dMm = 0.6;
    m.CalcM(0.4);
    double ref[3];
    literal::MBlock({2, 101, 1.7, 0.6}, 0.4, ref);
    EXPECT_NEAR(m.m_pM->m_pData[12][12], ref[0], 1e-10 * std::fabs(ref[0]));
    EXPECT_NEAR(m.m_pM->m_pData[13][13], ref[2], 1e-10 * std::fabs(ref[2]));
}

namespace {

struct CNetworkEntry {
    int m_nRow, m_nCol;
    double m_dValue;
};

} // namespace

TEST(CMclass, NetworkRowsFollowBranchResistances) {
    CMclass m(16);
    Configure(m, 3, 1.0, 1.0);
    double r[14], coil[18] = {};
    for (int i = 0; i < 14; ++i)
        r[i] = 1.0 + 0.37 * i * i; // distinct, so a swapped index shows
    ASSERT_TRUE(m.SetResistances(r, coil));
    m.m_dJ = 0.25;
    m.CalcM(0.3);
    const CNetworkEntry expected[] = {
        {0, 0, r[0]},          {0, 1, r[0]},
        {1, 0, r[0]},          {1, 1, r[0] + r[2] + r[4]},
        {1, 2, -r[2]},         {1, 3, -r[4]},
        {2, 1, -r[2]},         {2, 2, r[2] + r[3]},
        {2, 4, -r[3]},         {3, 1, -r[4]},
        {3, 3, r[4] + r[5]},   {3, 4, -r[5]},
        {3, 10, -r[5]},        {4, 2, -r[3]},
        {4, 3, -r[5]},         {4, 4, r[3] + r[5] + r[6] + r[8]},
        {4, 5, -r[6]},         {4, 6, -r[8]},
        {4, 10, r[5] + r[8]},  {5, 4, -r[6]},
        {5, 5, r[6] + r[7]},   {5, 7, -r[7]},
        {6, 4, -r[8]},         {6, 6, r[8] + r[9]},
        {6, 7, -r[9]},         {6, 10, -r[8]},
        {6, 11, -r[9]},        {7, 5, -r[7]},
        {7, 6, -r[9]},         {7, 7, r[7] + r[9] + r[10] + r[12]},
        {7, 8, -r[10]},        {7, 9, -r[12]},
        {7, 11, r[9] + r[12]}, {8, 7, -r[10]},
        {8, 8, r[10] + r[11]}, {9, 7, -r[12]},
        {9, 9, r[12] + r[13]}, {9, 11, -r[12]},
        {10, 10, 1.0},         {11, 11, 1.0},
        {12, 3, -r[5]},        {12, 4, r[5] + r[8]},
        {12, 6, -r[8]},        {13, 6, -r[9]},
        {13, 7, r[9] + r[12]}, {13, 9, -r[12]},
        {14, 14, 1.0},         {15, 15, 0.25},
    };
    bool named[16][16] = {};
    for (const CNetworkEntry& e : expected) {
        EXPECT_DOUBLE_EQ(m.m_pM->m_pData[e.m_nRow][e.m_nCol], e.m_dValue)
            << "[" << e.m_nRow << "][" << e.m_nCol << "]";
        named[e.m_nRow][e.m_nCol] = true;
    }
    named[12][12] = named[12][13] = named[13][12] = named[13][13] = true;
    for (int i = 0; i < 16; ++i)
        for (int j = 0; j < 16; ++j)
            if (!named[i][j]) {
                EXPECT_EQ(m.m_pM->m_pData[i][j], 0.0) << "[" << i << "][" << j << "]";
            }
}

TEST(CMclass, DcLinkBranchDoesNotEnterTheMatrix) {
    CMclass m1(16), m2(16);
    Configure(m1, 1, 1.0, 1.0);
    Configure(m2, 1, 1.0, 1.0);
    double r[14], coil[18] = {};
    for (int i = 0; i < 14; ++i)
        r[i] = 0.5 + i;
    m1.SetResistances(r, coil);
    r[1] = 1e6;
    m2.SetResistances(r, coil);
    m1.CalcM(0.2);
    m2.CalcM(0.2);
    for (int i = 0; i < 16; ++i)
        for (int j = 0; j < 16; ++j)
            EXPECT_EQ(m1.m_pM->m_pData[i][j], m2.m_pM->m_pData[i][j]);
}

TEST(CMclass, InertiaDefaultsToOneMicroKilogramSquareMetre) {
    CMclass m(16);
    Configure(m, 0, 1.0, 1.0);
    double r[14] = {}, coil[18] = {};
    m.SetResistances(r, coil);
    m.CalcM(0.0);
    EXPECT_EQ(m.m_pM->m_pData[15][15], 1e-06);
}
