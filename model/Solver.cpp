#include "Solver.h"

#include "AllocFailure.h"
#include "Coils.h"
#include "DeviceCharges.h"
#include "LinearSystem.h"
#include "Progress.h"
#include "ResultColumns.h"
#include "SolverProc.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>
#include <vector>

namespace {

constexpr double kPi = 3.141592; // the model's angle constant
// The loop currents' rows and columns on, the matrix depends on the rotor angle.
constexpr int kRotorBlock = 12;

RowTable AllocRows(std::uint32_t rows, std::uint32_t cols, const char* pszFailure) {
    RowTable table(CMatrix::AllocateRows(rows, cols), CRowsDeleter{rows, cols});
    if (!table)
        throw CAllocFailure(pszFailure);
    return table;
}

template <class T, class... A> std::unique_ptr<T> Make(const char* pszFailure, A... args) {
    std::unique_ptr<T> p(new (std::nothrow) T(args...));
    if (!p)
        throw CAllocFailure(pszFailure);
    return p;
}

// Device flows T1..T6 (it[1..6]) and D1..D6 (id[1..6]) of the loop quantities v: their
// charges when v holds the loop charges, their currents when v holds dx/dt.
void DeviceFlows(const double* v, double* it, double* id) {
    TransistorCharges(v, it + 1);
    DiodeCharges(v, id + 1);
}

int FirstNonFinite(const double* x, int n) {
    for (int i = 0; i < n; ++i) {
        if (!std::isfinite(x[i]))
            return i;
    }
    return -1;
}

// What the corrector's result makes of a step.
enum class EStepVerdict {
    Accept, // the step converged to a finite state
    Halve,  // the step did not converge: retry it with half the step
    Stop,   // the run ends
};

// What a run hands back to its solver when it ends.
struct CRunReport {
    ERunStatus m_status = ERunStatus::Completed; ///< how the run ended
    double m_dStopTime = 0.0;                    ///< start of the step at which it stopped [s]
    int m_nBadState = -1;                        ///< first non-finite state value, -1 if none
    int m_nStepCount = 0;   ///< the solver's steps attempted, this run's included
    int m_nHalvings = 0;    ///< steps repeated with half their length in this run
    CEnergyLedger m_energy; ///< energy by kind (kept in exact mode)
    CDevicePeaks m_peaks;   ///< largest instantaneous device currents (kept in exact mode)
};

// One call of CSolver::Run: its buffers, allocated once, where it stands, and the phases a
// step goes through. Works on the solver's model objects and tables; what the run finds goes
// to its report, which Finish hands back.
class CRun {
public:
    CRun(CSolver& solver, double ts, double te, const double* x0);

    void StartRun(const double* x0);
    void BeginInterval();
    bool StopBeforeStep();
    void BeginStep();
    void Predict();
    bool Correct();
    EStepVerdict Judge(bool converged);
    void Halve();
    void Accept();
    bool IntervalDone() const { return m_nSubdiv < 1; }
    void StoreRow();
    bool PointsLeft() const { return m_nPoint < m_solver.m_nPoints; }
    CRunReport Finish();

    // Exact switching instants (time.Exact).
    void BeginExactStep();
    void SettleConduction();
    void PredictExact();
    bool CorrectExact();
    bool LocateCrossing();
    void RepeatStep();
    void HalveExact();
    void AcceptExact();
    bool AtOutputPoint() const { return m_dT == m_dTOut; }

private:
    double ExactStepEnd() const;
    double NextExactInstant() const;
    void SaveControl();
    void RestoreControl();
    CEnergyLedger::CCircuit LedgerCircuit(double t, const double* x, bool bStored);
    void AddLedgerStep();
    void ApplyControlAt(double omega);
    void LoadResistances();
    double ScaledChange(const double* a, const double* b) const;
    void AccelerateCapacitor(double d);
    const double* CapacitorResponse();
    void ApplyControl(const double* x);
    void StartFoc();
    void StoreFocColumns(const double* x, double* row) const;
    void LogFailureChange(double t);
    void GuardGates();
    void Protect();
    void SetSwitchResistances();
    void Slope(const double* x, double Te, double* y);

