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
    /// Supply voltages at time t [s] and U for the speed omegaR [rad/s]. The supply's angle is
    /// 2·3.141592·m_dF·t, or with m_bAccumulatePhase the accumulated phase (see BeginStep).
    void CalcU(double t, double omegaR);

    /// Accumulated phase, used when the frequency changes from step to step (sine supply
    /// under speed control; the parameter transfer sets m_bAccumulatePhase). The run calls,
    /// for every attempted step starting at t (also a step repeated with a halved h),
    /// BeginStep(t) after it has set m_dF for the step, and AcceptStep(tEnd) once the step
    /// ending at tEnd is accepted. Inside a step CalcU(t) uses m_dPhase +
    /// 2·3.141592·m_dF·(t − m_dStepStart). The first BeginStep sets the phase to
    /// 2·3.141592·m_dF·t. Both do nothing without m_bAccumulatePhase.
    void BeginStep(double t);
    /// Advances the phase to the end tEnd of the accepted step with the step's frequency.
    void AcceptStep(double tEnd);
    /// Supply angle w [rad] at time t, without the phase m_dPhi.
    double SupplyAngle(double t) const;

    double m_dPm1;           ///< magnet term of loop A [Wb/rad]
    double m_dPm2;           ///< magnet term of loop B [Wb/rad]
    double m_dT;             ///< external torque [Nm]
    double m_dTem;           ///< electromagnetic torque [Nm]
    double m_dPhi;           ///< phase of the supply at t = 0 [rad]
    double m_dUd;            ///< DC source voltage [V]
    double m_dUmax;          ///< amplitude of the three-phase supply [V]
    double m_dF;             ///< frequency of the three-phase supply [Hz]
    double m_dUc;            ///< instantaneous supply voltage of phase c [V]
    double m_dUb;            ///< instantaneous supply voltage of phase b [V]
    double m_dUa;            ///< instantaneous supply voltage of phase a [V]
    bool m_bAccumulatePhase; ///< accumulate the supply phase (speed control, sine supply)
    bool m_bPhaseStarted;    ///< the phase has been set by the first BeginStep
    double m_dPhase;         ///< supply angle at m_dStepStart [rad]
    double m_dStepStart;     ///< time at which the supply angle is m_dPhase [s]
    bool m_bSinValid;        ///< m_adSin holds the sines at m_dSinW and m_dSinPhi
    double m_dSinW;          ///< supply angle of m_adSin [rad]
    double m_dSinPhi;        ///< phase m_dPhi of m_adSin [rad]
    double m_adSin[3];       ///< sines of the three supply angles, a, b, c
    CVector* m_pU;           ///< the vector U
    std::uint32_t m_nSize;   ///< dimension n
};
