#include "plot/PlotPrint.h"

#include "pictures/Pictures.h"
#include "plot/CurveReduction.h"
#include "plot/PlotRange.h"
#include "plot/PlotScale.h"

#include <QFontMetrics>
#include <QPainter>
#include <QRect>

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>

namespace {

using SMapping = CCurveReduction::SMapping;
using SDataScan = CPlotRange::SDataScan;
using SGroup = CPlotRange::SGroup;

int Trunc(double v) {
    return CCurveReduction::Trunc(v);
}

bool IsFinite(double v) {
    return CCurveReduction::IsFinite(v);
}

/// Writes text with its top left corner at (left, top), as the plot positions its texts.
void TextAt(QPainter& dc, int left, int top, const QString& text) {
    dc.drawText(left, top + dc.fontMetrics().ascent(), text);
}

int TextWidth(const QFontMetrics& fm, const QString& text) {
    return fm.horizontalAdvance(text);
}

/// Every how many divisions a number is written so that neighbours keep a gap: the smallest
/// of the given steps (for a curve divisors of its ten divisions) whose spacing holds size.
int NumberStep(double spacing, double size, int divisions) {
    if (!(spacing > 0))
        return divisions;
    if (divisions == 10) {
        for (int k : {1, 2, 5})
            if (k * spacing >= size)
                return k;
        return 10;
    }
    return std::clamp(static_cast<int>(std::ceil(size / spacing)), 1, std::max(divisions, 1));
}

/// Colours of the curves after the first (which keeps the plot's red): the Okabe-Ito set,
/// told apart by readers with any common form of colour blindness.
/// Legend text of a curve; with two y axes those of the right one say so.
QString Legend(const CPlotPrint::SCurve& curve, bool bTwoAxes) {
    return bTwoAxes && curve.m_nAxis == 1 ? curve.m_strLabel + QStringLiteral(" (right)")
                                          : curve.m_strLabel;
}

/// Light lines of the grid.
const QColor kGridColour(225, 225, 225);

const QColor kCurveColours[CPlotPrint::kMaxCurves] = {
    QColor(255, 0, 0),   QColor(0, 114, 178),   QColor(230, 159, 0),
    QColor(0, 158, 115), QColor(204, 121, 167), QColor(86, 180, 233),
};

} // namespace

/// Ticks of one round axis and their numbers.
struct SRoundAxis {
    double dStep = 0;              ///< step between ticks [axis unit]
    double dFactor = 1;            ///< numbers are values times this (seconds to ms)
    std::vector<double> vecTicks;  ///< tick values [axis unit]
    std::vector<QString> vecTexts; ///< their numbers
};

/// Round ticks over [lo, hi] whose numbers, nSize pixels each way at most plus a gap, fit
/// nPixels; bTime writes seconds in the unit that suits the step.
SRoundAxis RoundAxis(double lo, double hi, int nPixels, bool bTime,
                     const std::function<int(const QString&)>& size) {
    SRoundAxis axis;
    const double span = hi - lo;
    for (int steps = std::max(1, nPixels / 40); steps >= 1; --steps) {
        axis.dStep = PlotScale::RoundStep(span, steps);
        if (!(axis.dStep > 0))
            return axis;
        axis.dFactor = bTime ? PlotScale::TimeUnit(axis.dStep).m_dFactor : 1.0;
        const double shownStep = axis.dStep * axis.dFactor;
        const int decimals = PlotScale::Decimals(shownStep);
        axis.vecTicks = PlotScale::Ticks(lo, hi, axis.dStep);
        axis.vecTexts.clear();
        int widest = 0;
        for (double tick : axis.vecTicks) {
            axis.vecTexts.push_back(PlotScale::Number(tick * axis.dFactor, shownStep, decimals));
            widest = std::max(widest, size(axis.vecTexts.back()));
        }
        // Neighbours keep a gap of a third of a number, at least 8 pixels.
        if (steps == 1 || (widest + std::max(8, widest / 3)) * span <= axis.dStep * nPixels)
            return axis;
    }
    return axis;
}

/// Round ticks of a harmonic axis over [lo, hi]: whole harmonics, a step of at least 1.
SRoundAxis HarmonicAxis(double lo, double hi, int nPixels,
                        const std::function<int(const QString&)>& size) {
    SRoundAxis axis = RoundAxis(lo, hi, nPixels, false, size);
    if (!(axis.dStep > 0) || axis.dStep >= 1)
        return axis;
    axis.dStep = 1;
    axis.vecTicks = PlotScale::Ticks(lo, hi, 1);
    axis.vecTexts.clear();
    for (double tick : axis.vecTicks)
        axis.vecTexts.push_back(PlotScale::Number(tick, 1, 0));
    return axis;
}

/// The unit of a label "Mag (peak) [A]": "A"; empty without one at its end.
QString TrailingUnit(const QString& strLabel) {
    if (!strLabel.endsWith(']'))
        return QString();
    const qsizetype open = strLabel.lastIndexOf('[');
    return open < 0 ? QString() : strLabel.mid(open + 1, strLabel.size() - open - 2);
}

/// The label of magnitudes in dB: the unit at its end replaced by dB, else dB added.
QString DbLabel(const QString& strLabel) {
    const QString unit = TrailingUnit(strLabel);
    const QString name =
        unit.isEmpty() ? strLabel : strLabel.left(strLabel.size() - unit.size() - 2).trimmed();
    return name + QStringLiteral(" [dB]");
}

