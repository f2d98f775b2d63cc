#include "Fatal.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>

namespace {

void DefaultFatal(const char* pszText) {
    std::fprintf(stderr, "%s\n", pszText);
}

std::atomic<FatalMessageHook> g_fatalHook{&DefaultFatal};

} // namespace

FatalMessageHook SetFatalMessageHook(FatalMessageHook pHook) {
    return g_fatalHook.exchange(pHook ? pHook : &DefaultFatal);
}

void FatalExit(const char* pszText, int nExitCode) {
    g_fatalHook.load()(pszText);
    std::exit(nExitCode);
}
