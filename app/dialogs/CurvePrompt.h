#pragma once

#include <QDialog>
#include <QStringList>

class QComboBox;

/// Asks which of the curves shown a command works on (the derivative, the integral): a combo
/// of their legend texts, the first preselected. m_nCurve is the chosen one after OK.
class CCurvePrompt : public QDialog {
    Q_OBJECT
public:
    CCurvePrompt(const QString& strTitle, const QStringList& curves, QWidget* pParent = nullptr);

    void accept() override;

    int m_nCurve = 0;
    QComboBox* m_pCurves;
};
