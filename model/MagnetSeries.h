#pragma once

#include "Tables.h"

#include <cstdint>

/// The magnet terms of the winding as Fourier series in the rotor angle beta.
///
/// Each arc end e of a coil sees the magnets through two series in its reduced angle
/// x = (end_e - beta) - 2 n_e 3.141592, n_e = floor((end_e - beta) / (2 3.141592)): the flux
/// density sum_h dc_h cos hx + ds_h sin hx and the flux sum_h fc_h cos hx + fs_h sin hx. The
/// turn counts n_e are not whole turns of 2 pi, so they cannot be dropped; but while beta stays
/// between two reduction boundaries of every end they are constant, and then the sum over a
/// coil's (or a phase's) ends is one series sum_h A_h cos h beta + B_h sin h beta. Its
/// coefficients are recomputed when beta crosses a boundary (36 times per turn) or the number
/// of harmonics changes; in between an evaluation costs one sine and cosine and a dot product.
/// A beta within 1e-9 of a boundary gets its turn counts exactly as the reduction computes them.
class CMagnetSeries {
public:
    /// Number of arc ends: two per coil, the even one at the end the coil's flux adds.
    static constexpr int kEndCount = 2 * kCoilCount;

    /// pEnd: the 36 end angles [rad]; pDc, pDs, pFc, pFs: the four series' coefficients for
    /// h = 0..kFluxRows - 1 (h = 0 unused). dPhaseScale multiplies the phase sums of the flux
    /// density series, dCoilScale the coil sums of the flux series. The arrays must outlive
    /// the object.
    CMagnetSeries(const double* pEnd, const double* pDc, const double* pDs, const double* pFc,
                  const double* pFs, double dPhaseScale, double dCoilScale);

    /// Phase sums (a, b, c: coils k with (k / 3) % 3 = phase) of the flux density series over
    /// each coil's ends (even minus odd), times dPhaseScale, with harmonics h = 1 .. nb - 1
    /// (at most kFluxRows - 1).
    void PhaseDensitySums(double beta, std::uint32_t nb, double* pOut);
    /// For the 18 coils: the flux series at its even end minus at its odd end, times
    /// dCoilScale.
    void CoilFluxSums(double beta, std::uint32_t nb, double* pOut);

private:
    /// Brings the coefficients to beta's turn counts and nb, and the harmonics to beta.
    void Prepare(double beta, std::uint32_t nb);
    /// Sets the coefficients of cos h beta at pA[h stride + slot] and of sin h beta at
    /// pB[h stride + slot] to the sums over the arc ends e with pSlot[e] = slot of the series
    /// pP (cos), pQ (sin) times scale, for the turn counts in m_adTurns.
    void Rebuild(const double* pP, const double* pQ, double scale, const int* pSlot, int stride,
                 double* pA, double* pB) const;
    /// Writes pOut[slot] = scale times the sum over the coils' ends with pSlot[e] = slot of the
    /// series pP, pQ at the end's reduced angle (even end minus odd end), directly.
    void DirectSums(double beta, const double* pP, const double* pQ, double scale, const int* pSlot,
                    int nSlots, double* pOut) const;
    /// Recomputes the phase coefficients for the turn counts in m_adTurns.
    void RebuildPhases();
    /// Recomputes the coil coefficients for the turn counts in m_adTurns.
    void RebuildCoils();

    const double* m_pEnd;        ///< end angles [rad]
    const double* m_pDc;         ///< flux density cosine coefficients [T]
    const double* m_pDs;         ///< flux density sine coefficients [T]
    const double* m_pFc;         ///< flux cosine coefficients [T rad]
    const double* m_pFs;         ///< flux sine coefficients [T rad]
    double m_dPhaseScale;        ///< factor of the phase sums [Wb/(T rad)]
    double m_dCoilScale;         ///< factor of the coil sums [Wb/(T rad)]
    bool m_bValid;               ///< m_adTurns, m_dLo, m_dHi are those of m_nLast
    std::uint32_t m_nLast;       ///< harmonics h < m_nLast are used
    double m_dLo;                ///< the turn counts hold for m_dLo < beta < m_dHi [rad]
    double m_dHi;                ///< upper end of that interval [rad]
    double m_adTurns[kEndCount]; ///< turn counts n_e of the coefficients
    bool m_bPhasesValid;         ///< m_adPhaseA, m_adPhaseB are those of m_adTurns and m_nLast
    bool m_bCoilsValid;          ///< m_adCoilA, m_adCoilB are those of m_adTurns and m_nLast
    bool m_bPhasesSeen;          ///< the phase sums were taken directly once with m_adTurns
    bool m_bCoilsSeen;           ///< the coil sums were taken directly once with m_adTurns
    bool m_bTrigValid;           ///< m_adCos, m_adSin are those of m_dTrigBeta
    double m_dTrigBeta;          ///< rotor angle of the harmonics [rad]
    double m_adCos[kFluxRows];   ///< cos h beta, h = 1 .. m_nLast - 1
    double m_adSin[kFluxRows];   ///< sin h beta
    // Coefficients by harmonic, then phase or coil: the sums over h run for all phases or
    // coils at once.
    double m_adPhaseA[kFluxRows][4];         ///< phase density coefficients of cos h beta [Wb/rad]
    double m_adPhaseB[kFluxRows][4];         ///< phase density coefficients of sin h beta [Wb/rad]
    double m_adCoilA[kFluxRows][kCoilCount]; ///< coil flux coefficients of cos h beta [Wb]
    double m_adCoilB[kFluxRows][kCoilCount]; ///< coil flux coefficients of sin h beta [Wb]
};
