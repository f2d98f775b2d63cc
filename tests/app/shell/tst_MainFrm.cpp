// The main window: both menu sets, toolbar, accelerators, prompts, availability, files.
#include "CalculateRun.h"
#include "ModalScript.h"
#include "ParamFile.h"
#include "SolverProc.h"
#include "TestHome.h"
#include "dialogs/TimeParam.h"
#include "document/KalvorDoc.h"
#include "document/KalvorView.h"
#include "plot/ResPlot.h"
#include "shell/ChildFrm.h"
#include "shell/Kalvor.h"
#include "shell/MainFrm.h"
#include "shell/Resource.h"

#include <QClipboard>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMenuBar>
#include <QSettings>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QToolBar>
#include <QtTest>

namespace {

/// A menu item: its text, or "-" for a separator, and its command id.
struct CItem {
    QString m_strText;
    int m_nId;
};
using CMenuList = std::vector<std::pair<QString, std::vector<CItem>>>;

const CItem g_sep{"-", 0};
const CItem g_recent{"Recent File", 0};

/// The menus the user sees now, as the menu bar shows them.
CMenuList VisibleMenus(CMainFrame& frame) {
    CMenuList menus;
    for (QAction* pMenuAction : frame.menuBar()->actions()) {
        if (!pMenuAction->isVisible())
            continue;
        std::vector<CItem> items;
        for (QAction* pAction : pMenuAction->menu()->actions()) {
            if (!pAction->isVisible())
                continue;
            if (pAction->isSeparator())
                items.push_back(g_sep);
            else
                items.push_back({pAction->text(), pAction->data().toInt()});
        }
        menus.emplace_back(pMenuAction->text(), items);
    }
    return menus;
}

void CompareMenus(const CMenuList& actual, const CMenuList& expected) {
    QCOMPARE(actual.size(), expected.size());
    for (std::size_t m = 0; m < expected.size(); ++m) {
        QCOMPARE(actual[m].first, expected[m].first);
        const auto& items = actual[m].second;
        const auto& want = expected[m].second;
        QCOMPARE(items.size(), want.size());
        for (std::size_t i = 0; i < want.size(); ++i) {
            QCOMPARE(items[i].m_strText, want[i].m_strText);
            if (want[i].m_nId)
                QCOMPARE(items[i].m_nId, want[i].m_nId);
        }
    }
}

void ProcessDeletes() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();
}

} // namespace

class CTestMainFrm : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void MenusWithoutADocument();
    void MenusWithADocument();
    void ProgramCommandsHaveTheirPrompts();
    void StatusBarShowsThePromptThenReady();
    void ToolbarOrderWithSeparators();
    void Accelerators();
    void AcceleratorCreatesADocument();
    void UndoCutAndPasteAreAlwaysDisabled();
    void CopyPutsThePlotOnTheClipboard();
    void ScaleChoicesReachEveryViewAndAreRemembered();
    void SpectrumInDbReachesTheViewsAndIsRemembered();
    void AvailabilityWithoutADocumentAndWithANewOne();
    void AvailabilityAfterAnAcceptedRunAndWithAPicture();
    void AvailabilityAfterOkInAParameterDialogAndAfterARejectedRun();
    void ParameterDialogsInvalidateOnOk_data();
    void ParameterDialogsInvalidateOnOk();
    void FailuresFollowTheConditionOfWork();
    void MenusRefreshAvailabilityBeforeTheyOpen();
    void SavedFromTheProgramAndOpenedAgain();
    void RecentFileListKeepsFourEntries();
    void RecentFileThatCannotBeOpenedIsDropped();
    void RefusedFileOpensNothing();
    void OpeningAnOpenFileActivatesIt();
    void ClosingAModifiedDocumentAsks();
    void NewWindowShowsTheSameDocument();
    void ClosingTheProgramAsksForModifiedDocuments();
    void AboutBoxAndToolbarToggle();
    void MessageHooksShowMessageBoxes();

private:
    std::unique_ptr<CKalvorApp> m_pApp;
    CMainFrame* m_pFrame = nullptr;
};

void CTestMainFrm::initTestCase() {
    const QString strOutside = SettingsOutsideTheTestHome();
    QVERIFY2(strOutside.isEmpty(), qPrintable("the tests would write the user's settings " +
                                              strOutside + "; run them through ctest"));
}

void CTestMainFrm::init() {
    m_pApp = std::make_unique<CKalvorApp>();
    QSettings().remove("Recent File List");
    QSettings().remove("Plot");
    QVERIFY(m_pApp->InitInstance({}));
    m_pFrame = m_pApp->MainFrame();
}

void CTestMainFrm::cleanup() {
    for (CKalvorDoc* pDoc : m_pFrame->Documents())
        pDoc->SetModifiedFlag(false);
    m_pApp.reset();
    ProcessDeletes();
}

