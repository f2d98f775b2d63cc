#include "Calculation.h"
#include "Commands.h"
#include "DiagPlots.h"
#include "Output.h"
#include "ParamArgs.h"
#include "ResultExport.h"

#include <cstdio>

int DiagMain(const CDiagOptions& options) {
    CParamSet set;
    const CStatus loaded = LoadParamArgs(options.m_strParams, options.m_overrides, set);
    if (!loaded.Ok())
        return ExitStatus(loaded);

    if (!CheckOutput(options.m_strOut))
        return kExitUsage;
    if (!options.m_strParams.empty() && !IsStandardOutput(options.m_strOut) &&
        CAtomicFile::SameDestination(options.m_strParams, options.m_strOut)) {
        std::fprintf(stderr,
                     "--out %s is the parameter file %s: the plot would replace it; write "
                     "the plot to another file.\n",
                     options.m_strOut.c_str(), options.m_strParams.c_str());
        return kExitUsage;
    }

    const CDiagPlot plot = DiagPlotOfKind(options.m_strKind, set);
    // Equal times are refused with their own message; "Tp > Tk?" is for reversed ones.
    if (plot.m_bTimesSwapped && set.m_voltagePlot.m_dTs != set.m_voltagePlot.m_dTe)
        std::fprintf(stderr, "%s\n", kMsgTpTk);
    if (!plot.Ok())
        return ExitStatus(plot);

    const CInterruptGuard interrupt;
    return WriteOutput(options.m_strOut, interrupt,
                       [&](std::FILE* pFile, const std::string& strName) {
                           return WritePlot(pFile, strName, kPlotCurve, plot.m_x.data(),
                                            plot.m_y.data(), nullptr, plot.m_x.size());
                       });
}