/// Magnitude v in dB relative to ref.
double Decibels(double v, double ref) {
    return 20 * std::log10(v / ref);
}

/// A millionth of a pixel: what the zoomed mapping adds before truncating.
constexpr double kEdge = 1e-6;

/// The scale of one drawing, all in pixels of the drawing area.
struct CPlotPrint::SScale {
    int nW = 0;             ///< width of the drawing area
    int nH = 0;             ///< height of the drawing area
    int nL = 0;             ///< left margin, the x of the y axis
    int nPW = 0;            ///< plot width
    int nPH = 0;            ///< plot height
    double dXMin = 0;       ///< x at the y axis
    double dXMax = 0;       ///< largest x of the data (unzoomed), or the right end shown
    double dYMin = 0;       ///< y at the x axis
    double dYMax = 0;       ///< largest y of the data (unzoomed), or the top shown
    double dXr = 1;         ///< x range shown
    double dYr = 1;         ///< y range shown
    double dHomeXMin = 0;   ///< x at the y axis without zoom
    double dHomeXr = 1;     ///< x range without zoom
    double dHomeYMin = 0;   ///< y at the x axis without a zoom of y by hand
    double dHomeYr = 1;     ///< y range without a zoom of y by hand
    int nX0 = 0;            ///< pixel column of x = 0 (unzoomed)
    int nY0 = 0;            ///< pixel row of y = 0 (unzoomed)
    int nXDivisions = 10;   ///< divisions of the x axis
    int nXStep = 1;         ///< a number at every nXStep-th x division
    int nYStep = 1;         ///< a number at every nYStep-th y division
    bool bZoomed = false;   ///< a zoom is applied: offset mapping, curves clipped
    bool bEmpty = true;     ///< no point to draw: axes only
    bool bRound = false;    ///< round scales: ticks at multiples of 1-2-5 steps
    SRoundAxis xRound;      ///< the x axis's round ticks (with bRound)
    SRoundAxis yRound;      ///< the y axis's round ticks (with bRound)
    QString strXLabel;      ///< x label as written (a time axis in its unit)
    QString strYLabel;      ///< y label as written (a spectrum in dB says so)
    bool bSpectrum = false; ///< a spectrum: offset mapping, round scales, no zero line
    double dDbRef = 0;      ///< with a spectrum in dB: the magnitude at 0 dB, else 0
    bool bY2 = false;       ///< a right-hand y axis for the curves of a second unit
    double dY2Min = 0;      ///< its y at the x axis
    double dY2r = 1;        ///< its y range
    SRoundAxis y2Round;     ///< its round ticks

    /// The mapping of the right-hand axis's curves: x as Mapping(), y by their own range.
    SMapping RightMapping() const {
        SMapping map = Mapping();
        map.dYr = dY2r;
        map.dYOff = dY2Min;
        map.dY0 = nH - 15 + (bZoomed ? kEdge : 0.0);
        return map;
    }
    SMapping Mapping() const {
        // The ends of the ranges shown fall on the plot's edges, not a rounding error outside
        // them, where the clipping would cut off a line leaving there.
        if (bZoomed || bSpectrum)
            return {double(nPW), double(nPH), dXr, dYr, dXMin, dYMin, nL + kEdge, nH - 15 + kEdge};
        return {double(nPW), double(nPH), dXr, dYr, 0.0, 0.0, double(nX0), double(nY0)};
    }
    QString XNumber(int i) const {
        return QString::asprintf("%.3f", dXMin + i * dXr / nXDivisions);
    }
    QString YNumber(int i) const { return QString::asprintf("%.3f", dYMin + i * dYr / 10); }
};

int CPlotPrint::RightAxisWidth(SScale& s, const QFontMetrics& fm) {
    if (!s.bY2)
        return 0;
    const auto height = [&fm](const QString&) { return fm.height(); };
    s.y2Round = RoundAxis(s.dY2Min, s.dY2Min + s.dY2r, s.nH - 30, false, height);
    int widest = 0;
    for (const QString& text : s.y2Round.vecTexts)
        widest = std::max(widest, TextWidth(fm, text));
    return widest + 8;
}

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
    for (int i = 0; i < kMaxCurves; ++i)
        m_aCurvePens[i] = QPen(kCurveColours[i], 1, Qt::SolidLine);
}

CPlotPrint::~CPlotPrint() = default;

void CPlotPrint::SetLabels(const QString& strXLabel, const QString& strYLabel) {
    m_strXLabel = strXLabel;
    m_strYLabel = strYLabel;
}

QPen CPlotPrint::CurvePen(int i) const {
    return i <= 0 ? m_penCurve : m_aCurvePens[i % kMaxCurves];
}

