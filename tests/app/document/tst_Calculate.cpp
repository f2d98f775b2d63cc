// Calculate from the time dialog to the result plot, with every dialog driven by the test.
#include "CalculateRun.h"
#include "ModalScript.h"
#include "Solver.h"
#include "dialogs/CalcProg.h"
#include "dialogs/InvParam.h"
#include "dialogs/TimeParam.h"
#include "document/KalvorDoc.h"
#include "document/KalvorView.h"
#include "plot/ResPlot.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest>

namespace {

void Start(CTimeParam* pDialog) {
    pDialog->accept();
}

} // namespace

class CTestCalculate : public QObject {
    Q_OBJECT
private slots:
    void DefaultsGive20000RowsAndOpenTheResultPlot();
    void ReversedTimesWarnAndRunTheOrderedInterval();
    void CancelInTheTimeDialogChangesNothing();
    void TimeDialogRefusesValuesOutOfRange_data();
    void TimeDialogRefusesValuesOutOfRange();
    void TimeDialogGreysUc0WithoutACapacitor();
    void TimeDialogAcceptsValuesAtTheirBounds();
    void TimeDialogOffersTheLastAcceptedValues();
    void RefusedInputsKeepThePreviousRun();
    void CancelInTheResultPlotKeepsThePlotBuffer();
    void CancelledRunLeavesResultsNotValid();
    void PlotResultWithoutRunWarns();
    void PlotResultCopiesTheChosenColumn();
    void AddToPlotOverlaysUpToSixCurves();
    void ResultDialogFollowsTheConditionOfTheRun();
    void CurveOfAnotherRunKeepsItsSamplesAndTheDifferenceTakesTheFirstOnes();
    void FaultRunMarksItsOnsetAndClearing();
    void TripIsMarkedAndReportedInTheStatusBar();
    void SecondCalculateReplacesTheRun();
    void HalvedStepIsReportedAndNotOffered();
    void ProgressWindowShowsTheRangeAndTakesCancel();
    void ProgressWindowOfAComputationThatCannotStopOffersNoCancel();
};

void CTestCalculate::DefaultsGive20000RowsAndOpenTheResultPlot() {
    CKalvorDoc doc;
    QStringList shown;
    CModalScript script;
    script
        .Then<CTimeParam>([&](CTimeParam* p) {
            shown << p->m_pTs->text() << p->m_pTe->text() << p->m_pH->text() << p->m_pBetaR->text()
                  << p->m_pOmegaR->text();
            Start(p);
        })
        .Then<CResPlot>([](CResPlot* p) { p->accept(); });
    doc.OnCalculate(nullptr);

    QVERIFY(script.Done());
    QVERIFY2(script.m_unexpected.isEmpty(), qPrintable(script.m_unexpected.join('\n')));
    QCOMPARE(shown, QStringList({"0", "0.1", "5e-06", "0", "0"}));
    QCOMPARE(doc.m_nRows, 20000);
    QVERIFY(doc.m_pSolver);
    QVERIFY(doc.m_bValid);
    QVERIFY(doc.CanPlotResult());
    QCOMPARE(doc.m_buffer.m_nPlotType, kPlotCurve);
    QCOMPARE(doc.m_buffer.m_nPlotCount, 20000u);
    QCOMPARE(doc.m_buffer.m_strXLabel, QString("t [s]"));
    QCOMPARE(doc.m_buffer.m_strYLabel, QString("Ia [A]"));
    QVERIFY(!doc.IsModified());
}

void CTestCalculate::ReversedTimesWarnAndRunTheOrderedInterval() {
    CKalvorDoc doc;
    CModalScript script;
    script
        .Then<CTimeParam>([](CTimeParam* p) {
            p->m_pTs->setText("0.1");
            p->m_pTe->setText("0");
            Start(p);
        })
        .ThenMessage()
        .Then<CResPlot>([](CResPlot* p) { p->accept(); });
    doc.OnCalculate(nullptr);

    QVERIFY(script.Done());
    QVERIFY(script.m_unexpected.isEmpty());
    QCOMPARE(script.m_messages, QStringList({"ERROR|Tp > Tk?"}));
    QCOMPARE(doc.m_nRows, 20000);
    QVERIFY(doc.m_bValid);
    // The run covers 0 ... 0.1 s.
    QCOMPARE(doc.m_buffer.m_pPlotX.front(), 0.0);
    QVERIFY(qAbs(doc.m_buffer.m_pPlotX.back() - 0.1) < 1e-6);
    // The dialog keeps what the user typed; only the run uses the ordered interval.
    QCOMPARE(doc.m_params.m_time.m_dTs, 0.1);
    QCOMPARE(doc.m_params.m_time.m_dTe, 0.0);
    QVERIFY(doc.IsModified());
}

