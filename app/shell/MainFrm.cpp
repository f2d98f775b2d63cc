#include "shell/MainFrm.h"

#include "dialogs/ImageExport.h"
#include "document/KalvorDoc.h"
#include "document/KalvorView.h"
#include "shell/AboutDlg.h"
#include "shell/ChildFrm.h"
#include "shell/RecentFileList.h"
#include "shell/Resource.h"

#include <QAction>
#include <QActionGroup>
#include <QCloseEvent>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QIcon>
#include <QLabel>
#include <QMdiArea>
#include <QMenuBar>
#include <QMessageBox>
#include <QPageSetupDialog>
#include <QSettings>
#include <QStatusBar>
#include <QToolBar>

#include <algorithm>

namespace {

/// Text, shortcuts, status-bar prompt, tooltip and toolbar image of a command.
struct CCommandDesc {
    int m_nId;
    const char* m_pszText;
    const char* m_pszKeys; ///< "Ctrl+Z; Alt+Backspace": the first is shown in the menu; or null
    const char* m_pszPrompt;
    const char* m_pszTip;
    const char* m_pszIcon; ///< file under :/app/, or null
};

// clang-format off
const CCommandDesc g_commands[] = {
    {ID_FILE_NEW, "&New", "Ctrl+N", "Create a new document", "New", "new"},
    {ID_FILE_OPEN, "&Open...", "Ctrl+O", "Open an existing document", "Open", "open"},
    {ID_FILE_CLOSE, "&Close", nullptr, "Close the active document", "Close", nullptr},
    {ID_FILE_SAVE, "&Save", "Ctrl+S", "Save the active document", "Save", "save"},
    {ID_FILE_SAVE_AS, "Save &As...", nullptr, "Save the active document with a new name", "Save As", nullptr},
    {ID_FILE_PRINT, "&Print...", "Ctrl+P", "Print the active document", "Print", "print"},
    {ID_FILE_PRINT_PREVIEW, "Print Pre&view", nullptr, "Display full pages", "Print Preview", nullptr},
    {ID_FILE_PRINT_SETUP, "P&rint Setup...", nullptr, "Change the printer and printing options", "Print Setup", nullptr},
    {ID_APP_EXIT, "E&xit", nullptr, "Quit the application; prompts to save documents", "Exit", nullptr},
    {ID_EDIT_UNDO, "&Undo", "Ctrl+Z; Alt+Backspace", "Undo the last action", "Undo", nullptr},
    {ID_EDIT_CUT, "Cu&t", "Ctrl+X; Shift+Del", "Cut the selection and put it on the Clipboard", "Cut", "cut"},
    {ID_EDIT_COPY, "&Copy", "Ctrl+C; Ctrl+Ins", "Copy the selection and put it on the Clipboard", "Copy", "copy"},
    {ID_EDIT_PASTE, "&Paste", "Ctrl+V; Shift+Ins", "Insert Clipboard contents", "Paste", "paste"},
    {ID_VIEW_TOOLBAR, "&Toolbar", nullptr, "Show or hide the toolbar", "Toggle ToolBar", nullptr},
    {ID_VIEW_STATUS_BAR, "&Status Bar", nullptr, "Show or hide the status bar", "Toggle StatusBar", nullptr},
    {ID_VIEW_2D, "2D model", nullptr, "", "2D model", nullptr},
    {ID_VIEW_3D, "3D model", nullptr, "", "3D model", nullptr},
    {ID_VIEW_CIRCUIT, "Circuit model", nullptr, "", "Circuit model", nullptr},
    {ID_VIEW_NONE, "None", nullptr, "", "None", nullptr},
    {ID_ZOOM_SELECTION, "Zoom to selection", "Z", "Zoom to the marked range", "Zoom to selection", nullptr},
    {ID_ZOOM_OUT, "Zoom out fully", "Home", "Show the whole curve", "Zoom out fully", "zoomout"},
    {ID_ROUND_SCALE, "&Round scale", nullptr, "Round scale steps (1, 2, 5) and time in ms or \xb5s for the whole plot too", "Round scale", nullptr},
    {ID_GRID, "&Grid", nullptr, "Light grid lines at the ticks of curve plots", "Grid", nullptr},
    {ID_SPECTRUM_DB, "Spectrum in &dB", nullptr, "Spectrum magnitudes in dB below the largest line", "Spectrum in dB", nullptr},
    {ID_CONTROL, "&Control...", nullptr, "Control parameters", "Control parameters", "control"},
    {ID_MOTOR, "&Motor and inverter...", nullptr, "Motor and inverter parameters", "Motor and inverter parameters", "motor"},
    {ID_FAILURES, "&Failures...", nullptr, "Failures", "Failures", "failures"},
    {ID_CALCULATE, "&Calculate", "F5", "Calculate", "Calculate", "calculate"},
    {ID_PLOT_RESULT, "&Plot result...", "Ctrl+R", "Plot result", "Plot result", "plot"},
    {ID_ADD_FILE_CURVE, "Add curve from &file...", nullptr, "Plots a column of a table file (exported results or CSV with a header)", "Add curve from file", nullptr},
    {ID_EXPORT_RESULTS, "&Export results...", nullptr, "Export model results", "Export model results", "export"},
    {ID_PWM_PLOT, "&PWM voltage plot...", nullptr, "SVPWM voltage plot", "SVPWM voltage plot", "pwm"},
    {ID_INDUCTANCE_PLOT, "&Inductance plot...", nullptr, "Inductance plot", "Inductance plot", "inductance"},
    {ID_FLUX_PLOT, "E&xcitation flux plot...", nullptr, "Flux plot", "Flux plot", "flux"},
    {ID_RESULT_DERIVATIVE, "Result &derivative", nullptr, "Result derivative", "Result derivative", "derivative"},
    {ID_RESULT_INTEGRAL, "Result in&tegral", nullptr, "Result integral", "Result integral", "integral"},
    {ID_DFT, "D&FT...", nullptr, "Discrete Fourier Transform", "Discrete Fourier Transform", "dft"},
    {ID_DIFFERENCE, "Diff&erence", nullptr, "The first curve minus the second, at the first one's samples", "Difference of the first two curves", nullptr},
    {ID_EXPORT_PLOT, "Export p&lot...", nullptr, "Exports current plot", "Exports current plot", nullptr},
    {ID_EXPORT_IMAGE, "Export plot as i&mage...", nullptr, "Writes the plot as a PNG or SVG image", "Export plot as image", nullptr},
    {ID_WINDOW_NEW, "&New Window", nullptr, "Open another window for the active document", "New Window", nullptr},
    {ID_WINDOW_CASCADE, "&Cascade", nullptr, "Arrange windows so they overlap", "Cascade Windows", nullptr},
    {ID_WINDOW_TILE_HORZ, "&Tile", nullptr, "Arrange windows as non-overlapping tiles", "Tile Windows", nullptr},
    {ID_WINDOW_ARRANGE, "&Arrange Icons", nullptr, "Arrange icons at the bottom of the window", "Arrange Icons", nullptr},
    {ID_APP_ABOUT, "&About Kalvor...", nullptr, "Display program information, version number and copyright", "About", "about"},
    {ID_RESULTS_TABLE_ORDER, "Results export table order", nullptr, "", "Results export table order", nullptr},
    {ID_NEXT_PANE, "Next Pane", "F6", "Switch to the next window pane", "Next Pane", nullptr},
    {ID_PREV_PANE, "Previous Pane", "Shift+F6", "Switch back to the previous window pane", "Previous Pane", nullptr},
};
// clang-format on

// The shortcuts of a command, as its table row writes them.
QList<QKeySequence> Shortcuts(const CCommandDesc& desc) {
    QList<QKeySequence> keys;
    if (desc.m_pszKeys) {
        for (const QString& key : QString::fromLatin1(desc.m_pszKeys).split(QStringLiteral("; ")))
            keys << QKeySequence(key, QKeySequence::PortableText);
    }
    return keys;
}

// The menu text: the command's text and its first shortcut, set apart by a tab.
QString MenuText(const CCommandDesc& desc) {
    QString text = QString::fromLatin1(desc.m_pszText);
    if (desc.m_pszKeys)
        text += '\t' + QString::fromLatin1(desc.m_pszKeys).section(QStringLiteral("; "), 0, 0);
    return text;
}

/// Settings keys of the View menu's scale choices.
const char* const g_pszRoundScaleKey = "Plot/RoundScale";
const char* const g_pszGridKey = "Plot/Grid";
const char* const g_pszSpectrumDbKey = "Plot/SpectrumDb";

/// Separator in a menu or toolbar list.
constexpr int g_nSeparator = 0;
/// Place of the recent-file entries in a File menu list.
constexpr int g_nRecentFileList = -1;

} // namespace