CPlotPrint::SScale CPlotPrint::ComputeScale(QPainter& dc, const QRect& rect,
                                            std::vector<SGroup>& groups, EKind kind,
                                            const CPlotZoom& zoom) const {
    SScale s;
    s.nW = rect.width();
    s.nH = rect.height();

    SDataScan rightScan;
    const SDataScan scan = CPlotRange::ScanData(
        groups, zoom.m_bX && kind == EKind::Curve ? &zoom : nullptr, rightScan);
    double xmin = scan.dXMin, xmax = scan.dXMax, ymin = scan.dYMin, ymax = scan.dYMax;
    // Some |value| within 0.001 of zero switches its axis to the sum of the magnitudes.
    bool fx = scan.bNearZeroX, fy = scan.bNearZeroY;
    s.bEmpty = scan.nFinite == 0;
    if (s.bEmpty) {
        xmin = ymin = 0;
        xmax = ymax = 1;
        fx = fy = false;
    }
    s.dXr = CPlotRange::AxisRange(xmin, xmax, fx);
    s.dYr = CPlotRange::AxisRange(ymin, ymax, fy);
    s.dHomeXMin = xmin;
    s.dHomeXr = s.dXr;
    s.dXMin = xmin;
    s.dXMax = xmax;
    s.dYMin = ymin;
    s.dYMax = ymax;

    s.bZoomed = kind == EKind::Curve && !s.bEmpty && zoom.IsZoomed();
    if (s.bZoomed) {
        if (zoom.m_bX) {
            s.dXMin = zoom.m_dXLo;
            s.dXMax = zoom.m_dXHi;
            s.dXr = zoom.m_dXHi - zoom.m_dXLo;
            double lo, hi;
            if (CPlotRange::VisibleExtremes(groups, false, s.dXMin, s.dXMax, lo, hi)) {
                s.dYr = CPlotRange::AxisRange(lo, hi, false);
                s.dYMin = lo;
                s.dYMax = hi;
            }
        } else {
            // Unzoomed x, y by hand: the tight range of all the data.
            double lo = scan.dYMin, hi = scan.dYMax;
            s.dYr = CPlotRange::AxisRange(lo, hi, false);
            s.dYMin = lo;
            s.dYMax = hi;
        }
    }
    s.dHomeYMin = s.dYMin;
    s.dHomeYr = s.dYr;
    if (s.bZoomed && zoom.m_bY) {
        s.dYMin = zoom.m_dYLo;
        s.dYMax = zoom.m_dYHi;
        s.dYr = zoom.m_dYHi - zoom.m_dYLo;
    }

    // The right-hand axis: the tight range of its curves (inside the x range shown).
    s.bY2 = kind == EKind::Curve && rightScan.nFinite > 0 && !s.bEmpty;
    if (s.bY2) {
        double lo = rightScan.dYMin, hi = rightScan.dYMax;
        if (s.bZoomed && zoom.m_bX)
            CPlotRange::VisibleExtremes(groups, true, s.dXMin, s.dXMax, lo, hi);
        s.dY2r = CPlotRange::AxisRange(lo, hi, false);
        s.dY2Min = lo;
    }

    // The margin is measured in the plot font the scale numbers are written in, plus their
    // 4-pixel gap to the axis, so the numbers are never cut off at the left edge whatever
    // font the target starts with.
    const QFontMetrics fm(m_font, dc.device());
    s.strXLabel = m_strXLabel;
    s.strYLabel = m_strYLabel;
    s.bRound = kind == EKind::Curve && !s.bEmpty && (s.bZoomed || m_bRoundScale);
    if (s.bRound) {
        // y first: its numbers set the left margin, which sets the width x has.
        const auto height = [&fm](const QString&) { return fm.height(); };
        const auto width = [&fm](const QString& text) { return TextWidth(fm, text); };
        s.yRound = RoundAxis(s.dYMin, s.dYMin + s.dYr, s.nH - 30, false, height);
        int widest = 0;
        for (const QString& text : s.yRound.vecTexts)
            widest = std::max(widest, TextWidth(fm, text));
        s.nL = widest + 4;
        const bool bTime = PlotScale::IsSeconds(m_strXLabel);
        const int guess = s.nW - s.nL - std::max(20, TextWidth(fm, m_strXLabel) + 2);
        s.xRound = RoundAxis(s.dXMin, s.dXMin + s.dXr, guess, bTime, width);
        if (bTime)
            s.strXLabel = PlotScale::TimeLabel(m_strXLabel, PlotScale::TimeUnit(s.xRound.dStep));
        const int lastHalf =
            s.xRound.vecTexts.empty() ? 0 : (TextWidth(fm, s.xRound.vecTexts.back()) + 1) / 2;
        const int right =
            std::max({20, TextWidth(fm, s.strXLabel) + 2, lastHalf + 2, RightAxisWidth(s, fm)});
        s.nPW = s.nW - s.nL - right;
        s.nPH = s.nH - 30;
        s.nX0 = Trunc(s.nL - xmin * s.nPW / s.dXr);
        s.nY0 = Trunc(s.nH - 15 + ymin * s.nPH / s.dYr);
        return s;
    }
    // Unzoomed (a zoom always has round scales): the ten divisions numbered "%.3f".
    s.nL = std::max(TextWidth(fm, QString::asprintf("%.3f", ymax)),
                    TextWidth(fm, QString::asprintf("%.3f", ymin))) +
           4;
    // The last x number is centred on the arrow, where the x label starts: both stay inside
    // the drawing area.
    const int lastHalf = (TextWidth(fm, s.XNumber(s.nXDivisions)) + 1) / 2;
    const int right =
        std::max({20, TextWidth(fm, m_strXLabel) + 2, lastHalf + 2, RightAxisWidth(s, fm)});
    s.nPW = s.nW - s.nL - right;
    s.nPH = s.nH - 30;
    s.nX0 = Trunc(s.nL - xmin * s.nPW / s.dXr);
    s.nY0 = Trunc(s.nH - 15 + ymin * s.nPH / s.dYr);

    // Numbers that would touch their neighbours are thinned.
    int widestX = 0;
    for (int i = 0; i <= s.nXDivisions; i += std::max(1, s.nXDivisions / 50))
        widestX = std::max(widestX, TextWidth(fm, s.XNumber(i)));
    widestX = std::max(widestX, lastHalf * 2);
    s.nXStep = NumberStep(double(s.nPW) / s.nXDivisions, widestX + 6.0, s.nXDivisions);
    s.nYStep = NumberStep(s.nPH / 10.0, fm.height(), 10);
    return s;
}