void CTestCalculate::CancelInTheTimeDialogChangesNothing() {
    CKalvorDoc doc;
    CModalScript script;
    script.Then<CTimeParam>([](CTimeParam* p) {
        p->m_pH->setText("0.001");
        p->reject();
    });
    doc.OnCalculate(nullptr);

    QVERIFY(script.Done());
    QVERIFY(!doc.m_pSolver);
    QVERIFY(!doc.m_bValid);
    QCOMPARE(doc.m_params.m_time.m_dH, 5e-6);
    QVERIFY(!doc.IsModified());
}

void CTestCalculate::TimeDialogRefusesValuesOutOfRange_data() {
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("named");
    QTest::newRow("h = 2") << "h"
                           << "2"
                           << "h =";
    QTest::newRow("h = -1e-6") << "h"
                               << "-1e-6"
                               << "h =";
    // Inside the field's range, but Calculate refuses it: the dialog says so with its words.
    QTest::newRow("h = 0") << "h"
                           << "0" << QString::fromStdString(StepRefusal(0));
    QTest::newRow("omegaR = 250") << "omegaR"
                                  << "250"
                                  << "omegaR =";
    QTest::newRow("betaR = 400") << "betaR"
                                 << "400"
                                 << "betaR =";
    QTest::newRow("betaR = -361") << "betaR"
                                  << "-361"
                                  << "betaR =";
    QTest::newRow("te not a number") << "te"
                                     << "abc"
                                     << "te =";
    QTest::newRow("ts decimal comma") << "ts"
                                      << "0,5"
                                      << "ts =";
    QTest::newRow("every = 0") << "every"
                               << "0"
                               << "store every";
    QTest::newRow("every = 2.5") << "every"
                                 << "2.5"
                                 << "store every";
}

void CTestCalculate::TimeDialogRefusesValuesOutOfRange() {
    QFETCH(QString, field);
    QFETCH(QString, text);
    QFETCH(QString, named);

    CTimeParams params;
    params.m_dTs = 0.02; // a value that must survive the refusal
    CTimeParam dialog(params);
    QLineEdit* pEdit = field == "h"        ? dialog.m_pH
                       : field == "omegaR" ? dialog.m_pOmegaR
                       : field == "betaR"  ? dialog.m_pBetaR
                       : field == "te"     ? dialog.m_pTe
                       : field == "every"  ? dialog.m_pEvery
                                           : dialog.m_pTs;
    pEdit->setText(text);
    dialog.m_pTs->setText(field == "ts" ? text : "0.05");
    dialog.show();

    CModalScript script;
    script.ThenMessage();
    dialog.accept();

    QVERIFY(script.Done());
    QCOMPARE(script.m_messages.size(), 1);
    QVERIFY2(script.m_messages[0].contains(named), qPrintable(script.m_messages[0]));
    QVERIFY(dialog.isVisible());
    QCOMPARE(dialog.result(), int(QDialog::Rejected));
    // Nothing is stored until every field is accepted.
    QCOMPARE(params.m_dTs, 0.02);
    QCOMPARE(params.m_dH, 5e-6);
}

void CTestCalculate::TimeDialogAcceptsValuesAtTheirBounds() {
    CTimeParams params;
    CTimeParam dialog(params);
    dialog.m_pH->setText("1e-300");
    dialog.m_pOmegaR->setText(" -200 ");
    dialog.m_pBetaR->setText("360");
    dialog.m_pEvery->setText("20");
    dialog.m_pUc0->setText("-100"); // a capacitor charged the other way round
    QVERIFY(!dialog.m_pExact->isChecked());
    dialog.m_pExact->setChecked(true);
    CModalScript script;
    dialog.accept();
    QVERIFY(script.m_unexpected.isEmpty());
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(params.m_nEvery, 20);
    QCOMPARE(params.m_dUc0, -100.0);
    QCOMPARE(params.m_dH, 1e-300);
    QCOMPARE(params.m_dOmegaR, -200.0);
    QCOMPARE(params.m_dBetaR, 360.0);
    QVERIFY(params.m_bExact);
}

