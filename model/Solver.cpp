#include "Solver.h"

#include "Fatal.h"
#include "LinearSystem.h"
#include "Progress.h"
#include "ResultColumns.h"
#include "SolverProc.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>
#include <vector>

namespace {

constexpr int kCoils = 18;
constexpr double kPi = 3.141592; // the model's angle constant
// The loop currents' rows and columns on, the matrix depends on the rotor angle.
constexpr int kRotorBlock = 12;

// Phase of a coil: 0 a, 1 b, 2 c (coils 0-2 and 9-11 are a, 3-5 and 12-14 b, 6-8 and 15-17 c).
constexpr int CoilPhase(int coil) {
    return (coil / 3) % 3;
}

double** AllocRows(std::uint32_t rows, std::uint32_t cols, const char* pszFailure) {
    double** ppRows = CMatrix::AllocateRows(rows, cols);
    if (!ppRows)
        FatalExit(pszFailure, 1);
    return ppRows;
}

template <class T> T* MakeModel(std::uint32_t n, const char* pszFailure) {
    T* p = new (std::nothrow) T(n);
    if (!p)
        FatalExit(pszFailure, 0);
    return p;
}

int FirstNonFinite(const double* x, int n) {
    for (int i = 0; i < n; ++i) {
        if (!std::isfinite(x[i]))
            return i;
    }
    return -1;
}

} // namespace

CSolver::CSolver(std::uint32_t rows, std::uint32_t cols, int n, std::uint32_t resCols)
    : m_pFluxTab(nullptr), m_nStepCount(0), m_ppResTab(nullptr), m_pRes(nullptr),
      m_pMObject(nullptr), m_pUObject(nullptr), m_pRObject(nullptr), m_pGObject(nullptr),
      m_pProgress(nullptr), m_nResCols(resCols), m_nSize(n), m_nRows(rows), m_nPoints(rows),
      m_nEvery(1), m_nCols(cols), m_dStopTime(0.0), m_nBadState(-1), m_adPhaseL{},
      m_bPhaseLValid(false) {
    m_pRes = new (std::nothrow) CMatrix(rows, cols);
    if (!m_pRes)
        FatalExit("Błąd inicjalizacji m_pRes", 0);
    m_ppResTab = AllocRows(rows, resCols, "Błąd przydziału pamęci m_ppResTab");
    m_pFluxTab = AllocRows(rows, kCoils, "Błąd przydziału pamęci m_pFluxTab");
    const std::uint32_t size = std::uint32_t(n);
    m_pMObject = MakeModel<CMclass>(size, "Błąd inicjalizacji m_pMObject");
    m_pUObject = MakeModel<CUclass>(size, "Błąd inicjalizacji m_pUObject");
    m_pRObject = MakeModel<CRclass>(size, "Błąd inicjalizacji m_pRObject");
    m_pGObject = MakeModel<CGclass>(size, "Błąd inicjalizacji m_pGObject");
}

CSolver::~CSolver() {
    CMatrix::FreeRows(m_ppResTab, m_nRows, m_nResCols);
    CMatrix::FreeRows(m_pFluxTab, m_nRows, kCoils);
    delete m_pRes;
    delete m_pMObject;
    delete m_pUObject;
    delete m_pRObject;
    delete m_pGObject;
}

// One call of Run: its buffers, allocated once, and where the run stands.
struct CSolver::CRunState {
    CRunState(int n, double ts, double te, std::uint32_t points, std::uint32_t rowLength,
              const double* x0)
        : m_adX(x0, x0 + n), m_adX1(m_adX), m_adX2(m_adX), m_adY(n, 0.0), m_adY1(n, 0.0),
          m_system(n, kRotorBlock, CMclass::WrittenEntries(), CRclass::WrittenEntries(),
                   CGclass::WrittenEntries()),
          m_adScratch(2 * std::size_t(rowLength), 0.0), m_nScratchRow(rowLength), m_dTs(ts),
          m_dDelta((te - ts) / (points - 1)), m_dHMin(std::ldexp(m_dDelta, -kMaxHalvings)),
          m_dToProgress(double(kProgressScale) / (te - ts)), m_dT(ts) {}

