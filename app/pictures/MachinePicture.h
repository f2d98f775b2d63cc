#pragma once

#include <QPointF>
#include <QSize>

class QPainter;

/// Drawings of the machine: the cross-section (2D model) with the 36 slots of the 18 coils in
/// six concentric groups and the four-pole magnet rotor, and a cut-open perspective view
/// (3D model). Both follow the winding of the model: group g of coils 3g..3g+2 has its axis at
/// 45, 345, 285, 225, 165 or 105 degrees and coil spans of 110, 90 and 70 degrees.
class CMachinePicture {
public:
    explicit CMachinePicture(QPainter& dc);

    /// Draws the cross-section in a frame of the given size at the painter's origin.
    void DrawCrossSection(const QSize& size);

    /// Draws the perspective view in a frame of the given size at the painter's origin.
    void DrawPerspective(const QSize& size);

    /// Axis angle of coil 0..17 in degrees, counterclockwise.
    static double CoilAxis(int coil);
    /// Span of coil 0..17 in degrees.
    static double CoilSpan(int coil);

private:
    /// Stator ring with slots and the rotor, centred at the origin, outer radius r; drawn in
    /// the painter's current transform (the perspective view squeezes it).
    void DrawSection(double r, bool withLabels);
    void DrawRotor(double r, bool withLabels);
    void DrawLegend(const QPointF& at);

    QPainter& m_dc; ///< the painter, at the frame's origin
};
