#include "shell/RecentFileList.h"

#include "shell/Resource.h"

#include <QFileInfo>
#include <QSettings>

namespace {

const char* const g_pszRecentGroup = "Recent File List";

QString EntryKey(int nEntry) {
    return QStringLiteral("File%1").arg(nEntry);
}

} // namespace

void CRecentFileList::Add(const QString& strPath) {
    const QString strFull = QFileInfo(strPath).absoluteFilePath();
    m_files.removeAll(strFull);
    m_files.prepend(strFull);
    while (m_files.size() > g_nRecentFiles)
        m_files.removeLast();
    Save();
}

void CRecentFileList::Remove(int nIndex) {
    if (nIndex < 0 || nIndex >= m_files.size())
        return;
    m_files.removeAt(nIndex);
    Save();
}

void CRecentFileList::Load() {
    QSettings settings;
    settings.beginGroup(QString::fromLatin1(g_pszRecentGroup));
    m_files.clear();
    for (int i = 1; i <= g_nRecentFiles; ++i) {
        const QString strPath = settings.value(EntryKey(i)).toString();
        if (!strPath.isEmpty())
            m_files.append(strPath);
    }
}

void CRecentFileList::Save() const {
    QSettings settings;
    settings.beginGroup(QString::fromLatin1(g_pszRecentGroup));
    for (int i = 1; i <= g_nRecentFiles; ++i) {
        if (i <= m_files.size())
            settings.setValue(EntryKey(i), m_files[i - 1]);
        else
            settings.remove(EntryKey(i));
    }
}