    std::vector<double> m_adX;       ///< state at the start of the step
    std::vector<double> m_adX1;      ///< state the corrector starts its iteration from
    std::vector<double> m_adX2;      ///< state the corrector reached at the end of the step
    std::vector<double> m_adY;       ///< dx/dt at the start of the step [unit of x / s]
    std::vector<double> m_adY1;      ///< dx/dt at m_adX1 [unit of x / s]
    CLinearSystem m_system;          ///< M y = U - R x - omega G x, solved for y
    std::vector<double> m_adScratch; ///< two rows for output points that are not stored
    std::uint32_t m_nScratchRow;     ///< length of one scratch row: state, result, flux columns
    double m_adBranchR[14] = {};     ///< branch resistances of the inverter this step [Ohm]
    double m_adCoilR[kCoils] = {};   ///< coil resistances this step [Ohm]
    double m_adPm[2] = {};           ///< magnet terms of U this step
    CSolverProc m_proc;              ///< the library's step arithmetic
    double m_dTs;                    ///< start of the run [s]
    double m_dDelta;                 ///< output interval [s]
    double m_dHMin;                  ///< smallest step before the run stops [s]
    double m_dToProgress;            ///< progress units per simulated second [1/s]
    double m_dA0 = 0.0;              ///< supply amplitude of the parameters [V]
    bool m_bSupplyFollowsControl = false; ///< the control sets the supply's f and amplitude
    double m_dT;                ///< time at the start of the step, at its end after Predict [s]
    double m_dH = 0.0;          ///< step [s]
    double m_dTe = 0.0;         ///< electromagnetic torque at the start of the step [Nm]
    int m_nSubdiv = 1;          ///< steps left in the output interval
    std::uint32_t m_nK = 1;     ///< next stored row
    std::uint32_t m_nPoint = 1; ///< next output point
    const double* m_pLastP = nullptr;            ///< state row of the previous output point
    double* m_pLastT = nullptr;                  ///< result row of the previous output point
    ERunStatus m_status = ERunStatus::Completed; ///< how the run ends
};

ERunStatus CSolver::Run(double ts, double te, const double* x0) {
    if (!CanRun(ts, te))
        return ERunStatus::NotRun;
    CRunState s(m_nSize, ts, te, m_nPoints, m_nCols + m_nResCols + kCoils, x0);
    StartRun(s, x0);
    BeginInterval(s);
    do {
        if (StopBeforeStep(s))
            break;
        BeginStep(s);
        Predict(s);
        const EStepVerdict verdict = Judge(s, Correct(s));
        if (verdict == EStepVerdict::Stop)
            break;
        if (verdict == EStepVerdict::Halve) {
            Halve(s);
            continue;
        }
        Accept(s);
        if (s.m_nSubdiv < 1) {
            StoreRow(s);
            BeginInterval(s);
        }
    } while (s.m_nPoint < m_nPoints);
    return FinishRun(s);
}

bool CSolver::CanRun(double ts, double te) const {
    return m_nRows >= 2 && ts < te && m_nSize >= 16 && m_nCols == std::uint32_t(m_nSize) + 1 &&
           m_nResCols >= std::uint32_t(kResultColumns);
}

// Stores row 0 from the initial state and opens the progress.
void CSolver::StartRun(CRunState& s, const double* x0) {
    const double ts = s.m_dTs;
    m_nBadState = -1;
    m_dStopTime = ts;
    m_bPhaseLValid = false;
    s.m_dA0 = m_pUObject->m_dUmax;
    s.m_bSupplyFollowsControl = m_pRObject->m_nCondition == 1 && m_pRObject->m_bSpeedControl;

    double** P = m_pRes->m_pData;
    double** T = m_ppResTab;
    P[0][0] = ts;
    for (int i = 0; i < m_nSize; ++i)
        P[0][i + 1] = x0[i];
    // Row 0 shows the initial state, so plots start where the run starts.
    T[0][kColT] = ts;
    T[0][kColIa] = x0[12];
    T[0][kColIb] = x0[13] - x0[12];
    T[0][kColIc] = 0.0 - x0[13]; // no negative zero in the first row
    T[0][kColOmegaR] = x0[15];
    T[0][kColBetaR] = x0[14];
    s.m_pLastP = P[0];
    s.m_pLastT = T[0];

    // Progress follows simulated time, so a run that halves its steps shows that it is slow.
    if (m_pProgress)
        m_pProgress->Open(0, kProgressScale);
}