void CTestMainFrm::MenusWithoutADocument() {
    m_pFrame->CloseDocument(m_pFrame->ActiveDocument());
    ProcessDeletes();
    QVERIFY(m_pFrame->Documents().empty());
    CompareMenus(VisibleMenus(*m_pFrame),
                 {{"&File",
                   {{"&New\tCtrl+N", ID_FILE_NEW},
                    {"&Open...\tCtrl+O", ID_FILE_OPEN},
                    g_sep,
                    {"P&rint Setup...", ID_FILE_PRINT_SETUP},
                    g_sep,
                    g_recent,
                    g_sep,
                    {"E&xit", ID_APP_EXIT}}},
                  {"&View", {{"&Toolbar", ID_VIEW_TOOLBAR}, {"&Status Bar", ID_VIEW_STATUS_BAR}}},
                  {"&Help", {{"&About Kalvor...", ID_APP_ABOUT}}}});
    QCOMPARE(m_pFrame->windowTitle(), QString("Kalvor"));
}

void CTestMainFrm::MenusWithADocument() {
    QCOMPARE(m_pFrame->Documents().size(), std::size_t(1));
    QCOMPARE(m_pFrame->ActiveDocument()->Title(), QString("Kalvo1"));
    CompareMenus(
        VisibleMenus(*m_pFrame),
        {{"&File",
          {{"&New\tCtrl+N", ID_FILE_NEW},
           {"&Open...\tCtrl+O", ID_FILE_OPEN},
           {"&Close", ID_FILE_CLOSE},
           {"&Save\tCtrl+S", ID_FILE_SAVE},
           {"Save &As...", ID_FILE_SAVE_AS},
           g_sep,
           {"&Print...\tCtrl+P", ID_FILE_PRINT},
           {"Print Pre&view", ID_FILE_PRINT_PREVIEW},
           {"P&rint Setup...", ID_FILE_PRINT_SETUP},
           g_sep,
           g_recent,
           g_sep,
           {"E&xit", ID_APP_EXIT}}},
         {"&Edit",
          {{"&Undo\tCtrl+Z", ID_EDIT_UNDO},
           g_sep,
           {"Cu&t\tCtrl+X", ID_EDIT_CUT},
           {"&Copy\tCtrl+C", ID_EDIT_COPY},
           {"&Paste\tCtrl+V", ID_EDIT_PASTE}}},
         {"&View",
          {{"&Toolbar", ID_VIEW_TOOLBAR},
           {"&Status Bar", ID_VIEW_STATUS_BAR},
           g_sep,
           {"2D model", 32790},
           {"3D model", 32791},
           {"Circuit model", 32789},
           {"None", 32792},
           g_sep,
           {"Zoom to selection\tZ", ID_ZOOM_SELECTION},
           {"Zoom out fully\tHome", ID_ZOOM_OUT},
           g_sep,
           {"&Round scale", ID_ROUND_SCALE},
           {"&Grid", ID_GRID},
           {"Spectrum in &dB", ID_SPECTRUM_DB}}},
         {"&Options",
          {{"&Control...", 32783},
           {"&Motor and inverter...", 32784},
           g_sep,
           {"&Failures...", 32796}}},
         {"&Model",
          {{"&Calculate\tF5", 32772},
           g_sep,
           {"&Plot result...\tCtrl+R", 32799},
           {"Add curve from &file...", ID_ADD_FILE_CURVE},
           {"&Export results...", 32774}}},
         {"&Tools",
          {{"&PWM voltage plot...", 32807},
           {"&Inductance plot...", 32787},
           {"E&xcitation flux plot...", 32814},
           g_sep,
           {"Result &derivative", 32797},
           {"Result in&tegral", 32798},
           {"D&FT...", 32800},
           {"Diff&erence", ID_DIFFERENCE},
           g_sep,
           {"Export p&lot...", 32824},
           {"Export plot as i&mage...", ID_EXPORT_IMAGE}}},
         {"&Window",
          {{"&New Window", ID_WINDOW_NEW},
           {"&Cascade", ID_WINDOW_CASCADE},
           {"&Tile", ID_WINDOW_TILE_HORZ},
           {"&Arrange Icons", ID_WINDOW_ARRANGE}}},
         {"&Help", {{"&About Kalvor...", ID_APP_ABOUT}, {"Results export table order", 32823}}}});
    // The document once, with the modified marker, whether its window is maximised or not.
    const QString strTitle = QStringLiteral("Kalvo1[*] \u2014 Kalvor");
    QCOMPARE(m_pFrame->windowTitle(), strTitle);
    QVERIFY(!m_pFrame->isWindowModified());
    m_pFrame->ActiveDocument()->SetModifiedFlag();
    QVERIFY(m_pFrame->isWindowModified());
    m_pFrame->FramesOf(m_pFrame->ActiveDocument()).front()->showNormal();
    QCOMPARE(m_pFrame->windowTitle(), strTitle);
    m_pFrame->FramesOf(m_pFrame->ActiveDocument()).front()->showMaximized();
    QCOMPARE(m_pFrame->windowTitle(), strTitle);
    m_pFrame->ActiveDocument()->SetModifiedFlag(false);
}

