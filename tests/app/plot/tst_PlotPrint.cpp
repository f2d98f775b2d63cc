// The plot renderer checked on the pixels of images: scales, zero line, ticks, degenerate
// data, selection markers, pictures, and the per-column reduction of long curves.
#include "pictures/Pictures.h"
#include "plot/CurveReduction.h"
#include "plot/PlotPrint.h"
#include "plot/PlotZoom.h"

#include <QImage>
#include <QPainter>
#include <QtTest>

#include <cmath>
#include <limits>
#include <random>
#include <vector>

namespace {

const QColor kWhite(255, 255, 255);
const QColor kRed(255, 0, 0);
const QColor kGrid(200, 200, 200);
const QColor kSelect(100, 100, 255);
const QColor kMagenta(255, 0, 255);

QImage Blank(int w, int h, const QColor& colour = kWhite) {
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(colour);
    return image;
}

bool Is(const QImage& image, int x, int y, const QColor& colour) {
    return image.pixel(x, y) == colour.rgb();
}

/// Rows (or columns) holding at least one pixel of the colour: first and last, -1 if none.
struct SSpan {
    int nFirst = -1;
    int nLast = -1;
};

SSpan RowsWith(const QImage& image, const QColor& colour, int column = -1) {
    SSpan span;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = column < 0 ? 0 : column; x < (column < 0 ? image.width() : column + 1); ++x) {
            if (Is(image, x, y, colour)) {
                if (span.nFirst < 0)
                    span.nFirst = y;
                span.nLast = y;
                break;
            }
        }
    }
    return span;
}

SSpan ColumnsWith(const QImage& image, const QColor& colour) {
    SSpan span;
    for (int x = 0; x < image.width(); ++x) {
        for (int y = 0; y < image.height(); ++y) {
            if (Is(image, x, y, colour)) {
                if (span.nFirst < 0)
                    span.nFirst = x;
                span.nLast = x;
                break;
            }
        }
    }
    return span;
}

int CountInRow(const QImage& image, int y, const QColor& colour) {
    int count = 0;
    for (int x = 0; x < image.width(); ++x)
        count += Is(image, x, y, colour) ? 1 : 0;
    return count;
}

QImage DrawCurveImage(CPlotPrint& plot, int w, int h, const std::vector<double>& x,
                      const std::vector<double>& y) {
    QImage image = Blank(w, h);
    QPainter dc(&image);
    plot.DrawCurve(dc, image.rect(), x.data(), y.data(), static_cast<double>(x.size()));
    return image;
}

/// The reference drawing of a curve: every segment between consecutive points, one by one.
void DrawEverySegment(QImage& image, const std::vector<QPoint>& points, const QPen& pen) {
    QPainter dc(&image);
    dc.setPen(pen);
    for (std::size_t i = 1; i < points.size(); ++i)
        dc.drawLine(points[i - 1], points[i]);
}

QImage DrawLinesImage(int w, int h, const std::vector<QLine>& lines, const QPen& pen) {
    QImage image = Blank(w, h);
    QPainter dc(&image);
    dc.setPen(pen);
    dc.drawLines(lines.data(), static_cast<int>(lines.size()));
    return image;
}

/// Polylines of pixel points that stress the reduction.
std::vector<QPoint> MakePolyline(const QString& kind, int w, int h) {
    std::mt19937 random(20240611);
    std::uniform_int_distribution<int> anyX(0, w - 1), anyY(0, h - 1), step(-3, 3);
    std::vector<QPoint> points;
    if (kind == "dense sine") {
        for (int i = 0; i < 200000; ++i) {
            const double t = i / 200000.0;
            const double v = std::sin(40 * t) * 0.4 + 0.1 * std::sin(3000 * t);
            points.emplace_back(static_cast<int>(t * (w - 1)), static_cast<int>((0.5 - v) * h));
        }
    } else if (kind == "random walk") {
        QPoint p(0, h / 2);
        for (int i = 0; i < 50000; ++i) {
            p += QPoint(random() % 7 == 0 ? 1 : 0, step(random));
            points.push_back(p);
        }
    } else if (kind == "random points") {
        for (int i = 0; i < 3000; ++i)
            points.emplace_back(anyX(random), anyY(random));
    } else if (kind == "one column zigzag") {
        for (int i = 0; i < 1000; ++i)
            points.emplace_back(w / 2, i % 2 ? anyY(random) : h / 3);
    } else if (kind == "two columns alternating") {
        for (int i = 0; i < 2000; ++i)
            points.emplace_back(100 + i % 2, anyY(random));
    } else if (kind == "repeated points") {
        for (int i = 0; i < 2000; ++i) {
            const QPoint p(anyX(random) / 8 + i / 10, anyY(random));
            for (int k = random() % 4; k >= 0; --k)
                points.push_back(p);
        }
    } else if (kind == "runs with far jumps") {
        for (int run = 0; run < 300; ++run) {
            const int x = anyX(random);
            for (int k = 0; k < 20; ++k)
                points.emplace_back(x, anyY(random));
        }
    } else if (kind == "beyond the image") {
        std::uniform_int_distribution<int> wideX(-500, w + 500), wideY(-500, h + 500);
        for (int i = 0; i < 3000; ++i) {
            const QPoint p(wideX(random), wideY(random));
            points.push_back(p);
            points.emplace_back(p.x(), wideY(random));
        }
    } else if (kind == "all in one pixel") {
        points.assign(100, QPoint(w / 3, h / 3));
    } else if (kind == "single point") {
        points.emplace_back(w / 3, h / 3);
    }
    return points;
}

} // namespace

