#include "ParamTransfer.h"

#include "Solver.h"

void FillInitialState(const CTimeParams& time, double* x0) {
    for (int i = 0; i < kStateSize; ++i)
        x0[i] = 0.0;
    x0[14] = time.m_dBetaR * 2 * 3.1416 / 360;
    x0[15] = time.m_dOmegaR;
}

void FillInitialState(const CParamSet& set, double* x0) {
    FillInitialState(set.m_time, x0);
    const int cond = set.m_control.m_nCondition;
    // q0 is the capacitor's charge; only the conditions with a capacitor have one to charge.
    if (cond == 0)
        x0[0] = set.m_control.m_dCu * set.m_time.m_dUc0;
    else if (cond == 2)
        x0[0] = set.m_control.m_dCl * set.m_time.m_dUc0;
}

namespace {

// The switching circuit (R): condition, control, device failures and the resistances.
void TransferCircuit(const CParamSet& set, CRclass& R) {
    const CInvParams& inv = set.m_control;
    const CMotorParams& motor = set.m_motor;
    const int cond = inv.m_nCondition;
    R.m_nCondition = cond;
    R.m_bSpeedControl = inv.m_bSpeedControl ? 1 : 0;
    // Branch 0 and the capacitor are the DC source's (condition 0) or the RC load's (2); the
    // other conditions have no capacitor and a near-short branch 0.
    static constexpr double kUnused = 1.0;
    R.m_dC = cond == 0 ? inv.m_dCu : cond == 2 ? inv.m_dCl : kUnused;
    R.m_pBranchR[0] = cond == 0 ? inv.m_dRu : cond == 2 ? inv.m_dRlRC : 0.0001;
    if (cond == 3)
        R.m_dRLoad = inv.m_dRlR;
    R.m_dAngle = 0;
    R.m_dKp = inv.m_dKp;
    R.m_dKi = inv.m_dKi;
    R.m_dOmegaRRamp = 0;
    R.m_dKt = inv.m_dKt;
    R.m_dIntegral = 0;
    // The model counts the devices from 1.
    for (int k = 1; k <= 6; ++k)
        R.m_nFailT[k] = set.m_failures.m_nFailT[k - 1];
    for (int k = 1; k <= 6; ++k)
        R.m_nFailD[k] = set.m_failures.m_nFailD[k - 1];
    R.m_dOnset = set.m_failures.m_dOnset;
    R.m_dClear = set.m_failures.m_dClear;
    R.m_dRonT = motor.m_dRonT;
    R.m_dRoffT = motor.m_dRoffT;
    R.m_dRonD = motor.m_dRonD;
    R.m_dRoffD = motor.m_dRoffD;
    if (inv.m_nControlMethod == 0) {
        R.m_dTc = 1 / inv.m_dFT;
        R.m_dUd = inv.m_dUd;
        // Far past any period: the first step starts a carrier period.
        R.m_dCarrierTime = 1000.0;
    } else {
        // A negative period marks six-step control.
        R.m_dTc = -1.0;
        R.m_dCarrierTime = 0;
    }
    // Every run starts its PWM sequence as the first run of a fresh program does.
    R.m_nSequenceSign = -1;
    R.m_strSpeedPath = inv.m_strSpeedPath;
    R.m_nPathIndex = 0;
    R.ParseSpeedPath();
    R.m_dMra = motor.m_dMra;
    R.m_dMrb = motor.m_dMrb;
    R.m_dMrc = motor.m_dMrc;
    R.m_dD = motor.m_dD;
}

// The sources (U): the DC source, the three-phase supply and the external torque.
void TransferSources(const CParamSet& set, CUclass& U) {
    const CInvParams& inv = set.m_control;
    const int cond = inv.m_nCondition;
    const bool sine = cond == 1;
    U.m_dUmax = sine ? inv.m_dUmax : 0;
    U.m_dF = sine ? inv.m_dF : 0;
    U.m_dPhi = sine ? inv.m_dPhi * 2 * 3.1416 / 360 : 0;
    U.m_dUd = cond == 0 ? inv.m_dUd : 0;
    U.m_dT = inv.m_dT;
    // Under speed control the supply's frequency changes every step: its phase is the
    // integral of the frequency, not f(t) * t.
    U.m_bAccumulatePhase = sine && inv.m_bSpeedControl;
    U.m_bPhaseStarted = false;
}

// The inductances and the inertia (M).
void TransferInductances(const CMotorParams& motor, CMclass& M) {
    M.m_dMl = motor.m_dMl;
    M.m_dMm = motor.m_dMm;
    M.m_dJ = motor.m_dJ;
    M.m_nNh = std::uint32_t(motor.m_nNhInd);
}

// The inductance derivatives and the magnets' flux (G).
void TransferFlux(const CMotorParams& motor, CGclass& G) {
    G.m_dMl = motor.m_dMl;
    G.m_dMm = motor.m_dMm;
    G.m_nNb = std::uint32_t(motor.m_nNhFlux + 2);
    G.m_nNh = std::uint32_t(motor.m_nNhInd);
}

// The trips and the safe state.
void TransferProtection(const CProtectionParams& protection, CProtection& P) {
    P.m_dItrip = protection.m_dItrip;
    P.m_dIdesat = protection.m_dIdesat;
    P.m_dTdesat = protection.m_dTdesat;
    P.m_dUovp = protection.m_dUovp;
    P.m_nSafeState = protection.m_nSafeState;
}

} // namespace

void TransferParameters(const CParamSet& set, CSolver& solver) {
    if (CRclass* pR = solver.m_pRObject.get())
        TransferCircuit(set, *pR);
    if (CUclass* pU = solver.m_pUObject.get())
        TransferSources(set, *pU);
    if (CMclass* pM = solver.m_pMObject.get())
        TransferInductances(set.m_motor, *pM);
    if (CGclass* pG = solver.m_pGObject.get())
        TransferFlux(set.m_motor, *pG);
    TransferProtection(set.m_protection, solver.m_protection);
    if (set.m_control.m_nScheme == 1)
        solver.EnableFoc(FocSettings(set.m_foc));
}

CFocSettings FocSettings(const CFocParams& foc) {
    CFocSettings settings;
    settings.m_dCurrentBandwidth = foc.m_dCurrentBandwidth;
    settings.m_dSpeedBandwidth = foc.m_dSpeedBandwidth;
    settings.m_dImax = foc.m_dImax;
    settings.m_bMtpa = foc.m_bMtpa;
    return settings;
}

CDqModel MotorDqModel(const CMotorParams& motor) {
    CMclass M(kStateSize);
    CGclass G(kStateSize);
    TransferInductances(motor, M);
    TransferFlux(motor, G);
    const double multiplier[3] = {motor.m_dMra, motor.m_dMrb, motor.m_dMrc};
    double phaseR = 0.0;
    for (int coil = 0; coil < 18; ++coil)
        phaseR += multiplier[(coil / 3) % 3] * CRclass::s_dCoilRTable[coil % 3];
    return CDqModel::Derive(M, G, phaseR / 3);
}
