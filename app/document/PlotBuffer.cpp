#include "document/PlotBuffer.h"

#include <QStringList>

#include <algorithm>

void CPlotBuffer::Alloc(unsigned n) {
    m_pPlotX.assign(n, 0.0);
    m_pPlotY.assign(n, 0.0);
    m_pPlotTmp.assign(n, 0.0);
    m_vecMore.clear();
    m_strFirstLabel.clear();
    m_strFirstSource.clear();
    m_strY2Label.clear();
    m_nPlotCount = n;
}

std::vector<CPlotPrint::SCurve> CPlotBuffer::Curves(const QString& strTitle) const {
    const QString strFirst = FirstSource(strTitle);
    const bool bMixed = std::any_of(m_vecMore.begin(), m_vecMore.end(), [&](const CPlotCurve& c) {
        return (c.m_strSource.isEmpty() ? strTitle : c.m_strSource) != strFirst;
    });
    const auto named = [bMixed](const QString& strLabel, const QString& strSource) {
        return bMixed ? strLabel + QStringLiteral(" \u00b7 ") + strSource : strLabel;
    };
    std::vector<CPlotPrint::SCurve> curves;
    curves.push_back({m_pPlotY.data(), named(FirstLabel(), strFirst)});
    for (const CPlotCurve& curve : m_vecMore) {
        CPlotPrint::SCurve drawn{
            curve.m_vecY.data(),
            named(curve.m_strLabel, curve.m_strSource.isEmpty() ? strTitle : curve.m_strSource)};
        if (curve.m_pX) {
            drawn.m_pX = curve.m_pX->data();
            drawn.m_nCount = std::min(curve.m_pX->size(), curve.m_vecY.size());
        }
        drawn.m_nAxis = curve.m_nAxis;
        curves.push_back(drawn);
    }
    return curves;
}

void CPlotBuffer::Samples(int nCurve, std::vector<double>& x, std::vector<double>& y) const {
    const std::size_t count = m_nPlotCount;
    if (nCurve <= 0) {
        x.assign(m_pPlotX.begin(), m_pPlotX.begin() + count);
        y.assign(m_pPlotY.begin(), m_pPlotY.begin() + count);
        return;
    }
    const CPlotCurve& curve = m_vecMore[nCurve - 1];
    const std::vector<double>& ownX = curve.m_pX ? *curve.m_pX : m_pPlotX;
    const std::size_t n = std::min(curve.m_pX ? ownX.size() : count, curve.m_vecY.size());
    x.assign(ownX.begin(), ownX.begin() + n);
    y.assign(curve.m_vecY.begin(), curve.m_vecY.begin() + n);
}

void CPlotBuffer::Replace(std::vector<double> x, std::vector<double> y, std::vector<double> work) {
    m_nPlotCount = unsigned(x.size());
    m_pPlotX = std::move(x);
    m_pPlotY = std::move(y);
    m_pPlotTmp = std::move(work);
    m_vecMore.clear();
    m_strFirstLabel.clear();
    m_strFirstSource.clear();
    m_strY2Label.clear();
}

void CPlotBuffer::SetLabels(const QString& strXLabel, const QString& strYLabel) {
    m_strXLabel = strXLabel;
    m_strYLabel = strYLabel;
}

void CPlotBuffer::SetSharedYLabel() {
    // Each axis names its quantities once, with the unit they share.
    QStringList names[2];
    QString units[2];
    const auto take = [&](const QString& strLabel, int nAxis) {
        const qsizetype open = strLabel.lastIndexOf('[');
        const QString name = strLabel.left(open).trimmed();
        if (!names[nAxis].contains(name))
            names[nAxis] << name;
        units[nAxis] = open < 0 ? QString() : strLabel.mid(open);
    };
    take(FirstLabel(), 0);
    for (const CPlotCurve& curve : m_vecMore)
        take(curve.m_strLabel, curve.m_nAxis);
    const auto label = [&](int nAxis) {
        return names[nAxis].join(", ") + (units[nAxis].isEmpty() ? QString() : " " + units[nAxis]);
    };
    m_strYLabel = label(0);
    m_strY2Label = names[1].isEmpty() ? QString() : label(1);
}

QString CPlotBuffer::UnitOf(const QString& strLabel) {
    const qsizetype open = strLabel.lastIndexOf('[');
    const qsizetype close = strLabel.indexOf(']', open);
    return open < 0 || close < 0 ? QString() : strLabel.mid(open + 1, close - open - 1);
}

void CPlotBuffer::ApplyTo(CPlotPrint& plot) const {
    plot.SetLabels(m_strXLabel, m_strYLabel);
    plot.m_strY2Label = m_strY2Label;
    plot.m_aMarkers = m_aMarkers;
}
