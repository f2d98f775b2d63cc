#include "TerminalProgress.h"

#include "Interrupt.h"

#include <algorithm>
#include <string>

namespace {
constexpr int kBarWidth = 40;
constexpr double kRedrawSeconds = 0.5; // the elapsed time moves on even when the bar does not
} // namespace

CTerminalProgress::CTerminalProgress(std::FILE* pFile, const char* pszTitle,
                                     const CInterruptGuard* pInterrupt)
    : m_pFile(pFile), m_pszTitle(pszTitle), m_pInterrupt(pInterrupt) {}

CTerminalProgress::~CTerminalProgress() {
    Close();
}

void CTerminalProgress::Open(long long nLower, long long nUpper) {
    m_nLower = nLower;
    m_nUpper = nUpper;
    m_nShown = -1;
    m_nCalls = 0;
    m_bOpen = true;
    m_clock.Start();
    Draw(0);
}

void CTerminalProgress::SetPos(long long nPos) {
    if (!m_bOpen || !m_pFile)
        return;
    const long long span = m_nUpper - m_nLower;
    const long long done = std::clamp(nPos - m_nLower, 0LL, span > 0 ? span : 0LL);
    const int permille = span > 0 ? int(done * 1000 / span) : 1000;
    // Reading the clock costs more than a step's bookkeeping: only every 64th call.
    const bool late = (++m_nCalls & 63) == 0 && m_clock.Elapsed() - m_dShownAt >= kRedrawSeconds;
    if (permille / 10 != m_nShown / 10 || late)
        Draw(permille);
}

void CTerminalProgress::Close() {
    if (!m_bOpen)
        return;
    m_bOpen = false;
    if (!m_pFile)
        return;
    std::fputc('\n', m_pFile);
    std::fflush(m_pFile);
}

bool CTerminalProgress::IsCancelled() const {
    return m_pInterrupt && m_pInterrupt->Requested();
}

void CTerminalProgress::Draw(int nPermille) {
    if (!m_pFile)
        return;
    m_nShown = nPermille;
    m_dShownAt = m_clock.Elapsed();
    char bar[kBarWidth + 1];
    const int filled = nPermille * kBarWidth / 1000;
    for (int i = 0; i < kBarWidth; ++i)
        bar[i] = i < filled ? '#' : '.';
    bar[kBarWidth] = '\0';
    const std::string times = CProgressClock::Text(m_dShownAt, nPermille / 1000.0);
    // Trailing spaces wipe what a longer earlier line left.
    std::fprintf(m_pFile, "\r%s [%s] %3d%% %s    ", m_pszTitle, bar, nPermille / 10, times.c_str());
    std::fflush(m_pFile);
}
