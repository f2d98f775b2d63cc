#pragma once

#include <QDialog>

/// Help / "About Kalvor...": the program's name, version and purpose.
class CAboutDlg : public QDialog {
    Q_OBJECT
public:
    explicit CAboutDlg(QWidget* pParent = nullptr);
};