void CTestCalculate::TimeDialogGreysUc0WithoutACapacitor() {
    for (int condition = 0; condition < 4; ++condition) {
        CTimeParams params;
        CTimeParam dialog(params, nullptr, condition);
        QCOMPARE(dialog.m_pUc0->isEnabled(), condition == 0 || condition == 2);
    }
}

void CTestCalculate::TimeDialogOffersTheLastAcceptedValues() {
    CKalvorDoc doc;
    QString betaShown;
    QVERIFY(CalculateThroughDialogs(doc, {.m_bAcceptPlot = false, .m_edit = [](CTimeParam* p) {
                                              p->m_pBetaR->setText("90");
                                          }}));
    {
        CModalScript script;
        script.Then<CTimeParam>([&](CTimeParam* p) {
            betaShown = p->m_pBetaR->text();
            p->m_pBetaR->setText("45");
            p->reject();
        });
        doc.OnCalculate(nullptr);
        QVERIFY(script.Done());
    }
    QCOMPARE(betaShown, QString("90"));
    QCOMPARE(doc.m_params.m_time.m_dBetaR, 90.0);
}

void CTestCalculate::RefusedInputsKeepThePreviousRun() {
    CKalvorDoc doc;
    QVERIFY(CalculateThroughDialogs(doc));
    const CSolver* pFirst = doc.m_pSolver.get();
    QVERIFY(pFirst);
    CModalScript script;
    script
        .Then<CTimeParam>([](CTimeParam* p) {
            p->m_pTs->setText("0.05");
            p->m_pTe->setText("0.05");
            Start(p);
        })
        .ThenMessage() // "Tp > Tk?": ts is not before te
        .ThenMessage();
    doc.OnCalculate(nullptr);

    QVERIFY(script.Done());
    QVERIFY(script.m_messages[1].startsWith("ERROR|"));
    QVERIFY2(script.m_messages[1].contains("empty"), qPrintable(script.m_messages[1]));
    QCOMPARE(doc.m_pSolver.get(), pFirst);
    QVERIFY(doc.m_bValid);
    QVERIFY(doc.CanPlotResult());
}

void CTestCalculate::CancelInTheResultPlotKeepsThePlotBuffer() {
    CKalvorDoc doc;
    QVERIFY(CalculateThroughDialogs(doc, {.m_bAcceptPlot = false}));
    QVERIFY(doc.m_bValid);
    QVERIFY(doc.CanPlotResult());
    QCOMPARE(doc.m_buffer.m_nPlotCount, 0u);
    QVERIFY(doc.m_buffer.m_pPlotX.empty());
    QCOMPARE(doc.m_buffer.m_nPlotType, kPlotPicture);
}

void CTestCalculate::CancelledRunLeavesResultsNotValid() {
    CKalvorDoc doc;
    CModalScript script;
    script
        .Then<CTimeParam>([](CTimeParam* p) {
            p->m_pTe->setText("10");
            Start(p);
        })
        .Then<CCalcProg>([](CCalcProg* p) { p->m_pCancel->click(); })
        .ThenMessage();
    doc.OnCalculate(nullptr);

    QVERIFY(script.Done());
    QCOMPARE(script.m_messages.size(), 1);
    QVERIFY2(script.m_messages[0].contains("cancelled"), qPrintable(script.m_messages[0]));
    QVERIFY(!doc.m_bValid);
    QVERIFY(!doc.CanPlotResult());
    QCOMPARE(doc.m_runStatus, ECalcStatus::Cancelled);
}

void CTestCalculate::PlotResultWithoutRunWarns() {
    CKalvorDoc doc;
    CModalScript script;
    script.ThenMessage();
    doc.OnPlotResult(nullptr);
    QVERIFY(script.Done());
    QCOMPARE(script.m_messages, QStringList({"WARNING|You have to calculate first!"}));
    QCOMPARE(doc.m_buffer.m_nPlotType, kPlotPicture);
}

