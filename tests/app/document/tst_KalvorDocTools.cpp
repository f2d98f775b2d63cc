// The document's commands of results export, post-processing and diagnostic plots, with their
// dialogs driven as a user would.
#include "ModalScript.h"
#include "Solver.h"
#include "TestHome.h"
#include "dialogs/CurveChoice.h"
#include "dialogs/CurvePrompt.h"
#include "dialogs/DDftPlot.h"
#include "dialogs/DFluxPlot.h"
#include "dialogs/DVoltPlot.h"
#include "dialogs/Ind.h"
#include "document/KalvorDoc.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <cstdio>
#include <memory>

namespace {

template <class T> std::function<void(T*)> Accept() {
    return [](T* pDialog) { pDialog->accept(); };
}

template <class T> std::function<void(T*)> Reject() {
    return [](T* pDialog) { pDialog->reject(); };
}

QLineEdit* Edit(QWidget* pDialog, const char* name) {
    auto* pEdit = pDialog->findChild<QLineEdit*>(name);
    if (!pEdit)
        qFatal("no field %s", name);
    return pEdit;
}

QByteArray ReadFile(const QString& strPath) {
    QFile file(strPath);
    if (!file.open(QIODevice::ReadOnly))
        return "(missing)";
    return file.readAll();
}

QByteArray Fixed6(double value) {
    char text[400];
    std::snprintf(text, sizeof text, "%.6f ", value);
    return text;
}

/// A curve of n samples in the plot buffer, as "Plot result..." leaves it.
void GiveCurve(CKalvorDoc& doc, const std::vector<double>& x, const std::vector<double>& y) {
    doc.AllocPlot(unsigned(x.size()));
    std::copy(x.begin(), x.end(), doc.m_buffer.m_pPlotX.begin());
    std::copy(y.begin(), y.end(), doc.m_buffer.m_pPlotY.begin());
    doc.m_buffer.m_nPlotType = kPlotCurve;
    doc.m_nPicture = 0;
    doc.m_bValid = true;
}

/// Three periods of a sine of amplitude 2 over 600 samples, with a third harmonic in the first
/// and the last period only.
void GiveSine(CKalvorDoc& doc) {
    std::vector<double> x(600), y(600);
    for (int i = 0; i < 600; ++i) {
        x[i] = 0.001 * i;
        const double a = 2 * M_PI * i / 200.0;
        y[i] = 2 * std::sin(a) + ((i < 200 || i >= 400) ? 0.5 * std::sin(3 * a) : 0.0);
    }
    GiveCurve(doc, x, y);
}

/// An accepted run of nRows rows whose cells hold distinct values of every sign and size.
void GiveRun(CKalvorDoc& doc, int nRows) {
    doc.m_pSolver = std::make_unique<CSolver>(nRows, 17, 16, 36);
    for (int r = 0; r < nRows; ++r) {
        for (int c = 0; c < 36; ++c)
            doc.m_pSolver->m_ppResTab[r][c] = (c % 2 ? -1 : 1) * (r * 1000.25 + c * 0.1234567);
    }
    doc.m_pSolver->m_ppResTab[1][3] = 0.000005;
    doc.m_pSolver->m_ppResTab[1][4] = 1e-7;
    doc.m_pSolver->m_nStepCount = nRows - 1;
    doc.m_nRows = nRows;
    doc.m_runStatus = ECalcStatus::Accepted;
    doc.m_bValid = true;
}

} // namespace

