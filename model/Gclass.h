#pragma once

#include "MagnetSeries.h"
#include "Matrix.h"

#include <cstdint>
#include <span>

/// Everything of the motor model that depends on the derivative of the winding quantities
/// with respect to the rotor angle: the matrix G (stator block, + dL/dbeta of the loops), the
/// electromagnetic torque, the magnet terms of the loop equations, and the excitation flux
/// model of the four magnets. The parameter members are public and written directly.
class CGclass {
public:
    /// Creates an n x n matrix of zeros; n >= 14 for CalcG.
    explicit CGclass(std::uint32_t n);
    virtual ~CGclass();
    CGclass(const CGclass&) = delete;
    CGclass& operator=(const CGclass&) = delete;

    /// dL(i, j)/dbeta [H/rad], coils 0..17.
    double InductanceDerivative(int i, int j, double beta) const;
    /// Fills the stator block of m_pG for the rotor angle beta.
    void CalcG(double beta);
    /// The entries of m_pG that CalcG writes; the others stay as they are, zero.
    static std::span<const CEntryPos> WrittenEntries();
    /// Electromagnetic torque [Nm] for the loop currents i1, i2 at angle beta.
    double CalcTorque(double i1, double i2, double beta);
    /// Writes the magnet terms of loops A and B [Wb/rad]; always true.
    bool CalcPmTerms(double* pOut, double beta);

    /// Flux density of magnet m (0..3) at air-gap angle alpha [T]; 0 for other m.
    double FluxDensity(int m, double alpha) const;
    /// Antiderivative over alpha of MagnetFluxDensityArc [Wb]; 0 for other m.
    double MagnetFlux(int m, double alpha) const;
    /// Flux per radian of air gap at alpha [Wb/rad].
    double MagnetFluxDensityArc(int m, double alpha) const;
    /// Flux linkage of coil k with magnet m at rotor angle beta [Wb].
    double CoilPmFlux(int k, int m, double beta) const;
    /// Its derivative with respect to beta [Wb/rad].
    double CoilPmFluxDerivative(int k, int m, double beta) const;

    /// pOut[k] = sum over the four magnets of CoilPmFlux(k, m, beta), for the 18 coils, with the
    /// four magnets and the two ends of each coil folded into one series in beta (agrees with
    /// the single calls to rounding).
    void CoilPmFluxSums(double beta, double* pOut);

    std::uint32_t m_nNh;   ///< inductance harmonics used, 0..3
    std::uint32_t m_nNb;   ///< flux-density harmonics h = 1.. while h < m_nNb
    double m_dMm;          ///< multiplier of the mutual inductances
    double m_dMl;          ///< multiplier of the self inductances
    CMatrix* m_pG;         ///< the matrix G
    std::uint32_t m_nSize; ///< dimension n

private:
    /// Brings m_adD and m_adGBlock to beta and the current Nh, ml, mm unless they are there.
    void UpdateDerivatives(double beta);
    /// Brings m_adPsiD to beta and the current Nb unless it is there.
    void UpdateMagnetTerms(double beta);

    double m_dPairMl;         ///< ml of m_adPair (NaN: never computed)
    double m_dPairMm;         ///< mm of m_adPair
    double m_adPair[7][6];    ///< phase-pair sums of the tables with ml, mm [H]
    bool m_bDerivValid;       ///< m_adD and m_adGBlock hold the values below
    double m_dDerivBeta;      ///< their rotor angle
    std::uint32_t m_nDerivNh; ///< their Nh
    double m_dDerivMl;        ///< their ml
    double m_dDerivMm;        ///< their mm
    double m_adD[6];          ///< phase-pair sums of dL/dbeta: aa, bb, cc, ab, ac, bc [H/rad]
    double m_adGBlock[3];     ///< G[12][12], G[12][13], G[13][13] [H/rad]
    bool m_bPsiValid;         ///< m_adPsiD holds the values below
    double m_dPsiBeta;        ///< its rotor angle
    std::uint32_t m_nPsiNb;   ///< its Nb
    double m_adPsiD[3];       ///< dPsi/dbeta of phases a, b, c from the magnets [Wb/rad]
    CMagnetSeries m_series;   ///< the magnet terms as series in beta
};