void CTestMainFrm::ProgramCommandsHaveTheirPrompts() {
    const std::pair<int, const char*> prompts[] = {
        {32772, "Calculate"},
        {32774, "Export model results"},
        {32783, "Control parameters"},
        {32784, "Motor and inverter parameters"},
        {32787, "Inductance plot"},
        {32796, "Failures"},
        {32797, "Result derivative"},
        {32798, "Result integral"},
        {32799, "Plot result"},
        {32800, "Discrete Fourier Transform"},
        {32807, "SVPWM voltage plot"},
        {32814, "Flux plot"},
        {32824, "Exports current plot"},
    };
    for (const auto& [nId, pszPrompt] : prompts) {
        QAction* pAction = m_pFrame->Action(nId);
        QVERIFY2(pAction, qPrintable(QString::number(nId)));
        QCOMPARE(pAction->statusTip(), QString(pszPrompt));
    }
}

void CTestMainFrm::StatusBarShowsThePromptThenReady() {
    auto* pReady = m_pFrame->statusBar()->findChild<QLabel*>();
    QVERIFY(pReady);
    QCOMPARE(pReady->text(), QString("Ready"));
    m_pFrame->Action(ID_DFT)->showStatusText(m_pFrame);
    QCOMPARE(m_pFrame->statusBar()->currentMessage(), QString("Discrete Fourier Transform"));
    QStatusTipEvent leave{QString()};
    QCoreApplication::sendEvent(m_pFrame, &leave);
    QVERIFY(m_pFrame->statusBar()->currentMessage().isEmpty());
    QVERIFY(!pReady->isHidden());
}

void CTestMainFrm::ToolbarOrderWithSeparators() {
    const int expected[] = {ID_FILE_NEW,   ID_FILE_OPEN,
                            ID_FILE_SAVE,  0,
                            ID_EDIT_CUT,   ID_EDIT_COPY,
                            ID_EDIT_PASTE, 0,
                            ID_FILE_PRINT, 0,
                            32783,         32784,
                            32796,         0,
                            32772,         32799,
                            32774,         0,
                            32797,         32798,
                            32800,         0,
                            32807,         32787,
                            32814,         0,
                            ID_ZOOM_OUT,   0,
                            ID_APP_ABOUT};
    const QList<QAction*> actions = m_pFrame->ToolBar()->actions();
    QCOMPARE(actions.size(), int(std::size(expected)));
    int nImages = 0;
    for (int i = 0; i < actions.size(); ++i) {
        if (expected[i] == 0) {
            QVERIFY(actions[i]->isSeparator());
            continue;
        }
        QCOMPARE(actions[i]->data().toInt(), expected[i]);
        QVERIFY(!actions[i]->icon().isNull());
        ++nImages;
    }
    QCOMPARE(nImages, 21);
}

void CTestMainFrm::Accelerators() {
    const std::pair<int, QList<QKeySequence>> keys[] = {
        {ID_FILE_NEW, {QKeySequence("Ctrl+N")}},
        {ID_FILE_OPEN, {QKeySequence("Ctrl+O")}},
        {ID_FILE_SAVE, {QKeySequence("Ctrl+S")}},
        {ID_FILE_PRINT, {QKeySequence("Ctrl+P")}},
        {ID_EDIT_UNDO, {QKeySequence("Ctrl+Z"), QKeySequence("Alt+Backspace")}},
        {ID_EDIT_CUT, {QKeySequence("Ctrl+X"), QKeySequence("Shift+Del")}},
        {ID_EDIT_COPY, {QKeySequence("Ctrl+C"), QKeySequence("Ctrl+Ins")}},
        {ID_EDIT_PASTE, {QKeySequence("Ctrl+V"), QKeySequence("Shift+Ins")}},
        {ID_NEXT_PANE, {QKeySequence("F6")}},
        {ID_PREV_PANE, {QKeySequence("Shift+F6")}},
        {ID_CALCULATE, {QKeySequence("F5")}},
        {ID_PLOT_RESULT, {QKeySequence("Ctrl+R")}},
        {ID_ZOOM_SELECTION, {QKeySequence("Z")}},
        {ID_ZOOM_OUT, {QKeySequence("Home")}},
    };
    for (const auto& [nId, sequences] : keys)
        QCOMPARE(m_pFrame->Action(nId)->shortcuts(), sequences);
    // No key is given twice, and none is the Alt+letter of a menu's mnemonic.
    QSet<QString> seen;
    for (QAction* pMenu : m_pFrame->menuBar()->actions()) {
        const qsizetype amp = pMenu->text().indexOf('&');
        if (amp >= 0)
            seen.insert(
                QKeySequence(QStringLiteral("Alt+") + pMenu->text()[amp + 1].toUpper()).toString());
    }
    for (QAction* pAction : m_pFrame->actions()) {
        for (const QKeySequence& key : pAction->shortcuts()) {
            QVERIFY2(!seen.contains(key.toString()), qPrintable(key.toString()));
            seen.insert(key.toString());
        }
    }
    // Alt and a menu's letter opens that menu, with or without a document.
    QApplication::setActiveWindow(m_pFrame);
    QVERIFY(QTest::qWaitForWindowActive(m_pFrame));
    for (bool bDocument : {true, false}) {
        if (!bDocument) {
            m_pFrame->CloseDocument(m_pFrame->ActiveDocument());
            ProcessDeletes();
            QApplication::setActiveWindow(m_pFrame);
            m_pFrame->setFocus();
        }
        for (const char* pszMenu : {"&View", "&File", "&Help", "&Window"}) {
            if (!bDocument && QByteArray(pszMenu) == "&Window")
                continue;
            QTest::keyClick(m_pFrame, QChar(pszMenu[1]).toLower().toLatin1(), Qt::AltModifier);
            auto* pOpen = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            QVERIFY2(pOpen && pOpen->title() == pszMenu, pszMenu);
            pOpen->close();
        }
    }
    m_pFrame->OnFileNew();
    // Every menu has a mnemonic, unique in the menu bar; the items of a menu have unique ones.
    const auto mnemonic = [](const QString& strText) {
        const qsizetype amp = strText.indexOf('&');
        return amp >= 0 && amp + 1 < strText.size() ? strText[amp + 1].toUpper() : QChar();
    };
    QSet<QChar> menus;
    for (QAction* pMenu : m_pFrame->menuBar()->actions()) {
        if (!pMenu->isVisible())
            continue;
        const QChar key = mnemonic(pMenu->text());
        QVERIFY2(!key.isNull() && !menus.contains(key), qPrintable(pMenu->text()));
        menus.insert(key);
        QSet<QChar> items;
        for (QAction* pItem : pMenu->menu()->actions()) {
            const QChar itemKey = mnemonic(pItem->text());
            if (pItem->isSeparator() || itemKey.isNull())
                continue;
            QVERIFY2(!items.contains(itemKey), qPrintable(pItem->text()));
            items.insert(itemKey);
        }
    }
}

