#include "MagnetSeries.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

namespace {

/// The model's angle constant, with which the arc ends are reduced.
constexpr double kPi = 3.141592;
/// A beta this close (relative) to a reduction boundary takes the exact turn counts.
constexpr double kMargin = 1e-9;
/// Independent chains of the harmonics' turning, which would otherwise wait on each other.
constexpr int kTurnChains = 4;

constexpr int PhaseOf(int coil) {
    return (coil / 3) % 3;
}

/// Where each arc end's terms go: its phase, or its coil.
constexpr auto kPhaseSlot = [] {
    std::array<int, CMagnetSeries::kEndCount> slots{};
    for (int e = 0; e < CMagnetSeries::kEndCount; ++e)
        slots[e] = PhaseOf(e / 2);
    return slots;
}();
constexpr auto kCoilSlot = [] {
    std::array<int, CMagnetSeries::kEndCount> slots{};
    for (int e = 0; e < CMagnetSeries::kEndCount; ++e)
        slots[e] = e / 2;
    return slots;
}();

} // namespace

CMagnetSeries::CMagnetSeries(const double* pEnd, const double* pDc, const double* pDs,
                             const double* pFc, const double* pFs, double dPhaseScale,
                             double dCoilScale)
    : m_pEnd(pEnd), m_pDc(pDc), m_pDs(pDs), m_pFc(pFc), m_pFs(pFs), m_dPhaseScale(dPhaseScale),
      m_dCoilScale(dCoilScale), m_bValid(false), m_nLast(0), m_dLo(0.0), m_dHi(0.0), m_adTurns{},
      m_bPhasesValid(false), m_bCoilsValid(false), m_bPhasesSeen(false), m_bCoilsSeen(false),
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
            // Each set of coefficients is made when it is first asked for: a random walk over
            // the angles (a diagram) needs only one of them.
            m_bPhasesValid = false;
            m_bCoilsValid = false;
            m_bPhasesSeen = false;
            m_bCoilsSeen = false;
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

void CMagnetSeries::Rebuild(const double* pP, const double* pQ, double scale, const int* pSlot,
                            int stride, double* pA, double* pB) const {
    // With x = phi - beta: P cos hx + Q sin hx = (P cos h phi + Q sin h phi) cos h beta +
    // (P sin h phi - Q cos h phi) sin h beta. The even end of a coil adds, the odd one
    // subtracts. The ends are the inner loop, so that their turning runs side by side.
    double c1[kEndCount], s1[kEndCount], c[kEndCount], s[kEndCount], sign[kEndCount];
    for (int e = 0; e < kEndCount; ++e) {
        const double phi = m_pEnd[e] - (2 * m_adTurns[e]) * kPi;
        c1[e] = c[e] = std::cos(phi);
        s1[e] = s[e] = std::sin(phi);
        sign[e] = e % 2 == 0 ? scale : -scale;
    }
    for (std::uint32_t h = 0; h < m_nLast; ++h)
        for (int slot = 0; slot < stride; ++slot)
            pA[h * stride + slot] = pB[h * stride + slot] = 0.0;
    for (std::uint32_t h = 1; h < m_nLast; ++h) {
        const double p = pP[h], q = pQ[h];
        double ta[kEndCount], tb[kEndCount];
        for (int e = 0; e < kEndCount; ++e) {
            const double sc = sign[e] * c[e], ss = sign[e] * s[e];
            ta[e] = p * sc + q * ss;
            tb[e] = p * ss - q * sc;
            const double cn = c[e] * c1[e] - s[e] * s1[e];
            s[e] = s[e] * c1[e] + c[e] * s1[e];
            c[e] = cn;
        }
        double* a = pA + h * stride;
        double* b = pB + h * stride;
        for (int e = 0; e < kEndCount; ++e) {
            a[pSlot[e]] += ta[e];
            b[pSlot[e]] += tb[e];
        }
    }
}

void CMagnetSeries::DirectSums(double beta, const double* pP, const double* pQ, double scale,
                               const int* pSlot, int nSlots, double* pOut) const {
    // Each end's series at its reduced angle, the ends side by side.
    double c1[kEndCount], s1[kEndCount], c[kEndCount], s[kEndCount], sum[kEndCount];
    for (int e = 0; e < kEndCount; ++e) {
        const double x = (m_pEnd[e] - beta) - (2 * m_adTurns[e]) * kPi;
        c1[e] = c[e] = std::cos(x);
        s1[e] = s[e] = std::sin(x);
        sum[e] = 0.0;
    }
    for (std::uint32_t h = 1; h < m_nLast; ++h) {
        const double p = pP[h], q = pQ[h];
        for (int e = 0; e < kEndCount; ++e) {
            sum[e] += p * c[e] + q * s[e];
            const double cn = c[e] * c1[e] - s[e] * s1[e];
            s[e] = s[e] * c1[e] + c[e] * s1[e];
            c[e] = cn;
        }
    }
    for (int slot = 0; slot < nSlots; ++slot)
        pOut[slot] = 0.0;
    for (int e = 0; e < kEndCount; e += 2)
        pOut[pSlot[e]] += sum[e] - sum[e + 1];
    for (int slot = 0; slot < nSlots; ++slot)
        pOut[slot] *= scale;
}

void CMagnetSeries::RebuildPhases() {
    Rebuild(m_pDc, m_pDs, m_dPhaseScale, kPhaseSlot.data(), 4, &m_adPhaseA[0][0],
            &m_adPhaseB[0][0]);
    m_bPhasesValid = true;
}

void CMagnetSeries::RebuildCoils() {
    Rebuild(m_pFc, m_pFs, m_dCoilScale, kCoilSlot.data(), kCoilCount, &m_adCoilA[0][0],
            &m_adCoilB[0][0]);
    m_bCoilsValid = true;
}

void CMagnetSeries::PhaseDensitySums(double beta, std::uint32_t nb, double* pOut) {
    Prepare(beta, nb);
    if (!m_bPhasesValid) {
        // Coefficients pay off from the second angle with the same turn counts on.
        if (!m_bPhasesSeen) {
            m_bPhasesSeen = true;
            DirectSums(beta, m_pDc, m_pDs, m_dPhaseScale, kPhaseSlot.data(), 3, pOut);
            return;
        }
        RebuildPhases();
    }
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
    if (!m_bCoilsValid) {
        if (!m_bCoilsSeen) {
            m_bCoilsSeen = true;
            DirectSums(beta, m_pFc, m_pFs, m_dCoilScale, kCoilSlot.data(), kCoilCount, pOut);
            return;
        }
        RebuildCoils();
    }
    double sum[kCoilCount] = {};
    for (std::uint32_t h = 1; h < m_nLast; ++h) {
        const double c = m_adCos[h], s = m_adSin[h];
        for (int k = 0; k < kCoilCount; ++k)
            sum[k] += m_adCoilA[h][k] * c + m_adCoilB[h][k] * s;
    }
    for (int k = 0; k < kCoilCount; ++k)
        pOut[k] = sum[k];
}
