#include "ResultExport.h"

#include "AtomicFile.h"
#include "Progress.h"
#include "ResultColumns.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

namespace {

constexpr char kDigitPairs[] = "00010203040506070809"
                               "10111213141516171819"
                               "20212223242526272829"
                               "30313233343536373839"
                               "40414243444546474849"
                               "50515253545556575859"
                               "60616263646566676869"
                               "70717273747576777879"
                               "80818283848586878889"
                               "90919293949596979899";

char* WritePair(unsigned v, char* out) {
    std::memcpy(out, kDigitPairs + 2 * v, 2);
    return out + 2;
}

// Decimal digits of v (no leading zeros, "0" for 0), written in place from the last pair.
char* WriteUnsigned(std::uint64_t v, char* out) {
    if (v < 10) {
        *out = char('0' + v);
        return out + 1;
    }
    if (v < 100)
        return WritePair(unsigned(v), out);
    int digits = 3;
    for (std::uint64_t power = 1000; digits < 20 && v >= power; power *= 10)
        ++digits;
    char* const end = out + digits;
    char* p = end;
    while (v >= 100) {
        p -= 2;
        WritePair(unsigned(v % 100), p);
        v /= 100;
    }
    if (v >= 10)
        WritePair(unsigned(v), p - 2);
    else
        p[-1] = char('0' + v);
    return end;
}

// Collects formatted text and writes it in large pieces; remembers the first failure.
class CBufferedWriter {
public:
    CBufferedWriter(std::FILE* pFile, std::string_view strName)
        : m_pFile(pFile), m_strName(strName) {
        m_buffer.resize(kCapacity);
    }

    // Room for at least nChars more characters; returns where to write them.
    char* Reserve(std::size_t nChars) {
        if (m_nUsed + nChars > m_buffer.size())
            Flush();
        if (nChars > m_buffer.size())
            m_buffer.resize(nChars);
        return m_buffer.data() + m_nUsed;
    }
    void Commit(char* pEnd) { m_nUsed = std::size_t(pEnd - m_buffer.data()); }
    void Put(std::string_view text) {
        char* p = Reserve(text.size());
        std::memcpy(p, text.data(), text.size());
        Commit(p + text.size());
    }

    void Flush() {
        if (m_nUsed == 0 || !m_bOk) {
            m_nUsed = 0;
            return;
        }
        errno = 0;
        if (std::fwrite(m_buffer.data(), 1, m_nUsed, m_pFile) != m_nUsed)
            Fail(errno);
        m_nUsed = 0;
    }

    CStatus Finish() {
        Flush();
        if (m_bOk) {
            errno = 0;
            if (std::fflush(m_pFile) != 0 || std::ferror(m_pFile))
                Fail(errno);
        }
        if (!m_bOk)
            return CStatus::Failure(m_strMessage);
        return CStatus::Success();
    }

private:
    void Fail(int error) {
        m_bOk = false;
        m_strMessage = "Cannot write " + std::string(m_strName) + ": " +
                       (error ? std::strerror(error) : "write error");
    }

    static constexpr std::size_t kCapacity = 1 << 16;
    std::FILE* m_pFile;
    std::string_view m_strName;
    std::vector<char> m_buffer;
    std::size_t m_nUsed = 0;
    bool m_bOk = true;
    std::string m_strMessage;
};

// Writes nRows rows, each by writeRow(r, writer), following them on pProgress (when given),
// which can cancel the write between rows.
template <class WriteRow>
CStatus WriteRows(CBufferedWriter& writer, std::string_view strName, std::size_t nRows,
                  IProgressSink* pProgress, WriteRow writeRow) {
    if (pProgress)
        pProgress->Open(0, static_cast<long long>(nRows));
    for (std::size_t r = 0; r < nRows; ++r) {
        writeRow(r, writer);
        if (pProgress) {
            pProgress->SetPos(static_cast<long long>(r));
            if (pProgress->IsCancelled()) {
                pProgress->Close();
                return CStatus::Failure("Writing " + std::string(strName) + " was cancelled.");
            }
        }
    }
    CStatus status = writer.Finish();
    if (pProgress)
        pProgress->Close();
    return status;
}

} // namespace

