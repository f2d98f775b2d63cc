#pragma once

#include <QDialog>
#include <QString>
#include <QStringList>

class QComboBox;

/// "Curve from file": chooses a column of a table read from a file. OK plots it in place of
/// the curves shown, "Add to plot" adds it to them; m_nColumn is the chosen column (1 for the
/// first after x) and m_bAdd tells which button closed the dialog.
class CCurveChoice : public QDialog {
    Q_OBJECT
public:
    /// names: the table's columns, x first (not offered); bCanAdd offers "Add to plot".
    CCurveChoice(const QString& strFile, const QStringList& names, bool bCanAdd,
                 QWidget* pParent = nullptr);

    int m_nColumn = 1;
    bool m_bAdd = false;
    QComboBox* m_pColumns;
};
