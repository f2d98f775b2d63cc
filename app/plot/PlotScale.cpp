#include "plot/PlotScale.h"

#include <algorithm>
#include <cmath>

namespace PlotScale {

double RoundStep(double span, int nMaxSteps) {
    if (!(span > 0) || !std::isfinite(span) || nMaxSteps < 1)
        return 0;
    const double raw = span / nMaxSteps;
    double decade = std::pow(10.0, std::floor(std::log10(raw)));
    // log10 may land a hair off for exact powers of ten.
    if (decade * 10 <= raw)
        decade *= 10;
    for (double k : {1.0, 2.0, 5.0, 10.0}) {
        if (k * decade >= raw * (1 - 1e-12))
            return k * decade;
    }
    return 10 * decade;
}

std::vector<double> Ticks(double lo, double hi, double step) {
    std::vector<double> ticks;
    if (!(step > 0) || !std::isfinite(lo) || !std::isfinite(hi) || hi < lo)
        return ticks;
    const double hair = step * 1e-9;
    const double first = std::ceil((lo - hair) / step);
    const double last = std::floor((hi + hair) / step);
    if (last - first > 10000)
        return ticks;
    for (double k = first; k <= last; ++k)
        ticks.push_back(k * step);
    return ticks;
}

int Decimals(double step) {
    if (!(step > 0) || !std::isfinite(step) || step >= 1)
        return 0;
    // A 1-2-5 step below 1 has its one significant digit at the place of -floor(log10(step)).
    return std::clamp(int(std::ceil(-std::log10(step) - 1e-9)), 0, 15);
}

QString Number(double v, double step, int decimals) {
    if (std::fabs(v) < step * 1e-6)
        return QStringLiteral("0");
    return QString::asprintf("%.*f", decimals, v);
}

CTimeUnit TimeUnit(double stepSeconds) {
    if (stepSeconds >= 0.01)
        return {QStringLiteral("s"), 1.0};
    if (stepSeconds >= 1e-6)
        return {QStringLiteral("ms"), 1e3};
    return {QStringLiteral("\u00b5s"), 1e6};
}

bool IsSeconds(const QString& strLabel) {
    return strLabel.trimmed().endsWith(QStringLiteral("[s]"));
}

QString TimeLabel(const QString& strLabel, const CTimeUnit& unit) {
    if (!IsSeconds(strLabel))
        return strLabel;
    QString label = strLabel.trimmed();
    label.chop(3);
    return label + '[' + unit.m_strUnit + ']';
}

} // namespace PlotScale
