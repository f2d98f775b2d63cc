#include "LinearSystem.h"
#include "Gclass.h"
#include "Mclass.h"
#include "Rclass.h"
#include "SolverProc.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <set>
#include <vector>

namespace {

constexpr int kN = 16;
constexpr int kRotor = 12;

struct CDense {
    std::vector<double> m_adData = std::vector<double>(kN * (kN + 1), 0.0);
    std::vector<double*> m_apRows = std::vector<double*>(kN);
    CDense() {
        for (int i = 0; i < kN; ++i)
            m_apRows[i] = m_adData.data() + i * (kN + 1);
    }
    double** Rows() { return m_apRows.data(); }
};

// The library's own set-up and elimination on a fresh copy: the reference bits.
void LibrarySolve(const double* x, double omega, CDense& M, const double* U, CDense& R, CDense& G,
                  double* y) {
    CDense A;
    const CSolverProc proc;
    proc.SetSystemMURG(x, kN, A.Rows(), omega, M.Rows(), U, R.Rows(), G.Rows());
    proc.GaussianMethod(y, kN, A.Rows());
}

} // namespace

// A run's sequence of systems: the same matrix with a new state, a new rotor block, a changed
// branch resistance, and states that are not finite. Every solution has the library's bits,
// and each system took the path its change allows. With the model's entries and with dense
// matrices (where the rows before the rotor block reach into it).
class CLinearSystemBits : public ::testing::TestWithParam<bool> {};

TEST_P(CLinearSystemBits, SolutionsHaveTheLibrarysBitsOverASequenceOfSystems) {
    std::mt19937_64 rng(7);
    std::uniform_real_distribution<double> value(-1.0, 1.0);
    CDense M, R, G;
    std::vector<CEntryPos> all;
    for (int i = 0; i < kN; ++i)
        for (int j = 0; j < kN; ++j)
            all.push_back({i, j});
    const bool dense = GetParam();
    const auto mEntries = dense ? std::span<const CEntryPos>(all) : CMclass::WrittenEntries();
    const auto rEntries = dense ? std::span<const CEntryPos>(all) : CRclass::WrittenEntries();
    const auto gEntries = dense ? std::span<const CEntryPos>(all) : CGclass::WrittenEntries();
    for (const CEntryPos& e : mEntries)
        M.Rows()[e.m_nRow][e.m_nCol] = e.m_nRow == e.m_nCol ? 9.0 + value(rng) : value(rng);
    for (const CEntryPos& e : rEntries)
        R.Rows()[e.m_nRow][e.m_nCol] = value(rng);
    for (const CEntryPos& e : gEntries)
        G.Rows()[e.m_nRow][e.m_nCol] = value(rng);
    CLinearSystem system(kN, kRotor, mEntries, rEntries, gEntries);

    const double inf = std::numeric_limits<double>::infinity();
    std::set<int> kinds;
    for (int step = 0; step < 60; ++step) {
        double x[kN], U[kN], y[kN], ref[kN];
        for (int i = 0; i < kN; ++i) {
            x[i] = 100 * value(rng);
            U[i] = 100 * value(rng);
        }
        const int change = step % 6;
        int expected = 0;
        if (step == 0) {
            expected = 2;
        } else if (change == 1 || change == 4) {
            // a new rotor angle: the loop block of M and G
            for (int i = kRotor; i < 14; ++i)
                for (int j = kRotor; j < 14; ++j) {
                    M.Rows()[i][j] = (i == j ? 9.0 : 0.0) + value(rng);
                    G.Rows()[i][j] = value(rng);
                }
            if (change == 4) {
                // zeros of either sign, which the steps before the block may turn over
                M.Rows()[12][13] = 0.0;
                M.Rows()[13][12] = -0.0;
            }
            expected = 1;
        } else if (change == 2) {
            // switching: a branch resistance, and the rotor block with it
            M.Rows()[4][4] = 9.0 + value(rng);
            M.Rows()[12][12] = 9.0 + value(rng);
            R.Rows()[12][12] = value(rng);
            expected = 2;
        } else if (change == 5) {
            x[step % kN] = step % 12 == 5 ? inf : std::nan("");
        }
        const double omega = x[15];
        const std::uint64_t factorizations = system.Factorizations();
        system.Solve(x, omega, M.Rows(), U, R.Rows(), G.Rows(), y);
        LibrarySolve(x, omega, M, U, R, G, ref);
        EXPECT_EQ(std::memcmp(y, ref, sizeof y), 0) << "step " << step;
        EXPECT_EQ(system.LastKind(), expected) << "step " << step;
        EXPECT_EQ(system.Factorizations(), factorizations + (expected != 0 ? 1 : 0));
        kinds.insert(system.LastKind());

        // Another right-hand side with the kept factors: M z = b.
        double b[kN], z[kN];
        for (int i = 0; i < kN; ++i)
            b[i] = value(rng);
        system.SolveFactored(b, z);
        for (int i = 0; i < kN; ++i) {
            double Mz = 0.0;
            for (int j = 0; j < kN; ++j)
                Mz += M.Rows()[i][j] * z[j];
            EXPECT_NEAR(Mz, b[i], 1e-12) << "step " << step << ", row " << i;
        }
    }
    EXPECT_EQ(kinds.size(), 3u);
}

