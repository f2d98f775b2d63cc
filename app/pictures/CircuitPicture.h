#pragma once

#include <QPointF>
#include <QString>

class QPainter;

/// Schematic of the circuit of one condition of work: the supply on the left (DC source Ud
/// with Ru, Cu and the transistor bridge T1..T6 with D1..D6; three sine sources; the diode
/// bridge D1..D6 feeding Rl in parallel with Cl; Rl in series with each phase), ending in the
/// three phase windings (R and L of phases a, b, c) and a sketch of the four-pole rotor with
/// its inertia J and damping D. Drawn in a 577 x 306 frame at the painter's origin.
class CCircuitPicture {
public:
    explicit CCircuitPicture(QPainter& dc);

    /// Draws the circuit of condition of work 0 to 3 (other values draw nothing).
    void Draw(int condition);

private:
    void DrawInverter();
    void DrawSineSupply();
    void DrawRectifier();
    void DrawResistiveLoad();
    void DrawMachine(double xStart);

    /// One leg of a bridge at x, with its upper and lower device, output wire at height yOut.
    void DrawLeg(double x, int phase, bool withTransistors, double yOut);
    void DrawTransistor(double x, double y, const QString& name);
    void DrawDiode(double x, double y, const QString& name, bool labelRight);
    void DrawResistorH(double x1, double x2, double y, const QString& name);
    void DrawResistorV(double x, double y1, double y2, const QString& name);
    void DrawCapacitorV(double x, double y1, double y2, const QString& name);
    void DrawInductorH(double x1, double x2, double y, const QString& name);
    void DrawSineSource(double x, double y, const QString& name);
    void DrawBattery(double x, double y1, double y2, const QString& name);
    void DrawRotor(const QPointF& centre, double radius);
    /// A horizontal wire from x1 to x2 that hops over the vertical wires at the given xs.
    void DrawWireHopping(double x1, double x2, double y, std::initializer_list<double> xs);

    void Wire(double x1, double y1, double x2, double y2);
    void Dot(double x, double y);
    void Label(double x, double y, const QString& text, int align);

    QPainter& m_dc; ///< the painter, at the frame's origin
};
