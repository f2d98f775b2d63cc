#include "Vector.h"

#include "AllocFailure.h"

#include <new>

CVector::CVector(std::uint32_t n) : m_pData(nullptr), m_nSize(n) {
    m_pData = new (std::nothrow) double[n]();
    if (!m_pData)
        throw CAllocFailure("Błąd przydziału pamięci V");
}

CVector::~CVector() {
    delete[] m_pData;
    m_pData = nullptr;
}
