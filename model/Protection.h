#pragma once

class CEventLog;

/// The drive's protection: comparators on the phase currents, the transistor currents and the
/// DC-link voltage, looked at after every accepted step. The first trip latches for the rest
/// of the run; from the next step every gate command is the safe state's (SafeGates), while
/// the failure codes keep acting. Every threshold 0 is off; with all of them off the
/// protection does nothing.
class CProtection {
public:
    /// Safe state after a trip.
    enum ESafeState : int {
        kGatesOff = 0,           ///< every gate off
        kActiveShortCircuit = 1, ///< the lower (or upper) three transistors on
    };
    /// Detection plus turn-off time of a typical desaturation gate driver [s].
    static constexpr double kDefaultTdesat = 3e-6;

    /// What the comparators see at the end of an accepted step.
    struct CSample {
        double m_dT = 0;                ///< end of the step [s]
        double m_adPhaseI[3] = {};      ///< ia, ib, ic [A]
        double m_adTransistorI[7] = {}; ///< mean forward current of T1..T6 over the step [A]
        bool m_abGateOn[7] = {};        ///< gate command of T1..T6 in the step
        double m_dUc = 0;               ///< DC-link capacitor voltage [V]
    };

    /// True when any threshold is set.
    bool Armed() const;
    /// Forgets a trip and every comparator's history; the run calls it at its start.
    void Reset();
    /// Runs every comparator on the sample unless the protection has tripped already, and
    /// logs each one that trips. True when the protection tripped with this sample.
    bool Check(const CSample& sample, CEventLog& log);
    bool Tripped() const { return m_bTripped; }
    /// End of the step at which the protection tripped [s]; meaningful only when Tripped.
    double TripTime() const { return m_dTripTime; }

    /// Gate commands of T1..T6 (index 0 unused) in the safe state nSafeState, for the failure
    /// codes of the transistors and diodes in force (index 0 unused; 1 short circuit). Gates
    /// off: none on. Active short circuit: the lower three, unless a device of the upper side
    /// is shorted (a lower transistor would then short the DC link): the upper three; with
    /// shorted devices on both sides, none.
    static void SafeGates(int nSafeState, const int* pnCodeT, const int* pnCodeD, bool* pbGates);

    double m_dItrip = 0;               ///< phase overcurrent threshold [A]; 0 off
    double m_dIdesat = 0;              ///< desaturation current of a transistor [A]; 0 off
    double m_dTdesat = kDefaultTdesat; ///< time the current must stay above Idesat [s]
    double m_dUovp = 0;                ///< DC-link overvoltage threshold [V]; 0 off
    int m_nSafeState = kGatesOff;      ///< ESafeState after a trip

private:
    bool CheckDesaturation(const CSample& sample, CEventLog& log);

    bool m_bTripped = false; ///< a comparator tripped; latched
    double m_dTripTime = 0;  ///< time of the trip [s]
    double m_adAboveSince[7] = {-1, -1, -1, -1,
                                -1, -1, -1}; ///< first sample above Idesat, -1 none [s]
};
