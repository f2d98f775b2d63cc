#pragma once

#include <cstdint>

/// Owning, zero-initialised vector of doubles with public storage. Not copyable; its size
/// never changes.
class CVector {
public:
    /// Allocates n doubles, all 0.0. Throws CAllocFailure when the storage cannot be obtained.
    explicit CVector(std::uint32_t n);
    virtual ~CVector();

    CVector(const CVector&) = delete;
    CVector& operator=(const CVector&) = delete;

    double* m_pData;       ///< the elements; null once freed
    std::uint32_t m_nSize; ///< number of elements
};
