#include "PostProcess.h"
#include "Control.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

struct CRangeCase {
    const char* m_strName;
    std::int64_t m_nSelStart, m_nSelEnd, m_nLeft, m_nRight;
    std::size_t m_nSamples;
    std::size_t m_nStart, m_nCount;
};

void PrintTo(const CRangeCase& c, std::ostream* os) {
    *os << c.m_strName;
}

class CDftRangeMapping : public testing::TestWithParam<CRangeCase> {};

TEST_P(CDftRangeMapping, MapsTheSelectionOntoSamples) {
    const CRangeCase& c = GetParam();
    const CSampleRange r =
        MapDftRange(c.m_nSelStart, c.m_nSelEnd, c.m_nLeft, c.m_nRight, c.m_nSamples);
    EXPECT_EQ(r.m_nStart, c.m_nStart);
    EXPECT_EQ(r.m_nCount, c.m_nCount);
}

// Plot area from pixel 50 to 450 (400 pixels) over 1000 samples: 2.5 samples a pixel.
INSTANTIATE_TEST_SUITE_P(
    Cases, CDftRangeMapping,
    testing::Values(CRangeCase{"NoSelection", kNoSelectionStart, kNoSelectionEnd, 50, 450, 1000, 0,
                               1000},
                    CRangeCase{"InsideTheArea", 150, 250, 50, 450, 1000, 250, 250},
                    CRangeCase{"Truncating", 51, 52, 50, 450, 1000, 2, 3}, // 2.5 -> 2, 5
                    CRangeCase{"StartLeftOfTheArea", 10, 250, 50, 450, 1000, 0, 500},
                    CRangeCase{"EndLeftOfTheArea", 150, 10, 50, 450, 1000, 250, 750},
                    CRangeCase{"EndRightOfTheArea", 150, 600, 50, 450, 1000, 250, 750},
                    CRangeCase{"ReversedPoints", 250, 150, 50, 450, 1000, 0, 250},
                    CRangeCase{"SamePoint", 150, 150, 50, 450, 1000, 250, 0},
                    CRangeCase{"ZeroWidthArea", 150, 250, 300, 300, 1000, 0, 1000},
                    CRangeCase{"ReversedArea", 150, 250, 300, 200, 1000, 0, 1000},
                    // 10000 pixels times 2,000,000 samples: beyond 32 bits.
                    CRangeCase{"ManySamples", 5050, 10050, 50, 10050, 2000000, 1000000, 1000000},
                    CRangeCase{"NoSelectionOfManySamples", kNoSelectionStart, kNoSelectionEnd, 40,
                               1200, 3000000, 0, 3000000}),
    [](const testing::TestParamInfo<CRangeCase>& info) { return info.param.m_strName; });

namespace {

/// A curve of n samples: junk outside [start, start + count), one sine period of amplitude 2
/// inside.
struct CCurve {
    std::vector<double> x, y, work;
    CCurve(std::size_t n, std::size_t start, std::size_t count) : x(n), y(n, 1e6), work(n, -1) {
        for (std::size_t i = 0; i < n; ++i)
            x[i] = 0.001 * double(i);
        for (std::size_t m = 0; m < count; ++m)
            y[start + m] = 2 * std::sin(6.283185307179586 * double(m) / double(count));
    }
};

} // namespace

TEST(TransformRange, ReplacesTheCurveByTheSpectrumOfTheSelectedSamples) {
    CCurve c(1000, 300, 400);
    const std::vector<double> original = c.y;
    CControl control;
    const CDftOutcome r =
        TransformRange(control, {300, 400}, 10, c.x.data(), c.y.data(), c.work.data());
    ASSERT_TRUE(r.Ok()) << r.m_strMessage;
    EXPECT_EQ(r.m_nSamples, 400u);
    EXPECT_EQ(r.m_nShown, 11u); // harmonics 0 to Nh
    EXPECT_LT(r.m_dThd, 1e-5);  // one clean period: the junk outside is not read
    EXPECT_NEAR(c.work[1], 2.0, 1e-5);
    EXPECT_LT(c.work[0], 1e-5);
    for (std::size_t k = 0; k < 400; ++k) {
        EXPECT_EQ(c.x[k], double(k));
        EXPECT_EQ(c.y[k], c.work[k]);
    }
    for (std::size_t k = 400; k < 1000; ++k) // beyond N the buffer is left alone
        ASSERT_EQ(c.y[k], original[k]);
}

TEST(TransformRange, ShowsNoMoreHarmonicsThanSamples) {
    CCurve c(10, 0, 5);
    CControl control;
    EXPECT_EQ(TransformRange(control, {0, 5}, 1000, c.x.data(), c.y.data(), c.work.data()).m_nShown,
              5u);
    CCurve d(10, 0, 5);
    EXPECT_EQ(TransformRange(control, {0, 5}, 0, d.x.data(), d.y.data(), d.work.data()).m_nShown,
              1u);
}

TEST(TransformRange, RefusesFewerThanTwoSamplesAndChangesNothing) {
    for (std::size_t count : {0u, 1u}) {
        CCurve c(10, 2, 2);
        const CCurve before = c;
        CControl control;
        const CDftOutcome r =
            TransformRange(control, {4, count}, 10, c.x.data(), c.y.data(), c.work.data());
        EXPECT_FALSE(r.Ok());
        EXPECT_NE(r.m_strMessage.find("at least 2"), std::string::npos) << r.m_strMessage;
        EXPECT_EQ(c.x, before.x);
        EXPECT_EQ(c.y, before.y);
        EXPECT_EQ(c.work, before.work);
    }
}