CMainFrame::CMainFrame(CRecentFileList& recentFiles, QWidget* pParent)
    : QMainWindow(pParent), m_recentFiles(recentFiles) {
    setWindowTitle(QStringLiteral("Kalvor"));
    resize(1000, 700);
    m_pMdiArea = new QMdiArea;
    m_pMdiArea->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_pMdiArea->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setCentralWidget(m_pMdiArea);
    connect(m_pMdiArea, &QMdiArea::subWindowActivated, this, &CMainFrame::OnSubWindowActivated);

    m_pCommands = new QActionGroup(this);
    m_pCommands->setExclusionPolicy(QActionGroup::ExclusionPolicy::None);
    connect(m_pCommands, &QActionGroup::triggered, this, &CMainFrame::OnActionTriggered);

    CreateActions();
    CreateMenus();
    CreateToolBar();
    CreateStatusBar();
    UpdateRecentFileMenu();
    UpdateMenus();
    UpdateCommandUI();
}

CMainFrame::~CMainFrame() {
    // Windows go before the documents they show, without asking anything.
    for (const CFrameEntry& entry : m_frames)
        disconnect(entry.m_pFrame, nullptr, this, nullptr);
    delete m_pMdiArea;
}

void CMainFrame::CreateActions() {
    for (const CCommandDesc& desc : g_commands) {
        auto* pAction = new QAction(MenuText(desc), this);
        pAction->setData(desc.m_nId);
        pAction->setStatusTip(QString::fromLatin1(desc.m_pszPrompt));
        pAction->setToolTip(QString::fromLatin1(desc.m_pszTip));
        pAction->setShortcuts(Shortcuts(desc));
        if (desc.m_pszIcon)
            pAction->setIcon(QIcon(QStringLiteral(":/app/%1.svg").arg(desc.m_pszIcon)));
        m_pCommands->addAction(pAction);
        // Accelerators work whichever menu set is shown.
        addAction(pAction);
        m_actions[desc.m_nId] = pAction;
    }
    Action(ID_VIEW_TOOLBAR)->setCheckable(true);
    Action(ID_VIEW_STATUS_BAR)->setCheckable(true);
    // The scale choices are the user's, kept between sessions.
    const QSettings settings;
    m_bRoundScale = settings.value(g_pszRoundScaleKey, false).toBool();
    m_bGrid = settings.value(g_pszGridKey, false).toBool();
    m_bSpectrumDb = settings.value(g_pszSpectrumDbKey, false).toBool();
    Action(ID_ROUND_SCALE)->setCheckable(true);
    Action(ID_GRID)->setCheckable(true);
    Action(ID_SPECTRUM_DB)->setCheckable(true);

    for (int i = 0; i < g_nRecentFiles; ++i) {
        auto* pAction = new QAction(this);
        pAction->setData(ID_FILE_MRU_FILE1 + i);
        pAction->setStatusTip(QStringLiteral("Open this document"));
        m_pCommands->addAction(pAction);
        m_recentActions.push_back(pAction);
    }
    m_pRecentPlaceholder = new QAction(QStringLiteral("Recent File"), this);
    m_pRecentPlaceholder->setEnabled(false);
}

