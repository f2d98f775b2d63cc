// The view: mouse range selection, what it reports to the document, printing.
#include "KalvorDoc.h"
#include "KalvorView.h"

#include <QImage>
#include <QPainter>
#include <QPrinter>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <set>

namespace {

/// A document holding a valid sine curve, as "Plot result..." leaves it.
void GiveCurve(CKalvorDoc& doc) {
    doc.AllocPlot(1000);
    for (unsigned i = 0; i < 1000; ++i) {
        doc.m_pPlotX[i] = i * 1e-4;
        doc.m_pPlotY[i] = 5 * std::sin(i * 0.02);
    }
    doc.m_plot.SetLabels("t [s]", "Ia [A]");
    doc.m_nPlotType = 1;
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
    doc.m_pPlotY[10] = -10.631;
    doc.m_pPlotY[20] = 12.209;
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
    QTest::newRow("results not valid") << false << 1;
    QTest::newRow("a spectrum") << true << 20;
    QTest::newRow("hidden by a picture") << true << 0;
}

void CTestKalvorView::NothingIsReportedWithoutAValidCurve() {
    QFETCH(bool, valid);
    QFETCH(int, plotType);
    CKalvorDoc doc;
    GiveCurve(doc);
    doc.m_bValid = valid;
    doc.m_nPlotType = plotType;
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

QTEST_MAIN(CTestKalvorView)
#include "tst_KalvorView.moc"
