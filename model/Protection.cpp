#include "Protection.h"

#include "EventLog.h"

#include <cmath>

namespace {

constexpr const char* kPhaseNames[3] = {"ia", "ib", "ic"};
constexpr const char* kTransistorNames[7] = {"", "T1", "T2", "T3", "T4", "T5", "T6"};

// Times are sums of steps: a blanking time of n steps may come out a few ulps short.
constexpr double kTimeSlack = 1e-9;

bool SideShorted(const int* pnCodeT, const int* pnCodeD, int first) {
    for (int k = first; k < first + 3; ++k) {
        if (pnCodeT[k] == 1 || pnCodeD[k] == 1)
            return true;
    }
    return false;
}

} // namespace

bool CProtection::Armed() const {
    return m_dItrip > 0 || m_dIdesat > 0 || m_dUovp > 0;
}

void CProtection::Reset() {
    m_bTripped = false;
    m_dTripTime = 0;
    for (double& since : m_adAboveSince)
        since = -1;
}

bool CProtection::Check(const CSample& sample, CEventLog& log) {
    if (m_bTripped)
        return false;
    bool trip = false;
    if (m_dItrip > 0) {
        for (int p = 0; p < 3; ++p) {
            const double i = sample.m_adPhaseI[p];
            if (std::fabs(i) > m_dItrip) {
                log.Add(sample.m_dT, EEventKind::Overcurrent, kPhaseNames[p], i);
                trip = true;
            }
        }
    }
    if (m_dIdesat > 0 && CheckDesaturation(sample, log))
        trip = true;
    if (m_dUovp > 0 && sample.m_dUc > m_dUovp) {
        log.Add(sample.m_dT, EEventKind::Overvoltage, "Uc", sample.m_dUc);
        trip = true;
    }
    if (trip) {
        m_bTripped = true;
        m_dTripTime = sample.m_dT;
    }
    return trip;
}

// A gate driver sees desaturation only while its gate is on, and reacts once the current has
// stayed above Idesat for the blanking time; the first sample above it starts the time.
bool CProtection::CheckDesaturation(const CSample& sample, CEventLog& log) {
    bool trip = false;
    for (int k = 1; k <= 6; ++k) {
        const double i = sample.m_adTransistorI[k];
        if (!(sample.m_abGateOn[k] && i > m_dIdesat)) {
            m_adAboveSince[k] = -1;
            continue;
        }
        if (m_adAboveSince[k] < 0)
            m_adAboveSince[k] = sample.m_dT;
        if (sample.m_dT - m_adAboveSince[k] >= m_dTdesat * (1 - kTimeSlack)) {
            log.Add(sample.m_dT, EEventKind::Desaturation, kTransistorNames[k], i);
            trip = true;
        }
    }
    return trip;
}

void CProtection::SafeGates(int nSafeState, const int* pnCodeT, const int* pnCodeD, bool* pbGates) {
    for (int k = 0; k < 7; ++k)
        pbGates[k] = false;
    if (nSafeState != kActiveShortCircuit)
        return;
    const bool upperShorted = SideShorted(pnCodeT, pnCodeD, 1);
    const bool lowerShorted = SideShorted(pnCodeT, pnCodeD, 4);
    if (upperShorted && lowerShorted)
        return;
    // Closing the side that holds the short makes an asymmetric short a symmetric one.
    const int first = upperShorted ? 1 : 4;
    for (int k = first; k < first + 3; ++k)
        pbGates[k] = true;
}
