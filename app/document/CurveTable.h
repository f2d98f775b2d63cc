#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

/// A table of curves read from a file for "Add curve from file...": the first column is x
/// (time), each further one a curve over it.
struct CCurveTable {
    bool m_bOk = false;
    std::string m_strMessage;                      ///< why the file was refused, naming it
    std::vector<std::string> m_vecNames;           ///< column names, x first ("t [s]", "Ia [A]")
    std::vector<std::vector<double>> m_vecColumns; ///< values of each column, one per row
};

/// Largest table file read [bytes]: an exported run of a million rows fits.
inline constexpr std::size_t kMaxCurveTableBytes = std::size_t(512) * 1024 * 1024;

/// Most values a table may hold (8 bytes each): 40 columns of a million rows fit.
inline constexpr std::size_t kMaxCurveTableValues = std::size_t(64) * 1024 * 1024;

/// Parses a table: the "Export results..." format (36 numbers a line separated by spaces, no
/// header: the columns get the result names) or a CSV whose first line names the columns
/// (separated by commas, semicolons or tabs; kalvor-cli's --csv, or measured data whose first
/// column is time). Anything else is refused with a message naming strName, the line and the
/// column. Lines end with LF, CR LF or CR; empty lines are skipped; at least two rows and two
/// columns are needed, and at most nMaxValues values are read.
CCurveTable ParseCurveTable(std::string_view text, const std::string& strName,
                            std::size_t nMaxValues = kMaxCurveTableValues);

/// Reads strPath through the bounded reader and parses it.
CCurveTable ReadCurveTable(const std::string& strPath);
