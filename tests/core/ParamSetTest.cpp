#include "ParamSet.h"

#include <gtest/gtest.h>

#include <cmath>

#include <set>
#include <string>
#include <tuple>

TEST(CParamSet, DefaultsAreThoseTheRunsRelyOn) {
    const CParamSet set;
    EXPECT_EQ(set.m_control.m_dFT, 5000);
    EXPECT_EQ(set.m_control.m_dUd, 200);
    EXPECT_EQ(set.m_control.m_dCu, 0.0001);
    EXPECT_EQ(set.m_control.m_dRu, 0.1);
    EXPECT_EQ(set.m_control.m_dKi, 50);
    EXPECT_EQ(set.m_control.m_dKp, 0.6);
    EXPECT_EQ(set.m_control.m_dKt, 700);
    EXPECT_EQ(set.m_control.m_strSpeedPath, "0.0*100.0*");
    EXPECT_FALSE(set.m_control.m_bSpeedControl);
    EXPECT_EQ(set.m_control.m_nCondition, 0);
    EXPECT_EQ(set.m_motor.m_dRoffT, 1000);
    EXPECT_EQ(set.m_motor.m_nNhInd, 0);
    EXPECT_EQ(set.m_motor.m_nNhFlux, 1);
    EXPECT_EQ(set.m_motor.m_dJ, 0.000962);
    EXPECT_EQ(set.m_motor.m_dD, 0.000904);
    EXPECT_EQ(set.m_time.m_dTe, 0.1);
    EXPECT_EQ(set.m_time.m_dH, 0.000005);
    EXPECT_EQ(set.m_inductancePlot.m_nN, 1000);
    EXPECT_EQ(set.m_fluxPlot.m_nQuantity, 1);
    EXPECT_EQ(set.m_fluxPlot.m_nNh, 99);
    EXPECT_EQ(set.m_voltagePlot.m_dTe, 0.04);
    EXPECT_EQ(set.m_dft.m_nNh, 10);
    for (int code : set.m_failures.m_nFailT)
        EXPECT_EQ(code, 0);
    EXPECT_FALSE(ValidateParamSet(set).has_value());
}

TEST(CParamSet, EveryFieldIsListedOnceInFileOrder) {
    CParamSet set;
    const auto fields = ListFields(set);
    ASSERT_EQ(fields.size(), FieldDescriptions().size());
    std::set<std::string> keys;
    for (const CField& field : fields)
        keys.insert(std::string(field.m_pDesc->m_strGroup) + "." +
                    std::string(field.m_pDesc->m_strKey));
    EXPECT_EQ(keys.size(), fields.size());
    // The reference and the description of one entry belong to the same member.
    const CField& cu = fields[2];
    EXPECT_EQ(cu.m_pDesc->m_strKey, "Cu");
    EXPECT_EQ(std::get<double*>(cu.m_ref), &set.m_control.m_dCu);
}

struct CFieldRangeCase {
    const char* group;
    const char* key;
    double value;
    bool accepted;
};

void PrintTo(const CFieldRangeCase& c, std::ostream* os) {
    *os << c.group << '.' << c.key << '=' << c.value;
}

class FieldRange : public testing::TestWithParam<CFieldRangeCase> {};

TEST_P(FieldRange, IsCheckedAgainstItsBounds) {
    const CFieldRangeCase& c = GetParam();
    const CFieldDesc* desc = FindField(c.group, c.key);
    ASSERT_NE(desc, nullptr);
    EXPECT_EQ(!CheckNumber(*desc, c.value).has_value(), c.accepted);
}

INSTANTIATE_TEST_SUITE_P(
    Bounds, FieldRange,
    testing::Values(
        CFieldRangeCase{"control", "Cu", 0.00005, false},
        CFieldRangeCase{"control", "Cu", 0.0001, true}, CFieldRangeCase{"control", "Cu", 10, true},
        CFieldRangeCase{"control", "T", 60, false}, CFieldRangeCase{"control", "T", -50, true},
        CFieldRangeCase{"control", "FT", 0, true}, CFieldRangeCase{"control", "FT", 10001, false},
        CFieldRangeCase{"motor", "NhInd", 4, false}, CFieldRangeCase{"motor", "NhInd", 3, true},
        CFieldRangeCase{"motor", "NhFlux", 100, true},
        CFieldRangeCase{"motor", "NhFlux", 2.5, false}, CFieldRangeCase{"motor", "Mra", 10, true},
        CFieldRangeCase{"motor", "Mra", 10.5, false}, CFieldRangeCase{"time", "H", 1, true},
        CFieldRangeCase{"time", "H", -1e-9, false}, CFieldRangeCase{"time", "BetaR", -360, true},
        CFieldRangeCase{"time", "OmegaR", 200.5, false},
        CFieldRangeCase{"failures", "FailT", 2, true},
        CFieldRangeCase{"failures", "FailT", 3, false}, CFieldRangeCase{"dft", "Nh", 1000, true},
        CFieldRangeCase{"result_plot", "Result", 40, true},
        CFieldRangeCase{"result_plot", "Result", 41, false},
        CFieldRangeCase{"control", "Scheme", 2, false}, CFieldRangeCase{"foc", "Imax", 0, false},
        CFieldRangeCase{"foc", "CurrentBandwidth", 0.5, false},
        CFieldRangeCase{"control", "Ud", 1e300, true},
        CFieldRangeCase{"control", "Ud", INFINITY, false},
        CFieldRangeCase{"control", "Ud", NAN, false}, CFieldRangeCase{"time", "Every", 0, false},
        CFieldRangeCase{"time", "Every", 1, true}, CFieldRangeCase{"time", "Every", 2.5, false},
        // A negative initial voltage is a capacitor charged the other way round.
        CFieldRangeCase{"time", "Uc0", -300, true},
        CFieldRangeCase{"failures", "Onset", -0.001, false},
        CFieldRangeCase{"failures", "Onset", 0, true},
        CFieldRangeCase{"failures", "Clear", -1, false}));