class TestPlotPrint : public QObject {
    Q_OBJECT

private slots:
    void marksLabelsNeverOverlap_data();
    void marksLabelsNeverOverlap();
    void aSecondUnitIsScaledByTheRightAxis();
    void reducedSegmentsCoverThePixelsOfEverySegment_data();
    void reducedSegmentsCoverThePixelsOfEverySegment();
    void drawCurveGivesThePixelsOfEverySegment_data();
    void drawCurveGivesThePixelsOfEverySegment();
    void yRangeIsTheSumOfMagnitudesWhenAValueIsNearZero_data();
    void yRangeIsTheSumOfMagnitudesWhenAValueIsNearZero();
    void xRangeIsTheSumOfMagnitudesWhenAValueIsNearZero();
    void zeroOfBothAxesLiesAtX0AndY0();
    void zeroLineIsDrawnOutsideThePlotAreaWhenZeroIsNotInTheData_data();
    void zeroLineIsDrawnOutsideThePlotAreaWhenZeroIsNotInTheData();
    void leftMarginLeavesRoomForTheScaleNumbers();
    void spectrumStemsStandApartAndClearOfTheAxes_data();
    void spectrumStemsStandApartAndClearOfTheAxes();
    void spectrumInDbSpacesEqualRatiosEqually();
    void spectrumZoomShowsItsHarmonicsScaledToThem();
    void spectrumShowsTheThdOrUndefined_data();
    void spectrumShowsTheThdOrUndefined();
    void rangeOfZeroIsWidenedAroundTheValue_data();
    void rangeOfZeroIsWidenedAroundTheValue();
    void noPointDrawsOnlyTheAxes();
    void areaNarrowerThanTheMarginsKeepsTheFormulas();
    void drawingFollowsTheTargetRectangleAndRestoresThePainter();
    void selectionMarkersSpanBothPointsAndReturnThePlotArea();
    void picturesFillTheirSizeAtTenTenClippedToTheArea_data();
    void picturesFillTheirSizeAtTenTenClippedToTheArea();
    void overlaidCurvesShareOneScaleInTheirColoursWithALegend();
    void zoomShowsItsRangeInsideThePlotArea();
    void zoomedCurvesReachBothEdgesAtAnyDepth_data();
    void zoomedCurvesReachBothEdgesAtAnyDepth();
    void labelsAndNumbersStayInsideAndApart_data();
    void labelsAndNumbersStayInsideAndApart();
    void spectrumMagnitudesStartAtZero();
};

void TestPlotPrint::reducedSegmentsCoverThePixelsOfEverySegment_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<bool>("cosmetic");
    for (const char* kind : {"dense sine", "random walk", "random points", "one column zigzag",
                             "two columns alternating", "repeated points", "runs with far jumps",
                             "beyond the image", "all in one pixel", "single point"}) {
        QTest::addRow("%s, width 1", kind) << QString(kind) << false;
        QTest::addRow("%s, cosmetic", kind) << QString(kind) << true;
    }
}

void TestPlotPrint::reducedSegmentsCoverThePixelsOfEverySegment() {
    QFETCH(QString, kind);
    QFETCH(bool, cosmetic);
    const int w = 640, h = 400;
    const std::vector<QPoint> points = MakePolyline(kind, w, h);
    std::vector<QLine> reduced;
    CCurveReduction::ReduceSegments(points.data(), points.size(), reduced);
    QVERIFY(reduced.size() + 1 <= std::max<std::size_t>(points.size(), 1));

    const QPen pen(kRed, cosmetic ? 0 : 1);
    QImage naive = Blank(w, h);
    DrawEverySegment(naive, points, pen);
    const QImage fast = DrawLinesImage(w, h, reduced, pen);
    QCOMPARE(fast, naive);
    if (kind == "dense sine")
        QVERIFY(reduced.size() <= 2 * static_cast<std::size_t>(w));
}

void TestPlotPrint::drawCurveGivesThePixelsOfEverySegment_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<int>("pointCount");
    QTest::newRow("time curve of 300000 points") << "ascending" << 300000;
    QTest::newRow("time curve of 1000 points") << "ascending" << 1000;
    QTest::newRow("time curve of 300 points") << "ascending" << 300;
    QTest::newRow("repeated x") << "plateaus" << 50000;
    QTest::newRow("x descending") << "descending" << 50000;
    QTest::newRow("x in random order") << "random" << 20000;
    QTest::newRow("values not finite") << "holes" << 50000;
}

void TestPlotPrint::drawCurveGivesThePixelsOfEverySegment() {
    QFETCH(QString, kind);
    QFETCH(int, pointCount);
    // x from 0 to 1 and y from -1 to 1, both reached: xr = 1 (0 is in x), yr = 2.
    std::mt19937 random(7);
    std::uniform_real_distribution<double> noise(-0.2, 0.2), anyX(0, 1);
    std::vector<double> x(pointCount), y(pointCount);
    for (int i = 0; i < pointCount; ++i) {
        const double t = i / (pointCount - 1.0);
        x[i] = kind == "descending" ? 1 - t
               : kind == "random"   ? anyX(random)
               : kind == "plateaus" ? std::floor(t * 97) / 97
                                    : t;
        y[i] = std::clamp(0.8 * std::sin(25 * x[i]) + noise(random), -1.0, 1.0);
    }
    x[0] = kind == "descending" ? 1 : 0;
    x[pointCount - 1] = kind == "descending" ? 0 : 1;
    y[0] = -1;
    y[pointCount / 2] = 1;
    if (kind == "holes") {
        const double nan = std::numeric_limits<double>::quiet_NaN();
        const double inf = std::numeric_limits<double>::infinity();
        for (int i = 5; i < pointCount - 1; i += 997) {
            x[i] = i % 2 ? nan : x[i];
            y[i] = i % 2 ? y[i] : (i % 3 ? inf : -inf);
        }
    }

    const int W = 1000, H = 700, PH = H - 30;
    CPlotPrint plot;
    const QImage drawn = DrawCurveImage(plot, W, H, x, y);

    // The same frame without the curve, and every segment between the finite points drawn
    // on it one by one.
    const int L = plot.m_nLeft, PW = plot.m_nRight - plot.m_nLeft;
    plot.m_penCurve = QPen(Qt::NoPen);
    QImage expected = DrawCurveImage(plot, W, H, x, y);
    const int y0 = static_cast<int>(H - 15 - PH / 2.0); // hand derivation: ymin = -1, yr = 2
    std::vector<QPoint> points;
    for (int i = 0; i < pointCount; ++i) {
        if (std::isfinite(x[i]) && std::isfinite(y[i]))
            points.emplace_back(static_cast<int>(PW * x[i] / 1.0 + L),
                                static_cast<int>(y0 - PH * y[i] / 2.0));
    }
    DrawEverySegment(expected, points, QPen(kRed, 1));
    QCOMPARE(drawn, expected);
}