    CSolver& m_solver;                  ///< the solver whose run this is
    CMclass& m_M;                       ///< its inductance matrix
    CGclass& m_G;                       ///< its matrix G, torque and magnet flux
    CUclass& m_U;                       ///< its source vector
    CRclass& m_R;                       ///< its resistance matrix with the control
    const int m_nSize;                  ///< n, states
    std::vector<double> m_adX;          ///< state at the start of the step
    std::vector<double> m_adX1;         ///< state the corrector's iteration starts from
    std::vector<double> m_adX2;         ///< state the corrector reached at the end of the step
    std::vector<double> m_adY;          ///< dx/dt at the start of the step [unit of x / s]
    std::vector<double> m_adY1;         ///< dx/dt at m_adX1 [unit of x / s]
    CLinearSystem m_system;             ///< M y = U - R x - omega G x, solved for y
    const std::uint32_t m_nScratchRow;  ///< length of a scratch row: state, result, flux columns
    std::vector<double> m_adScratch;    ///< two rows for output points that are not stored
    double m_adBranchR[14] = {};        ///< branch resistances of the inverter this step [Ohm]
    double m_adCoilR[kCoils] = {};      ///< coil resistances this step [Ohm]
    double m_adPm[2] = {};              ///< magnet terms of U this step
    const CSolverProc m_proc;           ///< the library's step arithmetic
    const double m_dTs;                 ///< start of the run [s]
    const double m_dDelta;              ///< output interval [s]
    const double m_dHMin;               ///< smallest step before the run stops [s]
    const double m_dToProgress;         ///< progress units per simulated second [1/s]
    const double m_dA0;                 ///< supply amplitude of the parameters [V]
    const bool m_bSupplyFollowsControl; ///< the control sets the supply's f and amplitude
    CProtection& m_protection;          ///< the solver's protection
    CEventLog& m_events;                ///< the solver's event log
    const bool m_bProtect;              ///< the protection is armed and acts in this condition
    CProtection::CSample m_sample;      ///< what the protection sees of the step
    bool m_bFailuresLogged = false;     ///< the log shows the failure codes applying
    double m_dT;                      ///< time at the start of the step, its end after Predict [s]
    double m_dH = 0.0;                ///< step [s]
    double m_dTe = 0.0;               ///< electromagnetic torque at the start of the step [Nm]
    double m_dTEnd = 0.0;             ///< exact mode: end of the step being taken [s]
    int m_nSubdiv = 1;                ///< steps left in the output interval
    std::uint32_t m_nK = 1;           ///< next stored row
    std::uint32_t m_nPoint = 1;       ///< next output point
    const double* m_pLastP = nullptr; ///< state row of the previous output point
    double* m_pLastT = nullptr;       ///< result row of the previous output point
    CRunReport m_report;              ///< how the run ends, where and why
    const std::int64_t m_nMaxSteps;   ///< steps after which the run stops

