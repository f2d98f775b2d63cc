#include "WindingSums.h"

#include "Tables.h"

namespace {

const double (*const g_apTables[CWindingSums::kTableCount])[kCoilCount] = {
    g_adL0, g_adA1, g_adB1, g_adA2, g_adB2, g_adA3, g_adB3};

int Phase(int k) {
    return (k / 3) % 3;
}

} // namespace

CWindingSums::CWindingSums() : m_adSelf{}, m_adMutual{} {
    static const int aX[kPairCount] = {0, 1, 2, 0, 0, 1};
    static const int aY[kPairCount] = {0, 1, 2, 1, 2, 2};
    for (int t = 0; t < kTableCount; ++t)
        for (int p = 0; p < kPairCount; ++p)
            for (int k = 0; k < kCoilCount; ++k)
                for (int l = 0; l < kCoilCount; ++l) {
                    if (Phase(k) != aX[p] || Phase(l) != aY[p])
                        continue;
                    if (k == l)
                        m_adSelf[t][p] += g_apTables[t][k][l];
                    else
                        m_adMutual[t][p] += g_apTables[t][k][l];
                }
}

const CWindingSums& CWindingSums::Get() {
    static const CWindingSums sums;
    return sums;
}

void CWindingSums::Weighted(double ml, double mm, double (*pOut)[kPairCount]) {
    const CWindingSums& sums = Get();
    const double k = 39.0 * 39.0 * 0.1035;
    for (int t = 0; t < kTableCount; ++t)
        for (int p = 0; p < kPairCount; ++p)
            pOut[t][p] = k * (ml * sums.m_adSelf[t][p] + mm * sums.m_adMutual[t][p]);
}
