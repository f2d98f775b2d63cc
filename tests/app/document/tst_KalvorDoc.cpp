// The document: plot buffer, command availability, parameter dialogs, pictures and the file.
#include "ModalScript.h"
#include "ParamFile.h"
#include "Solver.h"
#include "document/KalvorDoc.h"

#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

namespace {

/// Stands for a parameter dialog: changes a value of the set, optionally stores it before
/// closing (as a button handler would), and closes with OK or Cancel.
class CFakeParamDialog : public QDialog {
public:
    CFakeParamDialog(CParamSet& params, bool bStoreEarly, bool bAccept)
        : m_params(params), m_bStoreEarly(bStoreEarly), m_bAccept(bAccept) {}
    int exec() override {
        if (m_bStoreEarly || m_bAccept)
            m_params.m_control.m_dUd = 150;
        return m_bAccept ? Accepted : Rejected;
    }

private:
    CParamSet& m_params;
    bool m_bStoreEarly;
    bool m_bAccept;
};

/// Puts an accepted or a rejected run of nRows rows into the document, as Calculate leaves it.
void GiveRun(CKalvorDoc& doc, int nRows, bool bAccepted) {
    doc.m_pSolver = std::make_unique<CSolver>(nRows, 17, 16, 36);
    doc.m_pSolver->m_nStepCount = bAccepted ? nRows - 1 : nRows + 3;
    doc.m_nRows = nRows;
    doc.m_runStatus = bAccepted ? ECalcStatus::Accepted : ECalcStatus::StepHalved;
    if (bAccepted)
        doc.m_bValid = true;
}

struct CAvailability {
    bool m_bPlotResult;
    bool m_bProcess;
    bool m_bExportPlot;
};

CAvailability Availability(const CKalvorDoc& doc) {
    return {doc.CanPlotResult(), doc.CanProcessPlot(), doc.CanExportPlot()};
}

} // namespace

class CTestKalvorDoc : public QObject {
    Q_OBJECT
private slots:
    void NewDocumentHasDefaultsAndNothingAvailable();
    void AllocPlotGivesThreeZeroArraysOfEqualLength();
    void AvailabilityFollowsTheRun();
    void SpectrumIsNotProcessedAgain();
    void OkInAParameterDialogInvalidatesResultsAndModifies();
    void CancelInAParameterDialogKeepsResults_data();
    void CancelInAParameterDialogKeepsResults();
    void FailuresAvailableWithInverterOrRectifier_data();
    void FailuresAvailableWithInverterOrRectifier();
    void PictureCommandsToggleAndHideThePlot();
    void NoneHidesThePictureOnly();
    void SavedParametersOpenAgain();
    void EmptyFileOpensWithDefaults();
    void RefusedFileChangesNothing();
    void SaveToAnUnwritablePlaceFails();
    void SaveThroughALinkKeepsTheLinkAndEveryOtherFile();
    void SaveModifiedAsksOnlyWhenModified();
    void SaveModifiedYesSavesToTheDocumentsFile();
};

void CTestKalvorDoc::NewDocumentHasDefaultsAndNothingAvailable() {
    CKalvorDoc doc;
    QVERIFY(doc.m_params == CParamSet{});
    QVERIFY(!doc.m_bValid);
    QVERIFY(!doc.m_pSolver);
    QCOMPARE(doc.m_nPicture, 0);
    QVERIFY(!doc.CanPlotResult());
    QVERIFY(!doc.CanProcessPlot());
    QVERIFY(!doc.CanExportPlot());
    QVERIFY(doc.CanEditFailures());
    QVERIFY(!doc.IsModified());
}

void CTestKalvorDoc::AllocPlotGivesThreeZeroArraysOfEqualLength() {
    CKalvorDoc doc;
    doc.AllocPlot(5);
    doc.m_buffer.m_pPlotX[4] = 1;
    doc.m_buffer.m_pPlotY[0] = 2;
    doc.m_buffer.m_pPlotTmp[2] = 3;
    doc.AllocPlot(7);
    QCOMPARE(doc.m_buffer.m_nPlotCount, 7u);
    for (const auto* pArray :
         {&doc.m_buffer.m_pPlotX, &doc.m_buffer.m_pPlotY, &doc.m_buffer.m_pPlotTmp}) {
        QCOMPARE(pArray->size(), std::size_t(7));
        for (double value : *pArray)
            QCOMPARE(value, 0.0);
    }
}