void TestPlotPrint::yRangeIsTheSumOfMagnitudesWhenAValueIsNearZero_data() {
    QTest::addColumn<double>("yFirst");
    QTest::addColumn<double>("yLast");
    QTest::addColumn<int>("topRow");
    QTest::addColumn<int>("bottomRow");
    // H = 1000, PH = 970; rows worked out by hand from y0 = trunc(985 + ymin * 970 / yr) and
    // py = trunc(y0 - 970 * y / yr).
    // yr = 1.0005: y0 = 985, py(1) = trunc(15.48) = 15 (max - min would give row 14).
    // py(0.0005) = trunc(985 - 0.48) = 984.
    QTest::newRow("0.0005 to 1") << 0.0005 << 1.0 << 15 << 984;
    // yr = 0.0025: y0 = 1179, py(0.002) = 403, py(0.0005) = 985: the top is not reached.
    QTest::newRow("0.0005 to 0.002") << 0.0005 << 0.002 << 403 << 985;
    // yr = 0.0025: y0 = trunc(985 - 776) = 209, py(-0.0005) = 403, py(-0.002) = 985.
    QTest::newRow("-0.002 to -0.0005") << -0.002 << -0.0005 << 403 << 985;
    // No value near zero: yr = 0.0015, the curve spans the plot height, 15 to 985.
    QTest::newRow("0.0015 to 0.003") << 0.0015 << 0.003 << 15 << 985;
}

void TestPlotPrint::yRangeIsTheSumOfMagnitudesWhenAValueIsNearZero() {
    QFETCH(double, yFirst);
    QFETCH(double, yLast);
    QFETCH(int, topRow);
    QFETCH(int, bottomRow);
    CPlotPrint plot;
    const QImage image = DrawCurveImage(plot, 600, 1000, {0, 1}, {yFirst, yLast});
    const SSpan rows = RowsWith(image, kRed);
    QCOMPARE(rows.nFirst, topRow);
    QCOMPARE(rows.nLast, bottomRow);
}

void TestPlotPrint::xRangeIsTheSumOfMagnitudesWhenAValueIsNearZero() {
    CPlotPrint plot;
    // A time axis from 0: xr = xmax, the curve spans the plot width.
    QImage image = DrawCurveImage(plot, 800, 400, {0, 0.05, 0.1}, {1, 2, 1});
    SSpan columns = ColumnsWith(image, kRed);
    QCOMPARE(columns.nFirst, plot.m_nLeft);
    // px = trunc(PW x / xr + x0): PW * 0.1 / 0.1 may round just below PW.
    const int width = plot.m_nRight - plot.m_nLeft;
    QCOMPARE(columns.nLast, static_cast<int>(width * 0.1 / 0.1 + plot.m_nLeft));
    QVERIFY(columns.nLast >= plot.m_nRight - 1);

    // x from 0.0005 to 0.002: xr = 0.0025, so the curve starts at the left end and stops at
    // 0.6 of the width (x0 = trunc(L - 0.2 PW), px = trunc(0.2 PW + x0), trunc(0.8 PW + x0)).
    image = DrawCurveImage(plot, 800, 400, {0.0005, 0.002}, {1, 2});
    const int L = plot.m_nLeft, PW = plot.m_nRight - plot.m_nLeft;
    const int x0 = static_cast<int>(L - 0.2 * PW);
    columns = ColumnsWith(image, kRed);
    QCOMPARE(columns.nFirst, static_cast<int>(0.2 * PW + x0));
    QCOMPARE(columns.nLast, static_cast<int>(0.8 * PW + x0));
    QVERIFY(std::abs(columns.nFirst - L) <= 1);
    QVERIFY(std::abs(columns.nLast - (L + 0.6 * PW)) <= 1);
}

void TestPlotPrint::zeroOfBothAxesLiesAtX0AndY0() {
    // A V with its vertex at the data point (0, 0); x from -1 to 3, y from -3 to 5.
    CPlotPrint plot;
    const QImage image = DrawCurveImage(plot, 800, 1000, {-1, 0, 3, 3}, {5, 0, 5, -3});
    const int L = plot.m_nLeft, PW = plot.m_nRight - plot.m_nLeft;
    const int x0 = static_cast<int>(L + PW / 4.0); // trunc(L - (-1) PW / 4)
    const int y0 = 621;                            // trunc(985 - 3 * 970 / 8)
    QCOMPARE(RowsWith(image, kRed, x0).nLast, y0);
    // The zero line passes through the vertex: z = trunc(15 + 5 * 970 / 8) = 621 as well.
    QVERIFY(CountInRow(image, y0, kGrid) > PW / 5);
}

void TestPlotPrint::zeroLineIsDrawnOutsideThePlotAreaWhenZeroIsNotInTheData_data() {
    QTest::addColumn<double>("yFirst");
    QTest::addColumn<double>("yLast");
    QTest::addColumn<int>("zeroRow");
    // H = 1000, PH = 970, z = trunc(15 + ymax * 970 / yr).
    QTest::newRow("all above 0.001: below the x axis") << 0.1 << 10.0 << 994;
    QTest::newRow("all below -0.001: above the plot area") << -10.0 << -0.1 << 5;
    QTest::newRow("both signs: inside") << -1.0 << 1.0 << 500;
}

void TestPlotPrint::zeroLineIsDrawnOutsideThePlotAreaWhenZeroIsNotInTheData() {
    QFETCH(double, yFirst);
    QFETCH(double, yLast);
    QFETCH(int, zeroRow);
    CPlotPrint plot;
    const QImage image = DrawCurveImage(plot, 700, 1000, {1, 2}, {yFirst, yLast});
    const int PW = plot.m_nRight - plot.m_nLeft;
    // A dotted line leaves a gap after every dot; text leaves few pixels of its grey.
    QVERIFY2(CountInRow(image, zeroRow, kGrid) > PW / 5, "no dotted line in the row");
    for (int y = 0; y < image.height(); ++y) {
        if (y != zeroRow)
            QVERIFY2(CountInRow(image, y, kGrid) < PW / 10, qPrintable(QString::number(y)));
    }
}

