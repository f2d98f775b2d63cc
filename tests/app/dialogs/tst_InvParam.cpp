#include "ModalScript.h"
#include "dialogs/InvParam.h"

#include <QAbstractButton>
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QTimer>
#include <QtTest>

#include <functional>
#include <map>
#include <memory>

namespace {

bool Same(const CInvParams& a, const CInvParams& b) {
    CParamSet x, y;
    x.m_control = a;
    y.m_control = b;
    return x == y;
}

const std::map<QString, double CInvParams::*>& Members() {
    static const std::map<QString, double CInvParams::*> members = {
        {"m_dFT", &CInvParams::m_dFT},   {"m_dUd", &CInvParams::m_dUd},
        {"m_dCu", &CInvParams::m_dCu},   {"m_dRu", &CInvParams::m_dRu},
        {"m_dKi", &CInvParams::m_dKi},   {"m_dKp", &CInvParams::m_dKp},
        {"m_dKt", &CInvParams::m_dKt},   {"m_dRlRC", &CInvParams::m_dRlRC},
        {"m_dCl", &CInvParams::m_dCl},   {"m_dUmax", &CInvParams::m_dUmax},
        {"m_dF", &CInvParams::m_dF},     {"m_dPhi", &CInvParams::m_dPhi},
        {"m_dRlR", &CInvParams::m_dRlR}, {"m_dT", &CInvParams::m_dT},
    };
    return members;
}

// The mnemonic letters of every label with a buddy and every button, lower case.
QStringList Mnemonics(const QWidget& dialog) {
    QStringList letters;
    auto collect = [&](const QString& text) {
        const int at = text.indexOf(QRegularExpression("&[^&]"));
        if (at >= 0)
            letters << text.mid(at + 1, 1).toLower();
    };
    for (const QLabel* label : dialog.findChildren<QLabel*>()) {
        if (label->buddy())
            collect(label->text());
    }
    for (const QAbstractButton* button : dialog.findChildren<QAbstractButton*>())
        collect(button->text());
    return letters;
}

} // namespace

class TestInvParam : public QObject {
    Q_OBJECT

private:
    static QLineEdit* Edit(const CInvParam& dlg, const char* name) {
        auto* edit = dlg.findChild<QLineEdit*>(name);
        if (!edit)
            qFatal("no field %s", name);
        return edit;
    }
    static QButtonGroup* Group(const CInvParam& dlg, const char* name) {
        return dlg.findChild<QButtonGroup*>(name);
    }
    static QCheckBox* SpeedControl(const CInvParam& dlg) {
        return dlg.findChild<QCheckBox*>("m_bSpeedControl");
    }
    // Names of the controls that are enabled, in a fixed order.
    static QStringList Enabled(const CInvParam& dlg) {
        QStringList names;
        for (const char* name :
             {"m_dUd", "m_dRu", "m_dCu", "m_dUmax", "m_dF", "m_dPhi", "m_dRlRC", "m_dCl", "m_dRlR",
              "m_dFT", "m_dKt", "m_dKp", "m_dKi", "m_strSpeedPath", "m_dT"}) {
            if (Edit(dlg, name)->isEnabled())
                names << name;
        }
        if (SpeedControl(dlg)->isEnabled())
            names << "m_bSpeedControl";
        const QList<QAbstractButton*> methods = Group(dlg, "m_nControlMethod")->buttons();
        const bool first = methods[0]->isEnabled();
        if (first != methods[1]->isEnabled())
            names << "methods differ";
        else if (first)
            names << "m_nControlMethod";
        return names;
    }

private slots:
    void cleanup() { QLocale::setDefault(QLocale::system()); }