QMenu* CMainFrame::AddMenu(const char* pszTitle, std::initializer_list<int> ids,
                           bool bDocumentMenu) {
    QMenu* pMenu = menuBar()->addMenu(QString::fromLatin1(pszTitle));
    for (int nId : ids) {
        if (nId == g_nSeparator) {
            pMenu->addSeparator();
        } else if (nId == g_nRecentFileList) {
            pMenu->addAction(m_pRecentPlaceholder);
            for (QAction* pAction : m_recentActions)
                pMenu->addAction(pAction);
        } else {
            pMenu->addAction(Action(nId));
        }
    }
    connect(pMenu, &QMenu::aboutToShow, this, &CMainFrame::UpdateCommandUI);
    (bDocumentMenu ? m_documentMenus : m_emptyMenus).push_back(pMenu);
    return pMenu;
}

void CMainFrame::CreateMenus() {
    // Without a document.
    AddMenu("&File",
            {ID_FILE_NEW, ID_FILE_OPEN, g_nSeparator, ID_FILE_PRINT_SETUP, g_nSeparator,
             g_nRecentFileList, g_nSeparator, ID_APP_EXIT},
            false);
    AddMenu("&View", {ID_VIEW_TOOLBAR, ID_VIEW_STATUS_BAR}, false);
    AddMenu("&Help", {ID_APP_ABOUT}, false);

    // With a document open.
    AddMenu("&File",
            {ID_FILE_NEW, ID_FILE_OPEN, ID_FILE_CLOSE, ID_FILE_SAVE, ID_FILE_SAVE_AS, g_nSeparator,
             ID_FILE_PRINT, ID_FILE_PRINT_PREVIEW, ID_FILE_PRINT_SETUP, g_nSeparator,
             g_nRecentFileList, g_nSeparator, ID_APP_EXIT},
            true);
    AddMenu("&Edit", {ID_EDIT_UNDO, g_nSeparator, ID_EDIT_CUT, ID_EDIT_COPY, ID_EDIT_PASTE}, true);
    AddMenu("&View",
            {ID_VIEW_TOOLBAR, ID_VIEW_STATUS_BAR, g_nSeparator, ID_VIEW_2D, ID_VIEW_3D,
             ID_VIEW_CIRCUIT, ID_VIEW_NONE, g_nSeparator, ID_ZOOM_SELECTION, ID_ZOOM_OUT,
             g_nSeparator, ID_ROUND_SCALE, ID_GRID, ID_SPECTRUM_DB},
            true);
    AddMenu("&Options", {ID_CONTROL, ID_MOTOR, g_nSeparator, ID_FAILURES}, true);
    AddMenu("&Model",
            {ID_CALCULATE, g_nSeparator, ID_PLOT_RESULT, ID_ADD_FILE_CURVE, ID_EXPORT_RESULTS},
            true);
    AddMenu("&Tools",
            {ID_PWM_PLOT, ID_INDUCTANCE_PLOT, ID_FLUX_PLOT, g_nSeparator, ID_RESULT_DERIVATIVE,
             ID_RESULT_INTEGRAL, ID_DFT, ID_DIFFERENCE, g_nSeparator, ID_EXPORT_PLOT,
             ID_EXPORT_IMAGE},
            true);
    m_pWindowMenu =
        AddMenu("&Window",
                {ID_WINDOW_NEW, ID_WINDOW_CASCADE, ID_WINDOW_TILE_HORZ, ID_WINDOW_ARRANGE}, true);
    connect(m_pWindowMenu, &QMenu::aboutToShow, this, &CMainFrame::OnWindowMenuAboutToShow);
    connect(m_pWindowMenu, &QMenu::triggered, this, &CMainFrame::OnWindowMenuTriggered);
    AddMenu("&Help", {ID_APP_ABOUT, ID_RESULTS_TABLE_ORDER}, true);
}

