#pragma once

// Straight transcription of the motor model formulas: coil-pair double loops, one
// trigonometric call per term, the program's angle constant 3.141592. Tests and the benchmark
// hold the fast evaluation of CMclass and CGclass against it. The G block here has the mended
// sign (+dL/dbeta).

#include "Tables.h"

#include <cmath>
#include <cstdint>

namespace literal {

inline constexpr double kPi = 3.141592;

struct CParams {
    std::uint32_t m_nNh = 3;   ///< inductance harmonics
    std::uint32_t m_nNb = 101; ///< flux-density harmonics h < m_nNb
    double m_dMl = 1.0;        ///< self multiplier
    double m_dMm = 1.0;        ///< mutual multiplier
};

inline const double (*HarmonicA(int h))[kCoilCount] {
    return h == 1 ? g_adA1 : (h == 2 ? g_adA2 : g_adA3);
}
inline const double (*HarmonicB(int h))[kCoilCount] {
    return h == 1 ? g_adB1 : (h == 2 ? g_adB2 : g_adB3);
}

inline double Inductance(const CParams& p, int i, int j, double beta) {
    double s = g_adL0[i][j];
    if (p.m_nNh >= 1)
        s += g_adA1[i][j] * std::cos(4 * beta) + g_adB1[i][j] * std::sin(4 * beta);
    if (p.m_nNh >= 2)
        s += g_adA2[i][j] * std::cos(8 * beta) + g_adB2[i][j] * std::sin(8 * beta);
    if (p.m_nNh >= 3)
        s += g_adA3[i][j] * std::cos(12 * beta) + g_adB3[i][j] * std::sin(12 * beta);
    s = s * 39 * 39 * 0.1035;
    return i == j ? s * p.m_dMl : s * p.m_dMm;
}

inline double InductanceDerivative(const CParams& p, int i, int j, double beta) {
    double s = 0;
    if (p.m_nNh >= 1)
        s += -4 * g_adA1[i][j] * std::sin(4 * beta) + 4 * g_adB1[i][j] * std::cos(4 * beta);
    if (p.m_nNh >= 2)
        s += -8 * g_adA2[i][j] * std::sin(8 * beta) + 8 * g_adB2[i][j] * std::cos(8 * beta);
    if (p.m_nNh >= 3)
        s += -12 * g_adA3[i][j] * std::sin(12 * beta) + 12 * g_adB3[i][j] * std::cos(12 * beta);
    s = s * 39 * 39 * 0.1035;
    return i == j ? s * p.m_dMl : s * p.m_dMm;
}

/// Phase of coil k: 0 = a, 1 = b, 2 = c.
inline int Phase(int k) {
    return (k / 3) % 3;
}

/// Loop sign vectors sA, sB.
inline double SignA(int k) {
    return Phase(k) == 0 ? 1.0 : (Phase(k) == 1 ? -1.0 : 0.0);
}
inline double SignB(int k) {
    return Phase(k) == 1 ? 1.0 : (Phase(k) == 2 ? -1.0 : 0.0);
}

/// Stator block {[12][12], [12][13], [13][13]} of the loop quantities built from f(k, l).
template <class F> void LoopBlock(F f, double* pOut) {
    pOut[0] = pOut[1] = pOut[2] = 0;
    for (int k = 0; k < kCoilCount; ++k)
        for (int l = 0; l < kCoilCount; ++l) {
            const double v = f(k, l);
            pOut[0] += SignA(k) * SignA(l) * v;
            pOut[1] += SignA(k) * SignB(l) * v;
            pOut[2] += SignB(k) * SignB(l) * v;
        }
}

/// Phase sum over the 36 coil pairs of phases x, y.
template <class F> double PhaseSum(F f, int x, int y) {
    double s = 0;
    for (int k = 0; k < kCoilCount; ++k)
        for (int l = 0; l < kCoilCount; ++l)
            if (Phase(k) == x && Phase(l) == y)
                s += f(k, l);
    return s;
}

inline void MBlock(const CParams& p, double beta, double* pOut) {
    LoopBlock([&](int k, int l) { return Inductance(p, k, l, beta); }, pOut);
}

inline void GBlock(const CParams& p, double beta, double* pOut) {
    LoopBlock([&](int k, int l) { return InductanceDerivative(p, k, l, beta); }, pOut);
}

// ---- excitation flux ----

inline double CoilAxis(int k) {
    static const int aP[6] = {3, 23, 19, 15, 11, 7};
    return (aP[k / 3] * kPi) / 12;
}

inline double CoilSpan(int k) {
    static const double aF[3] = {0.6111111111111112, 0.5, 0.3888888888888889};
    return aF[k % 3] * kPi;
}

inline double FluxRow(std::uint32_t h, int c) {
    return h < static_cast<std::uint32_t>(kFluxRows) ? g_adFluxAB[h][c] : 0.0;
}

inline double Shift(int m) {
    return m == 0 ? 0.0 : (m == 1 ? kPi / 2 : (m == 2 ? kPi : 3 * kPi / 2));
}

inline double Reduce(double alpha) {
    const int n = static_cast<int>(std::floor(alpha / (2 * kPi)));
    return alpha - (2 * n) * kPi;
}

inline double FluxDensity(const CParams& p, int m, double alpha) {
    if (m < 0 || m > 3)
        return 0;
    const double a = Reduce(alpha);
    double s = FluxRow(0, 0) / 2;
    for (std::uint32_t h = 1; h < p.m_nNb; ++h)
        s += FluxRow(h, 0) * std::cos(h * (a - Shift(m))) +
             FluxRow(h, 1) * std::sin(h * (a - Shift(m)));
    return (m % 2 == 0 ? 1.0 : -1.0) * s;
}

inline double MagnetFlux(const CParams& p, int m, double alpha) {
    if (m < 0 || m > 3)
        return 0;
    const double a = Reduce(alpha);
    double s = (FluxRow(0, 0) / 2) * alpha;
    for (std::uint32_t h = 1; h < p.m_nNb; ++h)
        s += (FluxRow(h, 0) / h) * std::sin(h * (a - Shift(m))) -
             (FluxRow(h, 1) / h) * std::cos(h * (a - Shift(m)));
    return (m % 2 == 0 ? 1.0 : -1.0) * s * 0.1035 * 0.0465;
}

inline double MagnetFluxDensityArc(const CParams& p, int m, double alpha) {
    return FluxDensity(p, m, alpha) * 0.1035 * 0.0465;
}

inline double CoilPmFlux(const CParams& p, int k, int m, double beta) {
    const double theta = CoilAxis(k), sigma = CoilSpan(k);
    return 39 * (MagnetFlux(p, m, sigma / 2.0 + theta - beta) -
                 MagnetFlux(p, m, theta - sigma / 2.0 - beta));
}

inline double CoilPmFluxDerivative(const CParams& p, int k, int m, double beta) {
    const double theta = CoilAxis(k), sigma = CoilSpan(k);
    return -39 * (MagnetFluxDensityArc(p, m, sigma / 2.0 + theta - beta) -
                  MagnetFluxDensityArc(p, m, theta - sigma / 2.0 - beta));
}

/// dPsi of phase x summed over its six coils and the four magnets.
inline double PhasePmDerivative(const CParams& p, int x, double beta) {
    double s = 0;
    for (int k = 0; k < kCoilCount; ++k)
        if (Phase(k) == x)
            for (int m = 0; m < 4; ++m)
                s += CoilPmFluxDerivative(p, k, m, beta);
    return s;
}

/// Largest single coil-magnet term at beta: the scale of the phase sums, which cancel to
/// rounding noise when only harmonics that the winding does not link are used.
inline double PmScale(const CParams& p, double beta) {
    double s = 0;
    for (int k = 0; k < kCoilCount; ++k)
        for (int m = 0; m < 4; ++m)
            s = std::fmax(s, std::fabs(CoilPmFluxDerivative(p, k, m, beta)));
    return s;
}

inline void PmTerms(const CParams& p, double beta, double* pOut) {
    const double a = PhasePmDerivative(p, 0, beta), b = PhasePmDerivative(p, 1, beta),
                 c = PhasePmDerivative(p, 2, beta);
    pOut[0] = a - b;
    pOut[1] = b - c;
}

/// Reluctance and magnet parts of the torque.
struct CTorque {
    double m_dReluctance;
    double m_dMagnet;
};

inline CTorque TorqueParts(const CParams& p, double i1, double i2, double beta) {
    const double ia = i1, ib = i2 - i1, ic = -i2;
    auto d = [&](int k, int l) { return InductanceDerivative(p, k, l, beta); };
    const double daa = PhaseSum(d, 0, 0), dbb = PhaseSum(d, 1, 1), dcc = PhaseSum(d, 2, 2);
    const double dab = PhaseSum(d, 0, 1), dac = PhaseSum(d, 0, 2), dbc = PhaseSum(d, 1, 2);
    const double t1 = 0.5 * (ia * ia * daa + ib * ib * dbb + ic * ic * dcc) + ia * ib * dab +
                      ia * ic * dac + ib * ic * dbc;
    double out[2];
    PmTerms(p, beta, out);
    return {t1, i1 * out[0] + i2 * out[1]};
}

inline double Torque(const CParams& p, double i1, double i2, double beta) {
    const CTorque t = TorqueParts(p, i1, i2, beta);
    return t.m_dReluctance + t.m_dMagnet;
}

} // namespace literal
