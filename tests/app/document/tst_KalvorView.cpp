// The view: mouse range selection, what it reports to the document, printing.
#include "PostProcess.h"
#include "document/KalvorDoc.h"
#include "document/KalvorView.h"
#include "plot/PlotZoom.h"

#include <QDir>
#include <QImage>
#include <QPainter>
#include <QPrinter>
#include <QRegularExpression>
#include <QSvgRenderer>
#include <QTemporaryDir>
#include <QtTest>

#include <QSignalSpy>
#include <QWheelEvent>

#include <cmath>
#include <set>

namespace {

/// A document holding a valid sine curve, as "Plot result..." leaves it.
void GiveCurve(CKalvorDoc& doc) {
    doc.AllocPlot(1000);
    for (unsigned i = 0; i < 1000; ++i) {
        doc.m_buffer.m_pPlotX[i] = i * 1e-4;
        doc.m_buffer.m_pPlotY[i] = 5 * std::sin(i * 0.02);
    }
    doc.m_buffer.SetLabels("t [s]", "Ia [A]");
    doc.m_buffer.m_nPlotType = kPlotCurve;
    doc.m_bValid = true;
}

/// Rightmost column holding a strongly red pixel (the curve), or -1.
int RightmostRed(const QImage& image) {
    for (int x = image.width() - 1; x >= 0; --x)
        for (int y = 0; y < image.height(); ++y) {
            const QColor c = image.pixelColor(x, y);
            if (c.red() > 200 && c.green() < 80 && c.blue() < 80)
                return x;
        }
    return -1;
}

/// Counts the paint events of the widgets it filters.
class CPaintCounter : public QObject {
public:
    bool eventFilter(QObject* pWatched, QEvent* pEvent) override {
        if (pEvent->type() == QEvent::Paint)
            m_paints.insert(pWatched);
        return false;
    }
    std::set<QObject*> m_paints;
};

/// The samples the DFT would take from what the view last reported.
CSampleRange Reported(const CKalvorDoc& doc) {
    return MapDftRange(doc.m_nSelStart, doc.m_nSelEnd, doc.m_nPlotLeft, doc.m_nPlotRight,
                       doc.m_buffer.m_nPlotCount);
}

void Wheel(CKalvorView& view, QPointF at, int delta, Qt::KeyboardModifiers modifiers = {}) {
    QWheelEvent event(at, view.mapToGlobal(at), QPoint(), QPoint(0, delta), Qt::NoButton, modifiers,
                      Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(&view, &event);
    view.grab();
}

/// The pointer moved to at, no button held.
void MoveTo(CKalvorView& view, QPointF at) {
    QMouseEvent move(QEvent::MouseMove, at, view.mapToGlobal(at), Qt::NoButton, Qt::NoButton, {});
    QCoreApplication::sendEvent(&view, &move);
}

} // namespace

class CTestKalvorView : public QObject {
    Q_OBJECT
private slots:
    void PointsStartOffThePlot();
    void ButtonsSetThePointsAndRedrawReportsThem();
    void DoubleClickResetsTheSelection();
    void ScaleNumbersFitLeftOfTheAxis();
    void OtherButtonsLeaveTheSelection();
    void NothingIsReportedWithoutAValidCurve_data();
    void NothingIsReportedWithoutAValidCurve();
    void ViewsRedrawWhenTheDocumentSaysSo();
    void PrintFillsThePageWidthKeepingProportions();
    void PrintToAFileWritesOnePage();
    void ZoomArithmetic_data();
    void ZoomArithmetic();
    void WheelZoomsAroundThePointerAndHomeReturns();
    void SpectrumZoomsItsHarmonicsAndReadsTheirKind();
    void SelectionKeepsItsSamplesWhileZooming();
    void ReadoutNamesEveryCurveAndTheSelection();
    void PrintShowsTheZoomedView();
    void ImagesAreTheScreenDrawingAndLeaveTheViewAsItWas();
    void TwoViewsOfOneDocumentMapTheMouseThroughTheirOwnAxes();
    void TheLegendIsDraggedWithinThePlotAreaOfItsOwnView();
};

void CTestKalvorView::PointsStartOffThePlot() {
    CKalvorDoc doc;
    CKalvorView view(doc);
    QCOMPARE(view.m_ptLeft.x(), -1);
    QCOMPARE(view.m_ptRight.x(), 10000);
}

void CTestKalvorView::ButtonsSetThePointsAndRedrawReportsThem() {
    CKalvorDoc doc;
    GiveCurve(doc);
    CKalvorView view(doc);
    view.resize(600, 400);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));

    QTest::mouseClick(&view, Qt::LeftButton, {}, QPoint(120, 50));
    QTest::mouseClick(&view, Qt::RightButton, {}, QPoint(90, 300)); // left of the left point
    QCOMPARE(view.m_ptLeft, QPoint(120, 50));
    QCOMPARE(view.m_ptRight, QPoint(90, 300));
    view.grab();
    QCOMPARE(doc.m_nSelStart, 120);
    QCOMPARE(doc.m_nSelEnd, 90);
    QVERIFY(doc.m_nPlotLeft > 0);
    QVERIFY(doc.m_nPlotLeft < doc.m_nPlotRight);
    QVERIFY(doc.m_nPlotRight < view.width());
}

