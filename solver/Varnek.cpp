// Library entry: the load and unload hooks of libvarnek.so.
#include "SolverProc.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>

namespace {

// A debugging trace: silent unless VARNEK_TRACE is set (to anything).
void DefaultTrace(const char* pszLine) {
    if (!std::getenv("VARNEK_TRACE"))
        return;
    std::fputs(pszLine, stderr);
    std::fflush(stderr);
}

std::atomic<VarnekTraceHook> g_traceHook{&DefaultTrace};

__attribute__((constructor)) void VarnekLoad() {
    g_traceHook.load()("VARNEK.DLL Initializing!\n");
}

__attribute__((destructor)) void VarnekUnload() {
    g_traceHook.load()("VARNEK.DLL Terminating!\n");
}

} // namespace

VarnekTraceHook VarnekSetTraceHook(VarnekTraceHook pHook) {
    return g_traceHook.exchange(pHook ? pHook : &DefaultTrace);
}