void CTestMainFrm::ScaleChoicesReachEveryViewAndAreRemembered() {
    CKalvorDoc* pDoc = m_pFrame->ActiveDocument();
    pDoc->AllocPlot(3);
    pDoc->m_buffer.m_pPlotX = {0, 0.05, 0.1};
    pDoc->m_buffer.m_pPlotY = {0, 1, 0};
    pDoc->m_bValid = true;
    pDoc->m_buffer.m_nPlotType = kPlotCurve;
    pDoc->m_buffer.SetLabels("t [s]", "Ia [A]");
    const QImage before = m_pFrame->ActiveView()->Image(QSize(600, 400));
    m_pFrame->OnCommand(ID_ROUND_SCALE);
    m_pFrame->OnCommand(ID_GRID);
    QVERIFY(m_pFrame->Action(ID_ROUND_SCALE)->isChecked());
    QVERIFY(m_pFrame->Action(ID_GRID)->isChecked());
    QVERIFY(m_pFrame->ActiveView()->Image(QSize(600, 400)) != before);
    // A new window and a new session start with the choice.
    m_pFrame->OnCommand(ID_WINDOW_NEW);
    QVERIFY(m_pFrame->ActiveView()->Image(QSize(600, 400)) != before);
    QVERIFY(QSettings().value("Plot/RoundScale").toBool());
    m_pApp.reset();
    ProcessDeletes();
    m_pApp = std::make_unique<CKalvorApp>();
    QVERIFY(m_pApp->InitInstance({}));
    m_pFrame = m_pApp->MainFrame();
    QVERIFY(m_pFrame->Action(ID_ROUND_SCALE)->isChecked());
    m_pFrame->OnCommand(ID_ROUND_SCALE);
    m_pFrame->OnCommand(ID_GRID);
    QVERIFY(!QSettings().value("Plot/Grid").toBool());
}

void CTestMainFrm::SpectrumInDbReachesTheViewsAndIsRemembered() {
    CKalvorDoc* pDoc = m_pFrame->ActiveDocument();
    pDoc->AllocPlot(4);
    pDoc->m_buffer.m_pPlotX = {0, 1, 2, 3};
    pDoc->m_buffer.m_pPlotY = {0.1, 2, 0.02, 0.2};
    pDoc->m_bValid = true;
    pDoc->m_buffer.m_nPlotType = kPlotSpectrum;
    pDoc->m_buffer.SetLabels("n", "Mag (peak) [A]");
    m_pFrame->UpdateCommandUI();
    QVERIFY(m_pFrame->Action(ID_ZOOM_OUT)->isEnabled()); // a spectrum zooms too
    const QImage linear = m_pFrame->ActiveView()->Image(QSize(600, 400));
    m_pFrame->OnCommand(ID_SPECTRUM_DB);
    m_pFrame->UpdateCommandUI();
    QVERIFY(m_pFrame->Action(ID_SPECTRUM_DB)->isChecked());
    QVERIFY(QSettings().value("Plot/SpectrumDb").toBool());
    QVERIFY(m_pFrame->ActiveView()->Image(QSize(600, 400)) != linear);
    m_pFrame->OnCommand(ID_WINDOW_NEW);
    QVERIFY(m_pFrame->ActiveView()->Image(QSize(600, 400)) != linear);
    m_pFrame->OnCommand(ID_SPECTRUM_DB);
    QVERIFY(!QSettings().value("Plot/SpectrumDb").toBool());
    QCOMPARE(m_pFrame->ActiveView()->Image(QSize(600, 400)), linear);
}

