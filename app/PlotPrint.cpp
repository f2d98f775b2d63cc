#include "PlotPrint.h"

#include "Pictures.h"

#include <QFontMetrics>
#include <QPainter>
#include <QRect>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

/// Pixel coordinates are clamped here: far outside any device, yet every sum of two of them
/// stays an int, so absurd data cannot make a conversion undefined.
constexpr double kPixelLimit = 1 << 24;

/// Truncates toward zero, as every pixel conversion of the plot does.
int Trunc(double v) {
    if (!(v > -kPixelLimit)) // also NaN
        return -static_cast<int>(kPixelLimit);
    if (v > kPixelLimit)
        return static_cast<int>(kPixelLimit);
    return static_cast<int>(v);
}

/// Writes text with its top left corner at (left, top), as the plot positions its texts.
void TextAt(QPainter& dc, int left, int top, const QString& text) {
    dc.drawText(left, top + dc.fontMetrics().ascent(), text);
}

int TextWidth(const QFontMetrics& fm, const QString& text) {
    return fm.horizontalAdvance(text);
}

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

bool IsFinite(double v) {
    return v - v == 0;
}

// Updates are rare after the first points, so plain comparisons beat branch-free ones here.
inline void Take(SDataScan& s, double x, double y) {
    if (x > s.dXMax)
        s.dXMax = x;
    if (x < s.dXMin)
        s.dXMin = x;
    if (y > s.dYMax)
        s.dYMax = y;
    if (y < s.dYMin)
        s.dYMin = y;
    s.bNearZeroX = s.bNearZeroX | (std::fabs(x) <= 0.001);
    s.bNearZeroY = s.bNearZeroY | (std::fabs(y) <= 0.001);
}

SDataScan ScanData(const double* x, const double* y, std::size_t count) {
    SDataScan scan;
    bool finite = true, ascending = true;
    double previous = count > 0 ? x[0] : 0;
    for (std::size_t i = 0; i < count; ++i) {
        const double xi = x[i], yi = y[i];
        Take(scan, xi, yi);
        finite = finite & IsFinite(xi) & IsFinite(yi);
        ascending = ascending & (xi >= previous);
        previous = xi;
    }
    if (finite) {
        scan.nFinite = count;
        scan.bAscending = ascending;
        return scan;
    }
    // Points with a value that is not finite are left out.
    scan = SDataScan();
    for (std::size_t i = 0; i < count; ++i) {
        if (IsFinite(x[i]) && IsFinite(y[i])) {
            Take(scan, x[i], y[i]);
            ++scan.nFinite;
        }
    }
    return scan;
}

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

/// Data to pixels, by the plot's formulas.
struct SMapping {
    double dPW; ///< plot width
    double dPH; ///< plot height
    double dXr; ///< x range
    double dYr; ///< y range
    int nX0;    ///< pixel column of x = 0
    int nY0;    ///< pixel row of y = 0

    int Px(double x) const { return Trunc(dPW * x / dXr + nX0); }
    int Py(double y) const { return Trunc(nY0 - dPH * y / dYr); }
};

