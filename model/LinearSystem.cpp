#include "LinearSystem.h"

#include "SolverProc.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>

namespace {

std::vector<CEntryPos> Sorted(std::span<const CEntryPos> entries, int n) {
    std::vector<CEntryPos> sorted;
    for (const CEntryPos& e : entries) {
        if (e.m_nRow >= 0 && e.m_nRow < n && e.m_nCol >= 0 && e.m_nCol < n)
            sorted.push_back(e);
    }
    auto key = [](const CEntryPos& e) { return std::pair(e.m_nRow, e.m_nCol); };
    std::sort(sorted.begin(), sorted.end(),
              [&](const CEntryPos& a, const CEntryPos& b) { return key(a) < key(b); });
    sorted.erase(
        std::unique(sorted.begin(), sorted.end(),
                    [&](const CEntryPos& a, const CEntryPos& b) { return key(a) == key(b); }),
        sorted.end());
    return sorted;
}

bool SameBits(double a, double b) {
    return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b);
}

// Sum over the entries of row i, in increasing column from 0.0, as MultiplyRowColumn adds.
double RowProduct(const CEntryPos*& pEntry, const CEntryPos* pEnd, int i, const double* const* A,
                  const double* x) {
    double sum = 0.0;
    for (; pEntry != pEnd && pEntry->m_nRow == i; ++pEntry)
        sum += A[i][pEntry->m_nCol] * x[pEntry->m_nCol];
    return sum;
}

// The library's operations on the right-hand side column b, with the multipliers of a step
// side by side in lower; a holds the factored rows of width n + 1. N is n, or 0 for any n.
template <int N>
void ReplaySized(int nAny, const double* a, const double* __restrict lower, double* __restrict b,
                 double* __restrict y) {
    const int n = N > 0 ? N : nAny, width = n + 1;
    for (int k = 0; k < n - 1; ++k) {
        const double bk = b[k] / a[k * width + k];
        b[k] = bk;
        const double* __restrict const l = lower + k * n;
        for (int i = k + 1; i < n; ++i)
            b[i] = b[i] - l[i] * bk;
    }
    y[n - 1] = b[n - 1] / a[(n - 1) * width + n - 1];
    for (int i = n - 2; i >= 0; --i) {
        const double* const row = a + i * width;
        double v = b[i];
        for (int j = n - 1; j >= i + 1; --j)
            v = v - row[j] * y[j];
        y[i] = v;
    }
}

} // namespace

CLinearSystem::CLinearSystem(int n, int nRotorFrom, std::span<const CEntryPos> mEntries,
                             std::span<const CEntryPos> rEntries,
                             std::span<const CEntryPos> gEntries)
    : m_n(n), m_nRotorFrom(std::clamp(nRotorFrom, 0, n)), m_mEntries(Sorted(mEntries, n)),
      m_rEntries(Sorted(rEntries, n)), m_gEntries(Sorted(gEntries, n)),
      m_adKeptM(m_mEntries.size(), 0.0), m_adStorage(std::size_t(n) * (n + 1), 0.0), m_apRows(n),
      m_adLower(std::size_t(n) * n, 0.0), m_adRhs(n, 0.0), m_bFactored(false), m_bBlockApart(false),
      m_nLastKind(2) {
    for (int i = 0; i < n; ++i)
        m_apRows[i] = m_adStorage.data() + std::size_t(i) * (n + 1);
}

void CLinearSystem::SetRightHandSide(const double* x, double omega, const double* U,
                                     const double* const* R, const double* const* G) {
    const int n = m_n;
    const bool finite = std::all_of(x, x + n, [](double v) { return std::isfinite(v); });
    if (!finite) {
        // 0 times an infinity is NaN: only the dense sums give the library's values.
        const CSolverProc proc;
        auto row = [&](const double* const* A, int i) {
            return proc.MultiplyRowColumn(const_cast<double**>(A), x, short(n), short(i));
        };
        for (int i = 0; i < n; ++i)
            m_adRhs[i] = (U[i] - row(R, i)) - row(G, i) * omega;
        return;
    }
    const CEntryPos* pR = m_rEntries.data();
    const CEntryPos* pREnd = pR + m_rEntries.size();
    const CEntryPos* pG = m_gEntries.data();
    const CEntryPos* pGEnd = pG + m_gEntries.size();
    for (int i = 0; i < n; ++i) {
        const double rx = RowProduct(pR, pREnd, i, R, x);
        const double gx = RowProduct(pG, pGEnd, i, G, x);
        m_adRhs[i] = (U[i] - rx) - gx * omega;
    }
}

