#pragma once

#include <pybind11/pybind11.h>

#include <exception>
#include <utility>

/// Keeps the engine's threads from touching an interpreter that is shutting down. When Python
/// exits while a daemon thread still runs a calculation (or after Ctrl-C in the main thread),
/// the thread would take the GIL back in the middle of finalisation, which ends it with a
/// forced unwind through C++ frames that cannot pass it: "terminate called without an active
/// exception". An atexit hook therefore asks every running calculation to stop and waits until
/// each has either taken the GIL back (the interpreter still alive) or parked its thread for
/// good without touching Python again. The state is process-wide because the interpreter is.
class CInterpreterExit {
public:
    /// Registers the atexit hook; called once when the module is imported.
    static void Install();

    /// True once the interpreter began to exit: runs stop at their next check.
    static bool Exiting();

    /// Runs fn without the GIL and takes the GIL back afterwards, unless the interpreter is
    /// exiting by then: the thread then parks and never returns. Called with the GIL held.
    template <class Fn> static auto WithoutGil(Fn&& fn) {
        CCall call;
        PyThreadState* pState = PyEval_SaveThread();
        try {
            auto result = std::forward<Fn>(fn)();
            Resume(pState);
            return result;
        } catch (...) {
            Resume(pState);
            throw;
        }
    }

private:
    /// Counts a call in progress while it exists; created and destroyed with the GIL held.
    class CCall {
    public:
        CCall();
        ~CCall();
        CCall(const CCall&) = delete;
        CCall& operator=(const CCall&) = delete;
    };

    /// Takes the GIL back, or parks the thread for good when the interpreter is exiting.
    static void Resume(PyThreadState* pState);
    /// The atexit hook: stops the runs and waits until none is inside the engine.
    static void StopRuns();
};