CPlotPrint::SScale CPlotPrint::ComputeSpectrumScale(QPainter& dc, const QRect& rect,
                                                    std::vector<SGroup>& groups,
                                                    const CPlotZoom& zoom) const {
    SScale s;
    s.nW = rect.width();
    s.nH = rect.height();
    s.bSpectrum = true;
    s.bRound = true;
    SDataScan rightScan;
    const SDataScan scan = CPlotRange::ScanData(groups, nullptr, rightScan);
    s.bEmpty = scan.nFinite == 0;
    const double hLo = s.bEmpty ? 0 : scan.dXMin, hHi = s.bEmpty ? 1 : scan.dXMax;

    // Magnitudes from 0, or in dB from a floor below the largest.
    s.strXLabel = m_strXLabel;
    s.strYLabel = m_strYLabel;
    double smallest = std::numeric_limits<double>::infinity();
    for (const SGroup& group : groups)
        for (const double* y : group.ys)
            for (std::size_t i = 0; i < group.nCount; ++i)
                if (y[i] > 0 && IsFinite(y[i]) && IsFinite(group.pX[i]))
                    smallest = std::min(smallest, y[i]);
    if (m_bSpectrumDb && !s.bEmpty && scan.dYMax > 0 && IsFinite(smallest)) {
        s.dDbRef = scan.dYMax;
        // A whole 10 dB strictly below the smallest line, so that it still shows a stem.
        const double floor = std::floor(Decibels(smallest, s.dDbRef) / 10 - 1e-9) * 10;
        s.dYMin = std::clamp(floor, -120.0, -10.0);
        s.dYr = -s.dYMin;
        s.strYLabel = DbLabel(m_strYLabel);
    } else {
        double lo = s.bEmpty ? 0 : std::min(scan.dYMin, 0.0), hi = s.bEmpty ? 1 : scan.dYMax;
        // Zoomed, the magnitudes follow the lines shown.
        double shownLo, shownHi;
        if (zoom.m_bX && !s.bEmpty &&
            // Stems, not lines: only the lines shown count.
            CPlotRange::VisibleExtremes(groups, false, zoom.m_dXLo, zoom.m_dXHi, shownLo, shownHi,
                                        false)) {
            lo = std::min(shownLo, 0.0);
            hi = shownHi;
        }
        s.dYr = CPlotRange::AxisRange(lo, hi, false);
        s.dYMin = lo;
    }
    s.dYMax = s.dYMin + s.dYr;
    s.dHomeYMin = s.dYMin;
    s.dHomeYr = s.dYr;

    const QFontMetrics fm(m_font, dc.device());
    const auto height = [&fm](const QString&) { return fm.height(); };
    const auto width = [&fm](const QString& text) { return TextWidth(fm, text); };
    s.yRound = RoundAxis(s.dYMin, s.dYMax, s.nH - 30, false, height);
    int widest = 0;
    for (const QString& text : s.yRound.vecTexts)
        widest = std::max(widest, TextWidth(fm, text));
    s.nL = widest + 4;
    const int lastHalf = (TextWidth(fm, PlotScale::Number(hHi, 1, 0)) + 1) / 2;
    s.nPW = s.nW - s.nL - std::max({20, TextWidth(fm, s.strXLabel) + 2, lastHalf + 2});
    s.nPH = s.nH - 30;

    // Half a harmonic, and at least 3 pixels, between the outer lines and the axes.
    const double span = hHi - hLo;
    double margin = 0.5;
    if (s.nPW > 6 && margin * s.nPW / (span + 2 * margin) < 3)
        margin = 3 * span / (s.nPW - 6);
    s.dHomeXMin = hLo - margin;
    s.dHomeXr = span + 2 * margin;
    s.dXMin = s.dHomeXMin;
    s.dXr = s.dHomeXr;
    if (zoom.m_bX && !s.bEmpty) {
        s.dXMin = zoom.m_dXLo;
        s.dXr = zoom.m_dXHi - zoom.m_dXLo;
    }
    s.dXMax = s.dXMin + s.dXr;
    s.xRound = HarmonicAxis(s.dXMin, s.dXMax, s.nPW, width);
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

    TextAt(dc, L + PW, H - 30, s.strXLabel);
    TextAt(dc, L, 0, s.strYLabel);
    DrawRightAxis(dc, s);
    if (s.bRound) {
        DrawRoundScales(dc, s);
        return;
    }
    if (m_bGrid && !s.bEmpty && kind == EKind::Curve) {
        dc.setPen(QPen(kGridColour, 1));
        for (int i = 1; i < 10; ++i) {
            const int yi = Trunc(H - 15 - i * PH / 10.0);
            const int xi = Trunc(L + static_cast<double>(i) * PW / 10);
            dc.drawLine(L + 1, yi, L + PW, yi);
            dc.drawLine(xi, 15, xi, H - 16);
        }
        dc.setPen(m_penAxis);
    }

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
        const int z = s.bZoomed ? s.Mapping().Py(0) : Trunc(15 + s.dYMax * PH / s.dYr);
        if (!s.bZoomed || (z >= 15 && z <= H - 15)) {
            dc.setPen(m_penGrid);
            dc.drawLine(L, z, L + PW, z);
            dc.setPen(m_penAxis);
        }
    }

    // Numbers at every step-th division and always at both ends; the first starts right of
    // the axis (centred, it would run into the lowest y number), and one that would come
    // within 4 pixels of a neighbour gives way, the last never (in a plot too narrow for two
    // numbers only the last is written).
    auto box = [&](int i) {
        const QString text = s.XNumber(i);
        const int xi = Trunc(L + static_cast<double>(i) * PW / nx);
        const int width = TextWidth(fm, text);
        const int left = i == 0 ? L + 2 : Trunc(xi - width / 2.0);
        return std::make_pair(left, text);
    };
    const auto [lastLeft, lastText] = box(nx);
    int shownRight = std::numeric_limits<int>::min() / 2;
    for (int i = 0; i < nx; i += s.nXStep) {
        const auto [left, text] = box(i);
        const int right = left + TextWidth(fm, text);
        if ((i > 0 && left < shownRight + 4) || right + 4 > lastLeft)
            continue;
        TextAt(dc, left, H - 15, text);
        shownRight = right;
    }
    TextAt(dc, lastLeft, H - 15, lastText);
    for (int i = 0; i <= 10; ++i) {
        if (i % s.nYStep != 0)
            continue;
        const int yi = Trunc(H - 15 - i * PH / 10.0);
        const QString text = s.YNumber(i);
        TextAt(dc, L - TextWidth(fm, text) - 4, Trunc(yi - fm.height() / 2.0), text);
    }
}

