#pragma once

#include <cstddef>
#include <cstdint>

/// Owning, zero-initialised matrix of doubles stored as an array of row pointers, the layout
/// the solver library takes. The rows lie one after the other in one block and never move;
/// element (i, j) is m_pData[i][j]. Not copyable; its size never changes.
class CMatrix {
public:
    /// Allocates rows x cols doubles, all 0.0. Throws CAllocFailure when the storage cannot be
    /// obtained.
    CMatrix(std::uint32_t rows, std::uint32_t cols);
    virtual ~CMatrix();

    CMatrix(const CMatrix&) = delete;
    CMatrix& operator=(const CMatrix&) = delete;

    /// Rows of zeros in one block with a table of row pointers into it: a row costs its data
    /// and one pointer. A large block is mapped with huge pages and zeroed by the system as it
    /// is first written, so a table costs nothing before its rows are filled. Returns null
    /// when the storage cannot be obtained. Release with FreeRows and the same sizes.
    static double** AllocateRows(std::uint32_t rows, std::uint32_t cols);
    /// Releases what AllocateRows returned (null does nothing).
    static void FreeRows(double** ppRows, std::uint32_t rows, std::uint32_t cols);

    double** m_pData;      ///< row pointers; null once freed
    std::uint32_t m_nRows; ///< number of rows
    std::uint32_t m_nCols; ///< number of columns
};

/// Row and column of a matrix entry.
struct CEntryPos {
    int m_nRow; ///< row index
    int m_nCol; ///< column index
};