INSTANTIATE_TEST_SUITE_P(Entries, CLinearSystemBits, ::testing::Values(false, true));

// The fast set-up trusts that M, R and G hold nothing outside their declared entries: every
// other entry must survive CalcM, CalcR and CalcG untouched, in every condition.
class CWrittenEntries : public ::testing::TestWithParam<int> {};

TEST_P(CWrittenEntries, CalcWritesOnlyTheDeclaredEntries) {
    const int condition = GetParam();
    const double sentinel = -12345.0;
    auto check = [&](CMatrix& m, std::span<const CEntryPos> entries, const char* name) {
        for (std::uint32_t i = 0; i < m.m_nRows; ++i)
            for (std::uint32_t j = 0; j < m.m_nCols; ++j) {
                bool declared = false;
                for (const CEntryPos& e : entries)
                    declared = declared || (e.m_nRow == int(i) && e.m_nCol == int(j));
                if (!declared) {
                    EXPECT_EQ(m.m_pData[i][j], sentinel) << name << " (" << i << ", " << j << ")";
                }
            }
    };
    auto fill = [&](CMatrix& m) {
        for (std::uint32_t i = 0; i < m.m_nRows; ++i)
            for (std::uint32_t j = 0; j < m.m_nCols; ++j)
                m.m_pData[i][j] = sentinel;
    };
    CRclass r(kN);
    r.m_nCondition = condition;
    r.m_dRLoad = 2.0;
    r.m_dRonT = r.m_dRonD = 0.01;
    r.m_dRoffT = r.m_dRoffD = 1000.0;
    for (int k = 1; k <= 6; ++k) {
        r.m_nFailT[k] = k % 3;
        r.m_nFailD[k] = (k + condition) % 3;
    }
    fill(*r.m_pR);
    r.CalcR();
    check(*r.m_pR, CRclass::WrittenEntries(), "R");

    CMclass m(kN);
    m.m_nNh = std::uint32_t(condition); // 0..3 harmonics
    double branch[14], coil[18];
    r.GetResistances(branch, coil);
    m.SetResistances(branch, coil);
    fill(*m.m_pM);
    m.CalcM(0.3 + condition);
    check(*m.m_pM, CMclass::WrittenEntries(), "M");

    CGclass g(kN);
    g.m_nNh = std::uint32_t(condition);
    fill(*g.m_pG);
    g.CalcG(0.3 + condition);
    check(*g.m_pG, CGclass::WrittenEntries(), "G");
}

INSTANTIATE_TEST_SUITE_P(Conditions, CWrittenEntries, ::testing::Values(0, 1, 2, 3));
