#include "TerminalProgress.h"

#include <algorithm>

namespace {
constexpr int kBarWidth = 40;
} // namespace

CTerminalProgress::CTerminalProgress(std::FILE* pFile, const char* pszTitle)
    : m_pFile(pFile), m_pszTitle(pszTitle) {}

CTerminalProgress::~CTerminalProgress() {
    Close();
}

void CTerminalProgress::Open(long long nLower, long long nUpper) {
    m_nLower = nLower;
    m_nUpper = nUpper;
    m_nShown = -1;
    m_bOpen = true;
    Draw(0);
}

void CTerminalProgress::SetPos(long long nPos) {
    if (!m_bOpen)
        return;
    const long long span = m_nUpper - m_nLower;
    const long long done = std::clamp(nPos - m_nLower, 0LL, span > 0 ? span : 0LL);
    const int percent = span > 0 ? int(done * 100 / span) : 100;
    if (percent != m_nShown)
        Draw(percent);
}

void CTerminalProgress::Close() {
    if (!m_bOpen)
        return;
    m_bOpen = false;
    std::fputc('\n', m_pFile);
    std::fflush(m_pFile);
}

void CTerminalProgress::Draw(int nPercent) {
    m_nShown = nPercent;
    char bar[kBarWidth + 1];
    const int filled = nPercent * kBarWidth / 100;
    for (int i = 0; i < kBarWidth; ++i)
        bar[i] = i < filled ? '#' : '.';
    bar[kBarWidth] = '\0';
    std::fprintf(m_pFile, "\r%s [%s] %3d%%", m_pszTitle, bar, nPercent);
    std::fflush(m_pFile);
}
