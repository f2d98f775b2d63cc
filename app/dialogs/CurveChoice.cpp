#include "dialogs/CurveChoice.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QPushButton>

CCurveChoice::CCurveChoice(const QString& strFile, const QStringList& names, bool bCanAdd,
                           QWidget* pParent)
    : QDialog(pParent), m_pColumns(new QComboBox(this)) {
    setWindowTitle("Curve from file");
    auto* pForm = new QFormLayout(this);
    pForm->addRow(new QLabel(QStringLiteral("%1, over %2").arg(strFile, names.value(0)), this));
    for (qsizetype i = 1; i < names.size(); ++i)
        m_pColumns->addItem(names[i]);
    pForm->addRow("&Column:", m_pColumns);
    auto* pButtons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    QPushButton* pAdd = pButtons->addButton("&Add to plot", QDialogButtonBox::AcceptRole);
    pAdd->setEnabled(bCanAdd);
    pAdd->setToolTip("Adds the column to the curves shown over time");
    connect(pButtons->button(QDialogButtonBox::Ok), &QPushButton::clicked, this, [this] {
        m_bAdd = false;
        m_nColumn = m_pColumns->currentIndex() + 1;
        accept();
    });
    connect(pAdd, &QPushButton::clicked, this, [this] {
        m_bAdd = true;
        m_nColumn = m_pColumns->currentIndex() + 1;
        accept();
    });
    connect(pButtons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    pForm->addRow(pButtons);
}
