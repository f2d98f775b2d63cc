#include "Gclass.h"

#include "AllocFailure.h"
#include "MagnetSeries.h"
#include "Tables.h"
#include "WindingSums.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <new>

namespace {

/// The program's angle constant; every angle of the flux model uses it.
constexpr double kPi = 3.141592;
constexpr int kMagnetCount = 4;
constexpr int kEndCount = CMagnetSeries::kEndCount;
/// Length times radius: flux density to flux per radian of air gap.
constexpr double kArcLength = 0.1035;
constexpr double kRadius = 0.0465;

double CoilAxis(int k) {
    static const int aP[6] = {3, 23, 19, 15, 11, 7};
    return (aP[k / 3] * kPi) / 12;
}

double CoilSpan(int k) {
    static const double aFraction[3] = {0.6111111111111112, 0.5, 0.3888888888888889};
    return aFraction[k % 3] * kPi;
}

double MagnetShift(int m) {
    switch (m) {
    case 1:
        return kPi / 2;
    case 2:
        return kPi;
    case 3:
        return 3 * kPi / 2;
    default:
        return 0.0;
    }
}

double Polarity(int m) {
    return m % 2 == 0 ? 1.0 : -1.0;
}

/// Row h of the flux-density table; rows beyond the table are (0, 0).
double FluxA(std::uint32_t h) {
    return h < static_cast<std::uint32_t>(kFluxRows) ? g_adFluxAB[h][0] : 0.0;
}
double FluxB(std::uint32_t h) {
    return h < static_cast<std::uint32_t>(kFluxRows) ? g_adFluxAB[h][1] : 0.0;
}

/// alpha - (2 n) pi with n = floor(alpha / (2 pi)). Kept in doubles, which equals the integer
/// form wherever that is defined.
double ReduceAngle(double alpha) {
    const double n = std::floor(alpha / (2 * kPi));
    return alpha - (2 * n) * kPi;
}

/// The four magnets' series folded into one: sum over m of p_m (a_h cos h(x - phi_m) +
/// b_h sin h(x - phi_m)) = c_h cos hx + s_h sin hx, and the arc ends of the coils, both
/// computed with the same expressions as the single-magnet functions.
struct CFluxModel {
    double m_adC[kFluxRows];   ///< c_h, h = 1..100 (index 0 unused)
    double m_adS[kFluxRows];   ///< s_h
    double m_adCh[kFluxRows];  ///< c_h / h
    double m_adSh[kFluxRows];  ///< -s_h / h, the cosine coefficient of the flux series
    double m_adEnd[kEndCount]; ///< sigma/2 + theta (even index), theta - sigma/2 (odd)

    CFluxModel() : m_adC{}, m_adS{}, m_adCh{}, m_adSh{}, m_adEnd{} {
        for (int h = 1; h < kFluxRows; ++h) {
            const double a = g_adFluxAB[h][0], b = g_adFluxAB[h][1];
            for (int m = 0; m < kMagnetCount; ++m) {
                const double c = std::cos(h * MagnetShift(m)), s = std::sin(h * MagnetShift(m));
                m_adC[h] += Polarity(m) * (a * c - b * s);
                m_adS[h] += Polarity(m) * (a * s + b * c);
            }
            m_adCh[h] = m_adC[h] / h;
            m_adSh[h] = -m_adS[h] / h;
        }
        for (int k = 0; k < kCoilCount; ++k) {
            const double theta = CoilAxis(k), sigma = CoilSpan(k);
            m_adEnd[2 * k] = sigma / 2.0 + theta;
            m_adEnd[2 * k + 1] = theta - sigma / 2.0;
        }
    }

    static const CFluxModel& Get() {
        static const CFluxModel model;
        return model;
    }

