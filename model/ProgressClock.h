#pragma once

#include <chrono>
#include <string>

/// Elapsed and estimated remaining wall time of an operation whose progress is known as a
/// share of the work. The estimate assumes the rest goes at the average pace so far.
class CProgressClock {
public:
    /// Starts the clock.
    void Start();
    /// Wall time since Start() [s].
    double Elapsed() const;
    /// "elapsed 0:12, about 1:05 left" for dFraction done (0..1) after dElapsed seconds; no
    /// estimate while less than 1 % is done or less than a second has passed.
    static std::string Text(double dElapsed, double dFraction);
    /// A duration as "m:ss", or "h:mm:ss" from an hour on; "more than 99 h" beyond.
    static std::string Duration(double dSeconds);

private:
    std::chrono::steady_clock::time_point m_start; ///< when the operation started
};
