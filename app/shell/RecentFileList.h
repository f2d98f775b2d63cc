#pragma once

#include <QString>
#include <QStringList>

/// The recent-file list of the File menu, most recent first, kept in the settings so that it
/// outlives the program.
class CRecentFileList {
public:
    /// The list, most recent first, at most g_nRecentFiles entries.
    const QStringList& Files() const { return m_files; }
    /// Puts strPath (made absolute) at the top of the list and stores the list.
    void Add(const QString& strPath);
    /// Drops entry nIndex (a file that could not be opened) and stores the list; an index
    /// outside the list changes nothing.
    void Remove(int nIndex);
    /// Reads the list from the settings.
    void Load();

private:
    void Save() const;

    QStringList m_files; ///< absolute paths, most recent first
};
