#pragma once

#include <QString>
#include <QStringList>

#include <memory>

class CMainFrame;
class QWidget;

/// The application: start-up, the recent-file list and the About box.
class CKalvorApp {
public:
    CKalvorApp();
    ~CKalvorApp();
    CKalvorApp(const CKalvorApp&) = delete;
    CKalvorApp& operator=(const CKalvorApp&) = delete;

    /// Installs the message hooks of the engine and the solver library, loads the recent-file
    /// list, creates the main window and processes the command line (arguments after the
    /// program name): no argument creates a new document, a file name opens it. Shows the main
    /// window. Returns false when start-up failed.
    bool InitInstance(const QStringList& arguments);

    CMainFrame* MainFrame() const { return m_pMainWnd.get(); }

    /// The recent-file list, most recent first, at most four entries.
    const QStringList& RecentFiles() const { return m_recentFiles; }
    /// Puts strPath at the top of the list and stores the list.
    void AddToRecentFileList(const QString& strPath);
    /// Drops entry nIndex (a file that could not be opened) and stores the list.
    void RemoveFromRecentFileList(int nIndex);
    /// Reads the list from the settings.
    void LoadStdProfileSettings();

    /// Help / "About Kalvor...".
    static void OnAppAbout(QWidget* pParent);

private:
    void SaveRecentFileList() const;

    QStringList m_recentFiles;              ///< most recent first
    std::unique_ptr<CMainFrame> m_pMainWnd; ///< the main window
};

/// Shows the engine's fatal messages and the solver library's texts in message boxes.
void InstallMessageHooks();
