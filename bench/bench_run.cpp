// Wall time of the default and the heavy calculation (in-process, per step and as real-time
// factor), of the default drive under field-oriented control, of the default calculation with
// exact switching instants at the default step and at four times it, and of the export of the
// default table. With both "default" and "foc" the cost per step of field-oriented control
// against the scalar scheme is printed, the two measured alternately (best of each); with both
// "default" and "exact" the cost of exact mode per simulated second against the default's, and
// of exact mode at four times the step, the three measured alternately (best of each).
//
// Usage: bench_run [REPETITIONS] [--case default|heavy|foc|exact|exact4|export]...
//                  [--compare OTHER_BENCH_RUN]
//   REPETITIONS (default 5): the best of them is reported.
//   --case: only that case (may be given more than once; default all three).
//   --compare: runs this program and OTHER_BENCH_RUN (another build's bench_run, also an older
//   one that knows only REPETITIONS) as child processes, alternately, REPETITIONS rounds of
//   three repetitions each, and prints both figures and the ratio other / this. Both builds
//   are measured the same way, in one run, so the machine's load falls on both.
#include "Calculation.h"
#include "ResultExport.h"
#include "Solver.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

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

struct CCase {
    const char* m_pszKey;   ///< name on the command line
    const char* m_pszTitle; ///< first words of the printed line, also parsed by --compare
    double m_dWallTarget;   ///< [s]
    double m_dStepTarget;   ///< [us per step], 0: none
};

// Exact mode's targets follow from the default's: at most 1.5 times its cost per simulated
// second at the same step; it takes more (shorter) steps, so per step it may cost less.
constexpr CCase kCases[6] = {
    {"default", "default (0.1 s, h = 5e-6, 20000 rows)", 0.1, 2.0},
    {"heavy", "heavy (NhInd = 3, NhFlux = 99)", 0.5, 5.0},
    {"foc", "field-oriented (default, Scheme = 1)", 0.1, 2.0},
    {"exact", "exact switching (time.Exact, h = 5e-6)", 0.15, 3.0},
    {"exact4", "exact switching at 4 h (h = 2e-5)", 0.15, 12.0},
    {"export", "export of 20000 rows", 0.1, 0.0},
};
// A field-oriented step costs at most this much more than a scalar one.
constexpr double kFocStepRatioTarget = 1.10;

CParamSet CaseParams(const std::string& key) {
    CParamSet set;
    if (key == "heavy") {
        set.m_motor.m_nNhInd = 3;
        set.m_motor.m_nNhFlux = 99;
    }
    if (key == "foc")
        set.m_control.m_nScheme = 1;
    if (key == "exact" || key == "exact4")
        set.m_time.m_bExact = true;
    if (key == "exact4")
        set.m_time.m_dH = 4 * set.m_time.m_dH;
    return set;
}

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

double TimeExport(int repetitions) {
    CCalcResult kept;
    TimeCalculation(CParamSet(), 1, &kept);
    std::FILE* pNull = std::fopen("/dev/null", "wb");
    if (!pNull)
        std::exit(1);
    double best = 1e300;
    for (int r = 0; r < repetitions; ++r) {
        const Clock::time_point start = Clock::now();
        const CStatus status =
            WriteResultTable(pNull, "/dev/null", kept.m_pSolver->m_ppResTab.get(),
                             std::size_t(kept.m_nRows), kept.m_pSolver->m_nResCols);
        const double wall = Seconds(start, Clock::now());
        if (!status.Ok())
            std::exit(1);
        best = std::min(best, wall);
    }
    std::fclose(pNull);
    return best;
}

// The line format is read back by --compare: the title, then "wall <s> s", "steps <n>".
void PrintRun(const CCase& c, const CRunFigures& f) {
    const double us = 1e6 * f.m_dWall / f.m_nSteps;
    std::printf("%-40s wall %8.4f s  us/step %7.3f  real-time factor %7.3f  steps %d  halved %d  "
                "%s  (targets <= %.2f s, <= %.1f us/step: %s)\n",
                c.m_pszTitle, f.m_dWall, us, f.m_dSimulated / f.m_dWall, f.m_nSteps, f.m_nHalved,
                f.m_bAccepted ? "accepted" : "NOT accepted", c.m_dWallTarget, c.m_dStepTarget,
                f.m_dWall <= c.m_dWallTarget && us <= c.m_dStepTarget ? "met" : "missed");
}

