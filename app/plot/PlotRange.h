#pragma once

#include "plot/PlotZoom.h"

#include <cstddef>
#include <vector>

/// The ranges of a plot's data: one pass over the x and y values of its curves finds their
/// extremes, whether some value lies within 0.001 of zero, how many points are finite and
/// whether x never decreases; the range of an axis follows from them by the plot's rule.
/// Points with a coordinate that is not finite are left out.
class CPlotRange {
public:
    /// Curves that share one array of x values: x is scanned and split into pixel columns
    /// once for all of them.
    struct SGroup {
        const double* pX = nullptr;    ///< x values
        std::size_t nCount = 0;        ///< points
        std::vector<const double*> ys; ///< y values of each curve over pX
        bool bAscending = false;       ///< every point finite and x never decreasing
        bool bRight = false;           ///< its curves are scaled by the right-hand y axis
    };

    /// What one pass over the data finds.
    struct SDataScan {
        double dXMin = 99999999.0;  ///< smallest x, or the start value when none is smaller
        double dXMax = -99999999.0; ///< largest x, likewise
        double dYMin = 99999999.0;  ///< smallest y
        double dYMax = -99999999.0; ///< largest y
        bool bNearZeroX = false;    ///< some |x| <= 0.001
        bool bNearZeroY = false;    ///< some |y| <= 0.001
        std::size_t nFinite = 0;    ///< points whose coordinates are both finite
        bool bAscending = false;    ///< every point finite and x never decreasing
    };

    /// The scan of every group: x of all, y of the left-axis groups; the y of the right-axis
    /// groups goes to right. With one group exactly that group's scan. With pZoom (zoomed in
    /// x) the y of a group whose x ascends is read only inside the x range shown (and one
    /// point beyond each end). Sets each group's bAscending.
    static SDataScan ScanData(std::vector<SGroup>& groups, const CPlotZoom* pZoom,
                              SDataScan& right);

    /// Smallest and largest finite y of the points of the groups of one axis (bRight) whose x
    /// lies in [lo, hi]; for x never decreasing found by bisection. With bLines (curves: each
    /// point joined to the next), for x never decreasing also the values where those lines
    /// cross lo and hi, so that a curve drawn on this range reaches both of its ends. Without,
    /// when no point of a group lies inside, the two points around the range. False when there
    /// is no finite value.
    static bool VisibleExtremes(const std::vector<SGroup>& groups, bool bRight, double lo,
                                double hi, double& ymin, double& ymax, bool bLines = true);

    /// Range of one axis by the plot's rule: the sum of the magnitudes when some value is
    /// within 0.001 of zero, else max - min. A range of zero is widened around its value first:
    /// by 10 % of its magnitude on each side, or by 1 when the value is 0.
    static double AxisRange(double& lo, double& hi, bool nearZero);

    /// Number of points an index loop "while i < n" visits.
    static std::size_t PointCount(double n);
};