// The next output interval is covered by one full step until a step is halved.
void CSolver::BeginInterval(CRunState& s) {
    s.m_dH = s.m_dDelta;
    s.m_nSubdiv = 1;
}

// True, with the status set, when the user cancels or no further step can be counted.
bool CSolver::StopBeforeStep(CRunState& s) {
    if (m_pProgress && m_pProgress->IsCancelled())
        s.m_status = ERunStatus::Cancelled;
    else if (m_nStepCount == std::numeric_limits<int>::max())
        // The step count cannot grow further: as many steps as a halved run can take.
        s.m_status = ERunStatus::StepTooSmall;
    else
        return false;
    m_dStopTime = s.m_dT;
    return true;
}

// Counts the step and sets the control, the supply and the switches for it.
void CSolver::BeginStep(CRunState& s) {
    const double* x = s.m_adX.data();
    s.m_dTe = m_pGObject->CalcTorque(x[12], x[13], x[14]);
    ++m_nStepCount;
    if (m_pProgress)
        m_pProgress->SetPos(static_cast<long long>((s.m_dT - s.m_dTs) * s.m_dToProgress));
    ApplyControl(s, x[15]);
    SetSwitchResistances(s);
}

// Failures, speed path, speed control, supply and modulation at the start of the step.
void CSolver::ApplyControl(CRunState& s, double omega) {
    CRclass& R = *m_pRObject;
    CUclass& U = *m_pUObject;
    const double t = s.m_dT;
    const double h = s.m_dH;
    R.SelectFailures(t);
    R.StepSpeedPath(t);
    const double theta = R.SpeedControl(omega, h);
    if (s.m_bSupplyFollowsControl) {
        U.m_dF = R.m_dOmegaU / (2 * kPi);
        U.m_dUmax = s.m_dA0 * R.m_dAmplitude;
    }
    U.BeginStep(t);
    R.Modulate(theta, h);
}

// The switches conduct as the previous output point's branch currents say; R and M take the
// resistances that follow.
void CSolver::SetSwitchResistances(CRunState& s) {
    CRclass& R = *m_pRObject;
    const double* last = s.m_pLastT;
    R.UpdateConduction(last[10], last[16], last[11], last[17], last[12], last[18], last[13],
                       last[19], last[14], last[20], last[15], last[21]);
    R.CalcR();
    R.GetResistances(s.m_adBranchR, s.m_adCoilR);
    m_pMObject->SetResistances(s.m_adBranchR, s.m_adCoilR);
}

// y = dx/dt at state x, torque Te and time s.m_dT.
void CSolver::Slope(CRunState& s, const double* x, double Te, double* y) {
    CMclass& M = *m_pMObject;
    CGclass& G = *m_pGObject;
    CUclass& U = *m_pUObject;
    const double beta = x[14];
    M.CalcM(beta);
    G.CalcG(beta);
    U.SetTorque(Te);
    G.CalcPmTerms(s.m_adPm, beta);
    U.SetPmTerms(s.m_adPm);
    U.CalcU(s.m_dT, x[15]);
    s.m_system.Solve(x, x[15], M.m_pM->m_pData, U.m_pU->m_pData, m_pRObject->m_pR->m_pData,
                     G.m_pG->m_pData, y);
}

// Euler predictor: x1 = x + h y, and the time moves to the end of the step.
void CSolver::Predict(CRunState& s) {
    Slope(s, s.m_adX.data(), s.m_dTe, s.m_adY.data());
    const double h = s.m_dH;
    for (int i = 0; i < m_nSize; ++i)
        s.m_adX1[i] = s.m_adX[i] + h * s.m_adY[i];
    s.m_dT += h;
}

// Trapezoidal corrector, at most four iterations; true when the last one moved no state
// value by more than 0.001.
bool CSolver::Correct(CRunState& s) {
    const double h = s.m_dH;
    std::vector<double>& x1 = s.m_adX1;
    std::vector<double>& x2 = s.m_adX2;
    int iter = 0;
    bool notConverged = false;
    do {
        const double Te1 = m_pGObject->CalcTorque(x1[12], x1[13], x1[14]);
        Slope(s, x1.data(), Te1, s.m_adY1.data());
        for (int i = 0; i < m_nSize; ++i)
            x2[i] = s.m_adX[i] + 0.5 * h * (s.m_adY[i] + s.m_adY1[i]);
        notConverged =
            s.m_proc.IsNotCoincide(x1.data(), x2.data(), static_cast<short>(m_nSize), 0.001);
        ++iter;
        x1 = x2;
    } while (notConverged && iter <= 3);
    return !notConverged;
}