    void showsTheDefaults() {
        CInvParams params;
        CInvParam dlg(params);
        const std::map<const char*, const char*> expected = {
            {"m_dFT", "5000"},   {"m_dUd", "200"},
            {"m_dCu", "0.0001"}, {"m_dRu", "0.1"},
            {"m_dKi", "50"},     {"m_dKp", "0.6"},
            {"m_dKt", "700"},    {"m_strSpeedPath", "0.0*100.0*"},
            {"m_dRlRC", "100"},  {"m_dCl", "0.0001"},
            {"m_dUmax", "200"},  {"m_dF", "50"},
            {"m_dPhi", "0"},     {"m_dRlR", "100"},
            {"m_dT", "0"}};
        for (const auto& [name, text] : expected)
            QCOMPARE(Edit(dlg, name)->text(), QString(text));
        QCOMPARE(Group(dlg, "m_nCondition")->checkedId(), 0);
        QCOMPARE(Group(dlg, "m_nControlMethod")->checkedId(), 0);
        QVERIFY(!SpeedControl(dlg)->isChecked());
        QCOMPARE(Enabled(dlg),
                 QStringList({"m_dUd", "m_dRu", "m_dCu", "m_dFT", "m_dKt", "m_dKp", "m_dKi",
                              "m_strSpeedPath", "m_dT", "m_nControlMethod"}));
    }

    void enablesTheFieldsOfTheCondition_data() {
        QTest::addColumn<int>("condition");
        QTest::addColumn<int>("method");
        QTest::addColumn<bool>("speedControl");
        QTest::addColumn<bool>("byClicks");
        QTest::addColumn<QStringList>("enabled");
        const QStringList regulator = {"m_dKt", "m_dKp", "m_dKi", "m_strSpeedPath"};
        const QStringList inverter =
            QStringList{"m_dUd", "m_dRu", "m_dCu", "m_dFT"} + regulator + QStringList{"m_dT"};
        const QStringList sixStep =
            QStringList{"m_dUd", "m_dRu", "m_dCu"} + regulator + QStringList{"m_dT"};
        const QStringList supplyOff = {"m_dUmax", "m_dF", "m_dPhi", "m_dT", "m_bSpeedControl"};
        const QStringList supplyOn =
            QStringList{"m_dUmax"} + regulator + QStringList{"m_dT", "m_bSpeedControl"};
        const QStringList rectifier = {"m_dRlRC", "m_dCl", "m_dT"};
        const QStringList load = {"m_dRlR", "m_dT"};
        for (bool clicks : {false, true}) {
            const char* how = clicks ? "clicked" : "opened";
            QTest::addRow("index 0, space vector, %s", how)
                << 0 << 0 << false << clicks << inverter + QStringList{"m_nControlMethod"};
            // Choosing the inverter enables fT whatever the method; opening follows the method.
            QTest::addRow("index 0, six step, %s", how)
                << 0 << 1 << false << clicks
                << sixStep + QStringList{"m_nControlMethod"} +
                       (clicks ? QStringList{"m_dFT"} : QStringList{});
            QTest::addRow("index 1, speed control off, %s", how)
                << 1 << 0 << false << clicks << supplyOff;
            QTest::addRow("index 1, speed control on, %s", how)
                << 1 << 0 << true << clicks << supplyOn;
            QTest::addRow("index 2, %s", how) << 2 << 0 << false << clicks << rectifier;
            QTest::addRow("index 3, %s", how) << 3 << 0 << false << clicks << load;
        }
        // Speed control and method do not matter outside the conditions that use them.
        QTest::addRow("index 0, speed control on")
            << 0 << 0 << true << false << inverter + QStringList{"m_nControlMethod"};
        QTest::addRow("index 2, speed control on, six step")
            << 2 << 1 << true << false << rectifier;
        QTest::addRow("index 3, speed control on") << 3 << 0 << true << false << load;
    }

    void enablesTheFieldsOfTheCondition() {
        QFETCH(int, condition);
        QFETCH(int, method);
        QFETCH(bool, speedControl);
        QFETCH(bool, byClicks);
        QFETCH(QStringList, enabled);

        CInvParams params;
        if (!byClicks) {
            params.m_nCondition = condition;
            params.m_nControlMethod = method;
            params.m_bSpeedControl = speedControl;
        }
        CInvParam dlg(params);
        if (byClicks) {
            if (method == 1)
                Group(dlg, "m_nControlMethod")->button(1)->click();
            Group(dlg, "m_nCondition")->button(condition)->click();
            if (speedControl)
                SpeedControl(dlg)->click();
            QCOMPARE(Group(dlg, "m_nCondition")->checkedId(), condition);
            QCOMPARE(SpeedControl(dlg)->isChecked(), speedControl);
        }
        QStringList actual = Enabled(dlg);
        actual.sort();
        enabled.sort();
        QCOMPARE(actual, enabled);
    }