char* FormatFixed6(double value, char* out) {
    // Above 1e13 the scaled value no longer fits 64 bits; such values (and NaN, infinity) are
    // rare in a result table, so printf writes them.
    if (!(std::fabs(value) < 1e13)) {
        char buffer[kFixed6MaxChars + 1];
        const int len = std::snprintf(buffer, sizeof buffer, "%.6f", value);
        std::memcpy(out, buffer, std::size_t(len));
        return out + len;
    }
    std::uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    const bool negative = (bits >> 63) != 0;
    const int biased = int((bits >> 52) & 0x7ff);
    const std::uint64_t fraction = bits & ((std::uint64_t(1) << 52) - 1);
    // value = m * 2^-shift exactly; below 1e13 the shift is always positive.
    const std::uint64_t m = biased == 0 ? fraction : (fraction | (std::uint64_t(1) << 52));
    const int shift = biased == 0 ? 1074 : 1075 - biased;
    // value * 10^6 = p * 2^-shift exactly, p < 2^73; round it to an integer, ties to even,
    // as printf does with the exact binary value.
    const unsigned __int128 p = static_cast<unsigned __int128>(m) * 1000000u;
    std::uint64_t q = 0;
    if (shift < 74) {
        q = std::uint64_t(p >> shift);
        const unsigned __int128 rest = p & ((static_cast<unsigned __int128>(1) << shift) - 1);
        const unsigned __int128 half = static_cast<unsigned __int128>(1) << (shift - 1);
        if (rest > half || (rest == half && (q & 1)))
            ++q;
    }
    *out = '-';
    out += negative ? 1 : 0;
    out = WriteUnsigned(q / 1000000, out);
    const unsigned decimals = unsigned(q % 1000000);
    out[0] = '.';
    WritePair(decimals / 10000, out + 1);
    WritePair(decimals / 100 % 100, out + 3);
    WritePair(decimals % 100, out + 5);
    return out + 7;
}

char* FormatFull(double value, char* out) {
    const auto result = std::to_chars(out, out + 32, value, std::chars_format::general, 17);
    return result.ptr;
}

CStatus WriteResultTable(std::FILE* pFile, std::string_view strName, const double* const* ppRows,
                         std::size_t nRows, std::size_t nCols, IProgressSink* pProgress) {
    CBufferedWriter writer(pFile, strName);
    return WriteRows(writer, strName, nRows, pProgress, [&](std::size_t r, CBufferedWriter& w) {
        char* p = w.Reserve(nCols * (kFixed6MaxChars + 1) + 2);
        for (std::size_t c = 0; c < nCols; ++c) {
            p = FormatFixed6(ppRows[r][c], p);
            *p++ = ' ';
        }
        *p++ = '\r';
        *p++ = '\n';
        w.Commit(p);
    });
}

CStatus WriteResultCsv(std::FILE* pFile, std::string_view strName, const double* const* ppRows,
                       std::size_t nRows, std::size_t nCols, IProgressSink* pProgress,
                       const double* const* ppFocRows) {
    if (nCols > std::size_t(kResultColumns))
        return CStatus::Refusal("Cannot write " + std::string(strName) + ": the table has " +
                                std::to_string(nCols) + " columns, the labels name " +
                                std::to_string(kResultColumns));
    CBufferedWriter writer(pFile, strName);
    for (std::size_t c = 0; c < nCols; ++c) {
        if (c > 0)
            writer.Put(",");
        writer.Put(kResultLabels[c]);
    }
    const std::size_t focCols = ppFocRows ? std::size_t(kFocColumns) : 0;
    for (std::size_t c = 0; c < focCols; ++c) {
        writer.Put(",");
        writer.Put(kFocLabels[c]);
    }
    writer.Put("\n");
    return WriteRows(writer, strName, nRows, pProgress, [&](std::size_t r, CBufferedWriter& w) {
        char* p = w.Reserve((nCols + focCols) * 33 + 1);
        for (std::size_t c = 0; c < nCols; ++c) {
            if (c > 0)
                *p++ = ',';
            p = FormatFull(ppRows[r][c], p);
        }
        for (std::size_t c = 0; c < focCols; ++c) {
            *p++ = ',';
            p = FormatFull(ppFocRows[r][c], p);
        }
        *p++ = '\n';
        w.Commit(p);
    });
}

