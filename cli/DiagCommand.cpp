#include "Calculation.h"
#include "Commands.h"
#include "Control.h"
#include "DiagPlots.h"
#include "Gclass.h"
#include "Mclass.h"
#include "Output.h"
#include "ParamArgs.h"
#include "ResultExport.h"

#include <cstdio>

namespace {

// The program builds its plot models with the 18 coils of the winding.
constexpr std::uint32_t kPlotModelSize = 18;

CDiagPlot MakePlot(const std::string& strKind, const CParamSet& set) {
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
    CDiagPlot unknown;
    unknown.m_strMessage = "KIND \"" + strKind + "\" is not known: enter inductance, flux or pwm.";
    return unknown;
}

} // namespace

int DiagMain(const CDiagOptions& options) {
    CParamSet set;
    const CFileStatus loaded = LoadParamArgs(options.m_strParams, options.m_overrides, set);
    if (!loaded.m_bOk) {
        std::fprintf(stderr, "%s\n", loaded.m_strMessage.c_str());
        return kExitUsage;
    }

    if (!CheckOutput(options.m_strOut))
        return kExitUsage;

    const CDiagPlot plot = MakePlot(options.m_strKind, set);
    if (plot.m_bTimesSwapped)
        std::fprintf(stderr, "%s\n", kMsgTpTk);
    if (!plot.m_bOk) {
        std::fprintf(stderr, "%s\n", plot.m_strMessage.c_str());
        return kExitUsage;
    }

    const CInterruptGuard interrupt;
    return WriteOutput(options.m_strOut, interrupt,
                       [&](std::FILE* pFile, const std::string& strName) {
                           return WritePlot(pFile, strName, kPlotCurve, plot.m_x.data(),
                                            plot.m_y.data(), nullptr, plot.m_x.size());
                       });
}
