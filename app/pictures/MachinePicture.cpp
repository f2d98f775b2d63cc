#include "pictures/MachinePicture.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

#include <cmath>
#include <numbers>

namespace {

const QColor kInk(25, 25, 25);
const QColor kIron(205, 208, 214);
const QColor kIronEdge(120, 124, 132);
const QColor kCore(176, 180, 188);
const QColor kShaft(96, 100, 108);
const QColor kNorth(214, 64, 52);
const QColor kSouth(52, 96, 200);
const QColor kPhase[3] = {QColor(222, 128, 0), QColor(0, 146, 140), QColor(146, 64, 186)};
const char* const kPhaseName[3] = {"a", "b", "c"};

constexpr double kStatorOuter = 205; ///< yoke radius of the cross-section
constexpr double kBore = 148;        ///< stator bore
constexpr double kSlotInner = 152;   ///< slot bottom, toward the air gap
constexpr double kSlotOuter = 190;   ///< slot top, toward the yoke
constexpr double kRotor = 140;       ///< rotor radius
constexpr double kMagnetInner = 112; ///< inner radius of the magnets
constexpr double kShaftRadius = 24;  ///< shaft radius
constexpr double kRotorAngle = 20;   ///< rotor position shown [deg]

double Rad(double degrees) {
    return degrees * std::numbers::pi / 180;
}

/// Point at angle a (degrees, counterclockwise from the x axis) and radius r; y grows down.
QPointF Polar(double a, double r) {
    return {r * std::cos(Rad(a)), -r * std::sin(Rad(a))};
}

int PhaseOfCoil(int coil) {
    return (coil / 3) % 3;
}

QFont Font(int pixels, bool bold = false) {
    QFont font("DejaVu Sans");
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(pixels);
    font.setBold(bold);
    return font;
}

/// Annulus sector between radii r1 < r2 and angles a1 < a2 (degrees).
QPainterPath Sector(double r1, double r2, double a1, double a2) {
    QPainterPath path;
    path.arcMoveTo(QRectF(-r2, -r2, 2 * r2, 2 * r2), a1);
    path.arcTo(QRectF(-r2, -r2, 2 * r2, 2 * r2), a1, a2 - a1);
    path.arcTo(QRectF(-r1, -r1, 2 * r1, 2 * r1), a2, a1 - a2);
    path.closeSubpath();
    return path;
}

void Text(QPainter& dc, const QPointF& at, const QString& text, int align) {
    const double w = 240, h = 30;
    QRectF box(at.x(), at.y(), 0, 0);
    if (align & Qt::AlignRight)
        box.setLeft(at.x() - w);
    else if (align & Qt::AlignHCenter)
        box.adjust(-w / 2, 0, w / 2, 0);
    else
        box.setRight(at.x() + w);
    if (align & Qt::AlignBottom)
        box.setTop(at.y() - h);
    else if (align & Qt::AlignVCenter)
        box.adjust(0, -h / 2, 0, h / 2);
    else
        box.setBottom(at.y() + h);
    dc.drawText(box, align, text);
}

void Arrow(QPainter& dc, const QPointF& tip, double angleDeg, double size) {
    // Filled head pointing along angleDeg (screen degrees, counterclockwise).
    const QPointF back = tip - Polar(angleDeg, size);
    const QPointF side = Polar(angleDeg + 90, size * 0.45);
    QPainterPath head;
    head.moveTo(tip);
    head.lineTo(back + side);
    head.lineTo(back - side);
    head.closeSubpath();
    dc.save();
    dc.setPen(Qt::NoPen);
    dc.setBrush(dc.pen().color());
    dc.setBrush(kInk);
    dc.drawPath(head);
    dc.restore();
}

} // namespace

CMachinePicture::CMachinePicture(QPainter& dc) : m_dc(dc) {}

double CMachinePicture::CoilAxis(int coil) {
    static const double axes[6] = {45, 345, 285, 225, 165, 105};
    return axes[(coil / 3) % 6];
}

double CMachinePicture::CoilSpan(int coil) {
    static const double spans[3] = {110, 90, 70};
    return spans[coil % 3];
}