void CPlotPrint::DrawRoundScales(QPainter& dc, const SScale& s) {
    const int H = s.nH, L = s.nL, PW = s.nPW;
    const QFontMetrics fm = dc.fontMetrics();
    const SMapping map = s.Mapping();
    std::vector<int> xs, ys;
    for (double tick : s.xRound.vecTicks)
        xs.push_back(map.Px(tick));
    for (double tick : s.yRound.vecTicks)
        ys.push_back(map.Py(tick));
    if (m_bGrid && !s.bSpectrum) {
        dc.setPen(QPen(kGridColour, 1));
        for (int x : xs)
            if (x > L && x < L + PW)
                dc.drawLine(x, 15, x, H - 16);
        for (int y : ys)
            if (y > 15 && y < H - 15)
                dc.drawLine(L + 1, y, L + PW, y);
        dc.setPen(m_penAxis);
    }
    for (int x : xs)
        dc.drawLine(x, H - 17, x, H - 13);
    for (int y : ys)
        dc.drawLine(L - 2, y, L + 2, y);
    // The zero line where zero is shown.
    const int z = map.Py(0);
    if (!s.bSpectrum && z > 15 && z < H - 15) {
        dc.setPen(m_penGrid);
        dc.drawLine(L, z, L + PW, z);
        dc.setPen(m_penAxis);
    }
    // x numbers centred on their ticks; one that would cross the left edge of the drawing or
    // come within 4 pixels of the one before is left out.
    int shownRight = std::numeric_limits<int>::min() / 2;
    for (std::size_t i = 0; i < xs.size(); ++i) {
        const QString& text = s.xRound.vecTexts[i];
        const int width = TextWidth(fm, text);
        const int left = Trunc(xs[i] - width / 2.0);
        if (left < 0 || left < shownRight + 4 || left + width > s.nW)
            continue;
        TextAt(dc, left, H - 15, text);
        shownRight = left + width;
    }
    for (std::size_t i = 0; i < ys.size(); ++i) {
        const QString& text = s.yRound.vecTexts[i];
        TextAt(dc, L - TextWidth(fm, text) - 4, Trunc(ys[i] - fm.height() / 2.0), text);
    }
}

void CPlotPrint::DrawRightAxis(QPainter& dc, const SScale& s) {
    if (!s.bY2)
        return;
    const int H = s.nH, R = s.nL + s.nPW;
    const QFontMetrics fm = dc.fontMetrics();
    dc.drawLine(R, H - 15, R, 15);
    dc.drawLine(R, 15, R - 2, 19);
    dc.drawLine(R, 15, R + 2, 19);
    // Its label over its top, inside the drawing.
    const int labelWidth = TextWidth(fm, m_strY2Label);
    TextAt(dc, std::min(R - labelWidth / 2, s.nW - labelWidth - 2), 0, m_strY2Label);
    const SMapping map = s.RightMapping();
    for (std::size_t i = 0; i < s.y2Round.vecTicks.size(); ++i) {
        const int y = map.Py(s.y2Round.vecTicks[i]);
        dc.drawLine(R - 2, y, R + 2, y);
        // The lowest numbers would meet the x label written right of the arrow.
        const int top = Trunc(y - fm.height() / 2.0);
        if (top + fm.height() > H - 30)
            continue;
        TextAt(dc, R + 6, top, s.y2Round.vecTexts[i]);
    }
}

