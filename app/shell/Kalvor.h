#pragma once

#include "shell/RecentFileList.h"

#include <QStringList>

#include <memory>

class CMainFrame;

/// The application: start-up; owns the recent-file list and the main window.
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

    /// The recent-file list the main window shows.
    CRecentFileList& RecentFiles() { return m_recentFiles; }

private:
    CRecentFileList m_recentFiles;          ///< File menu's recent files, most recent first
    std::unique_ptr<CMainFrame> m_pMainWnd; ///< the main window
};

/// Shows the solver library's texts in message boxes.
void InstallMessageHooks();
