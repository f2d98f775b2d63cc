#include "SolverProc.h"

#include <atomic>
#include <cmath>
#include <cstdio>

namespace {

void DefaultMessage(const char* pszText) {
    std::fprintf(stderr, "%s\n", pszText);
}

std::atomic<VarnekMessageHook> g_messageHook{&DefaultMessage};

} // namespace

VarnekMessageHook VarnekSetMessageHook(VarnekMessageHook pHook) {
    return g_messageHook.exchange(pHook ? pHook : &DefaultMessage);
}

CSolverProc::CSolverProc() = default;

CSolverProc::CSolverProc(const CSolverProc&) {}

CSolverProc& CSolverProc::operator=(const CSolverProc&) {
    return *this;
}

CSolverProc::~CSolverProc() = default;

bool CSolverProc::SetSystemMURG(const double* x, short n, double** A, double omega, double** M,
                                const double* U, double** R, double** G) const {
    for (short i = 0; i < n; ++i) {
        for (short j = 0; j < n; ++j)
            A[i][j] = M[i][j];
        A[i][n] = (U[i] - MultiplyRowColumn(R, x, n, i)) - MultiplyRowColumn(G, x, n, i) * omega;
    }
    return true;
}

bool CSolverProc::SetSystemMUR(const double* x, short n, double** A, double** M, const double* U,
                               double** R) const {
    for (short i = 0; i < n; ++i) {
        for (short j = 0; j < n; ++j)
            A[i][j] = M[i][j];
        A[i][n] = U[i] - MultiplyRowColumn(R, x, n, i);
    }
    return true;
}

bool CSolverProc::GaussianMethod(double* y, short n, double** A) const {
    for (short k = 0; k < n - 1; ++k) {
        // Normalise by the stored diagonal, which itself is left as it is.
        const double pivot = A[k][k];
        for (short j = k + 1; j <= n; ++j)
            A[k][j] = A[k][j] / pivot;
        for (short i = k + 1; i < n; ++i) {
            const double factor = A[i][k];
            for (short j = k + 1; j <= n; ++j)
                A[i][j] = A[i][j] - factor * A[k][j];
        }
    }
    y[n - 1] = A[n - 1][n] / A[n - 1][n - 1];
    for (short i = n - 2; i >= 0; --i) {
        y[i] = A[i][n];
        for (short j = n - 1; j >= i + 1; --j)
            y[i] = y[i] - A[i][j] * y[j];
    }
    return true;
}

double CSolverProc::MultiplyRowColumn(double** A, const double* v, short n, short row) const {
    double sum = 0.0;
    for (short i = 0; i < n; ++i)
        sum += A[row][i] * v[i];
    return sum;
}

bool CSolverProc::IsNotCoincide(const double* a, const double* b, short n, double tol) const {
    bool differ = false;
    for (short i = 0; i < n; ++i) {
        // Written so that a NaN difference compares false and does not count.
        if (std::fabs(a[i] - b[i]) > tol)
            differ = true;
    }
    return differ;
}

short CSolverProc::IncreaseSubdiv(short k) const {
    return static_cast<short>(2 * k);
}

double CSolverProc::SetStep(double h) const {
    return h / 2.0;
}

double CSolverProc::SetSolverTime(double t, double h) const {
    return t - h;
}

void CSolverProc::InfoSolver() const {
    g_messageHook.load()("Solver: Metoda adaptacyjna (trapezów) - krok zmienny\n"
                         "Układ: M*dx/dt = U - R*x - omega*G*x, eliminacja Gaussa\n"
                         "Varnek 1.0.0.1");
}