/// The segments of a curve whose x never decreases: the column index never decreases either,
/// so each run of one column is found by galloping over x, and only its extremes of y are
/// mapped (the row is monotone in y). Gives what CColumnReducer gives for every point.
void ReduceAscending(const SMapping& map, const double* x, const double* y, std::size_t count,
                     std::vector<QLine>& out) {
    out.clear();
    int prevX = 0, prevRow = 0;
    for (std::size_t i = 0; i < count;) {
        const int column = map.Px(x[i]);
        std::size_t lo = i, hi = count, step = 1;
        while (lo + step < count) {
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
        // The run is [i, hi).
        if (i > 0)
            out.emplace_back(prevX, prevRow, column, map.Py(y[i]));
        if (hi - i > 1) {
            double low, high;
            Extremes(y + i, hi - i, low, high);
            out.emplace_back(column, map.Py(high), column, map.Py(low));
        }
        prevX = column;
        prevRow = map.Py(y[hi - 1]);
        i = hi;
    }
}

/// Number of points an index loop "while i < n" visits.
std::size_t PointCount(double n) {
    if (!(n > 0))
        return 0;
    const double count = std::ceil(n);
    if (count >= static_cast<double>(std::numeric_limits<std::size_t>::max()))
        return std::numeric_limits<std::size_t>::max();
    return static_cast<std::size_t>(count);
}

/// Range of one axis by the plot's rule: the sum of the magnitudes when some value is within
/// 0.001 of zero, else max - min. A range of zero is widened around its value first.
double AxisRange(double& lo, double& hi, bool nearZero) {
    if ((nearZero ? std::fabs(lo) + std::fabs(hi) : hi - lo) == 0) {
        const double v = lo;
        const double d = v == 0 ? 1.0 : std::fabs(v) * 0.1;
        lo = v - d;
        hi = v + d;
    }
    return nearZero ? std::fabs(lo) + std::fabs(hi) : hi - lo;
}

} // namespace

/// The scale of one drawing, all in pixels of the drawing area.
struct CPlotPrint::SScale {
    int nW = 0;              ///< width of the drawing area
    int nH = 0;              ///< height of the drawing area
    int nL = 0;              ///< left margin, the x of the y axis
    int nPW = 0;             ///< plot width
    int nPH = 0;             ///< plot height
    double dXMin = 0;        ///< smallest x of the data
    double dXMax = 0;        ///< largest x
    double dYMin = 0;        ///< smallest y
    double dYMax = 0;        ///< largest y
    double dXr = 1;          ///< x range shown
    double dYr = 1;          ///< y range shown
    int nX0 = 0;             ///< pixel column of x = 0
    int nY0 = 0;             ///< pixel row of y = 0
    int nXDivisions = 10;    ///< divisions of the x axis
    bool bEmpty = true;      ///< no point to draw: axes only
    bool bAscending = false; ///< all points finite, x never decreasing
};

CPlotPrint::CPlotPrint()
    : m_dTHD(0), m_nLeft(0), m_nRight(0), m_penSelect(QColor(100, 100, 255), 1, Qt::DotLine),
      m_penGrid(QColor(200, 200, 200), 1, Qt::DotLine), m_penAxis(Qt::black, 1, Qt::SolidLine),
      m_penCurve(QColor(255, 0, 0), 1, Qt::SolidLine), m_brush(Qt::white, Qt::SolidPattern),
      m_strYLabel("y"), m_strXLabel("x") {
    m_font.setFamily("font1");
    m_font.setStyleHint(QFont::SansSerif);
    m_font.setPixelSize(15);
    m_font.setItalic(true);
    m_font.setWeight(QFont::Normal);
    m_font.setUnderline(false);
    m_font.setStrikeOut(false);
}

CPlotPrint::~CPlotPrint() = default;

void CPlotPrint::SetLabels(const QString& strXLabel, const QString& strYLabel) {
    m_strXLabel = strXLabel;
    m_strYLabel = strYLabel;
}

