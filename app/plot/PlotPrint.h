#pragma once

#include "plot/PlotAxes.h"
#include "plot/PlotRange.h"
#include "plot/PlotZoom.h"

#include <QBrush>
#include <QFont>
#include <QLine>
#include <QPen>
#include <QPoint>
#include <QString>

#include <array>
#include <cstddef>
#include <utility>
#include <vector>

class QFontMetrics;
class QPainter;
class QRect;

/// Draws what the document view shows: a curve y(x) with axes, ticks, numbered scales and
/// labels; a harmonic spectrum with its THD; the two range-selection markers; the model
/// pictures. The same calls draw on the screen, the printer and images.
///
/// Coordinates: one logical unit is one pixel of the painter's current transform. The drawing
/// area is the given rectangle; every position below is relative to its top left corner, and
/// W and H are its width and height. Conversions to pixels truncate toward zero.
///
/// The scale is computed from the data at every call; a curve plot may be given a zoom (the
/// view keeps it). A data range of zero (all x equal, all y equal, one point) is widened around
/// the value: by 10 % of its magnitude on each side, or by 1 when the value is 0. A spectrum's
/// scales are its own (DrawSpectrum).
/// Points with a non-finite coordinate are left out of the scale and the curve. With no point
/// at all only the axes, their arrows, ticks and labels are drawn.
///
/// Placement: the right margin is at least 20 pixels and grows so that the x label (written
/// right of the arrow) and the last x number stay inside the drawing area. Scale numbers that
/// would touch are thinned (every 2nd, 5th or 10th; a spectrum every k-th), keeping both ends.
///
/// Every call restores the painter's pen, brush, font, transform, clipping and render hints;
/// DrawCurve and DrawSpectrum leave the background mode transparent.
class CPlotPrint {
public:
    CPlotPrint();
    virtual ~CPlotPrint();
    CPlotPrint(const CPlotPrint&) = delete;
    CPlotPrint& operator=(const CPlotPrint&) = delete;

    /// Stores the axis labels, x first. The document calls it whenever it fills its plot buffer.
    void SetLabels(const QString& strXLabel, const QString& strYLabel);

    /// Draws the points (x[i], y[i]) for every index i below n joined in index order, with
    /// axes, ticks, a dotted zero line and eleven numbers on each scale. Sets m_nLeft and
    /// m_nRight. x and y must hold at least ceil(n) values when n > 0.
    ///
    /// The pixels are those of drawing every segment between consecutive points with the
    /// curve pen. Consecutive points falling in one pixel column are drawn as the vertical
    /// span they cover, which keeps a redraw of millions of points fast (CCurveReduction).
    void DrawCurve(QPainter& dc, const QRect& rect, const double* x, const double* y, double n);

    /// One curve of a plot of several: its y values over the shared x and its legend text.
    struct SCurve {
        const double* m_pY;           ///< y values, as many as its x
        QString m_strLabel;           ///< legend text: the quantity and its unit
        const double* m_pX = nullptr; ///< its own x values, or null for the plot's shared x
        std::size_t m_nCount = 0;     ///< number of its own points (with m_pX)
        int m_nAxis = 0;              ///< 0: the left y axis; 1: the right one (a second unit)
    };

    /// A thin vertical line with a small label at a data x of a curve plot (a fault's onset).
    struct SMarker {
        double m_dX;       ///< where [x unit]
        QString m_strText; ///< label beside its top
    };

    /// Most curves in one plot.
    static constexpr int kMaxCurves = 6;

    /// Draws several curves as DrawCurve draws one, sharing one x and one y scale computed
    /// over all of them: a curve without x values of its own is drawn over the n values of x,
    /// one with its own over those (the x range spans every curve); curve i is drawn with
    /// CurvePen(i), later ones on top. With more than one curve a legend in the top right corner of
    /// the plot area names each. The markers of m_aMarkers are drawn over the curves. With a zoom
    /// the axes show its x range (and its y range when zoomed by hand; otherwise y follows the data
    /// inside the x range), the curves are clipped to the plot area, and the scale numbers get the
    /// decimals their steps need. Without a zoom one curve is drawn exactly as DrawCurve draws it.
    /// Stores the plot area and the ranges in m_axes.
    void DrawCurves(QPainter& dc, const QRect& rect, const double* x,
                    const std::vector<SCurve>& curves, double n, const CPlotZoom& zoom);

    /// Draws the legend of curves (nothing for fewer than two) in the plot area of the last
    /// DrawCurves: a white box with a line of each curve's colour and its label.
    void DrawLegend(QPainter& dc, const QRect& rect, const std::vector<SCurve>& curves);

    /// Where the marks' labels of the last curve plot stand, in pixels of its drawing area.
    const std::vector<QRect>& MarkerLabels() const { return m_aMarkerLabels; }
    /// Top left of the legend of the last curve plot of several curves.
    QPoint LegendAt() const { return m_ptLegend; }
    /// The legend's box in the last curve plot; empty when it has none.
    const QRect& LegendRect() const { return m_rcLegend; }

    /// Pen of curve i: m_penCurve for the first, m_aCurvePens[i] for the others.
    QPen CurvePen(int i) const;

    /// Draws n spectrum lines (harmonic numbers in x, magnitudes in y) as stems ending in a
    /// white circle, and the THD as a ratio and in percent ("THD = 0.09 (9.4 %)", or "THD =
    /// undefined" when m_dTHD is NaN) at the top right. The harmonic axis reaches half a
    /// harmonic (at least 3 pixels) beyond the outer lines, so no stem stands on an axis; its
    /// numbers are whole harmonics at a round step that keeps them apart. The magnitude axis
    /// starts at 0 with round steps, or with m_bSpectrumDb shows 20 log10 of the magnitude
    /// relative to the largest (written "0 dB = ..." beside the THD) down to a floor of whole
    /// 10 dB at most 120 dB below. A zoom narrows the harmonic axis. Sets m_nLeft, m_nRight and
    /// m_axes.
    void DrawSpectrum(QPainter& dc, const QRect& rect, const double* x, const double* y, double n,
                      const CPlotZoom& zoom = CPlotZoom());

