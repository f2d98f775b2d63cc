// A QtTest program whose test functions go wrong with modal dialogs on purpose, each in one of
// the ways the dialog harness must catch. CheckModalProbe.cmake runs it and checks that each
// fails within seconds with the dialog named, and that the program carries on after it.
#include "ModalScript.h"

#include <QDialog>
#include <QMessageBox>
#include <QtTest>

class CModalProbe : public QObject {
    Q_OBJECT
private slots:
    void UnexpectedMessageBox() {
        CModalScript script;
        QMessageBox::warning(nullptr, "Probe", "nobody expects this box");
    }

    void StepThatLeavesItsDialogOpen() {
        CModalScript script;
        script.Then<QDialog>([](QDialog*) {});
        QDialog dialog;
        dialog.setWindowTitle("left open");
        dialog.exec();
    }

    void DialogThatNeverOpens() {
        CModalScript script;
        script.ThenMessage();
    }

    void DialogWithoutAnyScript() {
        QDialog dialog;
        dialog.setWindowTitle("nobody answers");
        dialog.exec();
    }

    void NothingIsLeftOpen() { QVERIFY(!QApplication::activeModalWidget()); }
};

QTEST_MAIN(CModalProbe)
#include "ModalProbe.moc"
