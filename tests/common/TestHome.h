#pragma once

// The tests run with XDG_CONFIG_HOME and the other XDG folders inside the build folder (ctest
// sets them), so that nothing they persist (the recent-file list, the file dialog's history and
// last folder) reaches the user's own settings.

#include <QSettings>
#include <QString>

/// Empty when settings go into the build folder's test home; otherwise the file they would go to.
inline QString SettingsOutsideTheTestHome() {
    const QString strFile = QSettings(QSettings::UserScope, QStringLiteral("QtProject")).fileName();
    return strFile.startsWith(QStringLiteral(KALVOR_TEST_HOME "/")) ? QString() : strFile;
}
