#include "dialogs/ExportFile.h"

#include "ResultExport.h"

#include <QFileDialog>
#include <QMessageBox>

QString AskExportPath(QWidget* parent) {
    QFileDialog dialog(parent, "Save As");
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilter("Text Files (*.txt)");
    dialog.setDefaultSuffix("txt");
    // The widget dialog behaves the same on every platform and under test.
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    if (dialog.exec() != QDialog::Accepted)
        return {};
    const QStringList files = dialog.selectedFiles();
    return files.isEmpty() ? QString() : files.first();
}

void ReportExportFailure(QWidget* parent, const CStatus& status) {
    QMessageBox::warning(parent, "ERROR", QString::fromStdString(status.m_strMessage));
}
