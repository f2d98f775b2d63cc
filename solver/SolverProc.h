#pragma once

#include "VarnekExport.h"

/// Hook that shows the solver's information text. The library has no user interface of its
/// own: the default hook writes the text to stderr, a program may install its own.
using VarnekMessageHook = void (*)(const char* pszText);

/// Installs the hook used by CSolverProc::InfoSolver; null restores the default. Returns the
/// previous hook.
VARNEK_EXPORT VarnekMessageHook VarnekSetMessageHook(VarnekMessageHook pHook);

/// Hook that receives the load and unload trace lines ("VARNEK.DLL Initializing!\n").
using VarnekTraceHook = void (*)(const char* pszLine);

/// Installs the trace sink; null restores the default (stderr). Returns the previous sink.
VARNEK_EXPORT VarnekTraceHook VarnekSetTraceHook(VarnekTraceHook pHook);

/// Numerical toolbox of the simulation run: sets up M*y = U - R*x - omega*G*x, solves it by
/// Gaussian elimination and supplies the step-control arithmetic of the adaptive trapezoidal
/// method. It has no state: every operation works only on what it is given and allocates
/// nothing.
///
/// A matrix is an array of row pointers; for a system of size n the augmented matrix has n
/// rows of n + 1 doubles (coefficients in columns 0..n-1, right-hand side in column n). The
/// caller owns and allocates everything. No operation reports an error: singular systems give
/// non-finite values silently.
class VARNEK_EXPORT CSolverProc {
public:
    CSolverProc();
    CSolverProc(const CSolverProc& other);
    CSolverProc& operator=(const CSolverProc& other);
    virtual ~CSolverProc();

    /// A[i][j] = M[i][j]; A[i][n] = (U[i] - (R x)_i) - (G x)_i * omega, row by row. Always true.
    bool SetSystemMURG(const double* x, short n, double** A, double omega, double** M,
                       const double* U, double** R, double** G) const;

    /// As SetSystemMURG without the G term. Always true.
    bool SetSystemMUR(const double* x, short n, double** A, double** M, const double* U,
                      double** R) const;

    /// Gaussian elimination without pivoting and without tests of the pivots, in place on A;
    /// writes the solution to y. A zero pivot gives infinities or NaNs. Always true.
    bool GaussianMethod(double* y, short n, double** A) const;

    /// Sum over i = 0..n-1 of A[row][i] * v[i], added in increasing i from 0.0.
    double MultiplyRowColumn(double** A, const double* v, short n, short row) const;

    /// True when |a[i] - b[i]| > tol for at least one i (a NaN difference does not count).
    bool IsNotCoincide(const double* a, const double* b, short n, double tol) const;

    /// 2 * k: the subdivision count after a step is halved.
    short IncreaseSubdiv(short k) const;

    /// h / 2.0: the halved step.
    double SetStep(double h) const;

    /// t - h: the time moved back by a rejected step.
    double SetSolverTime(double t, double h) const;

    /// Shows the three-line information text through the message hook.
    void InfoSolver() const;
};
