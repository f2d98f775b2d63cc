#pragma once

#include "Progress.h"
#include "ProgressClock.h"

#include <QDialog>
#include <QElapsedTimer>

class QLabel;
class QProgressBar;
class QPushButton;

/// "Calculate progress": the window a long computation shows while it runs. The computation
/// runs on the user-interface thread, so the window repaints itself from the progress calls;
/// while it is open it is application-modal, which keeps every other input away from the
/// program except its own Cancel button.
class CCalcProg : public QDialog, public IProgressSink {
    Q_OBJECT
public:
    explicit CCalcProg(QWidget* pParent = nullptr);

    /// Shows the window with the bar's range [nLower, nUpper] at nLower.
    void Open(long long nLower, long long nUpper) override;
    /// Moves the bar and the elapsed and remaining time below it; repaints and takes a Cancel
    /// click at most every few tens of milliseconds.
    void SetPos(long long nPos) override;
    /// Hides the window.
    void Close() override;
    /// True once the user pressed Cancel (or Escape) during the computation.
    bool IsCancelled() const override { return m_bCancelled; }

    /// Escape stops the computation instead of hiding the window under it.
    void reject() override;

    /// For computations that cannot stop half-way (exports, transforms): hides Cancel, and
    /// Escape no longer asks to stop.
    void SetCancellable(bool bCancellable);

    QProgressBar* m_progress; ///< the bar, range and position set by the computation
    QPushButton* m_pCancel;   ///< asks the computation to stop
    QLabel* m_pTimes;         ///< "elapsed 0:12, about 1:05 left"

private:
    void OnCancel();
    void ProcessEvents();

    bool m_bCancelled = false;  ///< the user asked to stop
    bool m_bCancellable = true; ///< the computation honours a stop
    QElapsedTimer m_timer;      ///< time since the last repaint
    CProgressClock m_clock;     ///< wall time since Open
};
