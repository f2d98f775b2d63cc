#include "Commands.h"

#include <cstdio>

int RunMain(const CRunOptions&) {
    std::fprintf(stderr, "kalvor-cli run: this command is not available yet.\n");
    return kExitUsage;
}
