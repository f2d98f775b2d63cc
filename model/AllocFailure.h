#pragma once

#include <new>

/// An allocation of the engine that failed, with the system's text naming what could not be
/// allocated ("Błąd przydziału pamęci"). The engine throws it instead of ending its host:
/// Calculate turns it into a refused or stopped run, so the program keeps its documents and
/// the Python interpreter lives on.
class CAllocFailure : public std::bad_alloc {
public:
    /// pszText must outlive the exception (the engine passes literals).
    explicit CAllocFailure(const char* pszText) noexcept : m_pszText(pszText) {}
    const char* what() const noexcept override { return m_pszText; }

private:
    const char* m_pszText;
};
