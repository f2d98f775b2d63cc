#include "Gclass.h"
#include "LiteralModel.h"
#include "Mclass.h"
#include "ModelTolerance.h"

#include <gtest/gtest.h>

#include <cmath>
#include <tuple>

namespace {

void Configure(CGclass& g, std::uint32_t nh, std::uint32_t nb, double ml, double mm) {
    g.m_nNh = nh;
    g.m_nNb = nb;
    g.m_dMl = ml;
    g.m_dMm = mm;
}

void Configure(CMclass& m, std::uint32_t nh, double ml, double mm) {
    m.m_nNh = nh;
    m.m_dMl = ml;
    m.m_dMm = mm;
}

// Loop currents for the torque checks: both signs, unequal sizes, and one loop idle.
const double kCurrents[][2] = {{3.0, -1.5}, {-12.0, 7.0}, {0.0, 5.0}, {8.0, 0.0}};

} // namespace

TEST(CGclass, InductanceDerivativeMatchesCentralDifferenceOfInductance) {
    for (std::uint32_t nh = 1; nh <= 3; ++nh) {
        CGclass g(18);
        CMclass m(18);
        Configure(g, nh, 101, 1.15, 0.85);
        Configure(m, nh, 1.15, 0.85);
        const double step = 1e-5;
        for (double beta : {0.0, 0.21, 1.4, -2.6})
            for (int i = 0; i < 18; i += 1)
                for (int j = 0; j < 18; j += 5) {
                    const double diff =
                        (m.Inductance(i, j, beta + step) - m.Inductance(i, j, beta - step)) /
                        (2 * step);
                    // truncation of the difference: step^2 (12)^3 |L| / 6, |L| below 1e-2 H
                    EXPECT_NEAR(g.InductanceDerivative(i, j, beta), diff, 1e-9)
                        << "Nh " << nh << " coils " << i << ", " << j << " beta " << beta;
                }
    }
}

TEST(CGclass, GIsTheAngleDerivativeOfTheStatorBlockOfM) {
    // Mended sign: G holds +dL/dbeta, so that the loop rows receive -omega (dL/dbeta) i.
    CGclass g(16);
    CMclass m(16);
    Configure(g, 3, 101, 1.0, 1.0);
    Configure(m, 3, 1.0, 1.0);
    const double step = 1e-5;
    for (double beta : {0.1, 0.5, 1.2}) {
        double plus[3], minus[3];
        m.CalcM(beta + step);
        plus[0] = m.m_pM->m_pData[12][12];
        plus[1] = m.m_pM->m_pData[12][13];
        plus[2] = m.m_pM->m_pData[13][13];
        m.CalcM(beta - step);
        minus[0] = m.m_pM->m_pData[12][12];
        minus[1] = m.m_pM->m_pData[12][13];
        minus[2] = m.m_pM->m_pData[13][13];
        g.CalcG(beta);
        const double scale = LargestMagnitude(
            {g.m_pG->m_pData[12][12], g.m_pG->m_pData[12][13], g.m_pG->m_pData[13][13]});
        ASSERT_GT(scale, 0.0);
        EXPECT_NEAR(g.m_pG->m_pData[12][12], (plus[0] - minus[0]) / (2 * step), 1e-6 * scale);
        EXPECT_NEAR(g.m_pG->m_pData[12][13], (plus[1] - minus[1]) / (2 * step), 1e-6 * scale);
        EXPECT_NEAR(g.m_pG->m_pData[13][13], (plus[2] - minus[2]) / (2 * step), 1e-6 * scale);
    }
}

TEST(CGclass, WithoutHarmonicsGIsZeroAndTorqueIsMagnetPart) {
    CGclass g(16);
    Configure(g, 0, 101, 1.0, 1.0);
    for (double beta : {0.0, 0.3, 2.0}) {
        g.CalcG(beta);
        for (int i = 0; i < 16; ++i)
            for (int j = 0; j < 16; ++j)
                EXPECT_EQ(g.m_pG->m_pData[i][j], 0.0);
        double out[2];
        ASSERT_TRUE(g.CalcPmTerms(out, beta));
        for (const auto& c : kCurrents)
            EXPECT_NEAR(g.CalcTorque(c[0], c[1], beta), c[0] * out[0] + c[1] * out[1],
                        1e-13 * LargestMagnitude({c[0] * out[0], c[1] * out[1]}));
    }
}