void CTestMainFrm::CopyPutsThePlotOnTheClipboard() {
    CKalvorDoc* pDoc = m_pFrame->ActiveDocument();
    pDoc->AllocPlot(3);
    pDoc->m_buffer.m_pPlotX = {0, 1, 2};
    pDoc->m_buffer.m_pPlotY = {0, 1, 0};
    pDoc->m_bValid = true;
    pDoc->m_buffer.m_nPlotType = kPlotCurve;
    m_pFrame->UpdateCommandUI();
    QVERIFY(m_pFrame->Action(ID_EDIT_COPY)->isEnabled());
    QGuiApplication::clipboard()->clear();
    m_pFrame->OnCommand(ID_EDIT_COPY);
    const QImage image = QGuiApplication::clipboard()->image();
    QCOMPARE(image.size(), m_pFrame->ActiveView()->size());
    // The curve's red is in it.
    bool bRed = false;
    for (int y = 0; y < image.height() && !bRed; ++y)
        for (int x = 0; x < image.width() && !bRed; ++x)
            bRed = image.pixelColor(x, y) == QColor(255, 0, 0);
    QVERIFY(bRed);
}

void CTestMainFrm::AcceleratorCreatesADocument() {
    QApplication::setActiveWindow(m_pFrame);
    QVERIFY(QTest::qWaitForWindowActive(m_pFrame));
    QTest::keyClick(m_pFrame, Qt::Key_N, Qt::ControlModifier);
    QCOMPARE(m_pFrame->Documents().size(), std::size_t(2));
    QCOMPARE(m_pFrame->ActiveDocument()->Title(), QString("Kalvo2"));
}

void CTestMainFrm::UndoCutAndPasteAreAlwaysDisabled() {
    for (int nId : {ID_EDIT_UNDO, ID_EDIT_CUT, ID_EDIT_PASTE}) {
        m_pFrame->UpdateCommandUI();
        QVERIFY(!m_pFrame->Action(nId)->isEnabled());
        m_pFrame->CloseDocument(m_pFrame->ActiveDocument());
        ProcessDeletes();
        m_pFrame->UpdateCommandUI();
        QVERIFY(!m_pFrame->Action(nId)->isEnabled());
        m_pFrame->OnFileNew();
    }
}

void CTestMainFrm::AvailabilityWithoutADocumentAndWithANewOne() {
    const int documentCommands[] = {ID_CALCULATE,    ID_CONTROL,         ID_MOTOR,
                                    ID_FAILURES,     ID_VIEW_2D,         ID_VIEW_3D,
                                    ID_VIEW_CIRCUIT, ID_VIEW_NONE,       ID_PWM_PLOT,
                                    ID_FLUX_PLOT,    ID_INDUCTANCE_PLOT, ID_RESULTS_TABLE_ORDER,
                                    ID_FILE_SAVE,    ID_FILE_PRINT};
    const int resultCommands[] = {
        ID_PLOT_RESULT, ID_EXPORT_RESULTS, ID_RESULT_DERIVATIVE, ID_RESULT_INTEGRAL,
        ID_DFT,         ID_EXPORT_PLOT};
    for (int nId : documentCommands)
        QVERIFY2(m_pFrame->Action(nId)->isEnabled(), qPrintable(QString::number(nId)));
    for (int nId : resultCommands)
        QVERIFY2(!m_pFrame->Action(nId)->isEnabled(), qPrintable(QString::number(nId)));

    m_pFrame->OnCommand(ID_FILE_CLOSE);
    ProcessDeletes();
    for (int nId : documentCommands)
        QVERIFY2(!m_pFrame->Action(nId)->isEnabled(), qPrintable(QString::number(nId)));
    for (int nId : {ID_FILE_NEW, ID_FILE_OPEN, ID_APP_ABOUT, ID_APP_EXIT})
        QVERIFY(m_pFrame->Action(nId)->isEnabled());
    // A command that is not available does nothing, from wherever it comes.
    m_pFrame->OnCommand(ID_CALCULATE);
    QVERIFY(m_pFrame->Documents().empty());
}

void CTestMainFrm::AvailabilityAfterAnAcceptedRunAndWithAPicture() {
    QVERIFY(CalculateThroughDialogs([this] { m_pFrame->OnCommand(ID_CALCULATE); }));
    for (int nId : {ID_PLOT_RESULT, ID_EXPORT_RESULTS, ID_RESULT_DERIVATIVE, ID_RESULT_INTEGRAL,
                    ID_DFT, ID_EXPORT_PLOT})
        QVERIFY2(m_pFrame->Action(nId)->isEnabled(), qPrintable(QString::number(nId)));

    m_pFrame->OnCommand(ID_VIEW_2D);
    QCOMPARE(m_pFrame->ActiveDocument()->m_nPicture, 1);
    // The plot is hidden, not gone: everything that works on it stays available.
    for (int nId : {ID_PLOT_RESULT, ID_EXPORT_RESULTS, ID_RESULT_DERIVATIVE, ID_RESULT_INTEGRAL,
                    ID_DFT, ID_EXPORT_PLOT})
        QVERIFY2(m_pFrame->Action(nId)->isEnabled(), qPrintable(QString::number(nId)));
}

