#include "dialogs/MessageBox.h"

#include <QApplication>
#include <QFontMetrics>
#include <QGridLayout>
#include <QSpacerItem>

int CMessageBox::Show(QWidget* pParent, QMessageBox::Icon icon, const QString& strCaption,
                      const QString& strText, const QString& strDetail) {
    QMessageBox box(icon, strCaption, strText, QMessageBox::Ok, pParent);
    if (!strDetail.isEmpty())
        box.setInformativeText(strDetail);
    FitCaption(box);
    return box.exec();
}

int CMessageBox::CaptionWidth(const QMessageBox& box) {
    // The title bar adds the program's name and has its icon and buttons; its font is often
    // bold and larger than the dialog's.
    QString strTitle = box.windowTitle();
    const QString strName = QApplication::applicationDisplayName();
    if (!strName.isEmpty() && !strTitle.endsWith(strName))
        strTitle += QStringLiteral(" \u2014 ") + strName;
    QFont font = box.font();
    font.setBold(true);
    font.setPointSizeF(font.pointSizeF() > 0 ? font.pointSizeF() * 1.2 : 12);
    return QFontMetrics(font).horizontalAdvance(strTitle) + 160;
}

void CMessageBox::FitCaption(QMessageBox& box) {
    auto* pGrid = qobject_cast<QGridLayout*>(box.layout());
    if (!pGrid)
        return;
    pGrid->addItem(
        new QSpacerItem(CaptionWidth(box), 0, QSizePolicy::Minimum, QSizePolicy::Expanding),
        pGrid->rowCount(), 0, 1, pGrid->columnCount());
}