void CTestKalvorView::DoubleClickResetsTheSelection() {
    CKalvorDoc doc;
    GiveCurve(doc);
    CKalvorView view(doc);
    view.resize(600, 400);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    QTest::mouseClick(&view, Qt::RightButton, {}, QPoint(400, 200));
    QTest::mouseDClick(&view, Qt::LeftButton, {}, QPoint(200, 100));
    QCOMPARE(view.m_ptLeft, QPoint(-1, -1));
    QCOMPARE(view.m_ptRight, QPoint(601, 401));
    view.grab();
    QCOMPARE(doc.m_nSelStart, -1);
    QCOMPARE(doc.m_nSelEnd, 601);
}

void CTestKalvorView::ScaleNumbersFitLeftOfTheAxis() {
    CKalvorDoc doc;
    GiveCurve(doc);
    doc.m_buffer.m_pPlotY[10] = -10.631;
    doc.m_buffer.m_pPlotY[20] = 12.209;
    CKalvorView view(doc);
    view.resize(600, 400);
    view.grab();
    // The numbers stand 4 pixels left of the axis, in the plot font.
    const QFontMetrics metrics(doc.m_plot.m_font);
    for (const char* pszNumber : {"-10.631", "12.209"})
        QVERIFY2(doc.m_nPlotLeft >= metrics.horizontalAdvance(pszNumber) + 4,
                 qPrintable(QString("%1 %2").arg(doc.m_nPlotLeft).arg(pszNumber)));
}

void CTestKalvorView::OtherButtonsLeaveTheSelection() {
    CKalvorDoc doc;
    CKalvorView view(doc);
    view.resize(300, 200);
    QTest::mouseClick(&view, Qt::MiddleButton, {}, QPoint(50, 50));
    QTest::mouseDClick(&view, Qt::RightButton, {}, QPoint(60, 60));
    QCOMPARE(view.m_ptLeft.x(), -1);
    QCOMPARE(view.m_ptRight, QPoint(60, 60));
}

void CTestKalvorView::NothingIsReportedWithoutAValidCurve_data() {
    QTest::addColumn<bool>("valid");
    QTest::addColumn<int>("plotType");
    QTest::newRow("results not valid") << false << int(kPlotCurve);
    QTest::newRow("a spectrum") << true << int(kPlotSpectrum);
    QTest::newRow("hidden by a picture") << true << int(kPlotPicture);
}

void CTestKalvorView::NothingIsReportedWithoutAValidCurve() {
    QFETCH(bool, valid);
    QFETCH(int, plotType);
    CKalvorDoc doc;
    GiveCurve(doc);
    doc.m_bValid = valid;
    doc.m_buffer.m_nPlotType = EPlotKind(plotType);
    doc.m_nSelStart = 7;
    doc.m_nSelEnd = 8;
    CKalvorView view(doc);
    view.resize(400, 300);
    view.m_ptLeft = QPoint(100, 10);
    view.grab();
    QCOMPARE(doc.m_nSelStart, 7);
    QCOMPARE(doc.m_nSelEnd, 8);
}

void CTestKalvorView::ViewsRedrawWhenTheDocumentSaysSo() {
    CKalvorDoc doc;
    CKalvorView first(doc);
    CKalvorView second(doc);
    CPaintCounter counter;
    for (CKalvorView* pView : {&first, &second}) {
        pView->resize(400, 300);
        pView->show();
        QVERIFY(QTest::qWaitForWindowExposed(pView));
        pView->installEventFilter(&counter);
    }
    QCoreApplication::processEvents();
    counter.m_paints.clear();
    emit doc.UpdateAllViews();
    QTRY_COMPARE(counter.m_paints.size(), std::size_t(2));
}