void CMachinePicture::DrawCrossSection(const QSize& size) {
    const QPointF centre(size.width() / 2.0, size.height() / 2.0 + 4);
    m_dc.save();
    m_dc.translate(centre);

    // End connections of the coils outside the stator: neighbouring groups overlap by 50
    // degrees, so alternate groups take alternate bands of radii.
    for (int coil = 0; coil < 18; ++coil) {
        const int group = coil / 3;
        const double r = (group % 2 == 0 ? 222 : 266) + 14 * (2 - coil % 3);
        const double a = CoilAxis(coil), half = CoilSpan(coil) / 2;
        m_dc.setPen(QPen(kPhase[PhaseOfCoil(coil)], 2, Qt::SolidLine, Qt::FlatCap));
        m_dc.setBrush(Qt::NoBrush);
        m_dc.drawArc(QRectF(-r, -r, 2 * r, 2 * r), static_cast<int>((a - half) * 16),
                     static_cast<int>(2 * half * 16));
        for (double side : {a - half, a + half})
            m_dc.drawLine(Polar(side, kSlotOuter), Polar(side, r));
    }
    DrawSection(kStatorOuter, true);
    // Coil numbers on their end connections, at the coil axis.
    m_dc.setFont(Font(11, true));
    for (int coil = 0; coil < 18; ++coil) {
        const int group = coil / 3;
        const double r = (group % 2 == 0 ? 222 : 266) + 14 * (2 - coil % 3);
        // The three coils of a group share the axis: their numbers stand apart along it.
        const QPointF p = Polar(CoilAxis(coil) + 12.0 * (coil % 3 - 1), r);
        const QRectF box(p.x() - 9, p.y() - 7, 18, 14);
        m_dc.setPen(QPen(kPhase[PhaseOfCoil(coil)], 1));
        m_dc.setBrush(Qt::white);
        m_dc.drawRoundedRect(box, 4, 4);
        m_dc.setPen(kInk);
        m_dc.drawText(box, Qt::AlignCenter, QString::number(coil));
    }

    // Rotor angle, measured from the x axis to the axis of magnet 0.
    m_dc.setPen(QPen(kInk, 1, Qt::DashDotLine));
    m_dc.drawLine(QPointF(0, 0), Polar(0, 300));
    m_dc.setPen(QPen(kInk, 1.2));
    m_dc.setBrush(Qt::NoBrush);
    const double rb = 70;
    m_dc.drawArc(QRectF(-rb, -rb, 2 * rb, 2 * rb), 0, static_cast<int>(kRotorAngle * 16));
    Arrow(m_dc, Polar(kRotorAngle, rb), kRotorAngle + 90, 8);
    m_dc.setFont(Font(13, true));
    m_dc.setPen(kInk);
    Text(m_dc, Polar(kRotorAngle / 2, rb + 4), "betaR", Qt::AlignLeft | Qt::AlignVCenter);
    Text(m_dc, Polar(0, 300) + QPointF(-2, -4), "x", Qt::AlignRight | Qt::AlignBottom);
    m_dc.restore();

    m_dc.setPen(kInk);
    m_dc.setFont(Font(18, true));
    Text(m_dc, QPointF(14, 10), "2D model", Qt::AlignLeft | Qt::AlignTop);
    DrawLegend(QPointF(14, size.height() - 92));
    m_dc.setFont(Font(12));
    const double right = size.width() - 14;
    Text(m_dc, QPointF(right, 12), "18 coils of 39 turns", Qt::AlignRight | Qt::AlignTop);
    Text(m_dc, QPointF(right, 28), "in 6 groups of 3 concentric coils",
         Qt::AlignRight | Qt::AlignTop);
    Text(m_dc, QPointF(right, 44), QString::fromUtf8("spans 110°, 90°, 70°"),
         Qt::AlignRight | Qt::AlignTop);
    const double bottom = size.height() - 12;
    Text(m_dc, QPointF(right, bottom - 48), "stator: 36 slots, one coil side each",
         Qt::AlignRight | Qt::AlignBottom);
    Text(m_dc, QPointF(right, bottom - 32), "rotor: 4 magnets, alternating poles",
         Qt::AlignRight | Qt::AlignBottom);
    Text(m_dc, QPointF(right, bottom - 16),
         QString::fromUtf8("\u2299 current out   \u2297 current in"),
         Qt::AlignRight | Qt::AlignBottom);
    Text(m_dc, QPointF(right, bottom), "positive phase current", Qt::AlignRight | Qt::AlignBottom);
}

void CMachinePicture::DrawLegend(const QPointF& at) {
    m_dc.save();
    m_dc.setFont(Font(12));
    for (int phase = 0; phase < 3; ++phase) {
        const QPointF row = at + QPointF(0, 26 + 20 * phase);
        m_dc.fillRect(QRectF(row.x(), row.y() + 3, 22, 10), kPhase[phase]);
        m_dc.setPen(kInk);
        QString coils;
        for (int coil = 0; coil < 18; ++coil) {
            if (PhaseOfCoil(coil) == phase)
                coils += (coils.isEmpty() ? "" : ", ") + QString::number(coil);
        }
        Text(m_dc, row + QPointF(28, 8), QString("phase %1: %2").arg(kPhaseName[phase], coils),
             Qt::AlignLeft | Qt::AlignVCenter);
    }
    m_dc.restore();
}

