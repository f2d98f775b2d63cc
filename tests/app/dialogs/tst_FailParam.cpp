#include "dialogs/FailParam.h"

#include "ModalScript.h"

#include <QAbstractButton>
#include <QApplication>
#include <QButtonGroup>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include <algorithm>

namespace {

QButtonGroup* Device(const QDialog& dlg, const QString& name) {
    auto* group = dlg.findChild<QButtonGroup*>(name);
    if (!group)
        qFatal("no device %s", qPrintable(name));
    return group;
}

QString DeviceName(char kind, int index) {
    return QString("%1%2").arg(kind).arg(index + 1);
}

} // namespace

class TestFailParam : public QObject {
    Q_OBJECT

private slots:
    void showsEveryDeviceOk() {
        CFailParams params;
        CProtectionParams protection;
        CFailParam dlg(params, protection, 0);
        for (char kind : {'T', 'D'}) {
            for (int i = 0; i < 6; ++i) {
                QButtonGroup* group = Device(dlg, DeviceName(kind, i));
                QCOMPARE(group->buttons().size(), 3);
                QCOMPARE(group->checkedId(), 0);
            }
        }
    }

    void showsTheStoredCodes() {
        CFailParams params;
        params.m_nFailT = {2, 0, 1, 0, 0, 2};
        params.m_nFailD = {0, 1, 0, 2, 0, 0};
        CProtectionParams protection;
        CFailParam dlg(params, protection, 0);
        for (int i = 0; i < 6; ++i) {
            QCOMPARE(Device(dlg, DeviceName('T', i))->checkedId(), params.m_nFailT[i]);
            QCOMPARE(Device(dlg, DeviceName('D', i))->checkedId(), params.m_nFailD[i]);
        }
    }

    void storesShortCircuitOfT1AndBreakOfD4() {
        CFailParams params;
        CProtectionParams protection;
        CFailParam dlg(params, protection, 0);
        QTimer::singleShot(0, [] {
            auto* shown = qobject_cast<CFailParam*>(QApplication::activeModalWidget());
            QVERIFY(shown);
            Device(*shown, "T1")->button(1)->click(); // "2 - Short circuit"
            Device(*shown, "D4")->button(2)->click(); // "3 - Break"
            shown->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
        });
        QCOMPARE(dlg.exec(), int(QDialog::Accepted));
        QCOMPARE(params.m_nFailT, (std::array<int, 6>{1, 0, 0, 0, 0, 0}));
        QCOMPARE(params.m_nFailD, (std::array<int, 6>{0, 0, 0, 2, 0, 0}));
    }

    void storesEachCodeForEachDeviceOnly() {
        for (char kind : {'T', 'D'}) {
            for (int i = 0; i < 6; ++i) {
                for (int code : {1, 2, 0}) {
                    CFailParams params;
                    params.m_nFailT.fill(code == 0 ? 1 : 0);
                    params.m_nFailD.fill(code == 0 ? 1 : 0);
                    CFailParams expected = params;
                    (kind == 'T' ? expected.m_nFailT : expected.m_nFailD)[i] = code;
                    CProtectionParams protection;
                    CFailParam dlg(params, protection, 0);
                    dlg.show();
                    Device(dlg, DeviceName(kind, i))->button(code)->click();
                    dlg.accept();
                    QCOMPARE(params.m_nFailT, expected.m_nFailT);
                    QCOMPARE(params.m_nFailD, expected.m_nFailD);
                }
            }
        }
    }

    void cancelKeepsTheCodes() {
        CFailParams params;
        params.m_nFailD[5] = 2;
        CProtectionParams protection;
        CFailParam dlg(params, protection, 0);
        dlg.show();
        Device(dlg, "D6")->button(0)->click();
        Device(dlg, "T3")->button(1)->click();
        dlg.reject();
        QCOMPARE(params.m_nFailD, (std::array<int, 6>{0, 0, 0, 0, 0, 2}));
        QCOMPARE(params.m_nFailT, (std::array<int, 6>{}));
    }

