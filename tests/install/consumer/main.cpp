// Solves 2x + y = 5, x + 3y = 10 with the installed Varnek; succeeds when x = 1 and y = 3.
#include <varnek/SolverProc.h>

#include <cmath>
#include <cstdio>

int main() {
    double row0[] = {2, 1, 5};
    double row1[] = {1, 3, 10};
    double* a[] = {row0, row1};
    double y[2] = {0, 0};
    CSolverProc().GaussianMethod(y, 2, a);
    std::printf("x = %g, y = %g\n", y[0], y[1]);
    return std::fabs(y[0] - 1) < 1e-12 && std::fabs(y[1] - 3) < 1e-12 ? 0 : 1;
}
