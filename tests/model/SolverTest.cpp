#include "Solver.h"
#include "Progress.h"
#include "ResultColumns.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

// Counts every allocation of this test program, so a test can show that a run allocates the
// same whatever its length. A sanitizer brings its own allocator, so there the count is off.
#if defined(__SANITIZE_ADDRESS__)
#define KALVOR_COUNTS_ALLOCATIONS 0
#else
#define KALVOR_COUNTS_ALLOCATIONS 1
#endif

static std::atomic<long> g_nAllocations{0};

#if KALVOR_COUNTS_ALLOCATIONS
void* operator new(std::size_t size) {
    ++g_nAllocations;
    if (void* p = std::malloc(size ? size : 1))
        return p;
    throw std::bad_alloc();
}

// Every form of delete must release with free, to match the malloc above. The compiler
// cannot see that operator new above is malloc, hence the pragma.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}
#pragma GCC diagnostic pop
#endif

namespace {

constexpr int kN = 16;

// The program's default drive (inverter, SVPWM 5 kHz, 200 V, path 0*100*), written straight
// into the model objects as the parameter transfer would.
void ConfigureDefaultDrive(CSolver& s) {
    CRclass& R = *s.m_pRObject;
    R.m_nCondition = 0;
    R.m_bSpeedControl = 0;
    R.m_dC = 0.0001;
    R.m_pBranchR[0] = 0.1;
    R.m_dKp = 0.6;
    R.m_dKi = 50;
    R.m_dKt = 700;
    R.m_dRonT = 0.1;
    R.m_dRoffT = 1000;
    R.m_dRonD = 0.1;
    R.m_dRoffD = 1000;
    R.m_dTc = 1.0 / 5000;
    R.m_dUd = 200;
    R.m_dCarrierTime = 1000.0;
    R.m_nSequenceSign = -1;
    R.m_strSpeedPath = "0.0*100.0*";
    R.m_nPathIndex = 0;
    R.ParseSpeedPath();
    R.m_dMra = R.m_dMrb = R.m_dMrc = 1.0;
    R.m_dD = 0.000904;
    CUclass& U = *s.m_pUObject;
    U.m_dUd = 200;
    U.m_dUmax = U.m_dF = U.m_dPhi = 0;
    U.m_dT = 0;
    CMclass& M = *s.m_pMObject;
    M.m_dMl = M.m_dMm = 1.0;
    M.m_dJ = 0.000962;
    M.m_nNh = 0;
    CGclass& G = *s.m_pGObject;
    G.m_dMl = G.m_dMm = 1.0;
    G.m_nNb = 3;
    G.m_nNh = 0;
}

std::unique_ptr<CSolver> MakeDrive(std::uint32_t rows) {
    auto p = std::make_unique<CSolver>(rows, kN + 1, kN, kResultColumns);
    ConfigureDefaultDrive(*p);
    return p;
}

constexpr int CoilPhase(int coil) {
    return (coil / 3) % 3;
}

struct CRecorder : IProgressSink {
    void Open(long long lo, long long hi) override {
        m_nLower = lo;
        m_nUpper = hi;
        ++m_nOpened;
    }
    void SetPos(long long pos) override {
        EXPECT_GE(pos, m_nLast);
        m_nLast = pos;
    }
    void Close() override { ++m_nClosed; }
    bool IsCancelled() const override { return m_nCancelAt > 0 && m_nLast >= m_nCancelAt; }
    long long m_nLower = -1, m_nUpper = -1, m_nLast = 0, m_nCancelAt = 0;
    int m_nOpened = 0, m_nClosed = 0;
};

} // namespace

// One default run of 20000 rows, shared by the checks of what a run stores.
class DefaultRun : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_pSolver = MakeDrive(20000).release();
        s_pSolver->m_pProgress = &s_progress;
        double x0[kN] = {};
        s_status = s_pSolver->Run(0.0, 0.1, x0);
        s_pSolver->m_pProgress = nullptr;
    }
    static void TearDownTestSuite() {
        delete s_pSolver;
        s_pSolver = nullptr;
    }
    static double P(std::uint32_t k, int col) { return s_pSolver->m_pRes->m_pData[k][col]; }
    static double T(std::uint32_t k, int col) { return s_pSolver->m_ppResTab[k][col]; }

    static CSolver* s_pSolver;
    static ERunStatus s_status;
    static CRecorder s_progress;
};
CSolver* DefaultRun::s_pSolver = nullptr;
ERunStatus DefaultRun::s_status = ERunStatus::NotRun;
CRecorder DefaultRun::s_progress;

