#pragma once

/// The range a calculation reports its progress in: the share of the simulated interval that
/// is done, in millionths. It follows simulated time, not output rows, so a run whose steps
/// are halved again and again visibly slows down instead of sitting at one position.
inline constexpr long long kProgressScale = 1000000;

/// Where the engine reports the progress of a long operation. The program shows a progress
/// window, kalvor-cli a bar on stderr, tests record the calls. The engine never depends on how.
class IProgressSink {
public:
    virtual ~IProgressSink() = default;
    /// Opens the display with the range [nLower, nUpper].
    virtual void Open(long long nLower, long long nUpper) = 0;
    /// Moves the display to nPos.
    virtual void SetPos(long long nPos) = 0;
    /// Closes the display.
    virtual void Close() = 0;
    /// True when the user asked to stop; the operation then ends as soon as it can.
    virtual bool IsCancelled() const { return false; }
};