void CTestKalvorView::PrintFillsThePageWidthKeepingProportions() {
    CKalvorDoc doc;
    GiveCurve(doc);
    CKalvorView view(doc);
    view.resize(400, 300);

    QImage screen(400, 300, QImage::Format_RGB32);
    screen.fill(Qt::white);
    QPainter painter(&screen);
    view.Draw(painter, view.rect());
    painter.end();

    // A page twice as wide and much taller: the width limits the scale.
    QImage page(800, 2000, QImage::Format_RGB32);
    page.fill(Qt::gray);
    view.DrawScaled(page);

    const int nScreen = RightmostRed(screen);
    const int nPage = RightmostRed(page);
    QVERIFY(nScreen > 200);
    QVERIFY2(std::abs(nPage - 2 * nScreen) <= 3,
             qPrintable(QString("%1 %2").arg(nPage).arg(nScreen)));
    // Proportions kept: below the scaled drawing the page is untouched.
    QCOMPARE(page.pixelColor(400, 700), QColor(Qt::gray));
    QCOMPARE(page.pixelColor(400, 590), QColor(Qt::white));
}

void CTestKalvorView::PrintToAFileWritesOnePage() {
    QTemporaryDir dir;
    const QString strPath = dir.filePath("plot.pdf");
    CKalvorDoc doc;
    GiveCurve(doc);
    CKalvorView view(doc);
    view.resize(400, 300);
    QPrinter printer;
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(strPath);
    view.OnFilePrintDirect(printer);
    QFile file(strPath);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray pdf = file.readAll();
    QVERIFY(pdf.startsWith("%PDF"));
    QCOMPARE(QString::fromLatin1(pdf).count(QRegularExpression("/Type\\s*/Page(?!s)")), 1);
}

void CTestKalvorView::ZoomArithmetic_data() {
    // From the home range 0..10: an operation, then the range expected (zoomed or not).
    QTest::addColumn<QString>("operation");
    QTest::addColumn<double>("lo");
    QTest::addColumn<double>("hi");
    QTest::addColumn<bool>("zoomed");
    QTest::newRow("x4 around 2 keeps 2 in place") << "zoom 2 4" << 1.5 << 4.0 << true;
    QTest::newRow("in and out again is home") << "zoom 2 4; zoom 2 0.25" << 0.0 << 10.0 << false;
    QTest::newRow("out beyond home is home") << "zoom 5 0.5" << 0.0 << 10.0 << false;
    QTest::newRow("pan stops at the right end") << "zoom 5 2; pan 100" << 5.0 << 10.0 << true;
    QTest::newRow("pan stops at the left end") << "zoom 5 2; pan -100" << 0.0 << 5.0 << true;
    QTest::newRow("selection in either order") << "show 7 3" << 3.0 << 7.0 << true;
    QTest::newRow("selection beyond the data") << "show -5 2" << 0.0 << 2.0 << true;
    QTest::newRow("narrowest range") << "zoom 5 1e9" << 5 - 5e-4 << 5 + 5e-4 << true;
}

void CTestKalvorView::ZoomArithmetic() {
    QFETCH(QString, operation);
    QFETCH(double, lo);
    QFETCH(double, hi);
    QFETCH(bool, zoomed);
    CPlotZoom zoom;
    for (const QString& step : operation.split("; ")) {
        const QStringList w = step.split(' ');
        const double a = w[1].toDouble(), b = w.size() > 2 ? w[2].toDouble() : 0;
        const double shownLo = zoom.m_bX ? zoom.m_dXLo : 0, shownHi = zoom.m_bX ? zoom.m_dXHi : 10;
        if (w[0] == "zoom")
            zoom.ZoomX(shownLo, shownHi, a, b, 0, 10);
        else if (w[0] == "pan")
            zoom.PanX(shownLo, shownHi, a, 0, 10);
        else
            zoom.ShowX(a, b, 0, 10);
    }
    QCOMPARE(zoom.m_bX, zoomed);
    if (zoomed) {
        QVERIFY2(std::abs(zoom.m_dXLo - lo) < 1e-9 && std::abs(zoom.m_dXHi - hi) < 1e-9,
                 qPrintable(QString("%1 .. %2").arg(zoom.m_dXLo).arg(zoom.m_dXHi)));
    }
}