void CMachinePicture::DrawSection(double r, bool withLabels) {
    const double k = r / kStatorOuter;
    m_dc.save();
    m_dc.scale(k, k);
    // Stator yoke and teeth.
    QPainterPath stator;
    stator.addEllipse(QPointF(0, 0), kStatorOuter, kStatorOuter);
    stator.addEllipse(QPointF(0, 0), kBore, kBore);
    m_dc.setPen(QPen(kIronEdge, 1.2));
    m_dc.setBrush(kIron);
    m_dc.drawPath(stator);

    // 36 slots, one coil side each: coil k lies at its axis +- half its span.
    for (int coil = 0; coil < 18; ++coil) {
        const double a = CoilAxis(coil), half = CoilSpan(coil) / 2;
        for (int side = 0; side < 2; ++side) {
            const double at = side == 0 ? a - half : a + half;
            m_dc.save();
            m_dc.rotate(-at);
            const QRectF slot(kSlotInner, -6.5, kSlotOuter - kSlotInner, 13);
            m_dc.setPen(QPen(kIronEdge, 1));
            m_dc.setBrush(kPhase[PhaseOfCoil(coil)].lighter(150));
            m_dc.drawRoundedRect(slot, 3, 3);
            const QPointF mark((kSlotInner + kSlotOuter) / 2, 0);
            m_dc.setPen(QPen(kInk, 1.2));
            m_dc.setBrush(Qt::white);
            m_dc.drawEllipse(mark, 5, 5);
            if (side == 1) {
                m_dc.setBrush(kInk);
                m_dc.drawEllipse(mark, 1.6, 1.6);
            } else {
                m_dc.drawLine(mark + QPointF(-3.2, -3.2), mark + QPointF(3.2, 3.2));
                m_dc.drawLine(mark + QPointF(-3.2, 3.2), mark + QPointF(3.2, -3.2));
            }
            m_dc.restore();
        }
    }
    DrawRotor(kRotor, withLabels);
    m_dc.restore();
}

void CMachinePicture::DrawRotor(double r, bool withLabels) {
    const double k = r / kRotor;
    m_dc.save();
    m_dc.scale(k, k);
    m_dc.setPen(QPen(kIronEdge, 1));
    m_dc.setBrush(kCore);
    m_dc.drawEllipse(QPointF(0, 0), kMagnetInner, kMagnetInner);
    // Four surface magnets, magnet m on the axis kRotorAngle + 90 m, poles alternating.
    for (int m = 0; m < 4; ++m) {
        const double a = kRotorAngle + 90 * m;
        m_dc.setPen(QPen(kInk, 1));
        m_dc.setBrush(m % 2 == 0 ? kNorth : kSouth);
        m_dc.drawPath(Sector(kMagnetInner, kRotor, a - 40, a + 40));
        if (withLabels) {
            m_dc.setPen(Qt::white);
            m_dc.setFont(Font(14, true));
            const QPointF p = Polar(a, (kMagnetInner + kRotor) / 2);
            m_dc.drawText(QRectF(p.x() - 12, p.y() - 10, 24, 20), Qt::AlignCenter,
                          m % 2 == 0 ? "N" : "S");
            m_dc.setPen(kInk);
            m_dc.setFont(Font(11));
            const QPointF q = Polar(a, kMagnetInner - 14);
            m_dc.drawText(QRectF(q.x() - 12, q.y() - 8, 24, 16), Qt::AlignCenter,
                          QString("m%1").arg(m));
        }
    }
    QRadialGradient shine(QPointF(-8, -8), kShaftRadius * 1.4);
    shine.setColorAt(0, kShaft.lighter(160));
    shine.setColorAt(1, kShaft);
    m_dc.setPen(QPen(kInk, 1));
    m_dc.setBrush(shine);
    m_dc.drawEllipse(QPointF(0, 0), kShaftRadius, kShaftRadius);
    if (withLabels) {
        m_dc.setPen(kInk);
        m_dc.setFont(Font(12, true));
        Text(m_dc, Polar(-120, 60), "rotor", Qt::AlignHCenter | Qt::AlignVCenter);
        Text(m_dc, QPointF(0, kShaftRadius + 2), "shaft", Qt::AlignHCenter | Qt::AlignTop);
    }
    m_dc.restore();
}