void CTestCalculate::PlotResultCopiesTheChosenColumn() {
    CKalvorDoc doc;
    QVERIFY(CalculateThroughDialogs(doc));
    doc.m_nPicture = 3;
    int chosenBefore = -1;
    CModalScript script;
    script.Then<CResPlot>([&](CResPlot* p) {
        chosenBefore = p->m_nResult;
        for (QRadioButton* pButton : p->findChildren<QRadioButton*>())
            if (pButton->text().remove('&') == CResPlot::ButtonText(18)) // "omegaR"
                pButton->click();
        p->accept();
    });
    doc.OnPlotResult(nullptr);

    QVERIFY(script.Done());
    QCOMPARE(chosenBefore, 0);
    QCOMPARE(doc.m_params.m_resultPlot.m_nResult, 18);
    QCOMPARE(doc.m_nPicture, 0);
    QCOMPARE(doc.m_buffer.m_nPlotType, kPlotCurve);
    QCOMPARE(doc.m_buffer.m_strYLabel, QString("omegaR [rad/s]"));
    QCOMPARE(int(doc.m_buffer.m_nPlotCount), doc.m_nRows);
    for (int r = 0; r < doc.m_nRows; ++r) {
        QCOMPARE(doc.m_buffer.m_pPlotX[r], doc.m_pSolver->m_ppResTab[r][0]);
        QCOMPARE(doc.m_buffer.m_pPlotY[r], doc.m_pSolver->m_ppResTab[r][22]);
    }
}

/// "Plot result..." choosing index with OK or "Add to plot"; bRefused expects a message after.
void PlotResult(CKalvorDoc& doc, int index, bool add, CModalScript& script, bool bRefused = false) {
    script.Then<CResPlot>([index, add](CResPlot* p) {
        for (QRadioButton* pButton : p->findChildren<QRadioButton*>())
            if (pButton->text() == CResPlot::ButtonText(index))
                pButton->click();
        for (QPushButton* pButton : p->findChildren<QPushButton*>())
            if (pButton->text().remove('&') == (add ? "Add to plot" : "OK"))
                pButton->click();
    });
    if (bRefused)
        script.ThenMessage();
    doc.OnPlotResult(nullptr);
}

void CTestCalculate::AddToPlotOverlaysUpToSixCurves() {
    CKalvorDoc doc;
    QVERIFY(CalculateThroughDialogs(doc)); // ia
    CModalScript script;
    for (int index : {1, 2, 22, 23, 24}) // ib, ic, ua, ub, uc
        PlotResult(doc, index, true, script);
    QCOMPARE(doc.CurveCount(), 6);
    const std::vector<CPlotPrint::SCurve> curves = doc.Curves();
    const QStringList labels = {"Ia [A]", "Ib [A]", "Ic [A]", "Ua [V]", "Ub [V]", "Uc [V]"};
    const int columns[] = {1, 2, 3, 4, 5, 6};
    for (int c = 0; c < 6; ++c) {
        QCOMPARE(curves[c].m_strLabel, labels[c]);
        for (int r = 0; r < doc.m_nRows; r += 37)
            QCOMPARE(curves[c].m_pY[r], doc.m_pSolver->m_ppResTab[r][columns[c]]);
    }
    // Currents on the left axis, voltages on the right one.
    QCOMPARE(doc.m_buffer.m_strYLabel, QString("Ia, Ib, Ic [A]"));
    QCOMPARE(doc.m_buffer.m_strY2Label, QString("Ua, Ub, Uc [V]"));
    for (int c = 0; c < 6; ++c)
        QCOMPARE(curves[c].m_nAxis, c < 3 ? 0 : 1);

    // A seventh is refused with a message; OK replaces them all by one. A third unit is refused
    // too: the plot has two y axes.
    PlotResult(doc, 1, false, script);
    PlotResult(doc, 22, true, script);
    PlotResult(doc, 18, true, script, true); // omegaR [rad/s]
    QVERIFY(script.Done());
    QCOMPARE(doc.CurveCount(), 2);
    QVERIFY2(script.m_messages.value(0).contains("omegaR [rad/s] was not added"),
             qPrintable(script.m_messages.join('\n')));
    for (int index : {0, 2, 23, 24})
        PlotResult(doc, index, true, script);
    QCOMPARE(doc.CurveCount(), 6);
    script.m_messages.clear();
    PlotResult(doc, 18, true, script, true);
    QVERIFY(script.Done());
    QCOMPARE(script.m_messages.size(), 1);
    QCOMPARE(doc.CurveCount(), 6);
    PlotResult(doc, 18, false, script);
    QVERIFY(script.Done());
    QCOMPARE(doc.CurveCount(), 1);
    QCOMPARE(doc.Curves()[0].m_strLabel, QString("omegaR [rad/s]"));
}