    /// Draws the dotted vertical markers from (x1, y1) to (x1, y2) and from (x2, y2) to
    /// (x2, y1), and returns (m_nLeft, m_nRight) as the last DrawCurve or DrawSpectrum left
    /// them. With bShade the part of the plot area between the two markers is tinted lightly
    /// (multiplied, so the curves stay visible).
    std::pair<int, int> DrawSelection(QPainter& dc, const QRect& rect, int x1, int y1, int x2,
                                      int y2, bool bShade = false);

    /// Draws model picture kind 1 to 4 fitted into the drawing area (CPictures::DrawFitted).
    void DrawPicture(QPainter& dc, const QRect& rect, int kind);

    double m_dTHD;        ///< total harmonic distortion shown by DrawSpectrum (a ratio)
    int m_nLeft;          ///< x pixel of the left end of the plot area, set by each plot
    int m_nRight;         ///< x pixel of the right end of the plot area, set by each plot
    QFont m_font;         ///< plot font: face "font1", 15 pixels, italic, normal weight
    QPen m_penSelect;     ///< dotted, (100, 100, 255): range-selection markers
    QPen m_penGrid;       ///< dotted, (200, 200, 200): zero line of a curve
    QPen m_penAxis;       ///< solid black: axes, arrows, ticks and texts
    QPen m_penCurve;      ///< solid (255, 0, 0): curve and spectrum stems
    QBrush m_brush;       ///< solid white: fill of the stem-head circles
    QString m_strYLabel;  ///< label of the y axis
    QString m_strXLabel;  ///< label of the x axis
    QString m_strY2Label; ///< label of the right-hand y axis (curves with m_nAxis 1)
    /// Solid pens of the curves after the first, in colours that readers with any common
    /// form of colour blindness can tell apart ([0] is unused: the first curve is red).
    std::array<QPen, kMaxCurves> m_aCurvePens;
    std::vector<SMarker> m_aMarkers; ///< marked x values of curve plots
    CPlotAxes m_axes;                ///< plot area and ranges of the last plot
    /// Round scales (1-2-5 steps, time in ms or us) for an unzoomed curve plot too; a zoomed
    /// one always has them. Off: the ten divisions numbered "%.3f".
    bool m_bRoundScale = false;
    bool m_bGrid = false;       ///< light lines at the ticks of a curve plot
    bool m_bSpectrumDb = false; ///< spectrum magnitudes in dB relative to the largest
    /// The legend stands where the user put it: its top left at m_ptLegendShare of the room
    /// the plot area leaves it (0, 0 the top left corner, 1, 1 the bottom right), always inside.
    /// Otherwise it goes where it hides least (PlaceLegend).
    bool m_bLegendShare = false;
    QPointF m_ptLegendShare;

    using SGroup = CPlotRange::SGroup;

private:
    struct SScale;
    enum class EKind { Curve, Spectrum };

    /// The curves grouped by their x values; pGroupOf (may be null) receives each curve's group.
    static std::vector<SGroup> Groups(const double* x, const std::vector<SCurve>& curves, double n,
                                      std::vector<std::size_t>* pGroupOf);
    /// Saves the painter, computes the scale, stores the plot area and draws the frame.
    SScale BeginPlot(QPainter& dc, const QRect& rect, std::vector<SGroup>& groups, EKind kind,
                     const CPlotZoom& zoom);
    SScale ComputeScale(QPainter& dc, const QRect& rect, std::vector<SGroup>& groups, EKind kind,
                        const CPlotZoom& zoom) const;
    SScale ComputeSpectrumScale(QPainter& dc, const QRect& rect, std::vector<SGroup>& groups,
                                const CPlotZoom& zoom) const;
    void DrawFrame(QPainter& dc, const SScale& s, EKind kind);
    /// Ticks, numbers, grid and zero line of round scales.
    void DrawRoundScales(QPainter& dc, const SScale& s);
    /// The right-hand y axis of curves of a second unit, with round numbers and its label.
    void DrawRightAxis(QPainter& dc, const SScale& s);
    /// Width right of the plot area that the right-hand axis needs (0 without one); fills its
    /// round ticks.
    static int RightAxisWidth(SScale& s, const QFontMetrics& fm);
    void DrawMarkers(QPainter& dc, const SScale& s);
    void StoreAxes(const SScale& s, EKind kind);

    /// Size of the legend box of curves in the font of fm.
    QSize LegendSize(const QFontMetrics& fm, const std::vector<SCurve>& curves) const;
    /// Puts the legend in the corner of the plot area where it hides the fewest points of
    /// the curves and no mark's label (top right when several are as good): m_ptLegend.
    void PlaceLegend(QPainter& dc, const SScale& s, const std::vector<SCurve>& curves,
                     const std::vector<SGroup>& groups, const std::vector<std::size_t>& groupOf);

    QPoint m_ptLegend;                  ///< top left of the legend of the last DrawCurves
    QRect m_rcLegend;                   ///< its box; empty without a legend
    std::vector<QRect> m_aMarkerLabels; ///< where the marks' labels of the last plot stand
    std::vector<QLine> m_aReduced;      ///< work buffer of DrawCurves: the reduced segments
    std::vector<std::size_t> m_aRuns;   ///< work buffer: first index of each pixel column's run
};
