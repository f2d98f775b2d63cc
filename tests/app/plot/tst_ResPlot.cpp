// The result plot dialog: its table of choices, the enabling rule by condition of work and
// speed control, OK and Cancel, and the circuit picture of the condition.
#include "ResultColumns.h"
#include "pictures/Pictures.h"
#include "plot/ResPlot.h"

#include <QGroupBox>
#include <QImage>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QSet>
#include <QTimer>
#include <QtTest>

namespace {

const QStringList kSupplySide = {"iC",  "iU",  "iDC", "iT1", "iT2", "iT3", "iT4", "iT5",
                                 "iT6", "iD1", "iD2", "iD3", "iD4", "iD5", "iD6"};
const QStringList kTransistors = {"iT1", "iT2", "iT3", "iT4", "iT5", "iT6"};
const QStringList kControl = {"omegaU", "omegaR*", "omegaR**", "omegaE"};
const QStringList kDq = {"id", "iq", "id*", "iq*", "ud*", "uq*"};

QRadioButton* Button(const CResPlot& dialog, const QString& text) {
    for (QRadioButton* button : dialog.findChildren<QRadioButton*>()) {
        if (button->text() == text)
            return button;
    }
    return nullptr;
}

QPushButton* PushButton(const CResPlot& dialog, const QString& text) {
    for (QPushButton* button : dialog.findChildren<QPushButton*>()) {
        if (button->text() == text)
            return button;
    }
    return nullptr;
}

/// Opens the dialog modally and lets act() work on it while it is shown. A failed check inside
/// act() leaves the dialog open: the watchdog closes it.
int Run(CResPlot& dialog, const std::function<void()>& act) {
    QTimer::singleShot(5000, &dialog, &QDialog::reject);
    QTimer::singleShot(0, &dialog, [&] {
        QVERIFY(QApplication::activeModalWidget() == &dialog);
        act();
    });
    return dialog.exec();
}

} // namespace

class TestResPlot : public QObject {
    Q_OBJECT

private slots:
    void everyChoiceHasItsOwnColumnAndItsLabel();
    void buttonsStandInTheirGroups();
    void buttonsAreDisabledByConditionAndSpeedControl_data();
    void buttonsAreDisabledByConditionAndSpeedControl();
    void disabledRememberedChoiceIsStillAccepted();
    void okStoresTheChosenButtonAndCancelKeepsTheOldChoice();
    void circuitOfTheConditionIsDrawnAtItsPlace();
};

void TestResPlot::everyChoiceHasItsOwnColumnAndItsLabel() {
    // The 35 choices of the table take every result column but time exactly once.
    QSet<int> columns;
    for (int index = 0; index < CResPlot::kTableResults; ++index) {
        const int column = CResPlot::ResultColumn(index);
        QVERIFY(column >= 1 && column < kResultColumns);
        columns.insert(column);
        // The label names the column, and its quantity is the button's ("iT1" plots "IT1 [A]").
        QCOMPARE(CResPlot::ResultLabel(index).toStdString(), kResultLabels[column]);
        const QString quantity = CResPlot::ResultLabel(index).section(' ', 0, 0);
        QVERIFY2(quantity.compare(CResPlot::ButtonText(index), Qt::CaseInsensitive) == 0,
                 qPrintable(CResPlot::ButtonText(index)));
    }
    QCOMPARE(columns.size(), CResPlot::kTableResults);
    // The dq choices of field-oriented runs follow, each on its own column of that table.
    for (int index = CResPlot::kTableResults; index < CResPlot::kResults; ++index) {
        const int c = index - CResPlot::kTableResults;
        QCOMPARE(CResPlot::ResultColumn(index), CResPlot::kFocColumn + c);
        QCOMPARE(CResPlot::ResultLabel(index).toStdString(), kFocLabels[c]);
        QCOMPARE(CResPlot::ButtonText(index), kDq[c]);
    }
    QCOMPARE(CResPlot::ResultColumn(CResPlot::kResults), -1);
    QCOMPARE(CResPlot::ResultColumn(-1), -1);
    QVERIFY(CResPlot::ResultLabel(CResPlot::kResults).isEmpty());
    // Spot checks of the order of the buttons.
    QCOMPARE(CResPlot::ButtonText(0), QString("ia"));
    QCOMPARE(CResPlot::ResultColumn(7), 16);  // "iD1"
    QCOMPARE(CResPlot::ResultColumn(21), 23); // "omegaU"
    QCOMPARE(CResPlot::ResultLabel(34), QString("Psic [Wb]"));
}

void TestResPlot::buttonsStandInTheirGroups() {
    CResPlot dialog;
    QCOMPARE(dialog.windowTitle(), QString("Result plot"));
    QCOMPARE(dialog.findChildren<QRadioButton*>().size(), CResPlot::kResults);
    const QMap<QString, QStringList> groups = {
        {"Current",
         {"ia", "ib", "ic", "iU", "iC", "iDC", "iT1", "iD1", "iT2", "iD2", "iT3", "iD3", "iT4",
          "iD4", "iT5", "iD5", "iT6", "iD6"}},
        {"Voltage", {"ua", "ub", "uc", "uab", "ubc", "uca", "vX"}},
        {"Flux", {"Psia", "Psib", "Psic"}},
        {"Speed and torque", {"omegaR", "Te", "betaR", "omegaU", "omegaR*", "omegaR**", "omegaE"}},
        {"Field-oriented control", kDq},
    };
    for (auto group = groups.begin(); group != groups.end(); ++group) {
        for (const QString& text : group.value()) {
            QRadioButton* button = Button(dialog, text);
            QVERIFY2(button, qPrintable(text));
            auto* box = qobject_cast<QGroupBox*>(button->parentWidget());
            QVERIFY(box);
            QCOMPARE(box->title(), group.key());
        }
    }
    QVERIFY(PushButton(dialog, "OK"));
    QVERIFY(PushButton(dialog, "Cancel"));
}

