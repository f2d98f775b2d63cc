#include "Commands.h"

#include <cstdio>

int DiagMain(const CDiagOptions&) {
    std::fprintf(stderr, "kalvor-cli diag: this command is not available yet.\n");
    return kExitUsage;
}
