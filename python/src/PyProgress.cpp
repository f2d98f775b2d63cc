#include "PyProgress.h"

#include "InterpreterExit.h"

#include <algorithm>

namespace py = pybind11;

namespace {

// Ctrl-C is seen within this wall time; taking the GIL this rarely costs nothing measurable.
constexpr std::chrono::milliseconds kSignalInterval(10);
// IsCancelled comes every step; the clock is read only every so many calls.
constexpr unsigned kPollMask = 63;

} // namespace

CPyProgress::CPyProgress(py::object callback) : m_callback(std::move(callback)) {}

void CPyProgress::Open(long long nLower, long long nUpper) {
    m_nLower = nLower;
    m_nUpper = std::max(nUpper, nLower + 1);
    m_nCalls = 0;
    m_next = Clock::now() + kSignalInterval;
}

void CPyProgress::SetPos(long long nPos) {
    if (m_bFailed || m_callback.is_none() || m_nCalls >= kMaxCalls)
        return;
    const double fraction =
        std::clamp(double(nPos - m_nLower) / double(m_nUpper - m_nLower), 0.0, 1.0);
    // Call number c (1-based) is due once c percent of the range is done.
    if (fraction * kMaxCalls < m_nCalls + 1)
        return;
    ++m_nCalls;
    CallPython(fraction);
}

void CPyProgress::Close() {}

bool CPyProgress::IsCancelled() const {
    if (m_bFailed || CInterpreterExit::Exiting())
        return true;
    if ((++m_nPolls & kPollMask) != 0)
        return false;
    const Clock::time_point now = Clock::now();
    if (now < m_next)
        return false;
    m_next = now + kSignalInterval;
    CallPython(-1);
    return m_bFailed;
}

void CPyProgress::CallPython(double fraction) const {
    if (CInterpreterExit::Exiting())
        return; // the interpreter is going: its GIL is not to be taken again
    py::gil_scoped_acquire gil;
    if (PyErr_CheckSignals() != 0) {
        m_bFailed = true;
        return;
    }
    if (fraction < 0)
        return;
    try {
        m_callback(fraction);
    } catch (py::error_already_set& error) {
        error.restore();
        m_bFailed = true;
    }
}
