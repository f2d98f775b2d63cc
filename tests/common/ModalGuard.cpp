// Linked into every QtTest program: a modal dialog that nothing answers fails the running test
// function and is closed, instead of blocking until the function's timeout aborts the whole
// program. Tests answer dialogs through CModalScript, which acts within milliseconds and fails
// fast by itself; the guard only acts on a dialog left alone far longer than that, such as one
// a test opened without any script.
#include "ModalScript.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QPointer>
#include <QTimer>

#include <memory>

namespace {

/// How long a modal dialog may wait for an answer before the guard closes it.
constexpr qint64 kUnansweredMs = 15000;

struct SWatch {
    QPointer<QWidget> m_pModal; ///< the modal dialog on top, null for none
    QElapsedTimer m_since;      ///< since when it is on top
    int m_nPolls = 0;           ///< polls since then: a starved process does not fail early
};

void Poll(SWatch& watch) {
    QWidget* pModal = QApplication::activeModalWidget();
    if (!pModal || !pModal->isVisible() || CModalScript::IsProgressWindow(pModal)) {
        watch.m_pModal = nullptr;
        return;
    }
    if (pModal != watch.m_pModal.data()) {
        watch.m_pModal = pModal;
        watch.m_since.start();
        watch.m_nPolls = 0;
        return;
    }
    if (++watch.m_nPolls < 20 || watch.m_since.elapsed() < kUnansweredMs)
        return;
    CModalScript::Fail(QString("\"%1\" waited %2 ms for an answer that never came")
                           .arg(CModalScript::Describe(pModal))
                           .arg(watch.m_since.elapsed()));
    watch.m_pModal = nullptr;
    CModalScript::Close(pModal);
}

void InstallModalGuard() {
    auto* pTimer = new QTimer(QCoreApplication::instance());
    auto pWatch = std::make_shared<SWatch>();
    pTimer->setInterval(100);
    QObject::connect(pTimer, &QTimer::timeout, pTimer, [pWatch] { Poll(*pWatch); });
    pTimer->start();
}

} // namespace

Q_COREAPP_STARTUP_FUNCTION(InstallModalGuard)
