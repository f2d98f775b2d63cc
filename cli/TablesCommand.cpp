#include "Commands.h"

#include <cstdio>

int TablesMain(const std::string&) {
    std::fprintf(stderr, "kalvor-cli tables: this command is not available yet.\n");
    return kExitUsage;
}