TEST_F(DefaultRun, TakesOneStepPerRowAndEndsAtTe) {
    ASSERT_EQ(s_status, ERunStatus::Completed);
    EXPECT_EQ(s_pSolver->m_nStepCount, 19999);
    const double delta = 0.1 / 19999;
    for (std::uint32_t k = 0; k < 20000; ++k) {
        // Times are accumulated step by step, so they agree with k * delta up to rounding.
        ASSERT_NEAR(P(k, 0), k * delta, 1e-13) << k;
        ASSERT_EQ(T(k, kColT), P(k, 0)) << k;
    }
    EXPECT_NEAR(P(19999, 0), 0.1, 1e-13);
}

TEST_F(DefaultRun, ReportsProgressOverTheRows) {
    EXPECT_EQ(s_progress.m_nOpened, 1);
    EXPECT_EQ(s_progress.m_nClosed, 1);
    // Progress is the share of simulated time done when the last step starts.
    EXPECT_EQ(s_progress.m_nLower, 0);
    EXPECT_EQ(s_progress.m_nUpper, kProgressScale);
    EXPECT_NEAR(double(s_progress.m_nLast), double(kProgressScale) * 19998 / 19999, 1.0);
}

TEST_F(DefaultRun, RowZeroHoldsTheInitialStateAndRowOnesFlux) {
    for (int c = 0; c < kResultColumns; ++c) {
        if (c >= kColPsia)
            EXPECT_EQ(T(0, c), T(1, c)) << c;
        else
            EXPECT_EQ(T(0, c), 0.0) << c;
    }
}

TEST_F(DefaultRun, RowOneVoltagesAreTheResistiveDrops) {
    double phaseR[3] = {};
    for (int i = 0; i < 18; ++i)
        phaseR[CoilPhase(i)] += s_pSolver->m_pRObject->m_dCoilR[i];
    EXPECT_DOUBLE_EQ(T(1, kColUa), phaseR[0] * T(1, kColIa));
    EXPECT_DOUBLE_EQ(T(1, kColUb), phaseR[1] * T(1, kColIb));
    EXPECT_DOUBLE_EQ(T(1, kColUc), phaseR[2] * T(1, kColIc));
}

TEST_F(DefaultRun, ColumnsFollowTheirDefinitions) {
    double phaseR[3] = {};
    for (int i = 0; i < 18; ++i)
        phaseR[CoilPhase(i)] += s_pSolver->m_pRObject->m_dCoilR[i];
    // Branch charges of the devices over the state columns (x[i] is column i + 1).
    auto q = [](std::uint32_t k, int col) {
        auto x = [k](int i) { return P(k, i + 1); };
        switch (col) {
        case 7:
            return x(0) + x(1);
        case 8:
            return x(0);
        case 10:
            return x(2) - x(4);
        case 11:
            return x(5) - x(7);
        case 12:
            return x(8);
        case 13:
            return x(3) - x(4) - x(10);
        case 14:
            return x(6) - x(7) - x(11);
        case 15:
            return x(9);
        case 16:
            return x(2) - x(1);
        case 17:
            return x(5) - x(4);
        case 18:
            return x(8) - x(7);
        case 19:
            return x(3) - x(1);
        case 20:
            return x(6) - x(4) - x(10);
        case 21:
            return x(9) - x(7) - x(11);
        }
        return 0.0;
    };
    for (std::uint32_t k = 1; k < 20000; k += 37) {
        const double dt = P(k, 0) - P(k - 1, 0);
        EXPECT_EQ(T(k, kColIa), P(k, 13));
        EXPECT_EQ(T(k, kColIb), P(k, 14) - P(k, 13));
        EXPECT_EQ(T(k, kColIc), -P(k, 14));
        for (int col : {7, 8, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21})
            EXPECT_EQ(T(k, col), (q(k, col) - q(k - 1, col)) / dt) << "row " << k << " col " << col;
        EXPECT_EQ(T(k, kColIDC), T(k, kColIU) - T(k, kColIC));
        EXPECT_EQ(T(k, kColOmegaR), P(k, 16));
        EXPECT_EQ(T(k, kColBetaR), P(k, 15));
        for (int p = 0; p < 3; ++p) {
            double sum = 0.0;
            for (int i = 0; i < 18; ++i) {
                if (CoilPhase(i) == p)
                    sum += s_pSolver->m_pFluxTab[k][i];
            }
            EXPECT_NEAR(T(k, kColPsia + p), sum, 1e-12);
            const double u =
                (T(k, kColPsia + p) - T(k - 1, kColPsia + p)) / dt + phaseR[p] * T(k, kColIa + p);
            EXPECT_DOUBLE_EQ(T(k, kColUa + p), u);
        }
        EXPECT_EQ(T(k, kColUab), T(k, kColUa) - T(k, kColUb));
        EXPECT_EQ(T(k, kColUbc), T(k, kColUb) - T(k, kColUc));
        EXPECT_EQ(T(k, kColUca), T(k, kColUc) - T(k, kColUa));
        EXPECT_EQ(T(k, kColVX), T(k, kColUa) + T(k, kColUb) + T(k, kColUc));
    }
}

