#pragma once

#include "ParamSet.h"
#include "Status.h"

#include <string>
#include <vector>

class CMclass;
class CGclass;
class CControl;

/// Most samples a PWM voltage plot may ask for (its N has no upper bound of its own); the plot
/// buffer of the program holds three arrays of this length.
inline constexpr int kMaxPlotSamples = 20000000;

/// A curve made by one of the diagnostic plots, or why none was made.
struct CDiagPlot : CStatus {
    bool m_bTimesSwapped = false; ///< PWM: ts was not before te ("Tp > Tk?"); exchanged
    std::vector<double> m_x;      ///< abscissae: angles [rad] or times [s]
    std::vector<double> m_y;      ///< ordinates, same length as m_x
    std::string m_strXLabel;      ///< "beta [rad]", "t [s]"
    std::string m_strYLabel;      ///< "M [mH]", "B [T]", "U [V]" ...
};

/// The angle grid of the inductance and excitation-flux plots: N angles [rad] from alfab to
/// alfae [deg], both included, converted with pi taken as 3.1416. One angle (alfab) for N = 1,
/// none for N < 1.
std::vector<double> AngleGrid(double alfab, double alfae, int N);

/// "Inductance plot...": 1000 times the inductance between coils m_nX and m_nY [mH], or its
/// derivative [mH/rad] when m_bRotation is set, over the angle grid. Sets the harmonics and the
/// self and mutual multipliers (ml, mm of motor) of both model objects first. Refuses fewer
/// than two samples and coil indices outside 0..17.
CDiagPlot InductancePlot(const CIndSettings& settings, const CMotorParams& motor, CMclass& m,
                         CGclass& g);

/// "Excitation flux plot...": flux density, flux or flux derivative of the four magnets summed
/// at the air-gap angle ("Air gap"), or of magnet m_nY alone (flux density) or linked with coil
/// m_nX, over the angle grid. Sets g's flux-density harmonic bound to m_nNh + 1 first. Refuses
/// fewer than two samples and indices outside their ranges.
CDiagPlot FluxPlot(const CFluxPlotSettings& settings, CGclass& g);

/// "PWM voltage plot...": the phase voltage of ideal SVPWM per unit of DC voltage over the
/// interval from ts to te, exchanged (m_bTimesSwapped) when ts is not before te. The curve
/// holds the points the modulator writes (N - 1, or N when rounding leaves room for one more).
/// Refuses fewer than two samples, more than kMaxPlotSamples, and an empty interval.
///
/// Every plot refuses, naming the fields that gave them, samples that are not finite (angles
/// or times too large to subtract, multipliers that overflow).
CDiagPlot VoltagePlot(const CVoltPlotSettings& settings, CControl& control);

/// The diagnostic plot of the given kind ("inductance", "flux" or "pwm") from the plot
/// settings of set, on model objects of the winding's 18 coils, as kalvor-cli's diag and the
/// Python package make it; an unknown kind is refused with a message naming it.
CDiagPlot DiagPlotOfKind(const std::string& strKind, const CParamSet& set);