// A converged finite step is accepted; one that did not converge is halved while the step
// stays at least the minimum; a state that is not finite stops the run either way.
CSolver::EStepVerdict CSolver::Judge(CRunState& s, bool converged) {
    const int bad = FirstNonFinite(s.m_adX2.data(), m_nSize);
    if (converged) {
        m_nBadState = bad;
        if (bad < 0)
            return EStepVerdict::Accept;
        s.m_status = ERunStatus::NonFinite;
    } else {
        if (bad < 0 && s.m_dH * 0.5 >= s.m_dHMin)
            return EStepVerdict::Halve;
        m_nBadState = bad;
        s.m_status = bad >= 0 ? ERunStatus::NonFinite : ERunStatus::StepTooSmall;
    }
    m_dStopTime = s.m_dT - s.m_dH;
    return EStepVerdict::Stop;
}

// Moves the time back and retries the step with half its length.
void CSolver::Halve(CRunState& s) {
    // The count of steps left doubles; beyond the library's 16-bit count it is doubled here.
    s.m_nSubdiv = s.m_nSubdiv < 16384 ? s.m_proc.IncreaseSubdiv(static_cast<short>(s.m_nSubdiv))
                                      : 2 * s.m_nSubdiv;
    s.m_dT = s.m_proc.SetSolverTime(s.m_dT, s.m_dH);
    s.m_dH = s.m_proc.SetStep(s.m_dH);
}

// The corrected state becomes the state the next step starts from.
void CSolver::Accept(CRunState& s) {
    m_pUObject->AcceptStep(s.m_dT);
    --s.m_nSubdiv;
    s.m_adX = s.m_adX2;
}

// Writes the output point that ends the interval: to the next stored row when it is kept,
// otherwise to a scratch row, which the next point still finds as its predecessor.
void CSolver::StoreRow(CRunState& s) {
    const std::uint32_t point = s.m_nPoint;
    const bool store = point % m_nEvery == 0 || point == m_nPoints - 1;
    double* scratchRow = s.m_adScratch.data() + (point % 2) * s.m_nScratchRow;
    double* rowP = store ? m_pRes->m_pData[s.m_nK] : scratchRow;
    double* rowT = store ? m_ppResTab[s.m_nK] : scratchRow + m_nCols;
    double* rowFlux = store ? m_pFluxTab[s.m_nK] : scratchRow + m_nCols + m_nResCols;
    rowP[0] = s.m_dT;
    for (int i = 0; i < m_nSize; ++i)
        rowP[i + 1] = s.m_adX[i];
    CalcResultRow(rowP, s.m_pLastP, rowT, s.m_pLastT, rowFlux);
    CRclass& R = *m_pRObject;
    R.KeepTransistorStates();
    rowT[kColOmegaU] = R.m_dOmegaU;
    rowT[kColTe] = s.m_dTe;
    rowT[kColOmegaRRef] = R.m_dOmegaRRef;
    rowT[kColOmegaRRamp] = R.m_dOmegaRRamp;
    rowT[kColOmegaE] = R.m_dOmegaE;
    s.m_pLastP = rowP;
    s.m_pLastT = rowT;
    s.m_nK += store ? 1 : 0;
    s.m_nPoint = point + 1;
}