void TestPlotPrint::leftMarginLeavesRoomForTheScaleNumbers() {
    const std::vector<double> x = {0, 1}, y = {-123.456, 7};
    // Whatever font the target starts with, the margin is that of the plot font.
    for (int pixels : {6, 30}) {
        QImage image = Blank(800, 400);
        QPainter dc(&image);
        QFont font("DejaVu Sans");
        font.setPixelSize(pixels);
        dc.setFont(font);
        CPlotPrint plot;
        plot.DrawCurve(dc, image.rect(), x.data(), y.data(), 2);
        const QFontMetrics fm(plot.m_font, &image);
        const int widest =
            std::max(fm.horizontalAdvance("-123.456"), fm.horizontalAdvance("7.000"));
        QCOMPARE(plot.m_nLeft, widest + 4);
        // The right margin: 20, or room for the x label right of the arrow and for the half of
        // the last x number beyond it.
        const int right = std::max(
            {20, fm.horizontalAdvance("x") + 2, (fm.horizontalAdvance("1.000") + 1) / 2 + 2});
        QCOMPARE(plot.m_nRight, 800 - right);
        QCOMPARE(dc.font(), font);
        dc.end();
        // The lowest scale number starts inside the image: something is drawn in column 0..3.
        bool inked = false;
        for (int yy = 0; yy < image.height() && !inked; ++yy)
            for (int xx = 0; xx < plot.m_nLeft - 4 && !inked; ++xx)
                inked = image.pixelColor(xx, yy) != QColor(Qt::white);
        QVERIFY(inked);
    }
}

/// Columns holding a stem: red in the row just above the x axis, one per stem.
std::vector<int> StemColumns(const QImage& image) {
    std::vector<int> columns;
    for (int x = 0; x < image.width(); ++x)
        if (Is(image, x, image.height() - 16, kRed))
            columns.push_back(x);
    return columns;
}

void TestPlotPrint::spectrumStemsStandApartAndClearOfTheAxes_data() {
    QTest::addColumn<int>("lines");
    QTest::addColumn<int>("width");
    QTest::newRow("harmonics 0 to 20") << 21 << 820;
    QTest::newRow("harmonics 0 to 5") << 6 << 900;
    QTest::newRow("harmonics 0 and 1") << 2 << 900;
    QTest::newRow("harmonics 0 to 150, narrow") << 151 << 500;
}

void TestPlotPrint::spectrumStemsStandApartAndClearOfTheAxes() {
    QFETCH(int, lines);
    QFETCH(int, width);
    // No DC part and every other line above it: every stem reaches the row above the axis.
    std::vector<double> x(lines), y(lines);
    for (int h = 0; h < lines; ++h) {
        x[h] = h;
        y[h] = 5.0 + 5.0 / (h + 1);
    }
    const int H = 500;
    QImage image = Blank(width, H);
    QPainter dc(&image);
    CPlotPrint plot;
    plot.SetLabels("n", "Mag");
    plot.DrawSpectrum(dc, image.rect(), x.data(), y.data(), lines);
    dc.end();
    const int L = plot.m_nLeft, R = plot.m_nRight;

    // One stem per line, evenly spaced, none on the y axis or under the arrow and the "n".
    const std::vector<int> stems = StemColumns(image);
    QCOMPARE(int(stems.size()), lines);
    QVERIFY2(stems.front() >= L + 3, qPrintable(QString("%1 at %2").arg(stems.front()).arg(L)));
    QVERIFY2(stems.back() <= R - 3, qPrintable(QString("%1 at %2").arg(stems.back()).arg(R)));
    for (std::size_t i = 2; i < stems.size(); ++i)
        QVERIFY(std::abs((stems[i] - stems[i - 1]) - (stems[1] - stems[0])) <= 1);
    // The readout maps each stem's pixel back to its harmonic.
    for (int h = 0; h < lines; ++h)
        QCOMPARE(std::lround(plot.m_axes.XAt(stems[std::size_t(h)] + 0.5)), long(h));
    // The largest line reaches the top of the plot area, the others stand lower.
    QVERIFY(RowsWith(image, kRed, stems[0]).nFirst <= 15 - 3);
    QVERIFY(RowsWith(image, kRed, stems.back()).nFirst > 15 + 2);
    // No zero line on a spectrum.
    for (int row = 0; row < H; ++row)
        QVERIFY(CountInRow(image, row, kGrid) < (R - L) / 10);
}

void TestPlotPrint::spectrumInDbSpacesEqualRatiosEqually() {
    // Lines of 2, 0.2, 0.02 and 0.002: 0, -20, -40 and -60 dB below the largest.
    const double x[5] = {0, 1, 2, 3, 4}, y[5] = {0, 2, 0.2, 0.02, 0.002};
    const int W = 700, H = 530; // PH = 500
    QImage image = Blank(W, H);
    QPainter dc(&image);
    CPlotPrint plot;
    plot.SetLabels("n", "Mag (peak) [A]");
    plot.m_bSpectrumDb = true;
    plot.DrawSpectrum(dc, image.rect(), x, y, 5);
    dc.end();
    const std::vector<int> stems = StemColumns(image);
    QCOMPARE(int(stems.size()), 4); // a line of 0 has no level in dB
    std::vector<int> heads;
    for (int column : stems)
        heads.push_back(RowsWith(image, kRed, column).nFirst + 4);
    QCOMPARE(heads[0], 15); // the largest at 0 dB, the top
    const int decade = heads[1] - heads[0];
    QVERIFY(decade > 50);
    for (std::size_t i = 2; i < heads.size(); ++i)
        QVERIFY2(std::abs(heads[i] - heads[i - 1] - decade) <= 1,
                 qPrintable(QString("%1 %2").arg(heads[i] - heads[i - 1]).arg(decade)));
    // The floor lies below the smallest line, on a whole 10 dB.
    QVERIFY(plot.m_axes.m_dYMin < -60 && plot.m_axes.m_dYMin >= -120);
    QCOMPARE(std::fmod(plot.m_axes.m_dYMin, 10.0), 0.0);
    QCOMPARE(plot.m_axes.m_dYMin + plot.m_axes.m_dYr, 0.0);
}