// Coil i links the flux of every coil j carrying coil j's own phase current, plus the magnets.
TEST_F(DefaultRun, CoilFluxLinkagesUseEachCoilsOwnPhaseCurrent) {
    const CMclass& M = *s_pSolver->m_pMObject;
    const CGclass& G = *s_pSolver->m_pGObject;
    for (std::uint32_t k : {1u, 517u, 4000u, 12345u, 19999u}) {
        const double beta = T(k, kColBetaR);
        const double ip[3] = {T(k, kColIa), T(k, kColIb), T(k, kColIc)};
        for (int i = 0; i < 18; ++i) {
            double psi = 0.0;
            for (int j = 0; j < 18; ++j)
                psi += M.Inductance(i, j, beta) * ip[CoilPhase(j)];
            for (int m = 0; m < 4; ++m)
                psi += G.CoilPmFlux(i, m, beta);
            EXPECT_NEAR(s_pSolver->m_pFluxTab[k][i], psi, 1e-12 * (1 + std::fabs(psi)))
                << "row " << k << " coil " << i;
        }
    }
}

// The last step's conduction update saw the currents of the row stored before it.
TEST_F(DefaultRun, ConductionFollowsTheLastStoredRow) {
    const CRclass& R = *s_pSolver->m_pRObject;
    const std::uint32_t last = 19998; // stored before the final step
    for (int k = 1; k <= 6; ++k) {
        const double it = T(last, kColIT1 + k - 1);
        const double id = T(last, kColID1 + k - 1);
        if (it * R.m_dRoffT < 0.3) {
            EXPECT_EQ(R.m_dRT[k], R.m_dRoffT) << "T" << k;
        }
        const int opposite = k <= 3 ? k + 3 : k - 3;
        const bool conducts =
            id * R.m_dRoffD >= 0.6 && R.m_dRT[k] != R.m_dRonT && R.m_dRT[opposite] != R.m_dRonT;
        EXPECT_EQ(R.m_dRD[k], conducts ? R.m_dRonD : R.m_dRoffD) << "D" << k;
    }
}

// Row 0's device currents are zero, so the first step runs with every device blocked, even
// when the initial state carries current.
TEST(CSolver, FirstStepSeesTheZeroDeviceCurrentsOfRowZero) {
    auto s = MakeDrive(2);
    double x0[kN] = {};
    x0[12] = 3.0;
    x0[13] = -1.0;
    ASSERT_EQ(s->Run(0.0, 5e-6, x0), ERunStatus::Completed);
    const CRclass& R = *s->m_pRObject;
    for (int k = 1; k <= 6; ++k) {
        EXPECT_EQ(R.m_dRT[k], R.m_dRoffT) << "T" << k;
        EXPECT_EQ(R.m_dRD[k], R.m_dRoffD) << "D" << k;
    }
}

TEST(CSolver, RowZeroTakesStartTimeCurrentsSpeedAndAngleOfTheInitialState) {
    auto s = MakeDrive(3);
    double x0[kN] = {};
    x0[12] = 2.0;
    x0[13] = 0.5;
    x0[14] = 0.7;
    x0[15] = 12.0;
    ASSERT_EQ(s->Run(0.02, 0.02 + 1e-5, x0), ERunStatus::Completed);
    const double* row0 = s->m_ppResTab[0];
    EXPECT_EQ(row0[kColT], 0.02);
    EXPECT_EQ(row0[kColIa], 2.0);
    EXPECT_EQ(row0[kColIb], -1.5);
    EXPECT_EQ(row0[kColIc], -0.5);
    EXPECT_EQ(row0[kColOmegaR], 12.0);
    EXPECT_EQ(row0[kColBetaR], 0.7);
    for (int c : {4, 5, 6, 7, 8, 9, 10, 15, 16, 21, 23, 24, 26, 29, 30, 31, 32})
        EXPECT_EQ(row0[c], 0.0) << c;
    EXPECT_EQ(s->m_pRes->m_pData[0][0], 0.02);
    EXPECT_EQ(s->m_pRes->m_pData[0][13], 2.0);
}

