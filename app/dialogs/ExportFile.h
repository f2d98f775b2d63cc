#pragma once

#include <QString>

class QWidget;
struct CStatus;

/// The save-file dialog of "Export results..." and "Export plot...": no initial name, the one
/// filter "Text Files (*.txt)", "txt" appended to a name without a suffix, and a confirmation
/// before an existing file is replaced. Returns the chosen path, or an empty text on Cancel.
QString AskExportPath(QWidget* parent);

/// Tells the user that an export failed: a message box titled "ERROR" with the status's text,
/// which names the file and the reason.
void ReportExportFailure(QWidget* parent, const CStatus& status);
