#pragma once

// Drives the modal dialogs a command opens, in the order the test expects them. A timer polls
// QApplication::activeModalWidget(); each step handles one dialog of its type. A message box
// that no step expects is recorded and closed, so a wrong path fails instead of hanging.

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QStringList>
#include <QTimer>
#include <QWidget>

#include <deque>
#include <functional>

class CModalScript {
public:
    CModalScript() {
        m_timer.setInterval(5);
        QObject::connect(&m_timer, &QTimer::timeout, &m_timer, [this] { Poll(); });
        m_timer.start();
    }

    /// Next step: a modal T handled by fn (which closes it, or leaves it to the program).
    template <class T> CModalScript& Then(std::function<void(T*)> fn) {
        m_steps.push_back([fn](QWidget* pWidget) {
            T* pTyped = qobject_cast<T*>(pWidget);
            if (pTyped)
                fn(pTyped);
            return pTyped != nullptr;
        });
        return *this;
    }

    /// Next step: a message box; its caption and text are recorded, then it is closed with
    /// button.
    CModalScript& ThenMessage(QMessageBox::StandardButton button = QMessageBox::Ok) {
        return Then<QMessageBox>([this, button](QMessageBox* pBox) {
            m_messages << pBox->windowTitle() + "|" + pBox->text();
            if (QAbstractButton* pButton = pBox->button(button))
                pButton->click();
            else
                pBox->done(button);
        });
    }

    bool Done() const { return m_steps.empty(); }

    QStringList m_messages;   ///< "caption|text" of every expected message box
    QStringList m_unexpected; ///< "caption|text" of message boxes no step expected

private:
    void Poll() {
        QWidget* pModal = QApplication::activeModalWidget();
        if (!pModal || !pModal->isVisible() || pModal == m_pHandled.data())
            return;
        if (!m_steps.empty() && m_steps.front()(pModal)) {
            m_pHandled = pModal;
            m_steps.pop_front();
            return;
        }
        if (auto* pBox = qobject_cast<QMessageBox*>(pModal)) {
            m_unexpected << pBox->windowTitle() + "|" + pBox->text();
            m_pHandled = pModal;
            pBox->done(QMessageBox::Cancel);
        }
    }

    QTimer m_timer;
    std::deque<std::function<bool(QWidget*)>> m_steps;
    QPointer<QWidget> m_pHandled;
};