    // Exact switching instants.
    const bool m_bExact;                     ///< steps land on every commanded instant
    const double m_dTimeTolerance;           ///< times this close are the same instant [s]
    double m_dTOut;                          ///< time of the next output point [s]
    double m_dTStart = 0.0;                  ///< start of the step being taken [s]
    double m_dHMax = 0.0;                    ///< longest step allowed now [s]
    double m_dTLimit;                        ///< end of the step at a located crossing [s]
    int m_nLocateTries = 0;                  ///< repeats of this step to locate a crossing
    CControl::CStepState m_control0{};       ///< the control at the start of the step
    CFocControl::CStepState m_foc0{};        ///< the field-oriented controller there
    double m_adIt0[7] = {}, m_adId0[7] = {}; ///< device currents at the step's start [A]
    double m_adIt1[7] = {}, m_adId1[7] = {}; ///< device currents at the last step's end [A]
    std::vector<double> m_adYChange;         ///< dx/dt at the last step's end minus at its start
    double m_adLastBranchR[14] = {};         ///< branch resistances of the last step [Ohm]
    double m_dLastH = 0.0;                   ///< length of the last step, 0 none [s]
    bool m_bEndSlopeValid = false;       ///< m_adY1 is dx/dt at the end of the last accepted step
    double m_dSpeedSlope = 0.0;          ///< d omegaR/dt at the last step's end [rad/s^2]
    std::vector<double> m_adXMean;       ///< exact mode: mean of x over the accepted step
    std::vector<double> m_adYMean;       ///< exact mode: mean of dx/dt over it
    std::vector<double> m_adCapResponse; ///< d(dx/dt)/d(x0) with the factors of M it was made
    std::vector<double> m_adRhsScratch;  ///< right-hand side for it
    std::uint64_t m_nResponseOf = ~std::uint64_t(0); ///< factorization it was made with
};

// Exact mode's corrector: iterations of the trapezoid before the step is halved, and the
// tolerance of each kind of state (absolute, plus relative for currents and speed).
constexpr int kExactPasses = 12;
constexpr double kChargeTolerance = 1e-10;  // [C]
constexpr double kCurrentTolerance = 1e-5;  // [A]
constexpr double kAngleTolerance = 1e-9;    // [rad]
constexpr double kSpeedTolerance = 1e-7;    // [rad/s]
constexpr double kRelativeTolerance = 1e-7; // of the current or speed
// Passes of the conduction at an instant before its states are taken as they are.
constexpr int kSettlePasses = 8;
// Repeats of a step to bring a device's threshold crossing onto its end.
constexpr int kLocateTries = 4;

CRun::CRun(CSolver& solver, double ts, double te, const double* x0)
    : m_solver(solver), m_M(*solver.m_pMObject), m_G(*solver.m_pGObject), m_U(*solver.m_pUObject),
      m_R(*solver.m_pRObject), m_nSize(solver.m_nSize), m_adX(x0, x0 + m_nSize), m_adX1(m_adX),
      m_adX2(m_adX), m_adY(m_nSize, 0.0), m_adY1(m_nSize, 0.0),
      m_system(m_nSize, kRotorBlock, CMclass::WrittenEntries(), CRclass::WrittenEntries(),
               CGclass::WrittenEntries()),
      m_nScratchRow(solver.m_nCols + solver.m_nResCols + kCoils),
      m_adScratch(2 * std::size_t(m_nScratchRow), 0.0), m_dTs(ts),
      m_dDelta((te - ts) / (solver.m_nPoints - 1)),
      m_dHMin(std::ldexp(m_dDelta, -CSolver::kMaxHalvings)),
      m_dToProgress(double(kProgressScale) / (te - ts)), m_dA0(m_U.m_dUmax),
      m_bSupplyFollowsControl(m_R.m_nCondition == 1 && m_R.m_bSpeedControl),
      m_protection(solver.m_protection), m_events(solver.m_events),
      m_bProtect(m_protection.Armed() && m_R.m_nCondition == 0), m_dT(ts),
      m_nMaxSteps(std::int64_t(solver.m_nPoints) * CSolver::kMaxStepsPerPoint),
      m_bExact(solver.m_bExact), m_dTimeTolerance(1e-6 * m_dDelta), m_dTOut(ts + m_dDelta),
      m_dTLimit(std::numeric_limits<double>::infinity()), m_adYChange(m_nSize, 0.0),
      m_adXMean(m_nSize, 0.0), m_adYMean(m_nSize, 0.0), m_adCapResponse(m_nSize, 0.0),
      m_adRhsScratch(m_nSize, 0.0) {
    m_report.m_dStopTime = ts;
    m_report.m_nStepCount = solver.m_nStepCount;
    if (m_bExact)
        m_R.StartExactTiming(m_dTimeTolerance);
}

// Resets what the run reports, stores row 0 from the initial state and opens the progress.
void CRun::StartRun(const double* x0) {
    const double ts = m_dTs;
    m_events.Clear();
    m_protection.Reset();
    m_report.m_energy = CEnergyLedger();
    m_report.m_peaks = CDevicePeaks();
    if (m_bExact) {
        m_report.m_energy.Start(CEnergyLedger::StoredAt(x0, LedgerCircuit(ts, x0, true)));
        m_report.m_peaks.m_bKept = true;
    }

    double* P0 = m_solver.m_pRes->m_pData[0];
    double* T0 = m_solver.m_ppResTab[0];
    P0[0] = ts;
    for (int i = 0; i < m_nSize; ++i)
        P0[i + 1] = x0[i];
    // Row 0 shows the initial state, so plots start where the run starts.
    T0[kColT] = ts;
    T0[kColIa] = x0[12];
    T0[kColIb] = x0[13] - x0[12];
    T0[kColIc] = 0.0 - x0[13]; // no negative zero in the first row
    T0[kColOmegaR] = x0[15];
    T0[kColBetaR] = x0[14];
    m_pLastP = P0;
    m_pLastT = T0;

    StartFoc();
    if (m_solver.m_pFoc)
        StoreFocColumns(x0, m_solver.m_ppFocTab[0]);

    // Progress follows simulated time, so a run that halves its steps shows that it is slow.
    if (m_solver.m_pProgress)
        m_solver.m_pProgress->Open(0, kProgressScale);
}

// A field-oriented run builds its controller from the motor as M and G now compute it.
void CRun::StartFoc() {
    m_solver.m_pFoc.reset();
    if (!m_solver.UsesFoc())
        return;
    const double* mult[3] = {&m_R.m_dMra, &m_R.m_dMrb, &m_R.m_dMrc};
    double phaseR = 0.0;
    for (int i = 0; i < kCoils; ++i)
        phaseR += *mult[CoilPhase(i)] * CRclass::s_dCoilRTable[i % 3];
    phaseR /= 3; // the mean of the three phases
    const CDqModel dq = CDqModel::Derive(m_M, m_G, phaseR);
    m_solver.m_pFoc =
        std::make_unique<CFocControl>(m_solver.m_focSettings, dq, m_M.m_dJ, m_R.m_dTc);
}

// id and iq of the row's state, and the references of the controller's last sample.
void CRun::StoreFocColumns(const double* x, double* row) const {
    const CFocControl& foc = *m_solver.m_pFoc;
    foc.Model().Park(x[12], x[13] - x[12], x[14], row[0], row[1]);
    row[2] = foc.m_dIdRef;
    row[3] = foc.m_dIqRef;
    row[4] = foc.m_dUdRef;
    row[5] = foc.m_dUqRef;
}

// The next output interval is covered by one full step until a step is halved.
void CRun::BeginInterval() {
    m_dH = m_dDelta;
    m_dHMax = m_dDelta;
    m_nSubdiv = 1;
}

// True, with the status set, when the user cancels or no further step can be counted.
bool CRun::StopBeforeStep() {
    if (m_solver.m_pProgress && m_solver.m_pProgress->IsCancelled())
        m_report.m_status = ERunStatus::Cancelled;
    else if (m_report.m_nStepCount == std::numeric_limits<int>::max())
        // The step count cannot grow further: as many steps as a halved run can take.
        m_report.m_status = ERunStatus::StepTooSmall;
    else if (m_report.m_nStepCount >= m_nMaxSteps)
        m_report.m_status = ERunStatus::TooMuchWork;
    else
        return false;
    m_report.m_dStopTime = m_dT;
    return true;
}

// Counts the step and sets the control, the supply and the switches for it.
void CRun::BeginStep() {
    const double* x = m_adX.data();
    m_dTe = m_G.CalcTorque(x[12], x[13], x[14]);
    ++m_report.m_nStepCount;
    if (m_solver.m_pProgress)
        m_solver.m_pProgress->SetPos(static_cast<long long>((m_dT - m_dTs) * m_dToProgress));
    ApplyControl(x);
    SetSwitchResistances();
}

// Failures, speed path, speed control, supply and modulation at the start of the step.
void CRun::ApplyControl(const double* x) {
    const double t = m_dT;
    const double h = m_dH;
    m_R.SelectFailures(t);
    LogFailureChange(t);
    m_R.StepSpeedPath(t);
    CFocControl* pFoc = m_solver.m_pFoc.get();
    const double theta = pFoc ? pFoc->Step(m_R, x, t, h, m_R.m_dC) : m_R.SpeedControl(x[15], h);
    if (m_bSupplyFollowsControl) {
        m_U.m_dF = m_R.m_dOmegaU / (2 * kPi);
        m_U.m_dUmax = m_dA0 * m_R.m_dAmplitude;
    }
    m_U.BeginStep(t);
    m_R.Modulate(theta, h);
    if (m_bProtect)
        GuardGates();
}

// Logs the onset or clearing of every failure code that acts in this condition when the codes
// start or stop applying with the step that begins at t.
void CRun::LogFailureChange(double t) {
    const bool active = m_R.m_bFailuresActive;
    if (active == m_bFailuresLogged)
        return;
    m_bFailuresLogged = active;
    static constexpr const char* kT[7] = {"", "T1", "T2", "T3", "T4", "T5", "T6"};
    static constexpr const char* kD[7] = {"", "D1", "D2", "D3", "D4", "D5", "D6"};
    const EEventKind kind = active ? EEventKind::FaultOnset : EEventKind::FaultClear;
    const int cond = m_R.m_nCondition;
    // The transistors' codes act with the inverter only, the diodes' also in the rectifier.
    for (int k = 1; k <= 6 && cond == 0; ++k) {
        if (m_R.m_nFailT[k] != 0)
            m_events.Add(t, kind, kT[k], m_R.m_nFailT[k]);
    }
    for (int k = 1; k <= 6 && (cond == 0 || cond == 2); ++k) {
        if (m_R.m_nFailD[k] != 0)
            m_events.Add(t, kind, kD[k], m_R.m_nFailD[k]);
    }
}

// After a trip the safe state replaces the switching; the gate commands of the step are what
// the desaturation comparators need.
void CRun::GuardGates() {
    if (m_protection.Tripped()) {
        int codeT[7];
        int codeD[7];
        for (int k = 0; k < 7; ++k) {
            codeT[k] = k == 0 ? 0 : m_R.FailCodeT(k);
            codeD[k] = k == 0 ? 0 : m_R.FailCodeD(k);
        }
        bool gates[7];
        CProtection::SafeGates(m_protection.m_nSafeState, codeT, codeD, gates);
        m_R.SetGates(gates);
    }
    for (int k = 1; k <= 6; ++k)
        m_sample.m_abGateOn[k] = m_R.m_dRT[k] == m_R.m_dRonT;
}

// Shows the protection the accepted step: the phase currents and the capacitor voltage at its
// end, the transistors' mean currents over it (as the result table's columns show them).
void CRun::Protect() {
    const double* x = m_adX.data();
    const double* x2 = m_adX2.data();
    CProtection::CSample& s = m_sample;
    s.m_dT = m_dT;
    s.m_adPhaseI[0] = x2[12];
    s.m_adPhaseI[1] = x2[13] - x2[12];
    s.m_adPhaseI[2] = -x2[13];
    double q1[6];
    double q0[6];
    TransistorCharges(x2, q1);
    TransistorCharges(x, q0);
    for (int k = 0; k < 6; ++k)
        s.m_adTransistorI[k + 1] = (q1[k] - q0[k]) / m_dH;
    s.m_dUc = x2[0] / m_R.m_dC;
    m_protection.Check(s, m_events);
}

// The switches conduct as the previous output point's branch currents say; R and M take the
// resistances that follow.
void CRun::SetSwitchResistances() {
    const double* last = m_pLastT;
    m_R.UpdateConduction(last[kColIT1], last[kColID1], last[kColIT1 + 1], last[kColID1 + 1],
                         last[kColIT1 + 2], last[kColID1 + 2], last[kColIT1 + 3], last[kColID1 + 3],
                         last[kColIT1 + 4], last[kColID1 + 4], last[kColIT1 + 5],
                         last[kColID1 + 5]);
    m_R.CalcR();
    m_R.GetResistances(m_adBranchR, m_adCoilR);
    m_M.SetResistances(m_adBranchR, m_adCoilR);
}

// y = dx/dt at the state x, the torque Te and the time m_dT.
void CRun::Slope(const double* x, double Te, double* y) {
    const double beta = x[14];
    m_M.CalcM(beta);
    m_G.CalcG(beta);
    m_U.SetTorque(Te);
    m_G.CalcPmTerms(m_adPm, beta);
    m_U.SetPmTerms(m_adPm);
    m_U.CalcU(m_dT, x[15]);
    m_system.Solve(x, x[15], m_M.m_pM->m_pData, m_U.m_pU->m_pData, m_R.m_pR->m_pData,
                   m_G.m_pG->m_pData, y);
}

// Euler predictor x1 = x + h y; the time moves to the end of the step.
void CRun::Predict() {
    Slope(m_adX.data(), m_dTe, m_adY.data());
    const double h = m_dH;
    for (int i = 0; i < m_nSize; ++i)
        m_adX1[i] = m_adX[i] + h * m_adY[i];
    m_dT += h;
}

// Trapezoidal corrector, at most four iterations; true when the last one moved no state value
// by more than 0.001.
bool CRun::Correct() {
    const double h = m_dH;
    int iter = 0;
    bool notConverged = false;
    do {
        const double Te1 = m_G.CalcTorque(m_adX1[12], m_adX1[13], m_adX1[14]);
        Slope(m_adX1.data(), Te1, m_adY1.data());
        for (int i = 0; i < m_nSize; ++i)
            m_adX2[i] = m_adX[i] + 0.5 * h * (m_adY[i] + m_adY1[i]);
        notConverged =
            m_proc.IsNotCoincide(m_adX1.data(), m_adX2.data(), static_cast<short>(m_nSize), 0.001);
        ++iter;
        m_adX1 = m_adX2;
    } while (notConverged && iter <= 3);
    return !notConverged;
}

// A converged finite step is accepted; one that did not converge is halved while the half
// step stays at least the minimum; a state that is not finite stops the run either way.
EStepVerdict CRun::Judge(bool converged) {
    const int bad = FirstNonFinite(m_adX2.data(), m_nSize);
    if (converged) {
        m_report.m_nBadState = bad;
        if (bad < 0)
            return EStepVerdict::Accept;
        m_report.m_status = ERunStatus::NonFinite;
    } else {
        if (bad < 0 && !(m_dH * 0.5 < m_dHMin))
            return EStepVerdict::Halve;
        m_report.m_nBadState = bad;
        m_report.m_status = bad >= 0 ? ERunStatus::NonFinite : ERunStatus::StepTooSmall;
    }
    m_report.m_dStopTime = m_dT - m_dH;
    return EStepVerdict::Stop;
}

// Moves the time back and retries the step with half its length.
void CRun::Halve() {
    ++m_report.m_nHalvings;
    // The count of steps left doubles; beyond the library's 16-bit count it is doubled here.
    m_nSubdiv =
        m_nSubdiv < 16384 ? m_proc.IncreaseSubdiv(static_cast<short>(m_nSubdiv)) : 2 * m_nSubdiv;
    m_dT = m_proc.SetSolverTime(m_dT, m_dH);
    m_dH = m_proc.SetStep(m_dH);
}

// The corrected state becomes the one the next step starts from.
void CRun::Accept() {
    m_U.AcceptStep(m_dT);
    --m_nSubdiv;
    if (m_bProtect && !m_protection.Tripped())
        Protect();
    m_adX = m_adX2;
}

// The end of the next exact step before commanded instants: the next output point, a
// located crossing, or the longest step allowed, whichever comes first.
double CRun::ExactStepEnd() const {
    const double t = m_dT;
    double tEnd = std::min(m_dTOut, m_dTLimit);
    if (tEnd - t > m_dHMax)
        tEnd = t + m_dHMax;
    if (m_dTOut - tEnd <= m_dTimeTolerance)
        tEnd = m_dTOut;
    return tEnd;
}

// Counts the step and sets the control for it; a commanded instant inside the step moves its
// end there, the control being set again for the shorter step.
void CRun::BeginExactStep() {
    const double* x = m_adX.data();
    m_dTStart = m_dT;
    SaveControl();
    m_dTe = m_G.CalcTorque(x[12], x[13], x[14]);
    ++m_report.m_nStepCount;
    if (m_solver.m_pProgress)
        m_solver.m_pProgress->SetPos(static_cast<long long>((m_dT - m_dTs) * m_dToProgress));
    double tEnd = ExactStepEnd();
    // The instants depend on this step's control a little (the dwell times of a period that
    // starts now, omegaU of six-step), so the shortened step is checked again.
    for (int pass = 0;; ++pass) {
        m_dH = tEnd - m_dT;
        ApplyControlAt(x[15]);
        const double next = NextExactInstant();
        if (!(next < tEnd - m_dTimeTolerance) || pass == 3)
            break;
        RestoreControl();
        tEnd = next;
    }
    m_dTEnd = tEnd;
}

// The first commanded instant after the step's start: switching, speed path, faults, and the
// field-oriented controller's next sample.
double CRun::NextExactInstant() const {
    double next = m_R.NextEventTime(m_dT);
    if (const CFocControl* pFoc = m_solver.m_pFoc.get()) {
        const double sample = pFoc->NextSampleTime();
        if (sample > m_dT + m_dTimeTolerance)
            next = std::min(next, sample);
    }
    return next;
}

void CRun::SaveControl() {
    m_control0 = m_R.SaveStepState();
    if (m_solver.m_pFoc)
        m_foc0 = m_solver.m_pFoc->SaveStepState();
}

void CRun::RestoreControl() {
    m_R.RestoreStepState(m_control0);
    if (m_solver.m_pFoc)
        m_solver.m_pFoc->RestoreStepState(m_foc0);
}

// ApplyControl with the switching of exact instants: the regulator by the midpoint rule for
// the speed extrapolated to the step's middle; SVPWM samples the angle and amplitude at the
// step's start, six-step switches with this step's omegaU.
void CRun::ApplyControlAt(double omega) {
    const double t = m_dT;
    const double h = m_dH;
    m_R.SelectFailures(t);
    LogFailureChange(t);
    m_R.StepSpeedPath(t);
    const double omegaMid = omega + 0.5 * h * m_dSpeedSlope;
    double angle0 = m_R.m_dAngle;
    double amplitude0 = CControl::AmplitudeOf(m_R.OmegaUNow(omega));
    if (CFocControl* pFoc = m_solver.m_pFoc.get()) {
        // The controller sets the angle and amplitude of a carrier period at its start.
        angle0 = pFoc->StepAt(m_R, m_adX.data(), t, h, m_R.m_dC, omegaMid);
        amplitude0 = m_R.m_dAmplitude;
    } else {
        m_R.SpeedControlMid(omegaMid, h);
    }
    if (m_bSupplyFollowsControl) {
        m_U.m_dF = m_R.m_dOmegaU / (2 * kPi);
        m_U.m_dUmax = m_dA0 * m_R.m_dAmplitude;
    }
    m_U.BeginStep(t);
    m_R.ModulateAt(angle0, amplitude0, t, h);
    if (m_bProtect)
        GuardGates();
    m_R.KeepGates();
}

void CRun::LoadResistances() {
    m_R.GetResistances(m_adBranchR, m_adCoilR);
    m_M.SetResistances(m_adBranchR, m_adCoilR);
}

// dx/dt at the step's start with a conduction that agrees with the currents it gives: the
// devices start as the previous step's end currents left them, and every change of a
// device's state is followed by the currents again.
void CRun::SettleConduction() {
    const bool changed = m_R.ConductAt(m_adIt1, m_adId1);
    LoadResistances();
    // Nothing changed at the boundary (same state, time, circuit and supply): the last step's
    // final slope is this step's first, and its currents left the conduction as it is.
    if (m_bEndSlopeValid && !changed && !m_bSupplyFollowsControl &&
        std::equal(m_adBranchR, m_adBranchR + 14, m_adLastBranchR)) {
        m_adY = m_adY1;
        std::copy(m_adIt1, m_adIt1 + 7, m_adIt0);
        std::copy(m_adId1, m_adId1 + 7, m_adId0);
        return;
    }
    for (int pass = 1;; ++pass) {
        Slope(m_adX.data(), m_dTe, m_adY.data());
        DeviceFlows(m_adY.data(), m_adIt0, m_adId0);
        if (pass == kSettlePasses || !m_R.ConductAt(m_adIt0, m_adId0))
            break;
        LoadResistances();
    }
}

// Euler predictor from the settled slope; the time moves to the step's end exactly.
void CRun::PredictExact() {
    const double h = m_dH;
    // Where the circuit did not change at the step's start, the last step's change of dx/dt
    // extrapolates the slope (a predictor of second order), which saves corrector passes.
    const bool smooth = m_dLastH > 0 && std::equal(m_adBranchR, m_adBranchR + 14, m_adLastBranchR);
    const double c = smooth ? 0.5 * h * h / m_dLastH : 0.0;
    for (int i = 0; i < m_nSize; ++i)
        m_adX1[i] = m_adX[i] + h * m_adY[i] + c * m_adYChange[i];
    m_dT = m_dTEnd;
}

// The largest change of a state over its own tolerance: charges, currents, angle and speed
// differ by orders of magnitude, so one absolute tolerance stops the iteration early for some
// and never for others.
double CRun::ScaledChange(const double* a, const double* b) const {
    double worst = 0.0;
    auto take = [&worst](double change) {
        if (!(change <= worst)) // NaN too
            worst = change;
    };
    for (int i = 0; i < 12; ++i)
        take(std::fabs(a[i] - b[i]) * (1.0 / kChargeTolerance));
    for (int i = 12; i < 14; ++i)
        take(std::fabs(a[i] - b[i]) / (kCurrentTolerance + kRelativeTolerance * std::fabs(b[i])));
    take(std::fabs(a[14] - b[14]) * (1.0 / kAngleTolerance));
    take(std::fabs(a[15] - b[15]) / (kSpeedTolerance + kRelativeTolerance * std::fabs(b[15])));
    return worst;
}

// Trapezoidal corrector iterated until the error left, the last change times the observed
// contraction over one minus it, is within every state's tolerance.
bool CRun::CorrectExact() {
    const double h = m_dH;
    double lastChange = 0.0;
    for (int iter = 0; iter < kExactPasses; ++iter) {
        const double Te1 = m_G.CalcTorque(m_adX1[12], m_adX1[13], m_adX1[14]);
        Slope(m_adX1.data(), Te1, m_adY1.data());
        for (int i = 0; i < m_nSize; ++i)
            m_adX2[i] = m_adX[i] + 0.5 * h * (m_adY[i] + m_adY1[i]);
        const double change = ScaledChange(m_adX1.data(), m_adX2.data());
        if (change <= 1.0 && iter == 0)
            return true; // the predictor was already within the tolerance
        if (iter > 0) {
            const double contraction = change / lastChange;
            if (contraction < 1.0 && change * contraction / (1.0 - contraction) <= 1.0)
                return true;
        }
        if (!(change < 1e300))
            return false;
        lastChange = change;
        AccelerateCapacitor(m_adX2[0] - m_adX1[0]);
        m_adX1 = m_adX2;
    }
    return false;
}

// The capacitor's charge is the stiff part of the iteration: its loop's time constant Ru Cu
// (10 us by default) makes each pass shrink its error only by h / (2 Ru Cu), and above twice
// it the iteration diverges. A Newton step along that one direction (Sherman-Morrison with the
// response of dx/dt to the charge) removes it: x2 moves by h/2 s d / (1 - h/2 s0) for the
// pass's change d of the charge.
void CRun::AccelerateCapacitor(double d) {
    if (d == 0.0)
        return;
    const double* s = CapacitorResponse();
    const double half = 0.5 * m_dH;
    const double denominator = 1.0 - half * s[0];
    if (!(denominator >= 1.0)) // the charge's own response damps; otherwise leave the pass
        return;
    const double k = half * d / denominator;
    for (int i = 0; i < m_nSize; ++i)
        m_adX2[i] += k * s[i];
}

// d(dx/dt)/d(x0) for M as the last slope factored it: M s = -R e0 (the capacitor's voltage
// per coulomb). Kept until the factors change.
const double* CRun::CapacitorResponse() {
    if (m_nResponseOf != m_system.Factorizations()) {
        const double* const* R = m_R.m_pR->m_pData;
        for (int i = 0; i < m_nSize; ++i)
            m_adRhsScratch[i] = -R[i][0];
        m_system.SolveFactored(m_adRhsScratch.data(), m_adCapResponse.data());
        m_nResponseOf = m_system.Factorizations();
    }
    return m_adCapResponse.data();
}

// True when a device's current crossed its threshold inside the step: the step is then
// repeated to end at the crossing, found by linear interpolation of the crossing quantity
// between the step's ends (a secant step when repeated), so that the device changes state at
// a step boundary as close to the crossing as the time tolerance.
bool CRun::LocateCrossing() {
    if (m_nLocateTries >= kLocateTries)
        return false;
    double it1[7], id1[7];
    DeviceFlows(m_adY1.data(), it1, id1);
    const double fraction = m_R.CrossingFraction(m_adIt0, m_adId0, it1, id1);
    const double crossing = m_dTStart + fraction * m_dH;
    if (!(fraction < 1.0) || m_dT - crossing <= m_dTimeTolerance)
        return false;
    ++m_nLocateTries;
    // Just past the crossing, so the next step starts with the device changed.
    m_dTLimit = crossing + 0.5 * m_dTimeTolerance;
    return true;
}

// Back to the step's start with its control, to take it again shorter.
void CRun::RepeatStep() {
    m_bEndSlopeValid = false; // the attempt's corrector overwrote it
    RestoreControl();
    m_dT = m_dTStart;
}

void CRun::HalveExact() {
    ++m_report.m_nHalvings;
    m_dHMax = 0.5 * m_dH;
}

void CRun::AcceptExact() {
    AddLedgerStep();
    m_U.AcceptStep(m_dT);
    if (m_bProtect && !m_protection.Tripped())
        Protect();
    DeviceFlows(m_adY1.data(), m_adIt1, m_adId1);
    m_report.m_peaks.Add(m_dTStart, m_adIt0, m_adId0);
    m_report.m_peaks.Add(m_dT, m_adIt1, m_adId1);
    m_dSpeedSlope = m_adY1[15];
    for (int i = 0; i < m_nSize; ++i)
        m_adYChange[i] = m_adY1[i] - m_adY[i];
    std::copy(m_adBranchR, m_adBranchR + 14, m_adLastBranchR);
    m_dLastH = m_dH;
    m_bEndSlopeValid = true;
    m_adX = m_adX2;
    m_dTLimit = std::numeric_limits<double>::infinity();
    m_nLocateTries = 0;
}

// The circuit of the step being taken at time t in it, for the state x; M's stator block
// is that of x's angle when StoredAt needs it (the powers do not). Moves a sine supply there:
// the next slope sets it again for its own state.
CEnergyLedger::CCircuit CRun::LedgerCircuit(double t, const double* x, bool bStored) {
    if (bStored)
        m_M.CalcM(x[14]);
    CEnergyLedger::CCircuit circuit{m_M.m_pM->m_pData, m_R.m_pR->m_pData, m_U.m_dUd, {0, 0, 0},
                                    m_U.m_dT,          m_R.m_dD,          m_R.m_dC,  m_M.m_dJ};
    if (m_U.m_dUmax != 0.0) { // zero without a sine supply
        m_U.CalcU(t, x[15]);
        circuit.m_adSupply[0] = m_U.m_dUa;
        circuit.m_adSupply[1] = m_U.m_dUb;
        circuit.m_adSupply[2] = m_U.m_dUc;
    }
    return circuit;
}

// The accepted step's powers at its mean state, with the circuit it was taken with.
void CRun::AddLedgerStep() {
    for (int i = 0; i < m_nSize; ++i) {
        m_adXMean[i] = 0.5 * (m_adX[i] + m_adX2[i]);
        m_adYMean[i] = 0.5 * (m_adY[i] + m_adY1[i]);
    }
    const CEnergyLedger::CCircuit start = LedgerCircuit(m_dTStart, m_adX.data(), false);
    CEnergyLedger::CCircuit mean = LedgerCircuit(m_dT, m_adX2.data(), false);
    for (int p = 0; p < 3; ++p)
        mean.m_adSupply[p] = 0.5 * (start.m_adSupply[p] + mean.m_adSupply[p]);
    m_report.m_energy.AddStep(m_dH,
                              CEnergyLedger::PowerAt(m_adXMean.data(), m_adYMean.data(), mean));
}

// Writes the output point that ends the interval to the next stored row when it is kept.
// Output points that are not stored go to two scratch rows in turn, so that the next point
// still finds its predecessor.
void CRun::StoreRow() {
    CSolver& s = m_solver;
    const std::uint32_t point = m_nPoint;
    const bool store = point % s.m_nEvery == 0 || point == s.m_nPoints - 1;
    double* scratchRow = m_adScratch.data() + (point % 2) * m_nScratchRow;
    double* rowP = store ? s.m_pRes->m_pData[m_nK] : scratchRow;
    double* rowT = store ? s.m_ppResTab[m_nK] : scratchRow + s.m_nCols;
    double* rowFlux = store ? s.m_pFluxTab[m_nK] : scratchRow + s.m_nCols + s.m_nResCols;
    rowP[0] = m_dT;
    for (int i = 0; i < m_nSize; ++i)
        rowP[i + 1] = m_adX[i];
    s.CalcResultRow(rowP, m_pLastP, rowT, m_pLastT, rowFlux);
    m_R.KeepTransistorStates();
    rowT[kColOmegaU] = m_R.m_dOmegaU;
    // Exact mode stores the torque of the row's own state, not that of the last step's start.
    rowT[kColTe] = m_bExact ? m_G.CalcTorque(m_adX[12], m_adX[13], m_adX[14]) : m_dTe;
    rowT[kColOmegaRRef] = m_R.m_dOmegaRRef;
    rowT[kColOmegaRRamp] = m_R.m_dOmegaRRamp;
    rowT[kColOmegaE] = m_R.m_dOmegaE;
    if (store && s.m_pFoc)
        StoreFocColumns(m_adX.data(), s.m_ppFocTab[m_nK]);
    m_pLastP = rowP;
    m_pLastT = rowT;
    m_dTOut += m_dDelta;
    m_nK += store ? 1 : 0;
    m_nPoint = point + 1;
}

// Closes the progress; a completed run stops at the time it reached.
CRunReport CRun::Finish() {
    if (m_bExact) {
        const double* x = m_adX.data();
        m_report.m_energy.Finish(CEnergyLedger::StoredAt(x, LedgerCircuit(m_dT, x, true)));
    }
    if (m_solver.m_pProgress)
        m_solver.m_pProgress->Close();
    if (m_report.m_status == ERunStatus::Completed)
        m_report.m_dStopTime = m_dT;
    return m_report;
}

// The step loop on the specified fixed grid, halving where the corrector does not converge.
CRunReport RunOnGrid(CRun& run) {
    do {
        if (run.StopBeforeStep())
            break;
        run.BeginStep();
        run.Predict();
        const EStepVerdict verdict = run.Judge(run.Correct());
        if (verdict == EStepVerdict::Stop)
            break;
        if (verdict == EStepVerdict::Halve) {
            run.Halve();
            continue;
        }
        run.Accept();
        if (run.IntervalDone()) {
            run.StoreRow();
            run.BeginInterval();
        }
    } while (run.PointsLeft());
    return run.Finish();
}

// The step loop of exact mode.
CRunReport RunExact(CRun& run) {
    do {
        if (run.StopBeforeStep())
            break;
        run.BeginExactStep();
        run.SettleConduction();
        run.PredictExact();
        const EStepVerdict verdict = run.Judge(run.CorrectExact());
        if (verdict == EStepVerdict::Stop)
            break;
        if (verdict == EStepVerdict::Halve) {
            run.RepeatStep();
            run.HalveExact();
            continue;
        }
        if (run.LocateCrossing()) {
            run.RepeatStep();
            continue;
        }
        run.AcceptExact();
        if (run.AtOutputPoint()) {
            run.StoreRow();
            run.BeginInterval();
        }
    } while (run.PointsLeft());
    return run.Finish();
}

} // namespace