class CTestKalvorDocTools : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        const QString strOutside = SettingsOutsideTheTestHome();
        QVERIFY2(strOutside.isEmpty(), qPrintable("the file dialog would write its history into " +
                                                  strOutside + "; run the tests through ctest"));
    }
    // Each test function writes into a folder of its own.
    void init() {
        m_pDir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_pDir->isValid());
    }
    void cleanup() { m_pDir.reset(); }

    void ExportResultsWritesEveryRowWithATxtSuffix() {
        CKalvorDoc doc;
        GiveRun(doc, 3);
        CModalScript script;
        script.ThenFile(m_pDir->filePath("table"));
        doc.OnExportResults(nullptr);
        QVERIFY(script.Done());
        QVERIFY2(script.m_unexpected.isEmpty(), qPrintable(script.m_unexpected.join('\n')));

        QByteArray expected;
        for (int r = 0; r < 3; ++r) {
            for (int c = 0; c < 36; ++c)
                expected += Fixed6(doc.m_pSolver->m_ppResTab[r][c]);
            expected += "\r\n";
        }
        const QByteArray bytes = ReadFile(m_pDir->filePath("table.txt"));
        QCOMPARE(bytes, expected);
        QVERIFY(bytes.contains(" 0.000005 0.000000 "));
    }

    void ExportWithoutDataSaysCalculateFirst() {
        CKalvorDoc doc;
        for (auto command : {&CKalvorDoc::OnExportResults, &CKalvorDoc::OnExportPlot}) {
            CModalScript script;
            script.ThenMessage();
            (doc.*command)(nullptr);
            QCOMPARE(script.m_messages, QStringList{"ERROR|You have to calculate first!"});
            QVERIFY(script.m_unexpected.isEmpty());
        }
    }

    void CancelInTheFileDialogWritesNothing() {
        CKalvorDoc doc;
        GiveSine(doc);
        const QString strPath = m_pDir->filePath("cancelled.txt");
        CModalScript script;
        script.Then<QFileDialog>([strPath](QFileDialog* pDialog) {
            pDialog->selectFile(strPath);
            pDialog->reject();
        });
        doc.OnExportPlot(nullptr);
        QVERIFY(script.Done());
        QVERIFY(!QFile::exists(strPath));
    }

    void ExportPlotOfASpectrumWritesTheHarmonicsUpToNh() {
        CKalvorDoc doc;
        GiveSine(doc);
        CModalScript script;
        script.Then<CDDftPlot>(Accept<CDDftPlot>()); // Nh = 10
        doc.OnDft(nullptr);
        QVERIFY(script.Done());
        QCOMPARE(doc.m_buffer.m_nPlotCount, 11u);
        QCOMPARE(doc.m_buffer.m_nPlotType, kPlotSpectrum);

        const QString strPath = m_pDir->filePath("spectrum.txt");
        script.ThenFile(strPath);
        doc.OnExportPlot(nullptr);
        QVERIFY(script.Done());
        QByteArray expected;
        for (int k = 0; k <= 10; ++k)
            expected += Fixed6(k) + Fixed6(doc.m_buffer.m_pPlotTmp[k]) + "\r\n";
        const QByteArray bytes = ReadFile(strPath);
        QCOMPARE(bytes, expected);
        QCOMPARE(bytes.count("\r\n"), 11);
        QVERIFY(bytes.startsWith("0.000000 "));
        QVERIFY(bytes.contains("\r\n10.000000 "));
    }

    void SeveralCurvesExportAColumnEachAndProcessTheChosenOne() {
        CKalvorDoc doc;
        GiveCurve(doc, {0.5, 1.5, 2.5}, {1, 2, 4});
        doc.m_buffer.m_strFirstLabel = "Ia [A]";
        doc.m_buffer.m_vecMore = {{{-1, -2, -3}, nullptr, "Ib [A]", {}},
                                  {{0.25, 0.125, 1e6}, nullptr, "Ic [A]", {}}};
        {
            const QString strPath = m_pDir->filePath("three.txt");
            CModalScript script;
            script.ThenFile(strPath);
            doc.OnExportPlot(nullptr);
            QVERIFY(script.Done());
            QCOMPARE(ReadFile(strPath),
                     QByteArray("0.500000 1.000000 -1.000000 0.250000 \r\n"
                                "1.500000 2.000000 -2.000000 0.125000 \r\n"
                                "2.500000 4.000000 -3.000000 1000000.000000 \r\n"));
        }

        // The derivative asks which curve; Cancel changes nothing.
        {
            CModalScript script;
            script.Then<CCurvePrompt>(Reject<CCurvePrompt>());
            doc.OnResultDerivative(nullptr);
            QVERIFY(script.Done());
            QCOMPARE(doc.CurveCount(), 3);
        }
        QSignalSpy notes(&doc, &CKalvorDoc::StatusMessage);
        CModalScript choice;
        choice.Then<CCurvePrompt>([](CCurvePrompt* pPrompt) {
            QCOMPARE(pPrompt->m_pCurves->count(), 3);
            QCOMPARE(pPrompt->m_pCurves->currentIndex(), 0);
            pPrompt->m_pCurves->setCurrentIndex(2);
            pPrompt->accept();
        });
        doc.OnResultDerivative(nullptr);
        QVERIFY(choice.Done());
        QCOMPARE(doc.CurveCount(), 1);
        QCOMPARE(doc.m_buffer.m_pPlotY[0], -0.125); // (0.125 - 0.25) / (1.5 - 0.5)
        QCOMPARE(doc.m_buffer.m_strYLabel, QString("dy/dx of Ic [A]"));
        QCOMPARE(notes.size(), 1);
        QCOMPARE(notes[0][0].toString(), QString("Derivative of Ic [A]"));
    }

    void PostProcessingTakesTheChosenCurveWithItsOwnSamples_data() {
        QTest::addColumn<int>("command"); // 0 derivative, 1 integral, 2 DFT
        QTest::addColumn<bool>("select");
        QTest::newRow("derivative") << 0 << false;
        QTest::newRow("integral") << 1 << false;
        QTest::newRow("DFT of the whole") << 2 << false;
        QTest::newRow("DFT of a selection") << 2 << true;
    }

    void PostProcessingTakesTheChosenCurveWithItsOwnSamples() {
        QFETCH(int, command);
        QFETCH(bool, select);
        // The plot: 600 samples of 1 ms; added, another run's curve of 400 samples of 1.5 ms
        // (the same time span), a sine of amplitude 3 with a third harmonic in its first period.
        CKalvorDoc doc;
        GiveSine(doc);
        doc.m_buffer.SetLabels("t [s]", "Ia [A]");
        auto x = std::make_shared<std::vector<double>>(400);
        std::vector<double> y(400);
        for (int i = 0; i < 400; ++i) {
            (*x)[i] = 0.0015 * i;
            const double a = 2 * M_PI * i / (400 / 3.0);
            y[i] = 3 * std::sin(a) + (i < 133 ? std::sin(3 * a) : 0.0);
        }
        doc.m_buffer.m_strFirstLabel = "Ia [A]";
        doc.m_buffer.m_vecMore.push_back({y, x, "Ia [A]", "Kalvo2"});
        const int serial = doc.m_nAxisSerial;
        if (select) {
            // Pixels 300 to 500 of a plot area 100..700: 0.2 s to 0.4 s, the middle period.
            doc.m_nPlotLeft = 100;
            doc.m_nPlotRight = 700;
            doc.m_nSelStart = 300;
            doc.m_nSelEnd = 500;
        }
        CModalScript script;
        const auto chooseSecond = [](QComboBox* pCurves) {
            QVERIFY(pCurves);
            QCOMPARE(pCurves->itemText(1), QString("Ia [A] \u00b7 Kalvo2"));
            pCurves->setCurrentIndex(1);
        };
        if (command == 2) {
            script.Then<CDDftPlot>([&](CDDftPlot* pDialog) {
                Edit(pDialog, "m_nNh")->setText("9");
                chooseSecond(pDialog->m_pCurves);
                pDialog->accept();
            });
            doc.OnDft(nullptr);
        } else {
            script.Then<CCurvePrompt>([&](CCurvePrompt* pPrompt) {
                chooseSecond(pPrompt->m_pCurves);
                pPrompt->accept();
            });
            (doc.*(command == 0 ? &CKalvorDoc::OnResultDerivative : &CKalvorDoc::OnResultIntegral))(
                nullptr);
        }
        QVERIFY(script.Done());
        QCOMPARE(doc.CurveCount(), 1);
        QVERIFY(doc.m_nAxisSerial != serial); // other x values: a new axis
        const std::vector<double>& outX = doc.m_buffer.m_pPlotX;
        const std::vector<double>& outY = doc.m_buffer.m_pPlotY;
        QCOMPARE(outX.size(), std::size_t(400));
        if (command == 0) {
            QCOMPARE(outX[10], (*x)[10]);
            // d/dt of 3 sin(2 pi 5 t) at a zero crossing after the third harmonic ends.
            const double expected = -3 * 2 * M_PI * 5;
            QVERIFY2(std::fabs(outY[200] - expected) < 0.01 * std::fabs(expected),
                     qPrintable(QString::number(outY[200])));
            QCOMPARE(doc.m_buffer.m_strYLabel, QString("dy/dx of Ia [A] \u00b7 Kalvo2"));
        } else if (command == 1) {
            // Three whole periods integrate to nothing.
            QVERIFY(std::fabs(outY[399]) < 0.01);
            QCOMPARE(doc.m_buffer.m_strYLabel, QString("integral y dx of Ia [A] \u00b7 Kalvo2"));
        } else {
            QVERIFY(doc.m_buffer.m_strYLabel.endsWith(QString("of Ia [A] \u00b7 Kalvo2")));
            QCOMPARE(doc.m_buffer.m_nPlotCount, 10u);
            if (select) {
                // The middle period of the second curve's own samples: its fundamental alone.
                QVERIFY2(std::fabs(outY[1] - 3) < 0.05, qPrintable(QString::number(outY[1])));
                QVERIFY(outY[3] < 0.05);
                QVERIFY(doc.m_plot.m_dTHD < 0.02);
            } else {
                QVERIFY(std::fabs(outY[3] - 3) < 0.02);
                QVERIFY(outY[9] > 0.2);
            }
        }
    }

    void CurvesFromFilesKeepTheirSamplesAndNameTheFile() {
        // Measured data with a header, sampled more coarsely than the plot and beyond it.
        const QString strCsv = m_pDir->filePath("measured.csv");
        {
            QFile file(strCsv);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("time [s];Ia [A];Ua [V]\r\n0;1;10\r\n0.5;2;20\r\n3;0;30\r\n");
        }
        CKalvorDoc doc;
        doc.SetTitle("Kalvo1");
        GiveCurve(doc, {0, 1, 2}, {5, 6, 7});
        doc.m_buffer.SetLabels("t [s]", "Ia [A]");
        doc.m_bResultCurves = true;
        QStringList offered;
        {
            CModalScript script;
            script.ThenFile(strCsv).Then<CCurveChoice>([&](CCurveChoice* p) {
                for (int i = 0; i < p->m_pColumns->count(); ++i)
                    offered << p->m_pColumns->itemText(i);
                p->m_pColumns->setCurrentIndex(0);
                for (QPushButton* pButton : p->findChildren<QPushButton*>())
                    if (pButton->text().remove('&') == "Add to plot")
                        pButton->click();
            });
            doc.OnAddCurveFromFile(nullptr);
            QVERIFY(script.Done());
            QVERIFY2(script.m_unexpected.isEmpty(), qPrintable(script.m_unexpected.join('\n')));
        }
        QCOMPARE(offered, QStringList({"Ia [A]", "Ua [V]"}));
        QCOMPARE(doc.CurveCount(), 2);
        const std::vector<CPlotPrint::SCurve> curves = doc.Curves();
        QCOMPARE(curves[1].m_strLabel, QString("Ia [A] \u00b7 measured.csv"));
        QCOMPARE(curves[0].m_strLabel, QString("Ia [A] \u00b7 Kalvo1"));
        QCOMPARE(curves[1].m_nCount, std::size_t(3));
        QCOMPARE(curves[1].m_pX[1], 0.5);
        QCOMPARE(curves[1].m_pY[2], 0.0);

        // Exported as a plot: the file's curve at the plot's samples, linearly interpolated.
        const QString strOut = m_pDir->filePath("both.txt");
        {
            CModalScript exportScript;
            exportScript.ThenFile(strOut);
            doc.OnExportPlot(nullptr);
        }
        QCOMPARE(ReadFile(strOut), QByteArray("0.000000 5.000000 1.000000 \r\n"
                                              "1.000000 6.000000 1.600000 \r\n"
                                              "2.000000 7.000000 0.800000 \r\n"));

        // OK plots the column alone, over the file's time, named by the file.
        {
            CModalScript replace;
            replace.ThenFile(strCsv).Then<CCurveChoice>([](CCurveChoice* p) {
                p->m_pColumns->setCurrentIndex(1);
                p->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
            });
            doc.OnAddCurveFromFile(nullptr);
            QVERIFY(replace.Done());
        }
        QCOMPARE(doc.CurveCount(), 1);
        QCOMPARE(doc.m_buffer.m_nPlotCount, 3u);
        QCOMPARE(doc.m_buffer.m_pPlotY[2], 30.0);
        QCOMPARE(doc.m_buffer.m_strXLabel, QString("time [s]"));
        QCOMPARE(doc.FirstSource(), QString("measured.csv"));

        // A file that is no table is refused with a message naming it; the plot stays.
        const QString strBad = m_pDir->filePath("notes.txt");
        {
            QFile file(strBad);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("1 2 3\n4 5 6\n");
        }
        CModalScript refuse;
        refuse.ThenFile(strBad).ThenMessage();
        doc.OnAddCurveFromFile(nullptr);
        QVERIFY2(refuse.Done(), qPrintable(refuse.m_unexpected.join('\n')));
        QCOMPARE(refuse.m_messages.size(), 1);
        QVERIFY2(refuse.m_messages[0].startsWith("ERROR|" + strBad + ": line 1 has 3 numbers"),
                 qPrintable(refuse.m_messages[0]));
        QCOMPARE(doc.m_buffer.m_pPlotY[2], 30.0);
    }

    void ExportPlotWhileAPictureIsShownWritesOnlyX() {
        CKalvorDoc doc;
        GiveCurve(doc, {0.5, 1.5, -2}, {7, 8, 9});
        doc.OnView2D();
        const QString strPath = m_pDir->filePath("hidden.txt");
        CModalScript script;
        script.ThenFile(strPath);
        doc.OnExportPlot(nullptr);
        QCOMPARE(ReadFile(strPath), QByteArray("0.500000 \r\n1.500000 \r\n-2.000000 \r\n"));
    }

    void ReplacingAFileAsksFirst() {
        const QString strPath = m_pDir->filePath("old.txt");
        {
            QFile file(strPath);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("previous content that is longer than the plot");
        }
        CKalvorDoc doc;
        GiveCurve(doc, {1, 2}, {3, 4});
        CModalScript script;
        // No goes back to the file dialog, where the user gives up.
        script.ThenFile(strPath)
            .ThenMessage(QMessageBox::No)
            .Then<QFileDialog>(Reject<QFileDialog>());
        doc.OnExportPlot(nullptr);
        QVERIFY(script.Done());
        QCOMPARE(script.m_messages.size(), 1);
        QCOMPARE(ReadFile(strPath), QByteArray("previous content that is longer than the plot"));

        script.ThenFile(strPath).ThenMessage(QMessageBox::Yes);
        doc.OnExportPlot(nullptr);
        QVERIFY(script.Done());
        QCOMPARE(ReadFile(strPath), QByteArray("1.000000 3.000000 \r\n2.000000 4.000000 \r\n"));
    }

    void ADeviceIsRefusedWithTheFileAndTheReason() {
        if (!QFile::exists("/dev/full"))
            QSKIP("no /dev/full on this system");
        // A .txt name for the device that takes no data: refused before anything is written,
        // the link and the device left as they were.
        const QString strPath = m_pDir->filePath("full.txt");
        QVERIFY(QFile::link("/dev/full", strPath));
        CKalvorDoc doc;
        GiveRun(doc, 2000); // more than the writer's buffer, so the failure shows in a write
        CModalScript script;
        script.ThenFile(strPath)
            .ThenMessage(QMessageBox::Yes) // replace it?
            .ThenMessage();
        doc.OnExportResults(nullptr);
        QVERIFY(script.Done());
        QCOMPARE(script.m_messages.size(), 2);
        const QString report = script.m_messages[1];
        QVERIFY2(report.startsWith("ERROR|") && report.contains(strPath) &&
                     report.contains("not a regular file"),
                 qPrintable(report));
        QCOMPARE(QFileInfo(strPath).symLinkTarget(), QString("/dev/full"));
    }

    void AFileThatCannotBeCreatedIsReportedWithItsNameAndTheReason() {
        // A name that leads into a folder that does not exist.
        const QString strPath = m_pDir->filePath("dangling.txt");
        QVERIFY(QFile::link(m_pDir->filePath("no-such-folder/plot.txt"), strPath));
        CKalvorDoc doc;
        GiveCurve(doc, {1, 2}, {3, 4});
        CModalScript script;
        script.ThenFile(strPath).ThenMessage();
        doc.OnExportPlot(nullptr);
        QVERIFY(script.Done());
        QCOMPARE(script.m_messages.size(), 1);
        const QString report = script.m_messages[0];
        QVERIFY2(report.startsWith("ERROR|") && report.contains(strPath) &&
                     report.contains("No such file or directory"),
                 qPrintable(report));
    }

    void IntegralStartsAtZeroAndTheDerivativeUndoesIt() {
        CKalvorDoc doc;
        GiveCurve(doc, {0, 0.1, 0.2}, {1, 1, 1});
        doc.OnResultIntegral(nullptr);
        QCOMPARE(doc.m_buffer.m_pPlotY[0], 0.0);
        QCOMPARE(doc.m_buffer.m_pPlotY[1], 0.1);
        QVERIFY(std::fabs(doc.m_buffer.m_pPlotY[2] - 0.2) < 1e-15);
        QCOMPARE(doc.m_buffer.m_pPlotX[2], 0.2);
        QCOMPARE(doc.m_buffer.m_strXLabel, QString("x"));
        QCOMPARE(doc.m_buffer.m_strYLabel, QString("integral y dx"));
        QCOMPARE(doc.m_buffer.m_nPlotType, kPlotCurve);

        doc.OnResultDerivative(nullptr);
        for (int i = 0; i < 3; ++i)
            QVERIFY(std::fabs(doc.m_buffer.m_pPlotY[i] - 1) < 1e-12);
        QCOMPARE(doc.m_buffer.m_strYLabel, QString("dy/dx"));
    }

    void DerivativeOfAHiddenPlotShowsTheCurveAgain() {
        CKalvorDoc doc;
        GiveCurve(doc, {0, 1, 3}, {0, 2, 6});
        doc.OnView3D();
        doc.OnResultDerivative(nullptr);
        QCOMPARE(doc.m_nPicture, 0);
        QCOMPARE(doc.m_buffer.m_nPlotType, kPlotCurve);
        QCOMPARE(doc.m_buffer.m_pPlotY, (std::vector<double>{2, 2, 2}));
    }

    void TransformsWithoutValidDataSayNoResult() {
        CKalvorDoc doc;
        GiveCurve(doc, {0, 1}, {5, 6});
        doc.m_bValid = false;
        for (auto command :
             {&CKalvorDoc::OnResultDerivative, &CKalvorDoc::OnResultIntegral, &CKalvorDoc::OnDft}) {
            CModalScript script;
            script.ThenMessage();
            (doc.*command)(nullptr);
            QCOMPARE(script.m_messages, QStringList{"ERROR|No result!"});
            QVERIFY(script.m_unexpected.isEmpty());
            QCOMPARE(doc.m_buffer.m_pPlotY, (std::vector<double>{5, 6}));
        }
    }

    void DftTransformsTheSelectedRangeOnly() {
        CKalvorDoc doc;
        GiveSine(doc);
        // Plot area from pixel 100 to 700 over 600 samples: pixels 300 to 500 are the middle
        // period, the one without the third harmonic.
        doc.m_nPlotLeft = 100;
        doc.m_nPlotRight = 700;
        doc.m_nSelStart = 300;
        doc.m_nSelEnd = 500;
        CModalScript script;
        script.Then<CDDftPlot>([](CDDftPlot* pDialog) {
            Edit(pDialog, "m_nNh")->setText("5");
            pDialog->accept();
        });
        doc.OnDft(nullptr);
        QVERIFY(script.Done());
        QCOMPARE(doc.m_params.m_dft.m_nNh, 5);
        QVERIFY(doc.IsModified());
        QCOMPARE(doc.m_buffer.m_nPlotCount, 6u);
        QCOMPARE(doc.m_buffer.m_strXLabel, QString("n"));
        QCOMPARE(doc.m_buffer.m_strYLabel, QString("Mag (peak)")); // a curve of no unit
        QVERIFY(std::fabs(doc.m_buffer.m_pPlotY[1] - 2) < 1e-4);
        QVERIFY(doc.m_buffer.m_pPlotY[3] < 1e-4);
        QVERIFY(doc.m_plot.m_dTHD < 1e-4);
        QCOMPARE(doc.m_buffer.m_pPlotX[5], 5.0);
        QVERIFY(!doc.CanProcessPlot()); // no transform of a spectrum
    }

    void DftOfTheWholeCurveWithoutASelection() {
        CKalvorDoc doc;
        GiveSine(doc);
        doc.m_buffer.SetLabels("t [s]", "Ia [A]");
        CModalScript script;
        script.Then<CDDftPlot>(Accept<CDDftPlot>());
        doc.OnDft(nullptr);
        QCOMPARE(doc.m_buffer.m_strYLabel, QString("Mag (peak) [A]"));
        // Three periods: the sine is harmonic 3, the two bursts of its third harmonic add at 9.
        QVERIFY(std::fabs(doc.m_buffer.m_pPlotY[3] - 2) < 1e-3);
        QVERIFY(doc.m_buffer.m_pPlotY[9] > 0.2);
    }

    void DftOfFewerThanTwoSamplesOrCancelledChangesNothing() {
        CKalvorDoc doc;
        GiveSine(doc);
        const std::vector<double> y = doc.m_buffer.m_pPlotY;
        doc.m_nPlotLeft = 100;
        doc.m_nPlotRight = 700;
        doc.m_nSelStart = 300;
        doc.m_nSelEnd = 300;
        CModalScript script;
        script.Then<CDDftPlot>(Accept<CDDftPlot>()).ThenMessage();
        doc.OnDft(nullptr);
        QVERIFY(script.Done());
        QVERIFY2(script.m_messages[0].startsWith("ERROR|") &&
                     script.m_messages[0].contains("at least 2"),
                 qPrintable(script.m_messages[0]));
        QCOMPARE(doc.m_buffer.m_pPlotY, y);
        QCOMPARE(doc.m_buffer.m_nPlotType, kPlotCurve);

        script.Then<CDDftPlot>([](CDDftPlot* pDialog) {
            Edit(pDialog, "m_nNh")->setText("3");
            pDialog->reject();
        });
        doc.OnDft(nullptr);
        QVERIFY(script.Done());
        QCOMPARE(doc.m_params.m_dft.m_nNh, 10);
        QCOMPARE(doc.m_buffer.m_pPlotY, y);
        QVERIFY(!doc.IsModified());
    }

    void InductancePlotFillsTheBufferAndValidatesIt() {
        CKalvorDoc doc;
        doc.m_nPicture = 3;
        CModalScript script;
        script.Then<CInd>(Accept<CInd>());
        doc.OnInductancePlot(nullptr);
        QVERIFY(script.Done());
        QVERIFY(doc.m_bValid);
        QVERIFY(!doc.m_pSolver);
        QVERIFY(!doc.CanPlotResult());
        QVERIFY(doc.CanProcessPlot() && doc.CanExportPlot());
        QCOMPARE(doc.m_buffer.m_nPlotCount, 1000u);
        QCOMPARE(doc.m_buffer.m_nPlotType, kPlotCurve);
        QCOMPARE(doc.m_nPicture, 0);
        QCOMPARE(doc.m_buffer.m_pPlotX[0], 0.0);
        QVERIFY(std::fabs(doc.m_buffer.m_pPlotX[999] - 6.2832) < 1e-12);
        QCOMPARE(doc.m_buffer.m_strXLabel, QString("beta [rad]"));
        QCOMPARE(doc.m_buffer.m_strYLabel, QString("M [mH]"));
        QCOMPARE(doc.m_buffer.m_pPlotY[10],
                 1000 * doc.m_pPlotM->Inductance(4, 4, doc.m_buffer.m_pPlotX[10]));
        QVERIFY(!doc.IsModified()); // the settings did not change
    }

    void VoltagePlotWithReversedTimesWarnsAndPlotsTheOrderedInterval() {
        CKalvorDoc doc;
        CModalScript script;
        script
            .Then<CDVoltPlot>([](CDVoltPlot* pDialog) {
                Edit(pDialog, "m_dTs")->setText("0.04");
                Edit(pDialog, "m_dTe")->setText("0");
                pDialog->accept();
            })
            .ThenMessage();
        doc.OnVoltagePlot(nullptr);
        QVERIFY(script.Done());
        QCOMPARE(script.m_messages, QStringList{"WARNING|Tp > Tk?"});
        QVERIFY(doc.IsModified());
        QVERIFY(doc.m_bValid);
        QVERIFY(doc.m_buffer.m_nPlotCount >= 999u);
        QCOMPARE(doc.m_buffer.m_pPlotX[0], 0.0);
        QVERIFY(doc.m_buffer.m_pPlotX[doc.m_buffer.m_nPlotCount - 1] <= 0.04 + 1e-12);
        QVERIFY(doc.m_buffer.m_pPlotX[doc.m_buffer.m_nPlotCount - 1] > 0.0399);
        QCOMPARE(doc.m_buffer.m_strXLabel, QString("t [s]"));
        QCOMPARE(doc.m_buffer.m_strYLabel, QString("U [V]"));
    }

    void VoltagePlotOfEqualTimesWarnsAndPlotsNothing() {
        CKalvorDoc doc;
        CModalScript script;
        script
            .Then<CDVoltPlot>([](CDVoltPlot* pDialog) {
                Edit(pDialog, "m_dTe")->setText("0");
                pDialog->accept();
            })
            .ThenMessage()
            .ThenMessage();
        doc.OnVoltagePlot(nullptr);
        QVERIFY(script.Done());
        QCOMPARE(script.m_messages[0], QString("WARNING|Tp > Tk?"));
        QVERIFY(script.m_messages[1].startsWith("ERROR|"));
        QVERIFY(!doc.m_bValid);
    }

    void FluxDialogCancelKeepsItsClickStoresAndPlotsNothing() {
        CKalvorDoc doc;
        CModalScript script;
        script.Then<CDFluxPlot>([](CDFluxPlot* pDialog) {
            Edit(pDialog, "m_nNh")->setText("12");
            pDialog->findChild<QAbstractButton*>("quantity0")->click();
            pDialog->reject();
        });
        doc.OnFluxPlot(nullptr);
        QVERIFY(script.Done());
        QCOMPARE(doc.m_params.m_fluxPlot.m_nQuantity, 0);
        QCOMPARE(doc.m_params.m_fluxPlot.m_nNh, 12);
        QVERIFY(doc.IsModified());
        QVERIFY(!doc.m_bValid);
        QCOMPARE(doc.m_buffer.m_nPlotCount, 0u);

        script.Then<CDFluxPlot>(Accept<CDFluxPlot>());
        doc.OnFluxPlot(nullptr);
        QVERIFY(doc.m_bValid);
        QCOMPARE(doc.m_buffer.m_strYLabel, QString("B [T]"));
        QCOMPARE(doc.m_pPlotG->m_nNb, 13u);
    }

private:
    std::unique_ptr<QTemporaryDir> m_pDir;
};

QTEST_MAIN(CTestKalvorDocTools)
#include "tst_KalvorDocTools.moc"
