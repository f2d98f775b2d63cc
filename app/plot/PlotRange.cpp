#include "plot/PlotRange.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

using SDataScan = CPlotRange::SDataScan;
using SGroup = CPlotRange::SGroup;

bool IsFinite(double v) {
    return v - v == 0;
}

// Updates are rare after the first points, so plain comparisons beat branch-free ones here.
inline void Take(double v, double& dMin, double& dMax, bool& bNearZero) {
    if (v > dMax)
        dMax = v;
    if (v < dMin)
        dMin = v;
    bNearZero = bNearZero | (std::fabs(v) <= 0.001);
}

inline void TakeX(SDataScan& s, double x) {
    Take(x, s.dXMin, s.dXMax, s.bNearZeroX);
}

inline void TakeY(SDataScan& s, double y) {
    Take(y, s.dYMin, s.dYMax, s.bNearZeroY);
}

/// x of every point: its range, whether all are finite and never decreasing.
void ScanX(const double* x, std::size_t count, SDataScan& scan, bool& finite, bool& ascending) {
    finite = ascending = true;
    double previous = count > 0 ? x[0] : 0;
    for (std::size_t i = 0; i < count; ++i) {
        const double xi = x[i];
        TakeX(scan, xi);
        finite = finite & IsFinite(xi);
        ascending = ascending & (xi >= previous);
        previous = xi;
    }
}

/// y of points from .. to - 1 into scan; false when one is not finite.
bool ScanY(const double* y, std::size_t from, std::size_t to, SDataScan& scan) {
    bool finite = true;
    for (std::size_t i = from; i < to; ++i) {
        const double yi = y[i];
        TakeY(scan, yi);
        finite = finite & IsFinite(yi);
    }
    return finite;
}

/// The scale's pass over one group: x once, then the y of every curve. Points with a value
/// that is not finite are left out (a pair is taken when both its values are finite).
SDataScan ScanGroup(SGroup& group) {
    const double* x = group.pX;
    const std::size_t count = group.nCount;
    SDataScan scan;
    bool finite = true, ascending = true;
    ScanX(x, count, scan, finite, ascending);
    for (const double* y : group.ys)
        finite = ScanY(y, 0, count, scan) && finite;
    if (finite) {
        scan.nFinite = count * group.ys.size();
        scan.bAscending = ascending;
        group.bAscending = ascending;
        return scan;
    }
    group.bAscending = false;
    scan = SDataScan();
    for (const double* y : group.ys) {
        for (std::size_t i = 0; i < count; ++i) {
            if (IsFinite(x[i]) && IsFinite(y[i])) {
                TakeX(scan, x[i]);
                TakeY(scan, y[i]);
                ++scan.nFinite;
            }
        }
    }
    return scan;
}

/// The scan of a group of a plot zoomed in x, which reads y only inside the x range: for x
/// finite and never decreasing, the x of every point and the y of the points shown (and one
/// beyond each end). Any value that is not finite there falls back to the full scan.
SDataScan ScanGroupForZoom(SGroup& group, const CPlotZoom& zoom) {
    const double* x = group.pX;
    const std::size_t count = group.nCount;
    SDataScan scan;
    bool finite = true, ascending = true;
    ScanX(x, count, scan, finite, ascending);
    if (!finite || !ascending || count == 0)
        return ScanGroup(group);
    std::size_t from = std::size_t(std::lower_bound(x, x + count, zoom.m_dXLo) - x);
    std::size_t to = std::size_t(std::upper_bound(x, x + count, zoom.m_dXHi) - x);
    from = from > 0 ? from - 1 : 0;
    to = std::min(to + 1, count);
    for (const double* y : group.ys) {
        SDataScan part;
        if (!ScanY(y, from, to, part))
            return ScanGroup(group);
        TakeY(scan, part.dYMin);
        TakeY(scan, part.dYMax);
        scan.bNearZeroY = scan.bNearZeroY || part.bNearZeroY;
    }
    scan.nFinite = count * group.ys.size();
    scan.bAscending = true;
    group.bAscending = true;
    return scan;
}