CPlotPrint::SScale CPlotPrint::ComputeScale(QPainter& dc, const QRect& rect, const double* x,
                                            const double* y, std::size_t count, EKind kind,
                                            double n) const {
    SScale s;
    s.nW = rect.width();
    s.nH = rect.height();

    const SDataScan scan = ScanData(x, y, count);
    double xmin = scan.dXMin, xmax = scan.dXMax, ymin = scan.dYMin, ymax = scan.dYMax;
    // Some |value| within 0.001 of zero switches its axis to the sum of the magnitudes.
    bool fx = scan.bNearZeroX, fy = scan.bNearZeroY;
    s.bAscending = scan.bAscending;
    s.bEmpty = scan.nFinite == 0;
    if (s.bEmpty) {
        xmin = ymin = 0;
        xmax = ymax = 1;
        fx = fy = false;
    }
    s.dXr = AxisRange(xmin, xmax, fx);
    s.dYr = AxisRange(ymin, ymax, fy);
    s.dXMin = xmin;
    s.dXMax = xmax;
    s.dYMin = ymin;
    s.dYMax = ymax;

    // The margin is measured in the plot font the scale numbers are written in, plus their
    // 4-pixel gap to the axis, so the numbers are never cut off at the left edge whatever
    // font the target starts with.
    const QFontMetrics fm(m_font, dc.device());
    s.nL = std::max(TextWidth(fm, QString::asprintf("%.3f", ymax)),
                    TextWidth(fm, QString::asprintf("%.3f", ymin))) +
           4;
    s.nPW = s.nW - s.nL - 20;
    s.nPH = s.nH - 30;
    s.nX0 = Trunc(s.nL - xmin * s.nPW / s.dXr);
    s.nY0 = Trunc(s.nH - 15 + ymin * s.nPH / s.dYr);
    if (kind == EKind::Spectrum) {
        const double divisions = std::trunc(n - 1);
        s.nXDivisions = divisions >= 1 ? Trunc(divisions) : 1;
    }
    return s;
}

void CPlotPrint::DrawFrame(QPainter& dc, const SScale& s, EKind kind) {
    const int H = s.nH, L = s.nL, PW = s.nPW, PH = s.nPH;
    dc.setBrush(m_brush);
    dc.setPen(m_penAxis);
    dc.setFont(m_font);
    const QFontMetrics fm = dc.fontMetrics();

    // Axes with their arrow heads; the x axis always lies along the bottom edge.
    dc.drawLine(L, H - 15, L + PW, H - 15);
    dc.drawLine(L + PW, H - 15, L + PW - 4, H - 13);
    dc.drawLine(L + PW, H - 15, L + PW - 4, H - 17);
    dc.drawLine(L, H - 15, L, 15);
    dc.drawLine(L, 15, L - 2, 19);
    dc.drawLine(L, 15, L + 2, 19);

    TextAt(dc, L + PW, H - 30, m_strXLabel);
    TextAt(dc, L, 0, m_strYLabel);

    const int nx = s.nXDivisions;
    for (int i = 0; i < 10; ++i) {
        const int yi = Trunc(H - 15 - i * PH / 10.0);
        dc.drawLine(L - 2, yi, L + 2, yi);
    }
    for (int i = 0; i < nx; ++i) {
        const int xi = Trunc(L + static_cast<double>(i) * PW / nx);
        dc.drawLine(xi, H - 17, xi, H - 13);
    }
    if (s.bEmpty)
        return;

    if (kind == EKind::Curve) {
        // Drawn even when zero lies outside the data: it then falls outside the plot area.
        const int z = Trunc(15 + s.dYMax * PH / s.dYr);
        dc.setPen(m_penGrid);
        dc.drawLine(L, z, L + PW, z);
        dc.setPen(m_penAxis);
    }

    const char* xFormat = kind == EKind::Curve ? "%.3f" : "%.0f";
    for (int i = 0; i <= nx; ++i) {
        const int xi = Trunc(L + static_cast<double>(i) * PW / nx);
        const QString text = QString::asprintf(xFormat, s.dXMin + i * s.dXr / nx);
        TextAt(dc, Trunc(xi - TextWidth(fm, text) / 2.0), H - 15, text);
    }
    for (int i = 0; i <= 10; ++i) {
        const int yi = Trunc(H - 15 - i * PH / 10.0);
        const QString text = QString::asprintf("%.3f", s.dYMin + i * s.dYr / 10);
        TextAt(dc, L - TextWidth(fm, text) - 4, Trunc(yi - fm.height() / 2.0), text);
    }
}

CPlotPrint::SScale CPlotPrint::BeginPlot(QPainter& dc, const QRect& rect, const double* x,
                                         const double* y, std::size_t count, EKind kind, double n) {
    // Saved here, restored by the caller once its points are drawn.
    dc.save();
    dc.translate(rect.topLeft());
    dc.setRenderHint(QPainter::Antialiasing, false);
    const SScale s = ComputeScale(dc, rect, x, y, count, kind, n);
    m_nLeft = s.nL;
    m_nRight = s.nL + s.nPW;
    dc.setBackgroundMode(Qt::TransparentMode);
    DrawFrame(dc, s, kind);
    return s;
}