CSolver::CSolver(std::uint32_t rows, std::uint32_t cols, int n, std::uint32_t resCols)
    : m_nStepCount(0), m_pProgress(nullptr), m_nResCols(resCols), m_nSize(n), m_nRows(rows),
      m_nPoints(rows), m_nEvery(1), m_nCols(cols), m_dStopTime(0.0), m_nBadState(-1), m_adPhaseL{},
      m_bPhaseLValid(false) {
    // What was made before a failure is released with the members.
    m_pRes = Make<CMatrix>("Błąd inicjalizacji m_pRes", rows, cols);
    m_ppResTab = AllocRows(rows, resCols, "Błąd przydziału pamęci m_ppResTab");
    m_pFluxTab = AllocRows(rows, kCoils, "Błąd przydziału pamęci m_pFluxTab");
    const std::uint32_t size = std::uint32_t(n);
    m_pMObject = Make<CMclass>("Błąd inicjalizacji m_pMObject", size);
    m_pUObject = Make<CUclass>("Błąd inicjalizacji m_pUObject", size);
    m_pRObject = Make<CRclass>("Błąd inicjalizacji m_pRObject", size);
    m_pGObject = Make<CGclass>("Błąd inicjalizacji m_pGObject", size);
}

ERunStatus CSolver::Run(double ts, double te, const double* x0) {
    if (m_nRows < 2 || !(ts < te) || m_nSize < 16 || m_nCols != std::uint32_t(m_nSize) + 1 ||
        m_nResCols < std::uint32_t(kResultColumns))
        return ERunStatus::NotRun;

    m_bPhaseLValid = false;
    CRun run(*this, ts, te, x0);
    run.StartRun(x0);
    run.BeginInterval();
    const CRunReport report = m_bExact ? RunExact(run) : RunOnGrid(run);
    m_nStepCount = report.m_nStepCount;
    m_dStopTime = report.m_dStopTime;
    m_nBadState = report.m_nBadState;
    m_nHalvings = report.m_nHalvings;
    m_energy = report.m_energy;
    m_peaks = report.m_peaks;
    return report.m_status;
}

void CSolver::EnableFoc(const CFocSettings& settings) {
    m_focSettings = settings;
    if (!m_ppFocTab)
        m_ppFocTab = AllocRows(m_nRows, kFocColumns, "Błąd przydziału pamęci m_ppFocTab");
}

std::uint32_t CSolver::StoredRows(std::uint32_t nPoints, std::uint32_t nEvery) {
    if (nPoints == 0 || nEvery == 0)
        return nPoints;
    const std::uint32_t last = nPoints - 1;
    return last / nEvery + 1 + (last % nEvery != 0 ? 1 : 0);
}

bool CSolver::SetStoring(std::uint32_t nPoints, std::uint32_t nEvery) {
    if (nEvery == 0 || StoredRows(nPoints, nEvery) != m_nRows)
        return false;
    m_nPoints = nPoints;
    m_nEvery = nEvery;
    return true;
}