    /// The folded series of the phases' magnet terms and the coils' magnet fluxes.
    CMagnetSeries MakeSeries() const {
        // The mean terms (a_0 / 2) alpha of the four magnets cancel (polarities +, -, +, -).
        return CMagnetSeries(m_adEnd, m_adC, m_adS, m_adSh, m_adCh, -39 * kArcLength * kRadius,
                             39 * kArcLength * kRadius);
    }
};

/// Every entry CalcG writes; the others stay zero.
constexpr CEntryPos kWritten[] = {{12, 12}, {12, 13}, {13, 12}, {13, 13}};

} // namespace

CGclass::CGclass(std::uint32_t n)
    : m_nNh(0), m_nNb(0), m_dMm(1.0), m_dMl(1.0), m_pG(nullptr), m_nSize(n),
      m_dPairMl(std::numeric_limits<double>::quiet_NaN()),
      m_dPairMm(std::numeric_limits<double>::quiet_NaN()), m_adPair{}, m_bDerivValid(false),
      m_dDerivBeta(0.0), m_nDerivNh(0), m_dDerivMl(0.0), m_dDerivMm(0.0), m_adD{}, m_adGBlock{},
      m_bPsiValid(false), m_dPsiBeta(0.0), m_nPsiNb(0), m_adPsiD{},
      m_series(CFluxModel::Get().MakeSeries()) {
    m_pG = new (std::nothrow) CMatrix(n, n);
    if (!m_pG)
        throw CAllocFailure("Błąd inicjalizacji m_pG");
}

CGclass::~CGclass() {
    delete m_pG;
}

double CGclass::InductanceDerivative(int i, int j, double beta) const {
    double s = 0;
    if (m_nNh >= 1)
        s += -4 * g_adA1[i][j] * std::sin(4 * beta) + 4 * g_adB1[i][j] * std::cos(4 * beta);
    if (m_nNh >= 2)
        s += -8 * g_adA2[i][j] * std::sin(8 * beta) + 8 * g_adB2[i][j] * std::cos(8 * beta);
    if (m_nNh >= 3)
        s += -12 * g_adA3[i][j] * std::sin(12 * beta) + 12 * g_adB3[i][j] * std::cos(12 * beta);
    s = s * 39 * 39 * 0.1035;
    return i == j ? s * m_dMl : s * m_dMm;
}

void CGclass::UpdateDerivatives(double beta) {
    if (m_bDerivValid && m_dDerivBeta == beta && m_nDerivNh == m_nNh && m_dDerivMl == m_dMl &&
        m_dDerivMm == m_dMm)
        return;
    if (!(m_dPairMl == m_dMl && m_dPairMm == m_dMm)) {
        CWindingSums::Weighted(m_dMl, m_dMm, m_adPair);
        m_dPairMl = m_dMl;
        m_dPairMm = m_dMm;
    }
    // Sums of dL/dbeta over the coil pairs of two phases: linear in the tables, so one
    // sine and cosine per harmonic serve all of them.
    const std::uint32_t nh = std::min<std::uint32_t>(m_nNh, 3);
    for (int p = 0; p < CWindingSums::kPairCount; ++p)
        m_adD[p] = 0.0;
    for (std::uint32_t h = 1; h <= nh; ++h) {
        const double w = 4.0 * h;
        const double sn = std::sin(w * beta), cs = std::cos(w * beta);
        const double* pA = m_adPair[2 * h - 1];
        const double* pB = m_adPair[2 * h];
        for (int p = 0; p < CWindingSums::kPairCount; ++p)
            m_adD[p] += -w * pA[p] * sn + w * pB[p] * cs;
    }
    using W = CWindingSums;
    const double* d = m_adD;
    // + dL/dbeta of the loops: the motional voltage opposes the current (ω G x is subtracted).
    m_adGBlock[0] = d[W::kAA] - 2 * d[W::kAB] + d[W::kBB];
    m_adGBlock[1] = d[W::kAB] - d[W::kAC] - d[W::kBB] + d[W::kBC];
    m_adGBlock[2] = d[W::kBB] - 2 * d[W::kBC] + d[W::kCC];
    m_bDerivValid = true;
    m_dDerivBeta = beta;
    m_nDerivNh = m_nNh;
    m_dDerivMl = m_dMl;
    m_dDerivMm = m_dMm;
}

