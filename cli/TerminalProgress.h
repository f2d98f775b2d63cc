#pragma once

#include "Progress.h"
#include "ProgressClock.h"

#include <cstdio>

class CInterruptGuard;

/// A progress bar on a terminal: one line with the percentage, the elapsed and the estimated
/// remaining time, redrawn in place when the percentage changes and every half second. It also
/// carries a stop request of the user (Ctrl-C) to the calculation.
class CTerminalProgress : public IProgressSink {
public:
    /// pFile is the terminal (stderr), or null to draw nothing; pszTitle is shown before the
    /// bar; pInterrupt (may be null) tells when the user asked to stop.
    CTerminalProgress(std::FILE* pFile, const char* pszTitle, const CInterruptGuard* pInterrupt);
    ~CTerminalProgress() override;

    void Open(long long nLower, long long nUpper) override;
    void SetPos(long long nPos) override;
    void Close() override;
    bool IsCancelled() const override;

private:
    void Draw(int nPermille);

    std::FILE* m_pFile;                  ///< where the bar is drawn, null for nowhere
    const char* m_pszTitle;              ///< text before the bar
    const CInterruptGuard* m_pInterrupt; ///< the user's stop request, may be null
    CProgressClock m_clock;              ///< wall time since Open
    long long m_nLower = 0;              ///< lower end of the range
    long long m_nUpper = 0;              ///< upper end of the range
    int m_nShown = -1;                   ///< per mille drawn last, -1 before the first draw
    double m_dShownAt = 0;               ///< elapsed time of the last draw [s]
    unsigned m_nCalls = 0;               ///< SetPos calls, to look at the clock only sometimes
    bool m_bOpen = false;                ///< the bar is on the screen
};
