// One right-hand-side evaluation of the motor model (torque, M, G, magnet terms at the same
// rotor angle) at NhInd = 3, NhFlux = 99 (bound 101): the literal formulas against CMclass and
// CGclass. Prints the time per evaluation of both, their ratio and the largest disagreement
// relative to the largest magnitude involved in each quantity.
//
// Usage: bench_model [evaluations of the literal form, default 400]

#include "Gclass.h"
#include "LiteralModel.h"
#include "Mclass.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

struct CPoint {
    double m_dBeta, m_dI1, m_dI2;
};

/// Rotor angles over several turns both ways and loop currents of tens of amperes.
std::vector<CPoint> MakePoints(int n) {
    std::vector<CPoint> points;
    for (int k = 0; k < n; ++k) {
        const double beta =
            -20.0 + 40.0 * (k * 0.6180339887498949 - std::floor(k * 0.6180339887498949));
        points.push_back({beta, 30.0 * std::sin(1.3 * k), 25.0 * std::cos(0.7 * k)});
    }
    return points;
}

struct CResult {
    double m_adM[3], m_adG[3], m_adPm[2], m_dTe;
};

double Seconds(std::chrono::steady_clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

} // namespace

int main(int argc, char** argv) {
    const int nLiteral = argc > 1 ? std::max(1, std::atoi(argv[1])) : 400;
    const literal::CParams p{3, 101, 1.0, 1.0};
    const std::vector<CPoint> points = MakePoints(nLiteral);

    // literal form
    std::vector<CResult> ref(points.size());
    const auto t0 = std::chrono::steady_clock::now();
    for (std::size_t k = 0; k < points.size(); ++k) {
        const CPoint& pt = points[k];
        CResult& r = ref[k];
        r.m_dTe = literal::Torque(p, pt.m_dI1, pt.m_dI2, pt.m_dBeta);
        literal::MBlock(p, pt.m_dBeta, r.m_adM);
        literal::GBlock(p, pt.m_dBeta, r.m_adG);
        literal::PmTerms(p, pt.m_dBeta, r.m_adPm);
    }
    const double literalTime = Seconds(std::chrono::steady_clock::now() - t0) / points.size();

    // fast form, in the run's order
    CMclass m(16);
    CGclass g(16);
    m.m_nNh = g.m_nNh = p.m_nNh;
    m.m_dMl = g.m_dMl = p.m_dMl;
    m.m_dMm = g.m_dMm = p.m_dMm;
    g.m_nNb = p.m_nNb;
    double branch[14], coil[18];
    std::fill(branch, branch + 14, 0.01);
    std::fill(coil, coil + 18, 0.1);
    m.SetResistances(branch, coil);
    std::vector<CResult> fast(points.size());
    auto evaluate = [&](const CPoint& pt, CResult& r) {
        r.m_dTe = g.CalcTorque(pt.m_dI1, pt.m_dI2, pt.m_dBeta);
        m.CalcM(pt.m_dBeta);
        g.CalcG(pt.m_dBeta);
        g.CalcPmTerms(r.m_adPm, pt.m_dBeta);
        r.m_adM[0] = m.m_pM->m_pData[12][12];
        r.m_adM[1] = m.m_pM->m_pData[12][13];
        r.m_adM[2] = m.m_pM->m_pData[13][13];
        r.m_adG[0] = g.m_pG->m_pData[12][12];
        r.m_adG[1] = g.m_pG->m_pData[12][13];
        r.m_adG[2] = g.m_pG->m_pData[13][13];
    };
    const int repeats = 200;
    double checksum = 0;
    const auto t1 = std::chrono::steady_clock::now();
    for (int rep = 0; rep < repeats; ++rep)
        for (std::size_t k = 0; k < points.size(); ++k) {
            evaluate(points[k], fast[k]);
            checksum += fast[k].m_dTe;
        }
    const double fastTime = Seconds(std::chrono::steady_clock::now() - t1) /
                            (static_cast<double>(repeats) * points.size());

    // disagreement, each quantity relative to the largest magnitude involved in it
    double worst = 0;
    for (std::size_t k = 0; k < points.size(); ++k) {
        const CResult &a = fast[k], &b = ref[k];
        const CPoint& pt = points[k];
        const double pmScale = literal::PmScale(p, pt.m_dBeta);
        const literal::CTorque parts = literal::TorqueParts(p, pt.m_dI1, pt.m_dI2, pt.m_dBeta);
        const double mScale =
            std::max({std::fabs(b.m_adM[0]), std::fabs(b.m_adM[1]), std::fabs(b.m_adM[2])});
        const double gScale =
            std::max({std::fabs(b.m_adG[0]), std::fabs(b.m_adG[1]), std::fabs(b.m_adG[2])});
        const double pScale = std::max({std::fabs(b.m_adPm[0]), std::fabs(b.m_adPm[1]), pmScale});
        const double tScale = std::max({std::fabs(parts.m_dReluctance), std::fabs(parts.m_dMagnet),
                                        (std::fabs(pt.m_dI1) + std::fabs(pt.m_dI2)) * pmScale});
        for (int e = 0; e < 3; ++e) {
            worst = std::max(worst, std::fabs(a.m_adM[e] - b.m_adM[e]) / mScale);
            worst = std::max(worst, std::fabs(a.m_adG[e] - b.m_adG[e]) / gScale);
        }
        for (int e = 0; e < 2; ++e)
            worst = std::max(worst, std::fabs(a.m_adPm[e] - b.m_adPm[e]) / pScale);
        worst = std::max(worst, std::fabs(a.m_dTe - b.m_dTe) / tScale);
    }

    std::printf(
        "model evaluation (torque, M, G, magnet terms), NhInd = 3, NhFlux = 99, %zu angles\n",
        points.size());
    std::printf("literal: %10.3f us per evaluation\n", literalTime * 1e6);
    std::printf("fast:    %10.3f us per evaluation\n", fastTime * 1e6);
    std::printf("ratio:   %10.1f (target at least 50)\n", literalTime / fastTime);
    std::printf("largest disagreement: %.3g of the largest magnitude (target 1e-10)\n", worst);
    std::printf("(checksum %.6g)\n", checksum);
    return worst <= 1e-10 && literalTime / fastTime >= 50 ? 0 : 1;
}