void CPlotPrint::StoreAxes(const SScale& s, EKind kind) {
    m_axes.m_bDrawn = !s.bEmpty;
    m_axes.m_bCurve = kind == EKind::Curve;
    m_axes.m_nLeft = s.nL;
    m_axes.m_nWidth = s.nPW;
    m_axes.m_nTop = 15;
    m_axes.m_nBottom = s.nH - 15;
    m_axes.m_nHeight = s.nPH;
    m_axes.m_dXMin = s.dXMin;
    m_axes.m_dXr = s.dXr;
    m_axes.m_dYMin = s.dYMin;
    m_axes.m_dYr = s.dYr;
    m_axes.m_dHomeXMin = s.dHomeXMin;
    m_axes.m_dHomeXr = s.dHomeXr;
    m_axes.m_dHomeYMin = s.dHomeYMin;
    m_axes.m_dHomeYr = s.dHomeYr;
}

CPlotPrint::SScale CPlotPrint::BeginPlot(QPainter& dc, const QRect& rect,
                                         std::vector<SGroup>& groups, EKind kind,
                                         const CPlotZoom& zoom) {
    // Saved here, restored by the caller once its points are drawn.
    dc.save();
    dc.translate(rect.topLeft());
    dc.setRenderHint(QPainter::Antialiasing, false);
    const SScale s = kind == EKind::Spectrum ? ComputeSpectrumScale(dc, rect, groups, zoom)
                                             : ComputeScale(dc, rect, groups, kind, zoom);
    m_nLeft = s.nL;
    m_nRight = s.nL + s.nPW;
    StoreAxes(s, kind);
    dc.setBackgroundMode(Qt::TransparentMode);
    DrawFrame(dc, s, kind);
    return s;
}

void CPlotPrint::DrawCurve(QPainter& dc, const QRect& rect, const double* x, const double* y,
                           double n) {
    DrawCurves(dc, rect, x, {SCurve{y, m_strYLabel}}, n, CPlotZoom());
}

std::vector<CPlotPrint::SGroup> CPlotPrint::Groups(const double* x,
                                                   const std::vector<SCurve>& curves, double n,
                                                   std::vector<std::size_t>* pGroupOf) {
    const std::size_t count = curves.empty() ? 0 : CPlotRange::PointCount(n);
    std::vector<SGroup> groups;
    if (pGroupOf)
        pGroupOf->clear();
    for (const SCurve& curve : curves) {
        const double* px = curve.m_pX ? curve.m_pX : x;
        const std::size_t cnt = curve.m_pX ? curve.m_nCount : count;
        auto it = std::find_if(groups.begin(), groups.end(), [&](const SGroup& g) {
            return g.pX == px && g.nCount == cnt && g.bRight == (curve.m_nAxis == 1);
        });
        if (it == groups.end()) {
            groups.push_back(SGroup{px, cnt, {}, false, curve.m_nAxis == 1});
            it = groups.end() - 1;
        }
        it->ys.push_back(curve.m_pY);
        if (pGroupOf)
            pGroupOf->push_back(std::size_t(it - groups.begin()));
    }
    return groups;
}

void CPlotPrint::DrawCurves(QPainter& dc, const QRect& rect, const double* x,
                            const std::vector<SCurve>& curves, double n, const CPlotZoom& zoom) {
    m_rcLegend = QRect();
    std::vector<std::size_t> groupOf;
    std::vector<SGroup> groups = Groups(x, curves, n, &groupOf);
    const SScale s = BeginPlot(dc, rect, groups, EKind::Curve, zoom);

    if (!s.bEmpty) {
        const SMapping left = s.Mapping();
        const SMapping right = s.RightMapping();
        // Zoomed, the lines reach the edges of the plot area, where the rounding of their far
        // ends may put their last pixels a row outside: a row of grace keeps them.
        if (s.bZoomed)
            dc.setClipRect(QRect(s.nL, 14, s.nPW + 1, s.nPH + 3), Qt::IntersectClip);
        else if (s.bY2)
            dc.setClipRect(QRect(s.nL, 15, s.nPW + 1, s.nPH + 1), Qt::IntersectClip);
        std::size_t runsOf = groups.size(); // the group m_aRuns belongs to
        for (std::size_t c = 0; c < curves.size(); ++c) {
            const SGroup& group = groups[groupOf[c]];
            const SMapping& map = group.bRight ? right : left;
            const double* gx = group.pX;
            const double* y = curves[c].m_pY;
            if (group.bAscending) {
                if (runsOf != groupOf[c]) {
                    // Only the points shown and one beyond each end.
                    auto [from, to] = s.bZoomed ? CCurveReduction::ShownPoints(
                                                      gx, group.nCount, s.dXMin, s.dXMin + s.dXr)
                                                : std::make_pair(std::size_t(0), group.nCount);
                    CCurveReduction::FindRuns(map, gx, from, to, m_aRuns);
                    runsOf = groupOf[c];
                }
                CCurveReduction::ReduceRuns(map, gx, y, m_aRuns, m_aReduced);
            } else {
                CCurveReduction::ReducePoints(map, gx, y, group.nCount, m_aReduced);
            }
            dc.setPen(CurvePen(int(c)));
            dc.drawLines(m_aReduced.data(), static_cast<int>(m_aReduced.size()));
        }
        DrawMarkers(dc, s);
        if (curves.size() > 1)
            PlaceLegend(dc, s, curves, groups, groupOf);
    }
    dc.restore();
    if (!s.bEmpty && curves.size() > 1)
        DrawLegend(dc, rect, curves);
    dc.setBackgroundMode(Qt::TransparentMode);
}