void TestPlotPrint::spectrumZoomShowsItsHarmonicsScaledToThem() {
    std::vector<double> x(21), y(21);
    for (int h = 0; h < 21; ++h) {
        x[h] = h;
        y[h] = 10.0 / (h + 1);
    }
    CPlotZoom zoom;
    zoom.ShowX(7.5, 12.5, -0.5, 20.5);
    const int W = 700, H = 530;
    QImage image = Blank(W, H);
    QPainter dc(&image);
    CPlotPrint plot;
    plot.DrawSpectrum(dc, image.rect(), x.data(), y.data(), 21, zoom);
    dc.end();
    QCOMPARE(int(StemColumns(image).size()), 5); // harmonics 8 to 12
    QCOMPARE(plot.m_axes.m_dXMin, 7.5);
    QCOMPARE(plot.m_axes.m_dXr, 5.0);
    // The magnitudes follow the lines shown: the largest of them reaches the top.
    QCOMPARE(plot.m_axes.m_dYMin + plot.m_axes.m_dYr, 10.0 / 9);
    QCOMPARE(plot.m_axes.m_dHomeXMin, -0.5);
}

void TestPlotPrint::spectrumShowsTheThdOrUndefined_data() {
    QTest::addColumn<double>("thd");
    QTest::addColumn<QString>("text");
    QTest::newRow("ratio and percent") << 0.4321 << "THD = 0.43 (43.2 %)";
    QTest::newRow("small") << 0.0937 << "THD = 0.09 (9.4 %)";
    QTest::newRow("undefined") << std::numeric_limits<double>::quiet_NaN() << "THD = undefined";
}

void TestPlotPrint::spectrumShowsTheThdOrUndefined() {
    QFETCH(double, thd);
    QFETCH(QString, text);
    const double x[3] = {0, 1, 2}, y[3] = {0, 0, 0}; // magnitudes all zero: a widened range
    const int W = 700, H = 400;
    QImage image = Blank(W, H);
    QPainter dc(&image);
    CPlotPrint plot;
    plot.m_dTHD = thd;
    plot.DrawSpectrum(dc, image.rect(), x, y, 3);
    dc.end();

    // The text alone, written where the plot writes it: right edge 2 pixels in, top at 0.
    QImage alone = Blank(W, H);
    QPainter ref(&alone);
    ref.setFont(plot.m_font);
    const QFontMetrics fm = ref.fontMetrics();
    const QRect box(W - fm.horizontalAdvance(text) - 2, 0, fm.horizontalAdvance(text), fm.height());
    ref.drawText(box.left(), fm.ascent(), text);
    ref.end();
    QCOMPARE(image.copy(box), alone.copy(box));
}

void TestPlotPrint::rangeOfZeroIsWidenedAroundTheValue_data() {
    QTest::addColumn<QVector<double>>("x");
    QTest::addColumn<QVector<double>>("y");
    QTest::addColumn<int>("row"); // expected row of a horizontal curve; -1: a vertical one
    // H = 1000: the middle row is 15 + 970 / 2 = 500.
    QTest::newRow("all y equal") << QVector<double>{0, 1, 2} << QVector<double>{5, 5, 5} << 500;
    QTest::newRow("all y zero") << QVector<double>{0, 1, 2} << QVector<double>{0, 0, 0} << 500;
    QTest::newRow("all x equal") << QVector<double>{2, 2, 2} << QVector<double>{0, 1, 3} << -1;
    QTest::newRow("all x zero") << QVector<double>{0, 0} << QVector<double>{1, 3} << -1;
}

void TestPlotPrint::rangeOfZeroIsWidenedAroundTheValue() {
    QFETCH(QVector<double>, x);
    QFETCH(QVector<double>, y);
    QFETCH(int, row);
    CPlotPrint plot;
    const QImage image = DrawCurveImage(plot, 800, 1000, std::vector<double>(x.begin(), x.end()),
                                        std::vector<double>(y.begin(), y.end()));
    if (row >= 0) {
        const SSpan rows = RowsWith(image, kRed);
        QCOMPARE(rows.nFirst, row);
        QCOMPARE(rows.nLast, row);
    } else {
        // Widened to x +- 10 % (or +-1 around 0): the value stands in the middle of the width.
        const int L = plot.m_nLeft, PW = plot.m_nRight - plot.m_nLeft;
        const SSpan columns = ColumnsWith(image, kRed);
        QCOMPARE(columns.nFirst, columns.nLast);
        QVERIFY(std::abs(columns.nFirst - (L + PW / 2)) <= 1);
    }
    // The scale numbers are finite: the widest text in the margin stays a number.
    QVERIFY(plot.m_nLeft > 0 && plot.m_nLeft < 200);
}

void TestPlotPrint::noPointDrawsOnlyTheAxes() {
    const int W = 600, H = 400;
    for (double n : {0.0, -3.0}) {
        QImage image = Blank(W, H);
        QPainter dc(&image);
        CPlotPrint plot;
        plot.DrawCurve(dc, image.rect(), nullptr, nullptr, n);
        dc.end();
        const int L = plot.m_nLeft, PW = plot.m_nRight - plot.m_nLeft;
        QVERIFY(PW > 0);
        QVERIFY(Is(image, L + PW / 2, H - 15, Qt::black));
        QVERIFY(Is(image, L, H / 2, Qt::black));
        QCOMPARE(RowsWith(image, kRed).nFirst, -1);
        QCOMPARE(RowsWith(image, kGrid).nFirst, -1);
        // No scale numbers under the axis.
        const QImage below = image.copy(0, H - 12, L + PW, 12);
        QCOMPARE(below, Blank(below.width(), below.height()));
    }
    // A single line of a spectrum: one stem in the middle, half a harmonic to either side.
    const double x[1] = {3}, y[1] = {2};
    QImage image = Blank(W, H);
    QPainter dc(&image);
    CPlotPrint plot;
    plot.DrawSpectrum(dc, image.rect(), x, y, 1);
    dc.end();
    const SSpan columns = ColumnsWith(image, kRed);
    QVERIFY(std::abs(columns.nFirst + 4 - (plot.m_nLeft + plot.m_nRight) / 2) <= 1);
    QCOMPARE(plot.m_axes.m_dXMin, 2.5);
    QCOMPARE(plot.m_axes.m_dXr, 1.0);
}

