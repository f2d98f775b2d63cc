#include "shell/ChildFrm.h"

#include "document/KalvorDoc.h"
#include "document/KalvorView.h"

#include <QCloseEvent>
#include <QMdiArea>

CChildFrame::CChildFrame(CKalvorDoc& doc, QWidget* pParent) : QMdiSubWindow(pParent) {
    setAttribute(Qt::WA_DeleteOnClose);
    m_pView = new CKalvorView(doc, this);
    setWidget(m_pView);
}

CKalvorDoc& CChildFrame::Document() const {
    return m_pView->GetDocument();
}

bool CChildFrame::IsLastFrameOfDocument() const {
    if (!mdiArea())
        return true;
    for (QMdiSubWindow* pWindow : mdiArea()->subWindowList()) {
        auto* pFrame = qobject_cast<CChildFrame*>(pWindow);
        if (pFrame && pFrame != this && &pFrame->Document() == &Document())
            return false;
    }
    return true;
}

void CChildFrame::closeEvent(QCloseEvent* pEvent) {
    if (m_bAskToSave && IsLastFrameOfDocument() && !Document().SaveModified(this)) {
        pEvent->ignore();
        return;
    }
    QMdiSubWindow::closeEvent(pEvent);
}