void CTestKalvorDoc::AvailabilityFollowsTheRun() {
    CKalvorDoc doc;
    GiveRun(doc, 10, false);
    QVERIFY(!doc.m_bValid);
    auto a = Availability(doc);
    QVERIFY(!a.m_bPlotResult && !a.m_bProcess && !a.m_bExportPlot);

    // A rejected run after a valid plot: the old curve stays usable, its results do not.
    doc.m_bValid = true;
    doc.m_buffer.m_nPlotType = kPlotCurve;
    a = Availability(doc);
    QVERIFY(!a.m_bPlotResult && a.m_bProcess && a.m_bExportPlot);

    GiveRun(doc, 10, true);
    a = Availability(doc);
    QVERIFY(a.m_bPlotResult && a.m_bProcess && a.m_bExportPlot);

    // A stopped or cancelled run whose step count happens to match is still not accepted.
    doc.m_runStatus = ECalcStatus::Cancelled;
    QVERIFY(!doc.CanPlotResult());
}

void CTestKalvorDoc::SpectrumIsNotProcessedAgain() {
    CKalvorDoc doc;
    doc.m_bValid = true;
    doc.m_buffer.m_nPlotType = kPlotSpectrum;
    QVERIFY(!doc.CanProcessPlot());
    QVERIFY(doc.CanExportPlot());
    // A picture hides the spectrum (kind 0): the hidden buffer may be processed again.
    doc.OnView2D();
    QVERIFY(doc.CanProcessPlot());
}

void CTestKalvorDoc::OkInAParameterDialogInvalidatesResultsAndModifies() {
    CKalvorDoc doc;
    GiveRun(doc, 10, true);
    doc.AllocPlot(10);
    doc.m_buffer.m_nPlotType = kPlotCurve;
    const CSolver* pSolver = doc.m_pSolver.get();
    QSignalSpy redraws(&doc, &CKalvorDoc::UpdateAllViews);

    CFakeParamDialog dialog(doc.m_params, false, true);
    QVERIFY(doc.RunParamDialog(dialog));

    QVERIFY(!doc.m_bValid);
    QVERIFY(doc.IsModified());
    QCOMPARE(doc.m_params.m_control.m_dUd, 150.0);
    QCOMPARE(doc.m_pSolver.get(), pSolver);
    QCOMPARE(doc.m_buffer.m_nPlotCount, 10u);
    QVERIFY(redraws.count() >= 1);
    auto a = Availability(doc);
    QVERIFY(!a.m_bPlotResult && !a.m_bProcess && !a.m_bExportPlot);
}

void CTestKalvorDoc::CancelInAParameterDialogKeepsResults_data() {
    QTest::addColumn<bool>("storeEarly");
    QTest::newRow("nothing stored") << false;
    QTest::newRow("a button stored values") << true;
}

void CTestKalvorDoc::CancelInAParameterDialogKeepsResults() {
    QFETCH(bool, storeEarly);
    CKalvorDoc doc;
    GiveRun(doc, 10, true);
    CFakeParamDialog dialog(doc.m_params, storeEarly, false);
    QVERIFY(!doc.RunParamDialog(dialog));
    QVERIFY(doc.m_bValid);
    QVERIFY(doc.CanPlotResult());
    QCOMPARE(doc.IsModified(), storeEarly);
}

void CTestKalvorDoc::FailuresAvailableWithInverterOrRectifier_data() {
    QTest::addColumn<int>("condition");
    QTest::addColumn<bool>("available");
    QTest::newRow("1 - Motor supplied by inverter") << 0 << true;
    QTest::newRow("2 - Motor supplied by 3 phase voltage") << 1 << false;
    QTest::newRow("3 - Generator supplying recifier with RC load") << 2 << true;
    QTest::newRow("4 - Generator supplying 3 phase R load") << 3 << false;
}

