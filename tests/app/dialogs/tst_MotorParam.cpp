#include "ModalScript.h"
#include "dialogs/MotorParam.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QTimer>
#include <QtTest>

#include <functional>
#include <map>
#include <memory>
#include <type_traits>
#include <variant>

namespace {

bool Same(const CMotorParams& a, const CMotorParams& b) {
    CParamSet x, y;
    x.m_motor = a;
    y.m_motor = b;
    return x == y;
}

using Member = std::variant<double CMotorParams::*, int CMotorParams::*>;

const std::map<QString, Member>& Members() {
    using P = CMotorParams;
    static const std::map<QString, Member> members = {
        {"m_dRonT", &P::m_dRonT},   {"m_dRoffT", &P::m_dRoffT},   {"m_dRonD", &P::m_dRonD},
        {"m_dRoffD", &P::m_dRoffD}, {"m_dMra", &P::m_dMra},       {"m_dMrb", &P::m_dMrb},
        {"m_dMrc", &P::m_dMrc},     {"m_dMl", &P::m_dMl},         {"m_dMm", &P::m_dMm},
        {"m_nNhInd", &P::m_nNhInd}, {"m_nNhFlux", &P::m_nNhFlux}, {"m_dJ", &P::m_dJ},
        {"m_dD", &P::m_dD}};
    return members;
}

void Set(CMotorParams& params, const QString& name, double value) {
    std::visit(
        [&](auto member) {
            params.*member = std::remove_reference_t<decltype(params.*member)>(value);
        },
        Members().at(name));
}

QLineEdit* Edit(const QDialog& dlg, const QString& name) {
    auto* edit = dlg.findChild<QLineEdit*>(name);
    if (!edit)
        qFatal("no field %s", qPrintable(name));
    return edit;
}

} // namespace

class TestMotorParam : public QObject {
    Q_OBJECT

private slots:
    void showsTheDefaults() {
        CMotorParams params;
        CMotorParam dlg(params);
        const std::map<QString, QString> expected = {
            {"m_dRonT", "0.1"},  {"m_dRoffT", "1000"}, {"m_dRonD", "0.1"}, {"m_dRoffD", "1000"},
            {"m_dMra", "1"},     {"m_dMrb", "1"},      {"m_dMrc", "1"},    {"m_dMl", "1"},
            {"m_dMm", "1"},      {"m_nNhInd", "0"},    {"m_nNhFlux", "1"}, {"m_dJ", "0.000962"},
            {"m_dD", "0.000904"}};
        for (const auto& [name, text] : expected) {
            QCOMPARE(Edit(dlg, name)->text(), text);
            QVERIFY(Edit(dlg, name)->isEnabled());
        }
    }

    void okChecksEachField_data() {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("prompt");
        QTest::newRow("Nh inductances 4")
            << "m_nNhInd"
            << "4" << false << 0.0 << "Nh = (Winding inductances)*0 to 3";
        QTest::newRow("Nh inductances 3") << "m_nNhInd"
                                          << "3" << true << 3.0 << "";
        QTest::newRow("Nh inductances fraction")
            << "m_nNhInd"
            << "2.5" << false << 0.0 << "Nh = (Winding inductances)*whole";
        QTest::newRow("Nh flux 100") << "m_nNhFlux"
                                     << "100" << true << 100.0 << "";
        QTest::newRow("Nh flux 101")
            << "m_nNhFlux"
            << "101" << false << 0.0 << "Nh = (Air gap flux density)*0 to 100";
        QTest::newRow("Nh flux negative")
            << "m_nNhFlux"
            << "-1" << false << 0.0 << "Nh = (Air gap flux density)*0 to 100";
        QTest::newRow("mra above") << "m_dMra"
                                   << "10.5" << false << 0.0 << "mra =*0 to 10";
        QTest::newRow("mrc zero") << "m_dMrc"
                                  << "0" << true << 0.0 << "";
        QTest::newRow("mrb highest") << "m_dMrb"
                                     << "10" << true << 10.0 << "";
        QTest::newRow("Ron transistor negative")
            << "m_dRonT"
            << "-1" << false << 0.0 << "Ron = (Transistor)*0 to 10000";
        QTest::newRow("Roff diode highest") << "m_dRoffD"
                                            << "10000" << true << 10000.0 << "";
        QTest::newRow("Roff diode above")
            << "m_dRoffD"
            << "10000.5" << false << 0.0 << "Roff = (Diode)*0 to 10000";
        QTest::newRow("J letters") << "m_dJ"
                                   << "abc" << false << 0.0 << "J =*not a number";
        QTest::newRow("J unchecked") << "m_dJ"
                                     << "-1" << true << -1.0 << "";
        QTest::newRow("ml zero") << "m_dMl"
                                 << "0" << true << 0.0 << "";
        QTest::newRow("mm empty") << "m_dMm"
                                  << "" << false << 0.0 << "mm =*not a number";
    }