void CTestCalculate::CurveOfAnotherRunKeepsItsSamplesAndTheDifferenceTakesTheFirstOnes() {
    CKalvorDoc healthy, faulty;
    healthy.SetTitle("Healthy");
    faulty.SetTitle("Faulty");
    QVERIFY(CalculateThroughDialogs(healthy, {.m_pszTe = "0.002", .m_pszEvery = "1"}));
    faulty.m_params.m_failures.m_nFailT[0] = 2;
    faulty.m_params.m_failures.m_dOnset = 0.001;
    QVERIFY(CalculateThroughDialogs(faulty, {.m_pszTe = "0.003", .m_pszEvery = "2"}));
    QCOMPARE(healthy.m_nRows, 400);
    QCOMPARE(faulty.m_nRows, 301); // every second of 600 steps and the last

    // The chooser offers this document first and the other one after it; choosing the other
    // applies the conditions of its results.
    QStringList offered;
    CModalScript script;
    script.Then<CResPlot>([&](CResPlot* p) {
        auto* pBox = p->findChild<QComboBox*>();
        for (int i = 0; pBox && i < pBox->count(); ++i)
            offered << pBox->itemText(i);
        pBox->setCurrentIndex(1);
        for (QPushButton* pButton : p->findChildren<QPushButton*>())
            if (pButton->text().remove('&') == "Add to plot")
                pButton->click();
    });
    healthy.OnPlotResult(nullptr, {&healthy, &faulty});
    QVERIFY(script.Done());
    QCOMPARE(offered, QStringList({"Healthy", "Faulty"}));
    QCOMPARE(healthy.CurveCount(), 2);
    const std::vector<CPlotPrint::SCurve> curves = healthy.Curves();
    QCOMPARE(curves[0].m_strLabel, QString("Ia [A] \u00b7 Healthy"));
    QCOMPARE(curves[1].m_strLabel, QString("Ia [A] \u00b7 Faulty"));
    QVERIFY(!curves[0].m_pX);
    QVERIFY(curves[1].m_pX);
    QCOMPARE(curves[1].m_nCount, std::size_t(301));
    for (int r = 0; r < 300; r += 13) {
        QCOMPARE(curves[1].m_pX[r], faulty.m_pSolver->m_ppResTab[r][0]);
        QCOMPARE(curves[1].m_pY[r], faulty.m_pSolver->m_ppResTab[r][1]);
    }
    QCOMPARE(healthy.m_buffer.m_strYLabel, QString("Ia [A]"));

    // The x range spans both runs; the readout gives each curve's own sample near the pointer.
    CKalvorView view(healthy);
    view.resize(800, 500);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    view.grab();
    const CPlotAxes& axes = view.Axes();
    QVERIFY(axes.m_dHomeXMin + axes.m_dHomeXr >= 0.003 - 1e-12);
    QSignalSpy spy(&view, &CKalvorView::StatusText);
    const int px = int(std::lround(axes.PxOf(0.0025))); // beyond the healthy run's end
    QTest::mouseMove(&view, QPoint(px, 200));
    QVERIFY(!spy.isEmpty());
    const QString text = spy.last().at(0).toString();
    const long r = std::lround(axes.XAt(px) / 1e-5);
    bool bNamed = false;
    for (long k = r - 1; k <= r + 1; ++k)
        bNamed =
            bNamed || text.contains("Ia \u00b7 Faulty = " +
                                    QString::number(faulty.m_pSolver->m_ppResTab[k][1], 'g', 6));
    QVERIFY2(bNamed, qPrintable(text));

    // The difference: the healthy run's samples (all lie within the faulty run's range).
    // Both runs integrate the same drive with the same step until the fault at 1 ms, so
    // before it only the interpolation of the faulty run's coarser samples is left; after it
    // the broken transistor shows.
    double peak = 0;
    for (int r = 0; r < 400; ++r)
        peak = std::max(peak, std::abs(healthy.m_buffer.m_pPlotY[r]));
    healthy.OnDifference(nullptr);
    QCOMPARE(healthy.CurveCount(), 1);
    QCOMPARE(healthy.m_buffer.m_nPlotCount, 400u);
    QCOMPARE(healthy.m_buffer.m_strYLabel,
             QString("Ia \u00b7 Healthy \u2212 Ia \u00b7 Faulty [A]"));
    double before = 0, after = 0;
    for (unsigned r = 0; r < healthy.m_buffer.m_nPlotCount; ++r)
        (healthy.m_buffer.m_pPlotX[r] < 0.001 ? before : after) =
            std::max(healthy.m_buffer.m_pPlotX[r] < 0.001 ? before : after,
                     std::abs(healthy.m_buffer.m_pPlotY[r]));
    QVERIFY2(before < 0.05 * peak && after > 10 * before,
             qPrintable(QString("%1 %2 %3").arg(before).arg(after).arg(peak)));
}

