#pragma once

#include <cstddef>
#include <string>
#include <vector>

/// A curve given by its samples (x[i], y[i]), i below n.
struct CSampledCurve {
    const double* m_pX = nullptr;
    const double* m_pY = nullptr;
    std::size_t m_nCount = 0;
};

/// Value of curve at x by linear interpolation between the samples around it; the samples'
/// x must never decrease (where two share an x, the later one is taken). NaN outside the
/// samples' range or for a curve without samples.
double InterpolateAt(const CSampledCurve& curve, double x);

/// The first curve minus the second at the first one's samples that lie within the second's
/// x range, the second interpolated linearly. Samples outside that range are left out.
struct CCurveDifference {
    bool m_bOk = false;
    std::vector<double> m_vecX; ///< x of the samples taken from the first curve
    std::vector<double> m_vecY; ///< first minus second there
    std::string m_strMessage;   ///< why there is no difference
};

CCurveDifference CurveDifference(const CSampledCurve& first, const CSampledCurve& second);