// An output interval far above what converges: the steps are halved, and every output row still
// lands on its time.
TEST(CSolver, HalvedStepsStillLandOnEveryOutputPoint) {
    auto s = MakeDrive(11);
    double x0[kN] = {};
    ASSERT_EQ(s->Run(0.0, 0.01, x0), ERunStatus::Completed);
    EXPECT_GT(s->m_nStepCount, 10);
    for (std::uint32_t k = 0; k < 11; ++k)
        EXPECT_NEAR(s->m_pRes->m_pData[k][0], k * 0.001, 1e-15) << k;
    EXPECT_EQ(s->m_ppResTab[10][kColT], s->m_pRes->m_pData[10][0]);
    EXPECT_EQ(s->m_dStopTime, s->m_pRes->m_pData[10][0]);

    // Keeping every 4th point of the same halved run stores points 0, 4, 8 and 10 unchanged.
    auto sparse = MakeDrive(CSolver::StoredRows(11, 4));
    ASSERT_TRUE(sparse->SetStoring(11, 4));
    ASSERT_EQ(sparse->Run(0.0, 0.01, x0), ERunStatus::Completed);
    EXPECT_EQ(sparse->m_nStepCount, s->m_nStepCount);
    const std::uint32_t points[] = {0, 4, 8, 10};
    for (std::uint32_t r = 0; r < 4; ++r) {
        const std::uint32_t k = points[r];
        EXPECT_EQ(0, std::memcmp(sparse->m_pRes->m_pData[r], s->m_pRes->m_pData[k],
                                 sizeof(double) * (kN + 1)))
            << "state row " << k;
        EXPECT_EQ(0, std::memcmp(sparse->m_ppResTab[r], s->m_ppResTab[k],
                                 sizeof(double) * kResultColumns))
            << "result row " << k;
    }
}

// Negative damping of 1e12 Nm s/rad makes the speed grow at a rate of 1e18 /s: no step above
// the minimum converges.
TEST(CSolver, StopsAtTheMinimumStep) {
    auto s = MakeDrive(21);
    s->m_pRObject->m_dD = -1e12;
    double x0[kN] = {};
    x0[15] = 1.0;
    EXPECT_EQ(s->Run(0.0, 1e-4, x0), ERunStatus::StepTooSmall);
    EXPECT_EQ(s->m_dStopTime, 0.0);
    EXPECT_EQ(s->m_nStepCount, CSolver::kMaxHalvings + 1);
    EXPECT_EQ(s->m_ppResTab[1][kColT], 0.0); // nothing stored after the stop
}

// Zero device resistances leave the bridge meshes without an equation: Gaussian elimination
// gives NaN, which the corrector's test does not see.
TEST(CSolver, StopsWhenTheStateIsNotFinite) {
    auto s = MakeDrive(21);
    CRclass& R = *s->m_pRObject;
    R.m_dRonT = R.m_dRoffT = R.m_dRonD = R.m_dRoffD = 0.0;
    double x0[kN] = {};
    EXPECT_EQ(s->Run(0.0, 1e-4, x0), ERunStatus::NonFinite);
    EXPECT_GE(s->m_nBadState, 0);
    EXPECT_LT(s->m_nBadState, kN);
    EXPECT_EQ(s->m_dStopTime, 0.0); // the start of the step that failed, the first
    EXPECT_EQ(s->m_ppResTab[1][kColT], 0.0);
}

TEST(CSolver, StopsWhenTheProgressSinkCancels) {
    auto s = MakeDrive(1000);
    CRecorder progress;
    progress.m_nCancelAt = kProgressScale * 99 / 999; // where step 100 starts
    s->m_pProgress = &progress;
    double x0[kN] = {};
    EXPECT_EQ(s->Run(0.0, 0.005, x0), ERunStatus::Cancelled);
    EXPECT_EQ(s->m_nStepCount, 100);
    EXPECT_EQ(progress.m_nClosed, 1);
}

// Everything a run needs is allocated before its first step: a run of 100 times the steps makes
// exactly as many allocations.
TEST(CSolver, AllocatesNothingInsideTheStepLoop) {
    if (!KALVOR_COUNTS_ALLOCATIONS)
        GTEST_SKIP() << "allocations are not counted under a sanitizer";
    long counts[2];
    const std::uint32_t rows[2] = {11, 1001};
    for (int r = 0; r < 2; ++r) {
        auto s = MakeDrive(rows[r]);
        double x0[kN] = {};
        const long before = g_nAllocations.load();
        ASSERT_EQ(s->Run(0.0, (rows[r] - 1) * 5e-6, x0), ERunStatus::Completed);
        counts[r] = g_nAllocations.load() - before;
        EXPECT_EQ(s->m_nStepCount, int(rows[r]) - 1);
    }
    EXPECT_EQ(counts[0], counts[1]);
}

TEST(CSolver, RefusesAnIntervalOrRowCountItCannotRun) {
    double x0[kN] = {};
    EXPECT_EQ(MakeDrive(1)->Run(0.0, 0.1, x0), ERunStatus::NotRun);
    EXPECT_EQ(MakeDrive(10)->Run(0.1, 0.1, x0), ERunStatus::NotRun);
    EXPECT_EQ(MakeDrive(10)->Run(0.2, 0.1, x0), ERunStatus::NotRun);
}