    void isAvailableWithInverterOrRectifier_data() {
        QTest::addColumn<int>("condition");
        QTest::addColumn<bool>("available");
        QTest::newRow("1 - Motor supplied by inverter") << 0 << true;
        QTest::newRow("2 - Motor supplied by 3 phase voltage") << 1 << false;
        QTest::newRow("3 - Generator supplying recifier with RC load") << 2 << true;
        QTest::newRow("4 - Generator supplying 3 phase R load") << 3 << false;
    }

    void isAvailableWithInverterOrRectifier() {
        QFETCH(int, condition);
        QFETCH(bool, available);
        CInvParams control;
        control.m_nCondition = condition;
        QCOMPARE(CFailParam::IsAvailable(control), available);
    }

    void arrowKeysMoveWithinOneDevice() {
        CFailParams params;
        CProtectionParams protection;
        CFailParam dlg(params, protection, 0);
        dlg.show();
        QVERIFY(QTest::qWaitForWindowActive(&dlg));
        QAbstractButton* ok = Device(dlg, "T2")->button(0);
        ok->setFocus();
        QTest::keyClick(ok, Qt::Key_Right);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Right);
        QCOMPARE(Device(dlg, "T2")->checkedId(), 2);
        QCOMPARE(Device(dlg, "T3")->checkedId(), 0);
        QCOMPARE(Device(dlg, "D2")->checkedId(), 0);
    }

    void storesTheFaultTimes() {
        CFailParams params;
        CProtectionParams protection;
        CFailParam dlg(params, protection, 0);
        QCOMPARE(dlg.m_pOnset->text(), QString("0"));
        QCOMPARE(dlg.m_pClear->text(), QString("0"));
        dlg.m_pOnset->setText("0.05");
        dlg.m_pClear->setText("0.07");
        Device(dlg, "T1")->button(1)->click();
        dlg.accept();
        QCOMPARE(dlg.result(), int(QDialog::Accepted));
        QCOMPARE(params.m_dOnset, 0.05);
        QCOMPARE(params.m_dClear, 0.07);
        QCOMPARE(params.m_nFailT[0], 1);
    }

    void refusesTimesItCannotApply_data() {
        QTest::addColumn<QString>("onset");
        QTest::addColumn<QString>("clear");
        QTest::addColumn<QString>("named");
        QTest::newRow("negative onset") << "-0.01"
                                        << "0"
                                        << "Fault from t =";
        QTest::newRow("clear at the onset") << "0.05"
                                            << "0.05"
                                            << "until t =";
        QTest::newRow("clear before the onset") << "0.05"
                                                << "0.01"
                                                << "until t =";
        QTest::newRow("clear not a number") << "0"
                                            << "soon"
                                            << "until t =";
    }

    void refusesTimesItCannotApply() {
        QFETCH(QString, onset);
        QFETCH(QString, clear);
        QFETCH(QString, named);
        CFailParams params;
        CProtectionParams protection;
        CFailParam dlg(params, protection, 0);
        dlg.show();
        dlg.m_pOnset->setText(onset);
        dlg.m_pClear->setText(clear);
        Device(dlg, "T2")->button(2)->click();
        CModalScript script;
        script.ThenMessage();
        dlg.accept();
        QVERIFY(script.Done());
        QVERIFY2(script.m_messages.value(0).contains(named),
                 qPrintable(script.m_messages.value(0)));
        QVERIFY(dlg.isVisible());
        // Nothing is stored, the codes neither.
        QCOMPARE(params.m_dOnset, 0.0);
        QCOMPARE(params.m_dClear, 0.0);
        QCOMPARE(params.m_nFailT, (std::array<int, 6>{}));
    }

    void timeFieldsHaveTheirOwnMnemonics() {
        CFailParams params;
        CProtectionParams protection;
        CFailParam dlg(params, protection, 0);
        QStringList keys;
        for (QLabel* label : dlg.findChildren<QLabel*>()) {
            if (label->buddy() == dlg.m_pOnset || label->buddy() == dlg.m_pClear) {
                const int amp = label->text().indexOf('&');
                QVERIFY2(amp >= 0, qPrintable(label->text()));
                keys << label->text().mid(amp + 1, 1).toLower();
            }
        }
        QCOMPARE(keys.size(), 2);
        QVERIFY(keys[0] != keys[1]);
    }

    // The group acts on the inverter only; Tdesat belongs to a desaturation threshold and the
    // safe state to any threshold.
    void protectionFollowsTheConditionAndItsThresholds() {
        CFailParams params;
        CProtectionParams protection;
        CFailParam rectifier(params, protection, 2);
        QVERIFY(!rectifier.m_pProtection->isEnabled());
        CFailParam dlg(params, protection, 0);
        dlg.show();
        QVERIFY(dlg.m_pProtection->isEnabled());
        const auto safeEnabled = [&] {
            const QList<QAbstractButton*> radios = dlg.m_pSafeState->buttons();
            return std::all_of(radios.begin(), radios.end(),
                               [](QAbstractButton* b) { return b->isEnabled(); });
        };
        QCOMPARE(dlg.m_pTdesat->text(), QString("3e-06"));
        QVERIFY(!dlg.m_pTdesat->isEnabled());
        QVERIFY(!safeEnabled());
        dlg.m_pUovp->setText("400");
        QVERIFY(!dlg.m_pTdesat->isEnabled());
        QVERIFY(safeEnabled());
        dlg.m_pUovp->setText("0");
        dlg.m_pIdesat->setText("3OO"); // mistyped: still to be corrected, not greyed
        QVERIFY(dlg.m_pTdesat->isEnabled());
        QVERIFY(safeEnabled());
        dlg.m_pIdesat->setText("0.0");
        QVERIFY(!dlg.m_pTdesat->isEnabled());
        QVERIFY(!safeEnabled());
    }

    void storesTheProtectionOrRefusesItsField_data() {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("named"); // empty: accepted
        QTest::newRow("threshold") << "idesat"
                                   << "300"
                                   << "";
        QTest::newRow("negative threshold") << "itrip"
                                            << "-1"
                                            << "Itrip =";
        QTest::newRow("negative time") << "tdesat"
                                       << "-1e-6"
                                       << "Tdesat =";
        QTest::newRow("not a number") << "uovp"
                                      << "high"
                                      << "Uovp =";
    }

    void storesTheProtectionOrRefusesItsField() {
        QFETCH(QString, field);
        QFETCH(QString, text);
        QFETCH(QString, named);
        CFailParams params;
        CProtectionParams protection;
        CFailParam dlg(params, protection, 0);
        dlg.show();
        dlg.findChild<QLineEdit*>(field)->setText(text);
        dlg.m_pSafeState->button(1)->click();
        CModalScript script;
        if (!named.isEmpty())
            script.ThenMessage();
        dlg.accept();
        QVERIFY(script.Done());
        if (named.isEmpty()) {
            QCOMPARE(dlg.result(), int(QDialog::Accepted));
            QCOMPARE(protection.m_dIdesat, 300.0);
            QCOMPARE(protection.m_nSafeState, 1);
            return;
        }
        QVERIFY2(script.m_messages.value(0).contains(named),
                 qPrintable(script.m_messages.value(0)));
        QVERIFY(dlg.isVisible());
        QCOMPARE(protection.m_nSafeState, 0);
        QCOMPARE(protection.m_dItrip, 0.0);
        QCOMPARE(protection.m_dTdesat, 3e-6);
    }

    void fitsTheScreen() {
        CFailParams params;
        CProtectionParams protection;
        CFailParam dlg(params, protection, 0);
        dlg.show();
        QVERIFY2(dlg.width() <= 1366 && dlg.height() <= 740,
                 qPrintable(QString("%1 x %2").arg(dlg.width()).arg(dlg.height())));
    }
};

QTEST_MAIN(TestFailParam)
#include "tst_FailParam.moc"