void CTestCalculate::ResultDialogFollowsTheConditionOfTheRun() {
    CKalvorDoc doc;
    QVERIFY(CalculateThroughDialogs(doc)); // condition 0: the inverter, every result offered
    // A condition clicked in the control dialog is stored at once, even when it is cancelled.
    {
        CModalScript script;
        script.Then<CInvParam>([](CInvParam* p) {
            p->findChild<QButtonGroup*>("m_nCondition")->button(1)->click();
            p->reject();
        });
        doc.OnControl(nullptr);
        QVERIFY(script.Done());
    }
    QCOMPARE(doc.m_params.m_control.m_nCondition, 1);
    QVERIFY(doc.m_bValid);
    bool bTransistorOffered = false;
    int nCondition = -1;
    CModalScript script;
    script.Then<CResPlot>([&](CResPlot* p) {
        nCondition = p->m_nCondition;
        for (QRadioButton* pButton : p->findChildren<QRadioButton*>())
            if (pButton->text() == "iT1")
                bTransistorOffered = pButton->isEnabled();
        p->reject();
    });
    doc.OnPlotResult(nullptr);
    QVERIFY(script.Done());
    QCOMPARE(nCondition, 0);
    QVERIFY(bTransistorOffered);
}

void CTestCalculate::FaultRunMarksItsOnsetAndClearing() {
    CKalvorDoc doc;
    QVERIFY(CalculateThroughDialogs(doc));
    QVERIFY(doc.m_buffer.m_aMarkers.empty()); // no failure, no marker
    doc.m_params.m_failures.m_nFailT[0] = 1;
    doc.m_params.m_failures.m_dOnset = 0.0005;
    doc.m_params.m_failures.m_dClear = 0.0015;
    QVERIFY(CalculateThroughDialogs(doc));
    const std::vector<CPlotPrint::SMarker> markers = doc.m_buffer.m_aMarkers;
    QCOMPARE(markers.size(), std::size_t(2));
    QCOMPARE(markers[0].m_dX, 0.0005);
    QCOMPARE(markers[1].m_dX, 0.0015);
    // Failures changed after the run do not move the marks of its results.
    doc.m_params.m_failures.m_dOnset = 0.001;
    CModalScript script;
    PlotResult(doc, 1, false, script);
    QCOMPARE(doc.m_buffer.m_aMarkers.front().m_dX, 0.0005);

    // Drawn as a dashed line at its time with its label, over the curves.
    CKalvorView view(doc);
    view.resize(800, 500);
    QImage image = view.grab().toImage();
    const CPlotAxes& axes = doc.m_plot.m_axes;
    const int px = int(axes.m_nLeft + (0.0005 - axes.m_dXMin) * axes.m_nWidth / axes.m_dXr);
    int dark = 0;
    for (int x = px - 1; x <= px + 1; ++x)
        for (int y = axes.m_nTop + 40; y < axes.m_nBottom; ++y)
            dark += image.pixelColor(x, y) == QColor(60, 60, 60) ? 1 : 0;
    QVERIFY2(dark > axes.m_nHeight / 4, qPrintable(QString::number(dark)));
}