void TestResPlot::buttonsAreDisabledByConditionAndSpeedControl_data() {
    QTest::addColumn<int>("condition");
    QTest::addColumn<bool>("speedControl");
    QTest::addColumn<bool>("foc");
    QTest::addColumn<QStringList>("disabled");
    for (bool speed : {false, true}) {
        const char* on = speed ? "speed control on" : "speed control off";
        QTest::addRow("inverter, %s", on) << 0 << speed << false << kDq;
        QTest::addRow("sine supply, %s", on)
            << 1 << speed << false << (speed ? kSupplySide : kSupplySide + kControl) + kDq;
        QTest::addRow("rectifier, %s", on) << 2 << speed << false << kTransistors + kControl + kDq;
        QTest::addRow("R load, %s", on) << 3 << speed << false << kSupplySide + kControl + kDq;
    }
    QTest::addRow("inverter, field oriented") << 0 << false << true << QStringList();
}

void TestResPlot::buttonsAreDisabledByConditionAndSpeedControl() {
    QFETCH(int, condition);
    QFETCH(bool, speedControl);
    QFETCH(bool, foc);
    QFETCH(QStringList, disabled);
    for (int index = 0; index < CResPlot::kResults; ++index) {
        const QString text = CResPlot::ButtonText(index);
        QCOMPARE(CResPlot::IsResultEnabled(index, condition, speedControl, foc),
                 !disabled.contains(text));
    }

    CResPlot dialog;
    dialog.m_nCondition = condition;
    dialog.m_bSpeedControl = speedControl;
    dialog.m_bFoc = foc;
    dialog.show();
    for (QRadioButton* button : dialog.findChildren<QRadioButton*>())
        QVERIFY2(button->isEnabled() != disabled.contains(button->text()),
                 qPrintable(button->text()));
}

void TestResPlot::disabledRememberedChoiceIsStillAccepted() {
    CResPlot dialog;
    dialog.m_nCondition = 3;
    dialog.m_bSpeedControl = false;
    dialog.m_nResult = 6; // "iT1", chosen earlier with the inverter
    const int result = Run(dialog, [&] {
        QRadioButton* chosen = Button(dialog, "iT1");
        QVERIFY(chosen->isChecked());
        QVERIFY(!chosen->isEnabled());
        PushButton(dialog, "OK")->click();
    });
    QCOMPARE(result, int(QDialog::Accepted));
    QCOMPARE(dialog.m_nResult, 6);
}

void TestResPlot::okStoresTheChosenButtonAndCancelKeepsTheOldChoice() {
    CResPlot dialog;
    QCOMPARE(dialog.m_nResult, 0);
    dialog.m_nResult = 19; // "Te"
    int result = Run(dialog, [&] {
        QVERIFY(Button(dialog, "Te")->isChecked());
        Button(dialog, "uab")->click();
        PushButton(dialog, "Cancel")->click();
    });
    QCOMPARE(result, int(QDialog::Rejected));
    QCOMPARE(dialog.m_nResult, 19);

    // Opened again, the remembered choice is selected anew.
    result = Run(dialog, [&] {
        QVERIFY(Button(dialog, "Te")->isChecked());
        Button(dialog, "Psib")->click();
        PushButton(dialog, "OK")->click();
    });
    QCOMPARE(result, int(QDialog::Accepted));
    QCOMPARE(dialog.m_nResult, 33);
    QCOMPARE(CResPlot::ResultColumn(dialog.m_nResult), 34);
}

void TestResPlot::circuitOfTheConditionIsDrawnAtItsPlace() {
    QList<QImage> shown;
    for (int condition = 0; condition < 4; ++condition) {
        CResPlot dialog;
        dialog.m_nCondition = condition;
        dialog.show();
        const QImage grabbed = dialog.grab().toImage().convertToFormat(QImage::Format_RGB32);

        const QSize size = CPictures::CircuitSize(condition);
        QImage picture(size, QImage::Format_RGB32);
        picture.fill(Qt::black);
        QPainter dc(&picture);
        CPictures::DrawCircuit(dc, condition);
        dc.end();
        QCOMPARE(grabbed.copy(QRect(QPoint(23, 170), size)), picture);
        shown.append(picture);
    }
    QCOMPARE(CPictures::CircuitSize(0), QSize(573, 305));
    QCOMPARE(CPictures::CircuitSize(1), QSize(577, 305));
    QCOMPARE(CPictures::CircuitSize(2), QSize(573, 306));
    QCOMPARE(CPictures::CircuitSize(3), QSize(577, 306));
    for (int a = 0; a < 4; ++a) {
        for (int b = a + 1; b < 4; ++b)
            QVERIFY(shown[a].copy(0, 0, 573, 305) != shown[b].copy(0, 0, 573, 305));
    }
}

QTEST_MAIN(TestResPlot)
#include "tst_ResPlot.moc"
