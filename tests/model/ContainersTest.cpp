#include "Matrix.h"
#include "Vector.h"

#include <gtest/gtest.h>

TEST(CMatrix, StartsAsZerosWithItsSize) {
    CMatrix m(3, 4);
    EXPECT_EQ(m.m_nRows, 3u);
    EXPECT_EQ(m.m_nCols, 4u);
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 4; ++j)
            EXPECT_EQ(m.m_pData[i][j], 0.0);
}

TEST(CMatrix, RowsKeepTheirAddressesWhileWritten) {
    CMatrix table(1000, 17);
    double* const first = table.m_pData[0];
    double* const last = table.m_pData[999];
    for (unsigned r = 0; r < 1000; ++r)
        for (unsigned c = 0; c < 17; ++c)
            table.m_pData[r][c] = r * 17.0 + c;
    EXPECT_EQ(table.m_pData[0], first);
    EXPECT_EQ(table.m_pData[999], last);
    EXPECT_EQ(last[16], 999 * 17.0 + 16);
}

TEST(CVector, StartsAsZeros) {
    CVector v(16);
    EXPECT_EQ(v.m_nSize, 16u);
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(v.m_pData[i], 0.0);
}
