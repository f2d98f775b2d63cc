#pragma once

#include <csignal>

/// Turns Ctrl-C (SIGINT) and SIGTERM into a request to stop, for as long as it lives: the
/// calculation polls it through the progress sink and ends cleanly, nothing half-written is
/// left behind. A second signal ends the program at once, as without the guard.
class CInterruptGuard {
public:
    CInterruptGuard();
    ~CInterruptGuard();
    CInterruptGuard(const CInterruptGuard&) = delete;
    CInterruptGuard& operator=(const CInterruptGuard&) = delete;

    /// True once a signal arrived.
    bool Requested() const;
    /// The signal that arrived, 0 when none.
    int Signal() const;

private:
    struct sigaction m_oldInt {};  ///< SIGINT action before the guard
    struct sigaction m_oldTerm {}; ///< SIGTERM action before the guard
};