/// Joins the x of the scan of another group into all.
void MergeX(SDataScan& all, const SDataScan& part) {
    all.dXMin = std::min(all.dXMin, part.dXMin);
    all.dXMax = std::max(all.dXMax, part.dXMax);
    all.bNearZeroX = all.bNearZeroX || part.bNearZeroX;
    all.nFinite += part.nFinite;
    all.bAscending = all.bAscending && part.bAscending;
}

/// Joins the scan of another group into all.
void Merge(SDataScan& all, const SDataScan& part) {
    MergeX(all, part);
    all.dYMin = std::min(all.dYMin, part.dYMin);
    all.dYMax = std::max(all.dYMax, part.dYMax);
    all.bNearZeroY = all.bNearZeroY || part.bNearZeroY;
}

/// The value at x of the line from point i to point i + 1 (x ascending); NaN when they
/// share their x.
double LineAt(const double* x, const double* y, std::size_t i, double at) {
    const double dx = x[i + 1] - x[i];
    if (!(dx > 0))
        return std::numeric_limits<double>::quiet_NaN();
    return y[i] + (y[i + 1] - y[i]) * ((at - x[i]) / dx);
}

} // namespace

CPlotRange::SDataScan CPlotRange::ScanData(std::vector<SGroup>& groups, const CPlotZoom* pZoom,
                                           SDataScan& right) {
    SDataScan all;
    all.bAscending = true;
    right = SDataScan();
    for (SGroup& group : groups) {
        const SDataScan part = pZoom ? ScanGroupForZoom(group, *pZoom) : ScanGroup(group);
        if (group.bRight) {
            MergeX(all, part);
            Merge(right, part);
        } else {
            Merge(all, part);
        }
    }
    return all;
}

bool CPlotRange::VisibleExtremes(const std::vector<SGroup>& groups, bool bRight, double lo,
                                 double hi, double& ymin, double& ymax, bool bLines) {
    ymin = std::numeric_limits<double>::infinity();
    ymax = -ymin;
    const auto take = [&](double v) {
        if (IsFinite(v)) {
            ymin = std::min(ymin, v);
            ymax = std::max(ymax, v);
        }
    };
    for (const SGroup& group : groups) {
        if (group.bRight != bRight)
            continue;
        const double* x = group.pX;
        const std::size_t count = group.nCount;
        std::size_t from = 0, to = count;
        if (group.bAscending) {
            from = std::size_t(std::lower_bound(x, x + count, lo) - x);
            to = std::size_t(std::upper_bound(x, x + count, hi) - x);
            if (bLines) {
                // The lines leaving the range reach its ends at these values.
                for (const double* y : group.ys) {
                    if (from > 0 && from < count)
                        take(LineAt(x, y, from - 1, lo));
                    if (to > 0 && to < count)
                        take(LineAt(x, y, to - 1, hi));
                }
            } else if (from >= to) {
                from = from > 0 ? from - 1 : 0;
                to = std::min(to + 1, count);
            }
        }
        for (const double* y : group.ys) {
            for (std::size_t i = from; i < to; ++i) {
                const double xi = x[i], yi = y[i];
                if (!group.bAscending && !(xi >= lo && xi <= hi))
                    continue;
                if (IsFinite(yi) && IsFinite(xi)) {
                    ymin = std::min(ymin, yi);
                    ymax = std::max(ymax, yi);
                }
            }
        }
    }
    return ymin <= ymax;
}

std::size_t CPlotRange::PointCount(double n) {
    if (!(n > 0))
        return 0;
    const double count = std::ceil(n);
    if (count >= static_cast<double>(std::numeric_limits<std::size_t>::max()))
        return std::numeric_limits<std::size_t>::max();
    return static_cast<std::size_t>(count);
}

double CPlotRange::AxisRange(double& lo, double& hi, bool nearZero) {
    if ((nearZero ? std::fabs(lo) + std::fabs(hi) : hi - lo) == 0) {
        const double v = lo;
        const double d = v == 0 ? 1.0 : std::fabs(v) * 0.1;
        lo = v - d;
        hi = v + d;
    }
    return nearZero ? std::fabs(lo) + std::fabs(hi) : hi - lo;
}