    void speedControlSwapsRegulatorAndSupplyPhaseInCondition2() {
        CInvParams params;
        params.m_nCondition = 1;
        CInvParam dlg(params);
        const QStringList regulator = {"m_dKt", "m_dKp", "m_dKi", "m_strSpeedPath"};
        const QStringList phase = {"m_dF", "m_dPhi"};
        for (bool on : {true, false}) {
            SpeedControl(dlg)->click();
            for (const QString& name : regulator)
                QCOMPARE(Edit(dlg, qPrintable(name))->isEnabled(), on);
            for (const QString& name : phase)
                QCOMPARE(Edit(dlg, qPrintable(name))->isEnabled(), !on);
            QVERIFY(Edit(dlg, "m_dUmax")->isEnabled());
        }
    }

    void methodRadiosSwitchTheCarrierFrequency() {
        CInvParams params;
        CInvParam dlg(params);
        QButtonGroup* method = Group(dlg, "m_nControlMethod");
        method->button(1)->click();
        QVERIFY(!Edit(dlg, "m_dFT")->isEnabled());
        method->button(0)->click();
        QVERIFY(Edit(dlg, "m_dFT")->isEnabled());
    }

    void storesOfTheHandlersSurviveCancel_data() {
        QTest::addColumn<int>("condition");
        QTest::addColumn<QString>("field");
        QTest::addColumn<bool>("clickSpeedControl");
        QTest::newRow("ON/OFF") << 1 << "m_dUmax" << true;
        QTest::newRow("condition 2") << 0 << "m_dUd" << false;
    }

    void storesOfTheHandlersSurviveCancel() {
        QFETCH(int, condition);
        QFETCH(QString, field);
        QFETCH(bool, clickSpeedControl);

        CInvParams params;
        params.m_nCondition = condition;
        CInvParam dlg(params);
        dlg.show();
        QVERIFY(!dlg.HasStored());
        QLineEdit* edit = Edit(dlg, qPrintable(field));
        edit->setText("150");
        Edit(dlg, "m_dT")->setText("12.5");
        Edit(dlg, "m_strSpeedPath")->setText("0*50*");
        const QString prompt = AnswerPrompt([&] {
            if (clickSpeedControl)
                SpeedControl(dlg)->click();
            else
                Group(dlg, "m_nCondition")->button(1)->click();
        });
        QCOMPARE(prompt, QString());
        QVERIFY(dlg.HasStored());
        edit->setText("175"); // typed after the store: Cancel discards it
        dlg.reject();

        CInvParams expected;
        expected.m_nCondition = 1;
        expected.m_bSpeedControl = clickSpeedControl;
        expected.*Members().at(field) = 150;
        expected.m_dT = 12.5;
        expected.m_strSpeedPath = "0*50*";
        QVERIFY(Same(params, expected));
    }

    void handlerStoreStopsAtTheRefusedField() {
        CInvParams params;
        CInvParam dlg(params);
        dlg.show();
        Edit(dlg, "m_dFT")->setText("4000");
        Edit(dlg, "m_dUd")->setText("300");
        Edit(dlg, "m_dCu")->setText("abc");
        Edit(dlg, "m_dKi")->setText("99");
        const QString prompt =
            AnswerPrompt([&] { Group(dlg, "m_nCondition")->button(1)->click(); });
        QVERIFY2(prompt.contains("Cu ="), qPrintable(prompt));

        // fT and Ud come before Cu in the exchange; ki and the condition after it.
        CInvParams expected;
        expected.m_dFT = 4000;
        expected.m_dUd = 300;
        QVERIFY(Same(params, expected));
        QVERIFY(dlg.HasStored());
        // The user's text stays, and the enabling follows the click.
        QCOMPARE(Edit(dlg, "m_dCu")->text(), QString("abc"));
        QCOMPARE(Edit(dlg, "m_dKi")->text(), QString("99"));
        QVERIFY(Edit(dlg, "m_dUmax")->isEnabled());
    }