void CTestKalvorDoc::FailuresAvailableWithInverterOrRectifier() {
    QFETCH(int, condition);
    QFETCH(bool, available);
    CKalvorDoc doc;
    doc.m_params.m_control.m_nCondition = condition;
    QCOMPARE(doc.CanEditFailures(), available);
}

void CTestKalvorDoc::PictureCommandsToggleAndHideThePlot() {
    CKalvorDoc doc;
    doc.m_bValid = true;
    doc.m_buffer.m_nPlotType = kPlotCurve;
    QSignalSpy redraws(&doc, &CKalvorDoc::UpdateAllViews);

    doc.OnView2D();
    QCOMPARE(doc.m_nPicture, 1);
    QCOMPARE(doc.m_buffer.m_nPlotType, kPlotPicture);
    doc.OnView2D();
    QCOMPARE(doc.m_nPicture, 0);
    QCOMPARE(doc.m_buffer.m_nPlotType, kPlotPicture); // the curve does not come back
    doc.OnViewCircuit();
    QCOMPARE(doc.m_nPicture, 3);
    doc.OnView3D();
    QCOMPARE(doc.m_nPicture, 2);
    doc.OnResultsTableOrder();
    QCOMPARE(doc.m_nPicture, 4);
    doc.OnResultsTableOrder();
    QCOMPARE(doc.m_nPicture, 0);
    QCOMPARE(redraws.count(), 6);
    // The buffer stays valid and may still be processed.
    QVERIFY(doc.CanProcessPlot());
}

void CTestKalvorDoc::NoneHidesThePictureOnly() {
    CKalvorDoc doc;
    doc.m_buffer.m_nPlotType = kPlotCurve;
    doc.m_nPicture = 3;
    QSignalSpy redraws(&doc, &CKalvorDoc::UpdateAllViews);
    doc.OnViewNone();
    QCOMPARE(doc.m_nPicture, 0);
    QCOMPARE(doc.m_buffer.m_nPlotType, kPlotCurve);
    QCOMPARE(redraws.count(), 1);
}

void CTestKalvorDoc::SavedParametersOpenAgain() {
    QTemporaryDir dir;
    const QString strPath = dir.filePath("drive.kalvor");
    CKalvorDoc doc;
    doc.m_params.m_control.m_dUd = 150;
    doc.m_params.m_control.m_strSpeedPath = "0*50*0.05*100*";
    doc.m_params.m_motor.m_nNhInd = 2;
    doc.m_params.m_failures.m_nFailT[3] = 1;
    doc.m_params.m_time.m_dH = 1e-5;
    doc.SetModifiedFlag();
    QSignalSpy used(&doc, &CKalvorDoc::PathUsed);
    QString strError;
    QVERIFY2(doc.OnSaveDocument(strPath, &strError), qPrintable(strError));
    QVERIFY(!doc.IsModified());
    QCOMPARE(doc.Title(), QString("drive.kalvor"));
    QCOMPARE(used.count(), 1);

    CKalvorDoc opened;
    QVERIFY2(opened.OnOpenDocument(strPath, &strError), qPrintable(strError));
    QVERIFY(opened.m_params == doc.m_params);
    QCOMPARE(opened.PathName(), strPath);
    QCOMPARE(opened.Title(), QString("drive.kalvor"));
    QVERIFY(!opened.IsModified());
}

void CTestKalvorDoc::EmptyFileOpensWithDefaults() {
    QTemporaryDir dir;
    const QString strPath = dir.filePath("old");
    QFile file(strPath);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    CKalvorDoc doc;
    doc.m_params.m_control.m_dUd = 1;
    QString strError;
    QVERIFY(doc.OnOpenDocument(strPath, &strError));
    QVERIFY(doc.m_params == CParamSet{});
}