void CTestKalvorView::WheelZoomsAroundThePointerAndHomeReturns() {
    CKalvorDoc doc;
    GiveCurve(doc);
    CKalvorView view(doc);
    view.resize(600, 400);
    view.grab();
    const CPlotAxes& axes = doc.m_plot.m_axes;
    const double home = axes.m_dXr;
    const QPointF at(axes.m_nLeft + axes.m_nWidth * 0.3, 200);
    const double under = axes.XAt(at.x());

    Wheel(view, at, 240); // two notches in
    QVERIFY(view.Zoom().m_bX);
    QVERIFY(std::abs(axes.m_dXr - home / (1.25 * 1.25)) < 1e-9 * home);
    QVERIFY(std::abs(axes.XAt(at.x()) - under) < 1e-9 * home);

    // Ctrl+wheel zooms y by hand; x stays.
    const double xr = axes.m_dXr, yr = axes.m_dYr;
    Wheel(view, at, 120, Qt::ControlModifier);
    QVERIFY(view.Zoom().m_bY);
    QCOMPARE(axes.m_dXr, xr);
    QVERIFY(std::abs(axes.m_dYr - yr / 1.25) < 1e-9 * yr);

    // The middle button drags the x range to the left: later times come into view.
    const double before = axes.m_dXMin;
    QTest::mousePress(&view, Qt::MiddleButton, {}, QPoint(300, 200));
    QMouseEvent move(QEvent::MouseMove, QPointF(200, 200), view.mapToGlobal(QPointF(200, 200)),
                     Qt::NoButton, Qt::MiddleButton, {});
    QCoreApplication::sendEvent(&view, &move);
    QTest::mouseRelease(&view, Qt::MiddleButton, {}, QPoint(200, 200));
    view.grab();
    QVERIFY(std::abs(axes.m_dXMin - (before + 100 * xr / axes.m_nWidth)) < 1e-9 * home);

    view.OnZoomOut();
    view.grab();
    QVERIFY(!view.Zoom().IsZoomed());
    QCOMPARE(axes.m_dXr, home);
}

void CTestKalvorView::SpectrumZoomsItsHarmonicsAndReadsTheirKind() {
    CKalvorDoc doc;
    doc.AllocPlot(41);
    for (unsigned h = 0; h < 41; ++h) {
        doc.m_buffer.m_pPlotX[h] = h;
        doc.m_buffer.m_pPlotY[h] = h == 0 ? 0.5 : 3.0 / h;
    }
    doc.m_buffer.SetLabels("n", "Mag (peak) [A]");
    doc.m_buffer.m_nPlotType = kPlotSpectrum;
    doc.m_bValid = true;
    CKalvorView view(doc);
    view.resize(600, 400);
    view.grab();
    QVERIFY(view.CanZoom());
    const CPlotAxes& axes = view.Axes();
    const double home = axes.m_dXr;
    const QPointF at(axes.PxOf(30), 200);

    Wheel(view, at, 360); // three notches in, around harmonic 30
    QVERIFY(std::abs(axes.m_dXr - home / std::pow(1.25, 3)) < 1e-9 * home);
    QVERIFY(std::abs(axes.XAt(at.x()) - 30) < 0.05);
    // The magnitudes follow the lines shown (about 3/23 at most), not the largest of all.
    QVERIFY(axes.m_dYMin + axes.m_dYr < 0.5);
    // Ctrl+wheel leaves a spectrum's magnitudes alone.
    const double yr = axes.m_dYr;
    Wheel(view, at, 120, Qt::ControlModifier);
    QVERIFY(!view.Zoom().m_bY);
    QCOMPARE(axes.m_dYr, yr);

    // The readout names the line's kind and unit.
    QSignalSpy readout(&view, &CKalvorView::StatusText);
    MoveTo(view, QPointF(axes.PxOf(30), 250));
    QVERIFY(!readout.isEmpty());
    QVERIFY2(readout.last()[0].toString().startsWith("n = 30   Mag = 0.1 A (peak)"),
             qPrintable(readout.last()[0].toString()));

    view.OnZoomOut();
    view.grab();
    QCOMPARE(axes.m_dXr, home);
    MoveTo(view, QPointF(axes.PxOf(0), 200));
    QVERIFY2(readout.last()[0].toString().startsWith("n = 0   Mag = 0.5 A (mean)"),
             qPrintable(readout.last()[0].toString()));
}