    void okStoresNothingWhileAFieldIsRefused() {
        CInvParams params;
        CInvParam dlg(params);
        dlg.show();
        Edit(dlg, "m_dFT")->setText("4000"); // exchanged before the refused field
        Edit(dlg, "m_dT")->setText("60");
        Edit(dlg, "m_dRlR")->setText("5");
        QVERIFY(!AnswerPrompt([&] { dlg.accept(); }).isEmpty());
        QVERIFY(Same(params, CInvParams()));
        Edit(dlg, "m_dT")->setText("-12");
        QCOMPARE(AnswerPrompt([&] { dlg.accept(); }), QString());
        CInvParams expected;
        expected.m_dFT = 4000;
        expected.m_dRlR = 5;
        expected.m_dT = -12;
        QVERIFY(Same(params, expected));
    }

    void okChecksEachField_data() {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("prompt");
        QTest::newRow("Cu below") << "m_dCu"
                                  << "0.00005" << false << 0.0 << "Cu =*0.0001 to 10";
        QTest::newRow("Cu lowest") << "m_dCu"
                                   << "0.0001" << true << 0.0001 << "";
        QTest::newRow("Cu highest") << "m_dCu"
                                    << "10" << true << 10.0 << "";
        QTest::newRow("Cu above") << "m_dCu"
                                  << "10.001" << false << 0.0 << "Cu =*0.0001 to 10";
        QTest::newRow("T above") << "m_dT"
                                 << "60" << false << 0.0 << "T =*-50 to 50";
        QTest::newRow("T lowest") << "m_dT"
                                  << "-50" << true << -50.0 << "";
        QTest::newRow("T below") << "m_dT"
                                 << "-50.5" << false << 0.0 << "T =*-50 to 50";
        QTest::newRow("fT above") << "m_dFT"
                                  << "10001" << false << 0.0 << "fT =*0 to 10000";
        QTest::newRow("fT zero") << "m_dFT"
                                 << "0" << true << 0.0 << "";
        QTest::newRow("Ru negative") << "m_dRu"
                                     << "-0.1" << false << 0.0 << "Ru =*0 to 1000";
        QTest::newRow("ki highest") << "m_dKi"
                                    << "10000" << true << 10000.0 << "";
        QTest::newRow("kp above") << "m_dKp"
                                  << "1e5" << false << 0.0 << "kp =*0 to 10000";
        QTest::newRow("kt negative") << "m_dKt"
                                     << "-1" << false << 0.0 << "kt =*0 to 10000";
        QTest::newRow("Ud letters") << "m_dUd"
                                    << "abc" << false << 0.0 << "Ud =*not a number";
        QTest::newRow("Ud empty") << "m_dUd"
                                  << "" << false << 0.0 << "Ud =*not a number";
        QTest::newRow("Ud comma") << "m_dUd"
                                  << "1,5" << false << 0.0 << "Ud =*not a number";
        QTest::newRow("Ud trailing") << "m_dUd"
                                     << "12V" << false << 0.0 << "Ud =*not a number";
        QTest::newRow("Ud infinite") << "m_dUd"
                                     << "inf" << false << 0.0 << "Ud =";
        QTest::newRow("Ud exponent") << "m_dUd"
                                     << "1e3" << true << 1000.0 << "";
        QTest::newRow("Ud blanks") << "m_dUd"
                                   << " 250 " << true << 250.0 << "";
        QTest::newRow("Rl of the R load") << "m_dRlR"
                                          << "x" << false << 0.0 << "Rl = (R load)*not a number";
        QTest::newRow("Rl of the RC load") << "m_dRlRC"
                                           << "x" << false << 0.0 << "Rl = (RC load)*not a number";
    }

