#include "Protection.h"
#include "EventLog.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>

namespace {

struct CSideCase {
    int m_nSafeState;
    int m_anCodeT[7];       ///< T1..T6, index 0 unused
    int m_anCodeD[7];       ///< D1..D6, index 0 unused
    const char* m_pszGates; ///< expected gates of T1..T6, "1" on
};

void PrintTo(const CSideCase& c, std::ostream* os) {
    *os << "state " << c.m_nSafeState << " T";
    for (int k = 1; k <= 6; ++k)
        *os << c.m_anCodeT[k];
    *os << " D";
    for (int k = 1; k <= 6; ++k)
        *os << c.m_anCodeD[k];
}

class CSafeGates : public ::testing::TestWithParam<CSideCase> {};

std::string Gates(const bool* pbGates) {
    std::string s;
    for (int k = 1; k <= 6; ++k)
        s += pbGates[k] ? '1' : '0';
    return s;
}

} // namespace

// The active short circuit never closes a transistor against a shorted device of the other
// side: it closes the lower side, the upper one when an upper device is shorted, and nothing
// when both sides hold a short. Broken devices do not move it.
TEST_P(CSafeGates, FollowTheShortedSide) {
    const CSideCase& c = GetParam();
    bool gates[7];
    CProtection::SafeGates(c.m_nSafeState, c.m_anCodeT, c.m_anCodeD, gates);
    EXPECT_EQ(Gates(gates), c.m_pszGates);
    EXPECT_FALSE(gates[0]);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CSafeGates,
    ::testing::Values(CSideCase{0, {0, 1, 0, 0, 0, 0, 0}, {}, "000000"},
                      CSideCase{1, {}, {}, "000111"},
                      CSideCase{1, {0, 2, 2, 0, 0, 0, 2}, {0, 0, 0, 0, 2, 0, 0}, "000111"},
                      CSideCase{1, {0, 1, 0, 0, 0, 0, 0}, {}, "111000"},
                      CSideCase{1, {0, 0, 0, 1, 0, 0, 0}, {}, "111000"},
                      CSideCase{1, {}, {0, 0, 1, 0, 0, 0, 0}, "111000"},
                      CSideCase{1, {0, 0, 0, 0, 0, 1, 0}, {}, "000111"},
                      CSideCase{1, {0, 0, 1, 0, 0, 0, 1}, {}, "000000"},
                      CSideCase{1, {0, 1, 0, 0, 0, 0, 0}, {0, 0, 0, 0, 1, 0, 0}, "000000"}));

// The comparators: overcurrent at once on either sign, desaturation only with the gate on and
// only after the current stayed above Idesat for Tdesat, and the first trip latches.
TEST(CProtection, TripsLatchAndDesaturationWaitsForItsBlankingTime) {
    CProtection p;
    p.m_dItrip = 100;
    p.m_dIdesat = 50;
    p.m_dTdesat = 10e-6;
    CEventLog log;
    CProtection::CSample s;
    s.m_adTransistorI[2] = 80;
    s.m_abGateOn[2] = false; // gate off: the detector is blanked
    for (int step = 1; step <= 3; ++step) {
        s.m_dT = step * 5e-6;
        EXPECT_FALSE(p.Check(s, log));
    }
    s.m_abGateOn[2] = true;
    for (int step = 4; step <= 5; ++step) { // above since 20 us: 5 us so far
        s.m_dT = step * 5e-6;
        EXPECT_FALSE(p.Check(s, log)) << step;
    }
    s.m_adTransistorI[2] = 20; // a dip restarts the blanking time
    s.m_dT = 30e-6;
    EXPECT_FALSE(p.Check(s, log));
    s.m_adTransistorI[2] = 80;
    s.m_dT = 35e-6;
    EXPECT_FALSE(p.Check(s, log));
    s.m_dT = 40e-6;
    EXPECT_FALSE(p.Check(s, log));
    s.m_dT = 45e-6;
    s.m_adPhaseI[1] = -120;
    EXPECT_TRUE(p.Check(s, log));
    EXPECT_TRUE(p.Tripped());
    EXPECT_EQ(p.TripTime(), 45e-6);
    ASSERT_EQ(log.Events().size(), 2u);
    EXPECT_EQ(log.Events()[0].Source(), "ib");
    EXPECT_EQ(log.Events()[0].m_dValue, -120);
    EXPECT_EQ(EventKindName(log.Events()[1].m_eKind), "desaturation");
    EXPECT_EQ(log.Events()[1].Source(), "T2");
    s.m_dUc = 1e9;
    p.m_dUovp = 1;
    EXPECT_FALSE(p.Check(s, log)); // latched: nothing more is looked at
    EXPECT_EQ(log.Events().size(), 2u);
    p.Reset();
    EXPECT_FALSE(p.Tripped());
}
