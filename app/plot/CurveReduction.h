#pragma once

#include <QLine>
#include <QPoint>

#include <cstddef>
#include <utility>
#include <vector>

/// Turns the points of a curve into the few segments that cover the same pixels: for every
/// run of consecutive points in one pixel column, the segment entering the run and one
/// vertical span over the rows the run covers. Drawn one by one with a solid pen whose lines
/// include their end points, the result covers exactly the pixels of drawing every segment
/// between consecutive points, which keeps a redraw of millions of points fast.
class CCurveReduction {
public:
    /// Pixel coordinates are clamped here: far outside any device, yet every sum of two of
    /// them stays an int, so absurd data cannot make a conversion undefined.
    static constexpr double kPixelLimit = 1 << 24;

    /// Truncates toward zero, as every pixel conversion of the plot does.
    static int Trunc(double v) {
        if (!(v > -kPixelLimit)) // also NaN
            return -static_cast<int>(kPixelLimit);
        if (v > kPixelLimit)
            return static_cast<int>(kPixelLimit);
        return static_cast<int>(v);
    }

    static bool IsFinite(double v) { return v - v == 0; }

    /// Data to pixels by the plot's formulas: px = trunc(PW (x - xoff) / xr + x0) and
    /// py = trunc(y0 - PH (y - yoff) / yr). Unzoomed the offsets are 0 and x0, y0 the truncated
    /// pixels of zero; zoomed they are the ends of the ranges shown, so no pixel of zero (which
    /// may lie millions of pixels away) is ever truncated.
    struct SMapping {
        double dPW;   ///< plot width
        double dPH;   ///< plot height
        double dXr;   ///< x range
        double dYr;   ///< y range
        double dXOff; ///< x subtracted before scaling
        double dYOff; ///< y subtracted before scaling
        double dX0;   ///< pixel column of x = dXOff
        double dY0;   ///< pixel row of y = dYOff

        int Px(double x) const { return Trunc(dPW * (x - dXOff) / dXr + dX0); }
        int Py(double y) const { return Trunc(dY0 - dPH * (y - dYOff) / dYr); }
    };

    /// The reduced segments of the polyline through points[0..n). out is cleared first.
    static void ReduceSegments(const QPoint* points, std::size_t n, std::vector<QLine>& out);

    /// The reduced segments of the points (x[i], y[i]), i < n, mapped by map, in index order;
    /// points with a coordinate that is not finite are left out. For x in any order.
    static void ReducePoints(const SMapping& map, const double* x, const double* y, std::size_t n,
                             std::vector<QLine>& out);

    /// Points of x[0..count) shown in [lo, hi] and one beyond each end, for x never decreasing.
    static std::pair<std::size_t, std::size_t> ShownPoints(const double* x, std::size_t count,
                                                           double lo, double hi);

    /// Splits the points from .. to - 1 of a curve whose x never decreases into runs of one
    /// pixel column: the column index never decreases either, so each run is found by
    /// galloping over x. runs receives the first index of every run, then to.
    static void FindRuns(const SMapping& map, const double* x, std::size_t from, std::size_t to,
                         std::vector<std::size_t>& runs);

    /// The segments of one curve over the runs of FindRuns, all finite: the segment entering
    /// each run and the span of the run; only a run's extremes of y are mapped (the row is
    /// monotone in y). Gives what ReducePoints gives for the same points. out is cleared first.
    static void ReduceRuns(const SMapping& map, const double* x, const double* y,
                           const std::vector<std::size_t>& runs, std::vector<QLine>& out);
};