void CTestMainFrm::AvailabilityAfterOkInAParameterDialogAndAfterARejectedRun() {
    CKalvorDoc* pDoc = m_pFrame->ActiveDocument();
    QVERIFY(CalculateThroughDialogs([this] { m_pFrame->OnCommand(ID_CALCULATE); }));
    QDialog accepted;
    QTimer::singleShot(0, &accepted, &QDialog::accept);
    pDoc->RunParamDialog(accepted);
    m_pFrame->UpdateCommandUI();
    for (int nId : {ID_PLOT_RESULT, ID_EXPORT_RESULTS, ID_RESULT_DERIVATIVE, ID_RESULT_INTEGRAL,
                    ID_DFT, ID_EXPORT_PLOT})
        QVERIFY2(!m_pFrame->Action(nId)->isEnabled(), qPrintable(QString::number(nId)));
    QVERIFY(m_pFrame->Action(ID_CALCULATE)->isEnabled());

    // A run that had to halve a step: its results are not offered.
    pDoc->m_bValid = true;
    pDoc->m_runStatus = ECalcStatus::StepHalved;
    m_pFrame->UpdateCommandUI();
    QVERIFY(!m_pFrame->Action(ID_PLOT_RESULT)->isEnabled());
    QVERIFY(!m_pFrame->Action(ID_EXPORT_RESULTS)->isEnabled());
    QVERIFY(m_pFrame->Action(ID_EXPORT_PLOT)->isEnabled());
}

void CTestMainFrm::ParameterDialogsInvalidateOnOk_data() {
    QTest::addColumn<int>("command");
    QTest::addColumn<bool>("ok");
    QTest::newRow("Control... OK") << int(ID_CONTROL) << true;
    QTest::newRow("Control... Cancel") << int(ID_CONTROL) << false;
    QTest::newRow("Motor and inverter... OK") << int(ID_MOTOR) << true;
    QTest::newRow("Motor and inverter... Cancel") << int(ID_MOTOR) << false;
    QTest::newRow("Failures... OK") << int(ID_FAILURES) << true;
    QTest::newRow("Failures... Cancel") << int(ID_FAILURES) << false;
}

void CTestMainFrm::ParameterDialogsInvalidateOnOk() {
    QFETCH(int, command);
    QFETCH(bool, ok);
    CKalvorDoc* pDoc = m_pFrame->ActiveDocument();
    QVERIFY(CalculateThroughDialogs([this] { m_pFrame->OnCommand(ID_CALCULATE); }));
    pDoc->SetModifiedFlag(false);
    QVERIFY(m_pFrame->Action(ID_PLOT_RESULT)->isEnabled());

    QString strTitle;
    CModalScript script;
    script.Then<QDialog>([&](QDialog* p) {
        strTitle = p->windowTitle();
        if (ok)
            p->accept(); // the values shown are the valid ones: OK stores them unchanged
        else
            p->reject();
    });
    m_pFrame->OnCommand(command);

    QVERIFY(script.Done());
    QVERIFY(script.m_unexpected.isEmpty());
    const char* pszTitle = command == ID_CONTROL ? "Control parameters"
                           : command == ID_MOTOR ? "Motor and inverter parameters"
                                                 : "Inverter failures";
    QCOMPARE(strTitle, QString(pszTitle));
    QCOMPARE(pDoc->m_bValid, !ok);
    QCOMPARE(pDoc->IsModified(), ok);
    for (int nId : {ID_PLOT_RESULT, ID_EXPORT_RESULTS, ID_RESULT_DERIVATIVE, ID_RESULT_INTEGRAL,
                    ID_DFT, ID_EXPORT_PLOT})
        QCOMPARE(m_pFrame->Action(nId)->isEnabled(), !ok);
    QVERIFY(pDoc->m_pSolver);
}

void CTestMainFrm::FailuresFollowTheConditionOfWork() {
    CKalvorDoc* pDoc = m_pFrame->ActiveDocument();
    for (int nCondition : {0, 1, 2, 3}) {
        pDoc->m_params.m_control.m_nCondition = nCondition;
        m_pFrame->UpdateCommandUI();
        QCOMPARE(m_pFrame->Action(ID_FAILURES)->isEnabled(), nCondition == 0 || nCondition == 2);
    }
}

