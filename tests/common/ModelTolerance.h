#pragma once

#include <algorithm>
#include <cmath>
#include <initializer_list>

/// Largest magnitude among the values: the scale of "agrees to 1e-10 of the largest
/// magnitude involved".
inline double LargestMagnitude(std::initializer_list<double> values) {
    double m = 0.0;
    for (double v : values)
        m = std::max(m, std::fabs(v));
    return m;
}
