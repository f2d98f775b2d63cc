#include "document/KalvorView.h"

#include "document/KalvorDoc.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

constexpr double kNone = std::numeric_limits<double>::quiet_NaN();

QString Number(double v) {
    return QString::number(v, 'g', 6);
}

/// "Ia [A]" -> ("Ia", "A"); a label without brackets has no unit.
/// "Ia [A] · Kalvo2" -> ("Ia · Kalvo2", "A"): the unit in brackets, the rest as the name.
std::pair<QString, QString> SplitLabel(const QString& strLabel) {
    const qsizetype open = strLabel.lastIndexOf('[');
    const qsizetype close = strLabel.indexOf(']', open);
    if (open < 0 || close < 0)
        return {strLabel.trimmed(), QString()};
    const QString name = strLabel.left(open).trimmed() + ' ' + strLabel.mid(close + 1).trimmed();
    return {name.trimmed(), strLabel.mid(open + 1, close - open - 1)};
}

QString WithUnit(double v, const QString& strUnit) {
    return strUnit.isEmpty() ? Number(v) : Number(v) + ' ' + strUnit;
}

/// Index of the sample nearest to x: bisection when x never decreases, else a search.
std::size_t Nearest(const double* xs, std::size_t n, double x) {
    bool ascending = true;
    for (std::size_t i = 1; i < n && ascending; i += std::max<std::size_t>(1, n / 64))
        ascending = xs[i] >= xs[i - 1];
    if (ascending && std::is_sorted(xs, xs + n)) {
        const std::size_t i = std::size_t(std::lower_bound(xs, xs + n, x) - xs);
        if (i == 0)
            return 0;
        if (i >= n)
            return n - 1;
        return x - xs[i - 1] <= xs[i] - x ? i - 1 : i;
    }
    std::size_t best = 0;
    for (std::size_t i = 1; i < n; ++i)
        if (std::fabs(xs[i] - x) < std::fabs(xs[best] - x))
            best = i;
    return best;
}

} // namespace

CKalvorView::CKalvorView(CKalvorDoc& doc, QWidget* pParent)
    : QWidget(pParent), m_doc(doc), m_dShareLeft(kNone), m_dShareRight(kNone) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMinimumSize(200, 150);
    setMouseTracking(true);
    connect(&m_doc, &CKalvorDoc::UpdateAllViews, this, &CKalvorView::OnUpdate);
}

void CKalvorView::Draw(QPainter& painter, const QRect& rect) {
    painter.save();
    DrawDocument(painter, rect);
    painter.restore();
}

void CKalvorView::SetScaleOptions(bool bRoundScale, bool bGrid, bool bSpectrumDb) {
    m_bRoundScale = bRoundScale;
    m_bGrid = bGrid;
    m_bSpectrumDb = bSpectrumDb;
    update();
}

void CKalvorView::DrawDocument(QPainter& painter, const QRect& rect) {
    // The renderer is shared by the document's views; each draws with its own choice.
    m_doc.m_plot.m_bRoundScale = m_bRoundScale;
    m_doc.m_plot.m_bGrid = m_bGrid;
    m_doc.m_plot.m_bSpectrumDb = m_bSpectrumDb;
    m_doc.m_plot.m_bLegendShare = m_bLegendMoved;
    m_doc.m_plot.m_ptLegendShare = m_ptLegendShare;
    m_rcLegend = QRect();
    m_doc.m_buffer.ApplyTo(m_doc.m_plot);
    if (m_doc.m_nPicture >= 1 && m_doc.m_nPicture <= 4)
        m_doc.m_plot.DrawPicture(painter, rect, m_doc.m_nPicture);
    if (!m_doc.m_bValid)
        return;
    // A plot of other x values starts unzoomed.
    if (m_nAxisSerial != m_doc.m_nAxisSerial) {
        m_nAxisSerial = m_doc.m_nAxisSerial;
        m_zoom.Reset();
    }
    if (m_doc.m_buffer.IsCurve() || m_doc.m_buffer.IsSpectrum())
        DrawZoomed(painter, rect);
    if (m_doc.m_buffer.IsCurve())
        DrawSelection(painter, rect);
}