QSize CPlotPrint::LegendSize(const QFontMetrics& fm, const std::vector<SCurve>& curves) const {
    const bool bTwoAxes = std::any_of(curves.begin(), curves.end(),
                                      [](const SCurve& curve) { return curve.m_nAxis == 1; });
    int widest = 0;
    for (const SCurve& curve : curves)
        widest = std::max(widest, TextWidth(fm, Legend(curve, bTwoAxes)));
    return {5 + 18 + 5 + widest + 5, 5 + fm.height() * int(curves.size()) + 5};
}

void CPlotPrint::PlaceLegend(QPainter& dc, const SScale& s, const std::vector<SCurve>& curves,
                             const std::vector<SGroup>& groups,
                             const std::vector<std::size_t>& groupOf) {
    const QSize size = LegendSize(QFontMetrics(m_font, dc.device()), curves);
    if (m_bLegendShare) {
        const double sx = std::clamp(m_ptLegendShare.x(), 0.0, 1.0);
        const double sy = std::clamp(m_ptLegendShare.y(), 0.0, 1.0);
        // Its frame stays clear of the axes and the arrow.
        m_ptLegend = QPoint(s.nL + 1 + Trunc(sx * std::max(0, s.nPW - 2 - size.width())),
                            16 + Trunc(sy * std::max(0, s.nPH - 2 - size.height())));
        m_rcLegend = QRect(m_ptLegend, size);
        return;
    }
    // The corners of the plot area, top right first: the one whose box hides the fewest
    // points of the curves and no label of a mark.
    const int l = s.nL + 8, r = s.nL + s.nPW - 8 - size.width();
    const int t = 15 + 8, b = s.nH - 15 - 8 - size.height();
    const QPoint corners[] = {{r, t}, {l, t}, {r, b}, {l, b}};
    const SMapping left = s.Mapping(), right = s.RightMapping();
    std::size_t best = std::numeric_limits<std::size_t>::max();
    m_ptLegend = corners[0];
    for (const QPoint& corner : corners) {
        const QRect box(corner, size);
        std::size_t hidden = 0;
        for (const QRect& label : m_aMarkerLabels)
            hidden += label.intersects(box) ? 1000000 : 0;
        for (std::size_t c = 0; c < curves.size(); ++c) {
            const SGroup& group = groups[groupOf[c]];
            const SMapping& map = group.bRight ? right : left;
            const double* y = curves[c].m_pY;
            // Every point of a short curve, a sample of a long one.
            // Every segment of a short curve, of a long one a sample: one whose bounding box
            // meets the legend's counts.
            const std::size_t step = std::max<std::size_t>(1, group.nCount / 4000);
            for (std::size_t i = 0; i + 1 < group.nCount; i += step) {
                const std::size_t j = std::min(i + step, group.nCount - 1);
                const QRect span = QRect(QPoint(map.Px(group.pX[i]), map.Py(y[i])),
                                         QPoint(map.Px(group.pX[j]), map.Py(y[j])))
                                       .normalized();
                hidden += span.intersects(box) || box.contains(span.topLeft()) ? 1 : 0;
            }
        }
        if (hidden < best) {
            best = hidden;
            m_ptLegend = corner;
        }
    }
    m_rcLegend = QRect(m_ptLegend, size);
}

void CPlotPrint::DrawMarkers(QPainter& dc, const SScale& s) {
    if (m_aMarkers.empty())
        return;
    const SMapping map = s.Mapping();
    QFont font = m_font;
    font.setPixelSize(11);
    font.setItalic(false);
    dc.setFont(font);
    const QFontMetrics fm = dc.fontMetrics();
    m_aMarkerLabels.clear();
    for (const SMarker& marker : m_aMarkers) {
        const int px = map.Px(marker.m_dX);
        if (px < s.nL || px > s.nL + s.nPW)
            continue;
        dc.setPen(QPen(QColor(60, 60, 60), 1, Qt::DashLine));
        dc.drawLine(px, 15, px, s.nH - 15);
        // Beside the line's top, on the side with room; a label that would touch one already
        // written goes to the other side or a row lower.
        const int width = TextWidth(fm, marker.m_strText);
        const bool bRightFits = px + 3 + width <= s.nL + s.nPW;
        QRect box;
        for (int row = 0; row < 4 && box.isNull(); ++row) {
            for (bool bRight : {bRightFits, !bRightFits}) {
                const int left = bRight ? px + 3 : px - 3 - width;
                const QRect candidate(left, 17 + row * (fm.height() + 1), width, fm.height());
                if (left < s.nL || left + width > s.nL + s.nPW + 20)
                    continue;
                const bool bFree = std::none_of(
                    m_aMarkerLabels.begin(), m_aMarkerLabels.end(), [&](const QRect& taken) {
                        return taken.adjusted(-3, 0, 3, 0).intersects(candidate);
                    });
                if (bFree) {
                    box = candidate;
                    break;
                }
            }
        }
        if (box.isNull())
            box = QRect(bRightFits ? px + 3 : px - 3 - width, 17, width, fm.height());
        m_aMarkerLabels.push_back(box);
        dc.setPen(QColor(60, 60, 60));
        TextAt(dc, box.left(), box.top(), marker.m_strText);
    }
    dc.setFont(m_font);
}

