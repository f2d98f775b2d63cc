#include "plot/PlotZoom.h"

#include <algorithm>
#include <cmath>

namespace {

/// [lo, hi] scaled by 1 / factor around centre.
void Scale(double& lo, double& hi, double centre, double factor) {
    lo = centre - (centre - lo) / factor;
    hi = centre + (hi - centre) / factor;
}

/// Widens [lo, hi] around its middle to at least span.
void Widen(double& lo, double& hi, double span) {
    if (hi - lo >= span)
        return;
    const double middle = lo / 2 + hi / 2;
    lo = middle - span / 2;
    hi = middle + span / 2;
}

/// Shifts [lo, hi] into [homeLo, homeHi]; false when it covers the home range.
bool Confine(double& lo, double& hi, double homeLo, double homeHi) {
    if (hi - lo >= homeHi - homeLo)
        return false;
    if (lo < homeLo) {
        hi += homeLo - lo;
        lo = homeLo;
    }
    if (hi > homeHi) {
        lo -= hi - homeHi;
        hi = homeHi;
    }
    return true;
}

bool Usable(double lo, double hi) {
    return std::isfinite(lo) && std::isfinite(hi) && hi > lo;
}

} // namespace

void CPlotZoom::Reset() {
    m_bX = m_bY = false;
}

void CPlotZoom::ZoomX(double lo, double hi, double centre, double factor, double homeLo,
                      double homeHi) {
    if (!Usable(lo, hi) || !Usable(homeLo, homeHi) || !(factor > 0) || !std::isfinite(centre))
        return;
    Scale(lo, hi, centre, factor);
    Widen(lo, hi, (homeHi - homeLo) * kMinSpan);
    m_bX = Confine(lo, hi, homeLo, homeHi);
    m_dXLo = lo;
    m_dXHi = hi;
}

void CPlotZoom::ZoomY(double lo, double hi, double centre, double factor, double homeLo,
                      double homeHi) {
    if (!Usable(lo, hi) || !(factor > 0) || !std::isfinite(centre))
        return;
    Scale(lo, hi, centre, factor);
    if (Usable(homeLo, homeHi))
        Widen(lo, hi, (homeHi - homeLo) * kMinSpan);
    if (!Usable(lo, hi))
        return;
    m_bY = true;
    m_dYLo = lo;
    m_dYHi = hi;
}

void CPlotZoom::PanX(double lo, double hi, double dx, double homeLo, double homeHi) {
    if (!Usable(lo, hi) || !Usable(homeLo, homeHi) || !std::isfinite(dx))
        return;
    lo += dx;
    hi += dx;
    m_bX = Confine(lo, hi, homeLo, homeHi);
    m_dXLo = lo;
    m_dXHi = hi;
}

void CPlotZoom::PanY(double lo, double hi, double dy) {
    if (!Usable(lo, hi) || !std::isfinite(dy) || !Usable(lo + dy, hi + dy))
        return;
    m_bY = true;
    m_dYLo = lo + dy;
    m_dYHi = hi + dy;
}

void CPlotZoom::ShowX(double a, double b, double homeLo, double homeHi) {
    if (!Usable(homeLo, homeHi) || !std::isfinite(a) || !std::isfinite(b))
        return;
    double lo = std::max(std::min(a, b), homeLo), hi = std::min(std::max(a, b), homeHi);
    if (hi < lo)
        return;
    Widen(lo, hi, (homeHi - homeLo) * kMinSpan);
    m_bX = Confine(lo, hi, homeLo, homeHi);
    m_dXLo = lo;
    m_dXHi = hi;
}