void CKalvorView::DrawPlot(QPainter& painter, const QRect& rect) {
    CPlotPrint& plot = m_doc.m_plot;
    const CPlotBuffer& buffer = m_doc.m_buffer;
    if (buffer.IsCurve())
        plot.DrawCurves(painter, rect, buffer.m_pPlotX.data(), m_doc.Curves(), buffer.m_nPlotCount,
                        m_zoom);
    else
        plot.DrawSpectrum(painter, rect, buffer.m_pPlotX.data(), buffer.m_pPlotY.data(),
                          buffer.m_nPlotCount, m_zoom);
    // The renderer is the document's, shared by its views: this view keeps what it drew.
    m_axes = plot.m_axes;
    m_rcLegend = plot.LegendRect();
}

void CKalvorView::MoveLegend(const QPoint& pt) {
    const CPlotAxes& axes = m_axes;
    if (m_rcLegend.isEmpty() || !axes.IsUsable())
        return;
    // As PlaceLegend's inverse: shares of the room left inside the plot area's border.
    const double roomX = std::max(1, axes.m_nWidth - 2 - m_rcLegend.width());
    const double roomY = std::max(1, axes.m_nHeight - 2 - m_rcLegend.height());
    m_ptLegendShare = QPointF(std::clamp((pt.x() - axes.m_nLeft - 1) / roomX, 0.0, 1.0),
                              std::clamp((pt.y() - axes.m_nTop - 1) / roomY, 0.0, 1.0));
    m_bLegendMoved = true;
    update();
}

void CKalvorView::DrawZoomed(QPainter& painter, const QRect& rect) {
    DrawPlot(painter, rect);
    // The numbers of a new zoom may be wider or narrower and move the plot area: the x that
    // was under the pointer is put back under it, and the plot drawn again.
    if (m_bAnchor && painter.device() == this) {
        m_bAnchor = false;
        const double drift = m_axes.XAt(m_dAnchorPx) - m_dAnchorX;
        if (m_zoom.m_bX && m_axes.IsUsable() && std::fabs(drift) > 1e-12 * m_axes.m_dHomeXr) {
            m_zoom.PanX(m_axes.m_dXMin, m_axes.m_dXMin + m_axes.m_dXr, -drift, m_axes.m_dHomeXMin,
                        m_axes.m_dHomeXMin + m_axes.m_dHomeXr);
            painter.fillRect(rect, Qt::white);
            DrawPlot(painter, rect);
        }
    }
}

void CKalvorView::DrawSelection(QPainter& painter, const QRect& rect) {
    CPlotPrint& plot = m_doc.m_plot;
    PlaceMarker(m_dShareLeft, m_ptLeft);
    PlaceMarker(m_dShareRight, m_ptRight);
    plot.DrawSelection(painter, rect, m_ptLeft.x(), m_ptLeft.y(), m_ptRight.x(), m_ptRight.y(),
                       HasSelection());
    ReportSelection();
}

void CKalvorView::PlaceMarker(double dShare, QPoint& pt) const {
    const CPlotAxes& axes = m_axes;
    if (std::isnan(dShare) || !axes.IsUsable())
        return;
    const double px = axes.PxOf(axes.AtHomeShare(dShare));
    pt.setX(int(std::clamp(std::round(px), -1e6, 1e6)));
}

