#pragma once

class CControl;
class CGclass;
class CMclass;

/// What the user sets for field-oriented control.
struct CFocSettings {
    double m_dCurrentBandwidth = 2 * 3.141592653589793 * 200; ///< current loops [rad/s]
    double m_dSpeedBandwidth = 2 * 3.141592653589793 * 10;    ///< speed loop crossover [rad/s]
    double m_dImax = 10;                                      ///< peak phase-current limit [A]
    bool m_bMtpa = false; ///< maximum torque per ampere; false: id* = 0
};

/// The motor as a dq model, derived from the engine's own inductance and magnet-flux tables.
///
/// Park convention (amplitude invariant): theta = p (betaR - betaD), shifts s = (0, +2pi/3,
/// -2pi/3) times the phase sequence; xd = 2/3 sum x_k cos(theta + s_k), xq = -2/3 sum x_k
/// sin(theta + s_k). The sequence is the one whose q-axis magnet flux vanishes, so the phase
/// magnet flux is psiM cos(theta + s_k). Flux: psid = Ld id + Ldq iq + psiM, psiq = Ldq id +
/// Lq iq; torque Te = 3/2 p (psid iq - psiq id).
struct CDqModel {
    double m_dLd = 0;    ///< d-axis inductance [H]
    double m_dLq = 0;    ///< q-axis inductance [H]
    double m_dLdq = 0;   ///< small constant d-q coupling [H]
    double m_dPsiM = 0;  ///< magnet flux linkage amplitude of a phase [Wb]
    double m_dBetaD = 0; ///< rotor angle at which phase a's magnet flux is largest [rad]
    int m_nSequence = 1; ///< +1: phase b's flux leads a's for a forward-turning rotor
    double m_dR = 0;     ///< phase resistance [Ohm]

    static constexpr int kPolePairs = 2;

    /// Electrical angle p (beta - betaD) [rad].
    double ElectricalAngle(double beta) const { return kPolePairs * (beta - m_dBetaD); }
    /// d and q components of the phase currents ia, ib (ic = -ia - ib) at rotor angle beta.
    void Park(double ia, double ib, double beta, double& id, double& iq) const;
    /// Torque of the dq model [Nm] for id, iq [A], the coupling included.
    double Torque(double id, double iq) const;

    /// Ld, Lq, Ldq and psiM as the means over one electrical period of the Park transform of
    /// the phase inductances and magnet flux that M and G compute with their present numbers
    /// of harmonics and multipliers; the d axis from the largest phase-a magnet flux. phaseR is
    /// stored as m_dR.
    static CDqModel Derive(CMclass& M, CGclass& G, double phaseR);
};

/// Field-oriented control as a drive's processor runs it, once per carrier period:
///
/// At the start of every carrier period it applies the voltage reference computed at the
/// previous period's start (through the space-vector arithmetic of CControl), then samples
/// ia, ib, betaR, omegaR and the capacitor voltage Udc and computes the next reference:
///
///   speed PI:    T* = J d(omegaR**)/dt + KpW e + IW, e = omegaR** - omegaR, |T*| <= Tmax
///                (the torque at Imax); the ramp's acceleration torque is fed forward
///   currents:    id* = 0, iq* = T* / (3/2 p psiM); or MTPA: for |i| = I,
///                id = 2 (Ld - Lq) I^2 / (psiM + sqrt(psiM^2 + 8 (Ld - Lq)^2 I^2)),
///                iq = sqrt(I^2 - id^2), I chosen so that the torque is T*
///   current PIs: ud* = Kpd ed + Id - omegaE Lq iq, uq* = Kpq eq + Iq + omegaE (Ld id + psiM)
///   limit:       |u*| <= Udc / sqrt(3) (linear SVPWM), the d axis first
///   gains:       Kpd = wc Ld, Kpq = wc Lq, Ki = wc R (zero cancels the pole R/L: closed loop
///                first order with bandwidth wc); KpW = J ws, KiW = KpW ws / 4
///
/// Anti-windup: each integrator integrates the error that the realised (limited) output
/// corresponds to, e' = (u_real - ff - I) / (Kp + Ki Tc), so it stops growing at the limit.
/// The voltage is applied one period later and acts on average half a period into it: its
/// angle is advanced by omegaE 1.5 Tc.
class CFocControl {
public:
    CFocControl(const CFocSettings& settings, const CDqModel& dq, double J, double Tc);

