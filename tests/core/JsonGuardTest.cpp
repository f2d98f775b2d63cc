#include "JsonGuard.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>

namespace {

std::string Nested(int levels) {
    return std::string(std::size_t(levels), '[') + "1" + std::string(std::size_t(levels), ']');
}

// Nesting up to the bound is JSON like any other; one level more is refused before a tree is
// built, whatever the bound, with a message that says only what the check knows.
class JsonNesting : public testing::TestWithParam<std::tuple<int, int>> {};

TEST_P(JsonNesting, IsRefusedBeyondTheBound) {
    const auto [levels, bound] = GetParam();
    const CJsonCheck check = CheckJson(Nested(levels), bound);
    if (levels <= bound) {
        EXPECT_EQ(check.m_problem, EJsonProblem::None) << check.m_strMessage;
        return;
    }
    EXPECT_EQ(check.m_problem, EJsonProblem::Depth);
    EXPECT_EQ(check.m_strMessage,
              "values are nested deeper than " + std::to_string(bound) + " levels.");
}

INSTANTIATE_TEST_SUITE_P(Bounds, JsonNesting,
                         testing::Combine(testing::Values(1, 2, 3, 8, 9, 100000),
                                          testing::Values(1, 3, 8)));

} // namespace