void CKalvorView::ReportSelection() {
    const CPlotAxes& axes = m_axes;
    const int nLeft = axes.m_nLeft, nRight = axes.m_nLeft + axes.m_nWidth;
    // Unzoomed, whole pixels as the mouse gave them; zoomed, finer parts of the unzoomed
    // plot's pixels, so that the samples do not depend on the zoom.
    const int k = m_zoom.m_bX ? kSubPixels : 1;
    // Far outside the plot, a marker only needs to stay outside.
    auto report = [&](double dShare, int px) -> int {
        const double v = std::isnan(dShare) || !axes.IsUsable()
                             ? double(px) * k
                             : (nLeft + dShare * (nRight - nLeft)) * k;
        return int(std::lround(std::clamp(v, -1e9, 1e9)));
    };
    m_doc.m_nPlotLeft = nLeft * k;
    m_doc.m_nPlotRight = nRight * k;
    m_doc.m_nSelStart = report(m_dShareLeft, m_ptLeft.x());
    m_doc.m_nSelEnd = report(m_dShareRight, m_ptRight.x());
}

double CKalvorView::ShareAt(int px) const {
    const CPlotAxes& axes = m_axes;
    if (!ShowsCurves() || !axes.IsUsable())
        return kNone;
    // Unzoomed this is (px - L) / PW, so the pixel comes back exactly.
    return axes.HomeShare(axes.XAt(px));
}

bool CKalvorView::ShowsCurves() const {
    return m_doc.m_bValid && m_doc.m_buffer.IsCurve();
}

bool CKalvorView::CanZoom() const {
    return m_doc.m_bValid && (m_doc.m_buffer.IsCurve() || m_doc.m_buffer.IsSpectrum());
}

bool CKalvorView::HasSelection() const {
    return ShowsCurves() && !std::isnan(m_dShareLeft) && !std::isnan(m_dShareRight);
}

void CKalvorView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), Qt::white);
    Draw(painter, rect());
}

void CKalvorView::mousePressEvent(QMouseEvent* pEvent) {
    const QPoint pos = pEvent->position().toPoint();
    if (pEvent->button() == Qt::LeftButton && ShowsCurves() && m_rcLegend.contains(pos)) {
        m_bDragging = true;
        m_ptGrab = pos - m_rcLegend.topLeft();
        return;
    }
    if (pEvent->button() == Qt::LeftButton) {
        m_ptLeft = pos;
        m_dShareLeft = ShareAt(pos.x());
    } else if (pEvent->button() == Qt::RightButton) {
        m_ptRight = pos;
        m_dShareRight = ShareAt(pos.x());
    } else if (pEvent->button() == Qt::MiddleButton && CanZoom()) {
        m_bPanning = true;
        m_ptPan = pos;
        return;
    } else {
        return QWidget::mousePressEvent(pEvent);
    }
    emit StatusText(Readout(pos));
    update();
}

void CKalvorView::mouseMoveEvent(QMouseEvent* pEvent) {
    const QPoint pos = pEvent->position().toPoint();
    const CPlotAxes& axes = m_axes;
    if (m_bDragging && (pEvent->buttons() & Qt::LeftButton)) {
        MoveLegend(pos - m_ptGrab);
        return;
    }
    if (ShowsCurves() && m_rcLegend.contains(pos))
        setCursor(Qt::SizeAllCursor);
    else
        unsetCursor();
    if (m_bPanning && (pEvent->buttons() & Qt::MiddleButton) && axes.IsUsable()) {
        const QPoint d = pos - m_ptPan;
        m_ptPan = pos;
        const double dx = -d.x() * axes.m_dXr / axes.m_nWidth;
        const double homeHi = axes.m_dHomeXMin + axes.m_dHomeXr;
        if (m_zoom.m_bX)
            m_zoom.PanX(axes.m_dXMin, axes.m_dXMin + axes.m_dXr, dx, axes.m_dHomeXMin, homeHi);
        if (m_zoom.m_bY && ShowsCurves())
            m_zoom.PanY(axes.m_dYMin, axes.m_dYMin + axes.m_dYr,
                        d.y() * axes.m_dYr / axes.m_nHeight);
        update();
    }
    emit StatusText(Readout(pos));
}