void CTestMainFrm::MenusRefreshAvailabilityBeforeTheyOpen() {
    CKalvorDoc* pDoc = m_pFrame->ActiveDocument();
    QVERIFY(!m_pFrame->Action(ID_EXPORT_PLOT)->isEnabled());
    pDoc->m_bValid = true;
    pDoc->m_buffer.m_nPlotType = kPlotCurve;
    QMenu* pTools = nullptr;
    for (QAction* pMenuAction : m_pFrame->menuBar()->actions())
        if (pMenuAction->isVisible() && pMenuAction->text() == "&Tools")
            pTools = pMenuAction->menu();
    QVERIFY(pTools);
    emit pTools->aboutToShow();
    QVERIFY(m_pFrame->Action(ID_EXPORT_PLOT)->isEnabled());
    QVERIFY(m_pFrame->Action(ID_DFT)->isEnabled());
}

void CTestMainFrm::SavedFromTheProgramAndOpenedAgain() {
    QTemporaryDir dir;
    const QString strPath = dir.filePath("drive.kalvor");
    CKalvorDoc* pDoc = m_pFrame->ActiveDocument();
    pDoc->m_params.m_control.m_dKp = 1.25;
    pDoc->m_params.m_failures.m_nFailD = {0, 2, 0, 0, 1, 0};
    pDoc->m_params.m_time.m_dBetaR = 90;
    pDoc->SetModifiedFlag();
    const CParamSet saved = pDoc->m_params;

    CModalScript script;
    script.ThenFile(strPath);
    m_pFrame->OnCommand(ID_FILE_SAVE_AS);
    QVERIFY(script.Done());
    QVERIFY(QFile::exists(strPath));
    QVERIFY(!pDoc->IsModified());
    QCOMPARE(m_pFrame->FramesOf(pDoc).front()->windowTitle(), QString("drive.kalvor"));
    QCOMPARE(m_pApp->RecentFiles().Files(), QStringList({strPath}));

    m_pFrame->OnCommand(ID_FILE_CLOSE);
    ProcessDeletes();
    QVERIFY(m_pFrame->Documents().empty());
    m_pFrame->OnCommand(ID_FILE_MRU_FILE1);
    QCOMPARE(m_pFrame->Documents().size(), std::size_t(1));
    QVERIFY(m_pFrame->ActiveDocument()->m_params == saved);
    QCOMPARE(m_pFrame->ActiveDocument()->Title(), QString("drive.kalvor"));
}

void CTestMainFrm::RecentFileListKeepsFourEntries() {
    QTemporaryDir dir;
    QStringList paths;
    for (int i = 0; i < 5; ++i) {
        paths << dir.filePath(QString("drive%1").arg(i));
        QString strError;
        QVERIFY(m_pFrame->ActiveDocument()->OnSaveDocument(paths.back(), &strError));
    }
    const QStringList expected = {paths[4], paths[3], paths[2], paths[1]};
    QCOMPARE(m_pApp->RecentFiles().Files(), expected);

    QStringList shown;
    for (int i = 0; i < 4; ++i) {
        QAction* pEntry = nullptr;
        for (QAction* pAction : m_pFrame->actions())
            if (pAction->data().toInt() == ID_FILE_MRU_FILE1 + i)
                pEntry = pAction;
        if (!pEntry) {
            for (QAction* pMenuAction : m_pFrame->menuBar()->actions())
                for (QAction* pAction : pMenuAction->menu()->actions())
                    if (pAction->data().toInt() == ID_FILE_MRU_FILE1 + i)
                        pEntry = pAction;
        }
        QVERIFY(pEntry && pEntry->isVisible());
        shown << pEntry->text();
    }
    QCOMPARE(shown[0], "&1 " + QDir::toNativeSeparators(paths[4]));
    QCOMPARE(shown[3], "&4 " + QDir::toNativeSeparators(paths[1]));

    // The list outlives the program.
    CRecentFileList next;
    next.Load();
    QCOMPARE(next.Files(), expected);
}

void CTestMainFrm::RecentFileThatCannotBeOpenedIsDropped() {
    QTemporaryDir dir;
    m_pApp->RecentFiles().Add(dir.filePath("gone.kalvor"));
    CModalScript script;
    script.ThenMessage();
    m_pFrame->OnCommand(ID_FILE_MRU_FILE1);
    QVERIFY(script.Done());
    QVERIFY(m_pApp->RecentFiles().Files().isEmpty());
    QCOMPARE(m_pFrame->Documents().size(), std::size_t(1));
}

void CTestMainFrm::RefusedFileOpensNothing() {
    QTemporaryDir dir;
    const QString strPath = dir.filePath("bad.kalvor");
    QFile file(strPath);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("{\"motor\": {\"NhInd\": 4}}");
    file.close();

    CModalScript script;
    script.ThenMessage();
    QVERIFY(!m_pFrame->OpenDocumentFile(strPath));
    QVERIFY(script.Done());
    QVERIFY2(script.m_messages[0].contains("NhInd"), qPrintable(script.m_messages[0]));
    QCOMPARE(m_pFrame->Documents().size(), std::size_t(1));
    QVERIFY(m_pApp->RecentFiles().Files().isEmpty());
}

