#pragma once

#include "Vector.h"

#include <cstdint>

/// The source vector U: the DC source, the three-phase sine supply, the magnet terms of the
/// stator loops and the torques of the mechanical equation.
class CUclass {
public:
    /// Creates U with n zeros (n = 16 in a run).
    explicit CUclass(std::uint32_t n);
    virtual ~CUclass();
    CUclass(const CUclass&) = delete;
    CUclass& operator=(const CUclass&) = delete;

    /// m_dTem = Te.
    void SetTorque(double Te);
    /// m_dPm1 = p[0], m_dPm2 = p[1].
    void SetPmTerms(const double* p);
    /// Supply voltages at time t [s] and U for the speed omegaR [rad/s].
    void CalcU(double t, double omegaR);

    double m_dPm1;  ///< magnet term of loop A [Wb/rad]
    double m_dPm2;  ///< magnet term of loop B [Wb/rad]
    double m_dT;    ///< external torque [Nm]
    double m_dTem;  ///< electromagnetic torque [Nm]
    double m_dPhi;  ///< phase of the supply at t = 0 [rad]
    double m_dUd;   ///< DC source voltage [V]
    double m_dUmax; ///< amplitude of the three-phase supply [V]
    double m_dF;    ///< frequency of the three-phase supply [Hz]
    double m_dUc;   ///< instantaneous supply voltage of phase c [V]
    double m_dUb;   ///< instantaneous supply voltage of phase b [V]
    double m_dUa;   ///< instantaneous supply voltage of phase a [V]
    CVector* m_pU;  ///< the vector U
    std::uint32_t m_nSize; ///< dimension n
};