void CKalvorView::mouseReleaseEvent(QMouseEvent* pEvent) {
    if (pEvent->button() == Qt::MiddleButton)
        m_bPanning = false;
    if (pEvent->button() == Qt::LeftButton)
        m_bDragging = false;
    QWidget::mouseReleaseEvent(pEvent);
}

void CKalvorView::mouseDoubleClickEvent(QMouseEvent* pEvent) {
    if (pEvent->button() != Qt::LeftButton)
        return QWidget::mouseDoubleClickEvent(pEvent);
    if (m_rcLegend.contains(pEvent->position().toPoint())) {
        m_bLegendMoved = false;
        update();
        return;
    }
    m_ptLeft = QPoint(-1, -1);
    m_ptRight = QPoint(width() + 1, height() + 1);
    m_dShareLeft = m_dShareRight = kNone;
    emit StatusText(QString());
    update();
}

void CKalvorView::wheelEvent(QWheelEvent* pEvent) {
    const CPlotAxes& axes = m_axes;
    const double notches = pEvent->angleDelta().y() / 120.0;
    if (!CanZoom() || !axes.IsUsable() || notches == 0)
        return QWidget::wheelEvent(pEvent);
    const double factor = std::pow(kWheelFactor, notches);
    const QPointF pos = pEvent->position();
    if (pEvent->modifiers() & Qt::ControlModifier) {
        // A spectrum's magnitudes always start at 0 (or the floor in dB).
        if (!ShowsCurves())
            return QWidget::wheelEvent(pEvent);
        const double py = std::clamp(pos.y(), double(axes.m_nTop), double(axes.m_nBottom));
        m_zoom.ZoomY(axes.m_dYMin, axes.m_dYMin + axes.m_dYr, axes.YAt(py), factor,
                     axes.m_dHomeYMin, axes.m_dHomeYMin + axes.m_dHomeYr);
        update();
    } else {
        ZoomAt(pos.x(), factor);
    }
    pEvent->accept();
}

void CKalvorView::ZoomAt(double px, double factor) {
    const CPlotAxes& axes = m_axes;
    if (!CanZoom() || !axes.IsUsable())
        return;
    px = std::clamp(px, double(axes.m_nLeft), double(axes.m_nLeft + axes.m_nWidth));
    m_dAnchorPx = px;
    m_dAnchorX = axes.XAt(px);
    m_bAnchor = true;
    m_zoom.ZoomX(axes.m_dXMin, axes.m_dXMin + axes.m_dXr, m_dAnchorX, factor, axes.m_dHomeXMin,
                 axes.m_dHomeXMin + axes.m_dHomeXr);
    update();
}

void CKalvorView::leaveEvent(QEvent* pEvent) {
    emit StatusText(HasSelection() ? SelectionReadout() : QString());
    QWidget::leaveEvent(pEvent);
}

void CKalvorView::OnZoomToSelection() {
    const CPlotAxes& axes = m_axes;
    if (!HasSelection() || !axes.IsUsable())
        return;
    m_zoom.ShowX(axes.AtHomeShare(m_dShareLeft), axes.AtHomeShare(m_dShareRight), axes.m_dHomeXMin,
                 axes.m_dHomeXMin + axes.m_dHomeXr);
    update();
}

void CKalvorView::OnZoomOut() {
    m_zoom.Reset();
    update();
}

QString CKalvorView::Readout(const QPoint& pos) const {
    const CPlotAxes& axes = m_axes;
    if (!m_doc.m_bValid || !axes.IsUsable())
        return QString();
    const bool inside = pos.x() >= axes.m_nLeft && pos.x() <= axes.m_nLeft + axes.m_nWidth &&
                        pos.y() >= axes.m_nTop && pos.y() <= axes.m_nBottom;
    QString text;
    if (inside && m_doc.m_buffer.IsCurve())
        text = CurveReadout(pos);
    else if (inside && m_doc.m_buffer.IsSpectrum())
        text = SpectrumReadout(pos);
    if (HasSelection())
        text += (text.isEmpty() ? "" : "    ") + SelectionReadout();
    return text;
}

