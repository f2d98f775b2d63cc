#pragma once

#include "Progress.h"

#include <pybind11/pybind11.h>

#include <chrono>

/// The progress sink of a run started from Python. The engine runs without the GIL; the sink
/// takes it back only to call the optional Python callable (at most kMaxCalls times, with the
/// fraction done) and, a few times per wall-clock interval, to let Python handle a pending
/// signal. A callable that raises, or a KeyboardInterrupt, cancels the run and leaves the
/// Python error set: the caller raises it once the GIL is held again.
class CPyProgress final : public IProgressSink {
public:
    /// Most calls of the callable during one run.
    static constexpr int kMaxCalls = 100;

    /// callback may be None. Created and destroyed with the GIL held.
    explicit CPyProgress(pybind11::object callback);

    void Open(long long nLower, long long nUpper) override;
    void SetPos(long long nPos) override;
    void Close() override;
    bool IsCancelled() const override;

    /// A Python error (a signal's exception or the callable's) stopped the run.
    bool Failed() const { return m_bFailed; }

private:
    using Clock = std::chrono::steady_clock;

    /// With the GIL: handles pending signals, then calls the callable with fraction (< 0: none).
    void CallPython(double fraction) const;

    pybind11::object m_callback;        ///< the Python callable, or None
    long long m_nLower = 0;             ///< lower end of the range [steps]
    long long m_nUpper = 1;             ///< upper end of the range [steps]
    int m_nCalls = 0;                   ///< calls of the callable made
    mutable unsigned m_nPolls = 0;      ///< IsCancelled calls since the run opened
    mutable Clock::time_point m_next{}; ///< next time signals are checked
    mutable bool m_bFailed = false;     ///< a Python error stopped the run
};