void CTestKalvorView::SelectionKeepsItsSamplesWhileZooming() {
    CKalvorDoc doc;
    GiveCurve(doc);
    CKalvorView view(doc);
    view.resize(600, 400);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    QTest::mouseClick(&view, Qt::LeftButton, {}, QPoint(150, 100));
    QTest::mouseClick(&view, Qt::RightButton, {}, QPoint(420, 300));
    view.grab();
    QCOMPARE(doc.m_nSelStart, 150); // unzoomed: the pixels as the mouse gave them
    const CSampleRange unzoomed = Reported(doc);
    QVERIFY(unzoomed.m_nCount > 100);

    // Zoomed in anywhere, to the selection, and panned: the same samples.
    const CPlotAxes& axes = doc.m_plot.m_axes;
    Wheel(view, QPointF(500, 200), 600);
    QCOMPARE(Reported(doc).m_nStart, unzoomed.m_nStart);
    QCOMPARE(Reported(doc).m_nCount, unzoomed.m_nCount);
    view.OnZoomToSelection();
    view.grab();
    QCOMPARE(Reported(doc).m_nStart, unzoomed.m_nStart);
    QCOMPARE(Reported(doc).m_nCount, unzoomed.m_nCount);
    // The markers stand at the ends of the zoomed range.
    QVERIFY(std::abs(view.m_ptLeft.x() - axes.m_nLeft) <= 1);
    QVERIFY(std::abs(view.m_ptRight.x() - (axes.m_nLeft + axes.m_nWidth)) <= 1);

    // A point placed while zoomed is finer than a pixel of the unzoomed plot: the sample under
    // the pointer, to a fraction of the samples one zoomed pixel holds.
    const int px = axes.m_nLeft + axes.m_nWidth / 2;
    const double x = axes.XAt(px);
    QTest::mouseClick(&view, Qt::LeftButton, {}, QPoint(px, 100));
    view.grab();
    const double expected = x / 1e-4; // sample i lies at i * 1e-4
    const double perPixel = axes.m_dXr / 1e-4 / axes.m_nWidth;
    QVERIFY2(std::abs(double(Reported(doc).m_nStart) - expected) <= perPixel + 1,
             qPrintable(QString("%1 %2").arg(Reported(doc).m_nStart).arg(expected)));
    QVERIFY(view.HasSelection());
}

void CTestKalvorView::ReadoutNamesEveryCurveAndTheSelection() {
    CKalvorDoc doc;
    GiveCurve(doc);
    doc.m_buffer.m_strFirstLabel = "Ia [A]";
    doc.m_buffer.m_vecMore.push_back({std::vector<double>(1000, 2.5), nullptr, "Ib [A]", {}});
    CKalvorView view(doc);
    view.resize(600, 400);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    view.grab();
    QSignalSpy spy(&view, &CKalvorView::StatusText);
    const CPlotAxes& axes = doc.m_plot.m_axes;
    const int px = int(std::lround(axes.PxOf(0.05))); // sample 500
    QTest::mouseMove(&view, QPoint(px, 200));
    QVERIFY(!spy.isEmpty());
    const QString text = spy.last().at(0).toString();
    // Each curve's value at the sample nearest to the pointer, whose time it names.
    const QRegularExpressionMatch at = QRegularExpression("at t = ([0-9.e+-]+) s:").match(text);
    QVERIFY2(at.hasMatch(), qPrintable(text));
    const long i = std::lround(at.captured(1).toDouble() / 1e-4);
    QVERIFY(std::abs(i - 500) <= 2);
    QVERIFY2(text.contains("Ia = " + QString::number(5 * std::sin(i * 0.02), 'g', 6) + " A"),
             qPrintable(text));
    QVERIFY2(text.contains("Ib = 2.5 A"), qPrintable(text));

    // A selection of 20 ms: its ends, its length and the frequency of that period.
    QTest::mouseClick(&view, Qt::LeftButton, {}, QPoint(int(std::lround(axes.PxOf(0.02))), 50));
    QTest::mouseClick(&view, Qt::RightButton, {}, QPoint(int(std::lround(axes.PxOf(0.04))), 50));
    const QString selected = spy.last().at(0).toString();
    const QRegularExpression dt("\u0394t = ([0-9.e+-]+) s +1/\u0394t = ([0-9.e+-]+) Hz");
    const QRegularExpressionMatch match = dt.match(selected);
    QVERIFY2(match.hasMatch(), qPrintable(selected));
    const double span = match.captured(1).toDouble();
    QVERIFY(std::abs(span - 0.02) < 2 * axes.m_dXr / axes.m_nWidth);
    QVERIFY(std::abs(match.captured(2).toDouble() * span - 1) < 1e-5);
}