void CTestCalculate::TripIsMarkedAndReportedInTheStatusBar() {
    CKalvorDoc doc;
    doc.m_params.m_protection.m_dUovp = 150; // the link charges from 0 to 200 V
    QSignalSpy notes(&doc, &CKalvorDoc::StatusMessage);
    QVERIFY(CalculateThroughDialogs(doc));
    QVERIFY(doc.m_pSolver);
    const CRunEvent* pTrip = doc.m_pSolver->m_events.FirstTrip();
    QVERIFY(pTrip);
    QCOMPARE(notes.size(), 1);
    const QString note = notes[0][0].toString();
    QVERIFY2(note.startsWith("Protection tripped at t = ") && note.contains("overvoltage of Uc"),
             qPrintable(note));
    QCOMPARE(doc.m_buffer.m_aMarkers.size(), std::size_t(1));
    QCOMPARE(doc.m_buffer.m_aMarkers[0].m_dX, pTrip->m_dT);
    QVERIFY(doc.m_buffer.m_aMarkers[0].m_strText.startsWith("trip Uc "));
    // A run without a trip says nothing and marks nothing.
    doc.m_params.m_protection.m_dUovp = 0;
    notes.clear();
    QVERIFY(CalculateThroughDialogs(doc));
    QVERIFY(notes.isEmpty());
    QVERIFY(doc.m_buffer.m_aMarkers.empty());
}

void CTestCalculate::SecondCalculateReplacesTheRun() {
    CKalvorDoc doc;
    for (const char* pszEnd : {"0.002", "0.001"}) {
        QVERIFY(CalculateThroughDialogs(doc, {.m_pszTe = pszEnd}));
    }
    QCOMPARE(doc.m_nRows, 200);
    QCOMPARE(int(doc.m_pSolver->m_nRows), 200);
    QCOMPARE(doc.m_buffer.m_nPlotCount, 200u);
}

void CTestCalculate::HalvedStepIsReportedAndNotOffered() {
    CKalvorDoc doc;
    QVERIFY(CalculateThroughDialogs(doc));
    const std::vector<double> plotted = doc.m_buffer.m_pPlotY;
    // A step of 1 ms is far too coarse for the switching circuit: the run halves it.
    CModalScript script;
    script
        .Then<CTimeParam>([](CTimeParam* p) {
            p->m_pTe->setText("0.01");
            p->m_pH->setText("0.001");
            Start(p);
        })
        .ThenMessage();
    doc.OnCalculate(nullptr);

    QVERIFY(script.Done());
    QVERIFY(script.m_unexpected.isEmpty());
    QCOMPARE(script.m_messages, QStringList({"ERROR|Set smaller calculation step!"}));
    QCOMPARE(doc.m_runStatus, ECalcStatus::StepHalved);
    QVERIFY(doc.m_pSolver);
    QCOMPARE(doc.m_nRows, 10);
    QVERIFY(doc.m_pSolver->m_nStepCount != doc.m_nRows - 1);
    // The earlier curve is untouched and stays valid; the new results are not offered.
    QVERIFY(doc.m_bValid);
    QVERIFY(doc.m_buffer.m_pPlotY == plotted);
    QVERIFY(!doc.CanPlotResult());
    QVERIFY(doc.CanExportPlot());
}

void CTestCalculate::ProgressWindowOfAComputationThatCannotStopOffersNoCancel() {
    CCalcProg progress;
    progress.SetCancellable(false);
    progress.Open(0, 10);
    QVERIFY(!progress.m_pCancel->isVisible());
    progress.reject(); // Escape
    QVERIFY(!progress.IsCancelled());
    progress.Close();
}

void CTestCalculate::ProgressWindowShowsTheRangeAndTakesCancel() {
    CCalcProg progress;
    QVERIFY(!progress.isVisible());
    progress.Open(1, 20000);
    QVERIFY(progress.isVisible());
    QCOMPARE(progress.windowTitle(), QString("Calculate progress"));
    QCOMPARE(progress.m_progress->minimum(), 1);
    QCOMPARE(progress.m_progress->maximum(), 20000);
    QCOMPARE(progress.m_progress->value(), 1);
    // Positions are shown at most every few tens of milliseconds: the bar moves once the
    // throttle lets it, however long the machine takes to get there.
    QTRY_COMPARE_WITH_TIMEOUT((progress.SetPos(12000), progress.m_progress->value()), 12000, 30000);
    QVERIFY2(progress.m_pTimes->text().startsWith("elapsed 0:"),
             qPrintable(progress.m_pTimes->text()));
    QVERIFY(!progress.IsCancelled());

    progress.m_pCancel->click();
    QVERIFY(progress.IsCancelled());
    progress.Close();
    QVERIFY(!progress.isVisible());
    // The next computation starts afresh.
    progress.Open(0, 10);
    QVERIFY(!progress.IsCancelled());
    QVERIFY(progress.m_pCancel->isEnabled());
    progress.Close();
}

QTEST_MAIN(CTestCalculate)
#include "tst_Calculate.moc"
