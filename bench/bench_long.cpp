// One long default calculation: wall time, real-time factor and the process's peak resident
// memory, for a chosen end time and storing interval.
// Usage: bench_long [te] [every]   (defaults 1 s and 1; run once per process: the peak is the
// process's own)
#include "Calculation.h"
#include "Solver.h"

#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    CParamSet set;
    set.m_time.m_dTe = argc > 1 ? std::atof(argv[1]) : 1.0;
    set.m_time.m_nEvery = argc > 2 ? std::atoi(argv[2]) : 1;

    const auto start = std::chrono::steady_clock::now();
    const CCalcResult result = Calculate(set, nullptr);
    const double wall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (!result.m_pSolver) {
        std::fprintf(stderr, "refused: %s\n", result.m_strMessage.c_str());
        return 1;
    }

    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const double peakMB = double(usage.ru_maxrss) * 1024 / 1e6; // ru_maxrss is in KiB
    // Processor time as well: on a shared machine it varies far less than the wall time.
    const double cpu = double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                       double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    const double simulated = set.m_time.m_dTe - set.m_time.m_dTs;
    std::printf("te %g s  every %d  points %u  stored rows %d  wall %.3f s  real-time factor "
                "%.3f (by processor time %.3f)  peak RSS %.1f MB  %s\n",
                set.m_time.m_dTe, set.m_time.m_nEvery, result.m_pSolver->m_nPoints, result.m_nRows,
                wall, simulated / wall, simulated / cpu, peakMB,
                result.m_status == ECalcStatus::Accepted ? "accepted" : "NOT accepted");
    return 0;
}
