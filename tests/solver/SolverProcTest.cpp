#include "SolverProc.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

namespace {

// Augmented system [A | b] held in row-pointer form, as the library takes it.
struct CSystem {
    explicit CSystem(std::vector<std::vector<double>> rows) : m_rows(std::move(rows)) {
        for (auto& row : m_rows)
            m_ptrs.push_back(row.data());
    }
    double** Data() { return m_ptrs.data(); }
    std::vector<std::vector<double>> m_rows;
    std::vector<double*> m_ptrs;
};

} // namespace

TEST(CSolverProc, GaussianMethodNormalisesByTheStoredDiagonal) {
    // Upper triangular with non-unit diagonal: 2a + b = 5, 4b = 8 -> a = 1.5, b = 2 (by hand).
    CSystem sys({{2, 1, 5}, {0, 4, 8}});
    double y[2] = {};
    EXPECT_TRUE(CSolverProc().GaussianMethod(y, 2, sys.Data()));
    EXPECT_DOUBLE_EQ(y[0], 1.5);
    EXPECT_DOUBLE_EQ(y[1], 2.0);
}

TEST(CSolverProc, GaussianMethodSolvesARegularSystem) {
    // x = (1, -2, 3) substituted by hand into the rows.
    CSystem sys({{4, 1, 2, 4 - 2 + 6}, {1, 5, -1, 1 - 10 - 3}, {2, -1, 6, 2 + 2 + 18}});
    double y[3] = {};
    CSolverProc().GaussianMethod(y, 3, sys.Data());
    EXPECT_NEAR(y[0], 1.0, 1e-14);
    EXPECT_NEAR(y[1], -2.0, 1e-14);
    EXPECT_NEAR(y[2], 3.0, 1e-14);
}

TEST(CSolverProc, GaussianMethodGivesNonFiniteValuesForZeroFirstPivot) {
    // Regular after a row exchange, but the library does not pivot.
    CSystem sys({{0, 1, 1}, {1, 0, 2}});
    double y[2] = {};
    EXPECT_TRUE(CSolverProc().GaussianMethod(y, 2, sys.Data()));
    EXPECT_FALSE(std::isfinite(y[0]) && std::isfinite(y[1]));
}

TEST(CSolverProc, GaussianMethodWithOneUnknownOnlyDivides) {
    CSystem sys({{4, 10}});
    double y[1] = {};
    CSolverProc().GaussianMethod(y, 1, sys.Data());
    EXPECT_DOUBLE_EQ(y[0], 2.5);
    EXPECT_DOUBLE_EQ(sys.m_rows[0][0], 4.0);
}

TEST(CSolverProc, SetSystemMURGBuildsTheRightHandSideRowByRow) {
    std::vector<double> m0{1, 2}, m1{3, 4}, r0{0.5, 0}, r1{0, 2}, g0{1, 1}, g1{0, -1};
    double* M[2] = {m0.data(), m1.data()};
    double* R[2] = {r0.data(), r1.data()};
    double* G[2] = {g0.data(), g1.data()};
    const double x[2] = {2, 3};
    const double U[2] = {10, 20};
    CSystem a({{0, 0, 0}, {0, 0, 0}});
    const double omega = 5;
    EXPECT_TRUE(CSolverProc().SetSystemMURG(x, 2, a.Data(), omega, M, U, R, G));
    EXPECT_EQ(a.m_rows[0][0], 1);
    EXPECT_EQ(a.m_rows[1][1], 4);
    EXPECT_DOUBLE_EQ(a.m_rows[0][2], (10 - 1.0) - 5.0 * omega); // U - Rx - (Gx) omega
    EXPECT_DOUBLE_EQ(a.m_rows[1][2], (20 - 6.0) - (-3.0) * omega);

    CSystem b({{0, 0, 0}, {0, 0, 0}});
    EXPECT_TRUE(CSolverProc().SetSystemMUR(x, 2, b.Data(), M, U, R));
    EXPECT_DOUBLE_EQ(b.m_rows[0][2], 9.0);
    EXPECT_DOUBLE_EQ(b.m_rows[1][2], 14.0);
}

TEST(CSolverProc, IsNotCoincideCountsOnlyDifferencesAboveTolerance) {
    const CSolverProc proc;
    const double a[3] = {1.0, 2.0, 3.0};
    const double exact[3] = {1.5, 2.0, 3.0}; // 0.5 exactly representable
    EXPECT_FALSE(proc.IsNotCoincide(a, exact, 3, 0.5));
    const double above[3] = {1.0, 2.0, 3.75};
    EXPECT_TRUE(proc.IsNotCoincide(a, above, 3, 0.5));
    const double nan[3] = {1.0, NAN, 3.0};
    EXPECT_FALSE(proc.IsNotCoincide(a, nan, 3, 0.5));
}

TEST(CSolverProc, StepArithmetic) {
    const CSolverProc proc;
    EXPECT_EQ(proc.IncreaseSubdiv(1), 2);
    EXPECT_EQ(proc.IncreaseSubdiv(8), 16);
    EXPECT_EQ(proc.SetStep(5e-6), 2.5e-6);
    EXPECT_EQ(proc.SetSolverTime(0.5, 0.25), 0.25);
    double row[2] = {2, 3};
    double* A[1] = {row};
    const double v[2] = {4, 5};
    EXPECT_EQ(proc.MultiplyRowColumn(A, v, 2, 0), 23.0);
}

namespace {
std::string g_strLastMessage;
void RecordMessage(const char* text) {
    g_strLastMessage = text;
}
} // namespace

TEST(CSolverProc, InfoSolverGoesThroughTheReplaceableHook) {
    VarnekSetMessageHook(&RecordMessage);
    CSolverProc().InfoSolver();
    VarnekSetMessageHook(nullptr);
    EXPECT_EQ(g_strLastMessage.rfind("Solver: Metoda adaptacyjna (trapezów) - krok zmienny\n", 0),
              0u);
    EXPECT_EQ(std::count(g_strLastMessage.begin(), g_strLastMessage.end(), '\n'), 2);
}
