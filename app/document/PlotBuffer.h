#pragma once

#include "ResultExport.h"
#include "document/PlotCurve.h"
#include "plot/PlotPrint.h"

#include <QString>

#include <vector>

/// What a document plots: the x, y and work arrays of the first curve with their point count,
/// the curves added to it, the axis labels, the marks of fault times and the plot kind. Its
/// views draw it, each with its own axes and zoom.
class CPlotBuffer {
public:
    /// Replaces the three arrays by n zeros each, removes the curves after the first and the
    /// right-hand axis label, and sets m_nPlotCount to n.
    void Alloc(unsigned n);

    /// The curves of a curve plot: the first (m_pPlotX, m_pPlotY, labelled FirstLabel()) and
    /// those added to it, each with its x values when they are its own and its legend text.
    /// When the curves come from more than one source, each legend text names its source
    /// ("Ia [A] · Kalvo2"); strTitle is the source of curves without one (the document's).
    std::vector<CPlotPrint::SCurve> Curves(const QString& strTitle) const;
    /// Number of curves.
    int CurveCount() const { return 1 + int(m_vecMore.size()); }
    /// Legend text of the first curve: its own once curves were added, else the y label.
    const QString& FirstLabel() const {
        return m_strFirstLabel.isEmpty() ? m_strYLabel : m_strFirstLabel;
    }
    /// Source of the first curve; strTitle when it is the document's.
    QString FirstSource(const QString& strTitle) const {
        return m_strFirstSource.isEmpty() ? strTitle : m_strFirstSource;
    }

    /// Stores the axis labels, x first.
    void SetLabels(const QString& strXLabel, const QString& strYLabel);
    /// The y labels of several curves: on each axis each quantity once, with its unit.
    void SetSharedYLabel();
    /// "A" of "Ia [A]"; empty without a unit.
    static QString UnitOf(const QString& strLabel);

    /// Copies of the samples of curve nCurve (0 the first): its own x or the shared one, and
    /// its y, as many as both have.
    void Samples(int nCurve, std::vector<double>& x, std::vector<double>& y) const;
    /// Whether curve nCurve has x values of its own (another run's or a file's).
    bool HasOwnX(int nCurve) const { return nCurve > 0 && m_vecMore[nCurve - 1].m_pX; }
    /// Makes x and y, with the work array work of the same length, the only curve: the added
    /// curves go, with the first one's own legend text and source and the right-hand label.
    /// m_nPlotCount becomes their length.
    void Replace(std::vector<double> x, std::vector<double> y, std::vector<double> work);

    /// The labels and marks that the renderer writes.
    void ApplyTo(CPlotPrint& plot) const;

    bool IsCurve() const { return m_nPlotType == kPlotCurve; }
    bool IsSpectrum() const { return m_nPlotType == kPlotSpectrum; }

    unsigned m_nPlotCount = 0;                   ///< points of the first curve
    EPlotKind m_nPlotType = kPlotPicture;        ///< curve, spectrum, or nothing drawn
    std::vector<double> m_pPlotX;                ///< x values of the first curve
    std::vector<double> m_pPlotY;                ///< y values of the first curve
    std::vector<double> m_pPlotTmp;              ///< work array (a spectrum's magnitudes)
    std::vector<CPlotCurve> m_vecMore;           ///< the curves after the first
    QString m_strFirstLabel;                     ///< legend text of the first curve; empty: y label
    QString m_strFirstSource;                    ///< where the first curve comes from; empty: here
    QString m_strXLabel = QStringLiteral("x");   ///< label of the x axis
    QString m_strYLabel = QStringLiteral("y");   ///< label of the (left) y axis
    QString m_strY2Label;                        ///< label of the right-hand y axis, if any
    std::vector<CPlotPrint::SMarker> m_aMarkers; ///< marked x values of curve plots
};