void CPlotPrint::DrawLegend(QPainter& dc, const QRect& rect, const std::vector<SCurve>& curves) {
    if (curves.size() < 2 || !m_axes.IsUsable())
        return;
    dc.save();
    dc.translate(rect.topLeft());
    dc.setRenderHint(QPainter::Antialiasing, false);
    dc.setFont(m_font);
    const QFontMetrics fm = dc.fontMetrics();
    const bool bTwoAxes = std::any_of(curves.begin(), curves.end(),
                                      [](const SCurve& curve) { return curve.m_nAxis == 1; });
    const int line = fm.height(), swatch = 18, pad = 5;
    const QSize size = LegendSize(fm, curves);
    const int w = size.width(), h = size.height();
    const QRect box(m_ptLegend, QSize(w, h));
    dc.setPen(QPen(QColor(160, 160, 160), 1));
    dc.setBrush(m_brush);
    dc.drawRect(box);
    for (std::size_t c = 0; c < curves.size(); ++c) {
        const int y = box.top() + pad + line * int(c);
        dc.setPen(QPen(CurvePen(int(c)).color(), 2));
        dc.drawLine(box.left() + pad, y + line / 2, box.left() + pad + swatch, y + line / 2);
        dc.setPen(m_penAxis);
        TextAt(dc, box.left() + pad + swatch + pad, y, Legend(curves[c], bTwoAxes));
    }
    dc.restore();
}

void CPlotPrint::DrawSpectrum(QPainter& dc, const QRect& rect, const double* x, const double* y,
                              double n, const CPlotZoom& zoom) {
    m_rcLegend = QRect();
    const std::size_t count = CPlotRange::PointCount(n);
    std::vector<SGroup> groups = Groups(x, {SCurve{y, m_strYLabel}}, n, nullptr);
    const SScale s = BeginPlot(dc, rect, groups, EKind::Spectrum, zoom);

    if (!s.bEmpty) {
        const SMapping map = s.Mapping();
        const int H = s.nH;
        dc.setPen(m_penCurve);
        dc.setBrush(m_brush);
        for (std::size_t i = 0; i < count; ++i) {
            if (!IsFinite(x[i]) || !IsFinite(y[i]))
                continue;
            const double v = s.dDbRef > 0 ? Decibels(y[i], s.dDbRef) : y[i];
            const int px = map.Px(x[i]), py = map.Py(v);
            // Lines outside a zoom, and below the floor in dB, are not drawn.
            if (px < s.nL || px > s.nL + s.nPW || !(v >= s.dYMin))
                continue;
            dc.drawLine(px, H - 15, px, py);
            dc.drawEllipse(QRect(px - 4, py - 4, 8, 8));
        }
    }

    dc.setPen(m_penAxis);
    QString text = std::isnan(m_dTHD)
                       ? QStringLiteral("THD = undefined")
                       : QString::asprintf("THD = %.2f (%.1f %%)", m_dTHD, 100 * m_dTHD);
    if (s.dDbRef > 0) {
        const QString unit = TrailingUnit(m_strYLabel);
        text += QStringLiteral("   0 dB = %1%2")
                    .arg(QString::number(s.dDbRef, 'g', 4), unit.isEmpty() ? "" : " " + unit);
    }
    TextAt(dc, s.nW - TextWidth(dc.fontMetrics(), text) - 2, 0, text);
    dc.restore();
    dc.setBackgroundMode(Qt::TransparentMode);
}

std::pair<int, int> CPlotPrint::DrawSelection(QPainter& dc, const QRect& rect, int x1, int y1,
                                              int x2, int y2, bool bShade) {
    dc.save();
    dc.translate(rect.topLeft());
    dc.setRenderHint(QPainter::Antialiasing, false);
    if (bShade && m_axes.IsUsable()) {
        const int lo = std::max(std::min(x1, x2), m_nLeft);
        const int hi = std::min(std::max(x1, x2), m_nRight);
        if (hi > lo) {
            dc.setCompositionMode(QPainter::CompositionMode_Multiply);
            dc.fillRect(QRect(lo, m_axes.m_nTop, hi - lo, m_axes.m_nHeight), QColor(228, 232, 255));
            dc.setCompositionMode(QPainter::CompositionMode_SourceOver);
        }
    }
    dc.setPen(m_penSelect);
    dc.drawLine(x1, y1, x1, y2);
    dc.drawLine(x2, y2, x2, y1);
    dc.restore();
    return {m_nLeft, m_nRight};
}

void CPlotPrint::DrawPicture(QPainter& dc, const QRect& rect, int kind) {
    CPictures::DrawFitted(dc, rect, kind);
}
