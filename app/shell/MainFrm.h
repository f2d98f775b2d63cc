#pragma once

#include <QMainWindow>
#include <QPrinter>

#include <map>
#include <vector>

class CChildFrame;
class CRecentFileList;
class CKalvorDoc;
class CKalvorView;
class QAction;
class QActionGroup;
class QLabel;
class QMdiArea;
class QMdiSubWindow;
class QMenu;
class QToolBar;

/// The main window: the multiple-document area, the two menu sets (without and with an open
/// document), the toolbar, the status bar, and the routing of every command to the active
/// document or view.
class CMainFrame : public QMainWindow {
    Q_OBJECT
public:
    explicit CMainFrame(CRecentFileList& recentFiles, QWidget* pParent = nullptr);
    ~CMainFrame() override;

    /// The action of command nId (ECommandId), or null.
    QAction* Action(int nId) const;
    QToolBar* ToolBar() const { return m_pToolBar; }
    QMdiArea* MdiArea() const { return m_pMdiArea; }

    CKalvorDoc* ActiveDocument() const;
    CKalvorView* ActiveView() const;
    /// The open documents, oldest first.
    std::vector<CKalvorDoc*> Documents() const;
    /// The windows showing doc, oldest first.
    std::vector<CChildFrame*> FramesOf(const CKalvorDoc* pDoc) const;

    /// File / "New": a document with the default parameter set in a new window.
    CKalvorDoc* OnFileNew();
    /// Opens strPath (or activates its window when it is already open). A refused file is
    /// reported with the reader's message and opens nothing; the result is then null.
    CKalvorDoc* OpenDocumentFile(const QString& strPath);
    /// Closes pDoc with all its windows, after asking to save it when it is modified.
    /// Returns false when the user kept it open.
    bool CloseDocument(CKalvorDoc* pDoc);

    /// Enables, disables and checks every action after the state of the active document. The
    /// menus call it before they open; commands and window changes call it for the toolbar.
    void UpdateCommandUI();

    /// Runs command nId as its menu item, toolbar button or accelerator would.
    void OnCommand(int nId);

protected:
    void closeEvent(QCloseEvent* pEvent) override;
    void changeEvent(QEvent* pEvent) override;

private:
    void CreateActions();
    void CreateMenus();
    void CreateToolBar();
    void CreateStatusBar();
    QMenu* AddMenu(const char* pszTitle, std::initializer_list<int> ids, bool bDocumentMenu);

    void OnActionTriggered(QAction* pAction);
    void OnSubWindowActivated(QMdiSubWindow* pWindow);
    void OnFrameDestroyed(QObject* pFrame);
    void OnFramesChanged();
    void OnDocumentTitleChanged();
    /// Shows a readout of a view or a note of a document in the status bar.
    void OnStatusText(const QString& strText);
    void OnPathUsed(const QString& strPath);
    void OnWindowMenuAboutToShow();
    void OnWindowMenuTriggered(QAction* pAction);

    void OnFileOpen();
    void OnRecentFile(int nIndex);
    void OnFilePrintSetup();
    /// View / "Round scale", "Grid" and "Spectrum in dB": applied to every view and remembered
    /// in the settings.
    void SetScaleOptions(bool bRoundScale, bool bGrid, bool bSpectrumDb);
    /// Tools / "Export plot as image...": asks for the file and the size, then writes it.
    void OnExportImage(CKalvorView& view);
    void OnNextPane(bool bNext);

    CKalvorDoc* AddDocument(CKalvorDoc* pDoc);
    CChildFrame* CreateFrame(CKalvorDoc& doc);
    void UpdateMenus();
    void UpdateRecentFileMenu();
    void UpdateTitles();
    bool IsCommandEnabled(int nId, const CKalvorDoc* pDoc) const;

    /// A window and the document it shows, kept so a destroyed window needs no dereference.
    struct CFrameEntry {
        CChildFrame* m_pFrame;
        CKalvorDoc* m_pDoc;
    };

    CRecentFileList& m_recentFiles;    ///< the File menu's recent files, owned by the application
    QMdiArea* m_pMdiArea;              ///< the documents' windows
    QToolBar* m_pToolBar = nullptr;    ///< the toolbar
    QLabel* m_pReady = nullptr;        ///< idle text of the message pane
    QActionGroup* m_pCommands;         ///< every command action, one trigger signal
    std::map<int, QAction*> m_actions; ///< command id -> action
    std::vector<QAction*> m_recentActions; ///< "&1 path" ... "&4 path"
    QAction* m_pRecentPlaceholder;         ///< disabled "Recent File" while the list is empty
    std::vector<QMenu*> m_documentMenus;   ///< menus of the set with a document open
    std::vector<QMenu*> m_emptyMenus;      ///< menus of the set without a document
    QMenu* m_pWindowMenu = nullptr;        ///< "&Window", its list of windows rebuilt on opening
    std::vector<QAction*> m_windowActions; ///< that list
    std::vector<CFrameEntry> m_frames;     ///< open windows, oldest first
    std::vector<CKalvorDoc*> m_docs;       ///< open documents, oldest first, children of this
    int m_nUntitled = 0;                   ///< number of the last new document ("Kalvo1")
    bool m_bRoundScale = false;            ///< View / "Round scale" is checked
    bool m_bGrid = false;                  ///< View / "Grid" is checked
    bool m_bSpectrumDb = false;            ///< View / "Spectrum in dB" is checked
    QPrinter m_printer;                    ///< settings of "Print Setup..." and printing
    QString m_strTitle;                    ///< the caption the main window should show
};
