#include "PostProcess.h"

#include "Control.h"

#include <algorithm>

CSampleRange MapDftRange(std::int64_t selStart, std::int64_t selEnd, std::int64_t left,
                         std::int64_t right, std::size_t n) {
    if (right <= left)
        return {0, n};
    const std::int64_t count = static_cast<std::int64_t>(n);
    const std::int64_t width = right - left;
    // (sel - left) * n reaches 1e4 * n: beyond 32 bits from about 215,000 samples.
    std::int64_t i0 = selStart < left ? 0 : (selStart - left) * count / width;
    std::int64_t i1 = selEnd < left ? count : (selEnd - left) * count / width;
    if (i1 > count)
        i1 = count;
    if (i0 > i1)
        i0 = 0;
    return {static_cast<std::size_t>(i0), static_cast<std::size_t>(i1 - i0)};
}

CDftOutcome TransformRange(CControl& control, CSampleRange range, int nNh, double* x, double* y,
                           double* work) {
    CDftOutcome outcome;
    const std::size_t N = range.m_nCount;
    if (N < 2) {
        outcome.m_code = EStatus::Refused;
        outcome.m_strMessage = "The selected range holds " + std::to_string(N) +
                               (N == 1 ? " sample" : " samples") +
                               ": the DFT needs at least 2. Select a wider range.";
        return outcome;
    }
    outcome.m_dThd = control.Dft(y + range.m_nStart, work, N);
    for (std::size_t k = 0; k < N; ++k) {
        x[k] = static_cast<double>(k);
        y[k] = work[k];
    }
    outcome.m_nSamples = N;
    outcome.m_nShown = std::min(static_cast<std::size_t>(nNh < 0 ? 0 : nNh) + 1, N);
    outcome.m_code = EStatus::Ok;
    outcome.m_strMessage.clear();
    return outcome;
}
