#include "plot/CurveDifference.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

bool IsAscending(const CSampledCurve& curve) {
    return std::is_sorted(curve.m_pX, curve.m_pX + curve.m_nCount);
}

} // namespace

double InterpolateAt(const CSampledCurve& curve, double x) {
    const double* xs = curve.m_pX;
    const std::size_t n = curve.m_nCount;
    if (n == 0 || !(x >= xs[0] && x <= xs[n - 1]))
        return kNaN;
    // The first sample beyond x; at the last sample itself, that sample.
    const std::size_t hi = std::size_t(std::upper_bound(xs, xs + n, x) - xs);
    if (hi == n || hi == 0)
        return curve.m_pY[hi == n ? n - 1 : 0];
    const std::size_t lo = hi - 1;
    if (xs[lo] == x)
        return curve.m_pY[lo];
    const double share = (x - xs[lo]) / (xs[hi] - xs[lo]);
    return curve.m_pY[lo] + share * (curve.m_pY[hi] - curve.m_pY[lo]);
}

CCurveDifference CurveDifference(const CSampledCurve& first, const CSampledCurve& second) {
    CCurveDifference result;
    if (first.m_nCount < 1 || second.m_nCount < 1) {
        result.m_strMessage = "A difference needs two curves with samples.";
        return result;
    }
    if (!IsAscending(second)) {
        result.m_strMessage =
            "The second curve's x values decrease somewhere: it cannot be interpolated.";
        return result;
    }
    const double lo = second.m_pX[0], hi = second.m_pX[second.m_nCount - 1];
    for (std::size_t i = 0; i < first.m_nCount; ++i) {
        const double x = first.m_pX[i];
        if (!(x >= lo && x <= hi))
            continue;
        result.m_vecX.push_back(x);
        result.m_vecY.push_back(first.m_pY[i] - InterpolateAt(second, x));
    }
    if (result.m_vecX.empty()) {
        result.m_strMessage = "The two curves have no x range in common: there is no difference.";
        return result;
    }
    result.m_bOk = true;
    return result;
}