void CTestKalvorView::PrintShowsTheZoomedView() {
    CKalvorDoc doc;
    GiveCurve(doc);
    CKalvorView view(doc);
    view.resize(400, 300);
    view.grab();
    Wheel(view, QPointF(200, 150), 480);
    QImage screen(400, 300, QImage::Format_RGB32);
    screen.fill(Qt::white);
    QPainter painter(&screen);
    view.Draw(painter, view.rect());
    painter.end();
    // A page of the view's size: the printed drawing is the screen's, zoom included.
    QImage page(400, 300, QImage::Format_RGB32);
    view.DrawScaled(page);
    QCOMPARE(page, screen);
    QVERIFY(view.Zoom().m_bX);
}

void CTestKalvorView::ImagesAreTheScreenDrawingAndLeaveTheViewAsItWas() {
    CKalvorDoc doc;
    GiveCurve(doc);
    CKalvorView view(doc);
    view.resize(600, 400);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    QTest::mouseClick(&view, Qt::LeftButton, {}, QPoint(150, 50));
    QTest::mouseClick(&view, Qt::RightButton, {}, QPoint(300, 300));
    const QImage screen = view.grab().toImage().convertToFormat(QImage::Format_RGB32);
    const int selStart = doc.m_nSelStart, plotRight = doc.m_nPlotRight;
    const CPlotAxes before = view.Axes();

    // PNG at the view's size: pixel for pixel what the screen shows; at another size the
    // curve spans that size. Neither moves what the mouse and the DFT work with.
    QTemporaryDir dir;
    const QString png = dir.filePath("plot.png"), big = dir.filePath("big.png");
    QCOMPARE(view.WriteImage(png, view.size(), false), QString());
    QCOMPARE(view.WriteImage(big, QSize(1200, 800), false), QString());
    QImage read(png);
    QCOMPARE(read.convertToFormat(QImage::Format_RGB32), screen);
    QImage large(big);
    QCOMPARE(large.size(), QSize(1200, 800));
    QVERIFY(RightmostRed(large) > 1100);
    QCOMPARE(doc.m_nSelStart, selStart);
    QCOMPARE(doc.m_nPlotRight, plotRight);
    QCOMPARE(view.Axes().m_nWidth, before.m_nWidth);

    // SVG: a document Qt reads back, whose picture holds the curve's red where the PNG has it.
    const QString svg = dir.filePath("plot.svg");
    QCOMPARE(view.WriteImage(svg, view.size(), true), QString());
    QSvgRenderer renderer(svg);
    QVERIFY(renderer.isValid());
    QImage drawn(view.size(), QImage::Format_RGB32);
    drawn.fill(Qt::white);
    {
        QPainter painter(&drawn);
        renderer.render(&painter);
    }
    QVERIFY(std::abs(RightmostRed(drawn) - RightmostRed(screen)) <= 1);

    // A destination that cannot be written is refused with its name; nothing is left behind.
    const QString refusal = view.WriteImage(dir.path(), view.size(), false);
    QVERIFY2(refusal.contains(dir.path()), qPrintable(refusal));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files).size(), 3);
}

