#pragma once

/// The zoom of one view in data coordinates: the x range shown and, when zoomed by hand, the
/// y range. An axis that is not zoomed shows its home range: the whole data in x, the visible
/// data in y. Every change keeps the x range inside the home range and no narrower than
/// kMinSpan of it, so pixels of the plot stay within what the renderer can map.
class CPlotZoom {
public:
    /// Narrowest range of an axis, as a share of its home range.
    static constexpr double kMinSpan = 1e-4;

    /// Whether either axis is zoomed.
    bool IsZoomed() const { return m_bX || m_bY; }

    /// Back to the home view on both axes.
    void Reset();

    /// Zooms x by factor (> 1 narrows) around the data value centre, which keeps its place on
    /// the screen. [lo, hi] is the range shown now, [homeLo, homeHi] the whole data. Zooming
    /// out as far as the home range returns to it.
    void ZoomX(double lo, double hi, double centre, double factor, double homeLo, double homeHi);
    /// Zooms y likewise; y is then fixed by hand until Reset. [homeLo, homeHi] is the range y
    /// would have without zoom, which bounds the narrowest range.
    void ZoomY(double lo, double hi, double centre, double factor, double homeLo, double homeHi);
    /// Shifts the x range shown, [lo, hi], by dx, stopping at the ends of the home range.
    void PanX(double lo, double hi, double dx, double homeLo, double homeHi);
    /// Shifts the y range by dy; y is then fixed by hand.
    void PanY(double lo, double hi, double dy);
    /// Shows x from a to b (either order), kept inside the home range; a range narrower than
    /// the narrowest is widened around its middle.
    void ShowX(double a, double b, double homeLo, double homeHi);

    bool m_bX = false; ///< x is zoomed: m_dXLo..m_dXHi is shown
    double m_dXLo = 0; ///< left end of the x range shown [x unit]
    double m_dXHi = 1; ///< right end [x unit]
    bool m_bY = false; ///< y is zoomed by hand: m_dYLo..m_dYHi is shown
    double m_dYLo = 0; ///< bottom of the y range shown [y unit]
    double m_dYHi = 1; ///< top [y unit]
};