void CLinearSystem::KeepMultipliers(int k0) {
    const int n = m_n;
    for (int k = k0; k < n; ++k)
        for (int i = k + 1; i < n; ++i)
            m_adLower[std::size_t(k) * n + i] = m_apRows[i][k];
}

void CLinearSystem::Replay(double* y) {
    // The model's size known when compiling: the loops unroll.
    if (m_n == 16)
        ReplaySized<16>(m_n, m_adStorage.data(), m_adLower.data(), m_adRhs.data(), y);
    else
        ReplaySized<0>(m_n, m_adStorage.data(), m_adLower.data(), m_adRhs.data(), y);
}

bool CLinearSystem::BlockApart() const {
    const int n = m_n, r0 = m_nRotorFrom;
    const double* const* A = m_apRows.data();
    for (int k = 0; k < r0; ++k)
        for (int j = r0; j < n; ++j)
            if (A[k][j] != 0.0)
                return false;
    for (int i = r0; i < n; ++i)
        for (int k = 0; k < r0; ++k)
            if (!std::isfinite(A[i][k]))
                return false;
    return true;
}

void CLinearSystem::RedoRotorBlock(const double* const* M) {
    const int n = m_n, r0 = m_nRotorFrom;
    double* const* A = m_apRows.data();
    // The block as the steps before it leave it: each step subtracts its multiplier times the
    // normalised pivot row. Where those rows hold zeros there, a finite multiplier subtracts
    // a zero, which leaves every value but a zero (whose sign it may change) as it is.
    for (int i = r0; i < n; ++i)
        for (int j = r0; j < n; ++j) {
            double v = M[i][j];
            if (m_bBlockApart && v != 0.0) {
                A[i][j] = v;
                continue;
            }
            for (int k = 0; k < r0; ++k)
                v = v - A[i][k] * A[k][j];
            A[i][j] = v;
        }
    for (int k = r0; k < n - 1; ++k) {
        const double pivot = A[k][k];
        for (int j = k + 1; j < n; ++j)
            A[k][j] = A[k][j] / pivot;
        for (int i = k + 1; i < n; ++i) {
            const double factor = A[i][k];
            for (int j = k + 1; j < n; ++j)
                A[i][j] = A[i][j] - factor * A[k][j];
        }
    }
}

void CLinearSystem::SolveFactored(const double* rhs, double* y) {
    std::copy(rhs, rhs + m_n, m_adRhs.begin());
    Replay(y);
}

void CLinearSystem::Solve(const double* x, double omega, const double* const* M, const double* U,
                          const double* const* R, const double* const* G, double* y) {
    const int n = m_n;
    bool same = m_bFactored;
    bool rotorOnly = m_bFactored;
    for (std::size_t e = 0; e < m_mEntries.size() && (same || rotorOnly); ++e) {
        const CEntryPos& pos = m_mEntries[e];
        if (SameBits(M[pos.m_nRow][pos.m_nCol], m_adKeptM[e]))
            continue;
        same = false;
        rotorOnly = rotorOnly && pos.m_nRow >= m_nRotorFrom && pos.m_nCol >= m_nRotorFrom;
    }
    SetRightHandSide(x, omega, U, R, G);
    if (same) {
        m_nLastKind = 0;
        Replay(y);
        return;
    }
    for (std::size_t e = 0; e < m_mEntries.size(); ++e)
        m_adKeptM[e] = M[m_mEntries[e].m_nRow][m_mEntries[e].m_nCol];
    ++m_nFactorizations;
    if (rotorOnly) {
        m_nLastKind = 1;
        RedoRotorBlock(M);
        KeepMultipliers(m_nRotorFrom);
        Replay(y);
        return;
    }
    // The library's own elimination, which leaves the factors in place.
    m_nLastKind = 2;
    double* const* A = m_apRows.data();
    for (int i = 0; i < n; ++i) {
        std::copy(M[i], M[i] + n, A[i]);
        A[i][n] = m_adRhs[i];
    }
    const CSolverProc proc;
    proc.GaussianMethod(y, short(n), m_apRows.data());
    m_bFactored = true;
    m_bBlockApart = BlockApart();
    KeepMultipliers(0);
}
