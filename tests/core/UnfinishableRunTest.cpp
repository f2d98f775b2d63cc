// Runs the engine cannot finish: an allocation that fails refuses the run and the process
// lives on; a state that does not converge stops the run early.
#include "Calculation.h"
#include "Progress.h"
#include "Solver.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

namespace {

// Stops a run at its first question: a table that should not have fitted costs no time.
class CCancelAtOnce : public IProgressSink {
public:
    void Open(long long, long long) override {}
    void SetPos(long long) override {}
    void Close() override {}
    bool IsCancelled() const override { return true; }
};

// Address space the process holds [bytes].
std::uint64_t AddressSpace() {
    std::ifstream statm("/proc/self/statm");
    std::uint64_t pages = 0;
    statm >> pages;
    return pages * std::uint64_t(sysconf(_SC_PAGESIZE));
}

constexpr std::uint64_t kMB = 1000000;

struct COomCase {
    const char* m_pszName;
    std::uint64_t m_nHeadroom; ///< address space the child may add [bytes]
    const char* m_pszMessage;  ///< the system's text of the allocation that fails
};

void PrintTo(const COomCase& c, std::ostream* os) {
    *os << c.m_pszName;
}

// The state table of the one million stored rows below takes 136 MB, the result table 288 MB,
// the coil-flux table 144 MB: each headroom lets a different one fail.
const COomCase kOomCases[] = {
    {"StateTable", 50 * kMB, "B\u0142\u0105d przydzia\u0142u pam\u0119ci"},
    {"ResultTable", 200 * kMB, "B\u0142\u0105d przydzia\u0142u pam\u0119ci m_ppResTab"},
    {"FluxTable", 470 * kMB, "B\u0142\u0105d przydzia\u0142u pam\u0119ci m_pFluxTab"},
};

class OutOfMemory : public testing::TestWithParam<COomCase> {};

// In a child under an address-space limit: the failing run, the address space it leaves
// behind, and a small run after it. The child reports through a pipe, line by line.
std::string RunUnderLimit(std::uint64_t headroom) {
    int fds[2];
    if (pipe(fds) != 0)
        return "pipe failed";
    const pid_t child = fork();
    if (child == 0) {
        close(fds[0]);
        std::ostringstream report;
        CParamSet big;
        big.m_time.m_dTe = 5.0; // 1,000,000 rows of 600 bytes
        const std::uint64_t before = AddressSpace();
        const rlimit limit{before + headroom, before + headroom};
        setrlimit(RLIMIT_AS, &limit);
        CCancelAtOnce cancel;
        {
            const CCalcResult result = Calculate(big, &cancel);
            report << int(result.m_status) << '\n'
                   << result.m_strMessage << '\n'
                   << result.m_strDetail << '\n'
                   << (result.m_pSolver ? "solver" : "none") << '\n';
        }
        const std::uint64_t after = AddressSpace();
        report << (after > before + 16 * kMB ? "leaked " + std::to_string(after - before) : "freed")
               << '\n';
        CParamSet small;
        small.m_time.m_dTe = 0.001;
        report << int(Calculate(small, nullptr).m_status) << '\n';
        const std::string text = report.str();
        const ssize_t written = write(fds[1], text.data(), text.size());
        _exit(written == ssize_t(text.size()) ? 0 : 1);
    }
    close(fds[1]);
    std::string text;
    char buffer[4096];
    for (ssize_t n; (n = read(fds[0], buffer, sizeof buffer)) > 0;)
        text.append(buffer, std::size_t(n));
    close(fds[0]);
    int status = 0;
    waitpid(child, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        text += "child ended with status " + std::to_string(status);
    return text;
}

} // namespace

TEST_P(OutOfMemory, RefusesTheRunWithTheSystemsTextAndFreesWhatItHeld) {
    const std::string report = RunUnderLimit(GetParam().m_nHeadroom);
    std::istringstream lines(report);
    std::string status, message, detail, solver, memory, smallStatus;
    std::getline(lines, status);
    std::getline(lines, message);
    std::getline(lines, detail);
    std::getline(lines, solver);
    std::getline(lines, memory);
    std::getline(lines, smallStatus);
    ASSERT_EQ(status, std::to_string(int(ECalcStatus::Refused))) << report;
    EXPECT_EQ(message, GetParam().m_pszMessage);
    EXPECT_NE(detail.find("stored rows (600 MB) could not be allocated"), std::string::npos)
        << detail;
    EXPECT_NE(detail.find("store every"), std::string::npos) << detail;
    EXPECT_EQ(solver, "none");
    EXPECT_EQ(memory, "freed");
    EXPECT_EQ(smallStatus, std::to_string(int(ECalcStatus::Accepted))) << report;
}

INSTANTIATE_TEST_SUITE_P(Tables, OutOfMemory, testing::ValuesIn(kOomCases),
                         [](const testing::TestParamInfo<COomCase>& info) {
                             return std::string(info.param.m_pszName);
                         });

// A state that converges only at steps near the minimum stops early, with the message of a
// step that does not converge, instead of running for minutes.
TEST(HalvingStorm, StopsAfterTheWorkBoundWithTheSmallerStepMessage) {
    CParamSet set;
    set.m_control.m_dUd = 1e17;
    set.m_time.m_dTe = 0.0001; // 20 output points
    const CCalcResult result = Calculate(set, nullptr);
    ASSERT_EQ(result.m_status, ECalcStatus::Stopped) << result.m_strMessage;
    EXPECT_EQ(result.m_strMessage, kMsgSmallerStep);
    EXPECT_NE(result.m_strDetail.find("more than 16384 steps per output point"), std::string::npos)
        << result.m_strDetail;
    EXPECT_LE(result.m_pSolver->m_nStepCount, 20 * CSolver::kMaxStepsPerPoint);
}
