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

ERunStatus CSolver::Run(double ts, double te, const double* x0) {
    if (m_nRows < 2 || !(ts < te) || m_nSize < 16 || m_nCols != std::uint32_t(m_nSize) + 1 ||
        m_nResCols < std::uint32_t(kResultColumns))
        return ERunStatus::NotRun;

    const int n = m_nSize;
    const short ns = static_cast<short>(n);
    CMclass& M = *m_pMObject;
    CGclass& G = *m_pGObject;
    CUclass& U = *m_pUObject;
    CRclass& R = *m_pRObject;
    double** P = m_pRes->m_pData;
    double** T = m_ppResTab;

    // Every buffer of the run, allocated once.
    std::vector<double> y(n, 0.0), y1(n, 0.0), x(x0, x0 + n), x1(x), x2(x);
    CLinearSystem system(n, kRotorBlock, CMclass::WrittenEntries(), CRclass::WrittenEntries(),
                         CGclass::WrittenEntries());
    // Output points that are not stored go to two scratch rows in turn, so that the next point
    // still finds its predecessor.
    std::vector<double> scratch(2 * std::size_t(m_nCols + m_nResCols + kCoils), 0.0);
    double branchR[14] = {};
    double coilR[kCoils] = {};
    double pm[2] = {};
    const CSolverProc proc;

    const double delta = (te - ts) / (m_nPoints - 1);
    const double hMin = std::ldexp(delta, -kMaxHalvings);
    double t = ts;
    double h = delta;
    m_nBadState = -1;
    m_dStopTime = ts;
    m_bPhaseLValid = false;

    P[0][0] = ts;
    for (int i = 0; i < n; ++i)
        P[0][i + 1] = x0[i];
    // Row 0 shows the initial state, so plots start where the run starts.
    T[0][kColT] = ts;
    T[0][kColIa] = x0[12];
    T[0][kColIb] = x0[13] - x0[12];
    T[0][kColIc] = 0.0 - x0[13]; // no negative zero in the first row
    T[0][kColOmegaR] = x0[15];
    T[0][kColBetaR] = x0[14];

    // Progress follows simulated time, so a run that halves its steps shows that it is slow.
    const double toProgress = double(kProgressScale) / (te - ts);
    if (m_pProgress)
        m_pProgress->Open(0, kProgressScale);

    const double a0 = U.m_dUmax;
    const bool bSupplyFollowsControl = R.m_nCondition == 1 && R.m_bSpeedControl;
    ERunStatus status = ERunStatus::Completed;
    std::uint32_t k = 1;     // next stored row
    std::uint32_t point = 1; // next output point
    const double* lastP = P[0];
    double* lastT = T[0];
    int subdiv = 1;
    do {
        if (m_pProgress && m_pProgress->IsCancelled()) {
            status = ERunStatus::Cancelled;
            m_dStopTime = t;
            break;
        }
        const double omega = x[15];
        const double beta = x[14];
        const double Te = G.CalcTorque(x[12], x[13], beta);
        if (m_nStepCount == std::numeric_limits<int>::max()) {
            // The step count cannot grow further: as many steps as a halved run can take.
            status = ERunStatus::StepTooSmall;
            m_dStopTime = t;
            break;
        }
        ++m_nStepCount;
        if (m_pProgress)
            m_pProgress->SetPos(static_cast<long long>((t - ts) * toProgress));

        R.SelectFailures(t);
        R.StepSpeedPath(t);
        const double theta = R.SpeedControl(omega, h);
        if (bSupplyFollowsControl) {
            U.m_dF = R.m_dOmegaU / (2 * kPi);
            U.m_dUmax = a0 * R.m_dAmplitude;
        }
        U.BeginStep(t);
        R.Modulate(theta, h);
        const double* last = lastT;
        R.UpdateConduction(last[10], last[16], last[11], last[17], last[12], last[18], last[13],
                           last[19], last[14], last[20], last[15], last[21]);
        R.CalcR();
        R.GetResistances(branchR, coilR);
        M.SetResistances(branchR, coilR);

        M.CalcM(beta);
        G.CalcG(beta);
        U.SetTorque(Te);
        G.CalcPmTerms(pm, beta);
        U.SetPmTerms(pm);
        U.CalcU(t, omega);
        system.Solve(x.data(), x[15], M.m_pM->m_pData, U.m_pU->m_pData, R.m_pR->m_pData,
                     G.m_pG->m_pData, y.data());

        for (int i = 0; i < n; ++i)
            x1[i] = x[i] + h * y[i];
        t += h;
        int iter = 0;
        bool notConverged = false;
        do {
            const double Te1 = G.CalcTorque(x1[12], x1[13], x1[14]);
            M.CalcM(x1[14]);
            G.CalcG(x1[14]);
            U.SetTorque(Te1);
            G.CalcPmTerms(pm, x1[14]);
            U.SetPmTerms(pm);
            U.CalcU(t, x1[15]);
            system.Solve(x1.data(), x1[15], M.m_pM->m_pData, U.m_pU->m_pData, R.m_pR->m_pData,
                         G.m_pG->m_pData, y1.data());
            for (int i = 0; i < n; ++i)
                x2[i] = x[i] + 0.5 * h * (y[i] + y1[i]);
            notConverged = proc.IsNotCoincide(x1.data(), x2.data(), ns, 0.001);
            ++iter;
            x1 = x2;
        } while (notConverged && iter <= 3);

        if (notConverged) {
            const int bad = FirstNonFinite(x2.data(), n);
            if (bad >= 0 || h * 0.5 < hMin) {
                m_nBadState = bad;
                m_dStopTime = t - h;
                status = bad >= 0 ? ERunStatus::NonFinite : ERunStatus::StepTooSmall;
                break;
            }
            // The count of steps left doubles; beyond the library's 16-bit count it is
            // doubled here.
            subdiv = subdiv < 16384 ? proc.IncreaseSubdiv(static_cast<short>(subdiv)) : 2 * subdiv;
            t = proc.SetSolverTime(t, h);
            h = proc.SetStep(h);
            continue;
        }

        m_nBadState = FirstNonFinite(x2.data(), n);
        if (m_nBadState >= 0) {
            m_dStopTime = t - h;
            status = ERunStatus::NonFinite;
            break;
        }
        U.AcceptStep(t);
        --subdiv;
        if (subdiv < 1) {
            const bool store = point % m_nEvery == 0 || point == m_nPoints - 1;
            double* scratchRow = scratch.data() + (point % 2) * (m_nCols + m_nResCols + kCoils);
            double* rowP = store ? P[k] : scratchRow;
            double* rowT = store ? T[k] : scratchRow + m_nCols;
            double* rowFlux = store ? m_pFluxTab[k] : scratchRow + m_nCols + m_nResCols;
            rowP[0] = t;
            for (int i = 0; i < n; ++i)
                rowP[i + 1] = x2[i];
            CalcResultRow(rowP, lastP, rowT, lastT, rowFlux);
            R.KeepTransistorStates();
            rowT[kColOmegaU] = R.m_dOmegaU;
            rowT[kColTe] = Te;
            rowT[kColOmegaRRef] = R.m_dOmegaRRef;
            rowT[kColOmegaRRamp] = R.m_dOmegaRRamp;
            rowT[kColOmegaE] = R.m_dOmegaE;
            lastP = rowP;
            lastT = rowT;
            h = delta;
            k += store ? 1 : 0;
            ++point;
            subdiv = 1;
        }
        x = x2;
    } while (point < m_nPoints);

    if (m_pProgress)
        m_pProgress->Close();
    if (status == ERunStatus::Completed)
        m_dStopTime = t;
    return status;
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
