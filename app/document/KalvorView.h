#pragma once

#include "plot/PlotAxes.h"
#include "plot/PlotZoom.h"

#include <QPoint>
#include <QWidget>

class CKalvorDoc;
class QImage;
class QPaintDevice;
class QPainter;
class QPrinter;

/// The view of a document: draws the plot buffer or a model picture with the document's
/// renderer, keeps the two mouse points of the range selection and its own zoom of a curve
/// plot, and reads values under the pointer into the status bar (StatusText).
///
/// Mouse: left and right button place the selection markers, a left double-click removes
/// them; the wheel zooms x around the pointer, Ctrl+wheel zooms y; dragging with the middle
/// button pans. A spectrum zooms and pans on its harmonic axis only. The legend of several
/// curves is dragged with the left button (where the view keeps it, whatever the size); a
/// left double-click on it puts it back where it hides least. The selection is kept as
/// shares of the unzoomed x range, so it stays on the same samples while zooming; the document
/// receives it in pixels of the unzoomed plot, in 1/kSubPixels of a pixel while zoomed.
class CKalvorView : public QWidget {
    Q_OBJECT
public:
    /// Fineness of the selection reported to the document while zoomed [parts of a pixel].
    static constexpr int kSubPixels = 4096;
    /// Zoom of one wheel notch.
    static constexpr double kWheelFactor = 1.25;

    explicit CKalvorView(CKalvorDoc& doc, QWidget* pParent = nullptr);

    CKalvorDoc& GetDocument() const { return m_doc; }

    /// Draws the document into rect (one logical unit per pixel): the picture, then the curves
    /// with the selection markers or the spectrum, as the view shows them (zoom included). The
    /// screen, the printer and the preview all come here. A curve plot reports its plot area
    /// and the selection back to the document.
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

    /// The drawing at size as Draw makes it on the screen (zoom and markers included) on white.
    /// The view's own plot area and selection stay as the screen drawing left them.
    QImage Image(const QSize& size);
    /// The same drawing as an SVG document (Qt's SVG generator).
    QByteArray Svg(const QSize& size);
    /// Writes Image or Svg of size to strPath through the atomic writer. Returns why it could
    /// not, naming the file; empty when it was written.
    QString WriteImage(const QString& strPath, const QSize& size, bool bSvg);
    /// Edit / "Copy": the drawing at the view's size to the clipboard as an image.
    void OnEditCopy();

    /// View / "Round scale", "Grid" and "Spectrum in dB": 1-2-5 scales for the unzoomed plot
    /// too, light lines at the ticks, spectrum magnitudes in dB. All off by default.
    void SetScaleOptions(bool bRoundScale, bool bGrid, bool bSpectrumDb = false);

    /// View / "Zoom to selection": x shows the marked range.
    void OnZoomToSelection();
    /// View / "Zoom out fully": the whole curve again.
    void OnZoomOut();
    /// Both selection markers are placed on a curve plot.
    bool HasSelection() const;
    /// A curve plot is shown.
    bool ShowsCurves() const;
    /// A curve plot or a spectrum is shown, so zoom commands apply.
    bool CanZoom() const;
    const CPlotZoom& Zoom() const { return m_zoom; }
    /// Plot area and ranges of this view's last drawing on the screen.
    const CPlotAxes& Axes() const { return m_axes; }
    /// The legend's box in this view's last drawing on the screen; empty without one.
    const QRect& LegendRect() const { return m_rcLegend; }
    /// The legend was moved by hand.
    bool IsLegendMoved() const { return m_bLegendMoved; }
    /// Zooms x by factor around pixel column px, as a wheel step there does.
    void ZoomAt(double px, double factor);

    QPoint m_ptLeft{-1, 0};     ///< left-button point [client pixels]
    QPoint m_ptRight{10000, 0}; ///< right-button point [client pixels]

signals:
    /// The readout of the pointer or the selection for the status bar; empty clears it.
    void StatusText(const QString& strText);

protected:
    void paintEvent(QPaintEvent* pEvent) override;
    void mousePressEvent(QMouseEvent* pEvent) override;
    void mouseMoveEvent(QMouseEvent* pEvent) override;
    void mouseReleaseEvent(QMouseEvent* pEvent) override;
    void mouseDoubleClickEvent(QMouseEvent* pEvent) override;
    void wheelEvent(QWheelEvent* pEvent) override;
    void leaveEvent(QEvent* pEvent) override;

private:
    void DrawDocument(QPainter& painter, const QRect& rect);
    /// Draws into a device of its own size without changing what the view keeps.
    void DrawDetached(QPaintDevice& device, const QSize& size);
    /// The curves or the spectrum as zoomed, keeping the x under the pointer of a wheel zoom.
    void DrawZoomed(QPainter& painter, const QRect& rect);
    void DrawPlot(QPainter& painter, const QRect& rect);
    /// Moves the legend's top left to pt, kept inside the plot area.
    void MoveLegend(const QPoint& pt);
    /// The selection markers over the curves, reported to the document.
    void DrawSelection(QPainter& painter, const QRect& rect);
    /// Places a marker's pixel x from its share of the home range.
    void PlaceMarker(double dShare, QPoint& pt) const;
    /// Tells the document the plot area and the selection of the drawing just made.
    void ReportSelection();
    /// Share of the home x range at pixel column px; NaN when no curve is shown.
    double ShareAt(int px) const;
    /// Readout of the pointer at pos, with the selection's when there is one.
    QString Readout(const QPoint& pos) const;
    QString CurveReadout(const QPoint& pos) const;
    QString SpectrumReadout(const QPoint& pos) const;
    QString SelectionReadout() const;
    void OnUpdate();

    CKalvorDoc& m_doc;       ///< outlives the view: the main frame deletes it after its last view
    CPlotZoom m_zoom;        ///< zoom of the curve plot, in data coordinates
    CPlotAxes m_axes;        ///< plot area and ranges of this view's last drawing
    int m_nAxisSerial = -1;  ///< the document's x-axis serial the zoom belongs to
    double m_dShareLeft;     ///< left-button point as a share of the home x range, or NaN
    double m_dShareRight;    ///< right-button point likewise
    bool m_bPanning = false; ///< the middle button drags the plot
    bool m_bAnchor = false;  ///< the next drawing keeps m_dAnchorX at pixel m_dAnchorPx
    double m_dAnchorX = 0;   ///< data x under the pointer at the last wheel zoom
    double m_dAnchorPx = 0;  ///< the pointer's pixel column then
    bool m_bRoundScale = false;  ///< round scales unzoomed too
    bool m_bGrid = false;        ///< grid lines at the ticks
    bool m_bSpectrumDb = false;  ///< spectrum magnitudes in dB
    QPoint m_ptPan;              ///< pointer at the last pan step [client pixels]
    QRect m_rcLegend;            ///< the legend's box in the last drawing
    bool m_bLegendMoved = false; ///< the legend stands at m_ptLegendShare, put there by hand
    QPointF m_ptLegendShare;     ///< its top left as shares of the room the plot area leaves it
    bool m_bDragging = false;    ///< the left button drags the legend
    QPoint m_ptGrab;             ///< the pointer's offset from the legend's top left
};