void CMachinePicture::DrawPerspective(const QSize& size) {
    const double cy = size.height() / 2.0 + 4, front = 208, rear = 472, R = 92, squeeze = 0.36;
    const double rx = R * squeeze;

    // Shaft behind the machine, then the housing over it.
    QLinearGradient steel(0, cy - 12, 0, cy + 12);
    steel.setColorAt(0, kShaft.lighter(170));
    steel.setColorAt(0.45, kShaft.lighter(120));
    steel.setColorAt(1, kShaft.darker(130));
    m_dc.setPen(QPen(kInk, 1));
    m_dc.setBrush(steel);
    m_dc.drawRect(QRectF(rear, cy - 10, 92, 20));
    m_dc.drawEllipse(QPointF(rear + 92, cy), 10 * squeeze, 10);

    QLinearGradient body(0, cy - R, 0, cy + R);
    body.setColorAt(0, QColor(226, 229, 235));
    body.setColorAt(0.35, QColor(250, 251, 253));
    body.setColorAt(1, QColor(150, 155, 165));
    QPainterPath housing;
    housing.moveTo(front, cy - R);
    housing.lineTo(rear, cy - R);
    housing.arcTo(QRectF(rear - rx, cy - R, 2 * rx, 2 * R), 90, -180);
    housing.lineTo(front, cy + R);
    housing.closeSubpath();
    m_dc.setBrush(body);
    m_dc.setPen(QPen(kIronEdge, 1.2));
    m_dc.drawPath(housing);
    // Cooling ribs around the housing.
    m_dc.setPen(QPen(QColor(140, 145, 155), 1));
    m_dc.setBrush(Qt::NoBrush);
    for (double x = front + 34; x < rear - 10; x += 26)
        m_dc.drawArc(QRectF(x - rx, cy - R, 2 * rx, 2 * R), -90 * 16, 180 * 16);

    // The front face, cut open: the cross-section seen at an angle.
    m_dc.save();
    m_dc.translate(front, cy);
    m_dc.scale(squeeze, 1);
    m_dc.setPen(QPen(kIronEdge, 1.2));
    m_dc.setBrush(QColor(236, 238, 242));
    m_dc.drawEllipse(QPointF(0, 0), R, R);
    m_dc.scale(R / kStatorOuter * 0.94, R / kStatorOuter * 0.94);
    DrawSection(kStatorOuter, false);
    m_dc.restore();

    // Shaft in front.
    m_dc.setPen(QPen(kInk, 1));
    m_dc.setBrush(steel);
    const double shaftEnd = 64;
    m_dc.drawRect(QRectF(shaftEnd, cy - 10, front - shaftEnd, 20));
    m_dc.drawEllipse(QPointF(shaftEnd, cy), 10 * squeeze, 10);
    m_dc.setBrush(kShaft.darker(120));
    m_dc.drawRect(QRectF(shaftEnd + 20, cy - 11, 40, 4));

    // Labels with leaders.
    m_dc.setFont(Font(12, true));
    auto leader = [&](const QPointF& from, const QPointF& to, const QString& text, int align) {
        m_dc.setPen(QPen(kInk, 1));
        m_dc.drawLine(from, to);
        m_dc.setBrush(kInk);
        m_dc.drawEllipse(from, 2, 2);
        Text(m_dc, to + QPointF(align & Qt::AlignRight ? -3 : 3, 0), text,
             align | Qt::AlignVCenter);
    };
    leader(QPointF(front - rx * 0.5, cy - R * 0.85), QPointF(front - 70, cy - R + 4),
           "stator, 18 coils", Qt::AlignRight);
    leader(QPointF(front - rx * 0.25, cy + R * 0.45), QPointF(front - 70, cy + R - 6),
           "rotor, 4 magnets", Qt::AlignRight);
    leader(QPointF(shaftEnd + 10, cy + 9), QPointF(shaftEnd + 10, cy + 40), "", Qt::AlignLeft);
    Text(m_dc, QPointF(shaftEnd + 10, cy + 44), "shaft", Qt::AlignHCenter | Qt::AlignTop);
    leader(QPointF(rear - 60, cy - R + 10), QPointF(rear + 60, cy - R - 2), "housing",
           Qt::AlignLeft);

    // Active length.
    const double yd = cy + R + 14;
    m_dc.setPen(QPen(kInk, 1));
    m_dc.drawLine(QPointF(front, cy + R + 4), QPointF(front, yd + 4));
    m_dc.drawLine(QPointF(rear, cy + R + 4), QPointF(rear, yd + 4));
    m_dc.drawLine(QPointF(front + 2, yd), QPointF(rear - 2, yd));
    Arrow(m_dc, QPointF(front, yd), 180, 8);
    Arrow(m_dc, QPointF(rear, yd), 0, 8);
    m_dc.setFont(Font(12));
    m_dc.setPen(kInk);
    Text(m_dc, QPointF((front + rear) / 2, yd - 1), "active length 0.1035 m",
         Qt::AlignHCenter | Qt::AlignBottom);

    m_dc.setFont(Font(18, true));
    Text(m_dc, QPointF(14, 10), "3D model", Qt::AlignLeft | Qt::AlignTop);
}
