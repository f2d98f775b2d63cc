// The dialogs whose fields do not depend on each other: "Inductance plot", "Voltage plot" and
// "Discrete Fourier Transform".
#include "ModalScript.h"
#include "dialogs/DDftPlot.h"
#include "dialogs/DVoltPlot.h"
#include "dialogs/Ind.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QTimer>
#include <QtTest>

#include <functional>
#include <memory>

namespace {

QLineEdit* Edit(const QDialog& dlg, const char* name) {
    auto* edit = dlg.findChild<QLineEdit*>(name);
    if (!edit)
        qFatal("no field %s", name);
    return edit;
}

bool AllEnabled(const QDialog& dlg) {
    for (QWidget* w : dlg.findChildren<QWidget*>()) {
        if (!w->isEnabled())
            return false;
    }
    return true;
}

} // namespace

class TestPlotSettingsDialogs : public QObject {
    Q_OBJECT

private slots:
    void inductanceShowsItsDefaultsAllEnabled() {
        CIndSettings settings;
        CInd dlg(settings);
        QCOMPARE(dlg.windowTitle(), QString("Inductance plot"));
        QCOMPARE(Edit(dlg, "m_nX")->text(), QString("4"));
        QCOMPARE(Edit(dlg, "m_nY")->text(), QString("4"));
        QCOMPARE(Edit(dlg, "m_dAlfab")->text(), QString("0"));
        QCOMPARE(Edit(dlg, "m_dAlfae")->text(), QString("360"));
        QCOMPARE(Edit(dlg, "m_nN")->text(), QString("1000"));
        QCOMPARE(Edit(dlg, "m_nNh")->text(), QString("3"));
        QVERIFY(!dlg.findChild<QCheckBox*>("m_bRotation")->isChecked());
        QVERIFY(AllEnabled(dlg));
    }

    void inductanceStoresOnOkOnlyAndRefusesOutOfRange() {
        CIndSettings settings;
        {
            CInd dlg(settings);
            Edit(dlg, "m_nY")->setText("9");
            dlg.findChild<QCheckBox*>("m_bRotation")->click();
            dlg.reject();
        }
        QCOMPARE(settings.m_nY, 4);
        QVERIFY(!settings.m_bRotation);

        CInd dlg(settings);
        Edit(dlg, "m_nY")->setText("9");
        dlg.findChild<QCheckBox*>("m_bRotation")->click();
        Edit(dlg, "m_nNh")->setText("4");
        const QString prompt = AnswerPrompt([&] { dlg.accept(); });
        QVERIFY2(prompt.contains("Nh =") && prompt.contains("0 to 3"), qPrintable(prompt));
        QCOMPARE(settings.m_nY, 4);
        Edit(dlg, "m_nNh")->setText("2");
        Edit(dlg, "m_dAlfae")->setText("180.5");
        QVERIFY(AnswerPrompt([&] { dlg.accept(); }).isEmpty());
        QCOMPARE(settings.m_nY, 9);
        QCOMPARE(settings.m_nNh, 2);
        QCOMPARE(settings.m_dAlfae, 180.5);
        QVERIFY(settings.m_bRotation);
    }

    void voltageShowsItsDefaultsAndAPicture() {
        CVoltPlotSettings settings;
        CDVoltPlot dlg(settings);
        QCOMPARE(dlg.windowTitle(), QString("Voltage plot"));
        QCOMPARE(Edit(dlg, "m_dFimp")->text(), QString("5000"));
        QCOMPARE(Edit(dlg, "m_dMf")->text(), QString("0.01"));
        QCOMPARE(Edit(dlg, "m_dMa")->text(), QString("0.5"));
        QCOMPARE(Edit(dlg, "m_dTs")->text(), QString("0"));
        QCOMPARE(Edit(dlg, "m_dTe")->text(), QString("0.04"));
        QCOMPARE(Edit(dlg, "m_nN")->text(), QString("1000"));
        QVERIFY(dlg.findChild<QAbstractButton*>("phase0")->isChecked());
        QVERIFY(AllEnabled(dlg));
        bool picture = false;
        for (QLabel* label : dlg.findChildren<QLabel*>())
            picture = picture || !label->pixmap().isNull();
        QVERIFY(picture);
    }

    void voltageAcceptsReversedTimesAndStoresThePhase() {
        CVoltPlotSettings settings;
        CDVoltPlot dlg(settings);
        Edit(dlg, "m_dTs")->setText("0.04");
        Edit(dlg, "m_dTe")->setText("0");
        Edit(dlg, "m_dMf")->setText("1.5"); // 0 to 1
        QVERIFY(AnswerPrompt([&] { dlg.accept(); }).contains("mf ="));
        Edit(dlg, "m_dMf")->setText("0.02");
        dlg.findChild<QAbstractButton*>("phase2")->click();
        QVERIFY(AnswerPrompt([&] { dlg.accept(); }).isEmpty());
        QCOMPARE(settings.m_dTs, 0.04);
        QCOMPARE(settings.m_dTe, 0.0);
        QCOMPARE(settings.m_dMf, 0.02);
        QCOMPARE(settings.m_nPhase, 2);
    }

    void dftShowsItsNoteAndChecksNh() {
        CDftSettings settings;
        CDDftPlot dlg(settings);
        QCOMPARE(dlg.windowTitle(), QString("Discrete Fourier Transform"));
        QCOMPARE(Edit(dlg, "m_nNh")->text(), QString("10"));
        QCOMPARE(dlg.findChild<QLabel*>("note")->text(),
                 QString("Warning: DFT operates on the selected graph range (Hint: use left and "
                         "right mouse button to select range; double click to abort)."));
        Edit(dlg, "m_nNh")->setText("1001");
        QVERIFY(AnswerPrompt([&] { dlg.accept(); }).contains("0 to 1000"));
        QCOMPARE(settings.m_nNh, 10);
        Edit(dlg, "m_nNh")->setText("0");
        QVERIFY(AnswerPrompt([&] { dlg.accept(); }).isEmpty());
        QCOMPARE(settings.m_nNh, 0);
    }
};

QTEST_MAIN(TestPlotSettingsDialogs)
#include "tst_PlotSettingsDialogs.moc"