CStatus WriteEventsCsv(std::FILE* pFile, std::string_view strName,
                       const std::vector<CRunEvent>& events) {
    CBufferedWriter writer(pFile, strName);
    writer.Put("t,kind,source,value\n");
    for (const CRunEvent& event : events) {
        char* p = writer.Reserve(80);
        p = FormatFull(event.m_dT, p);
        *p++ = ',';
        for (char c : EventKindName(event.m_eKind))
            *p++ = c;
        *p++ = ',';
        for (char c : event.Source())
            *p++ = c;
        *p++ = ',';
        p = FormatFull(event.m_dValue, p);
        *p++ = '\n';
        writer.Commit(p);
    }
    return writer.Finish();
}

std::string TripSummary(const CRunEvent& event) {
    const bool voltage = event.m_eKind == EEventKind::Overvoltage;
    const char* preposition = event.m_eKind == EEventKind::Overcurrent ? "in" : "of";
    char text[160];
    std::snprintf(text, sizeof text, "Protection tripped at t = %.9g s: %s %s %s (%.6g %s).",
                  event.m_dT, std::string(EventKindName(event.m_eKind)).c_str(), preposition,
                  event.m_szSource, event.m_dValue, voltage ? "V" : "A");
    return text;
}

CStatus WritePlot(std::FILE* pFile, std::string_view strName, int nPlotKind, const double* x,
                  const double* y, const double* work, std::size_t n) {
    const double* second = nullptr;
    switch (nPlotKind) {
    case kPlotPicture:
        break;
    case kPlotCurve:
        second = y;
        break;
    case kPlotSpectrum:
        second = work;
        break;
    default:
        return CStatus::Refusal("Cannot write " + std::string(strName) + ": unknown plot kind " +
                                std::to_string(nPlotKind));
    }
    if (n > 0 && (!x || (nPlotKind != kPlotPicture && !second)))
        return CStatus::Refusal("Cannot write " + std::string(strName) + ": the plot has no data");
    CBufferedWriter writer(pFile, strName);
    for (std::size_t i = 0; i < n; ++i) {
        char* p = writer.Reserve(2 * (kFixed6MaxChars + 1) + 2);
        p = FormatFixed6(x[i], p);
        *p++ = ' ';
        if (second) {
            p = FormatFixed6(second[i], p);
            *p++ = ' ';
        }
        *p++ = '\r';
        *p++ = '\n';
        writer.Commit(p);
    }
    return writer.Finish();
}

CStatus WritePlotColumns(std::FILE* pFile, std::string_view strName, const double* x,
                         const std::vector<const double*>& columns, std::size_t n) {
    if (n > 0 && !x)
        return CStatus::Refusal("Cannot write " + std::string(strName) + ": the plot has no data");
    for (const double* column : columns)
        if (n > 0 && !column)
            return CStatus::Refusal("Cannot write " + std::string(strName) +
                                    ": the plot has no data");
    CBufferedWriter writer(pFile, strName);
    for (std::size_t i = 0; i < n; ++i) {
        char* p = writer.Reserve((columns.size() + 1) * (kFixed6MaxChars + 1) + 2);
        p = FormatFixed6(x[i], p);
        *p++ = ' ';
        for (const double* column : columns) {
            p = FormatFixed6(column[i], p);
            *p++ = ' ';
        }
        *p++ = '\r';
        *p++ = '\n';
        writer.Commit(p);
    }
    return writer.Finish();
}

CStatus ExportResultFile(const std::string& strPath, const double* const* ppRows, std::size_t nRows,
                         std::size_t nCols, bool bCsv, IProgressSink* pProgress) {
    return CAtomicFile::Write(strPath, [&](std::FILE* pFile) {
        return bCsv ? WriteResultCsv(pFile, strPath, ppRows, nRows, nCols, pProgress)
                    : WriteResultTable(pFile, strPath, ppRows, nRows, nCols, pProgress);
    });
}

CStatus ExportEventsFile(const std::string& strPath, const std::vector<CRunEvent>& events) {
    return CAtomicFile::Write(
        strPath, [&](std::FILE* pFile) { return WriteEventsCsv(pFile, strPath, events); });
}

CStatus ExportPlotFile(const std::string& strPath, int nPlotKind, const double* x, const double* y,
                       const double* work, std::size_t n) {
    return CAtomicFile::Write(strPath, [&](std::FILE* pFile) {
        return WritePlot(pFile, strPath, nPlotKind, x, y, work, n);
    });
}

CStatus ExportPlotColumnsFile(const std::string& strPath, const double* x,
                              const std::vector<const double*>& columns, std::size_t n) {
    return CAtomicFile::Write(
        strPath, [&](std::FILE* pFile) { return WritePlotColumns(pFile, strPath, x, columns, n); });
}