void CGclass::UpdateMagnetTerms(double beta) {
    if (m_bPsiValid && m_dPsiBeta == beta && m_nPsiNb == m_nNb)
        return;
    m_series.PhaseDensitySums(beta, m_nNb, m_adPsiD);
    m_bPsiValid = true;
    m_dPsiBeta = beta;
    m_nPsiNb = m_nNb;
}

void CGclass::CalcG(double beta) {
    UpdateDerivatives(beta);
    double** g = m_pG->m_pData;
    g[12][12] = m_adGBlock[0];
    g[12][13] = m_adGBlock[1];
    g[13][12] = m_adGBlock[1];
    g[13][13] = m_adGBlock[2];
}

std::span<const CEntryPos> CGclass::WrittenEntries() {
    return kWritten;
}

double CGclass::CalcTorque(double i1, double i2, double beta) {
    UpdateDerivatives(beta);
    UpdateMagnetTerms(beta);
    using W = CWindingSums;
    const double* d = m_adD;
    const double ia = i1, ib = i2 - i1, ic = -i2;
    const double t1 = 0.5 * (ia * ia * d[W::kAA] + ib * ib * d[W::kBB] + ic * ic * d[W::kCC]) +
                      ia * ib * d[W::kAB] + ia * ic * d[W::kAC] + ib * ic * d[W::kBC];
    const double* psi = m_adPsiD;
    const double t2 = i1 * (psi[0] - psi[1]) + i2 * (psi[1] - psi[2]);
    return t1 + t2;
}

bool CGclass::CalcPmTerms(double* pOut, double beta) {
    UpdateMagnetTerms(beta);
    pOut[0] = m_adPsiD[0] - m_adPsiD[1];
    pOut[1] = m_adPsiD[1] - m_adPsiD[2];
    return true;
}

double CGclass::FluxDensity(int m, double alpha) const {
    if (m < 0 || m >= kMagnetCount)
        return 0.0;
    const double a = ReduceAngle(alpha);
    const double phi = MagnetShift(m);
    double s = FluxA(0) / 2;
    // rows past the table are (0, 0) and add nothing
    const std::uint32_t nb = std::min<std::uint32_t>(m_nNb, kFluxRows);
    for (std::uint32_t h = 1; h < nb; ++h)
        s += FluxA(h) * std::cos(h * (a - phi)) + FluxB(h) * std::sin(h * (a - phi));
    return Polarity(m) * s;
}

double CGclass::MagnetFlux(int m, double alpha) const {
    if (m < 0 || m >= kMagnetCount)
        return 0.0;
    const double a = ReduceAngle(alpha);
    const double phi = MagnetShift(m);
    double s = (FluxA(0) / 2) * alpha;
    const std::uint32_t nb = std::min<std::uint32_t>(m_nNb, kFluxRows);
    for (std::uint32_t h = 1; h < nb; ++h)
        s += (FluxA(h) / h) * std::sin(h * (a - phi)) - (FluxB(h) / h) * std::cos(h * (a - phi));
    return Polarity(m) * s * kArcLength * kRadius;
}

double CGclass::MagnetFluxDensityArc(int m, double alpha) const {
    return FluxDensity(m, alpha) * kArcLength * kRadius;
}

double CGclass::CoilPmFlux(int k, int m, double beta) const {
    const double theta = CoilAxis(k), sigma = CoilSpan(k);
    return 39 *
           (MagnetFlux(m, sigma / 2.0 + theta - beta) - MagnetFlux(m, theta - sigma / 2.0 - beta));
}

double CGclass::CoilPmFluxDerivative(int k, int m, double beta) const {
    const double theta = CoilAxis(k), sigma = CoilSpan(k);
    return -39 * (MagnetFluxDensityArc(m, sigma / 2.0 + theta - beta) -
                  MagnetFluxDensityArc(m, theta - sigma / 2.0 - beta));
}

void CGclass::CoilPmFluxSums(double beta, double* pOut) {
    m_series.CoilFluxSums(beta, m_nNb, pOut);
}
