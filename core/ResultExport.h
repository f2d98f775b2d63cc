#pragma once

#include "EventLog.h"
#include "Status.h"

#include <cstddef>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

class IProgressSink;

/// Longest text FormatFixed6 writes: a sign, 309 integer digits, the point and 6 decimals.
inline constexpr std::size_t kFixed6MaxChars = 320;

/// Writes value as std::printf("%.6f") does in the C locale, byte for byte (correctly rounded,
/// ties to even, "-0.000000" for small negative values, "nan" and "inf" as printf spells them),
/// without a terminating zero. out must hold kFixed6MaxChars characters; returns the end.
char* FormatFixed6(double value, char* out);

/// Writes value as std::printf("%.17g") does, so that it reads back to the same double.
/// out must hold 32 characters; returns the end.
char* FormatFull(double value, char* out);

/// Kinds of the plot buffer, as the document numbers them.
enum EPlotKind : int {
    kPlotPicture = 0,   ///< a model picture hides the plot: only x is written
    kPlotCurve = 1,     ///< x and y
    kPlotSpectrum = 20, ///< harmonic number and magnitude from the work array
};

/// The "Export results..." format: nRows lines of nCols numbers, each "%.6f" followed by one
/// space, every line ended by CR LF; no header. strName names the destination in messages.
/// pProgress (may be null) gets the range 0..nRows and the row being written; when it reports
/// a cancellation the write stops with a failure.
CStatus WriteResultTable(std::FILE* pFile, std::string_view strName, const double* const* ppRows,
                         std::size_t nRows, std::size_t nCols, IProgressSink* pProgress = nullptr);

/// CSV: a header line of the column labels, then nRows lines of nCols numbers written with
/// "%.17g" and separated by commas, LF line ends. nCols must not exceed kResultColumns.
/// pProgress, when given, follows the rows and can cancel the write as for the table. With
/// ppFocRows (a field-oriented run's rows of kFocColumns values) their labels and values follow
/// on every line.
CStatus WriteResultCsv(std::FILE* pFile, std::string_view strName, const double* const* ppRows,
                       std::size_t nRows, std::size_t nCols, IProgressSink* pProgress = nullptr,
                       const double* const* ppFocRows = nullptr);

/// The run's event log as CSV: the header "t,kind,source,value", then one line per event with
/// its time and value written with "%.17g", LF line ends.
CStatus WriteEventsCsv(std::FILE* pFile, std::string_view strName,
                       const std::vector<CRunEvent>& events);

/// One line saying what tripped when, e.g. "Protection tripped at t = 0.0501373 s:
/// desaturation of T4 (753.706 A)." (no line end).
std::string TripSummary(const CRunEvent& event);

/// The "Export plot..." format, one line per point, each number "%.6f" followed by a space,
/// CR LF: a curve writes x and y, a spectrum x and work (the magnitudes), a picture only x.
/// y or work may be null when the kind does not read them.
CStatus WritePlot(std::FILE* pFile, std::string_view strName, int nPlotKind, const double* x,
                  const double* y, const double* work, std::size_t n);

/// The "Export plot..." format of a plot of several curves: one line per point, x and then
/// each column's value, every number "%.6f" followed by a space, CR LF.
CStatus WritePlotColumns(std::FILE* pFile, std::string_view strName, const double* x,
                         const std::vector<const double*>& columns, std::size_t n);

/// Writes the result table to strPath in the export format, or in CSV when bCsv is set,
/// through CAtomicFile: on any failure strPath keeps what it held and the message names it.
CStatus ExportResultFile(const std::string& strPath, const double* const* ppRows, std::size_t nRows,
                         std::size_t nCols, bool bCsv = false, IProgressSink* pProgress = nullptr);

/// Writes the event log to strPath as WriteEventsCsv does, through CAtomicFile.
CStatus ExportEventsFile(const std::string& strPath, const std::vector<CRunEvent>& events);

/// Writes the plot buffer to strPath as WritePlot does, through CAtomicFile.
CStatus ExportPlotFile(const std::string& strPath, int nPlotKind, const double* x, const double* y,
                       const double* work, std::size_t n);

/// Writes x and the columns to strPath as WritePlotColumns does, through CAtomicFile.
CStatus ExportPlotColumnsFile(const std::string& strPath, const double* x,
                              const std::vector<const double*>& columns, std::size_t n);
