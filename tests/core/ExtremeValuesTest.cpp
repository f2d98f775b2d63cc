#include "Calculation.h"
#include "Control.h"
#include "DiagPlots.h"
#include "Gclass.h"
#include "Mclass.h"
#include "ResultColumns.h"
#include "Solver.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <ostream>
#include <string>

namespace {

// The plan or the diagnostic plot that a set of extreme values gives: a refusal, or nothing
// when it is accepted.
std::optional<std::string> Judge(const std::string& strWhat, const CParamSet& set) {
    if (strWhat == "run")
        return PlanCalculation(set).m_refusal;
    CMclass m(18);
    CGclass g(18);
    CControl control;
    const CDiagPlot plot = strWhat == "inductance"
                               ? InductancePlot(set.m_inductancePlot, set.m_motor, m, g)
                           : strWhat == "flux" ? FluxPlot(set.m_fluxPlot, g)
                                               : VoltagePlot(set.m_voltagePlot, control);
    if (plot.Ok()) {
        for (std::size_t k = 0; k < plot.m_x.size(); ++k)
            EXPECT_TRUE(std::isfinite(plot.m_x[k]) && std::isfinite(plot.m_y[k])) << k;
        return std::nullopt;
    }
    return plot.m_strMessage;
}

struct CExtremeCase {
    const char* m_pszName;
    const char* m_pszWhat; ///< run, inductance, flux or pwm
    std::function<void(CParamSet&)> m_change;
    const char* m_pszNamed; ///< what the refusal names; null when the values are accepted
};

void PrintTo(const CExtremeCase& c, std::ostream* os) {
    *os << c.m_pszName;
}

class ExtremeValues : public testing::TestWithParam<CExtremeCase> {};

TEST_P(ExtremeValues, AreRefusedNamingTheFieldOrGiveFiniteResults) {
    const CExtremeCase& c = GetParam();
    CParamSet set;
    c.m_change(set);
    const std::optional<std::string> refusal = Judge(c.m_pszWhat, set);
    if (!c.m_pszNamed) {
        EXPECT_FALSE(refusal) << *refusal;
        return;
    }
    ASSERT_TRUE(refusal);
    EXPECT_NE(refusal->find(c.m_pszNamed), std::string::npos) << *refusal;
}

constexpr double kHuge = 1e308;

INSTANTIATE_TEST_SUITE_P(
    Inputs, ExtremeValues,
    testing::Values(
        // ts + h == ts: time would stand still and the derivatives divide by zero.
        CExtremeCase{"StepLostInTheStartTime", "run",
                     [](CParamSet& s) {
                         s.m_time.m_dTs = 1e17;
                         s.m_time.m_dTe = 100000000000000016.0;
                         s.m_time.m_dH = 1;
                     },
                     "h = 1 is not accepted with ts = 1e+17"},
        CExtremeCase{"StepBelowTheResolutionOfTheTime", "run",
                     [](CParamSet& s) {
                         s.m_time.m_dTs = 1e10;
                         s.m_time.m_dTe = 1e10 + 0.001;
                         s.m_time.m_dH = 1e-8;
                     },
                     "does not advance the time"},
        // Far from 0 but well resolved: accepted as before.
        CExtremeCase{"LateStartWithAFineStep", "run",
                     [](CParamSet& s) {
                         s.m_time.m_dTs = 1000;
                         s.m_time.m_dTe = 1000.01;
                         s.m_time.m_dH = 1e-7;
                     },
                     nullptr},
        CExtremeCase{"TablesBeyondTheMemory", "run",
                     [](CParamSet& s) {
                         // 2,000,000,000 rows of 600 bytes: more than any test machine has.
                         s.m_time.m_dH = 0.1 / 2e9;
                     },
                     "80 % of the"},
        CExtremeCase{"VoltagePlotOverTheWholeRange", "pwm",
                     [](CParamSet& s) {
                         s.m_voltagePlot.m_dTs = -kHuge;
                         s.m_voltagePlot.m_dTe = kHuge;
                     },
                     "ts = -1e+308 and te = 1e+308"},
        CExtremeCase{"InductanceAnglesOverTheWholeRange", "inductance",
                     [](CParamSet& s) {
                         s.m_inductancePlot.m_dAlfab = -kHuge;
                         s.m_inductancePlot.m_dAlfae = kHuge;
                     },
                     "alfab = -1e+308 and alfae = 1e+308"},
        CExtremeCase{"FluxAnglesOverTheWholeRange", "flux",
                     [](CParamSet& s) {
                         s.m_fluxPlot.m_dAlfab = -kHuge;
                         s.m_fluxPlot.m_dAlfae = kHuge;
                     },
                     "alfab = -1e+308 and alfae = 1e+308"},
        CExtremeCase{"InductanceMultipliersThatOverflow", "inductance",
                     [](CParamSet& s) {
                         s.m_motor.m_dMl = kHuge;
                         s.m_motor.m_dMm = kHuge;
                     },
                     "ml = 1e+308, mm = 1e+308"},
        CExtremeCase{"LargeButFiniteMultipliers", "inductance",
                     [](CParamSet& s) {
                         s.m_motor.m_dMl = 1e100;
                         s.m_motor.m_dMm = -1e100;
                     },
                     nullptr}),
    [](const testing::TestParamInfo<CExtremeCase>& info) {
        return std::string(info.param.m_pszName);
    });

// A run whose state stays finite can still overflow a derived column (a difference quotient);
// it is judged by every value it stores.
TEST(FirstNonFiniteResult, NamesTheColumnTheRowAndTheTime) {
    CSolver solver(4, kStateCols, kStateSize, kResultCols);
    for (std::uint32_t k = 0; k < 4; ++k)
        for (int c = 0; c < kResultCols; ++c)
            solver.m_ppResTab[k][c] = k == 0 ? 0.0 : 0.5 * k;
    EXPECT_FALSE(FirstNonFiniteResult(solver));
    solver.m_ppResTab[2][7] = std::numeric_limits<double>::infinity();
    solver.m_ppResTab[3][4] = std::nan("");
    const auto message = FirstNonFiniteResult(solver);
    ASSERT_TRUE(message);
    const std::string label(kResultLabels[7]);
    EXPECT_NE(message->find(label), std::string::npos) << *message;
    EXPECT_NE(message->find("(column 7) of row 2"), std::string::npos) << *message;
    EXPECT_NE(message->find("t = 1 s"), std::string::npos) << *message;
}

} // namespace
