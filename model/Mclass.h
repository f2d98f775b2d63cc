#pragma once

#include "Matrix.h"

#include <cstdint>
#include <span>

/// The matrix M of the model equation M(beta) dx/dt = U - R x - omega G x: the branch
/// resistances of the supply network, unit entries for the charge states and the angle, the
/// stator loop inductances from the 18-coil winding model, and the moment of inertia.
/// The parameter members are public and written directly by their users.
class CMclass {
public:
    /// Creates an n x n matrix of zeros; n >= 16 for CalcM. m_dJ starts at 1e-06.
    explicit CMclass(std::uint32_t n);
    virtual ~CMclass();
    CMclass(const CMclass&) = delete;
    CMclass& operator=(const CMclass&) = delete;

    /// Copies the 14 branch and 18 coil resistances; always true.
    bool SetResistances(const double* pBranch, const double* pCoil);

    /// Fills m_pM for the rotor angle beta [rad].
    void CalcM(double beta);
    /// The entries CalcM writes (n = 16); the others stay as they are, zero.
    static std::span<const CEntryPos> WrittenEntries();

    /// Inductance between coils i and j (0..17) at rotor angle beta [H], with m_nNh harmonics
    /// (above 3 acts as 3) and m_dMl on the diagonal, m_dMm elsewhere.
    double Inductance(int i, int j, double beta) const;

    /// Fills pL[i][j] with Inductance(i, j, beta) for all 18 x 18 coil pairs, the harmonics
    /// evaluated once (same values as the single calls).
    void CoilInductances(double beta, double (*pL)[18]) const;

    /// Fills pOut[i][p] with the sum of Inductance(i, j, beta) over the six coils j of phase p
    /// (a, b, c: (j / 3) % 3), from phase sums of the tables kept for the current ml and mm
    /// (agrees with the single calls to rounding).
    void CoilPhaseInductances(double beta, double (*pOut)[3]);

    std::uint32_t m_nNh;   ///< inductance harmonics used, 0..3
    double m_dJ;           ///< moment of inertia [kg m^2]
    double m_dMm;          ///< multiplier of the mutual inductances
    double m_dMl;          ///< multiplier of the self inductances
    double* m_pBranchR;    ///< branch resistances r0..r13 [Ohm]
    double* m_pCoilR;      ///< coil resistances [Ohm], stored only
    CMatrix* m_pM;         ///< the matrix M
    std::uint32_t m_nSize; ///< dimension n

private:
    /// Refreshes m_adLoop when ml or mm changed since it was computed.
    void UpdateLoopSums();

    double m_dLoopMl;               ///< ml the loop sums were computed with (NaN: never)
    double m_dLoopMm;               ///< mm the loop sums were computed with
    double m_adLoop[7][3];          ///< loop sums AA, AB, BB of L0, A1, B1 .. B3 with ml, mm [H]
    double m_dCoilMl;               ///< ml the coil-phase sums were computed with (NaN: never)
    double m_dCoilMm;               ///< mm the coil-phase sums were computed with
    double m_adCoilPhase[7][18][3]; ///< per table, coil and phase: sums with ml, mm [H]
};
