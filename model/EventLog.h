#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

/// What happened at an event of a run.
enum class EEventKind {
    FaultOnset,   ///< a device's failure code starts to apply
    FaultClear,   ///< a device's failure code stops applying
    Overcurrent,  ///< a phase current exceeded the protection's Itrip
    Desaturation, ///< a transistor's current exceeded Idesat for Tdesat
    Overvoltage,  ///< the DC-link capacitor's voltage exceeded Uovp
};

/// The name of a kind as files and scripts write it: "fault_onset", "fault_clear",
/// "overcurrent", "desaturation", "overvoltage".
std::string_view EventKindName(EEventKind eKind);
/// True for the kinds of a protection trip.
bool IsTrip(EEventKind eKind);

/// One event: when, what, where, and the value that was measured or applied.
struct CRunEvent {
    double m_dT;        ///< time [s]
    EEventKind m_eKind; ///< what happened
    char m_szSource[4]; ///< the device or quantity: "T4", "D1", "ia", "Uc"; zero-terminated
    double m_dValue;    ///< fault events: the failure code; trips: the measured value [A or V]

    std::string_view Source() const { return m_szSource; }
};

/// The events of one run in the order they happened. Its room is reserved before the run, so
/// that logging inside the step loop allocates nothing in any run that stays within it.
class CEventLog {
public:
    /// Enough for every device's onset and clearing and every comparator tripping at once.
    static constexpr std::size_t kReserved = 64;

    CEventLog();
    /// Forgets every event.
    void Clear();
    /// Appends an event; the source is cut to three characters.
    void Add(double t, EEventKind eKind, std::string_view source, double value);
    const std::vector<CRunEvent>& Events() const { return m_vecEvents; }
    /// The first trip, or null when nothing tripped.
    const CRunEvent* FirstTrip() const;

private:
    std::vector<CRunEvent> m_vecEvents; ///< the events, oldest first
};
