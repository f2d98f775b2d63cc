#include "ProgressClock.h"

#include <gtest/gtest.h>

// The estimate is the average pace so far applied to the rest; none while it would mislead.
TEST(CProgressClock, EstimatesTheRestFromThePaceSoFar) {
    const struct {
        double m_dElapsed, m_dFraction;
        const char* m_pszText;
    } cases[] = {
        {10, 0.25, "elapsed 0:10, about 0:30 left"},
        {90, 0.5, "elapsed 1:30, about 1:30 left"},
        {3600, 0.02, "elapsed 1:00:00, about 49:00:00 left"},
        {7200, 0.01, "elapsed 2:00:00, about more than 99 h left"},
        {10, 0.005, "elapsed 0:10"}, // too little done to tell
        {0.5, 0.5, "elapsed 0:01"},  // too early to tell
        {42, 1.0, "elapsed 0:42"},   // done
    };
    for (const auto& c : cases)
        EXPECT_EQ(CProgressClock::Text(c.m_dElapsed, c.m_dFraction), c.m_pszText)
            << c.m_dElapsed << " s, " << c.m_dFraction;
}