void CPlotPrint::DrawCurve(QPainter& dc, const QRect& rect, const double* x, const double* y,
                           double n) {
    const std::size_t count = PointCount(n);
    const SScale s = BeginPlot(dc, rect, x, y, count, EKind::Curve, n);

    if (!s.bEmpty) {
        const SMapping map{
            static_cast<double>(s.nPW), static_cast<double>(s.nPH), s.dXr, s.dYr, s.nX0, s.nY0};
        if (s.bAscending) {
            ReduceAscending(map, x, y, count, m_aReduced);
        } else {
            CColumnReducer reducer(m_aReduced);
            for (std::size_t i = 0; i < count; ++i) {
                if (IsFinite(x[i]) && IsFinite(y[i]))
                    reducer.Add(QPoint(map.Px(x[i]), map.Py(y[i])));
            }
            reducer.Finish();
        }
        dc.setPen(m_penCurve);
        dc.drawLines(m_aReduced.data(), static_cast<int>(m_aReduced.size()));
    }
    dc.restore();
    dc.setBackgroundMode(Qt::TransparentMode);
}

void CPlotPrint::DrawSpectrum(QPainter& dc, const QRect& rect, const double* x, const double* y,
                              double n) {
    const std::size_t count = PointCount(n);
    const SScale s = BeginPlot(dc, rect, x, y, count, EKind::Spectrum, n);

    if (!s.bEmpty) {
        const double PW = s.nPW, PH = s.nPH, xr = s.dXr, yr = s.dYr;
        const int x0 = s.nX0, y0 = s.nY0, H = s.nH;
        dc.setPen(m_penCurve);
        dc.setBrush(m_brush);
        for (std::size_t i = 0; i < count; ++i) {
            if (!IsFinite(x[i]) || !IsFinite(y[i]))
                continue;
            const double px = PW * x[i] / xr + x0;
            const double py = y0 - PH * y[i] / yr;
            dc.drawLine(Trunc(px), H - 15, Trunc(px), Trunc(py));
            const int left = Trunc(px - 4), top = Trunc(py - 4);
            dc.drawEllipse(QRect(left, top, Trunc(px + 4) - left, Trunc(py + 4) - top));
        }
    }

    dc.setPen(m_penAxis);
    const QString thd = std::isnan(m_dTHD) ? QStringLiteral("THD = undefined")
                                           : QString::asprintf("THD = %.2f", m_dTHD);
    TextAt(dc, s.nW - TextWidth(dc.fontMetrics(), thd) - 2, 0, thd);
    dc.restore();
    dc.setBackgroundMode(Qt::TransparentMode);
}

std::pair<int, int> CPlotPrint::DrawSelection(QPainter& dc, const QRect& rect, int x1, int y1,
                                              int x2, int y2) {
    dc.save();
    dc.translate(rect.topLeft());
    dc.setRenderHint(QPainter::Antialiasing, false);
    dc.setPen(m_penSelect);
    dc.drawLine(x1, y1, x1, y2);
    dc.drawLine(x2, y2, x2, y1);
    dc.restore();
    return {m_nLeft, m_nRight};
}

void CPlotPrint::DrawPicture(QPainter& dc, const QRect& rect, int kind) {
    const QSize size = CPictures::Size(kind);
    if (size.isEmpty())
        return;
    dc.save();
    dc.setClipRect(rect, Qt::IntersectClip);
    dc.translate(rect.topLeft() + QPoint(10, 10));
    CPictures::Draw(dc, kind);
    dc.restore();
}

void CPlotPrint::ReduceSegments(const QPoint* points, std::size_t n, std::vector<QLine>& out) {
    CColumnReducer reducer(out);
    for (std::size_t i = 0; i < n; ++i)
        reducer.Add(points[i]);
    reducer.Finish();
}
