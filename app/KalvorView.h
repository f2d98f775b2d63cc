#pragma once

#include <QPoint>
#include <QWidget>

class CKalvorDoc;
class QPaintDevice;
class QPainter;
class QPrinter;

/// The view of a document: draws the plot buffer or a model picture with the document's
/// renderer, and keeps the two mouse points of the range selection.
class CKalvorView : public QWidget {
    Q_OBJECT
public:
    explicit CKalvorView(CKalvorDoc& doc, QWidget* pParent = nullptr);

    CKalvorDoc& GetDocument() const { return m_doc; }

    /// Draws the document into rect (one logical unit per pixel): the picture, then the curve
    /// with the selection markers or the spectrum. The screen, the printer and the preview all
    /// come here. A curve reports its plot area and the selection back to the document.
    void Draw(QPainter& painter, const QRect& rect);

    /// File / "Print...": the print dialog, then one page.
    void OnFilePrint(QPrinter& printer);
    /// Prints one page on printer without asking.
    void OnFilePrintDirect(QPrinter& printer);
    /// File / "Print Preview".
    void OnFilePrintPreview(QPrinter& printer);
    /// Draws the view-sized drawing on one page of pPrinter (the preview's too).
    void PrintPage(QPrinter* pPrinter);
    /// Draws the view-sized drawing on device, scaled to its width (or its height, when that is
    /// the tighter one) keeping the proportions, at its top left.
    void DrawScaled(QPaintDevice& device);

    QPoint m_ptLeft{-1, 0};     ///< left-button point [client pixels]
    QPoint m_ptRight{10000, 0}; ///< right-button point [client pixels]

protected:
    void paintEvent(QPaintEvent* pEvent) override;
    void mousePressEvent(QMouseEvent* pEvent) override;
    void mouseDoubleClickEvent(QMouseEvent* pEvent) override;

private:
    void DrawDocument(QPainter& painter, const QRect& rect);
    void OnUpdate();

    CKalvorDoc& m_doc; ///< outlives the view: the main frame deletes it after its last view
};
