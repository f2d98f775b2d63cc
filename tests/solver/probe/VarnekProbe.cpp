// A minimal program linked against libvarnek.so, run by the load-hook test.
#include "SolverProc.h"

#include <cstdio>

int main() {
    std::printf("%g\n", CSolverProc().SetStep(1.0));
    return 0;
}
