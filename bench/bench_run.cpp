// Wall time of the default and the heavy calculation, and of the export of the default table.
// Usage: bench_run [repetitions]   (the best of the repetitions is reported)
#include "Calculation.h"
#include "ResultExport.h"
#include "Solver.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point a, Clock::time_point b) {
    return std::chrono::duration<double>(b - a).count();
}

struct CRunFigures {
    double m_dWall = 1e300;  ///< best wall time [s]
    int m_nSteps = 0;        ///< steps attempted
    int m_nHalved = 0;       ///< steps beyond rows - 1
    double m_dSimulated = 0; ///< simulated time [s]
    bool m_bAccepted = false;
};

CRunFigures TimeCalculation(const CParamSet& set, int repetitions, CCalcResult* pKeep) {
    CRunFigures figures;
    for (int r = 0; r < repetitions; ++r) {
        const Clock::time_point start = Clock::now();
        CCalcResult result = Calculate(set, nullptr);
        const double wall = Seconds(start, Clock::now());
        if (wall < figures.m_dWall)
            figures.m_dWall = wall;
        if (!result.m_pSolver) {
            std::fprintf(stderr, "refused: %s\n", result.m_strMessage.c_str());
            std::exit(1);
        }
        figures.m_nSteps = result.m_pSolver->m_nStepCount;
        figures.m_nHalved = result.m_pSolver->m_nStepCount - (int(result.m_pSolver->m_nPoints) - 1);
        figures.m_bAccepted = result.m_status == ECalcStatus::Accepted;
        if (pKeep && r + 1 == repetitions)
            *pKeep = std::move(result);
    }
    figures.m_dSimulated = set.m_time.m_dTe - set.m_time.m_dTs;
    return figures;
}

void Print(const char* pszName, const CRunFigures& f, double target) {
    std::printf("%-40s wall %8.4f s  real-time factor %7.3f  steps/s %10.0f  steps %d  halved "
                "%d  %s  (target <= %.2f s: %s)\n",
                pszName, f.m_dWall, f.m_dSimulated / f.m_dWall, f.m_nSteps / f.m_dWall, f.m_nSteps,
                f.m_nHalved, f.m_bAccepted ? "accepted" : "NOT accepted", target,
                f.m_dWall <= target ? "met" : "missed");
}

} // namespace

int main(int argc, char** argv) {
    const int repetitions = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;

    CParamSet defaults;
    CCalcResult kept;
    Print("default (0.1 s, h = 5e-6, 20000 rows)", TimeCalculation(defaults, repetitions, &kept),
          0.1);

    CParamSet heavy;
    heavy.m_motor.m_nNhInd = 3;
    heavy.m_motor.m_nNhFlux = 99;
    Print("heavy (NhInd = 3, NhFlux = 99)", TimeCalculation(heavy, repetitions, nullptr), 0.5);

    // Export of the default table in the "Export results..." format.
    std::FILE* pNull = std::fopen("/dev/null", "wb");
    if (!pNull)
        return 1;
    double best = 1e300;
    for (int r = 0; r < repetitions; ++r) {
        const Clock::time_point start = Clock::now();
        const CExportStatus status =
            WriteResultTable(pNull, "/dev/null", kept.m_pSolver->m_ppResTab,
                             std::size_t(kept.m_nRows), kept.m_pSolver->m_nResCols);
        const double wall = Seconds(start, Clock::now());
        if (!status.m_bOk)
            return 1;
        best = std::min(best, wall);
    }
    std::fclose(pNull);
    std::printf("%-40s wall %8.4f s  (target <= 0.10 s: %s)\n", "export of 20000 rows", best,
                best <= 0.1 ? "met" : "missed");
    return 0;
}