void CTestMainFrm::OpeningAnOpenFileActivatesIt() {
    QTemporaryDir dir;
    const QString strPath = dir.filePath("drive.kalvor");
    QVERIFY(WriteParamFile(strPath.toStdString(), CParamSet{}).Ok());
    CKalvorDoc* pOpened = m_pFrame->OpenDocumentFile(strPath);
    QVERIFY(pOpened);
    m_pFrame->OnFileNew();
    QCOMPARE(m_pFrame->OpenDocumentFile(strPath), pOpened);
    QCOMPARE(m_pFrame->Documents().size(), std::size_t(3));
    QCOMPARE(m_pFrame->ActiveDocument(), pOpened);
}

void CTestMainFrm::ClosingAModifiedDocumentAsks() {
    CKalvorDoc* pDoc = m_pFrame->ActiveDocument();
    pDoc->SetModifiedFlag();
    {
        CModalScript script;
        script.ThenMessage(QMessageBox::Cancel);
        m_pFrame->OnCommand(ID_FILE_CLOSE);
        QVERIFY(script.Done());
        QCOMPARE(script.m_messages, QStringList({"Kalvor|Save changes to Kalvo1?"}));
    }
    ProcessDeletes();
    QCOMPARE(m_pFrame->Documents().size(), std::size_t(1));
    {
        // Closing its window asks the same.
        CModalScript script;
        script.ThenMessage(QMessageBox::No);
        m_pFrame->FramesOf(pDoc).front()->close();
        QVERIFY(script.Done());
        QVERIFY(script.m_unexpected.isEmpty());
    }
    ProcessDeletes();
    QVERIFY(m_pFrame->Documents().empty());
}

void CTestMainFrm::NewWindowShowsTheSameDocument() {
    CKalvorDoc* pDoc = m_pFrame->ActiveDocument();
    m_pFrame->OnCommand(ID_WINDOW_NEW);
    std::vector<CChildFrame*> frames = m_pFrame->FramesOf(pDoc);
    QCOMPARE(frames.size(), std::size_t(2));
    QCOMPARE(frames[0]->windowTitle(), QString("Kalvo1:1"));
    QCOMPARE(frames[1]->windowTitle(), QString("Kalvo1:2"));
    QCOMPARE(m_pFrame->Documents().size(), std::size_t(1));

    // Closing one of two windows closes no document and asks nothing.
    pDoc->SetModifiedFlag();
    CModalScript script;
    frames[0]->close();
    ProcessDeletes();
    QVERIFY(script.m_unexpected.isEmpty());
    frames = m_pFrame->FramesOf(pDoc);
    QCOMPARE(frames.size(), std::size_t(1));
    QCOMPARE(frames[0]->windowTitle(), QString("Kalvo1"));
}

void CTestMainFrm::ClosingTheProgramAsksForModifiedDocuments() {
    m_pFrame->ActiveDocument()->SetModifiedFlag();
    {
        CModalScript script;
        script.ThenMessage(QMessageBox::Cancel);
        m_pFrame->OnCommand(ID_APP_EXIT);
        QVERIFY(script.Done());
    }
    QVERIFY(m_pFrame->isVisible());
    {
        CModalScript script;
        script.ThenMessage(QMessageBox::No);
        m_pFrame->OnCommand(ID_APP_EXIT);
        QVERIFY(script.Done());
        QVERIFY(script.m_unexpected.isEmpty());
    }
    QVERIFY(!m_pFrame->isVisible());
}

void CTestMainFrm::AboutBoxAndToolbarToggle() {
    QString strTitle;
    CModalScript script;
    script.Then<QDialog>([&](QDialog* p) {
        strTitle = p->windowTitle();
        p->accept();
    });
    m_pFrame->OnCommand(ID_APP_ABOUT);
    QVERIFY(script.Done());
    QCOMPARE(strTitle, QString("About Kalvor"));

    QVERIFY(m_pFrame->Action(ID_VIEW_TOOLBAR)->isChecked());
    m_pFrame->OnCommand(ID_VIEW_TOOLBAR);
    QVERIFY(m_pFrame->ToolBar()->isHidden());
    QVERIFY(!m_pFrame->Action(ID_VIEW_TOOLBAR)->isChecked());
    m_pFrame->OnCommand(ID_VIEW_STATUS_BAR);
    QVERIFY(m_pFrame->statusBar()->isHidden());
    QVERIFY(!m_pFrame->Action(ID_VIEW_STATUS_BAR)->isChecked());
}

void CTestMainFrm::MessageHooksShowMessageBoxes() {
    // Start-up installed it; take it back to see what it does.
    const VarnekMessageHook solverHook = VarnekSetMessageHook(nullptr);
    const VarnekMessageHook defaultSolver = VarnekSetMessageHook(nullptr);
    QVERIFY(solverHook != defaultSolver);

    CModalScript script;
    script.ThenMessage();
    solverHook("Varnek solver");
    QVERIFY(script.Done());
    QCOMPARE(script.m_messages, QStringList({"Kalvor|Varnek solver"}));
    InstallMessageHooks();
}

QTEST_MAIN(CTestMainFrm)
#include "tst_MainFrm.moc"
