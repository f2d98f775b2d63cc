#include "Matrix.h"

#include "Fatal.h"

#include <new>

CMatrix::CMatrix(std::uint32_t rows, std::uint32_t cols)
    : m_pData(nullptr), m_nRows(rows), m_nCols(cols) {
    m_pData = new (std::nothrow) double*[rows]();
    if (!m_pData)
        FatalExit("Błąd przydziału pamęci", 1);
    for (std::uint32_t i = 0; i < rows; ++i) {
        m_pData[i] = new (std::nothrow) double[cols]();
        if (!m_pData[i])
            FatalExit("Błąd przydziału pamęci", 1);
    }
}

CMatrix::~CMatrix() {
    if (!m_pData)
        return;
    for (std::uint32_t i = 0; i < m_nRows; ++i)
        delete[] m_pData[i];
    delete[] m_pData;
    m_pData = nullptr;
}
