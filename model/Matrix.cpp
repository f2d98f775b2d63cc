#include "Matrix.h"

#include "AllocFailure.h"

#include <sys/mman.h>

#include <cstdlib>
#include <new>

namespace {

constexpr std::size_t kHugePage = std::size_t(2) << 20;

std::size_t BlockBytes(std::uint32_t rows, std::uint32_t cols) {
    return std::size_t(rows) * cols * sizeof(double);
}

// A mapping of whole huge pages, aligned to one, so that the system can back it with them.
void* MapZeroed(std::size_t bytes) {
    const std::size_t rounded = (bytes + kHugePage - 1) / kHugePage * kHugePage;
    void* pRaw = mmap(nullptr, rounded + kHugePage, PROT_READ | PROT_WRITE,
                      MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (pRaw == MAP_FAILED)
        return nullptr;
    char* pStart = static_cast<char*>(pRaw);
    char* pAligned = reinterpret_cast<char*>(
        (reinterpret_cast<std::uintptr_t>(pStart) + kHugePage - 1) / kHugePage * kHugePage);
    if (pAligned > pStart)
        munmap(pStart, std::size_t(pAligned - pStart));
    const std::size_t tail = std::size_t(pStart + rounded + kHugePage - (pAligned + rounded));
    if (tail > 0)
        munmap(pAligned + rounded, tail);
#ifdef MADV_HUGEPAGE
    madvise(pAligned, rounded, MADV_HUGEPAGE);
#endif
    return pAligned;
}

} // namespace

double** CMatrix::AllocateRows(std::uint32_t rows, std::uint32_t cols) {
    const std::size_t bytes = BlockBytes(rows, cols);
    double** ppRows = new (std::nothrow) double*[rows ? rows : 1];
    void* pBlock = bytes >= kHugePage ? MapZeroed(bytes) : std::calloc(bytes ? bytes : 1, 1);
    if (!ppRows || !pBlock) {
        delete[] ppRows;
        if (pBlock && bytes < kHugePage)
            std::free(pBlock);
        return nullptr;
    }
    double* pData = static_cast<double*>(pBlock);
    for (std::uint32_t r = 0; r < rows; ++r)
        ppRows[r] = pData + std::size_t(r) * cols;
    // The block's address is kept in the spare first pointer when there are no rows.
    if (rows == 0)
        ppRows[0] = pData;
    return ppRows;
}

void CMatrix::FreeRows(double** ppRows, std::uint32_t rows, std::uint32_t cols) {
    if (!ppRows)
        return;
    const std::size_t bytes = BlockBytes(rows, cols);
    if (bytes >= kHugePage)
        munmap(ppRows[0], (bytes + kHugePage - 1) / kHugePage * kHugePage);
    else
        std::free(ppRows[0]);
    delete[] ppRows;
}

CMatrix::CMatrix(std::uint32_t rows, std::uint32_t cols)
    : m_pData(nullptr), m_nRows(rows), m_nCols(cols) {
    m_pData = AllocateRows(rows, cols);
    if (!m_pData)
        throw CAllocFailure("Błąd przydziału pamęci");
}

CMatrix::~CMatrix() {
    FreeRows(m_pData, m_nRows, m_nCols);
    m_pData = nullptr;
}