void CMainFrame::CreateToolBar() {
    m_pToolBar = addToolBar(QStringLiteral("Standard"));
    m_pToolBar->setObjectName(QStringLiteral("ToolBar"));
    m_pToolBar->setIconSize(QSize(16, 15));
    const int ids[] = {
        ID_FILE_NEW,    ID_FILE_OPEN,      ID_FILE_SAVE, g_nSeparator,         ID_EDIT_CUT,
        ID_EDIT_COPY,   ID_EDIT_PASTE,     g_nSeparator, ID_FILE_PRINT,        g_nSeparator,
        ID_CONTROL,     ID_MOTOR,          ID_FAILURES,  g_nSeparator,         ID_CALCULATE,
        ID_PLOT_RESULT, ID_EXPORT_RESULTS, g_nSeparator, ID_RESULT_DERIVATIVE, ID_RESULT_INTEGRAL,
        ID_DFT,         g_nSeparator,      ID_PWM_PLOT,  ID_INDUCTANCE_PLOT,   ID_FLUX_PLOT,
        g_nSeparator,   ID_ZOOM_OUT,       g_nSeparator, ID_APP_ABOUT};
    for (int nId : ids) {
        if (nId == g_nSeparator)
            m_pToolBar->addSeparator();
        else
            m_pToolBar->addAction(Action(nId));
    }
}

void CMainFrame::CreateStatusBar() {
    m_pReady = new QLabel(QStringLiteral("Ready"));
    statusBar()->addWidget(m_pReady, 1);
    // The lock-key panes stand greyed: Qt offers no portable way to read those keys.
    for (const char* pszIndicator : {"CAP", "NUM", "SCRL"}) {
        auto* pPane = new QLabel(QString::fromLatin1(pszIndicator));
        pPane->setEnabled(false);
        pPane->setFrameShape(QFrame::Panel);
        pPane->setFrameShadow(QFrame::Sunken);
        statusBar()->addPermanentWidget(pPane);
    }
}

QAction* CMainFrame::Action(int nId) const {
    const auto it = m_actions.find(nId);
    return it == m_actions.end() ? nullptr : it->second;
}

CKalvorView* CMainFrame::ActiveView() const {
    // The current window stays current while a dialog or another program has the focus.
    auto* pFrame = qobject_cast<CChildFrame*>(m_pMdiArea->currentSubWindow());
    return pFrame ? pFrame->View() : nullptr;
}

CKalvorDoc* CMainFrame::ActiveDocument() const {
    CKalvorView* pView = ActiveView();
    return pView ? &pView->GetDocument() : nullptr;
}

std::vector<CKalvorDoc*> CMainFrame::Documents() const {
    return m_docs;
}

std::vector<CChildFrame*> CMainFrame::FramesOf(const CKalvorDoc* pDoc) const {
    std::vector<CChildFrame*> frames;
    for (const CFrameEntry& entry : m_frames)
        if (entry.m_pDoc == pDoc)
            frames.push_back(entry.m_pFrame);
    return frames;
}

CKalvorDoc* CMainFrame::OnFileNew() {
    auto* pDoc = new CKalvorDoc(this);
    pDoc->SetTitle(QStringLiteral("Kalvo%1").arg(++m_nUntitled));
    return AddDocument(pDoc);
}

