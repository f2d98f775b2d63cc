#include "MagnetSeries.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

/// The model's angle constant, with which the arc ends are reduced.
constexpr double kPi = 3.141592;
/// A beta this close (relative) to a reduction boundary takes the exact turn counts.
constexpr double kMargin = 1e-9;

int PhaseOf(int coil) {
    return (coil / 3) % 3;
}

} // namespace

CMagnetSeries::CMagnetSeries(const double* pEnd, const double* pDc, const double* pDs,
                             const double* pFc, const double* pFs, double dPhaseScale,
                             double dCoilScale)
    : m_pEnd(pEnd), m_pDc(pDc), m_pDs(pDs), m_pFc(pFc), m_pFs(pFs), m_dPhaseScale(dPhaseScale),
      m_dCoilScale(dCoilScale), m_bValid(false), m_nLast(0), m_dLo(0.0), m_dHi(0.0), m_adTurns{},
      m_bTrigValid(false),
      m_dTrigBeta(0.0), m_adCos{}, m_adSin{}, m_adPhaseA{}, m_adPhaseB{}, m_adCoilA{}, m_adCoilB{} {
}

void CMagnetSeries::Prepare(double beta, std::uint32_t nb) {
    const std::uint32_t last = std::min<std::uint32_t>(nb, kFluxRows);
    if (!(m_bValid && last == m_nLast && beta > m_dLo && beta < m_dHi)) {
        // Turn counts exactly as the reduction of each end's angle computes them.
        double turns[kEndCount];
        bool same = m_bValid && last == m_nLast;
        for (int e = 0; e < kEndCount; ++e) {
            turns[e] = std::floor((m_pEnd[e] - beta) / (2 * kPi));
            same = same && turns[e] == m_adTurns[e];
        }
        if (!same) {
            std::copy(turns, turns + kEndCount, m_adTurns);
            m_nLast = last;
            m_bTrigValid = false;
            Rebuild();
        }
        // end - (n + 1) 2 pi < beta <= end - n 2 pi for every end, less a margin for the
        // rounding of the reduction.
        double lo = -std::numeric_limits<double>::infinity();
        double hi = std::numeric_limits<double>::infinity();
        for (int e = 0; e < kEndCount; ++e) {
            lo = std::max(lo, m_pEnd[e] - (m_adTurns[e] + 1) * (2 * kPi));
            hi = std::min(hi, m_pEnd[e] - m_adTurns[e] * (2 * kPi));
        }
        m_dLo = lo + kMargin * (1 + std::fabs(lo));
        m_dHi = hi - kMargin * (1 + std::fabs(hi));
        // A beta that is not finite leaves nothing to keep.
        m_bValid = std::isfinite(beta);
    }
    if (m_bTrigValid && m_dTrigBeta == beta)
        return;
    // cos h beta, sin h beta by turning step by step (error grows like h times the rounding
    // unit).
    const double c1 = std::cos(beta), s1 = std::sin(beta);
    double c = c1, s = s1;
    for (std::uint32_t h = 1; h < m_nLast; ++h) {
        m_adCos[h] = c;
        m_adSin[h] = s;
        const double cn = c * c1 - s * s1;
        s = s * c1 + c * s1;
        c = cn;
    }
    m_bTrigValid = true;
    m_dTrigBeta = beta;
}

void CMagnetSeries::Rebuild() {
    for (int p = 0; p < 3; ++p)
        for (int h = 0; h < kFluxRows; ++h)
            m_adPhaseA[p][h] = m_adPhaseB[p][h] = 0.0;
    for (int k = 0; k < kCoilCount; ++k)
        for (int h = 0; h < kFluxRows; ++h)
            m_adCoilA[k][h] = m_adCoilB[k][h] = 0.0;
    // With x = phi - beta: P cos hx + Q sin hx = (P cos h phi + Q sin h phi) cos h beta +
    // (P sin h phi - Q cos h phi) sin h beta.
    for (int e = 0; e < kEndCount; ++e) {
        const int coil = e / 2;
        const double sign = e % 2 == 0 ? 1.0 : -1.0;
        const double phi = m_pEnd[e] - (2 * m_adTurns[e]) * kPi;
        const double c1 = std::cos(phi), s1 = std::sin(phi);
        double c = c1, s = s1;
        double* pPhaseA = m_adPhaseA[PhaseOf(coil)];
        double* pPhaseB = m_adPhaseB[PhaseOf(coil)];
        double* pCoilA = m_adCoilA[coil];
        double* pCoilB = m_adCoilB[coil];
        for (std::uint32_t h = 1; h < m_nLast; ++h) {
            const double sc = sign * c, ss = sign * s;
            pPhaseA[h] += m_pDc[h] * sc + m_pDs[h] * ss;
            pPhaseB[h] += m_pDc[h] * ss - m_pDs[h] * sc;
            pCoilA[h] += m_pFc[h] * sc + m_pFs[h] * ss;
            pCoilB[h] += m_pFc[h] * ss - m_pFs[h] * sc;
            const double cn = c * c1 - s * s1;
            s = s * c1 + c * s1;
            c = cn;
        }
    }
    for (int p = 0; p < 3; ++p)
        for (std::uint32_t h = 1; h < m_nLast; ++h) {
            m_adPhaseA[p][h] *= m_dPhaseScale;
            m_adPhaseB[p][h] *= m_dPhaseScale;
        }
    for (int k = 0; k < kCoilCount; ++k)
        for (std::uint32_t h = 1; h < m_nLast; ++h) {
            m_adCoilA[k][h] *= m_dCoilScale;
            m_adCoilB[k][h] *= m_dCoilScale;
        }
}

void CMagnetSeries::PhaseDensitySums(double beta, std::uint32_t nb, double* pOut) {
    Prepare(beta, nb);
    for (int p = 0; p < 3; ++p) {
        double sum = 0.0;
        for (std::uint32_t h = 1; h < m_nLast; ++h)
            sum += m_adPhaseA[p][h] * m_adCos[h] + m_adPhaseB[p][h] * m_adSin[h];
        pOut[p] = sum;
    }
}

void CMagnetSeries::CoilFluxSums(double beta, std::uint32_t nb, double* pOut) {
    Prepare(beta, nb);
    for (int k = 0; k < kCoilCount; ++k) {
        double sum = 0.0;
        for (std::uint32_t h = 1; h < m_nLast; ++h)
            sum += m_adCoilA[k][h] * m_adCos[h] + m_adCoilB[k][h] * m_adSin[h];
        pOut[k] = sum;
    }
}