void TestPlotPrint::areaNarrowerThanTheMarginsKeepsTheFormulas() {
    // PW = W - L - 20 and PH = H - 30 turn negative; the drawing stays defined and the
    // bounds still follow the formulas.
    const double x[3] = {0, 1, 2}, y[3] = {1, -1, 3};
    for (const QSize& size : {QSize(0, 0), QSize(12, 9), QSize(60, 25)}) {
        QImage image = Blank(std::max(size.width(), 1), std::max(size.height(), 1));
        QPainter dc(&image);
        CPlotPrint plot;
        plot.DrawCurve(dc, QRect(QPoint(0, 0), size), x, y, 3);
        QVERIFY(plot.m_nRight <= size.width() - 20);
        plot.DrawSpectrum(dc, QRect(QPoint(0, 0), size), x, y, 3);
        QVERIFY(plot.m_nRight <= size.width() - 20);
    }
}

void TestPlotPrint::drawingFollowsTheTargetRectangleAndRestoresThePainter() {
    const std::vector<double> x = {0, 0.3, 1}, y = {-2, 4, 1};
    CPlotPrint plot;
    plot.SetLabels("t [s]", "Ia [A]");
    const QImage atOrigin = DrawCurveImage(plot, 500, 300, x, y);

    QImage shifted = Blank(700, 500);
    QPainter dc(&shifted);
    const QPen pen(Qt::green, 3);
    const QBrush brush(Qt::yellow);
    dc.setPen(pen);
    dc.setBrush(brush);
    dc.setBackgroundMode(Qt::OpaqueMode);
    const QFont font = dc.font();
    plot.DrawCurve(dc, QRect(120, 90, 500, 300), x.data(), y.data(), 3);
    QCOMPARE(dc.pen(), pen);
    QCOMPARE(dc.brush(), brush);
    QCOMPARE(dc.font(), font);
    QCOMPARE(dc.transform(), QTransform());
    QCOMPARE(dc.backgroundMode(), Qt::TransparentMode);
    dc.end();
    QCOMPARE(shifted.copy(120, 90, 500, 300), atOrigin);
    QCOMPARE(plot.m_strXLabel, QString("t [s]"));
    QCOMPARE(plot.m_strYLabel, QString("Ia [A]"));
}

void TestPlotPrint::selectionMarkersSpanBothPointsAndReturnThePlotArea() {
    CPlotPrint plot;
    const QImage curve = DrawCurveImage(plot, 600, 400, {0, 1}, {0, 1});
    QImage image = curve;
    QPainter dc(&image);
    const auto [left, right] = plot.DrawSelection(dc, image.rect(), 200, 100, 350, 300);
    // A marker at x = -1 lies outside the area and draws nothing there.
    plot.DrawSelection(dc, image.rect(), -1, -1, 10000, 10000);
    dc.end();
    QCOMPARE(left, plot.m_nLeft);
    QCOMPARE(right, plot.m_nRight);
    for (int column : {200, 350}) {
        const SSpan rows = RowsWith(image, kSelect, column);
        QVERIFY(rows.nFirst >= 100 && rows.nFirst <= 102);
        QVERIFY(rows.nLast >= 298 && rows.nLast <= 300);
    }
    const SSpan columns = ColumnsWith(image, kSelect);
    QCOMPARE(columns.nFirst, 200);
    QCOMPARE(columns.nLast, 350);
}

void TestPlotPrint::picturesFillTheirSizeAtTenTenClippedToTheArea_data() {
    QTest::addColumn<int>("kind");
    QTest::addColumn<QSize>("size");
    QTest::newRow("2D model") << 1 << QSize(652, 652);
    QTest::newRow("3D model") << 2 << QSize(627, 252);
    QTest::newRow("circuit model") << 3 << QSize(898, 535);
    QTest::newRow("results export table order") << 4 << QSize(997, 561);
    QTest::newRow("none") << 0 << QSize();
    QTest::newRow("unknown") << 5 << QSize();
}

void TestPlotPrint::picturesFillTheirSizeAtTenTenClippedToTheArea() {
    QFETCH(int, kind);
    QFETCH(QSize, size);
    QCOMPARE(CPictures::Size(kind), size);
    CPlotPrint plot;
    // Room for every picture: drawn unscaled, filling exactly its size at (10, 10).
    QImage image = Blank(1040, 700, kMagenta);
    QPainter dc(&image);
    plot.DrawPicture(dc, image.rect(), kind);
    dc.end();
    const QRect picture = size.isEmpty() ? QRect() : QRect(QPoint(10, 10), size);
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (Is(image, x, y, kMagenta) == picture.contains(x, y))
                QFAIL(qPrintable(QString("pixel (%1, %2)").arg(x).arg(y)));
        }
    }
    // A smaller area: scaled down to fit inside a 10-pixel border, proportions kept; the top
    // left corner follows the area.
    image = Blank(500, 400, kMagenta);
    dc.begin(&image);
    const QRect area(50, 40, 300, 200);
    plot.DrawPicture(dc, area, kind);
    dc.end();
    QRect inked;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (!Is(image, x, y, kMagenta))
                inked |= QRect(x, y, 1, 1);
    if (size.isEmpty()) {
        QVERIFY(inked.isNull());
        return;
    }
    const double scale = std::min(280.0 / size.width(), 180.0 / size.height());
    QCOMPARE(inked.topLeft(), QPoint(60, 50));
    QVERIFY2(std::abs(inked.width() - scale * size.width()) <= 1.5 &&
                 std::abs(inked.height() - scale * size.height()) <= 1.5,
             qPrintable(QString("%1 x %2").arg(inked.width()).arg(inked.height())));
}

