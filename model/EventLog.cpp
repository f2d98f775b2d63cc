#include "EventLog.h"

#include <algorithm>

std::string_view EventKindName(EEventKind eKind) {
    switch (eKind) {
    case EEventKind::FaultOnset:
        return "fault_onset";
    case EEventKind::FaultClear:
        return "fault_clear";
    case EEventKind::Overcurrent:
        return "overcurrent";
    case EEventKind::Desaturation:
        return "desaturation";
    case EEventKind::Overvoltage:
        return "overvoltage";
    }
    return "unknown";
}

bool IsTrip(EEventKind eKind) {
    return eKind == EEventKind::Overcurrent || eKind == EEventKind::Desaturation ||
           eKind == EEventKind::Overvoltage;
}

CEventLog::CEventLog() {
    m_vecEvents.reserve(kReserved);
}

void CEventLog::Clear() {
    m_vecEvents.clear();
}

void CEventLog::Add(double t, EEventKind eKind, std::string_view source, double value) {
    CRunEvent event{t, eKind, {}, value};
    const std::size_t n = std::min(source.size(), sizeof event.m_szSource - 1);
    std::copy_n(source.data(), n, event.m_szSource);
    m_vecEvents.push_back(event);
}

const CRunEvent* CEventLog::FirstTrip() const {
    for (const CRunEvent& event : m_vecEvents) {
        if (IsTrip(event.m_eKind))
            return &event;
    }
    return nullptr;
}
