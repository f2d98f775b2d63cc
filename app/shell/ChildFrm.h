#pragma once

#include <QMdiSubWindow>

class CKalvorDoc;
class CKalvorView;

/// A window of the multiple-document area hosting one view of a document.
class CChildFrame : public QMdiSubWindow {
    Q_OBJECT
public:
    explicit CChildFrame(CKalvorDoc& doc, QWidget* pParent = nullptr);

    CKalvorView* View() const { return m_pView; }
    CKalvorDoc& Document() const;

    /// false while the whole document is being closed: its save question was already asked.
    bool m_bAskToSave = true;

protected:
    /// Closing the last window of a modified document asks whether to save it first.
    void closeEvent(QCloseEvent* pEvent) override;

private:
    bool IsLastFrameOfDocument() const;

    CKalvorView* m_pView; ///< owned as the frame's widget
};
