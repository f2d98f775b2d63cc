#include "Control.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <ostream>
#include <string>
#include <vector>

namespace {

using States = std::array<int, 3>;

States SwitchStates(const CControl& c) {
    return {c.m_nSwitch[0], c.m_nSwitch[1], c.m_nSwitch[2]};
}

// The control as the parameter transfer leaves it for SVPWM with the default fT and Ud.
CControl MakeSvpwm(double amplitude) {
    CControl c;
    c.m_dTc = 1 / 5000.0;
    c.m_dUd = 200;
    c.m_dCarrierTime = 1000.0;
    c.m_dRonT = 0.1;
    c.m_dRoffT = 1000;
    c.m_dAmplitude = amplitude;
    return c;
}

// The angle for which the SVPWM vector (at -angle) lies in the middle of sector k.
double MidSectorAngle(int k) {
    return CControl::kFullTurn - (k + 0.5) * CControl::kSector;
}

// Distinct consecutive switch states of the steps, collapsing repeats.
std::vector<States> Collapse(const std::vector<States>& steps) {
    std::vector<States> out;
    for (const States& s : steps) {
        if (out.empty() || out.back() != s)
            out.push_back(s);
    }
    return out;
}

// Runs SVPWM steps and splits the switch states into carrier periods (at each sign flip).
std::vector<std::vector<States>> SvpwmPeriods(CControl& c, double angle, double h, int steps) {
    std::vector<std::vector<States>> periods;
    int sign = c.m_nSequenceSign;
    for (int i = 0; i < steps; ++i) {
        c.SvpwmStep(angle, h);
        if (c.m_nSequenceSign != sign || periods.empty()) {
            periods.emplace_back();
            sign = c.m_nSequenceSign;
        }
        periods.back().push_back(SwitchStates(c));
    }
    return periods;
}

} // namespace

TEST(CControl, NewControlStartsWithSignMinusOneAndNoReference) {
    CControl c;
    EXPECT_EQ(c.m_nSequenceSign, -1);
    EXPECT_EQ(c.m_dOmegaRRef, 0.0);
    EXPECT_EQ(SwitchStates(c), (States{0, 0, 0}));
}

TEST(CControl, CarrierPeriodLastsFortyStepsWithDefaultFtAndStep) {
    CControl c = MakeSvpwm(0.5);
    const double h = 0.000005;
    std::vector<int> starts;
    int sign = c.m_nSequenceSign;
    for (int i = 0; i < 400; ++i) {
        c.SvpwmStep(MidSectorAngle(2), h);
        if (c.m_nSequenceSign != sign) {
            starts.push_back(i);
            sign = c.m_nSequenceSign;
        }
    }
    // The first step starts a period at once (carrier time 1000 s after the transfer).
    ASSERT_GE(starts.size(), 9u);
    EXPECT_EQ(starts[0], 0);
    for (std::size_t i = 1; i < starts.size(); ++i)
        EXPECT_EQ(starts[i] - starts[i - 1], 40) << "period " << i;
}

class CControlSector : public ::testing::TestWithParam<int> {};

TEST_P(CControlSector, MidSectorPicksItsPairWithEqualDwellTimes) {
    const int k = GetParam();
    CControl c = MakeSvpwm(0.5);
    c.SvpwmStep(MidSectorAngle(k), 0.000005);
    EXPECT_EQ(c.m_nVecA, k + 1);
    EXPECT_EQ(c.m_nVecB, k == 5 ? 1 : k + 2);
    // In the middle of a sector both active vectors share the time equally (the truncated
    // table constants allow a small difference).
    EXPECT_NEAR(c.m_dT1, c.m_dT2, 1e-4 * c.m_dTc);
    EXPECT_GT(c.m_dT0, 0.0);
    EXPECT_NEAR(c.m_dT0 + c.m_dT1 + c.m_dT2, c.m_dTc, 1e-15);
}

INSTANTIATE_TEST_SUITE_P(AllSectors, CControlSector, ::testing::Range(0, 6));