    void okChecksEachField() {
        QFETCH(QString, field);
        QFETCH(QString, text);
        QFETCH(bool, accepted);
        QFETCH(double, value);
        QFETCH(QString, prompt);

        CMotorParams params;
        CMotorParam dlg(params);
        dlg.show();
        QLineEdit* edit = Edit(dlg, field);
        edit->setText(text);
        const QString shown = AnswerPrompt([&] { dlg.accept(); });

        CMotorParams expected;
        if (accepted) {
            QCOMPARE(shown, QString());
            QCOMPARE(dlg.result(), int(QDialog::Accepted));
            Set(expected, field, value);
        } else {
            const QRegularExpression pattern(
                QRegularExpression::wildcardToRegularExpression("*" + prompt + "*"));
            QVERIFY2(pattern.match(shown).hasMatch(), qPrintable(shown));
            QVERIFY(dlg.isVisible());
            QCOMPARE(dlg.focusWidget(), edit);
        }
        QVERIFY(Same(params, expected));
    }

    void refusesTheFirstFieldInExchangeOrder_data() {
        QTest::addColumn<QString>("first");
        QTest::addColumn<QString>("second");
        QTest::addColumn<QString>("prompt");
        // mra, mrb, mrc, mm, ml, D, J, Nh flux, Roff D, Ron D, Roff T, Ron T, Nh inductances.
        QTest::newRow("mra before Nh") << "m_dMra"
                                       << "m_nNhInd"
                                       << "mra =";
        QTest::newRow("mm before ml") << "m_dMm"
                                      << "m_dMl"
                                      << "mm =";
        QTest::newRow("D before J") << "m_dD"
                                    << "m_dJ"
                                    << "D =";
        QTest::newRow("Nh flux before Roff") << "m_nNhFlux"
                                             << "m_dRoffD"
                                             << "Nh = (Air gap";
        QTest::newRow("diode before transistor") << "m_dRonD"
                                                 << "m_dRoffT"
                                                 << "Ron = (Diode)";
        QTest::newRow("Roff before Ron") << "m_dRoffT"
                                         << "m_dRonT"
                                         << "Roff = (Transistor)";
        QTest::newRow("Ron before Nh") << "m_dRonT"
                                       << "m_nNhInd"
                                       << "Ron = (Transistor)";
    }

    void refusesTheFirstFieldInExchangeOrder() {
        QFETCH(QString, first);
        QFETCH(QString, second);
        QFETCH(QString, prompt);

        CMotorParams params;
        CMotorParam dlg(params);
        dlg.show();
        Edit(dlg, first)->setText("x");
        Edit(dlg, second)->setText("x");
        QVERIFY(AnswerPrompt([&] { dlg.accept(); }).startsWith(prompt));
        QCOMPARE(dlg.focusWidget(), Edit(dlg, first));
        Edit(dlg, first)->setText("1");
        QVERIFY(!AnswerPrompt([&] { dlg.accept(); }).startsWith(prompt));
        QCOMPARE(dlg.focusWidget(), Edit(dlg, second));
        QVERIFY(Same(params, CMotorParams()));
    }

    void execStoresEveryFieldOnOk() {
        CMotorParams params;
        CMotorParam dlg(params);
        QTimer::singleShot(0, [] {
            auto* shown = qobject_cast<CMotorParam*>(QApplication::activeModalWidget());
            QVERIFY(shown);
            int value = 1;
            for (const auto& [name, member] : Members())
                Edit(*shown, name)->setText(QString::number(value++ % 4));
            shown->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
        });
        QCOMPARE(dlg.exec(), int(QDialog::Accepted));
        CMotorParams expected;
        int value = 1;
        for (const auto& [name, member] : Members())
            Set(expected, name, value++ % 4);
        QVERIFY(Same(params, expected));
    }

    void cancelChangesNothing() {
        CMotorParams params;
        CMotorParam dlg(params);
        dlg.show();
        for (const auto& [name, member] : Members())
            Edit(dlg, name)->setText("2");
        dlg.reject();
        QVERIFY(Same(params, CMotorParams()));
    }

    void tabVisitsTheFieldsInReadingOrder() {
        CMotorParams params;
        CMotorParam dlg(params);
        QStringList names;
        for (QWidget* widget = dlg.nextInFocusChain(); widget != &dlg;
             widget = widget->nextInFocusChain()) {
            if (qobject_cast<QLineEdit*>(widget))
                names << widget->objectName();
        }
        QCOMPARE(names, QStringList({"m_dRonT", "m_dRoffT", "m_dRonD", "m_dRoffD", "m_dMra",
                                     "m_dMrb", "m_dMrc", "m_dMl", "m_dMm", "m_nNhInd", "m_nNhFlux",
                                     "m_dJ", "m_dD"}));
    }

    void fitsTheScreenAndHasDistinctMnemonics() {
        CMotorParams params;
        CMotorParam dlg(params);
        dlg.show();
        QVERIFY2(dlg.width() <= 1366 && dlg.height() <= 740,
                 qPrintable(QString("%1 x %2").arg(dlg.width()).arg(dlg.height())));
        QStringList letters;
        for (const QLabel* label : dlg.findChildren<QLabel*>()) {
            const int at = label->text().indexOf('&');
            if (label->buddy() && at >= 0)
                letters << label->text().mid(at + 1, 1).toLower();
        }
        QCOMPARE(QSet<QString>(letters.begin(), letters.end()).size(), letters.size());
        QVERIFY(letters.size() >= 10);
    }
};

QTEST_MAIN(TestMotorParam)
#include "tst_MotorParam.moc"
