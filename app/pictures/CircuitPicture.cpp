#include "pictures/CircuitPicture.h"

#include <QPainter>
#include <QPainterPath>

#include <cmath>
#include <numbers>

namespace {

const QColor kInk(25, 25, 25);
const QColor kNorth(214, 64, 52);
const QColor kSouth(52, 96, 200);
const QColor kCore(190, 190, 190);

// Frame geometry shared by the four circuits.
constexpr double kRailTop = 35;               ///< upper rail of a bridge
constexpr double kRailBottom = 265;           ///< lower rail
constexpr double kUpperDevice = 85;           ///< centre of the upper devices
constexpr double kLowerDevice = 215;          ///< centre of the lower devices
constexpr double kPhaseY[3] = {90, 150, 210}; ///< phase lines a, b, c at the machine
constexpr double kLegX[3] = {150, 230, 310};  ///< bridge legs a, b, c
constexpr double kTapY[3] = {130, 150, 170};  ///< output taps of the legs
constexpr double kMachineX = 386;             ///< where the phase lines enter the machine

QFont LabelFont() {
    QFont font("DejaVu Sans");
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(13);
    return font;
}

} // namespace

CCircuitPicture::CCircuitPicture(QPainter& dc) : m_dc(dc) {}

void CCircuitPicture::Draw(int condition) {
    m_dc.save();
    m_dc.setRenderHint(QPainter::Antialiasing, true);
    m_dc.setFont(LabelFont());
    m_dc.setPen(QPen(kInk, 1.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    m_dc.setBrush(Qt::NoBrush);
    switch (condition) {
    case 0:
        DrawInverter();
        break;
    case 1:
        DrawSineSupply();
        break;
    case 2:
        DrawRectifier();
        break;
    case 3:
        DrawResistiveLoad();
        break;
    default:
        m_dc.restore();
        return;
    }
    DrawMachine(kMachineX);
    m_dc.restore();
}

void CCircuitPicture::DrawInverter() {
    const double xSource = 40, xCap = 110;
    DrawBattery(xSource, kRailTop, kRailBottom, "Ud");
    Wire(xSource, kRailTop, 58, kRailTop);
    DrawResistorH(58, 92, kRailTop, "Ru");
    Wire(92, kRailTop, kLegX[2], kRailTop);
    Wire(xSource, kRailBottom, kLegX[2], kRailBottom);
    DrawCapacitorV(xCap, kRailTop, kRailBottom, "Cu");
    Dot(xCap, kRailTop);
    Dot(xCap, kRailBottom);
    for (int leg = 0; leg < 3; ++leg)
        DrawLeg(kLegX[leg], leg, true, kTapY[leg]);
}

void CCircuitPicture::DrawRectifier() {
    const double xLoad = 40, xCap = 95;
    Wire(xLoad, kRailTop, kLegX[2], kRailTop);
    Wire(xLoad, kRailBottom, kLegX[2], kRailBottom);
    DrawResistorV(xLoad, kRailTop, kRailBottom, "Rl");
    DrawCapacitorV(xCap, kRailTop, kRailBottom, "Cl");
    Dot(xCap, kRailTop);
    Dot(xCap, kRailBottom);
    for (int leg = 0; leg < 3; ++leg)
        DrawLeg(kLegX[leg], leg, false, kTapY[leg]);
}

void CCircuitPicture::DrawSineSupply() {
    static const char* const names[3] = {"ua", "ub", "uc"};
    const double xStar = 40, xSource = 170;
    Wire(xStar, kPhaseY[0], xStar, kPhaseY[2]);
    Dot(xStar, kPhaseY[1]);
    for (int phase = 0; phase < 3; ++phase) {
        const double y = kPhaseY[phase];
        Wire(xStar, y, xSource - 16, y);
        DrawSineSource(xSource, y, names[phase]);
        Wire(xSource + 16, y, kMachineX, y);
    }
    Label(xSource, 262, "Umax, f, phi", Qt::AlignHCenter | Qt::AlignTop);
}

void CCircuitPicture::DrawResistiveLoad() {
    const double xStar = 40;
    Wire(xStar, kPhaseY[0], xStar, kPhaseY[2]);
    Dot(xStar, kPhaseY[1]);
    for (double y : kPhaseY) {
        Wire(xStar, y, 150, y);
        DrawResistorH(150, 200, y, "Rl");
        Wire(200, y, kMachineX, y);
    }
}

void CCircuitPicture::DrawLeg(double x, int phase, bool withTransistors, double yOut) {
    const QString upper = QString::number(phase + 1), lower = QString::number(phase + 4);
    Wire(x, kRailTop, x, kRailBottom);
    Dot(x, kRailTop);
    Dot(x, kRailBottom);
    if (withTransistors) {
        DrawTransistor(x, kUpperDevice, "T" + upper);
        DrawTransistor(x, kLowerDevice, "T" + lower);
        DrawDiode(x + 22, kUpperDevice, "D" + upper, true);
        DrawDiode(x + 22, kLowerDevice, "D" + lower, true);
        for (double y : {kUpperDevice, kLowerDevice}) {
            Wire(x, y - 22, x + 22, y - 22);
            Wire(x, y + 22, x + 22, y + 22);
            Dot(x, y - 22);
            Dot(x, y + 22);
        }
    } else {
        DrawDiode(x, kUpperDevice, "D" + upper, true);
        DrawDiode(x, kLowerDevice, "D" + lower, true);
    }
    // The output crosses the legs to its right; it jogs to its phase line after the bridge.
    Dot(x, yOut);
    std::initializer_list<double> after0 = {kLegX[1], kLegX[2]};
    std::initializer_list<double> after1 = {kLegX[2]};
    std::initializer_list<double> none = {};
    const double xJog = kMachineX - 10;
    DrawWireHopping(x, xJog, yOut, phase == 0 ? after0 : phase == 1 ? after1 : none);
    Wire(xJog, yOut, xJog, kPhaseY[phase]);
    Wire(xJog, kPhaseY[phase], kMachineX, kPhaseY[phase]);
}

void CCircuitPicture::DrawTransistor(double x, double y, const QString& name) {
    // The leg wire is drawn through; blank the part the transistor replaces.
    m_dc.save();
    m_dc.setPen(QPen(Qt::white, 4));
    m_dc.drawLine(QPointF(x, y - 19), QPointF(x, y + 19));
    m_dc.restore();
    const double bar = x - 13;
    Wire(x, y - 20, bar, y - 8);
    Wire(bar, y + 8, x, y + 20);
    m_dc.save();
    m_dc.setPen(QPen(kInk, 3, Qt::SolidLine, Qt::FlatCap));
    m_dc.drawLine(QPointF(bar, y - 13), QPointF(bar, y + 13));
    m_dc.restore();
    Wire(bar, y, bar - 12, y);
    // Emitter arrow.
    const QPointF tip(x - 2, y + 18.7);
    const double angle = std::atan2(12.0, 13.0);
    QPainterPath arrow;
    arrow.moveTo(tip);
    arrow.lineTo(tip - QPointF(7 * std::cos(angle - 0.45), 7 * std::sin(angle - 0.45)));
    arrow.lineTo(tip - QPointF(7 * std::cos(angle + 0.45), 7 * std::sin(angle + 0.45)));
    arrow.closeSubpath();
    m_dc.save();
    m_dc.setBrush(kInk);
    m_dc.drawPath(arrow);
    m_dc.restore();
    Label(bar - 4, y - 7, name, Qt::AlignRight | Qt::AlignBottom);
}

void CCircuitPicture::DrawDiode(double x, double y, const QString& name, bool labelRight) {
    Wire(x, y - 22, x, y + 22);
    // Conducts upward: the anode below, the cathode bar above.
    QPainterPath triangle;
    triangle.moveTo(x - 9, y + 7);
    triangle.lineTo(x + 9, y + 7);
    triangle.lineTo(x, y - 7);
    triangle.closeSubpath();
    m_dc.save();
    m_dc.setBrush(Qt::white);
    m_dc.drawPath(triangle);
    m_dc.restore();
    Wire(x - 9, y - 7, x + 9, y - 7);
    if (labelRight)
        Label(x + 12, y, name, Qt::AlignLeft | Qt::AlignVCenter);
    else
        Label(x - 12, y, name, Qt::AlignRight | Qt::AlignVCenter);
}

void CCircuitPicture::DrawResistorH(double x1, double x2, double y, const QString& name) {
    m_dc.save();
    m_dc.setBrush(Qt::white);
    m_dc.drawRect(QRectF(x1, y - 6, x2 - x1, 12));
    m_dc.restore();
    Label((x1 + x2) / 2, y - 9, name, Qt::AlignHCenter | Qt::AlignBottom);
}

void CCircuitPicture::DrawResistorV(double x, double y1, double y2, const QString& name) {
    const double mid = (y1 + y2) / 2;
    Wire(x, y1, x, mid - 22);
    Wire(x, mid + 22, x, y2);
    m_dc.save();
    m_dc.setBrush(Qt::white);
    m_dc.drawRect(QRectF(x - 7, mid - 22, 14, 44));
    m_dc.restore();
    Label(x + 11, mid, name, Qt::AlignLeft | Qt::AlignVCenter);
}

void CCircuitPicture::DrawCapacitorV(double x, double y1, double y2, const QString& name) {
    const double mid = (y1 + y2) / 2;
    Wire(x, y1, x, mid - 5);
    Wire(x, mid + 5, x, y2);
    m_dc.save();
    m_dc.setPen(QPen(kInk, 3, Qt::SolidLine, Qt::FlatCap));
    m_dc.drawLine(QPointF(x - 13, mid - 5), QPointF(x + 13, mid - 5));
    m_dc.drawLine(QPointF(x - 13, mid + 5), QPointF(x + 13, mid + 5));
    m_dc.restore();
    Label(x + 16, mid, name, Qt::AlignLeft | Qt::AlignVCenter);
}

void CCircuitPicture::DrawInductorH(double x1, double x2, double y, const QString& name) {
    const int turns = 4;
    const double w = (x2 - x1) / turns;
    QPainterPath coil;
    coil.moveTo(x1, y);
    for (int i = 0; i < turns; ++i)
        coil.arcTo(QRectF(x1 + i * w, y - w / 2, w, w), 180, -180);
    m_dc.drawPath(coil);
    Label((x1 + x2) / 2, y - w / 2 - 3, name, Qt::AlignHCenter | Qt::AlignBottom);
}

void CCircuitPicture::DrawSineSource(double x, double y, const QString& name) {
    const double r = 16;
    m_dc.save();
    m_dc.setBrush(Qt::white);
    m_dc.drawEllipse(QPointF(x, y), r, r);
    m_dc.restore();
    QPainterPath wave;
    for (int i = 0; i <= 24; ++i) {
        const double t = i / 24.0;
        const QPointF p(x - 10 + 20 * t, y - 6 * std::sin(2 * std::numbers::pi * t));
        if (i == 0)
            wave.moveTo(p);
        else
            wave.lineTo(p);
    }
    m_dc.drawPath(wave);
    Label(x, y - r - 3, name, Qt::AlignHCenter | Qt::AlignBottom);
}

void CCircuitPicture::DrawBattery(double x, double y1, double y2, const QString& name) {
    const double mid = (y1 + y2) / 2;
    Wire(x, y1, x, mid - 6);
    Wire(x, mid + 6, x, y2);
    m_dc.save();
    m_dc.setPen(QPen(kInk, 2, Qt::SolidLine, Qt::FlatCap));
    m_dc.drawLine(QPointF(x - 14, mid - 6), QPointF(x + 14, mid - 6));
    m_dc.setPen(QPen(kInk, 4, Qt::SolidLine, Qt::FlatCap));
    m_dc.drawLine(QPointF(x - 7, mid + 6), QPointF(x + 7, mid + 6));
    m_dc.restore();
    Label(x + 9, mid - 12, "+", Qt::AlignLeft | Qt::AlignBottom);
    Label(x - 17, mid, name, Qt::AlignRight | Qt::AlignVCenter);
}

void CCircuitPicture::DrawMachine(double xStart) {
    static const char* const phases[3] = {"a", "b", "c"};
    const double xR1 = xStart + 16, xR2 = xStart + 46, xL1 = xStart + 54, xL2 = xStart + 94;
    const double xStar = xStart + 106;
    // Frame of the machine: the windings and the rotor.
    m_dc.save();
    m_dc.setPen(QPen(QColor(120, 120, 120), 1, Qt::DashLine));
    m_dc.drawRoundedRect(QRectF(xStart + 4, 50, 178, 214), 8, 8);
    m_dc.restore();
    for (int phase = 0; phase < 3; ++phase) {
        const double y = kPhaseY[phase];
        const QString p = phases[phase];
        Label(xStart + 7, y - 2, p, Qt::AlignLeft | Qt::AlignBottom);
        Wire(xStart, y, xR1, y);
        DrawResistorH(xR1, xR2, y, "R" + p);
        Wire(xR2, y, xL1, y);
        DrawInductorH(xL1, xL2, y, "L" + p);
        Wire(xL2, y, xStar, y);
    }
    Wire(xStar, kPhaseY[0], xStar, kPhaseY[2]);
    Dot(xStar, kPhaseY[1]);
    DrawRotor(QPointF(xStart + 146, 150), 26);
}

void CCircuitPicture::DrawRotor(const QPointF& centre, double radius) {
    m_dc.save();
    m_dc.setPen(QPen(kInk, 1));
    // Four magnets of alternating poles around the core.
    for (int m = 0; m < 4; ++m) {
        QPainterPath sector;
        sector.moveTo(centre);
        sector.arcTo(QRectF(centre.x() - radius, centre.y() - radius, 2 * radius, 2 * radius),
                     45 + 90 * m, 90);
        sector.closeSubpath();
        m_dc.setBrush(m % 2 == 0 ? kNorth : kSouth);
        m_dc.drawPath(sector);
    }
    m_dc.setBrush(kCore);
    m_dc.drawEllipse(centre, radius * 0.55, radius * 0.55);
    m_dc.setBrush(kInk);
    m_dc.drawEllipse(centre, 3.5, 3.5);
    m_dc.setPen(Qt::white);
    QFont small = m_dc.font();
    small.setPixelSize(10);
    small.setBold(true);
    m_dc.setFont(small);
    for (int m = 0; m < 4; ++m) {
        const double a = (90 + 90 * m) * std::numbers::pi / 180;
        const QPointF p = centre + QPointF(std::cos(a), -std::sin(a)) * radius * 0.78;
        m_dc.drawText(QRectF(p.x() - 8, p.y() - 8, 16, 16), Qt::AlignCenter,
                      m % 2 == 0 ? "N" : "S");
    }
    m_dc.restore();
    // Direction of rotation, inertia and damping.
    m_dc.save();
    m_dc.setPen(QPen(kInk, 1.2));
    const QRectF ring(centre.x() - radius - 7, centre.y() - radius - 7, 2 * radius + 14,
                      2 * radius + 14);
    m_dc.drawArc(ring, 60 * 16, 60 * 16);
    const double a = 120 * std::numbers::pi / 180;
    const QPointF tip = centre + QPointF(std::cos(a), -std::sin(a)) * (radius + 7);
    QPainterPath head;
    head.moveTo(tip);
    head.lineTo(tip + QPointF(6, 3));
    head.lineTo(tip + QPointF(3, -6));
    head.closeSubpath();
    m_dc.setBrush(kInk);
    m_dc.drawPath(head);
    m_dc.restore();
    Label(centre.x() - 16, centre.y() + radius + 10, "J", Qt::AlignHCenter | Qt::AlignTop);
    Label(centre.x() + 16, centre.y() + radius + 10, "D", Qt::AlignHCenter | Qt::AlignTop);
}

void CCircuitPicture::DrawWireHopping(double x1, double x2, double y,
                                      std::initializer_list<double> xs) {
    QPainterPath path;
    path.moveTo(x1, y);
    for (double x : xs) {
        path.lineTo(x - 5, y);
        path.arcTo(QRectF(x - 5, y - 5, 10, 10), 180, -180);
    }
    path.lineTo(x2, y);
    m_dc.drawPath(path);
}

void CCircuitPicture::Wire(double x1, double y1, double x2, double y2) {
    m_dc.drawLine(QPointF(x1, y1), QPointF(x2, y2));
}

void CCircuitPicture::Dot(double x, double y) {
    m_dc.save();
    m_dc.setPen(Qt::NoPen);
    m_dc.setBrush(kInk);
    m_dc.drawEllipse(QPointF(x, y), 2.6, 2.6);
    m_dc.restore();
}

void CCircuitPicture::Label(double x, double y, const QString& text, int align) {
    // Anchored at (x, y) on the side the alignment names.
    QRectF box(x, y, 0, 0);
    const double w = 200, h = 40;
    if (align & Qt::AlignRight)
        box.setLeft(x - w);
    else if (align & Qt::AlignHCenter)
        box.adjust(-w / 2, 0, w / 2, 0);
    else
        box.setRight(x + w);
    if (align & Qt::AlignBottom)
        box.setTop(y - h);
    else if (align & Qt::AlignVCenter)
        box.adjust(0, -h / 2, 0, h / 2);
    else
        box.setBottom(y + h);
    m_dc.save();
    m_dc.setPen(kInk);
    m_dc.drawText(box, align, text);
    m_dc.restore();
}
