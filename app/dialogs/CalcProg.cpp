#include "dialogs/CalcProg.h"

#include <QCoreApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>
#include <climits>

namespace {

/// The bar holds ints; a range beyond them is shown clamped.
int ToBar(long long nValue) {
    return static_cast<int>(std::clamp<long long>(nValue, INT_MIN, INT_MAX));
}

/// Milliseconds between two repaints: smooth enough for the eye, cheap for the run.
constexpr qint64 g_nRefreshMs = 40;

} // namespace

CCalcProg::CCalcProg(QWidget* pParent)
    : QDialog(pParent, Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
    setWindowTitle(QStringLiteral("Calculate progress"));
    setWindowModality(Qt::ApplicationModal);

    m_progress = new QProgressBar;
    m_progress->setTextVisible(false);
    m_progress->setMinimumWidth(320);
    m_pTimes = new QLabel;
    m_pCancel = new QPushButton(QStringLiteral("Cancel"));
    m_pCancel->setAutoDefault(false);
    connect(m_pCancel, &QPushButton::clicked, this, &CCalcProg::OnCancel);

    auto* pButtons = new QHBoxLayout;
    pButtons->addStretch();
    pButtons->addWidget(m_pCancel);
    auto* pLayout = new QVBoxLayout(this);
    pLayout->addWidget(m_progress);
    pLayout->addWidget(m_pTimes);
    pLayout->addLayout(pButtons);
}

void CCalcProg::Open(long long nLower, long long nUpper) {
    m_bCancelled = false;
    m_pCancel->setEnabled(true);
    m_progress->setRange(ToBar(nLower), ToBar(std::max(nLower, nUpper)));
    m_progress->setValue(ToBar(nLower));
    m_clock.Start();
    m_pTimes->setText(QString::fromStdString(CProgressClock::Text(0, 0)));
    show();
    raise();
    ProcessEvents();
}

void CCalcProg::SetPos(long long nPos) {
    if (m_timer.isValid() && m_timer.elapsed() < g_nRefreshMs)
        return;
    const int nMin = m_progress->minimum();
    const int nMax = m_progress->maximum();
    const int nValue = ToBar(std::clamp<long long>(nPos, nMin, nMax));
    m_progress->setValue(nValue);
    // The bar follows simulated time, so the estimate reflects a run that slows down.
    const double dFraction = nMax > nMin ? double(nValue - nMin) / double(nMax - nMin) : 1.0;
    m_pTimes->setText(QString::fromStdString(CProgressClock::Text(m_clock.Elapsed(), dFraction)));
    ProcessEvents();
}

void CCalcProg::Close() {
    hide();
    m_timer.invalidate();
}

void CCalcProg::reject() {
    OnCancel();
}

void CCalcProg::SetCancellable(bool bCancellable) {
    m_bCancellable = bCancellable;
    m_pCancel->setVisible(bCancellable);
}

void CCalcProg::OnCancel() {
    if (!m_bCancellable)
        return;
    m_bCancelled = true;
    m_pCancel->setEnabled(false);
}

void CCalcProg::ProcessEvents() {
    // The window is application-modal: input reaches only the Cancel button.
    QCoreApplication::processEvents();
    m_timer.start();
}
