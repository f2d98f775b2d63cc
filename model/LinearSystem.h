#pragma once

#include "Matrix.h"

#include <cstdint>
#include <span>
#include <vector>

/// The linear system of one evaluation, M y = U - R x - omega G x, set up and solved with the
/// same operations in the same order as CSolverProc::SetSystemMURG followed by
/// CSolverProc::GaussianMethod, so that y has the same bits, but at a fraction of the cost:
/// - R x and G x are summed over the entries that R and G can hold (the others are zero, and
///   adding their zero products changes no sum while x is finite; otherwise the dense sums are
///   taken);
/// - elimination without pivoting leaves its multipliers in the lower triangle and the
///   normalised rows in the upper one, so a system with the matrix of the previous one only
///   replays them on its right-hand side;
/// - when only the rotor block (rows and columns from nRotorFrom on) changed, the elimination
///   steps before it are replayed on that block alone and only the steps from it on redone.
class CLinearSystem {
public:
    /// n unknowns; M, R and G hold values other than zero only at the given entries.
    CLinearSystem(int n, int nRotorFrom, std::span<const CEntryPos> mEntries,
                  std::span<const CEntryPos> rEntries, std::span<const CEntryPos> gEntries);

    /// Sets up and solves the system for the state x (n values) and writes y (n values).
    void Solve(const double* x, double omega, const double* const* M, const double* U,
               const double* const* R, const double* const* G, double* y);

    /// Solves M y = rhs (n values) with the factors of the last Solve.
    void SolveFactored(const double* rhs, double* y);
    /// Factorizations made so far: a solution of SolveFactored holds while it is unchanged.
    std::uint64_t Factorizations() const { return m_nFactorizations; }

    /// How the last Solve obtained its factors: 0 replayed, 1 rotor block redone, 2 full.
    int LastKind() const { return m_nLastKind; }

private:
    /// A[i][n] for the state x.
    void SetRightHandSide(const double* x, double omega, const double* U, const double* const* R,
                          const double* const* G);
    /// Forward elimination on the right-hand side with the kept factors, then back
    /// substitution.
    void Replay(double* y);
    /// Redoes the elimination of the rotor block of M from the kept factors of the rows
    /// before it.
    void RedoRotorBlock(const double* const* M);
    /// Copies the multipliers of columns from k0 on into m_adLower.
    void KeepMultipliers(int k0);
    /// Whether the steps before the rotor block leave its nonzero entries as they are.
    bool BlockApart() const;

    int m_n;                           ///< unknowns
    int m_nRotorFrom;                  ///< first row and column of the rotor block
    std::vector<CEntryPos> m_mEntries; ///< entries M can hold
    std::vector<CEntryPos> m_rEntries; ///< entries R can hold, by row
    std::vector<CEntryPos> m_gEntries; ///< entries G can hold, by row
    std::vector<double> m_adKeptM;     ///< M at m_mEntries when the factors were made
    std::vector<double> m_adStorage;   ///< the factored system, n rows of n + 1
    std::vector<double*> m_apRows;     ///< row pointers into m_adStorage
    std::vector<double> m_adLower;     ///< multipliers by column: [k n + i] = A[i][k], i > k
    std::vector<double> m_adRhs;       ///< right-hand side during the replay
    bool m_bFactored;                  ///< m_apRows hold the factors of m_adKeptM
    bool m_bBlockApart; ///< the rows before the rotor block hold zeros in its columns and the
                        ///< multipliers of its rows are finite
    int m_nLastKind;    ///< see LastKind
    std::uint64_t m_nFactorizations = 0; ///< see Factorizations
};
