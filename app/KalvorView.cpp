#include "KalvorView.h"

#include "KalvorDoc.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>

CKalvorView::CKalvorView(CKalvorDoc& doc, QWidget* pParent) : QWidget(pParent), m_doc(doc) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMinimumSize(200, 150);
    connect(&m_doc, &CKalvorDoc::UpdateAllViews, this, &CKalvorView::OnUpdate);
}

void CKalvorView::Draw(QPainter& painter, const QRect& rect) {
    painter.save();
    DrawDocument(painter, rect);
    painter.restore();
}

void CKalvorView::DrawDocument(QPainter& painter, const QRect& rect) {
    if (m_doc.m_nPicture >= 1 && m_doc.m_nPicture <= 4)
        m_doc.m_plot.DrawPicture(painter, rect, m_doc.m_nPicture);
    if (!m_doc.m_bValid)
        return;
    if (m_doc.m_nPlotType == 1) {
        m_doc.m_plot.DrawCurve(painter, rect, m_doc.m_pPlotX.data(), m_doc.m_pPlotY.data(),
                               m_doc.m_nPlotCount);
        const auto [nLeft, nRight] = m_doc.m_plot.DrawSelection(
            painter, rect, m_ptLeft.x(), m_ptLeft.y(), m_ptRight.x(), m_ptRight.y());
        m_doc.m_nPlotLeft = nLeft;
        m_doc.m_nPlotRight = nRight;
        m_doc.m_nSelStart = m_ptLeft.x();
        m_doc.m_nSelEnd = m_ptRight.x();
    } else if (m_doc.m_nPlotType == 20) {
        m_doc.m_plot.DrawSpectrum(painter, rect, m_doc.m_pPlotX.data(), m_doc.m_pPlotY.data(),
                                  m_doc.m_nPlotCount);
    }
}

void CKalvorView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), Qt::white);
    Draw(painter, rect());
}

void CKalvorView::mousePressEvent(QMouseEvent* pEvent) {
    if (pEvent->button() == Qt::LeftButton)
        m_ptLeft = pEvent->position().toPoint();
    else if (pEvent->button() == Qt::RightButton)
        m_ptRight = pEvent->position().toPoint();
    else
        return QWidget::mousePressEvent(pEvent);
    update();
}

void CKalvorView::mouseDoubleClickEvent(QMouseEvent* pEvent) {
    if (pEvent->button() != Qt::LeftButton)
        return QWidget::mouseDoubleClickEvent(pEvent);
    m_ptLeft = QPoint(-1, -1);
    m_ptRight = QPoint(width() + 1, height() + 1);
    update();
}

void CKalvorView::OnUpdate() {
    update();
}

void CKalvorView::OnFilePrint(QPrinter& printer) {
    QPrintDialog dialog(&printer, this);
    if (dialog.exec() == QDialog::Accepted)
        PrintPage(&printer);
}

void CKalvorView::OnFilePrintDirect(QPrinter& printer) {
    PrintPage(&printer);
}

void CKalvorView::OnFilePrintPreview(QPrinter& printer) {
    QPrintPreviewDialog dialog(&printer, this);
    connect(&dialog, &QPrintPreviewDialog::paintRequested, this, &CKalvorView::PrintPage);
    dialog.exec();
}

void CKalvorView::PrintPage(QPrinter* pPrinter) {
    DrawScaled(*pPrinter);
}

void CKalvorView::DrawScaled(QPaintDevice& device) {
    QPainter painter;
    if (!painter.begin(&device))
        return;
    // Printer pixels are tiny: a drawing at screen-pixel size would be a stamp in a corner.
    const QRect page = painter.viewport();
    const QRect client = rect();
    const double scale =
        std::min(double(page.width()) / client.width(), double(page.height()) / client.height());
    painter.scale(scale, scale);
    painter.setClipRect(client);
    painter.fillRect(client, Qt::white);
    Draw(painter, client);
    painter.end();
}
