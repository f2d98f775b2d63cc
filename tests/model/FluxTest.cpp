#include "Gclass.h"
#include "LiteralModel.h"
#include "ModelTolerance.h"
#include "Tables.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

namespace {

// The program's angle constant: the angle reduction and the magnet shifts use it.
constexpr double kPiProgram = 3.141592;
constexpr double kDegree = std::numbers::pi / 180;

/// Distance of alpha from the nearest reduction boundary (a multiple of 2 * 3.141592).
double BoundaryDistance(double alpha) {
    const double period = 2 * kPiProgram;
    const double r = alpha - period * std::floor(alpha / period);
    return std::min(r, period - r);
}

/// True when no arc end of any coil lies within d of a reduction boundary at rotor angle beta.
bool EndsClearOfBoundaries(double beta, double d) {
    for (int k = 0; k < 18; ++k) {
        const double theta = literal::CoilAxis(k), sigma = literal::CoilSpan(k);
        if (BoundaryDistance(sigma / 2.0 + theta - beta) < d ||
            BoundaryDistance(theta - sigma / 2.0 - beta) < d)
            return false;
    }
    return true;
}

} // namespace

TEST(CGclassFlux, MagnetOneIsMagnetZeroTurnedAQuarterWithOppositeSign) {
    CGclass g(18);
    g.m_nNb = 101;
    // alpha in [pi/2, 2 pi): neither argument crosses the angle reduction
    for (double alpha = kPiProgram / 2; alpha < 2 * kPiProgram; alpha += 0.0917)
        EXPECT_NEAR(g.FluxDensity(1, alpha), -g.FluxDensity(0, alpha - kPiProgram / 2), 1e-14);
}

TEST(CGclassFlux, FluxDensityRepeatsAfterOneReducedTurn) {
    CGclass g(18);
    g.m_nNb = 101;
    for (int m = 0; m < 4; ++m)
        for (double alpha = 0.013; alpha < 6.2; alpha += 0.31) {
            EXPECT_NEAR(g.FluxDensity(m, alpha + 2 * kPiProgram), g.FluxDensity(m, alpha), 1e-12);
            EXPECT_NEAR(g.FluxDensity(m, alpha - 6 * kPiProgram), g.FluxDensity(m, alpha), 1e-12);
        }
}

TEST(CGclassFlux, MagnetFluxGrowsByTheMeanTermOverATurn) {
    CGclass g(18);
    g.m_nNb = 101;
    const double a0 = 0.000624196878000133; // documented a_0
    const double perTurn = a0 * kPiProgram * 0.1035 * 0.0465;
    for (double alpha : {0.2, 1.7, 4.4, -3.0})
        EXPECT_NEAR(g.MagnetFlux(0, alpha + 2 * kPiProgram) - g.MagnetFlux(0, alpha), perTurn,
                    1e-14);
}

TEST(CGclassFlux, WithoutHarmonicsDensityIsConstantAndFluxLinear) {
    CGclass g(18);
    const double a0 = 0.000624196878000133;
    for (std::uint32_t nb : {0u, 1u}) {
        g.m_nNb = nb;
        for (double alpha : {-4.0, 0.0, 1.0, 5.5}) {
            EXPECT_EQ(g.FluxDensity(0, alpha), a0 / 2);
            EXPECT_EQ(g.FluxDensity(3, alpha), -a0 / 2);
            EXPECT_NEAR(g.MagnetFlux(2, alpha), a0 / 2 * alpha * 0.1035 * 0.0465, 1e-20);
        }
    }
}

TEST(CGclassFlux, MagnetsOutsideZeroToThreeGiveZero) {
    CGclass g(18);
    g.m_nNb = 101;
    for (int m : {-1, 4, 17})
        for (double x : {0.0, 0.9, 4.1}) {
            EXPECT_EQ(g.FluxDensity(m, x), 0.0);
            EXPECT_EQ(g.MagnetFlux(m, x), 0.0);
            EXPECT_EQ(g.MagnetFluxDensityArc(m, x), 0.0);
            EXPECT_EQ(g.CoilPmFlux(5, m, x), 0.0);
            EXPECT_EQ(g.CoilPmFluxDerivative(5, m, x), 0.0);
        }
}

TEST(CGclassFlux, ProfileOfMagnetZeroIsTheDocumentedPulse) {
    CGclass g(18);
    g.m_nNb = 101; // harmonics 1..100
    const struct {
        double m_dDeg, m_dTesla;
    } points[] = {{0, 0.2427},   {5, 0.4736},   {15, 0.3823},  {30, 0.1422},
                  {355, 0.4848}, {45, -0.0422}, {90, -0.0698}, {180, -0.069}};
    for (const auto& pt : points)
        EXPECT_NEAR(g.FluxDensity(0, pt.m_dDeg * kDegree), pt.m_dTesla, 0.003)
            << pt.m_dDeg << " deg";
}

TEST(CGclassFlux, HarmonicsBeyondTheTableAreZero) {
    // Bound 102 would read row 101: rows beyond 100 are (0, 0), so it equals bound 101.
    CGclass g101(18), g102(18), g500(18);
    g101.m_nNb = 101;
    g102.m_nNb = 102;
    g500.m_nNb = 500;
    for (double x : {0.0, 0.4, 2.9, 5.1}) {
        EXPECT_EQ(g102.FluxDensity(1, x), g101.FluxDensity(1, x));
        EXPECT_EQ(g500.FluxDensity(1, x), g101.FluxDensity(1, x));
        EXPECT_EQ(g500.MagnetFlux(3, x), g101.MagnetFlux(3, x));
        EXPECT_EQ(g102.MagnetFlux(2, x), g101.MagnetFlux(2, x));
        EXPECT_EQ(g102.CoilPmFluxDerivative(4, 3, x), g101.CoilPmFluxDerivative(4, 3, x));
    }
}