void PrintExport(const CCase& c, double wall) {
    std::printf("%-40s wall %8.4f s  (target <= %.2f s: %s)\n", c.m_pszTitle, wall, c.m_dWallTarget,
                wall <= c.m_dWallTarget ? "met" : "missed");
}

// Runs one case and returns its best wall time [s].
double RunCase(const CCase& c, int repetitions) {
    double wall = 0.0;
    if (std::strcmp(c.m_pszKey, "export") == 0) {
        wall = TimeExport(repetitions);
        PrintExport(c, wall);
    } else {
        const CRunFigures figures = TimeCalculation(CaseParams(c.m_pszKey), repetitions, nullptr);
        wall = figures.m_dWall;
        PrintRun(c, figures);
    }
    std::fflush(stdout);
    return wall;
}

// The default and the field-oriented case, alternately, best of each: their cost per step.
void PrintFocRatio(int repetitions) {
    CRunFigures scalar, foc;
    for (int r = 0; r < repetitions; ++r) {
        const CRunFigures a = TimeCalculation(CaseParams("default"), 1, nullptr);
        const CRunFigures b = TimeCalculation(CaseParams("foc"), 1, nullptr);
        if (a.m_dWall < scalar.m_dWall)
            scalar = a;
        if (b.m_dWall < foc.m_dWall)
            foc = b;
    }
    const double usScalar = 1e6 * scalar.m_dWall / scalar.m_nSteps;
    const double usFoc = 1e6 * foc.m_dWall / foc.m_nSteps;
    const double ratio = usFoc / usScalar;
    std::printf(
        "field-oriented / scalar per step: %.3f us / %.3f us = %.3f  (target <= %.2f: %s)\n", usFoc,
        usScalar, ratio, kFocStepRatioTarget, ratio <= kFocStepRatioTarget ? "met" : "missed");
    std::fflush(stdout);
}

// The default, exact and exact-at-4-h cases, alternately, best of each, so that the machine's
// load falls on all three: exact mode's cost per simulated second over the default's.
void PrintExactRatio(int repetitions) {
    double best[3] = {1e300, 1e300, 1e300};
    const char* keys[3] = {"default", "exact", "exact4"};
    for (int r = 0; r < repetitions; ++r)
        for (int k = 0; k < 3; ++k)
            best[k] = std::min(best[k], TimeCalculation(CaseParams(keys[k]), 1, nullptr).m_dWall);
    const double ratio = best[1] / best[0];
    std::printf("exact / default per simulated second at the same step: %.2f (target <= 1.5: "
                "%s); exact at 4 h / default: %.2f (alternating, best of %d)\n",
                ratio, ratio <= 1.5 ? "met" : "missed", best[2] / best[0], repetitions);
    std::fflush(stdout);
}

// Figures of one case read from a bench_run's output.
struct CParsed {
    double m_dWall = 1e300; ///< [s]
    int m_nSteps = 0;       ///< 0 for the export
};

bool ParseLine(const CCase& c, const char* pszLine, CParsed& out) {
    if (std::strncmp(pszLine, c.m_pszTitle, std::strlen(c.m_pszTitle)) != 0)
        return false;
    const char* pWall = std::strstr(pszLine, " wall ");
    if (!pWall || std::sscanf(pWall, " wall %lf", &out.m_dWall) != 1)
        return false;
    const char* pSteps = std::strstr(pszLine, " steps ");
    if (pSteps)
        std::sscanf(pSteps, " steps %d", &out.m_nSteps);
    return true;
}

// Runs a bench_run for one case and returns its figures; an older bench_run runs every case
// and its other lines are skipped.
CParsed RunChild(const std::string& strProgram, const CCase& c, int repetitions) {
    const std::string command = "'" + strProgram + "' " + std::to_string(repetitions) + " --case " +
                                c.m_pszKey + " 2>/dev/null";
    std::FILE* pPipe = popen(command.c_str(), "r");
    CParsed parsed;
    bool found = false;
    if (pPipe) {
        char line[1024];
        while (std::fgets(line, sizeof line, pPipe))
            found = ParseLine(c, line, parsed) || found;
        pclose(pPipe);
    }
    if (!found) {
        std::fprintf(stderr, "no figures for \"%s\" from %s\n", c.m_pszKey, strProgram.c_str());
        std::exit(1);
    }
    return parsed;
}

