#pragma once

// Drives the modal dialogs a command opens, in the order the test expects them. A timer polls
// QApplication::activeModalWidget(); each step handles one dialog of its type.
//
// A wrong path fails fast instead of waiting for the test watchdog: a modal dialog that no step
// expects, of any type, and a dialog still open on top a short deadline after its step handled
// it, each fail the running test with the dialog's title and text and are closed. Steps left
// unused when the script ends fail the test too, unless they were marked optional.

#include "dialogs/CalcProg.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QMessageBox>
#include <QPointer>
#include <QProgressDialog>
#include <QStringList>
#include <QTimer>
#include <QWidget>
#include <QtTest>

#include <deque>
#include <functional>

class CModalScript {
public:
    /// How long a handled dialog may stay on top before its step counts as failed. Handling a
    /// dialog takes milliseconds; the margin is for a machine loaded by other work.
    static constexpr qint64 s_nDeadlineMs = 2000;

    CModalScript() {
        m_timer.setInterval(5);
        QObject::connect(&m_timer, &QTimer::timeout, &m_timer, [this] { Poll(); });
        m_timer.start();
    }

    CModalScript(const CModalScript&) = delete;
    CModalScript& operator=(const CModalScript&) = delete;

    ~CModalScript() {
        for (const SStep& step : m_steps)
            if (!step.m_bOptional)
                Fail(QString("expected a %1 that never opened").arg(step.m_strType));
    }

    /// Next step: a modal T handled by fn (which closes it, or leaves it to the program).
    template <class T> CModalScript& Then(std::function<void(T*)> fn) {
        SStep step;
        step.m_strType = QString::fromLatin1(T::staticMetaObject.className());
        step.m_handle = [fn](QWidget* pWidget) {
            T* pTyped = qobject_cast<T*>(pWidget);
            if (pTyped)
                fn(pTyped);
            return pTyped != nullptr;
        };
        m_steps.push_back(std::move(step));
        return *this;
    }

    /// Next step: a message box; its caption and text are recorded, then it is closed with
    /// button.
    CModalScript& ThenMessage(QMessageBox::StandardButton button = QMessageBox::Ok) {
        return Then<QMessageBox>([this, button](QMessageBox* pBox) {
            m_messages << Describe(pBox);
            if (QAbstractButton* pButton = pBox->button(button))
                pButton->click();
            else
                pBox->done(button);
        });
    }

    /// Next step: a file dialog in which strPath is chosen and accepted. The acceptance comes
    /// after the step, so that a prompt the dialog opens (replace the file?) is the next step.
    CModalScript& ThenFile(const QString& strPath) {
        return Then<QFileDialog>([this, strPath](QFileDialog* pDialog) {
            // selectFile() leaves the file-name box as it is while the box has the focus, which
            // it has as soon as the dialog window is active: take the focus away first.
            if (QWidget* pFocus = pDialog->focusWidget())
                pFocus->clearFocus();
            pDialog->selectFile(strPath);
            const QStringList files = pDialog->selectedFiles();
            if (files.size() != 1 || !files[0].startsWith(strPath)) {
                Fail(QString("the file dialog \"%1\" holds \"%2\" instead of %3")
                         .arg(pDialog->windowTitle(), files.join("\", \""), strPath));
                pDialog->reject();
                return;
            }
            // Through QDialog: the file dialog overrides accept() as protected.
            QTimer::singleShot(0, pDialog, [pDialog] { static_cast<QDialog*>(pDialog)->accept(); });
        });
    }

    /// Marks the last step optional: the dialog may not open at all.
    CModalScript& Optional() {
        if (!m_steps.empty())
            m_steps.back().m_bOptional = true;
        return *this;
    }

    bool Done() const { return m_steps.empty(); }

    QStringList m_messages;   ///< "caption|text" of every expected message box
    QStringList m_unexpected; ///< "caption|text" of modal dialogs no step expected

    /// "caption|text" of a message box, "caption|(class)" of another window.
    static QString Describe(QWidget* pWidget) {
        if (auto* pBox = qobject_cast<QMessageBox*>(pWidget))
            return pBox->windowTitle() + "|" + pBox->text();
        return pWidget->windowTitle() + "|(" + pWidget->metaObject()->className() + ")";
    }

    /// Windows the program shows modal without waiting on them: they close by themselves.
    static bool IsProgressWindow(QWidget* pWidget) {
        return qobject_cast<CCalcProg*>(pWidget) || qobject_cast<QProgressDialog*>(pWidget);
    }

    /// Closes a dialog as Escape would.
    static void Close(QWidget* pWidget) {
        if (auto* pBox = qobject_cast<QMessageBox*>(pWidget))
            pBox->done(QMessageBox::Cancel);
        else if (auto* pDialog = qobject_cast<QDialog*>(pWidget))
            pDialog->reject();
        else
            pWidget->close();
    }

    /// Fails the running test function.
    static void Fail(const QString& strWhat) {
        QTest::qFail(qPrintable("Modal script: " + strWhat), __FILE__, __LINE__);
    }

private:
    struct SStep {
        QString m_strType;
        std::function<bool(QWidget*)> m_handle;
        bool m_bOptional = false;
    };

    void Poll() {
        QWidget* pModal = QApplication::activeModalWidget();
        if (!pModal || !pModal->isVisible())
            return;
        if (pModal == m_pHandled.data()) {
            CheckDeadline(pModal);
            return;
        }
        if (!m_steps.empty() && m_steps.front().m_handle(pModal)) {
            Handled(pModal);
            m_steps.pop_front();
            return;
        }
        if (IsProgressWindow(pModal))
            return;
        const QString strWhat = Describe(pModal);
        m_unexpected << strWhat;
        Handled(pModal);
        Fail(QString("unexpected modal dialog \"%1\"%2")
                 .arg(strWhat, m_steps.empty()
                                   ? QString()
                                   : " while waiting for a " + m_steps.front().m_strType));
        Close(pModal);
    }

    void Handled(QWidget* pModal) {
        m_pHandled = pModal;
        m_handledAt.start();
        m_nPollsSince = 0;
        m_bReported = false;
    }

    /// A handled dialog still on top after the deadline: its step did not close it, so the
    /// test would wait for good. The poll count keeps a starved process from failing early.
    void CheckDeadline(QWidget* pModal) {
        ++m_nPollsSince;
        if (m_bReported || IsProgressWindow(pModal) || m_nPollsSince < 20 ||
            m_handledAt.elapsed() < s_nDeadlineMs)
            return;
        m_bReported = true;
        m_unexpected << Describe(pModal);
        Fail(QString("\"%1\" still open %2 ms after its step")
                 .arg(Describe(pModal))
                 .arg(m_handledAt.elapsed()));
        Close(pModal);
    }

    QTimer m_timer;
    std::deque<SStep> m_steps;
    QPointer<QWidget> m_pHandled;
    QElapsedTimer m_handledAt;
    int m_nPollsSince = 0;
    bool m_bReported = false;
};

/// Runs trigger and accepts the message box it opens, if any; returns the box's text (empty if
/// none opened).
inline QString AnswerPrompt(const std::function<void()>& trigger) {
    QString strText;
    CModalScript script;
    script
        .Then<QMessageBox>([&strText](QMessageBox* pBox) {
            strText = pBox->text();
            pBox->accept();
        })
        .Optional();
    trigger();
    return strText;
}
