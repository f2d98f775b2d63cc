// The view's drawing as an image: PNG and SVG files and the clipboard.
#include "document/KalvorView.h"

#include "AtomicFile.h"
#include "document/KalvorDoc.h"

#include <QBuffer>
#include <QClipboard>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgGenerator>

#include <string_view>

void CKalvorView::DrawDetached(QPaintDevice& device, const QSize& size) {
    // What the screen drawing left (plot area, markers, the document's selection fields) is
    // what the mouse and the DFT work with: it comes back after this drawing.
    const CPlotAxes axes = m_axes;
    const QRect legend = m_rcLegend;
    const QPoint left = m_ptLeft, right = m_ptRight;
    const int selStart = m_doc.m_nSelStart, selEnd = m_doc.m_nSelEnd;
    const int plotLeft = m_doc.m_nPlotLeft, plotRight = m_doc.m_nPlotRight;
    const CPlotAxes shared = m_doc.m_plot.m_axes;
    const int sharedLeft = m_doc.m_plot.m_nLeft, sharedRight = m_doc.m_plot.m_nRight;
    {
        QPainter painter(&device);
        const QRect area(QPoint(0, 0), size);
        painter.fillRect(area, Qt::white);
        Draw(painter, area);
    }
    m_axes = axes;
    m_rcLegend = legend;
    m_ptLeft = left;
    m_ptRight = right;
    m_doc.m_nSelStart = selStart;
    m_doc.m_nSelEnd = selEnd;
    m_doc.m_nPlotLeft = plotLeft;
    m_doc.m_nPlotRight = plotRight;
    m_doc.m_plot.m_axes = shared;
    m_doc.m_plot.m_nLeft = sharedLeft;
    m_doc.m_plot.m_nRight = sharedRight;
}

QImage CKalvorView::Image(const QSize& size) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::white);
    DrawDetached(image, size);
    return image;
}

QByteArray CKalvorView::Svg(const QSize& size) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QSvgGenerator generator;
    generator.setOutputDevice(&buffer);
    generator.setSize(size);
    generator.setViewBox(QRect(QPoint(0, 0), size));
    generator.setTitle(m_doc.Title());
    generator.setDescription(QStringLiteral("Kalvor plot"));
    DrawDetached(generator, size);
    return bytes;
}

QString CKalvorView::WriteImage(const QString& strPath, const QSize& size, bool bSvg) {
    QByteArray bytes;
    if (bSvg) {
        bytes = Svg(size);
    } else {
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        if (!Image(size).save(&buffer, "PNG"))
            return QStringLiteral("%1: the PNG image could not be made.").arg(strPath);
    }
    const CStatus written =
        CAtomicFile::WriteText(QFile::encodeName(strPath).toStdString(),
                               std::string_view(bytes.constData(), std::size_t(bytes.size())));
    return written.Ok() ? QString() : QString::fromStdString(written.m_strMessage);
}

void CKalvorView::OnEditCopy() {
    QGuiApplication::clipboard()->setImage(Image(size()));
}
