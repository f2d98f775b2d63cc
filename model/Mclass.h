#pragma once

#include "Matrix.h"

#include <cstdint>

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

    /// Inductance between coils i and j (0..17) at rotor angle beta [H], with m_nNh harmonics
    /// (above 3 acts as 3) and m_dMl on the diagonal, m_dMm elsewhere.
    double Inductance(int i, int j, double beta) const;

    std::uint32_t m_nNh; ///< inductance harmonics used, 0..3
    double m_dJ;         ///< moment of inertia [kg m^2]
    double m_dMm;        ///< multiplier of the mutual inductances
    double m_dMl;        ///< multiplier of the self inductances
    double* m_pBranchR;  ///< branch resistances r0..r13 [Ohm]
    double* m_pCoilR;    ///< coil resistances [Ohm], stored only
    CMatrix* m_pM;       ///< the matrix M
    std::uint32_t m_nSize; ///< dimension n
};