void TestPlotPrint::overlaidCurvesShareOneScaleInTheirColoursWithALegend() {
    // Three lines over x 0..1: y = 1, y = 2 and a ramp from -1 to 3. One scale: -1 .. 3 (no
    // value near 0), so y = 1 lies at the middle row and the ramp spans the plot height.
    const std::vector<double> x = {0, 0.5, 1}, a = {1, 1, 1}, b = {2, 2, 2}, c = {-1, 1, 3};
    CPlotPrint plot;
    const std::vector<CPlotPrint::SCurve> curves = {
        {a.data(), "Ia [A]"}, {b.data(), "Ib [A]"}, {c.data(), "Ic [A]"}};
    QImage image = Blank(800, 1000);
    QPainter dc(&image);
    plot.DrawCurves(dc, image.rect(), x.data(), curves, 3, CPlotZoom());
    dc.end();
    const QColor colours[3] = {plot.CurvePen(0).color(), plot.CurvePen(1).color(),
                               plot.CurvePen(2).color()};
    QCOMPARE(colours[0], kRed); // the first stays red
    QVERIFY(colours[1] != colours[0] && colours[2] != colours[1] && colours[2] != colours[0]);
    // Rows by hand: y0 = trunc(985 + (-1) * 970 / 4) = 742, py = trunc(742 - 970 y / 4):
    // 499 for y = 1, 257 for y = 2.
    const int mid = (plot.m_nLeft + plot.m_nRight) / 2;
    QVERIFY(Is(image, plot.m_nLeft + 10, 499, colours[0]));
    QVERIFY(Is(image, plot.m_nLeft + 10, 257, colours[1]));
    QCOMPARE(RowsWith(image, colours[2]).nLast, 984);
    QVERIFY(RowsWith(image, colours[2]).nFirst <= 40); // the legend's swatch or the top end
    QVERIFY(Is(image, mid, 499, colours[2]) || Is(image, mid + 1, 499, colours[2]));

    // The legend: a box holding a swatch of every colour and each label, in the plot font, in
    // the corner that hides the fewest points: the ramp ends in the top right, so the top left.
    QCOMPARE(plot.LegendAt(), QPoint(plot.m_nLeft + 8, 23));
    const QRect box(plot.m_nLeft, 15, 200, 100);
    const QImage legend = image.copy(box);
    for (const QColor& colour : colours)
        QVERIFY(ColumnsWith(legend, colour).nFirst >= 0);
    int inked = 0;
    for (int y = 0; y < legend.height(); ++y)
        for (int x2 = 0; x2 < legend.width(); ++x2)
            inked += qGray(legend.pixel(x2, y)) < 80 ? 1 : 0;
    QVERIFY(inked > 30);

    // The legend's frame is a grey line; one curve has no legend.
    const QColor frame(160, 160, 160);
    auto framed = [&](const QImage& drawn) {
        for (int y = 0; y < drawn.height(); ++y)
            if (CountInRow(drawn, y, frame) > 30)
                return true;
        return false;
    };
    QVERIFY(framed(image));
    QVERIFY(!framed(DrawCurveImage(plot, 800, 1000, x, c)));
}

void TestPlotPrint::zoomShowsItsRangeInsideThePlotArea() {
    // y = x over 0..1, zoomed to x 0.25..0.5: y follows the visible data, so the line runs
    // corner to corner of the plot area and nothing red lies outside it.
    std::vector<double> x(1001), y(1001);
    for (int i = 0; i <= 1000; ++i)
        x[i] = y[i] = i / 1000.0;
    CPlotZoom zoom;
    zoom.ShowX(0.25, 0.5, 0, 1);
    CPlotPrint plot;
    QImage image = Blank(700, 500);
    QPainter dc(&image);
    plot.DrawCurves(dc, image.rect(), x.data(), {{y.data(), "y"}}, 1001, zoom);
    dc.end();
    const CPlotAxes& axes = plot.m_axes;
    QCOMPARE(axes.m_dXMin, 0.25);
    QCOMPARE(axes.m_dYMin, 0.25);
    QCOMPARE(axes.m_dYr, 0.25);
    QCOMPARE(axes.m_dHomeXr, 1.0);
    const SSpan columns = ColumnsWith(image, kRed), rows = RowsWith(image, kRed);
    QCOMPARE(columns.nFirst, axes.m_nLeft);
    QCOMPARE(columns.nLast, axes.m_nLeft + axes.m_nWidth);
    QCOMPARE(rows.nFirst, 15);
    QCOMPARE(rows.nLast, 485);
    // The scale numbers say where: 0.250 at the left end, 0.500 at the right.
    QVERIFY(std::abs(axes.XAt(axes.m_nLeft + axes.m_nWidth) - 0.5) < 1e-12);
}

void TestPlotPrint::zoomedCurvesReachBothEdgesAtAnyDepth_data() {
    QTest::addColumn<double>("share"); // of the whole time shown
    QTest::addColumn<double>("at");    // where the range starts, as a share of the whole
    for (double share : {0.3, 0.01, 1e-3, 2e-4, 1e-4})
        for (double at : {0.0, 0.123457, 0.5, 1 - share})
            QTest::addRow("%g of the curve from %g", share, at) << share << at;
}

void TestPlotPrint::zoomedCurvesReachBothEdgesAtAnyDepth() {
    QFETCH(double, share);
    QFETCH(double, at);
    // A run of 0.1 s stored every 5 us: at the deepest zoom only a sample or two are inside.
    const std::size_t n = 20001;
    std::vector<double> x(n), y(n);
    for (std::size_t i = 0; i < n; ++i) {
        x[i] = 5e-6 * double(i);
        y[i] = std::sin(2 * M_PI * 50 * x[i]) + 0.1 * std::sin(2 * M_PI * 9000 * x[i]);
    }
    CPlotZoom zoom;
    zoom.ShowX(0.1 * at, 0.1 * (at + share), 0, 0.1);
    CPlotPrint plot;
    QImage image = Blank(1000, 500);
    QPainter dc(&image);
    plot.DrawCurves(dc, image.rect(), x.data(), {{y.data(), "y"}}, double(n), zoom);
    dc.end();
    const CPlotAxes& axes = plot.m_axes;
    const SSpan columns = ColumnsWith(image, kRed);
    QCOMPARE(columns.nFirst, axes.m_nLeft);
    QCOMPARE(columns.nLast, axes.m_nLeft + axes.m_nWidth);
}

void TestPlotPrint::labelsAndNumbersStayInsideAndApart_data() {
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::addColumn<QString>("xLabel");
    QTest::addColumn<double>("xFirst");
    QTest::newRow("wide, long label") << 900 << 500 << "beta [rad]" << -123.25;
    QTest::newRow("narrow") << 260 << 500 << "t [s]" << -123.25;
    QTest::newRow("small") << 200 << 150 << "t [s]" << 0.0;
}

