#pragma once

#include <QMessageBox>
#include <QString>

class QWidget;

/// Message boxes wide enough for their captions: a short message under a caption such as
/// "WARNING" would otherwise get a box so narrow that the title bar elides the caption.
class CMessageBox {
public:
    /// Shows a modal box with one OK button; detail, when given, goes under the text.
    /// Returns the button chosen.
    static int Show(QWidget* pParent, QMessageBox::Icon icon, const QString& strCaption,
                    const QString& strText, const QString& strDetail = QString());
    /// Widens box so that its caption, as the title bar shows it, fits with the bar's buttons.
    static void FitCaption(QMessageBox& box);
    /// Width the caption of box needs [pixels].
    static int CaptionWidth(const QMessageBox& box);
};
