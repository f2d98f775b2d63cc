#pragma once

/// The energy of a run by kind [J], kept by exact mode over its accepted steps, and the
/// stored energies at the run's start and end. A step adds its length times the powers of its
/// mean state (the means of x and of dx/dt over its ends, the sources' mean): the trapezoidal
/// rule's own balance, which the circuit keeps inside an exact step. (The mean of the two ends'
/// powers would not do: where a loop is stiff, as a phase current through off devices is, the
/// trapezoid lets its current alternate from step to step about the decayed value, and the
/// mean of its squares then counts losses that never happened.)
///
/// Powers of the state x with dx/dt = y in the loop equations M y = U - R x - omega G x: the
/// loop currents are c = (y0 .. y9, x12, x13); the source delivers Ud (c0 + c1) and the sine
/// supply (Ua - Ub) x12 + (Ub - Uc) x13, the external torque T omega; c^T A c is lost in the
/// branch, device and coil resistances (A: the resistive entries of M in rows 0..9 and 12, 13
/// and of R in the stator block), D omega^2 in the damping. Stored: x0^2 / 2C in the capacitor,
/// i^T L i / 2 in the stator loops (i = x12, x13, L the stator block of M), J omega^2 / 2.
class CEnergyLedger {
public:
    /// Power flows at one instant [W].
    struct CPower {
        double m_dSource = 0.0;    ///< DC source and sine supply
        double m_dLoad = 0.0;      ///< external torque
        double m_dResistive = 0.0; ///< branch, device and coil resistances
        double m_dDamping = 0.0;   ///< damping
    };
    /// Stored energies at one instant [J].
    struct CStored {
        double m_dCapacitor = 0.0;
        double m_dMagnetic = 0.0;
        double m_dKinetic = 0.0;
        double Total() const { return m_dCapacitor + m_dMagnetic + m_dKinetic; }
    };
    /// What the powers need besides the state: the matrices M and R as the step's circuit has
    /// them, the sources and the mechanical constants.
    struct CCircuit {
        const double* const* m_ppM; ///< M, its resistive entries and stator block
        const double* const* m_ppR; ///< R
        double m_dUd;               ///< DC source [V]
        double m_adSupply[3];       ///< Ua, Ub, Uc of the sine supply [V]
        double m_dT;                ///< external torque [Nm]
        double m_dD;                ///< damping [Nm s/rad]
        double m_dC;                ///< DC-side capacitance [F]
        double m_dJ;                ///< moment of inertia [kg m^2]
    };

    static CPower PowerAt(const double* x, const double* y, const CCircuit& circuit);
    static CStored StoredAt(const double* x, const CCircuit& circuit);

    /// Starts the ledger with the stored energy of the initial state.
    void Start(const CStored& stored);
    /// Adds a step of length h [s] with the powers of its mean state.
    void AddStep(double h, const CPower& mean);
    /// Closes the ledger with the stored energy of the final state.
    void Finish(const CStored& stored);

    /// Energy in minus energy lost minus the change of the stored energy [J].
    double Residual() const;
    /// Residual over the energy delivered by the sources and the external torque.
    double RelativeResidual() const;

    bool m_bKept = false; ///< the run kept the ledger (exact mode)
    CPower m_energy;      ///< each power integrated over the run [J]
    CStored m_start;      ///< stored at the start [J]
    CStored m_end;        ///< stored at the end [J]
};