    void okChecksEachField() {
        QFETCH(QString, field);
        QFETCH(QString, text);
        QFETCH(bool, accepted);
        QFETCH(double, value);
        QFETCH(QString, prompt);

        // Open in the condition that uses the field, so that it can take the focus.
        const std::map<QString, int> conditions = {{"m_dUmax", 1}, {"m_dF", 1},  {"m_dPhi", 1},
                                                   {"m_dRlRC", 2}, {"m_dCl", 2}, {"m_dRlR", 3}};
        CInvParams params;
        params.m_nCondition = conditions.count(field) ? conditions.at(field) : 0;
        const CInvParams opened = params;
        CInvParam dlg(params);
        dlg.show();
        QLineEdit* edit = Edit(dlg, qPrintable(field));
        QVERIFY(edit->isEnabled());
        edit->setText(text);
        const QString shown = AnswerPrompt([&] { dlg.accept(); });

        CInvParams expected = opened;
        if (accepted) {
            QCOMPARE(shown, QString());
            QCOMPARE(dlg.result(), int(QDialog::Accepted));
            expected.*Members().at(field) = value;
        } else {
            const QRegularExpression pattern(
                QRegularExpression::wildcardToRegularExpression("*" + prompt + "*"));
            QVERIFY2(pattern.match(shown).hasMatch(), qPrintable(shown));
            QVERIFY(dlg.isVisible());
            QCOMPARE(dlg.focusWidget(), edit);
            QCOMPARE(edit->text(), text); // the refused text stays for correction
        }
        QVERIFY(Same(params, expected));
    }

    void speedPathTakesAtMost1000Characters() {
        CInvParams params;
        CInvParam dlg(params);
        dlg.show();
        QLineEdit* path = Edit(dlg, "m_strSpeedPath");
        path->clear();
        // A valid path of 1000 characters (0 rad/s at t = 0) and one more that is cut off.
        const QString text = "0*" + QString(997, '0') + "*";
        QTest::keyClicks(path, text + "0");
        QCOMPARE(path->text(), text);
        dlg.accept();
        QCOMPARE(params.m_strSpeedPath, text.toStdString());
    }

    void cancelChangesNothing() {
        CInvParams params;
        CInvParam dlg(params);
        dlg.show();
        for (const auto& [name, member] : Members())
            Edit(dlg, qPrintable(name))->setText("7");
        Edit(dlg, "m_strSpeedPath")->setText("0*7*");
        Group(dlg, "m_nControlMethod")->button(1)->click();
        Group(dlg, "m_nCondition")->button(3)->click(); // no store: only condition 2 stores
        dlg.reject();
        QVERIFY(Same(params, CInvParams()));
        QVERIFY(!dlg.HasStored());
    }

    void execStoresEveryFieldOnOk() {
        CInvParams params;
        CInvParam dlg(params);
        QTimer::singleShot(0, [] {
            auto* shown = qobject_cast<CInvParam*>(QApplication::activeModalWidget());
            QVERIFY(shown);
            double value = 1;
            for (const auto& [name, member] : Members())
                Edit(*shown, qPrintable(name))->setText(QString::number(value++ / 8));
            Edit(*shown, "m_strSpeedPath")->setText("0*10*0.05*20*");
            Group(*shown, "m_nControlMethod")->button(1)->click();
            Group(*shown, "m_nCondition")->button(3)->click();
            shown->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
        });
        QCOMPARE(dlg.exec(), int(QDialog::Accepted));

        CInvParams expected;
        double value = 1;
        for (const auto& [name, member] : Members())
            expected.*member = value++ / 8; // exact in binary, so the text round trip is exact
        expected.m_strSpeedPath = "0*10*0.05*20*";
        expected.m_nControlMethod = 1;
        expected.m_nCondition = 3;
        QVERIFY(Same(params, expected));
    }

    void numbersUseTheCLocaleWhateverTheUsersLocale() {
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        CInvParams params;
        CInvParam dlg(params);
        dlg.show();
        QCOMPARE(Edit(dlg, "m_dCu")->text(), QString("0.0001"));
        Edit(dlg, "m_dKp")->setText("2.5");
        Edit(dlg, "m_dKi")->setText("1.000"); // one, not a thousand
        QCOMPARE(AnswerPrompt([&] { dlg.accept(); }), QString());
        QCOMPARE(params.m_dKp, 2.5);
        QCOMPARE(params.m_dKi, 1.0);
    }

