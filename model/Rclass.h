#pragma once

#include "Control.h"
#include "Matrix.h"

#include <cstdint>
#include <span>

/// The resistance matrix R of the circuit equations and the resistances of every branch,
/// built each step from the switching, the conduction of the devices, the failure codes and
/// the condition of work.
class CRclass : public CControl {
public:
    /// Creates an n x n matrix of zeros (n = 16 in a run).
    explicit CRclass(std::uint32_t n);
    ~CRclass() override;
    CRclass(const CRclass&) = delete;
    CRclass& operator=(const CRclass&) = delete;

    /// Switching of the inverter, only in condition index 0. Always true.
    bool Modulate(double angle, double h);
    /// Switching at exact instants for the step [t, t + h], only in condition index 0:
    /// SVPWM samples the voltage angle and amplitude factor of t, six-step this step's omegaU.
    void ModulateAt(double angle, double amplitude, double t, double h);
    /// The first commanded instant after t [s]: the control's and the failures' onset and
    /// clearing; +infinity when none is due.
    double NextEventTime(double t) const;
    /// Keeps the transistor resistances the gates command for this step (after the
    /// modulation and a safe state), which ConductAt starts from.
    void KeepGates();
    /// Conduction that agrees with the device currents of this instant (exact switching):
    /// it[k] and id[k] (k = 1..6) are the currents of transistor and diode k as the present
    /// resistances give them. A transistor conducts when its gate is on and its current (or
    /// its off-state voltage over RoffT) reaches 0.3 V / RoffT; a diode from 0.6 V / RoffD,
    /// in condition index 0 only while no transistor of its leg conducts. Brings the
    /// resistances up to date (CalcR); true when a branch resistance changed.
    bool ConductAt(const double* it, const double* id);
    /// Exact switching: the first fraction of a step at which a device's current crosses its
    /// threshold, from the currents at the step's start (it0, id0, as ConductAt left them
    /// consistent) and at its end (it1, id1), by linear interpolation; 1 when none does.
    double CrossingFraction(const double* it0, const double* id0, const double* it1,
                            const double* id1) const;
    /// Transistor and diode conduction from the currents of the last output point. Always true.
    /// A transistor is switched off when its off-state voltage is below 0.3 V; a diode conducts
    /// from 0.6 V. In condition index 0 a diode is off while a transistor of its leg conducts
    /// (TransistorConducts), and it also conducts when a transistor of its leg that conducted
    /// in the step of the last output point conducts no longer and left it a current to take:
    /// its own transistor's reverse current or the opposite transistor's forward current
    /// (off-state voltage from 0.6 V).
    bool UpdateConduction(double IT1, double ID1, double IT2, double ID2, double IT3, double ID3,
                          double IT4, double ID4, double IT5, double ID5, double IT6, double ID6);
    /// Decides whether the failure codes apply to the step that starts at t [s]: from m_dOnset
    /// (0: from the first step) until m_dClear (0: never cleared). Before and after, every
    /// device behaves as sound.
    void SelectFailures(double t);
    /// The failure code of transistor k (1..6) in force for this step.
    int FailCodeT(int k) const { return m_bFailuresActive ? m_nFailT[k] : 0; }
    /// The failure code of diode k (1..6) in force for this step.
    int FailCodeD(int k) const { return m_bFailuresActive ? m_nFailD[k] : 0; }
    /// Whether transistor k (1..6) conducts in condition index 0: always with failure code 1,
    /// never with code 2, otherwise as the switching and the conduction update leave it.
    bool TransistorConducts(int k) const;
    /// Keeps the conducting transistors of this step as those of the last output point; the run
    /// calls it at every output point, stored or not.
    void KeepTransistorStates();
    /// Sets the transistors' resistances from gate commands of T1..T6 (index 0 unused) in place
    /// of the switching of Modulate; the conduction update and the failure codes act on them as
    /// on the switching.
    void SetGates(const bool* pbGates);
    /// Brings coil and branch resistances up to date and writes the matrix entries.
    void CalcR();
    /// The entries of m_pR that CalcR writes (n = 16); the others stay as they are, zero.
    static std::span<const CEntryPos> WrittenEntries();
    /// Copies the 14 branch and 18 coil resistances. Always true.
    bool GetResistances(double* pBranch, double* pCoil) const;

    static constexpr int kBranchCount = 14;
    /// Resistance of coil i is the multiplier of its phase times entry i mod 3 [Ohm].
    static constexpr double s_dCoilRTable[3] = {0.531666666666667, 0.483333333333333, 0.435};

    double m_dRLoad;        ///< resistance of the three-phase R load [Ohm]
    int m_bSpeedControl;    ///< speed control on
    int m_nCondition;       ///< condition of work 0..3
    double m_dD;            ///< damping constant [Nm/(rad/s)]
    double m_dC;            ///< capacitance of the DC side [F]
    int m_nFailT[7];        ///< failure codes of T1..T6, index 0 unused
    int m_nFailD[7];        ///< failure codes of D1..D6, index 0 unused
    double m_dOnset;        ///< the failure codes apply from this time on, 0 from the start [s]
    double m_dClear;        ///< the failure codes stop applying from this time on, 0 never [s]
    bool m_bFailuresActive; ///< the failure codes apply to the current step
    bool m_bTOnAtRow[7]; ///< T1..T6 conducted in the step of the last output point, index 0 unused
    double* m_pBranchR;  ///< branch resistances r0..r13 [Ohm]
    double m_dCoilR[18]; ///< coil resistances [Ohm]
    double m_dGateRT[7] = {}; ///< exact switching: transistor resistances the gates command [Ohm]
    double m_dMra;            ///< multiplier of the phase-a winding resistance
    double m_dMrb;            ///< multiplier of the phase-b winding resistance
    double m_dMrc;            ///< multiplier of the phase-c winding resistance
    CMatrix* m_pR;            ///< the matrix R
    std::uint32_t m_nSize;    ///< dimension n
};
