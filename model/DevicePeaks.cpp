#include "DevicePeaks.h"

#include <cmath>

namespace {

void Keep(double t, double current, double& peak, double& when) {
    if (std::fabs(current) > std::fabs(peak)) {
        peak = current;
        when = t;
    }
}

} // namespace

void CDevicePeaks::Add(double t, const double* it, const double* id) {
    for (int k = 1; k <= 6; ++k) {
        Keep(t, it[k], m_adTransistor[k], m_adTransistorT[k]);
        Keep(t, id[k], m_adDiode[k], m_adDiodeT[k]);
    }
}