void Compare(const std::string& strSelf, const std::string& strOther,
             const std::vector<const CCase*>& cases, int rounds) {
    std::printf("this:  %s\nother: %s\n%d rounds, alternating, best of 3 repetitions each\n",
                strSelf.c_str(), strOther.c_str(), rounds);
    for (const CCase* c : cases) {
        CParsed self, other;
        for (int r = 0; r < rounds; ++r) {
            const CParsed a = RunChild(strSelf, *c, 3);
            const CParsed b = RunChild(strOther, *c, 3);
            if (a.m_dWall < self.m_dWall)
                self = a;
            if (b.m_dWall < other.m_dWall)
                other = b;
        }
        if (self.m_nSteps > 0 && other.m_nSteps > 0) {
            const double usSelf = 1e6 * self.m_dWall / self.m_nSteps;
            const double usOther = 1e6 * other.m_dWall / other.m_nSteps;
            const double simulated = CaseParams(c->m_pszKey).m_time.m_dTe;
            std::printf("%-8s this %7.3f us/step (%7.4f s, real-time factor %6.3f)  other %7.3f "
                        "us/step (%7.4f s, real-time factor %6.3f)  other/this %5.2f\n",
                        c->m_pszKey, usSelf, self.m_dWall, simulated / self.m_dWall, usOther,
                        other.m_dWall, simulated / other.m_dWall, usOther / usSelf);
        } else {
            std::printf("%-8s this %7.4f s  other %7.4f s  other/this %5.2f\n", c->m_pszKey,
                        self.m_dWall, other.m_dWall, other.m_dWall / self.m_dWall);
        }
        std::fflush(stdout);
    }
}

[[noreturn]] void Usage(const char* pszProblem) {
    std::fprintf(
        stderr,
        "%s\nusage: bench_run [REPETITIONS] [--case default|heavy|foc|exact|exact4|export]... "
        "[--compare OTHER_BENCH_RUN]\n",
        pszProblem);
    std::exit(2);
}

} // namespace

int main(int argc, char** argv) {
    int repetitions = 5;
    std::string strOther;
    std::vector<const CCase*> cases;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--case" || arg == "--compare") {
            if (i + 1 >= argc)
                Usage((arg + " needs a value").c_str());
            const std::string value = argv[++i];
            if (arg == "--compare") {
                strOther = value;
                continue;
            }
            const auto it = std::find_if(std::begin(kCases), std::end(kCases),
                                         [&](const CCase& c) { return value == c.m_pszKey; });
            if (it == std::end(kCases))
                Usage(("unknown case \"" + value + "\"").c_str());
            cases.push_back(&*it);
        } else {
            char* pEnd = nullptr;
            const long n = std::strtol(arg.c_str(), &pEnd, 10);
            if (pEnd == arg.c_str() || *pEnd != '\0' || n < 1 || n > 1000)
                Usage(("not a repetition count 1..1000: \"" + arg + "\"").c_str());
            repetitions = int(n);
        }
    }
    if (cases.empty())
        for (const CCase& c : kCases)
            cases.push_back(&c);

    if (!strOther.empty()) {
        char self[4096];
        const ssize_t len = readlink("/proc/self/exe", self, sizeof self - 1);
        if (len <= 0)
            Usage("cannot find this program's own path");
        self[len] = '\0';
        Compare(self, strOther, cases, repetitions);
        return 0;
    }
    for (const CCase* c : cases)
        RunCase(*c, repetitions);
    auto chosen = [&](const char* key) {
        return std::any_of(cases.begin(), cases.end(),
                           [&](const CCase* c) { return std::strcmp(c->m_pszKey, key) == 0; });
    };
    if (chosen("default") && chosen("foc"))
        PrintFocRatio(repetitions);
    if (chosen("default") && chosen("exact"))
        PrintExactRatio(repetitions);
    return 0;
}