    void tabVisitsTheFieldsInReadingOrder() {
        CInvParams params;
        CInvParam dlg(params);
        QStringList names;
        for (QWidget* widget = dlg.nextInFocusChain(); widget != &dlg;
             widget = widget->nextInFocusChain()) {
            if (qobject_cast<QLineEdit*>(widget))
                names << widget->objectName();
        }
        // Condition by condition, then the torque and the scheme, then the speed control row
        // by row.
        QCOMPARE(names, QStringList({"m_dUd", "m_dRu", "m_dCu", "m_dUmax", "m_dF", "m_dPhi",
                                     "m_dRlRC", "m_dCl", "m_dRlR", "m_dT", "m_dCurrentBandwidth",
                                     "m_dImax", "m_dSpeedBandwidth", "m_dFT", "m_dKt", "m_dKp",
                                     "m_dKi", "m_strSpeedPath"}));
    }

    // The settings of field-oriented control act only with the inverter and space-vector
    // PWM, where the scalar regulator's gains do not; a field-oriented choice stays undoable.
    void schemeEnablesTheFieldOrientedSettingsWhereTheyAct() {
        CInvParams params;
        CFocParams foc;
        CInvParam dlg(params, foc);
        const QStringList focFields = {"m_dCurrentBandwidth", "m_dSpeedBandwidth", "m_dImax"};
        auto check = [&](bool focActs, bool gains, bool radios) {
            for (const QString& name : focFields)
                QCOMPARE(Edit(dlg, qPrintable(name))->isEnabled(), focActs);
            QCOMPARE(dlg.findChild<QCheckBox*>("m_bMtpa")->isEnabled(), focActs);
            QCOMPARE(Edit(dlg, "m_dKp")->isEnabled(), gains);
            QCOMPARE(Edit(dlg, "m_dKi")->isEnabled(), gains);
            for (QAbstractButton* radio : Group(dlg, "m_nScheme")->buttons())
                QCOMPARE(radio->isEnabled(), radios);
        };
        check(false, true, true);
        Group(dlg, "m_nScheme")->button(1)->click();
        check(true, false, true);
        Group(dlg, "m_nControlMethod")->button(1)->click();
        check(false, true, true);
        Group(dlg, "m_nCondition")->button(2)->click();
        check(false, false, true);
        Group(dlg, "m_nScheme")->button(0)->click();
        check(false, false, false);
    }

    // OK stores the settings with the control parameters, refuses a setting out of its range
    // and field-oriented control with six-step control, naming them; nothing is stored then.
    void okChecksAndStoresTheFieldOrientedSettings() {
        CInvParams params;
        CFocParams foc;
        {
            CInvParam dlg(params, foc);
            dlg.show();
            Group(dlg, "m_nScheme")->button(1)->click();
            Edit(dlg, "m_dImax")->setText("0");
            QVERIFY(AnswerPrompt([&] { dlg.accept(); }).contains("Imax ="));
            Edit(dlg, "m_dImax")->setText("7.5");
            Group(dlg, "m_nControlMethod")->button(1)->click();
            QVERIFY(AnswerPrompt([&] { dlg.accept(); }).contains("Control scheme 1"));
            QVERIFY(Same(params, CInvParams()));
            QCOMPARE(foc.m_dImax, CFocParams().m_dImax);
            Group(dlg, "m_nControlMethod")->button(0)->click();
            Edit(dlg, "m_dSpeedBandwidth")->setText("20");
            dlg.findChild<QCheckBox*>("m_bMtpa")->click();
            QCOMPARE(AnswerPrompt([&] { dlg.accept(); }), QString());
            QCOMPARE(dlg.result(), int(QDialog::Accepted));
        }
        QCOMPARE(params.m_nScheme, 1);
        QCOMPARE(foc.m_dImax, 7.5);
        QCOMPARE(foc.m_dSpeedBandwidth, 20.0);
        QVERIFY(foc.m_bMtpa);
    }

    void fitsTheScreenAndHasDistinctMnemonics() {
        CInvParams params;
        CInvParam dlg(params);
        dlg.show();
        QVERIFY2(dlg.width() <= 1366 && dlg.height() <= 740,
                 qPrintable(QString("%1 x %2").arg(dlg.width()).arg(dlg.height())));
        const QStringList letters = Mnemonics(dlg);
        QCOMPARE(QSet<QString>(letters.begin(), letters.end()).size(), letters.size());
        QVERIFY(letters.size() >= 20);
    }
};

QTEST_MAIN(TestInvParam)
#include "tst_InvParam.moc"
