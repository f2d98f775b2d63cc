#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

class IProgressSink;

/// One point of the speed path.
struct CPathPoint {
    double time;  ///< [s]
    double speed; ///< [rad/s]
};

/// The control unit of the drive: speed path, ramp ("Trap regulator"), PI speed regulator,
/// amplitude factor, voltage angle and the switching of the inverter by space-vector PWM or
/// six-step control. It also holds the device resistances and serves the post-processing
/// (derivative, integral, DFT) and the PWM voltage plot.
class CControl {
public:
    static constexpr int kPathEntries = 100;                ///< table size, end marker included
    static constexpr int kMaxPathPoints = kPathEntries - 1; ///< points that fit with the marker
    static constexpr double kPathEnd = 100000000.0;         ///< end marker time [s]

    static constexpr double s_dOmegaBase = 50.0 * 3.141592;    ///< base speed, 50 Hz [rad/s]
    static constexpr int s_nPolePairs = 2;                     ///< pole pairs of the motor
    static constexpr double kFullTurn = 6.283186;              ///< full turn of the control [rad]
    static constexpr double kSector = 6.283186 / 6;            ///< one SVPWM sector [rad]
    static constexpr double kSignalLimit = 1.2 * s_dOmegaBase; ///< regulator limit [rad/s]
    /// Voltage vectors 0..6 (0 the zero vector) in the power-invariant alpha-beta frame [per Ud].
    static constexpr double kVecScale = 1.4142 / 1.7321;
    static constexpr double s_dVecAlpha[7] = {
        0.0, kVecScale, kVecScale / 2, -kVecScale / 2, -kVecScale, -kVecScale / 2, kVecScale / 2};
    static constexpr double s_dVecBeta[7] = {0.0, 0.0, 0.7071, 0.7071, 0.0, -0.7071, -0.7071};
    /// Switch states Sa, Sb, Sc of the vectors 1..6 (row 0 unused).
    static constexpr int s_nVecStates[7][3] = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0},
                                               {0, 1, 1}, {0, 0, 1}, {1, 0, 1}};

    CControl();
    virtual ~CControl();

    /// Parses m_strSpeedPath ("time*speed*time*speed*...") into m_path and m_nPathCount.
    /// Surrounding white space is ignored. A token that is not a number reads as 0, a pair
    /// without its closing "*" is dropped, and the end marker is written only when the text
    /// ends with "*". Returns false, leaving the path empty, when it holds more than
    /// kMaxPathPoints points.
    bool ParseSpeedPath();
    /// Number of complete points in a speed-path text, as ParseSpeedPath counts them (no limit).
    static int CountPathPoints(const std::string& strPath);
    /// Empty when strPath fits the table and each of its tokens is a finite number (trailing
    /// text after a number is ignored as ParseSpeedPath ignores it); otherwise the message that
    /// refuses it, quoting the first token that is not.
    static std::string SpeedPathMessage(const std::string& strPath);
    /// Empty when space-vector PWM can run with the carrier frequency dFT [Hz] and the DC
    /// voltage dUd [V]; otherwise the message that refuses them (a carrier period that never
    /// starts, or Ud = 0).
    static std::string SvpwmMessage(double dFT, double dUd);
    /// Applies, in order, every point of the path whose time has been reached at time t [s]:
    /// the reference becomes the speed of the last of them.
    void StepSpeedPath(double t);
    /// Advances ramp, PI regulator, amplitude factor and angle by the step h [s] for the
    /// measured speed omegaR [rad/s]; returns the new m_dAngle [rad].
    double SpeedControl(double omegaR, double h);
    /// SpeedControl by the midpoint rule (exact switching): the ramp, the PI integral and
    /// the angle advance by h with the regulator's values at the step's middle, for the
    /// speed omegaMid expected there; omegaU, omegaE and the amplitude factor are those
    /// values. The ramp stops at the reference. Returns the new m_dAngle [rad].
    double SpeedControlMid(double omegaMid, double h);
    /// The ramp by the midpoint rule for the step h [s] (exact switching): omegaR** advances
    /// by h, stopping at the reference; omegaE is the error at the step's middle for the speed
    /// omegaMid expected there. The first part of SpeedControlMid, also used by field-oriented
    /// control.
    void StepRampMid(double omegaMid, double h);
    /// omegaU [rad/s] that the regulator gives now for the speed omegaR, without advancing.
    double OmegaUNow(double omegaR) const;
    /// Amplitude factor 0.05..1 of the voltage for omegaU [rad/s].
    static double AmplitudeOf(double omegaU);
    /// The ramp ("Trap regulator") and the speed error omegaE = omegaR** - omegaR for the step
    /// h [s]: the first part of SpeedControl, also used by field-oriented control.
    void StepRamp(double omegaR, double h);
    /// Whether the SVPWM step h [s] that follows starts a carrier period.
    bool CarrierPeriodStarts(double h) const { return m_dCarrierTime + h > m_dTc; }
    /// x limited to [-limit, +limit].
    static double Limit(double x, double limit);
    /// One step of space-vector PWM; sets m_nSwitch and m_dRT. Always true.
    bool SvpwmStep(double angle, double h);
    /// One step of six-step control; sets m_nSwitch and m_dRT. Always true. The vectors turn
    /// in the sense of the SVPWM (100, 101, 001, 011, 010, 110); omegaU = 0 holds 100, a
    /// negative omegaU freezes the switch states.
    bool SixStepStep(double h);
    /// Sets the transistor resistances of the three legs from m_nSwitch.
    void ApplySwitchStates();

    /// Switching at exact instants (time.Exact): the carrier period and the six-step cycle
    /// run on absolute time instead of a sum of steps, and the switch states of a step are
    /// those at its midpoint, since the run never lets a step cross a commanded instant.
    /// dTolerance [s] is how close to an instant a time counts as on it.
    void StartExactTiming(double dTolerance);
    /// Exact timing: whether a carrier period starts at t [s], the running one having ended
    /// there (or none having started yet).
    bool CarrierPeriodDueAt(double t) const {
        return !(t < m_dCarrierStart + m_dTc - m_dEventTolerance); // NaN before the first
    }
    /// Space-vector PWM for the step [t, t + h]: a carrier period starts at t when the
    /// running one has ended there (the first at the first step), with the dwell times of
    /// the voltage angle [rad] and amplitude factor at t.
    void SvpwmAt(double angle, double amplitude, double t, double h);
    /// Six-step control for the step [t, t + h] with this step's omegaU.
    void SixStepAt(double t, double h);
    /// The first instant after t [s] at which the switching or the speed reference changes
    /// by command, as the control stands after this step's SpeedControl and modulation;
    /// +infinity when none is due.
    double NextCommandTime(double t) const;

    /// What a step changes in the control, so a step that is repeated shorter starts from
    /// the same control.
    struct CStepState {
        std::uint32_t m_nPathIndex;
        double m_dOmegaRRef, m_dOmegaRRamp, m_dOmegaE, m_dOmegaU, m_dIntegral, m_dAngle;
        double m_dAmplitude, m_dT0, m_dT1, m_dT2, m_dCarrierTime, m_dCarrierStart;
        int m_nVecA, m_nVecB, m_nSequenceSign;
        int m_nSwitch[3];
        double m_dRD[7], m_dRT[7];
    };
    CStepState SaveStepState() const;
    void RestoreStepState(const CStepState& state);

    /// Dwell times of one SVPWM carrier period for the vector angle a in [0, 6.283186]:
    /// the sector's pair (kept when a lies on the full turn) and T1, T2, T0 (T0 clipped at 0)
    /// for the voltage amplitude dAmplitude * dUd and the period dTc.
    struct CCarrierPeriod {
        int m_nVecA;  ///< first active vector, 1..6
        int m_nVecB;  ///< second active vector, 1..6
        double m_dT0; ///< zero vector [s]
        double m_dT1; ///< vector A [s]
        double m_dT2; ///< vector B [s]
    };
    static void StartCarrierPeriod(double a, double dAmplitude, double dUd, double dTc,
                                   CCarrierPeriod& period);
    /// The vector applied at time tau of the period: 0 (zero vector), A or B, in the order
    /// 0-A-B-0 when nSign is 1 and 0-B-A-0 otherwise.
    static int CarrierVector(double tau, int nSign, const CCarrierPeriod& period);
    /// Dwell-time boundaries of a period after its start, in order: end of the first zero
    /// vector, of the first active vector, of the second, and the period's end [s].
    static void CarrierBoundaries(int nSign, const CCarrierPeriod& period, double dTc,
                                  double* pBoundaries);

    /// Phase voltage of ideal SVPWM sampled on [ts, te] with N points: fills tOut and uOut
    /// (N entries provided) and returns the number of points written. phase 0 Ua, 1 Ub, 2 Uc.
    /// Starts its own sequence sign at -1.
    int PwmVoltage(double ts, double te, int N, double fimp, double Ud, double mf, double ma,
                   double* tOut, double* uOut, int phase);

    /// out[i] = (y[i+1] - y[i]) / (x[i+1] - x[i]); the last value repeats the one before.
    /// Fewer than two points give out = 0.
    void Derivative(const double* x, const double* y, double* out, std::size_t n);
    /// Running rectangle sum from 0: out[0] = 0, out[i] = out[i-1] + (x[i] - x[i-1]) y[i].
    void Integral(const double* x, const double* y, double* out, std::size_t n);
    /// Magnitudes of the harmonics 0..N-1 of s[0..N-1] (mag[0] the mean) by the defining sums
    /// with the angle constant 3.141592; returns the THD, NaN when it is undefined (mag[1] = 0
    /// or N < 2).
    double Dft(const double* s, double* mag, std::size_t N);

    std::uint32_t m_nPathIndex;      ///< next speed-path point to apply
    int m_nPathCount;                ///< complete points parsed
    CPathPoint m_path[kPathEntries]; ///< the parsed path and its end marker
    std::string m_strSpeedPath;      ///< the path as typed
    double m_dKt;                    ///< slope of the ramp [rad/s per s]
    double m_dOmegaE;                ///< speed error omegaR** - omegaR [rad/s]
    double m_dOmegaRRamp;            ///< ramp output omegaR** [rad/s]
    double m_dOmegaRRef;             ///< speed reference omegaR* [rad/s]
    double m_dOmegaU;                ///< electrical angular frequency of the voltage [rad/s]
    double m_dIntegral;              ///< integral part of the PI regulator [rad/s]
    double m_dKi;                    ///< integral gain [1/s]
    double m_dKp;                    ///< proportional gain
    double m_dAngle;                 ///< angle of the voltage space vector [rad]
    double m_dAmplitude;             ///< amplitude factor 0.05..1
    int m_nVecA;                     ///< first active vector of the sector, 1..6
    int m_nVecB;                     ///< second active vector of the sector, 1..6
    int m_nSwitch[3];                ///< switch states Sa, Sb, Sc (1 = upper on)
    double m_dT0;                    ///< dwell time of the zero vector [s]
    double m_dT1;                    ///< dwell time of vector A [s]
    double m_dT2;                    ///< dwell time of vector B [s]
    double m_dUd;                    ///< DC voltage of the SVPWM [V]
    double m_dCarrierTime;           ///< time in the carrier (or electrical) period [s]
    double m_dRD[7];                 ///< diode resistances D1..D6 [Ohm], index 0 unused
    double m_dRT[7];                 ///< transistor resistances T1..T6 [Ohm], index 0 unused
    double m_dTc;                    ///< carrier period [s]; -1.0 selects six-step control
    double m_dRoffT;                 ///< transistor off-resistance [Ohm]
    double m_dRonT;                  ///< transistor on-resistance [Ohm]
    double m_dRoffD;                 ///< diode off-resistance [Ohm]
    double m_dRonD;                  ///< diode on-resistance [Ohm]
    int m_nSequenceSign;             ///< SVPWM sequence sign, -1 at the start of every run
    bool m_bExactTiming;             ///< switching at exact instants (StartExactTiming)
    double m_dCarrierStart;     ///< exact timing: start of the carrier period or six-step cycle [s]
    double m_dEventTolerance;   ///< exact timing: a time this close to an instant is on it [s]
    IProgressSink* m_pProgress; ///< progress of the post-processing, may be null

private:
    /// Starts a carrier period for the voltage angle a: dwell times, vectors, sequence sign.
    void BeginCarrierPeriod(double angle);
    /// Sets the switch states of a carrier vector (0 the zero vector) and the transistors.
    void ApplyCarrierVector(int vector);
    /// Sets the switch states of the six-step window that holds the fraction of the period.
    void ApplySixStepWindow(double fraction);
    /// m_dAngle advanced by h at m_dOmegaU and kept in [0, kFullTurn].
    void AdvanceAngle(double h);
    /// The ramp's output after h, stopping at the reference.
    double RampAfter(double h) const;
};
