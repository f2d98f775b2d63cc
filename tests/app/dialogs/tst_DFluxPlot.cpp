#include "ModalScript.h"
#include "dialogs/DFluxPlot.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QRadioButton>
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

QAbstractButton* Button(const QDialog& dlg, const char* name) {
    auto* button = dlg.findChild<QAbstractButton*>(name);
    if (!button)
        qFatal("no button %s", name);
    return button;
}

} // namespace

class TestDFluxPlot : public QObject {
    Q_OBJECT

private slots:
    void showsTheDefaults() {
        CFluxPlotSettings settings;
        CDFluxPlot dlg(settings);
        QCOMPARE(dlg.windowTitle(), QString("Excitation flux"));
        QCOMPARE(Edit(dlg, "m_dAlfab")->text(), QString("0"));
        QCOMPARE(Edit(dlg, "m_dAlfae")->text(), QString("360"));
        QCOMPARE(Edit(dlg, "m_nX")->text(), QString("0"));
        QCOMPARE(Edit(dlg, "m_nY")->text(), QString("0"));
        QCOMPARE(Edit(dlg, "m_nN")->text(), QString("1000"));
        QCOMPARE(Edit(dlg, "m_nNh")->text(), QString("99"));
        QVERIFY(Button(dlg, "quantity1")->isChecked()); // "Flux"
        QVERIFY(!Button(dlg, "m_bAirGap")->isChecked());
    }

    void enablesTheIndicesByAirGapAndQuantity_data() {
        QTest::addColumn<int>("quantity");
        QTest::addColumn<bool>("airGap");
        QTest::addColumn<bool>("xEnabled");
        QTest::addColumn<bool>("yEnabled");
        QTest::newRow("density") << 0 << false << false << true;
        QTest::newRow("flux") << 1 << false << true << true;
        QTest::newRow("derivative") << 2 << false << true << true;
        QTest::newRow("density, air gap") << 0 << true << false << false;
        QTest::newRow("flux, air gap") << 1 << true << false << false;
        QTest::newRow("derivative, air gap") << 2 << true << false << false;
    }

    void enablesTheIndicesByAirGapAndQuantity() {
        QFETCH(int, quantity);
        QFETCH(bool, airGap);
        QFETCH(bool, xEnabled);
        QFETCH(bool, yEnabled);
        {
            // As the dialog opens with these settings.
            CFluxPlotSettings settings;
            settings.m_nQuantity = quantity;
            settings.m_bAirGap = airGap;
            CDFluxPlot dlg(settings);
            QCOMPARE(Edit(dlg, "m_nX")->isEnabled(), xEnabled);
            QCOMPARE(Edit(dlg, "m_nY")->isEnabled(), yEnabled);
        }
        {
            // After the user's clicks, from the opposite state.
            CFluxPlotSettings settings;
            settings.m_nQuantity = quantity == 0 ? 1 : 0;
            settings.m_bAirGap = !airGap;
            CDFluxPlot dlg(settings);
            Button(dlg, qPrintable(QString("quantity%1").arg(quantity)))->click();
            Button(dlg, "m_bAirGap")->click();
            QCOMPARE(Edit(dlg, "m_nX")->isEnabled(), xEnabled);
            QCOMPARE(Edit(dlg, "m_nY")->isEnabled(), yEnabled);
        }
    }

    void aClickStoresEveryFieldAndTheStoreSurvivesCancel() {
        CFluxPlotSettings settings;
        CDFluxPlot dlg(settings);
        Edit(dlg, "m_nX")->setText("12");
        Edit(dlg, "m_dAlfae")->setText("90");
        Edit(dlg, "m_nNh")->setText("20");
        Button(dlg, "quantity2")->click();
        QCOMPARE(settings.m_nX, 12);
        QCOMPARE(settings.m_dAlfae, 90.0);
        QCOMPARE(settings.m_nNh, 20);
        QCOMPARE(settings.m_nQuantity, 2);

        Edit(dlg, "m_nY")->setText("3");
        Button(dlg, "m_bAirGap")->click();
        QCOMPARE(settings.m_nY, 3);
        QVERIFY(settings.m_bAirGap);

        Edit(dlg, "m_nN")->setText("10"); // typed after the last click: not stored
        dlg.reject();
        QCOMPARE(settings.m_nX, 12);
        QCOMPARE(settings.m_nY, 3);
        QCOMPARE(settings.m_nN, 1000);
        QVERIFY(settings.m_bAirGap);
    }

    void aClickWithARefusedFieldPromptsAndStoresTheFieldsBeforeIt() {
        CFluxPlotSettings settings;
        CDFluxPlot dlg(settings);
        Edit(dlg, "m_dAlfab")->setText("45");
        Edit(dlg, "m_nY")->setText("4"); // magnets are 0..3
        const QString prompt = AnswerPrompt([&] { Button(dlg, "quantity0")->click(); });
        QVERIFY2(prompt.contains("y =") && prompt.contains("0 to 3"), qPrintable(prompt));
        QCOMPARE(settings.m_dAlfab, 45.0); // before y in the exchange order
        QCOMPARE(settings.m_nY, 0);
        QCOMPARE(Edit(dlg, "m_nX")->isEnabled(), false); // the rule still follows the click
    }

    void okRefusesOutOfRangeAndKeepsTheSettings() {
        CFluxPlotSettings settings;
        CDFluxPlot dlg(settings);
        Edit(dlg, "m_nN")->setText("1001");
        Edit(dlg, "m_nX")->setText("5");
        const QString prompt = AnswerPrompt([&] { dlg.accept(); });
        QVERIFY2(prompt.contains("N =") && prompt.contains("0 to 1000"), qPrintable(prompt));
        QCOMPARE(dlg.result(), int(QDialog::Rejected));
        QCOMPARE(settings.m_nX, 0);
        QCOMPARE(settings.m_nN, 1000);

        Edit(dlg, "m_nN")->setText("500");
        QVERIFY(AnswerPrompt([&] { dlg.accept(); }).isEmpty());
        QCOMPARE(dlg.result(), int(QDialog::Accepted));
        QCOMPARE(settings.m_nX, 5);
        QCOMPARE(settings.m_nN, 500);
    }
};

QTEST_MAIN(TestDFluxPlot)
#include "tst_DFluxPlot.moc"
