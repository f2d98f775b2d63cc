#include "DftRange.h"

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