void TestPlotPrint::labelsAndNumbersStayInsideAndApart() {
    QFETCH(int, width);
    QFETCH(int, height);
    QFETCH(QString, xLabel);
    QFETCH(double, xFirst);
    const std::vector<double> x = {xFirst, xFirst + 1}, y = {-1234.5, 9876.5};
    CPlotPrint plot;
    plot.SetLabels(xLabel, "y");
    // Drawn into the left part of a wider image: nothing may reach beyond the area.
    QImage image = Blank(width + 100, height + 100);
    QPainter dc(&image);
    plot.DrawCurve(dc, QRect(0, 0, width, height), x.data(), y.data(), 2);
    dc.end();
    QCOMPARE(image.copy(width, 0, 100, height + 100), Blank(100, height + 100));
    QCOMPARE(image.copy(0, height, width + 100, 100), Blank(width + 100, 100));

    // The numbers under the x axis, as runs of inked columns (glyphs of one number lie closer
    // than 4 columns): both ends are written, the first right of the axis (clear of the lowest
    // y number), and no run is wider than one number, so no two numbers touch.
    const int L = plot.m_nLeft, R = plot.m_nRight;
    std::vector<std::pair<int, int>> runs;
    for (int c = L - 3; c < width; ++c) {
        bool ink = false;
        for (int r = height - 8; r < height && !ink; ++r)
            ink = qGray(image.pixel(c, r)) < 128;
        if (ink && (runs.empty() || runs.back().second < c - 4))
            runs.emplace_back(c, c);
        else if (ink)
            runs.back().second = c;
    }
    const int widest = QFontMetrics(plot.m_font, &image).horizontalAdvance("-8888.888");
    QVERIFY(runs.size() >= 2);
    QVERIFY(runs.front().first > L && runs.front().first <= L + 4);
    QVERIFY(runs.back().first <= R && runs.back().second >= R - 2);
    for (const auto& [first, last] : runs)
        QVERIFY2(last - first <= widest, qPrintable(QString("%1 .. %2").arg(first).arg(last)));
}

void TestPlotPrint::spectrumMagnitudesStartAtZero() {
    // Magnitudes 5 to 6: the axis starts at 0, so the lowest head stands at 5/6 of the height.
    const double x[3] = {0, 1, 2}, y[3] = {6, 5, 5.5};
    const int W = 600, H = 630; // PH = 600
    QImage image = Blank(W, H);
    QPainter dc(&image);
    CPlotPrint plot;
    plot.DrawSpectrum(dc, image.rect(), x, y, 3);
    dc.end();
    QCOMPARE(plot.m_axes.m_dYMin, 0.0);
    const int px = static_cast<int>(plot.m_nLeft + (plot.m_nRight - plot.m_nLeft) / 2.0);
    QCOMPARE(RowsWith(image, kRed, px).nFirst, H - 15 - 500 - 4); // circle top: py - 4
}

void TestPlotPrint::marksLabelsNeverOverlap_data() {
    QTest::addColumn<QList<double>>("marks");
    QTest::addColumn<int>("width");
    QTest::newRow("far apart") << QList<double>{0.2, 0.8} << 800;
    QTest::newRow("onset and clearing close") << QList<double>{0.5, 0.51} << 800;
    QTest::newRow("three close, narrow plot") << QList<double>{0.49, 0.5, 0.51} << 300;
    QTest::newRow("at the right end") << QList<double>{0.97, 0.99} << 600;
}

void TestPlotPrint::marksLabelsNeverOverlap() {
    QFETCH(QList<double>, marks);
    QFETCH(int, width);
    const std::vector<double> x = {0, 1}, y = {0, 1};
    CPlotPrint plot;
    for (double at : marks)
        plot.m_aMarkers.push_back({at, QString("cleared %1 s").arg(at)});
    QImage image = Blank(width, 400);
    QPainter dc(&image);
    plot.DrawCurves(dc, image.rect(), x.data(), {{y.data(), "y"}}, 2, CPlotZoom());
    dc.end();
    const std::vector<QRect>& labels = plot.MarkerLabels();
    QCOMPARE(int(labels.size()), int(marks.size()));
    for (std::size_t i = 0; i < labels.size(); ++i) {
        QVERIFY(labels[i].left() >= plot.m_nLeft && labels[i].top() >= 15);
        for (std::size_t j = 0; j < i; ++j)
            QVERIFY2(!labels[i].intersects(labels[j]),
                     qPrintable(QString("%1 and %2").arg(i).arg(j)));
    }
    // Far apart, each stands at the top beside its line, as a single mark does.
    if (marks.size() == 2 && marks[1] - marks[0] > 0.5)
        QCOMPARE(labels[0].top(), labels[1].top());
}

void TestPlotPrint::aSecondUnitIsScaledByTheRightAxis() {
    // A current of +-2 A and a voltage of 0..300 V over the same time: on one axis the current
    // would be a flat line; with the voltage on a right-hand axis each curve spans the whole
    // plot height, and the right axis stands at the plot's right end with its label.
    const std::vector<double> t = {0, 0.25, 0.5, 0.75, 1}, i = {0, 2, 0, -2, 0},
                              u = {0, 150, 300, 150, 0};
    CPlotPrint plot;
    plot.SetLabels("t [s]", "Ia [A]");
    plot.m_strY2Label = "Ua [V]";
    const int W = 700, H = 500;
    QImage image = Blank(W, H);
    QPainter dc(&image);
    CPlotPrint::SCurve voltage{u.data(), "Ua [V]"};
    voltage.m_nAxis = 1;
    plot.DrawCurves(dc, image.rect(), t.data(), {{i.data(), "Ia [A]"}, voltage}, 5, CPlotZoom());
    dc.end();
    const QColor blue = plot.CurvePen(1).color();
    const int L = plot.m_nLeft, R = plot.m_nRight;
    for (const QColor& colour : {kRed, blue}) {
        const SSpan rows = RowsWith(image.copy(L + 1, 0, R - L - 1, H), colour);
        QVERIFY2(rows.nFirst <= 40 && rows.nLast >= H - 16, // the legend's swatch may lie higher
                 qPrintable(QString("%1 .. %2").arg(rows.nFirst).arg(rows.nLast)));
    }
    // The voltage's peak (300 V at t = 0.5) is at the top of the plot area.
    QVERIFY(Is(image, (L + R) / 2, 15, blue) || Is(image, (L + R) / 2 + 1, 15, blue));
    // The right axis: a black line at R, numbers right of it.
    int dark = 0;
    for (int y = 30; y < H - 30; ++y)
        dark += qGray(image.pixel(R, y)) < 64;
    QVERIFY(dark > H - 80);
    QVERIFY(R < W - 30);
}

QTEST_MAIN(TestPlotPrint)
#include "tst_PlotPrint.moc"
