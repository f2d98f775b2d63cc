#pragma once

#include "Progress.h"

#include <cstdio>

/// A progress bar on a terminal: one line, redrawn in place when the shown percentage changes.
class CTerminalProgress : public IProgressSink {
public:
    /// pFile is the terminal (stderr); szTitle is shown before the bar.
    CTerminalProgress(std::FILE* pFile, const char* pszTitle);
    ~CTerminalProgress() override;

    void Open(long long nLower, long long nUpper) override;
    void SetPos(long long nPos) override;
    void Close() override;

private:
    void Draw(int nPercent);

    std::FILE* m_pFile;     ///< where the bar is drawn
    const char* m_pszTitle; ///< text before the bar
    long long m_nLower = 0; ///< lower end of the range
    long long m_nUpper = 0; ///< upper end of the range
    int m_nShown = -1;      ///< percentage drawn last, -1 before the first draw
    bool m_bOpen = false;   ///< the bar is on the screen
};