    /// One step of the run that starts at time t with the accepted state x, step h: the ramp
    /// every step; at a carrier period's start the pending reference is applied to control
    /// and the next one computed. dC is the DC-side capacitance [F] (Udc = x[0] / dC).
    /// Returns the angle for CControl::Modulate.
    double Step(CControl& control, const double* x, double t, double h, double dC);

    /// StepAt is Step for exact switching instants: the run ends a step on every carrier
    /// period's start, where the pending reference is applied and the state x of that instant
    /// sampled before the ramp advances by the midpoint rule for the speed omegaMid expected
    /// at the step's middle. Returns the angle for CControl::ModulateAt.
    double StepAt(CControl& control, const double* x, double t, double h, double dC,
                  double omegaMid);

    /// What a step changes in the controller, so a step that is repeated shorter starts from
    /// the same controller.
    struct CStepState {
        double m_dIdRef, m_dIqRef, m_dUdRef, m_dUqRef;
        double m_dIntD, m_dIntQ, m_dIntW, m_dRampSampled, m_dSampleTime;
        double m_dPendingAngle, m_dPendingAmplitude, m_dPendingPhase;
        double m_dAppliedPhase, m_dAppliedTime, m_dOmegaES;
        bool m_bSampled, m_bApplied;
    };
    CStepState SaveStepState() const;
    void RestoreStepState(const CStepState& state);

    /// Start of the next carrier period as the controller expects it (last sample + Tc) [s];
    /// the period actually starts at the first step whose end passes it.
    double NextSampleTime() const { return m_dSampleTime + m_dTc; }
    /// Largest torque reference: the torque at Imax on the chosen current trajectory [Nm].
    double MaxTorque() const { return m_dTmax; }
    /// Current references for the torque reference T [Nm] (MTPA or id = 0), within Imax.
    void CurrentReference(double T, double& id, double& iq) const;

    const CDqModel& Model() const { return m_dq; }

    double m_dIdRef = 0; ///< id* [A]
    double m_dIqRef = 0; ///< iq* [A]
    double m_dUdRef = 0; ///< ud*, limited [V]
    double m_dUqRef = 0; ///< uq*, limited [V]

private:
    void Sample(const CControl& control, const double* x, double t, double dC);
    void ApplyPending(CControl& control, double t);
    double MtpaTorque(double I) const;
    void MtpaCurrents(double I, double& id, double& iq) const;

    CFocSettings m_settings;        ///< bandwidths, Imax, MTPA
    CDqModel m_dq;                  ///< the motor
    double m_dJ;                    ///< moment of inertia [kg m^2]
    double m_dTc;                   ///< carrier (sampling) period [s]
    double m_dKpD;                  ///< d-current proportional gain [V/A]
    double m_dKpQ;                  ///< q-current proportional gain [V/A]
    double m_dKiI;                  ///< current integral gain [V/(A s)]
    double m_dKpW;                  ///< speed proportional gain [Nm s/rad]
    double m_dKiW;                  ///< speed integral gain [Nm/rad]
    double m_dTmax;                 ///< torque at Imax [Nm]
    double m_dIntD = 0;             ///< d-current integrator [V]
    double m_dIntQ = 0;             ///< q-current integrator [V]
    double m_dIntW = 0;             ///< speed integrator [Nm]
    double m_dRampSampled = 0;      ///< omegaR** at the last sample [rad/s]
    bool m_bSampled = false;        ///< a sample has been taken
    double m_dSampleTime;           ///< time of the last sample [s]
    double m_dPendingAngle = 0;     ///< angle for the modulator in the next period [rad]
    double m_dPendingAmplitude = 0; ///< amplitude factor for the next period
    double m_dPendingPhase = 0;     ///< electrical phase of that voltage vector [rad]
    double m_dAppliedPhase = 0;     ///< phase of the vector applied now [rad]
    double m_dAppliedTime = 0;      ///< when it was applied [s]
    double m_dOmegaES = 0;          ///< electrical speed at the last sample [rad/s]
    bool m_bApplied = false;        ///< a reference has been applied
};