TEST(CControl, FullAmplitudeMidSectorClipsZeroTimeAndKeepsVectorBToTheEnd) {
    CControl c = MakeSvpwm(1.0);
    const double angle = MidSectorAngle(0);
    const double h = 0.000005;
    auto periods = SvpwmPeriods(c, angle, h, 40);
    ASSERT_EQ(periods.size(), 1u);
    // Hand derivation at 30 degrees: T1 = T2 = Tc (0.866 * 0.7071 - 0.5 * s/2) / (s * 0.7071)
    // = 0.7072 Tc, so T1 + T2 exceeds Tc.
    EXPECT_NEAR(c.m_dT1 / c.m_dTc, 0.7072, 2e-4);
    EXPECT_NEAR(c.m_dT2 / c.m_dTc, 0.7072, 2e-4);
    EXPECT_EQ(c.m_dT0, 0.0);
    // First period runs with sign +1: zero vector at its first step, then A (100), then B
    // (110) until the period ends.
    const std::vector<States> seen = Collapse(periods[0]);
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[0], (States{0, 0, 0}));
    EXPECT_EQ(seen[1], (States{1, 0, 0}));
    EXPECT_EQ(seen[2], (States{1, 1, 0}));
    EXPECT_EQ(periods[0].back(), (States{1, 1, 0}));
}

