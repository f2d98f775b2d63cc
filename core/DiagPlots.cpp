#include "DiagPlots.h"

#include "Control.h"
#include "Gclass.h"
#include "Mclass.h"
#include "MessageText.h"

#include <cmath>

#include <optional>
#include <string_view>
#include <utility>

namespace {

/// The first refusal among the named integer fields of a group, checked against their ranges.
std::optional<std::string>
CheckFields(std::string_view group,
            std::initializer_list<std::pair<std::string_view, int>> values) {
    for (const auto& [key, value] : values) {
        if (const CFieldDesc* desc = FindField(group, key)) {
            if (auto refusal = CheckNumber(*desc, value))
                return refusal;
        }
    }
    return std::nullopt;
}

std::optional<std::string> CheckSamples(std::string_view plot, int N) {
    if (N >= 2)
        return std::nullopt;
    return "N = (" + std::string(plot) + ") " + std::to_string(N) +
           " is too few samples: a plot needs at least 2.";
}

CDiagPlot Refused(std::string message) {
    CDiagPlot plot;
    plot.m_code = EStatus::Refused;
    plot.m_strMessage = std::move(message);
    return plot;
}

std::string Named(std::string_view label, double value) {
    return std::string(label) + " " + ExactNumber(value);
}

// A plot of values that are not finite is no plot: it is refused naming the fields that gave
// the abscissae (strXFields) or the ordinates (strYFields). The curve is dropped.
void RefuseNonFinite(CDiagPlot& plot, std::string_view strPlot, const std::string& strXFields,
                     const std::string& strYFields) {
    for (std::size_t k = 0; k < plot.m_x.size(); ++k) {
        const bool xBad = !std::isfinite(plot.m_x[k]);
        if (!xBad && std::isfinite(plot.m_y[k]))
            continue;
        plot = Refused(std::string(strPlot) + ": sample " + std::to_string(k + 1) + " is " +
                       ExactNumber(plot.m_x[k]) + ", " + ExactNumber(plot.m_y[k]) +
                       ", not a finite number, with " + (xBad ? strXFields : strYFields) +
                       ": enter smaller values.");
        return;
    }
}

} // namespace

std::vector<double> AngleGrid(double alfab, double alfae, int N) {
    if (N < 1)
        return {};
    const double a = alfab * 2 * 3.1416 / 360;
    // With one sample there is no step; the grid is the start angle alone.
    const double d = N > 1 ? (alfae - alfab) * 2 * 3.1416 / 360 / (N - 1) : 0.0;
    std::vector<double> beta(static_cast<std::size_t>(N));
    for (int k = 0; k < N; ++k)
        beta[static_cast<std::size_t>(k)] = k * d + a;
    return beta;
}

CDiagPlot InductancePlot(const CIndSettings& s, const CMotorParams& motor, CMclass& m, CGclass& g) {
    if (auto refusal =
            CheckFields("inductance_plot", {{"X", s.m_nX}, {"Y", s.m_nY}, {"Nh", s.m_nNh}}))
        return Refused(*refusal);
    if (auto refusal = CheckSamples("Inductance plot", s.m_nN))
        return Refused(*refusal);

    m.m_nNh = static_cast<std::uint32_t>(s.m_nNh);
    m.m_dMl = motor.m_dMl;
    m.m_dMm = motor.m_dMm;
    g.m_nNh = static_cast<std::uint32_t>(s.m_nNh);
    g.m_dMl = motor.m_dMl;
    g.m_dMm = motor.m_dMm;

    CDiagPlot plot;
    plot.m_x = AngleGrid(s.m_dAlfab, s.m_dAlfae, s.m_nN);
    plot.m_y.resize(plot.m_x.size());
    for (std::size_t k = 0; k < plot.m_x.size(); ++k) {
        const double beta = plot.m_x[k];
        plot.m_y[k] = s.m_bRotation ? 1000 * g.InductanceDerivative(s.m_nX, s.m_nY, beta)
                                    : 1000 * m.Inductance(s.m_nX, s.m_nY, beta);
    }
    plot.m_strXLabel = "beta [rad]";
    plot.m_strYLabel = s.m_bRotation ? "G [mH/rad]" : "M [mH]";
    plot.m_code = EStatus::Ok;
    plot.m_strMessage.clear();
    const std::string angles =
        Named("alfab =", s.m_dAlfab) + " and " + Named("alfae =", s.m_dAlfae);
    RefuseNonFinite(plot, "Inductance plot", angles,
                    Named("ml =", motor.m_dMl) + ", " + Named("mm =", motor.m_dMm) + ", " + angles);
    return plot;
}