QString CKalvorView::CurveReadout(const QPoint& pos) const {
    const CPlotAxes& axes = m_axes;
    const auto [xName, xUnit] = SplitLabel(m_doc.m_buffer.m_strXLabel);
    const std::vector<CPlotPrint::SCurve> curves = m_doc.Curves();
    const QString yUnit = SplitLabel(curves.empty() ? QString() : curves[0].m_strLabel).second;
    const double x = axes.XAt(pos.x());
    QString text = QStringLiteral("%1 = %2   y = %3")
                       .arg(xName, WithUnit(x, xUnit), WithUnit(axes.YAt(pos.y()), yUnit));
    if (m_doc.m_buffer.m_nPlotCount == 0)
        return text;
    const std::size_t i = Nearest(m_doc.m_buffer.m_pPlotX.data(), m_doc.m_buffer.m_nPlotCount, x);
    text +=
        QStringLiteral("   at %1 = %2:").arg(xName, WithUnit(m_doc.m_buffer.m_pPlotX[i], xUnit));
    for (const CPlotPrint::SCurve& curve : curves) {
        const auto [name, unit] = SplitLabel(curve.m_strLabel);
        // A curve with samples of its own gives its sample nearest to the pointer's x.
        double value = curve.m_pY[i];
        if (curve.m_pX) {
            if (curve.m_nCount == 0)
                continue;
            value = curve.m_pY[Nearest(curve.m_pX, curve.m_nCount, x)];
        }
        text += QStringLiteral("  %1 = %2").arg(name, WithUnit(value, unit));
    }
    return text;
}

QString CKalvorView::SpectrumReadout(const QPoint& pos) const {
    const CPlotAxes& axes = m_axes;
    if (m_doc.m_buffer.m_nPlotCount == 0)
        return QString();
    // The nearest line: x holds the harmonic numbers 0, 1, 2, ...
    const double h = std::round(axes.XAt(pos.x()));
    const std::size_t i = Nearest(m_doc.m_buffer.m_pPlotX.data(), m_doc.m_buffer.m_nPlotCount, h);
    // Harmonic 0 is the mean of the samples, the others amplitudes.
    const double n = m_doc.m_buffer.m_pPlotX[i];
    const QString unit = SplitLabel(m_doc.m_buffer.m_strYLabel).second;
    QString text = QStringLiteral("n = %1   Mag = %2 (%3)")
                       .arg(Number(n), WithUnit(m_doc.m_buffer.m_pPlotY[i], unit),
                            n == 0 ? QStringLiteral("mean") : QStringLiteral("peak"));
    const double period = m_doc.m_dSpectrumPeriod;
    if (period > 0) {
        text += QStringLiteral(" at %1 Hz   fundamental 1/\u0394t = %2 Hz")
                    .arg(Number(m_doc.m_buffer.m_pPlotX[i] / period), Number(1 / period));
    }
    return text;
}

QString CKalvorView::SelectionReadout() const {
    const CPlotAxes& axes = m_axes;
    if (!axes.IsUsable())
        return QString();
    const auto [xName, xUnit] = SplitLabel(m_doc.m_buffer.m_strXLabel);
    const double a = axes.AtHomeShare(m_dShareLeft), b = axes.AtHomeShare(m_dShareRight);
    const double t1 = std::min(a, b), t2 = std::max(a, b), dt = t2 - t1;
    const QString inverse = xUnit == QStringLiteral("s") ? QStringLiteral("Hz")
                            : xUnit.isEmpty()            ? QString()
                                                         : "1/" + xUnit;
    return QStringLiteral("%1\u2081 = %2   %1\u2082 = %3   \u0394%1 = %4   1/\u0394%1 = %5")
        .arg(xName, WithUnit(t1, xUnit), WithUnit(t2, xUnit), WithUnit(dt, xUnit),
             dt > 0 ? WithUnit(1 / dt, inverse) : QStringLiteral("undefined"));
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