TEST(CGclass, OnlyTheStatorBlockOfGIsWritten) {
    CGclass g(16);
    Configure(g, 3, 101, 1.3, 0.9);
    for (double beta : {0.0, 0.45, 1.1, 2.3}) {
        g.CalcG(beta);
        for (int i = 0; i < 16; ++i)
            for (int j = 0; j < 16; ++j)
                if ((i != 12 && i != 13) || (j != 12 && j != 13)) {
                    EXPECT_EQ(g.m_pG->m_pData[i][j], 0.0);
                }
        EXPECT_EQ(g.m_pG->m_pData[12][13], g.m_pG->m_pData[13][12]);
    }
}

TEST(CGclass, ZeroCurrentsGiveZeroTorque) {
    CGclass g(16);
    Configure(g, 3, 101, 1.0, 1.0);
    for (double beta : {0.0, 0.7, 3.3})
        EXPECT_EQ(g.CalcTorque(0.0, 0.0, beta), 0.0);
}

class CGclassTorque : public ::testing::TestWithParam<std::uint32_t> {};

TEST_P(CGclassTorque, ReversedCurrentsKeepReluctanceAndReverseMagnetPart) {
    CGclass g(16);
    Configure(g, GetParam(), 40, 1.0, 1.0);
    for (double beta : {0.05, 0.8, 2.4})
        for (const auto& c : kCurrents) {
            double out[2];
            g.CalcPmTerms(out, beta);
            const double forward = g.CalcTorque(c[0], c[1], beta);
            const double backward = g.CalcTorque(-c[0], -c[1], beta);
            const double magnet = c[0] * out[0] + c[1] * out[1];
            const literal::CTorque ref =
                literal::TorqueParts({GetParam(), 40, 1.0, 1.0}, c[0], c[1], beta);
            const double tol =
                1e-10 * LargestMagnitude({ref.m_dMagnet, ref.m_dReluctance, forward});
            EXPECT_NEAR((forward - backward) / 2, magnet, tol);
            EXPECT_NEAR((forward + backward) / 2, ref.m_dReluctance, tol);
        }
}

TEST_P(CGclassTorque, LoopEnergyOfGIsTwiceTheReluctanceTorque) {
    // i^T G i = 2 (Te - i1 out[0] - i2 out[1]): the torque is half the loop derivative of the
    // co-energy, which holds only with G = +dL/dbeta.
    CGclass g(16);
    Configure(g, GetParam(), 101, 1.1, 0.95);
    for (double beta : {0.0, 0.37, 1.05, -2.0})
        for (const auto& c : kCurrents) {
            const double te = g.CalcTorque(c[0], c[1], beta);
            g.CalcG(beta);
            double out[2];
            g.CalcPmTerms(out, beta);
            double** G = g.m_pG->m_pData;
            const double energy =
                c[0] * c[0] * G[12][12] + 2 * c[0] * c[1] * G[12][13] + c[1] * c[1] * G[13][13];
            const double magnet = c[0] * out[0] + c[1] * out[1];
            EXPECT_NEAR(energy, 2 * (te - magnet), 1e-10 * LargestMagnitude({energy, te, magnet}));
        }
}

INSTANTIATE_TEST_SUITE_P(Nh, CGclassTorque, ::testing::Values(0u, 1u, 2u, 3u));

// The fast evaluation against the literal formulas: Nh, Nb, and the multiplier pair.
class CGclassAgainstLiteral
    : public ::testing::TestWithParam<std::tuple<std::uint32_t, std::uint32_t, int>> {};

