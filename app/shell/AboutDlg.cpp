#include "shell/AboutDlg.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QVBoxLayout>

CAboutDlg::CAboutDlg(QWidget* pParent) : QDialog(pParent) {
    setWindowTitle(QStringLiteral("About Kalvor"));

    auto* pIcon = new QLabel;
    pIcon->setPixmap(QIcon(QStringLiteral(":/app/kalvor.svg")).pixmap(48, 48));
    auto* pText =
        new QLabel(QStringLiteral("<b>Kalvor</b> version %1<br>"
                                  "Simulator of a permanent-magnet synchronous motor drive "
                                  "with inverter, supply and load.")
                       .arg(QStringLiteral(KALVOR_VERSION)));
    pText->setWordWrap(true);
    auto* pButtons = new QDialogButtonBox(QDialogButtonBox::Ok);
    connect(pButtons, &QDialogButtonBox::accepted, this, &QDialog::accept);

    auto* pRow = new QHBoxLayout;
    pRow->addWidget(pIcon, 0, Qt::AlignTop);
    pRow->addWidget(pText, 1);
    auto* pLayout = new QVBoxLayout(this);
    pLayout->addLayout(pRow);
    pLayout->addWidget(pButtons);
    setMinimumWidth(380);
}