void CTestKalvorDoc::RefusedFileChangesNothing() {
    QTemporaryDir dir;
    const QString strPath = dir.filePath("bad.kalvor");
    QFile file(strPath);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(R"({"control": {"Cu": 0.00005}})");
    file.close();
    CKalvorDoc doc;
    doc.SetTitle("Kalvo1");
    doc.m_params.m_control.m_dUd = 123;
    QSignalSpy used(&doc, &CKalvorDoc::PathUsed);
    QString strError;
    QVERIFY(!doc.OnOpenDocument(strPath, &strError));
    QVERIFY2(strError.contains("Cu"), qPrintable(strError));
    QVERIFY2(strError.contains("bad.kalvor"), qPrintable(strError));
    QCOMPARE(doc.m_params.m_control.m_dUd, 123.0);
    QCOMPARE(doc.Title(), QString("Kalvo1"));
    QVERIFY(doc.PathName().isEmpty());
    QCOMPARE(used.count(), 0);
}

void CTestKalvorDoc::SaveToAnUnwritablePlaceFails() {
    QTemporaryDir dir;
    CKalvorDoc doc;
    doc.SetModifiedFlag();
    QString strError;
    QVERIFY(!doc.OnSaveDocument(dir.filePath("missing/folder/drive.kalvor"), &strError));
    QVERIFY(!strError.isEmpty());
    QVERIFY(doc.IsModified());
    QVERIFY(doc.PathName().isEmpty());
}

void CTestKalvorDoc::SaveThroughALinkKeepsTheLinkAndEveryOtherFile() {
    QTemporaryDir dir;
    const QString strLink = dir.filePath("drive.kalvor");
    const QString strTarget = dir.filePath("real.kalvor");
    QFile target(strTarget);
    QVERIFY(target.open(QIODevice::WriteOnly));
    target.write("{}");
    target.close();
    QVERIFY(QFile::link("real.kalvor", strLink));
    // A file of the user's that only shares the name an earlier save used as its scratch.
    QFile mine(strLink + ".tmp");
    QVERIFY(mine.open(QIODevice::WriteOnly));
    mine.write("mine");
    mine.close();

    CKalvorDoc doc;
    doc.m_params.m_control.m_dUd = 150;
    QString strError;
    QVERIFY2(doc.OnSaveDocument(strLink, &strError), qPrintable(strError));
    QCOMPARE(QFileInfo(strLink).symLinkTarget(), strTarget);
    CParamSet saved;
    QVERIFY(ReadParamFile(strTarget.toStdString(), saved).Ok());
    QVERIFY(saved == doc.m_params);
    QVERIFY(mine.open(QIODevice::ReadOnly));
    QCOMPARE(mine.readAll(), QByteArray("mine"));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::System | QDir::Hidden).size(), 3);
}

void CTestKalvorDoc::SaveModifiedAsksOnlyWhenModified() {
    CKalvorDoc doc;
    doc.SetTitle("Kalvo1");
    {
        CModalScript script;
        QVERIFY(doc.SaveModified(nullptr));
        QVERIFY(script.m_unexpected.isEmpty());
    }
    doc.SetModifiedFlag();
    {
        CModalScript script;
        script.ThenMessage(QMessageBox::Cancel);
        QVERIFY(!doc.SaveModified(nullptr));
        QCOMPARE(script.m_messages, QStringList({"Kalvor|Save changes to Kalvo1?"}));
    }
    {
        CModalScript script;
        script.ThenMessage(QMessageBox::No);
        QVERIFY(doc.SaveModified(nullptr));
        QVERIFY(script.Done());
    }
}

void CTestKalvorDoc::SaveModifiedYesSavesToTheDocumentsFile() {
    QTemporaryDir dir;
    const QString strPath = dir.filePath("drive.kalvor");
    CKalvorDoc doc;
    QString strError;
    QVERIFY(doc.OnSaveDocument(strPath, &strError));
    doc.m_params.m_motor.m_dJ = 0.002;
    doc.SetModifiedFlag();
    CModalScript script;
    script.ThenMessage(QMessageBox::Yes);
    QVERIFY(doc.SaveModified(nullptr));
    QVERIFY(!doc.IsModified());
    CParamSet read;
    QVERIFY(ReadParamFile(strPath.toStdString(), read).Ok());
    QCOMPARE(read.m_motor.m_dJ, 0.002);
}

QTEST_MAIN(CTestKalvorDoc)
#include "tst_KalvorDoc.moc"