CDiagPlot FluxPlot(const CFluxPlotSettings& s, CGclass& g) {
    if (auto refusal = CheckFields(
            "flux_plot",
            {{"X", s.m_nX}, {"Y", s.m_nY}, {"Quantity", s.m_nQuantity}, {"Nh", s.m_nNh}}))
        return Refused(*refusal);
    if (auto refusal = CheckSamples("Excitation flux", s.m_nN))
        return Refused(*refusal);

    g.m_nNb = static_cast<std::uint32_t>(s.m_nNh + 1);

    CDiagPlot plot;
    plot.m_x = AngleGrid(s.m_dAlfab, s.m_dAlfae, s.m_nN);
    plot.m_y.assign(plot.m_x.size(), 0.0);
    const int coil = s.m_nX;
    const int magnet = s.m_nY;
    for (std::size_t k = 0; k < plot.m_x.size(); ++k) {
        const double beta = plot.m_x[k];
        double& y = plot.m_y[k];
        if (s.m_bAirGap) {
            for (int mag = 0; mag < 4; ++mag) {
                switch (s.m_nQuantity) {
                case 0:
                    y += g.FluxDensity(mag, beta);
                    break;
                case 1:
                    y += g.MagnetFlux(mag, beta);
                    break;
                default:
                    y += g.MagnetFluxDensityArc(mag, beta);
                    break;
                }
            }
        } else {
            switch (s.m_nQuantity) {
            case 0:
                y = g.FluxDensity(magnet, beta); // the coil plays no part in the flux density
                break;
            case 1:
                y = g.CoilPmFlux(coil, magnet, beta);
                break;
            default:
                y = g.CoilPmFluxDerivative(coil, magnet, beta);
                break;
            }
        }
    }
    static constexpr const char* kYLabels[3] = {"B [T]", "Psi [Wb]", "dPsi/dbeta [Wb/rad]"};
    plot.m_strXLabel = "beta [rad]";
    plot.m_strYLabel = kYLabels[s.m_nQuantity];
    plot.m_code = EStatus::Ok;
    plot.m_strMessage.clear();
    const std::string angles =
        Named("alfab =", s.m_dAlfab) + " and " + Named("alfae =", s.m_dAlfae);
    RefuseNonFinite(plot, "Excitation flux plot", angles, angles);
    return plot;
}

CDiagPlot VoltagePlot(const CVoltPlotSettings& s, CControl& control) {
    if (auto refusal = CheckFields("voltage_plot", {{"Phase", s.m_nPhase}}))
        return Refused(*refusal);
    if (auto refusal = CheckSamples("Voltage plot", s.m_nN))
        return Refused(*refusal);
    if (s.m_nN > kMaxPlotSamples) {
        return Refused("N = (Voltage plot) " + std::to_string(s.m_nN) +
                       " is too many samples to hold: enter at most " +
                       std::to_string(kMaxPlotSamples) + ".");
    }

    const bool swapped = !(s.m_dTs < s.m_dTe);
    const double start = swapped ? s.m_dTe : s.m_dTs;
    const double end = swapped ? s.m_dTs : s.m_dTe;
    if (!(start < end)) {
        CDiagPlot plot =
            Refused("ts = and te = (Voltage plot) are equal: the time interval is empty.");
        plot.m_bTimesSwapped = swapped;
        return plot;
    }

    CDiagPlot plot;
    plot.m_bTimesSwapped = swapped;
    plot.m_x.resize(static_cast<std::size_t>(s.m_nN));
    plot.m_y.resize(static_cast<std::size_t>(s.m_nN));
    const int written = control.PwmVoltage(start, end, s.m_nN, s.m_dFimp, 1.0, s.m_dMf, s.m_dMa,
                                           plot.m_x.data(), plot.m_y.data(), s.m_nPhase);
    plot.m_x.resize(static_cast<std::size_t>(written));
    plot.m_y.resize(static_cast<std::size_t>(written));
    plot.m_strXLabel = "t [s]";
    plot.m_strYLabel = "U [V]";
    plot.m_code = EStatus::Ok;
    plot.m_strMessage.clear();
    const std::string times = Named("ts =", s.m_dTs) + " and " + Named("te =", s.m_dTe);
    RefuseNonFinite(plot, "PWM voltage plot", times,
                    Named("fimp =", s.m_dFimp) + ", " + Named("mf =", s.m_dMf) + ", " +
                        Named("ma =", s.m_dMa) + ", " + times);
    plot.m_bTimesSwapped = swapped;
    return plot;
}

CDiagPlot DiagPlotOfKind(const std::string& strKind, const CParamSet& set) {
    // The program builds its plot models with the 18 coils of the winding.
    constexpr std::uint32_t kPlotModelSize = 18;
    if (strKind == "inductance") {
        CMclass m(kPlotModelSize);
        CGclass g(kPlotModelSize);
        return InductancePlot(set.m_inductancePlot, set.m_motor, m, g);
    }
    if (strKind == "flux") {
        CGclass g(kPlotModelSize);
        return FluxPlot(set.m_fluxPlot, g);
    }
    if (strKind == "pwm") {
        CControl control;
        return VoltagePlot(set.m_voltagePlot, control);
    }
    return Refused("kind \"" + strKind + "\" is not known: enter inductance, flux or pwm.");
}