TEST(CGclassFlux, MagnetFluxDifferentiatesToFluxPerRadian) {
    CGclass g(18);
    const double step = 1e-6;
    for (std::uint32_t nb : {2u, 30u, 101u}) {
        g.m_nNb = nb;
        for (int m = 0; m < 4; ++m)
            for (double alpha = 0.05; alpha < 6.2; alpha += 0.23) {
                const double diff =
                    (g.MagnetFlux(m, alpha + step) - g.MagnetFlux(m, alpha - step)) / (2 * step);
                EXPECT_NEAR(g.MagnetFluxDensityArc(m, alpha), diff, 1e-8)
                    << "Nb " << nb << " m " << m << " alpha " << alpha;
            }
    }
}

TEST(CGclassFlux, CoilFluxDifferentiatesToItsDerivative) {
    CGclass g(18);
    const double step = 1e-6;
    int checked = 0;
    for (std::uint32_t nb : {2u, 30u, 101u}) {
        g.m_nNb = nb;
        for (double beta = -3.0; beta < 3.5; beta += 0.61) {
            // the reduction with 2 * 3.141592 makes the series jump by ~1e-6 at its boundaries
            if (!EndsClearOfBoundaries(beta, 100 * step))
                continue;
            for (int k = 0; k < 18; ++k)
                for (int m = 0; m < 4; ++m) {
                    const double diff =
                        (g.CoilPmFlux(k, m, beta + step) - g.CoilPmFlux(k, m, beta - step)) /
                        (2 * step);
                    EXPECT_NEAR(g.CoilPmFluxDerivative(k, m, beta), diff, 1e-7)
                        << "Nb " << nb << " coil " << k << " magnet " << m << " beta " << beta;
                    ++checked;
                }
        }
    }
    EXPECT_GT(checked, 1000);
}

TEST(CGclassFlux, CoilFluxSumsAgreeWithLiteralSumOverMagnets) {
    for (std::uint32_t nb : {0u, 1u, 5u, 101u, 102u}) {
        CGclass g(16);
        g.m_nNb = nb;
        const literal::CParams p{3, nb, 1.0, 1.0};
        for (double beta = -8.0; beta < 8.0; beta += 0.537) {
            double sums[18];
            g.CoilPmFluxSums(beta, sums);
            double ref[18], largest = 0;
            for (int k = 0; k < 18; ++k) {
                ref[k] = 0;
                for (int m = 0; m < 4; ++m)
                    ref[k] += literal::CoilPmFlux(p, k, m, beta);
                largest = std::max(largest, std::fabs(ref[k]));
            }
            for (int k = 0; k < 18; ++k)
                EXPECT_NEAR(sums[k], ref[k], 1e-10 * largest + 1e-18)
                    << "Nb " << nb << " coil " << k << " beta " << beta;
        }
    }
}

// The folded series keep each arc end's turn count: at and around every reduction boundary,
// visited out of order and with Nb changing, they follow the literal sums on the side of the
// boundary the reduction puts them (the wrong side would be off by ~1e-6 of the terms).
TEST(CGclassFlux, FoldedSeriesFollowTheReductionAtItsBoundaries) {
    CGclass g(16);
    const double period = 2 * kPiProgram;
    int checked = 0;
    for (int k = 0; k < 18; k += 5)
        for (double end : {kPiProgram * 0.0, 1.0})
            for (int turn : {-1, 2}) {
                const double theta = literal::CoilAxis(k), sigma = literal::CoilSpan(k);
                const double arc = end == 0.0 ? sigma / 2.0 + theta : theta - sigma / 2.0;
                const double boundary = arc - turn * period;
                for (double offset : {1e-7, -1e-13, 0.0, 1e-13, -1e-7, 0.0}) {
                    const double beta = boundary + offset;
                    const std::uint32_t nb = checked % 3 == 0 ? 3u : 40u;
                    g.m_nNb = nb;
                    const literal::CParams p{0, nb, 1.0, 1.0};
                    double sums[18], ref[18], largest = 0;
                    g.CoilPmFluxSums(beta, sums);
                    for (int c = 0; c < 18; ++c) {
                        ref[c] = 0;
                        for (int m = 0; m < 4; ++m)
                            ref[c] += literal::CoilPmFlux(p, c, m, beta);
                        largest = std::max(largest, std::fabs(ref[c]));
                    }
                    for (int c = 0; c < 18; ++c)
                        EXPECT_NEAR(sums[c], ref[c], 1e-10 * largest)
                            << "coil " << c << " beta " << beta << " Nb " << nb;
                    double out[2], pm[2];
                    g.CalcPmTerms(out, beta);
                    literal::PmTerms(p, beta, pm);
                    const double tol = 1e-10 * literal::PmScale(p, beta);
                    EXPECT_NEAR(out[0], pm[0], tol) << "beta " << beta << " Nb " << nb;
                    EXPECT_NEAR(out[1], pm[1], tol) << "beta " << beta << " Nb " << nb;
                    ++checked;
                }
            }
    EXPECT_EQ(checked, 96);
}