CKalvorDoc* CMainFrame::OpenDocumentFile(const QString& strPath) {
    const QString strFull = QFileInfo(strPath).absoluteFilePath();
    for (CKalvorDoc* pDoc : m_docs) {
        if (!pDoc->PathName().isEmpty() &&
            QFileInfo(pDoc->PathName()).absoluteFilePath() == strFull) {
            m_pMdiArea->setActiveSubWindow(FramesOf(pDoc).front());
            return pDoc;
        }
    }
    auto* pDoc = new CKalvorDoc(this);
    connect(pDoc, &CKalvorDoc::PathUsed, this, &CMainFrame::OnPathUsed);
    QString strError;
    if (!pDoc->OnOpenDocument(strFull, &strError)) {
        delete pDoc;
        QMessageBox::warning(this, QStringLiteral("Kalvor"), strError);
        return nullptr;
    }
    return AddDocument(pDoc);
}

CKalvorDoc* CMainFrame::AddDocument(CKalvorDoc* pDoc) {
    m_docs.push_back(pDoc);
    connect(pDoc, &CKalvorDoc::PathUsed, this, &CMainFrame::OnPathUsed, Qt::UniqueConnection);
    connect(pDoc, &CKalvorDoc::TitleChanged, this, &CMainFrame::OnDocumentTitleChanged);
    connect(pDoc, &CKalvorDoc::UpdateAllViews, this, &CMainFrame::UpdateCommandUI);
    connect(pDoc, &CKalvorDoc::StatusMessage, this, &CMainFrame::OnStatusText);
    CChildFrame* pFrame = CreateFrame(*pDoc);
    if (m_frames.size() == 1)
        pFrame->showMaximized();
    return pDoc;
}

CChildFrame* CMainFrame::CreateFrame(CKalvorDoc& doc) {
    auto* pFrame = new CChildFrame(doc);
    m_pMdiArea->addSubWindow(pFrame);
    // Restored or tiled, a plot needs room for its scales: three quarters of the area, at
    // least 640 x 440 where the area has it.
    const QSize area = m_pMdiArea->viewport()->size();
    pFrame->resize(std::min(std::max(area.width() * 3 / 4, 640), std::max(area.width(), 320)),
                   std::min(std::max(area.height() * 3 / 4, 440), std::max(area.height(), 240)));
    m_frames.push_back({pFrame, &doc});
    connect(pFrame, &QObject::destroyed, this, &CMainFrame::OnFrameDestroyed);
    connect(pFrame, &QMdiSubWindow::windowStateChanged, this, &CMainFrame::UpdateTitles);
    connect(pFrame->View(), &CKalvorView::StatusText, this, &CMainFrame::OnStatusText);
    pFrame->View()->SetScaleOptions(m_bRoundScale, m_bGrid, m_bSpectrumDb);
    pFrame->show();
    m_pMdiArea->setActiveSubWindow(pFrame);
    UpdateTitles();
    UpdateMenus();
    UpdateCommandUI();
    return pFrame;
}

bool CMainFrame::CloseDocument(CKalvorDoc* pDoc) {
    if (!pDoc->SaveModified(this))
        return false;
    for (CChildFrame* pFrame : FramesOf(pDoc)) {
        pFrame->m_bAskToSave = false;
        pFrame->close();
    }
    return true;
}

void CMainFrame::OnFrameDestroyed(QObject* pFrame) {
    const auto it = std::find_if(m_frames.begin(), m_frames.end(), [pFrame](const CFrameEntry& e) {
        return static_cast<QObject*>(e.m_pFrame) == pFrame;
    });
    if (it == m_frames.end())
        return;
    CKalvorDoc* pDoc = it->m_pDoc;
    m_frames.erase(it);
    if (FramesOf(pDoc).empty()) {
        m_docs.erase(std::remove(m_docs.begin(), m_docs.end(), pDoc), m_docs.end());
        pDoc->deleteLater();
    }
    // The area forgets the window only after this signal: refresh once it has.
    QMetaObject::invokeMethod(this, &CMainFrame::OnFramesChanged, Qt::QueuedConnection);
}

void CMainFrame::OnFramesChanged() {
    UpdateTitles();
    UpdateMenus();
    UpdateCommandUI();
}

void CMainFrame::closeEvent(QCloseEvent* pEvent) {
    for (CKalvorDoc* pDoc : m_docs) {
        if (!pDoc->SaveModified(this)) {
            pEvent->ignore();
            return;
        }
    }
    for (const CFrameEntry& entry : m_frames)
        entry.m_pFrame->m_bAskToSave = false;
    m_pMdiArea->closeAllSubWindows();
    pEvent->accept();
}

void CMainFrame::OnSubWindowActivated(QMdiSubWindow*) {
    UpdateTitles();
    UpdateCommandUI();
}

