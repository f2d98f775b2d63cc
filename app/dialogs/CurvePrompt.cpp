#include "dialogs/CurvePrompt.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>

CCurvePrompt::CCurvePrompt(const QString& strTitle, const QStringList& curves, QWidget* pParent)
    : QDialog(pParent), m_pCurves(new QComboBox(this)) {
    setWindowTitle(strTitle);
    m_pCurves->addItems(curves);
    auto* pForm = new QFormLayout(this);
    pForm->addRow("C&urve:", m_pCurves);
    auto* pButtons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(pButtons, &QDialogButtonBox::accepted, this, &CCurvePrompt::accept);
    connect(pButtons, &QDialogButtonBox::rejected, this, &CCurvePrompt::reject);
    pForm->addRow(pButtons);
    m_pCurves->setFocus();
}

void CCurvePrompt::accept() {
    m_nCurve = m_pCurves->currentIndex();
    QDialog::accept();
}
