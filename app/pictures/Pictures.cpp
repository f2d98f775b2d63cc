#include "pictures/Pictures.h"

#include "ResultColumns.h"
#include "pictures/CircuitPicture.h"
#include "pictures/MachinePicture.h"

#include <QPainter>

#include <algorithm>

namespace {

const QColor kPaper(255, 255, 255);
const QColor kFrame(170, 170, 170);
const QColor kInk(25, 25, 25);
const QColor kHeader(232, 236, 244);

/// The names of the conditions of work, as the control dialog numbers them.
const char* const kConditionNames[4] = {
    "1 - Motor supplied by inverter",
    "2 - Motor supplied by 3 phase voltage",
    "3 - Generator supplying recifier with RC load",
    "4 - Generator supplying 3 phase R load",
};

QFont PictureFont(int pixels, bool bold = false) {
    QFont font("DejaVu Sans");
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(pixels);
    font.setBold(bold);
    return font;
}

/// Paper and frame of a picture; everything of a picture is drawn inside them.
void BeginPicture(QPainter& dc, const QSize& size) {
    dc.setClipRect(QRect(QPoint(0, 0), size), Qt::IntersectClip);
    dc.fillRect(QRect(QPoint(0, 0), size), kPaper);
    dc.setPen(QPen(kFrame, 1));
    dc.setBrush(Qt::NoBrush);
    dc.drawRect(QRect(0, 0, size.width() - 1, size.height() - 1));
}

} // namespace

QSize CPictures::Size(int kind) {
    switch (kind) {
    case 1:
        return {652, 652};
    case 2:
        return {627, 252};
    case 3:
        return {898, 535};
    case 4:
        return {997, 561};
    default:
        return {};
    }
}

void CPictures::Draw(QPainter& dc, int kind) {
    const QSize size = Size(kind);
    if (size.isEmpty())
        return;
    dc.save();
    dc.setRenderHint(QPainter::Antialiasing, true);
    dc.setRenderHint(QPainter::TextAntialiasing, true);
    BeginPicture(dc, size);
    switch (kind) {
    case 1:
        CMachinePicture(dc).DrawCrossSection(size);
        break;
    case 2:
        CMachinePicture(dc).DrawPerspective(size);
        break;
    case 3:
        DrawCircuitModel(dc, size);
        break;
    default:
        DrawExportTable(dc, size);
        break;
    }
    dc.restore();
}

void CPictures::DrawFitted(QPainter& dc, const QRect& rect, int kind) {
    const QSize size = Size(kind);
    if (size.isEmpty())
        return;
    dc.save();
    dc.setClipRect(rect, Qt::IntersectClip);
    dc.translate(rect.topLeft() + QPoint(10, 10));
    // Too large for the area: scaled down, proportions kept, inside a 10-pixel border.
    if (size.width() + 10 > rect.width() || size.height() + 10 > rect.height()) {
        const double scale = std::min(double(rect.width() - 20) / size.width(),
                                      double(rect.height() - 20) / size.height());
        if (scale > 0)
            dc.scale(scale, scale);
    }
    Draw(dc, kind);
    dc.restore();
}

QSize CPictures::CircuitSize(int condition) {
    switch (condition) {
    case 0:
        return {573, 305};
    case 1:
        return {577, 305};
    case 2:
        return {573, 306};
    case 3:
        return {577, 306};
    default:
        return {};
    }
}

void CPictures::DrawCircuit(QPainter& dc, int condition) {
    const QSize size = CircuitSize(condition);
    if (size.isEmpty())
        return;
    dc.save();
    BeginPicture(dc, size);
    CCircuitPicture(dc).Draw(condition);
    dc.restore();
}

void CPictures::DrawCircuitModel(QPainter& dc, const QSize& size) {
    // Four numbered panels, one per condition of work, each with its circuit scaled down.
    const double panelW = size.width() / 2.0, panelH = size.height() / 2.0, title = 24;
    for (int condition = 0; condition < 4; ++condition) {
        const QRectF panel((condition % 2) * panelW, (condition / 2) * panelH, panelW, panelH);
        dc.setPen(QPen(kFrame, 1));
        dc.setBrush(Qt::NoBrush);
        dc.drawRect(panel.adjusted(4, 4, -4, -4));
        dc.setPen(kInk);
        dc.setFont(PictureFont(14, true));
        dc.drawText(panel.adjusted(12, 7, -12, 0), Qt::AlignLeft | Qt::AlignTop,
                    kConditionNames[condition]);
        const QSize circuit = CircuitSize(condition);
        const double scale =
            std::min((panelW - 12) / circuit.width(), (panelH - title - 8) / circuit.height());
        dc.save();
        dc.translate(panel.left() + (panelW - scale * circuit.width()) / 2,
                     panel.top() + title + 2);
        dc.scale(scale, scale);
        CCircuitPicture(dc).Draw(condition);
        dc.restore();
    }
}

void CPictures::DrawExportTable(QPainter& dc, const QSize& size) {
    // Three blocks of twelve rows, each pairing a column number with its quantity and unit.
    constexpr int kBlocks = 3;
    constexpr int kRows = kResultColumns / kBlocks;
    const double left = 24, top = 74, bottom = size.height() - 24.0;
    const double blockW = (size.width() - 2 * left) / kBlocks;
    const double rowH = (bottom - top) / (kRows + 1);
    const double numberW = 70;

    dc.setPen(kInk);
    dc.setFont(PictureFont(20, true));
    dc.drawText(QRectF(left, 12, size.width() - 2 * left, 28), Qt::AlignLeft | Qt::AlignVCenter,
                "Results export table order");
    dc.setFont(PictureFont(13));
    dc.drawText(QRectF(left, 40, size.width() - 2 * left, 24), Qt::AlignLeft | Qt::AlignVCenter,
                QString("One line per output point: %1 numbers in this order, each \"%.6f\" "
                        "followed by one space.")
                    .arg(kResultColumns));

    for (int block = 0; block < kBlocks; ++block) {
        const double x = left + block * blockW + (block > 0 ? 8 : 0);
        const double w = blockW - 8;
        dc.fillRect(QRectF(x, top, w, rowH), kHeader);
        dc.setFont(PictureFont(14, true));
        dc.drawText(QRectF(x, top, numberW, rowH), Qt::AlignCenter, "Column");
        dc.drawText(QRectF(x + numberW + 12, top, w - numberW - 12, rowH),
                    Qt::AlignLeft | Qt::AlignVCenter, "Quantity [unit]");
        dc.setFont(PictureFont(15));
        for (int row = 0; row < kRows; ++row) {
            const int column = block * kRows + row;
            const double y = top + (row + 1) * rowH;
            dc.drawText(QRectF(x, y, numberW, rowH), Qt::AlignCenter, QString::number(column));
            dc.drawText(QRectF(x + numberW + 12, y, w - numberW - 12, rowH),
                        Qt::AlignLeft | Qt::AlignVCenter,
                        QString::fromUtf8(kResultLabels[column].data(),
                                          static_cast<qsizetype>(kResultLabels[column].size())));
        }
        dc.setPen(QPen(kFrame, 1));
        dc.setBrush(Qt::NoBrush);
        for (int row = 0; row <= kRows + 1; ++row)
            dc.drawLine(QPointF(x, top + row * rowH), QPointF(x + w, top + row * rowH));
        dc.drawLine(QPointF(x, top), QPointF(x, bottom));
        dc.drawLine(QPointF(x + numberW, top), QPointF(x + numberW, bottom));
        dc.drawLine(QPointF(x + w, top), QPointF(x + w, bottom));
        dc.setPen(kInk);
    }
}