void CMainFrame::OnDocumentTitleChanged() {
    UpdateTitles();
}

void CMainFrame::OnPathUsed(const QString& strPath) {
    m_recentFiles.Add(strPath);
    UpdateRecentFileMenu();
}

void CMainFrame::UpdateTitles() {
    for (CKalvorDoc* pDoc : m_docs) {
        const std::vector<CChildFrame*> frames = FramesOf(pDoc);
        for (std::size_t i = 0; i < frames.size(); ++i) {
            frames[i]->setWindowTitle(frames.size() == 1
                                          ? pDoc->Title()
                                          : QStringLiteral("%1:%2").arg(pDoc->Title()).arg(i + 1));
        }
    }
    // The document once, then the program: "Kalvo1[*] — Kalvor"; the window system shows
    // [*] as the modified marker and adds no second program name to a title ending in it.
    const CKalvorDoc* pActive = ActiveDocument();
    m_strTitle = pActive ? QStringLiteral("%1[*] \u2014 Kalvor").arg(pActive->Title())
                         : QStringLiteral("Kalvor");
    setWindowTitle(m_strTitle);
    setWindowModified(pActive && pActive->IsModified());
}

void CMainFrame::changeEvent(QEvent* pEvent) {
    // A maximised document window writes " - [its title]" into the caption; the caption
    // already names the document.
    if (pEvent->type() == QEvent::WindowTitleChange && windowTitle() != m_strTitle &&
        !m_strTitle.isEmpty())
        setWindowTitle(m_strTitle);
    QMainWindow::changeEvent(pEvent);
}

void CMainFrame::OnStatusText(const QString& strText) {
    if (strText.isEmpty())
        statusBar()->clearMessage();
    else
        statusBar()->showMessage(strText);
    // The selection decides whether "Zoom to selection" can be chosen.
    UpdateCommandUI();
}

void CMainFrame::UpdateMenus() {
    const bool bDocument = !m_frames.empty();
    // Only the set in use stands in the menu bar: a hidden menu's mnemonic (Alt+F, Alt+V,
    // Alt+H) would make the shown one's ambiguous, and neither would open.
    const std::vector<QMenu*>& shown = bDocument ? m_documentMenus : m_emptyMenus;
    const QList<QAction*> present = menuBar()->actions();
    if (present.size() == qsizetype(shown.size()) &&
        std::equal(shown.begin(), shown.end(), present.begin(),
                   [](QMenu* pMenu, QAction* pAction) { return pMenu->menuAction() == pAction; }))
        return;
    menuBar()->clear();
    for (QMenu* pMenu : shown)
        menuBar()->addAction(pMenu->menuAction());
}

void CMainFrame::UpdateRecentFileMenu() {
    const QStringList& files = m_recentFiles.Files();
    m_pRecentPlaceholder->setVisible(files.isEmpty());
    for (int i = 0; i < g_nRecentFiles; ++i) {
        QAction* pAction = m_recentActions[i];
        const bool bUsed = i < files.size();
        pAction->setVisible(bUsed);
        if (bUsed)
            pAction->setText(
                QStringLiteral("&%1 %2").arg(i + 1).arg(QDir::toNativeSeparators(files[i])));
    }
}

bool CMainFrame::IsCommandEnabled(int nId, const CKalvorDoc* pDoc) const {
    switch (nId) {
    case ID_EDIT_UNDO:
    case ID_EDIT_CUT:
    case ID_EDIT_PASTE:
        return false;
    case ID_EDIT_COPY:
    case ID_EXPORT_IMAGE:
        return pDoc && ActiveView();
    case ID_FILE_NEW:
    case ID_FILE_OPEN:
    case ID_FILE_PRINT_SETUP:
    case ID_APP_EXIT:
    case ID_APP_ABOUT:
    case ID_VIEW_TOOLBAR:
    case ID_VIEW_STATUS_BAR:
    case ID_ROUND_SCALE:
    case ID_GRID:
    case ID_SPECTRUM_DB:
        return true;
    case ID_PLOT_RESULT:
    case ID_EXPORT_RESULTS:
        return pDoc && pDoc->CanPlotResult();
    case ID_RESULT_DERIVATIVE:
    case ID_RESULT_INTEGRAL:
    case ID_DFT:
        return pDoc && pDoc->CanProcessPlot();
    case ID_EXPORT_PLOT:
        return pDoc && pDoc->CanExportPlot();
    case ID_DIFFERENCE:
        return pDoc && pDoc->CanTakeDifference();
    case ID_FAILURES:
        return pDoc && pDoc->CanEditFailures();
    case ID_ZOOM_SELECTION:
        return ActiveView() && ActiveView()->HasSelection();
    case ID_ZOOM_OUT:
        return ActiveView() && ActiveView()->CanZoom();
    default:
        if (nId >= ID_FILE_MRU_FILE1 && nId < ID_FILE_MRU_FILE1 + g_nRecentFiles)
            return true;
        return pDoc != nullptr;
    }
}

