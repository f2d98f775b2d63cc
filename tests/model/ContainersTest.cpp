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

// Small tables come from the heap, large ones from a huge-page mapping: both are zeros, one row
// after the other, and hold what is written to their last element.
TEST(CMatrix, LargeAndSmallTablesAreOneZeroedBlock) {
    for (std::uint32_t rows : {0u, 1u, 3u, 20000u, 40001u}) {
        CMatrix table(rows, 17);
        for (std::uint32_t r = 0; r < rows; ++r) {
            if (r + 1 < rows) {
                ASSERT_EQ(table.m_pData[r + 1], table.m_pData[r] + 17) << rows << " rows";
            }
            for (int c = 0; c < 17; ++c)
                ASSERT_EQ(table.m_pData[r][c], 0.0) << rows << " rows";
        }
        if (rows > 0)
            table.m_pData[rows - 1][16] = 1.5;
        EXPECT_TRUE(rows == 0 || table.m_pData[rows - 1][16] == 1.5);
    }
    double** ppRows = CMatrix::AllocateRows(20000, 36);
    ASSERT_NE(ppRows, nullptr);
    EXPECT_EQ(ppRows[19999][35], 0.0);
    CMatrix::FreeRows(ppRows, 20000, 36);
    CMatrix::FreeRows(nullptr, 5, 5);
}

TEST(CVector, StartsAsZeros) {
    CVector v(16);
    EXPECT_EQ(v.m_nSize, 16u);
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(v.m_pData[i], 0.0);
}