// Onset, Clear and whether a set with them is accepted: a fault that clears must clear after
// it starts; Clear 0 means never.
class FaultTiming : public testing::TestWithParam<std::tuple<double, double, bool>> {};

TEST_P(FaultTiming, ClearMustComeAfterTheOnset) {
    const auto [onset, clear, accepted] = GetParam();
    CParamSet set;
    set.m_failures.m_dOnset = onset;
    set.m_failures.m_dClear = clear;
    const std::optional<std::string> refusal = ValidateParamSet(set);
    EXPECT_EQ(!refusal.has_value(), accepted);
    if (refusal) {
        EXPECT_NE(refusal->find("until t ="), std::string::npos) << *refusal;
        EXPECT_NE(refusal->find("Fault from t ="), std::string::npos) << *refusal;
    }
}

INSTANTIATE_TEST_SUITE_P(
    OnsetClear, FaultTiming,
    testing::Values(std::make_tuple(0.0, 0.0, true), std::make_tuple(0.05, 0.0, true),
                    std::make_tuple(0.05, 0.07, true), std::make_tuple(0.0, 1e-9, true),
                    std::make_tuple(0.05, 0.05, false), std::make_tuple(0.07, 0.05, false)));

TEST(CParamSet, RefusalNamesTheLabelAndTheRange) {
    CParamSet set;
    set.m_control.m_dCu = 0.00005;
    const auto refusal = ValidateParamSet(set);
    ASSERT_TRUE(refusal.has_value());
    EXPECT_NE(refusal->find("Cu ="), std::string::npos) << *refusal;
    EXPECT_NE(refusal->find("0.0001 to 10"), std::string::npos) << *refusal;

    set = CParamSet();
    set.m_motor.m_nNhInd = 4;
    const auto nh = ValidateParamSet(set);
    ASSERT_TRUE(nh.has_value());
    EXPECT_NE(nh->find("Nh = (Winding inductances)"), std::string::npos) << *nh;
}

TEST(CParamSet, SpeedPathLongerThanItsFieldIsRefused) {
    CParamSet set;
    set.m_control.m_strSpeedPath = "0*" + std::string(997, '0') + "*";
    EXPECT_FALSE(ValidateParamSet(set).has_value());
    set.m_control.m_strSpeedPath += "*";
    EXPECT_TRUE(ValidateParamSet(set).has_value());
}

TEST(CParamSet, EqualityComparesEveryMember) {
    CParamSet a, b;
    EXPECT_TRUE(a == b);
    b.m_failures.m_nFailD[5] = 1;
    EXPECT_FALSE(a == b);
    b = a;
    b.m_voltagePlot.m_nPhase = 2;
    EXPECT_FALSE(a == b);
}

TEST(CParamSet, EveryDescriptionMatchesTheKindOfItsMember) {
    CParamSet set;
    for (const CField& field : ListFields(set)) {
        const EFieldKind kind = field.m_pDesc->m_kind;
        const std::size_t expected = kind == EFieldKind::Double ? 0
                                     : kind == EFieldKind::Int  ? 1
                                     : kind == EFieldKind::Bool ? 2
                                     : kind == EFieldKind::Text ? 3
                                                                : 4;
        EXPECT_EQ(field.m_ref.index(), expected)
            << field.m_pDesc->m_strGroup << "." << field.m_pDesc->m_strKey;
    }
}

// Two rows reaching the same member would leave another member unread and unsaved.
TEST(CParamSet, EveryFieldReachesAMemberOfItsOwnAndSaysWhatItMeans) {
    CParamSet set;
    std::set<const void*> members;
    for (const CField& field : ListFields(set)) {
        const void* member = std::visit([](auto* p) -> const void* { return p; }, field.m_ref);
        EXPECT_TRUE(members.insert(member).second)
            << field.m_pDesc->m_strGroup << "." << field.m_pDesc->m_strKey;
        EXPECT_GE(field.m_pDesc->m_strMeaning.size(), 5u)
            << field.m_pDesc->m_strGroup << "." << field.m_pDesc->m_strKey;
    }
}
