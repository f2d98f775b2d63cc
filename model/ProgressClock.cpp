#include "ProgressClock.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

void CProgressClock::Start() {
    m_start = std::chrono::steady_clock::now();
}

double CProgressClock::Elapsed() const {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - m_start).count();
}

std::string CProgressClock::Text(double dElapsed, double dFraction) {
    std::string text = "elapsed " + Duration(dElapsed);
    // Too early an estimate jumps around and misleads more than it tells.
    if (dFraction >= 0.01 && dFraction < 1 && dElapsed >= 1)
        text += ", about " + Duration(dElapsed * (1 - dFraction) / dFraction) + " left";
    return text;
}

std::string CProgressClock::Duration(double dSeconds) {
    if (!(dSeconds < 99.0 * 3600))
        return "more than 99 h";
    const long total = std::lround(std::max(dSeconds, 0.0));
    char buffer[32];
    if (total < 3600)
        std::snprintf(buffer, sizeof buffer, "%ld:%02ld", total / 60, total % 60);
    else
        std::snprintf(buffer, sizeof buffer, "%ld:%02ld:%02ld", total / 3600, total / 60 % 60,
                      total % 60);
    return buffer;
}
