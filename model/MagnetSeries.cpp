#include "MagnetSeries.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

/// The model's angle constant, with which the arc ends are reduced.
constexpr double kPi = 3.141592;
/// A beta this close (relative) to a reduction boundary takes the exact turn counts.
constexpr double kMargin = 1e-9;
/// Independent chains of the harmonics' turning, which would otherwise wait on each other.
constexpr int kTurnChains = 4;

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
    // cos h beta, sin h beta by turning: the first four harmonics one by one, then four
    // chains by four at a time (error grows like h times the rounding unit).
    const double c1 = std::cos(beta), s1 = std::sin(beta);
    double c[kTurnChains + 1] = {1.0, c1}, s[kTurnChains + 1] = {0.0, s1};
    for (int h = 2; h <= kTurnChains; ++h) {
        c[h] = c[h - 1] * c1 - s[h - 1] * s1;
        s[h] = s[h - 1] * c1 + c[h - 1] * s1;
    }
    for (int h = 1; h <= kTurnChains && h < kFluxRows; ++h) {
        m_adCos[h] = c[h];
        m_adSin[h] = s[h];
    }
    const double cStep = c[kTurnChains], sStep = s[kTurnChains];
    for (std::uint32_t h = kTurnChains + 1; h < m_nLast; ++h) {
        const double cPrev = m_adCos[h - kTurnChains], sPrev = m_adSin[h - kTurnChains];
        m_adCos[h] = cPrev * cStep - sPrev * sStep;
        m_adSin[h] = sPrev * cStep + cPrev * sStep;
    }
    m_bTrigValid = true;
    m_dTrigBeta = beta;
}

void CMagnetSeries::Rebuild() {
    for (int h = 0; h < kFluxRows; ++h) {
        for (int p = 0; p < 4; ++p)
            m_adPhaseA[h][p] = m_adPhaseB[h][p] = 0.0;
        for (int k = 0; k < kCoilCount; ++k)
            m_adCoilA[h][k] = m_adCoilB[h][k] = 0.0;
    }
    // With x = phi - beta: P cos hx + Q sin hx = (P cos h phi + Q sin h phi) cos h beta +
    // (P sin h phi - Q cos h phi) sin h beta.
    for (int e = 0; e < kEndCount; ++e) {
        const int coil = e / 2, phase = PhaseOf(coil);
        const double sign = e % 2 == 0 ? 1.0 : -1.0;
        const double phi = m_pEnd[e] - (2 * m_adTurns[e]) * kPi;
        const double c1 = std::cos(phi), s1 = std::sin(phi);
        double c = c1, s = s1;
        for (std::uint32_t h = 1; h < m_nLast; ++h) {
            const double sc = sign * c, ss = sign * s;
            m_adPhaseA[h][phase] += m_pDc[h] * sc + m_pDs[h] * ss;
            m_adPhaseB[h][phase] += m_pDc[h] * ss - m_pDs[h] * sc;
            m_adCoilA[h][coil] += m_pFc[h] * sc + m_pFs[h] * ss;
            m_adCoilB[h][coil] += m_pFc[h] * ss - m_pFs[h] * sc;
            const double cn = c * c1 - s * s1;
            s = s * c1 + c * s1;
            c = cn;
        }
    }
    for (std::uint32_t h = 1; h < m_nLast; ++h) {
        for (int p = 0; p < 3; ++p) {
            m_adPhaseA[h][p] *= m_dPhaseScale;
            m_adPhaseB[h][p] *= m_dPhaseScale;
        }
        for (int k = 0; k < kCoilCount; ++k) {
            m_adCoilA[h][k] *= m_dCoilScale;
            m_adCoilB[h][k] *= m_dCoilScale;
        }
    }
}

void CMagnetSeries::PhaseDensitySums(double beta, std::uint32_t nb, double* pOut) {
    Prepare(beta, nb);
    // Odd and even harmonics in two sums, so that the additions need not wait on each other.
    double odd[4] = {0.0, 0.0, 0.0, 0.0}, even[4] = {0.0, 0.0, 0.0, 0.0};
    std::uint32_t h = 1;
    for (; h + 1 < m_nLast; h += 2) {
        for (int p = 0; p < 4; ++p) {
            odd[p] += m_adPhaseA[h][p] * m_adCos[h] + m_adPhaseB[h][p] * m_adSin[h];
            even[p] +=
                m_adPhaseA[h + 1][p] * m_adCos[h + 1] + m_adPhaseB[h + 1][p] * m_adSin[h + 1];
        }
    }
    if (h < m_nLast)
        for (int p = 0; p < 4; ++p)
            odd[p] += m_adPhaseA[h][p] * m_adCos[h] + m_adPhaseB[h][p] * m_adSin[h];
    for (int p = 0; p < 3; ++p)
        pOut[p] = odd[p] + even[p];
}

void CMagnetSeries::CoilFluxSums(double beta, std::uint32_t nb, double* pOut) {
    Prepare(beta, nb);
    double sum[kCoilCount] = {};
    for (std::uint32_t h = 1; h < m_nLast; ++h) {
        const double c = m_adCos[h], s = m_adSin[h];
        for (int k = 0; k < kCoilCount; ++k)
            sum[k] += m_adCoilA[h][k] * c + m_adCoilB[h][k] * s;
    }
    for (int k = 0; k < kCoilCount; ++k)
        pOut[k] = sum[k];
}
