#include "Kalvor.h"

#include "AppInfo.h"
#include "Fatal.h"
#include "MainFrm.h"
#include "Resource.h"
#include "SolverProc.h"

#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QMessageBox>
#include <QSettings>
#include <QVBoxLayout>

namespace {

const char* const g_pszRecentGroup = "Recent File List";

void ShowFatalMessage(const char* pszText) {
    QMessageBox::critical(QApplication::activeWindow(), QStringLiteral("Kalvor"),
                          QString::fromUtf8(pszText));
}

void ShowSolverMessage(const char* pszText) {
    QMessageBox::information(QApplication::activeWindow(), QStringLiteral("Kalvor"),
                             QString::fromUtf8(pszText));
}

} // namespace

void InstallMessageHooks() {
    SetFatalMessageHook(&ShowFatalMessage);
    VarnekSetMessageHook(&ShowSolverMessage);
}

CKalvorApp::CKalvorApp() {
    QApplication::setOrganizationName(QString::fromLatin1(g_pszOrganization));
    QApplication::setApplicationName(QString::fromLatin1(g_pszApplication));
    QApplication::setApplicationDisplayName(QStringLiteral("Kalvor"));
    QApplication::setApplicationVersion(QStringLiteral(KALVOR_VERSION));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/app/kalvor.svg")));
}

CKalvorApp::~CKalvorApp() = default;

bool CKalvorApp::InitInstance(const QStringList& arguments) {
    InstallMessageHooks();
    LoadStdProfileSettings();
    m_pMainWnd = std::make_unique<CMainFrame>(*this);
    m_pMainWnd->show();
    if (arguments.isEmpty())
        m_pMainWnd->OnFileNew();
    else
        m_pMainWnd->OpenDocumentFile(arguments.front());
    return true;
}

void CKalvorApp::AddToRecentFileList(const QString& strPath) {
    const QString strFull = QFileInfo(strPath).absoluteFilePath();
    m_recentFiles.removeAll(strFull);
    m_recentFiles.prepend(strFull);
    while (m_recentFiles.size() > g_nRecentFiles)
        m_recentFiles.removeLast();
    SaveRecentFileList();
}

void CKalvorApp::RemoveFromRecentFileList(int nIndex) {
    if (nIndex < 0 || nIndex >= m_recentFiles.size())
        return;
    m_recentFiles.removeAt(nIndex);
    SaveRecentFileList();
}

void CKalvorApp::LoadStdProfileSettings() {
    QSettings settings;
    settings.beginGroup(QString::fromLatin1(g_pszRecentGroup));
    m_recentFiles.clear();
    for (int i = 1; i <= g_nRecentFiles; ++i) {
        const QString strPath = settings.value(QStringLiteral("File%1").arg(i)).toString();
        if (!strPath.isEmpty())
            m_recentFiles.append(strPath);
    }
}

void CKalvorApp::SaveRecentFileList() const {
    QSettings settings;
    settings.beginGroup(QString::fromLatin1(g_pszRecentGroup));
    for (int i = 1; i <= g_nRecentFiles; ++i) {
        const QString strKey = QStringLiteral("File%1").arg(i);
        if (i <= m_recentFiles.size())
            settings.setValue(strKey, m_recentFiles[i - 1]);
        else
            settings.remove(strKey);
    }
}

void CKalvorApp::OnAppAbout(QWidget* pParent) {
    QDialog dialog(pParent);
    dialog.setWindowTitle(QStringLiteral("About Kalvor"));

    auto* pIcon = new QLabel;
    pIcon->setPixmap(QIcon(QStringLiteral(":/app/kalvor.svg")).pixmap(48, 48));
    auto* pText =
        new QLabel(QStringLiteral("<b>Kalvor</b> version %1<br>"
                                  "Simulator of a permanent-magnet synchronous motor drive "
                                  "with inverter, supply and load.")
                       .arg(QStringLiteral(KALVOR_VERSION)));
    pText->setWordWrap(true);
    auto* pButtons = new QDialogButtonBox(QDialogButtonBox::Ok);
    QObject::connect(pButtons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);

    auto* pRow = new QHBoxLayout;
    pRow->addWidget(pIcon, 0, Qt::AlignTop);
    pRow->addWidget(pText, 1);
    auto* pLayout = new QVBoxLayout(&dialog);
    pLayout->addLayout(pRow);
    pLayout->addWidget(pButtons);
    dialog.setMinimumWidth(380);
    dialog.exec();
}