void CMainFrame::UpdateCommandUI() {
    const CKalvorDoc* pDoc = ActiveDocument();
    for (QAction* pAction : m_pCommands->actions())
        pAction->setEnabled(IsCommandEnabled(pAction->data().toInt(), pDoc));
    Action(ID_VIEW_TOOLBAR)->setChecked(!m_pToolBar || !m_pToolBar->isHidden());
    Action(ID_VIEW_STATUS_BAR)->setChecked(!statusBar()->isHidden());
    Action(ID_ROUND_SCALE)->setChecked(m_bRoundScale);
    Action(ID_GRID)->setChecked(m_bGrid);
    Action(ID_SPECTRUM_DB)->setChecked(m_bSpectrumDb);
}

void CMainFrame::SetScaleOptions(bool bRoundScale, bool bGrid, bool bSpectrumDb) {
    m_bRoundScale = bRoundScale;
    m_bGrid = bGrid;
    m_bSpectrumDb = bSpectrumDb;
    QSettings settings;
    settings.setValue(g_pszRoundScaleKey, m_bRoundScale);
    settings.setValue(g_pszGridKey, m_bGrid);
    settings.setValue(g_pszSpectrumDbKey, m_bSpectrumDb);
    for (const CFrameEntry& entry : m_frames)
        entry.m_pFrame->View()->SetScaleOptions(m_bRoundScale, m_bGrid, m_bSpectrumDb);
}

void CMainFrame::OnActionTriggered(QAction* pAction) {
    OnCommand(pAction->data().toInt());
}

void CMainFrame::OnCommand(int nId) {
    CKalvorDoc* pDoc = ActiveDocument();
    if (!IsCommandEnabled(nId, pDoc))
        return;
    CKalvorView* pView = ActiveView();
    switch (nId) {
    case ID_FILE_NEW:
        OnFileNew();
        break;
    case ID_FILE_OPEN:
        OnFileOpen();
        break;
    case ID_FILE_CLOSE:
        CloseDocument(pDoc);
        break;
    case ID_FILE_SAVE:
        pDoc->DoSave(this, false);
        break;
    case ID_FILE_SAVE_AS:
        pDoc->DoSave(this, true);
        break;
    case ID_FILE_PRINT:
        pView->OnFilePrint(m_printer);
        break;
    case ID_FILE_PRINT_DIRECT:
        pView->OnFilePrintDirect(m_printer);
        break;
    case ID_FILE_PRINT_PREVIEW:
        pView->OnFilePrintPreview(m_printer);
        break;
    case ID_FILE_PRINT_SETUP:
        OnFilePrintSetup();
        break;
    case ID_APP_EXIT:
        close();
        break;
    case ID_APP_ABOUT:
        CAboutDlg(this).exec();
        break;
    case ID_VIEW_TOOLBAR:
        m_pToolBar->setVisible(m_pToolBar->isHidden());
        break;
    case ID_VIEW_STATUS_BAR:
        statusBar()->setVisible(statusBar()->isHidden());
        break;
    case ID_WINDOW_NEW: {
        CChildFrame* pFrame = CreateFrame(*pDoc);
        if (pFrame->isMaximized() || m_pMdiArea->subWindowList().size() == 1)
            pFrame->showMaximized();
        break;
    }
    case ID_WINDOW_CASCADE:
        m_pMdiArea->cascadeSubWindows();
        break;
    case ID_WINDOW_TILE_HORZ:
        m_pMdiArea->tileSubWindows();
        break;
    case ID_WINDOW_ARRANGE:
        break; // minimised windows already line up at the bottom of the area
    case ID_NEXT_PANE:
        OnNextPane(true);
        break;
    case ID_PREV_PANE:
        OnNextPane(false);
        break;
    case ID_CALCULATE:
        pDoc->OnCalculate(this);
        break;
    case ID_PLOT_RESULT: {
        std::vector<const CKalvorDoc*> sources(m_docs.begin(), m_docs.end());
        pDoc->OnPlotResult(this, sources);
        break;
    }
    case ID_CONTROL:
        pDoc->OnControl(this);
        break;
    case ID_MOTOR:
        pDoc->OnMotor(this);
        break;
    case ID_FAILURES:
        pDoc->OnFailures(this);
        break;
    case ID_VIEW_CIRCUIT:
        pDoc->OnViewCircuit();
        break;
    case ID_VIEW_2D:
        pDoc->OnView2D();
        break;
    case ID_VIEW_3D:
        pDoc->OnView3D();
        break;
    case ID_VIEW_NONE:
        pDoc->OnViewNone();
        break;
    case ID_ZOOM_SELECTION:
        pView->OnZoomToSelection();
        break;
    case ID_ZOOM_OUT:
        pView->OnZoomOut();
        break;
    case ID_ROUND_SCALE:
        SetScaleOptions(!m_bRoundScale, m_bGrid, m_bSpectrumDb);
        break;
    case ID_GRID:
        SetScaleOptions(m_bRoundScale, !m_bGrid, m_bSpectrumDb);
        break;
    case ID_SPECTRUM_DB:
        SetScaleOptions(m_bRoundScale, m_bGrid, !m_bSpectrumDb);
        break;
    case ID_RESULTS_TABLE_ORDER:
        pDoc->OnResultsTableOrder();
        break;
    case ID_EXPORT_RESULTS:
        pDoc->OnExportResults(this);
        break;
    case ID_EXPORT_PLOT:
        pDoc->OnExportPlot(this);
        break;
    case ID_RESULT_DERIVATIVE:
        pDoc->OnResultDerivative(this);
        break;
    case ID_RESULT_INTEGRAL:
        pDoc->OnResultIntegral(this);
        break;
    case ID_DFT:
        pDoc->OnDft(this);
        break;
    case ID_DIFFERENCE:
        pDoc->OnDifference(this);
        break;
    case ID_ADD_FILE_CURVE:
        pDoc->OnAddCurveFromFile(this);
        break;
    case ID_EXPORT_IMAGE:
        OnExportImage(*pView);
        break;
    case ID_EDIT_COPY:
        pView->OnEditCopy();
        statusBar()->showMessage(QStringLiteral("The plot is on the clipboard as an image."));
        break;
    case ID_INDUCTANCE_PLOT:
        pDoc->OnInductancePlot(this);
        break;
    case ID_FLUX_PLOT:
        pDoc->OnFluxPlot(this);
        break;
    case ID_PWM_PLOT:
        pDoc->OnVoltagePlot(this);
        break;
    default:
        if (nId >= ID_FILE_MRU_FILE1 && nId < ID_FILE_MRU_FILE1 + g_nRecentFiles)
            OnRecentFile(nId - ID_FILE_MRU_FILE1);
        break;
    }
    UpdateCommandUI();
}