ERunStatus CSolver::FinishRun(const CRunState& s) {
    if (m_pProgress)
        m_pProgress->Close();
    if (s.m_status == ERunStatus::Completed)
        m_dStopTime = s.m_dT;
    return s.m_status;
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

void CSolver::CalcResultRow(std::uint32_t k) {
    CalcResultRow(m_pRes->m_pData[k], m_pRes->m_pData[k - 1], m_ppResTab[k], m_ppResTab[k - 1],
                  m_pFluxTab[k]);
}

void CSolver::CalcResultRow(const double* P1, const double* P0, double* T1, double* T0,
                            double* pFlux) {
    // x[i] of row k is P1[i + 1].
    const double dt = P1[0] - P0[0];
    auto D = [dt](double now, double before) { return (now - before) / dt; };
    auto X1 = [P1](int i) { return P1[i + 1]; };
    auto X0 = [P0](int i) { return P0[i + 1]; };

    T1[kColT] = P1[0];
    T1[kColIa] = X1(12);
    T1[kColIb] = X1(13) - X1(12);
    T1[kColIc] = -X1(13);
    T1[kColIU] = D(X1(0) + X1(1), X0(0) + X0(1));
    T1[kColIC] = D(X1(0), X0(0));
    T1[kColIDC] = T1[kColIU] - T1[kColIC];
    T1[10] = D(X1(2) - X1(4), X0(2) - X0(4));
    T1[11] = D(X1(5) - X1(7), X0(5) - X0(7));
    T1[12] = D(X1(8), X0(8));
    T1[13] = D(X1(3) - X1(4) - X1(10), X0(3) - X0(4) - X0(10));
    T1[14] = D(X1(6) - X1(7) - X1(11), X0(6) - X0(7) - X0(11));
    T1[15] = D(X1(9), X0(9));
    T1[16] = D(X1(2) - X1(1), X0(2) - X0(1));
    T1[17] = D(X1(5) - X1(4), X0(5) - X0(4));
    T1[18] = D(X1(8) - X1(7), X0(8) - X0(7));
    T1[19] = D(X1(3) - X1(1), X0(3) - X0(1));
    T1[20] = D(X1(6) - X1(4) - X1(10), X0(6) - X0(4) - X0(10));
    T1[21] = D(X1(9) - X1(7) - X1(11), X0(9) - X0(7) - X0(11));
    T1[kColOmegaR] = X1(15);
    T1[kColBetaR] = X1(14);

    // Coil flux linkages: every coil j carries its own phase's current.
    const double beta = T1[kColBetaR];
    const double phaseI[3] = {T1[kColIa], T1[kColIb], T1[kColIc]};
    double* flux = pFlux;
    // Without harmonics the inductances do not depend on beta: their phase sums are kept.
    if (m_pMObject->m_nNh != 0 || !m_bPhaseLValid) {
        m_pMObject->CoilPhaseInductances(beta, m_adPhaseL);
        m_bPhaseLValid = true;
    }
    double magnets[kCoils];
    m_pGObject->CoilPmFluxSums(beta, magnets);
    double phaseFlux[3] = {0.0, 0.0, 0.0};
    for (int i = 0; i < kCoils; ++i) {
        const double* sums = m_adPhaseL[i];
        const double psi =
            sums[0] * phaseI[0] + sums[1] * phaseI[1] + sums[2] * phaseI[2] + magnets[i];
        flux[i] = psi;
        phaseFlux[CoilPhase(i)] += psi;
    }
    T1[kColPsia] = phaseFlux[0];
    T1[kColPsib] = phaseFlux[1];
    T1[kColPsic] = phaseFlux[2];
    if (T0 == m_ppResTab[0]) {
        // Row 0 has no flux of its own: it shows the first point's, so that point's voltages
        // are the resistive drops.
        T0[kColPsia] = T1[kColPsia];
        T0[kColPsib] = T1[kColPsib];
        T0[kColPsic] = T1[kColPsic];
    }

    double phaseR[3] = {0.0, 0.0, 0.0};
    for (int i = 0; i < kCoils; ++i)
        phaseR[CoilPhase(i)] += m_pRObject->m_dCoilR[i];
    const double dtRes = T1[kColT] - T0[kColT];
    T1[kColUa] = (T1[kColPsia] - T0[kColPsia]) / dtRes + phaseR[0] * T1[kColIa];
    T1[kColUb] = (T1[kColPsib] - T0[kColPsib]) / dtRes + phaseR[1] * T1[kColIb];
    T1[kColUc] = (T1[kColPsic] - T0[kColPsic]) / dtRes + phaseR[2] * T1[kColIc];
    T1[kColUab] = T1[kColUa] - T1[kColUb];
    T1[kColUbc] = T1[kColUb] - T1[kColUc];
    T1[kColUca] = T1[kColUc] - T1[kColUa];
    T1[kColVX] = T1[kColUa] + T1[kColUb] + T1[kColUc];
}
