#pragma once

/// Where the last plot stood and what it showed, so that the view can turn pixels back into
/// data: the plot area in pixels of the drawing area, the x and y ranges shown, and the home
/// x range (the whole data, what the plot shows unzoomed).
class CPlotAxes {
public:
    /// Data x at pixel column px of the plot area (linear between its ends).
    double XAt(double px) const { return m_dXMin + (px - m_nLeft) * m_dXr / m_nWidth; }
    /// Data y at pixel row py.
    double YAt(double py) const { return m_dYMin + (m_nBottom - py) * m_dYr / m_nHeight; }
    /// Pixel column of data x, not truncated.
    double PxOf(double x) const { return m_nLeft + (x - m_dXMin) * m_nWidth / m_dXr; }
    /// Share of the home x range at which data x lies (0 at its left end, 1 at its right).
    double HomeShare(double x) const { return (x - m_dHomeXMin) / m_dHomeXr; }
    /// Data x at share s of the home x range.
    double AtHomeShare(double s) const { return m_dHomeXMin + s * m_dHomeXr; }
    /// The plot area has room and its ranges are usable.
    bool IsUsable() const { return m_bDrawn && m_nWidth > 0 && m_nHeight > 0; }

    bool m_bDrawn = false;  ///< a curve or spectrum was drawn with data
    bool m_bCurve = true;   ///< the last plot was a curve (false: a spectrum)
    int m_nLeft = 0;        ///< pixel column of the y axis
    int m_nWidth = 1;       ///< plot width [pixels]
    int m_nTop = 15;        ///< pixel row of the top of the plot area
    int m_nBottom = 15;     ///< pixel row of the x axis
    int m_nHeight = 1;      ///< plot height [pixels]
    double m_dXMin = 0;     ///< x at the y axis [x unit]
    double m_dXr = 1;       ///< x range across the plot width [x unit]
    double m_dYMin = 0;     ///< y at the x axis [y unit]
    double m_dYr = 1;       ///< y range across the plot height [y unit]
    double m_dHomeXMin = 0; ///< x at the y axis of the unzoomed plot [x unit]
    double m_dHomeXr = 1;   ///< x range of the unzoomed plot [x unit]
    double m_dHomeYMin = 0; ///< y at the x axis of the unzoomed plot [y unit]
    double m_dHomeYr = 1;   ///< y range of the unzoomed plot [y unit]
};