void CMainFrame::OnFileOpen() {
    const QString strPath = QFileDialog::getOpenFileName(this, QStringLiteral("Open"), QString(),
                                                         QStringLiteral("All Files (*)"));
    if (!strPath.isEmpty())
        OpenDocumentFile(strPath);
}

void CMainFrame::OnRecentFile(int nIndex) {
    const QStringList& files = m_recentFiles.Files();
    if (nIndex >= files.size())
        return;
    if (!OpenDocumentFile(files[nIndex])) {
        m_recentFiles.Remove(nIndex);
        UpdateRecentFileMenu();
    }
}

void CMainFrame::OnExportImage(CKalvorView& view) {
    const std::optional<CImageRequest> request = AskImageExport(this, view.size());
    if (!request)
        return;
    const QString strError = view.WriteImage(request->m_strPath, request->m_size, request->m_bSvg);
    if (!strError.isEmpty())
        QMessageBox::warning(this, QStringLiteral("ERROR"), strError);
}

void CMainFrame::OnFilePrintSetup() {
    QPageSetupDialog dialog(&m_printer, this);
    dialog.exec();
}

void CMainFrame::OnNextPane(bool bNext) {
    if (bNext)
        m_pMdiArea->activateNextSubWindow();
    else
        m_pMdiArea->activatePreviousSubWindow();
}

void CMainFrame::OnWindowMenuAboutToShow() {
    for (QAction* pAction : m_windowActions) {
        m_pWindowMenu->removeAction(pAction);
        delete pAction;
    }
    m_windowActions.clear();
    const QList<QMdiSubWindow*> windows = m_pMdiArea->subWindowList();
    if (windows.isEmpty())
        return;
    m_windowActions.push_back(m_pWindowMenu->addSeparator());
    for (int i = 0; i < windows.size(); ++i) {
        QAction* pAction = m_pWindowMenu->addAction(
            QStringLiteral("&%1 %2").arg(i + 1).arg(windows[i]->windowTitle()));
        pAction->setCheckable(true);
        pAction->setChecked(windows[i] == m_pMdiArea->currentSubWindow());
        pAction->setData(i);
        m_windowActions.push_back(pAction);
    }
}

void CMainFrame::OnWindowMenuTriggered(QAction* pAction) {
    if (std::find(m_windowActions.begin(), m_windowActions.end(), pAction) == m_windowActions.end())
        return;
    const QList<QMdiSubWindow*> windows = m_pMdiArea->subWindowList();
    const int nIndex = pAction->data().toInt();
    if (nIndex >= 0 && nIndex < windows.size())
        m_pMdiArea->setActiveSubWindow(windows[nIndex]);
}
