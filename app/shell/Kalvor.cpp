#include "shell/Kalvor.h"

#include "SolverProc.h"
#include "shell/AppInfo.h"
#include "shell/MainFrm.h"
#include "shell/Resource.h"

#include <QApplication>
#include <QIcon>
#include <QMessageBox>

namespace {

void ShowSolverMessage(const char* pszText) {
    QMessageBox::information(QApplication::activeWindow(), QStringLiteral("Kalvor"),
                             QString::fromUtf8(pszText));
}

} // namespace

void InstallMessageHooks() {
    VarnekSetMessageHook(&ShowSolverMessage);
}

CKalvorApp::CKalvorApp() {
    QApplication::setOrganizationName(QString::fromLatin1(g_pszOrganization));
    QApplication::setApplicationName(QString::fromLatin1(g_pszApplication));
    QApplication::setApplicationDisplayName(QStringLiteral("Kalvor"));
    // Lets the desktop match the windows to the installed kalvor.desktop entry.
    QApplication::setDesktopFileName(QStringLiteral("kalvor"));
    QApplication::setApplicationVersion(QStringLiteral(KALVOR_VERSION));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/app/kalvor.svg")));
}

CKalvorApp::~CKalvorApp() = default;

bool CKalvorApp::InitInstance(const QStringList& arguments) {
    InstallMessageHooks();
    m_recentFiles.Load();
    m_pMainWnd = std::make_unique<CMainFrame>(m_recentFiles);
    m_pMainWnd->show();
    if (arguments.isEmpty())
        m_pMainWnd->OnFileNew();
    else
        m_pMainWnd->OpenDocumentFile(arguments.front());
    return true;
}
