#pragma once

#include <cstdint>

/// Owning, zero-initialised matrix of doubles stored as an array of row pointers, the layout
/// the solver library takes. Rows are separate allocations and never move; element (i, j) is
/// m_pData[i][j]. Not copyable; its size never changes.
class CMatrix {
public:
    /// Allocates rows x cols doubles, all 0.0. Ends the program with exit code 1 when the
    /// storage cannot be obtained.
    CMatrix(std::uint32_t rows, std::uint32_t cols);
    virtual ~CMatrix();

    CMatrix(const CMatrix&) = delete;
    CMatrix& operator=(const CMatrix&) = delete;

    double** m_pData;      ///< row pointers; null once freed
    std::uint32_t m_nRows; ///< number of rows
    std::uint32_t m_nCols; ///< number of columns
};
