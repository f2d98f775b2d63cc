#include "InterpreterExit.h"

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace py = pybind11;

namespace {

// Process-wide like the interpreter they guard.
std::atomic<bool> g_bExiting{false};
std::atomic<int> g_nInside{0}; // calls between CCall's constructor and their end or parking

// A call that cannot be cancelled (a DFT, a file write) gets this long to finish.
constexpr std::chrono::seconds kMaxWait(30);

} // namespace

CInterpreterExit::CCall::CCall() {
    g_nInside.fetch_add(1);
}

CInterpreterExit::CCall::~CCall() {
    g_nInside.fetch_sub(1);
}

void CInterpreterExit::Install() {
    py::module_::import("atexit").attr("register")(py::cpp_function(&CInterpreterExit::StopRuns));
}

bool CInterpreterExit::Exiting() {
    return g_bExiting.load();
}

void CInterpreterExit::Resume(PyThreadState* pState) {
    if (g_bExiting.load()) {
        // The interpreter is going: leave it alone; the process ends around this thread.
        g_nInside.fetch_sub(1);
        for (;;)
            pause();
    }
    PyEval_RestoreThread(pState);
}

void CInterpreterExit::StopRuns() {
    g_bExiting.store(true);
    py::gil_scoped_release release;
    const auto deadline = std::chrono::steady_clock::now() + kMaxWait;
    while (g_nInside.load() > 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}
