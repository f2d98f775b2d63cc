#include "plot/CurveReduction.h"

#include <algorithm>

namespace {

/// Collects a polyline point by point and turns it into the segments that cover its pixels:
/// for every run of consecutive points in one pixel column, the segment entering the run and
/// the vertical span the run covers.
class CColumnReducer {
public:
    explicit CColumnReducer(std::vector<QLine>& out) : m_out(out) { m_out.clear(); }

    void Add(const QPoint& p) {
        if (m_nCount > 0 && p.x() == m_nX) {
            m_nLast = p.y();
            m_nLow = std::min(m_nLow, m_nLast);
            m_nHigh = std::max(m_nHigh, m_nLast);
            ++m_nCount;
            return;
        }
        Finish();
        if (m_bStarted)
            m_out.emplace_back(m_nX, m_nLast, p.x(), p.y());
        m_bStarted = true;
        m_nX = p.x();
        m_nLast = m_nLow = m_nHigh = p.y();
        m_nCount = 1;
    }

    /// Closes the open run; call once after the last point.
    void Finish() {
        // The segments inside one column chain into one span. A run of repeated points is a
        // span of length zero, which still marks its pixel, as a segment of length zero does.
        if (m_nCount > 1)
            m_out.emplace_back(m_nX, m_nLow, m_nX, m_nHigh);
        m_nCount = 0;
    }

private:
    std::vector<QLine>& m_out;
    std::size_t m_nCount = 0; ///< points in the open run
    bool m_bStarted = false;  ///< a point was added
    int m_nX = 0;             ///< column of the open run
    int m_nLast = 0;          ///< row of its last point
    int m_nLow = 0;           ///< smallest row of the run
    int m_nHigh = 0;          ///< largest row of the run
};

/// Smallest and largest of v[0..n), n >= 1, all finite.
void Extremes(const double* v, std::size_t n, double& lo, double& hi) {
    lo = hi = v[0];
    for (std::size_t i = 1; i < n; ++i) {
        if (v[i] < lo)
            lo = v[i];
        if (v[i] > hi)
            hi = v[i];
    }
}

} // namespace

void CCurveReduction::ReduceSegments(const QPoint* points, std::size_t n, std::vector<QLine>& out) {
    CColumnReducer reducer(out);
    for (std::size_t i = 0; i < n; ++i)
        reducer.Add(points[i]);
    reducer.Finish();
}

void CCurveReduction::ReducePoints(const SMapping& map, const double* x, const double* y,
                                   std::size_t n, std::vector<QLine>& out) {
    CColumnReducer reducer(out);
    for (std::size_t i = 0; i < n; ++i) {
        if (IsFinite(x[i]) && IsFinite(y[i]))
            reducer.Add(QPoint(map.Px(x[i]), map.Py(y[i])));
    }
    reducer.Finish();
}

std::pair<std::size_t, std::size_t> CCurveReduction::ShownPoints(const double* x, std::size_t count,
                                                                 double lo, double hi) {
    std::size_t from = std::size_t(std::lower_bound(x, x + count, lo) - x);
    std::size_t to = std::size_t(std::upper_bound(x, x + count, hi) - x);
    from = from > 0 ? from - 1 : 0;
    to = std::min(to + 1, count);
    return {from, to};
}

void CCurveReduction::FindRuns(const SMapping& map, const double* x, std::size_t from,
                               std::size_t to, std::vector<std::size_t>& runs) {
    runs.clear();
    for (std::size_t i = from; i < to;) {
        runs.push_back(i);
        const int column = map.Px(x[i]);
        std::size_t lo = i, hi = to, step = 1;
        while (lo + step < to) {
            if (map.Px(x[lo + step]) != column) {
                hi = lo + step;
                break;
            }
            lo += step;
            step *= 2;
        }
        while (hi - lo > 1) {
            const std::size_t mid = lo + (hi - lo) / 2;
            (map.Px(x[mid]) == column ? lo : hi) = mid;
        }
        i = hi;
    }
    runs.push_back(to);
}

void CCurveReduction::ReduceRuns(const SMapping& map, const double* x, const double* y,
                                 const std::vector<std::size_t>& runs, std::vector<QLine>& out) {
    out.clear();
    int prevX = 0, prevRow = 0;
    for (std::size_t r = 0; r + 1 < runs.size(); ++r) {
        const std::size_t i = runs[r], end = runs[r + 1];
        const int column = map.Px(x[i]);
        if (r > 0)
            out.emplace_back(prevX, prevRow, column, map.Py(y[i]));
        if (end - i > 1) {
            double low, high;
            Extremes(y + i, end - i, low, high);
            out.emplace_back(column, map.Py(high), column, map.Py(low));
        }
        prevX = column;
        prevRow = map.Py(y[end - 1]);
    }
}