void CTestKalvorView::TwoViewsOfOneDocumentMapTheMouseThroughTheirOwnAxes() {
    CKalvorDoc doc;
    GiveCurve(doc);
    CKalvorView wide(doc), narrow(doc);
    wide.resize(900, 400);
    narrow.resize(300, 400);
    wide.show();
    narrow.show();
    QVERIFY(QTest::qWaitForWindowExposed(&wide));
    QVERIFY(QTest::qWaitForWindowExposed(&narrow));
    wide.grab();
    narrow.grab(); // the narrow one drew last
    // A wheel step in the wide view zooms around the time under its own pointer.
    const double t = 0.05;
    const QPointF at(wide.Axes().PxOf(t), 200);
    QWheelEvent wheel(at, wide.mapToGlobal(at), QPoint(), QPoint(0, 120), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(&wide, &wheel);
    wide.grab();
    QVERIFY(wide.Zoom().m_bX);
    const double span = wide.Zoom().m_dXHi - wide.Zoom().m_dXLo;
    const double share = (t - wide.Zoom().m_dXLo) / span;
    const double pointerShare = (at.x() - wide.Axes().m_nLeft) / wide.Axes().m_nWidth;
    QVERIFY2(std::abs(share - pointerShare) < 2.0 / wide.Axes().m_nWidth,
             qPrintable(QString("%1 %2").arg(share).arg(pointerShare)));
    QVERIFY(!narrow.Zoom().m_bX);
}

void CTestKalvorView::TheLegendIsDraggedWithinThePlotAreaOfItsOwnView() {
    CKalvorDoc doc;
    GiveCurve(doc);
    doc.m_buffer.m_strFirstLabel = "Ia [A]";
    doc.m_buffer.m_vecMore.push_back({std::vector<double>(1000, 2.5), nullptr, "Ib [A]", {}});
    CKalvorView view(doc), other(doc);
    view.resize(600, 400);
    other.resize(600, 400);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    other.grab();
    view.grab();
    const QRect home = view.LegendRect();
    QVERIFY(!home.isEmpty());
    QCOMPARE(other.LegendRect(), home);
    const CPlotAxes& axes = view.Axes();
    const QRect area(axes.m_nLeft, axes.m_nTop, axes.m_nWidth, axes.m_nHeight);
    QVERIFY(area.contains(home));
    const int selStart = doc.m_nSelStart;

    // Dragged by its middle across the plot, then on beyond the plot area's bottom left corner.
    const auto drag = [&view](QPoint from, std::initializer_list<QPoint> path) {
        QTest::mousePress(&view, Qt::LeftButton, {}, from);
        for (const QPoint& to : path) {
            QMouseEvent move(QEvent::MouseMove, QPointF(to), view.mapToGlobal(QPointF(to)),
                             Qt::NoButton, Qt::LeftButton, {});
            QCoreApplication::sendEvent(&view, &move);
        }
        QTest::mouseRelease(&view, Qt::LeftButton, {}, *(path.end() - 1));
        view.grab();
    };
    const QPoint grip = home.center();
    const int dx = home.center().x() < area.center().x() ? 200 : -200;
    const int dy = home.center().y() < area.center().y() ? 150 : -150;
    drag(grip, {grip + QPoint(dx / 2, dy / 2), grip + QPoint(dx, dy)});
    QVERIFY(view.IsLegendMoved());
    QRect moved = view.LegendRect();
    QCOMPARE(moved.size(), home.size());
    QVERIFY2(std::abs(moved.left() - (home.left() + dx)) <= 1,
             qPrintable(QString("%1 from %2").arg(moved.left()).arg(home.left())));
    QVERIFY2(std::abs(moved.top() - (home.top() + dy)) <= 1,
             qPrintable(QString("%1 from %2").arg(moved.top()).arg(home.top())));
    QCOMPARE(doc.m_nSelStart, selStart); // grabbing the legend placed no marker
    drag(moved.center(), {moved.center() + QPoint(-1000, 1000)});
    moved = view.LegendRect();
    QVERIFY(area.contains(moved));
    QVERIFY(moved.left() <= area.left() + 2 && moved.bottom() >= area.bottom() - 2);

    // The other view keeps its own; a larger drawing of this one keeps the corner.
    other.grab();
    QCOMPARE(other.LegendRect(), home);
    const QImage image = view.Image(QSize(1200, 800));
    const QRect drawn = doc.m_plot.LegendRect();
    QVERIFY2(drawn.left() < 100 && drawn.bottom() > 800 - 15 - 4,
             qPrintable(QString("%1 %2").arg(drawn.left()).arg(drawn.bottom())));
    // Its frame is clear of the x axis, which stays black below it.
    QCOMPARE(image.pixelColor(drawn.center().x(), 800 - 15), QColor(Qt::black));
    QVERIFY(image.pixelColor(drawn.center().x(), drawn.bottom() + 1) != QColor(Qt::white));
    QCOMPARE(view.LegendRect(), moved); // the screen's stays

    // A double-click on it puts it back where it hides least.
    QTest::mouseDClick(&view, Qt::LeftButton, {}, moved.center());
    view.grab();
    QVERIFY(!view.IsLegendMoved());
    QCOMPARE(view.LegendRect(), home);
}

QTEST_MAIN(CTestKalvorView)
#include "tst_KalvorView.moc"