TEST_P(CGclassAgainstLiteral, EvaluationAgreesWithLiteralFormulas) {
    const auto [nh, nb, variant] = GetParam();
    const double aMl[3] = {1.0, 0.9, 1.4};
    const double aMm[3] = {1.0, 1.2, 0.3};
    const literal::CParams p{nh, nb, aMl[variant], aMm[variant]};
    CGclass g(16);
    Configure(g, nh, nb, p.m_dMl, p.m_dMm);
    for (int n = 0; n < 14; ++n) {
        // spans several turns both ways, so every arc end crosses the angle reduction; the
        // last two are far out, as after a long run
        const double beta = n < 12 ? -9.3 + 1.6123 * n : (n == 12 ? 1234.567 : -4321.0987);
        const double i1 = 10.0 * std::sin(0.7 * n), i2 = 8.0 * std::cos(1.3 * n);
        // same order as the run: torque, then G and the magnet terms at the same angle
        const double te = g.CalcTorque(i1, i2, beta);
        g.CalcG(beta);
        double out[2];
        g.CalcPmTerms(out, beta);

        const literal::CTorque t = literal::TorqueParts(p, i1, i2, beta);
        const double pmScale = literal::PmScale(p, beta);
        EXPECT_NEAR(te, t.m_dReluctance + t.m_dMagnet,
                    1e-10 * LargestMagnitude({t.m_dReluctance, t.m_dMagnet,
                                              (std::fabs(i1) + std::fabs(i2)) * pmScale}))
            << "beta " << beta;
        double pm[2];
        literal::PmTerms(p, beta, pm);
        const double pmTol = 1e-10 * LargestMagnitude({pm[0], pm[1], pmScale});
        EXPECT_NEAR(out[0], pm[0], pmTol) << "beta " << beta;
        EXPECT_NEAR(out[1], pm[1], pmTol) << "beta " << beta;
        double gb[3];
        literal::GBlock(p, beta, gb);
        const double gTol = 1e-10 * LargestMagnitude({gb[0], gb[1], gb[2]});
        double** G = g.m_pG->m_pData;
        EXPECT_NEAR(G[12][12], gb[0], gTol) << "beta " << beta;
        EXPECT_NEAR(G[12][13], gb[1], gTol) << "beta " << beta;
        EXPECT_NEAR(G[13][13], gb[2], gTol) << "beta " << beta;
    }
}

INSTANTIATE_TEST_SUITE_P(Grid, CGclassAgainstLiteral,
                         ::testing::Combine(::testing::Values(0u, 1u, 2u, 3u),
                                            ::testing::Values(0u, 2u, 9u, 101u, 102u),
                                            ::testing::Values(0, 1, 2)));

TEST(CGclass, ParametersWrittenBetweenCallsAtTheSameAngleAreUsed) {
    CGclass g(16);
    Configure(g, 1, 20, 1.0, 1.0);
    const double beta = 0.83;
    g.CalcTorque(2.0, -1.0, beta);
    g.CalcG(beta);
    double out[2];
    g.CalcPmTerms(out, beta);
    Configure(g, 3, 90, 0.7, 1.3);
    const literal::CParams p{3, 90, 0.7, 1.3};
    const double te = g.CalcTorque(2.0, -1.0, beta);
    const literal::CTorque t = literal::TorqueParts(p, 2.0, -1.0, beta);
    EXPECT_NEAR(te, t.m_dReluctance + t.m_dMagnet,
                1e-10 * LargestMagnitude({t.m_dReluctance, t.m_dMagnet}));
    g.CalcG(beta);
    double gb[3];
    literal::GBlock(p, beta, gb);
    EXPECT_NEAR(g.m_pG->m_pData[12][12], gb[0], 1e-10 * LargestMagnitude({gb[0], gb[2]}));
    g.CalcPmTerms(out, beta);
    double pm[2];
    literal::PmTerms(p, beta, pm);
    EXPECT_NEAR(out[0], pm[0], 1e-10 * LargestMagnitude({pm[0], pm[1]}));
}
