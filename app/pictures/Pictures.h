#pragma once

#include <QSize>

class QPainter;
class QRect;

/// The model pictures of the view and the circuit pictures of the result plot dialog, drawn by
/// code so that they print sharp at any scale. Each picture has a fixed size in pixels and is
/// drawn with its top left corner at the painter's origin, on an opaque background that fills
/// exactly that size; nothing is drawn outside it.
class CPictures {
public:
    /// Size of view picture kind 1 (2D model, 652 x 652), 2 (3D model, 627 x 252), 3 (circuit
    /// model, 898 x 535) or 4 (results export table order, 997 x 561); empty for other kinds.
    static QSize Size(int kind);

    /// Draws view picture kind 1 to 4; other kinds draw nothing.
    static void Draw(QPainter& dc, int kind);

    /// Draws view picture kind 1 to 4 in rect with its top left corner at (10, 10): unscaled
    /// when it fits, else scaled down keeping its proportions to fit inside a 10-pixel border.
    /// Restores the painter; other kinds draw nothing.
    static void DrawFitted(QPainter& dc, const QRect& rect, int kind);

    /// Size of the circuit picture of condition of work 0 to 3 (573 x 305, 577 x 305,
    /// 573 x 306, 577 x 306); empty for other conditions.
    static QSize CircuitSize(int condition);

    /// Draws the circuit picture of condition of work 0 to 3; other conditions draw nothing.
    static void DrawCircuit(QPainter& dc, int condition);

private:
    static void DrawExportTable(QPainter& dc, const QSize& size);
    static void DrawCircuitModel(QPainter& dc, const QSize& size);
};