TEST(CControl, ConsecutivePeriodsRunTheSequenceAndItsMirror) {
    CControl c = MakeSvpwm(0.5);
    auto periods = SvpwmPeriods(c, MidSectorAngle(0), 0.000005, 120);
    ASSERT_EQ(periods.size(), 3u);
    const std::vector<States> forward{{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {1, 1, 1}};
    const std::vector<States> mirror{{1, 1, 1}, {1, 1, 0}, {1, 0, 0}, {0, 0, 0}};
    EXPECT_EQ(Collapse(periods[0]), forward);
    EXPECT_EQ(Collapse(periods[1]), mirror);
    EXPECT_EQ(Collapse(periods[2]), forward);
    // Every change of vector, also across period boundaries, switches a single leg.
    States last = periods[0].front();
    for (const auto& period : periods) {
        for (const States& s : period) {
            int changed = 0;
            for (int leg = 0; leg < 3; ++leg)
                changed += s[leg] != last[leg];
            EXPECT_LE(changed, 1);
            last = s;
        }
    }
}

TEST(CControl, SwitchStatesSetBothTransistorsOfEachLeg) {
    CControl c = MakeSvpwm(0.5);
    c.m_nSwitch[0] = 1;
    c.m_nSwitch[1] = 0;
    c.m_nSwitch[2] = 1;
    c.ApplySwitchStates();
    EXPECT_EQ(c.m_dRT[1], c.m_dRonT);
    EXPECT_EQ(c.m_dRT[4], c.m_dRoffT);
    EXPECT_EQ(c.m_dRT[2], c.m_dRoffT);
    EXPECT_EQ(c.m_dRT[5], c.m_dRonT);
    EXPECT_EQ(c.m_dRT[3], c.m_dRonT);
    EXPECT_EQ(c.m_dRT[6], c.m_dRoffT);
}

TEST(CControl, EachControlStartsItsOwnSequenceAtMinusOne) {
    CControl first = MakeSvpwm(0.5);
    SvpwmPeriods(first, MidSectorAngle(0), 0.000005, 40);
    CControl second = MakeSvpwm(0.5);
    auto periods = SvpwmPeriods(second, MidSectorAngle(0), 0.000005, 40);
    EXPECT_EQ(Collapse(periods[0])[1], (States{1, 0, 0}));
}

// Speed-path parsing.

struct PathCase {
    std::string text;
    int count;
    std::vector<CPathPoint> points; // the points and the entry after them
};

void PrintTo(const PathCase& pc, std::ostream* os) {
    *os << '"' << pc.text << '"';
}

class CControlPathParse : public ::testing::TestWithParam<PathCase> {};

TEST_P(CControlPathParse, ParsesPointsAndEndMarker) {
    const PathCase& pc = GetParam();
    CControl c;
    c.m_strSpeedPath = pc.text;
    EXPECT_TRUE(c.ParseSpeedPath());
    EXPECT_EQ(c.m_nPathCount, pc.count);
    EXPECT_EQ(CControl::CountPathPoints(pc.text), pc.count);
    for (std::size_t i = 0; i < pc.points.size(); ++i) {
        EXPECT_EQ(c.m_path[i].time, pc.points[i].time) << "entry " << i;
        EXPECT_EQ(c.m_path[i].speed, pc.points[i].speed) << "entry " << i;
    }
}

constexpr double kEnd = CControl::kPathEnd;

INSTANTIATE_TEST_SUITE_P(
    Texts, CControlPathParse,
    ::testing::Values(
        PathCase{"0.0*100.0*", 1, {{0, 100}, {kEnd, 0}}},
        PathCase{"0.0*50.0*0.01*150.0*", 2, {{0, 50}, {0.01, 150}, {kEnd, 0}}},
        // Missing final separator: the last token is dropped, no end marker.
        PathCase{"0.0*100.0", 0, {{0, 0}, {0, 0}}},
        PathCase{"0*50*0.01*150", 1, {{0, 50}, {0.01, 0}, {0, 0}}},
        // The second of two separators becomes part of the next token, which reads as 0.
        PathCase{"0**100*", 1, {{0, 0}, {kEnd, 0}}},
        // Surrounding white space is trimmed, so the end marker survives.
        PathCase{"0.0*100.0* ", 1, {{0, 100}, {kEnd, 0}}},
        PathCase{"\t0.0*100.0*\r\n", 1, {{0, 100}, {kEnd, 0}}},
        PathCase{"0*50*\n0.01*150*", 2, {{0, 50}, {0.01, 150}, {kEnd, 0}}},
        // Not a number reads as 0, a number followed by text as the number.
        PathCase{"abc*100*0.5s*-20rad*", 2, {{0, 100}, {0.5, -20}, {kEnd, 0}}}));

std::string PathOfPoints(int n) {
    std::string text;
    for (int i = 0; i < n; ++i)
        text += std::to_string(i * 0.001) + "*" + std::to_string(10 * i) + "*";
    return text;
}

TEST(CControl, NinetyNinePointsFitWithTheirEndMarker) {
    CControl c;
    c.m_strSpeedPath = PathOfPoints(99);
    EXPECT_TRUE(c.ParseSpeedPath());
    EXPECT_EQ(c.m_nPathCount, 99);
    EXPECT_EQ(c.m_path[98].speed, 980.0);
    EXPECT_EQ(c.m_path[99].time, CControl::kPathEnd);
    EXPECT_TRUE(CControl::SpeedPathMessage(c.m_strSpeedPath).empty());
}

TEST(CControl, MoreThanNinetyNinePointsAreRefusedWithAMessage) {
    CControl c;
    c.m_strSpeedPath = PathOfPoints(100);
    EXPECT_EQ(CControl::CountPathPoints(c.m_strSpeedPath), 100);
    EXPECT_FALSE(c.ParseSpeedPath());
    EXPECT_EQ(c.m_nPathCount, 0);
    const std::string message = CControl::SpeedPathMessage(c.m_strSpeedPath);
    EXPECT_NE(message.find("omegaR*"), std::string::npos) << message;
    EXPECT_NE(message.find("100"), std::string::npos) << message;
    EXPECT_NE(message.find("99"), std::string::npos) << message;
}

// Speed-path application over a run with the default step.

std::vector<double> ReferenceOverRun(const std::string& path, double ts, double te, double h) {
    CControl c;
    c.m_strSpeedPath = path;
    c.m_nPathIndex = 0;
    c.ParseSpeedPath();
    std::vector<double> refs;
    for (double t = ts; t < te; t += h) {
        c.StepSpeedPath(t);
        refs.push_back(c.m_dOmegaRRef);
    }
    return refs;
}

TEST(CControl, TwoPointPathRaisesReferenceAtEachPointTime) {
    const double h = 0.000005;
    CControl c;
    c.m_strSpeedPath = "0.0*50.0*0.01*150.0*";
    c.ParseSpeedPath();
    double t = 0;
    c.StepSpeedPath(t);
    EXPECT_EQ(c.m_dOmegaRRef, 50.0);
    double raisedAt = -1;
    for (int i = 0; i < 4000; ++i) {
        t += h;
        c.StepSpeedPath(t);
        if (raisedAt < 0 && c.m_dOmegaRRef == 150.0)
            raisedAt = t;
        if (raisedAt < 0) {
            EXPECT_EQ(c.m_dOmegaRRef, 50.0);
        }
    }
    // First step at or after 0.01 s.
    EXPECT_GE(raisedAt, 0.01);
    EXPECT_LT(raisedAt - h, 0.01);
}

TEST(CControl, PathWithoutFinalSeparatorGivesNoReference) {
    for (double ref : ReferenceOverRun("0.0*100.0", 0, 0.01, 0.000005))
        ASSERT_EQ(ref, 0.0);
}

TEST(CControl, RunStartingAfterFirstPointStillGetsItsReference) {
    const std::vector<double> late = ReferenceOverRun("0.0*50.0*0.01*150.0*", 0.02, 0.021, 5e-6);
    ASSERT_FALSE(late.empty());
    EXPECT_EQ(late.front(), 150.0);
    const std::vector<double> between =
        ReferenceOverRun("0.0*50.0*0.01*150.0*", 0.005, 0.011, 5e-6);
    EXPECT_EQ(between.front(), 50.0);
    EXPECT_EQ(between.back(), 150.0);
}

TEST(CControl, PointsCloserThanAStepAreAppliedInOrder) {
    CControl c;
    c.m_strSpeedPath = "0*10*0.000001*20*0.000002*30*1*40*";
    c.ParseSpeedPath();
    c.StepSpeedPath(0.000005);
    EXPECT_EQ(c.m_dOmegaRRef, 30.0);
    EXPECT_EQ(c.m_nPathIndex, 3u);
}

// Ramp, regulator, amplitude and angle.

class CControlRamp : public ::testing::TestWithParam<std::pair<double, double>> {};

TEST_P(CControlRamp, SettlesUpToOneSlopeStepAboveReference) {
    const auto [start, ref] = GetParam();
    const double h = 0.000005;
    CControl c;
    c.m_dKt = 700;
    c.m_dOmegaRRamp = start;
    c.m_dOmegaRRef = ref;
    const int steps = static_cast<int>(std::fabs(ref - start) / (h * c.m_dKt)) + 10;
    for (int i = 0; i < steps; ++i)
        c.SpeedControl(0, h);
    const double settled = c.m_dOmegaRRamp;
    EXPECT_GE(settled, ref);
    EXPECT_LE(settled, ref + h * c.m_dKt * (1 + 1e-9));
    // It stays there (down one slope step and up again, up to rounding).
    for (int i = 0; i < 50; ++i) {
        c.SpeedControl(0, h);
        EXPECT_NEAR(c.m_dOmegaRRamp, settled, 1e-12);
    }
}

INSTANTIATE_TEST_SUITE_P(UpAndDown, CControlRamp,
                         ::testing::Values(std::pair{0.0, 100.0}, std::pair{100.0, 50.0},
                                           std::pair{0.0, -30.0}));

TEST(CControl, RampFollowsItsSlopeAndIsLimited) {
    const double h = 0.000005;
    CControl c;
    c.m_dKt = 700;
    c.m_dOmegaRRef = 1000;
    c.SpeedControl(0, h);
    EXPECT_DOUBLE_EQ(c.m_dOmegaRRamp, h * 700);
    c.m_dOmegaRRamp = 188.0;
    for (int i = 0; i < 1000; ++i)
        c.SpeedControl(0, h);
    EXPECT_EQ(c.m_dOmegaRRamp, 188.49552);
}

TEST(CControl, ZeroSlopeHoldsTheRampAtZero) {
    CControl c;
    c.m_dKt = 0;
    c.m_dOmegaRRef = 100;
    for (int i = 0; i < 100; ++i)
        c.SpeedControl(0, 0.000005);
    EXPECT_EQ(c.m_dOmegaRRamp, 0.0);
}

TEST(CControl, RegulatorGivesPolePairsTimesLimitedPiOutput) {
    CControl c;
    c.m_dKp = 0.6;
    c.m_dKi = 50;
    c.m_dOmegaRRef = 0;
    c.m_dOmegaRRamp = 20;
    const double h = 0.001;
    c.SpeedControl(5, h);
    // omegaR** stays 20 (slope 0); omegaE = 15; integral = 50 * 15 * 0.001.
    EXPECT_EQ(c.m_dOmegaE, 15.0);
    EXPECT_DOUBLE_EQ(c.m_dIntegral, 0.75);
    EXPECT_DOUBLE_EQ(c.m_dOmegaU, 2 * (0.6 * 15 + 0.75));
    c.m_dKp = 100;
    c.SpeedControl(5, h);
    EXPECT_EQ(c.m_dOmegaU, 2 * 188.49552);
    c.m_dKp = 0;
    c.m_dKi = 1e6;
    c.SpeedControl(5, h);
    EXPECT_EQ(c.m_dIntegral, 188.49552);
}

struct AmplitudeCase {
    double omegaU;
    double amplitude;
};

void PrintTo(const AmplitudeCase& ac, std::ostream* os) {
    *os << "omegaU " << ac.omegaU;
}

class CControlAmplitude : public ::testing::TestWithParam<AmplitudeCase> {};

TEST_P(CControlAmplitude, FollowsVoltsPerHertzBetweenItsBounds) {
    const AmplitudeCase ac = GetParam();
    CControl c;
    c.m_dKp = 1;
    // omegaR** = 0, so omegaE = -omegaR and omegaU = 2 * (-omegaR).
    c.SpeedControl(-ac.omegaU / 2, 0.000005);
    ASSERT_DOUBLE_EQ(c.m_dOmegaU, ac.omegaU);
    EXPECT_DOUBLE_EQ(c.m_dAmplitude, ac.amplitude);
}

INSTANTIATE_TEST_SUITE_P(Bounds, CControlAmplitude,
                         ::testing::Values(AmplitudeCase{0.0, 0.05}, AmplitudeCase{15.7, 0.05},
                                           AmplitudeCase{-15.7, 0.05},
                                           AmplitudeCase{15.71, 15.71 / 314.1592},
                                           AmplitudeCase{100.0, 100.0 / 314.1592},
                                           AmplitudeCase{-100.0, 100.0 / 314.1592},
                                           AmplitudeCase{314.1592, 1.0}, AmplitudeCase{350.0, 1.0},
                                           AmplitudeCase{-376.0, 1.0}));

TEST(CControl, AngleAdvancesWithOmegaUAndWrapsIntoOneTurn) {
    CControl c;
    c.m_dKp = 1;
    c.SpeedControl(-50, 0.001); // omegaU = 100
    EXPECT_DOUBLE_EQ(c.m_dAngle, 0.1);
    c.m_dAngle = 6.28;
    c.SpeedControl(-50, 0.001);
    EXPECT_NEAR(c.m_dAngle, 6.38 - 6.283186, 1e-12);
    c.m_dAngle = 0.05;
    c.SpeedControl(50, 0.001); // omegaU = -100
    EXPECT_NEAR(c.m_dAngle, 0.05 - 0.1 + 6.283186, 1e-12);
}

// Six-step control.

std::vector<States> SixStepStates(double omegaU, double h, int steps, States start = {0, 0, 0}) {
    CControl c;
    c.m_dTc = -1.0;
    c.m_dRonT = 0.1;
    c.m_dRoffT = 1000;
    c.m_dOmegaU = omegaU;
    for (int leg = 0; leg < 3; ++leg)
        c.m_nSwitch[leg] = start[leg];
    std::vector<States> out;
    for (int i = 0; i < steps; ++i) {
        c.SixStepStep(h);
        out.push_back(SwitchStates(c));
    }
    return out;
}

TEST(CControl, SixStepTurnsInTheSenseOfTheSvpwmVector) {
    // 50 Hz electrical, 200 steps per period: one window lasts about 33 steps.
    const double omegaU = 2 * 3.141592 * 50;
    const std::vector<States> seen = Collapse(SixStepStates(omegaU, 0.0001, 400));
    const std::vector<States> order{{1, 0, 0}, {1, 0, 1}, {0, 0, 1},
                                    {0, 1, 1}, {0, 1, 0}, {1, 1, 0}};
    ASSERT_GE(seen.size(), 12u);
    for (std::size_t i = 0; i < 12; ++i)
        EXPECT_EQ(seen[i], order[i % 6]) << "window " << i;

    // The SVPWM with a rising angle steps its first vector through the same cycle.
    CControl svpwm = MakeSvpwm(0.5);
    std::vector<int> firstVectors;
    for (int k = 0; k < 12; ++k) {
        svpwm.m_dCarrierTime = 1000.0;
        svpwm.SvpwmStep(std::fmod(0.01 + k * CControl::kSector, CControl::kFullTurn), 5e-6);
        firstVectors.push_back(svpwm.m_nVecB);
    }
    for (std::size_t k = 0; k < firstVectors.size(); ++k) {
        const int v = firstVectors[k];
        const States s{CControl::s_nVecStates[v][0], CControl::s_nVecStates[v][1],
                       CControl::s_nVecStates[v][2]};
        EXPECT_EQ(s, order[k % 6]) << "sector step " << k;
    }
}

TEST(CControl, SixStepAtZeroFrequencyHolds100) {
    for (const States& s : SixStepStates(0.0, 0.000005, 100, {0, 1, 1}))
        ASSERT_EQ(s, (States{1, 0, 0}));
}

TEST(CControl, SixStepWithNegativeFrequencyFreezesTheStates) {
    CControl c;
    c.m_dOmegaU = -100;
    c.m_nSwitch[1] = 1;
    for (int i = 0; i < 1000; ++i) {
        c.SixStepStep(0.000005);
        ASSERT_EQ(SwitchStates(c), (States{0, 1, 0}));
        ASSERT_EQ(c.m_dCarrierTime, 0.0);
    }
}

TEST(CControl, SvpwmInputsThatCannotRunAreRefused) {
    EXPECT_TRUE(CControl::SvpwmMessage(5000, 200).empty());
    EXPECT_TRUE(CControl::SvpwmMessage(0.0011, 200).empty());
    EXPECT_NE(CControl::SvpwmMessage(0, 200).find("fT"), std::string::npos);
    EXPECT_NE(CControl::SvpwmMessage(0.001, 200).find("fT"), std::string::npos);
    EXPECT_NE(CControl::SvpwmMessage(5000, 0).find("Ud"), std::string::npos);
}
