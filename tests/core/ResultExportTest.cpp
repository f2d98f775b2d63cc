#include "ResultExport.h"
#include "Progress.h"
#include "ResultColumns.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace {

std::string Printf6(double v) {
    char buffer[400];
    std::snprintf(buffer, sizeof buffer, "%.6f", v);
    return buffer;
}

std::string Fast6(double v) {
    char buffer[kFixed6MaxChars];
    return std::string(buffer, FormatFixed6(v, buffer));
}

std::string Printf17(double v) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.17g", v);
    return buffer;
}

std::string Full(double v) {
    char buffer[32];
    return std::string(buffer, FormatFull(v, buffer));
}

// Everything written to a temporary FILE*.
template <class F> std::string Capture(F write) {
    std::FILE* pFile = std::tmpfile();
    EXPECT_NE(pFile, nullptr);
    write(pFile);
    std::fflush(pFile);
    std::string text;
    std::rewind(pFile);
    char buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pFile)) > 0)
        text.append(buffer, n);
    std::fclose(pFile);
    return text;
}

struct CRecorder : IProgressSink {
    void Open(long long lo, long long hi) override {
        m_nLower = lo;
        m_nUpper = hi;
        ++m_nOpened;
    }
    void SetPos(long long pos) override { m_nLast = pos; }
    void Close() override { ++m_nClosed; }
    long long m_nLower = -1, m_nUpper = -1, m_nLast = -1;
    int m_nOpened = 0, m_nClosed = 0;
};

} // namespace

// printf is the oracle: the exact binary value rounded to six decimals, ties to even.
TEST(FormatFixed6, MatchesPrintfOnHandPickedValues) {
    const double values[] = {0.0,
                             -0.0,
                             1.0,
                             -1.0,
                             0.000005,
                             1e-7,
                             -1e-7,
                             -4e-7,
                             5e-7,
                             0.0000005,
                             0.0078125, // 2^-7: scaled by 1e6 it is exactly 7812.5, a tie
                             0.0234375, // 3 * 2^-7: 23437.5, a tie rounding up to even
                             -0.0078125,
                             2.5e-7,
                             0.9999995,
                             0.99999949999999,
                             123456.789012345,
                             -98765.4321,
                             0.1,
                             0.2,
                             0.3,
                             1.0 / 3.0,
                             2.0 / 3.0,
                             9999999.9999995,
                             9.999999999999e12,
                             1e13,
                             -1e13,
                             1e15,
                             1.7976931348623157e308,
                             -1.7976931348623157e308,
                             std::numeric_limits<double>::denorm_min(),
                             -std::numeric_limits<double>::denorm_min(),
                             std::numeric_limits<double>::min(),
                             std::numeric_limits<double>::infinity(),
                             -std::numeric_limits<double>::infinity(),
                             std::numeric_limits<double>::quiet_NaN(),
                             -std::numeric_limits<double>::quiet_NaN()};
    for (double v : values)
        EXPECT_EQ(Fast6(v), Printf6(v)) << "value " << Printf17(v);
}

TEST(FormatFixed6, MatchesPrintfOnRandomValuesOfEveryScale) {
    std::mt19937_64 rng(20240611);
    std::uniform_real_distribution<double> mantissa(-1.0, 1.0);
    std::uniform_int_distribution<int> exponent(-30, 45);
    for (int i = 0; i < 200000; ++i) {
        const double v = std::ldexp(mantissa(rng), exponent(rng));
        ASSERT_EQ(Fast6(v), Printf6(v)) << "value " << Printf17(v);
    }
}

// Where the integer part gains a digit, also by rounding up (9.9999996 -> 10.000000).
TEST(FormatFixed6, MatchesPrintfAroundEveryPowerOfTen) {
    for (double power = 1.0; power < 1e13; power *= 10)
        for (double v :
             {power, power - 4e-7, power - 6e-7, power - 1.0, std::nextafter(power, 0.0)})
            for (double sign : {1.0, -1.0})
                EXPECT_EQ(Fast6(sign * v), Printf6(sign * v)) << "value " << Printf17(sign * v);
}

// Values of the form (odd / 2) * 1e-6 near representable ties, where rounding is decided by
// the last bits of the binary value.
TEST(FormatFixed6, MatchesPrintfNextToDecimalHalfway) {
    for (long long k = -200000; k <= 200000; k += 7) {
        const double v = (double(k) + 0.5) * 1e-6;
        EXPECT_EQ(Fast6(v), Printf6(v));
        EXPECT_EQ(Fast6(std::nextafter(v, 1e9)), Printf6(std::nextafter(v, 1e9)));
        EXPECT_EQ(Fast6(std::nextafter(v, -1e9)), Printf6(std::nextafter(v, -1e9)));
    }
    // Exact ties are multiples of 2^-7 with an odd count of 2^-7 / 1e6 ... every k/128.
    for (int k = -5000; k <= 5000; ++k)
        EXPECT_EQ(Fast6(k / 128.0), Printf6(k / 128.0));
}

TEST(FormatFull, MatchesPrintf17gAndReadsBack) {
    std::mt19937_64 rng(7);
    std::uniform_real_distribution<double> mantissa(-1.0, 1.0);
    std::uniform_int_distribution<int> exponent(-1000, 1000);
    for (int i = 0; i < 50000; ++i) {
        const double v = std::ldexp(mantissa(rng), exponent(rng));
        const std::string text = Full(v);
        ASSERT_EQ(text, Printf17(v));
        ASSERT_EQ(std::strtod(text.c_str(), nullptr), v);
    }
    EXPECT_EQ(Full(0.0), Printf17(0.0));
    EXPECT_EQ(Full(1e-310), Printf17(1e-310));
}

TEST(WriteResultTable, WritesEveryNumberWithASpaceAndEveryLineWithCrLf) {
    const double row0[3] = {0.0, -1.5, 1e-7};
    const double row1[3] = {0.000005, 200.0, -0.0000004};
    const double* rows[2] = {row0, row1};
    CRecorder progress;
    const std::string text = Capture([&](std::FILE* f) {
        const CStatus status = WriteResultTable(f, "t.txt", rows, 2, 3, &progress);
        EXPECT_TRUE(status.Ok()) << status.m_strMessage;
    });
    EXPECT_EQ(text, "0.000000 -1.500000 0.000000 \r\n"
                    "0.000005 200.000000 -0.000000 \r\n");
    EXPECT_EQ(progress.m_nOpened, 1);
    EXPECT_EQ(progress.m_nClosed, 1);
    EXPECT_EQ(progress.m_nLower, 0);
    EXPECT_EQ(progress.m_nUpper, 2);
    EXPECT_EQ(progress.m_nLast, 1);
}

TEST(WriteResultTable, BytesEqualPrintfForAFullTable) {
    std::mt19937_64 rng(3);
    std::normal_distribution<double> value(0.0, 300.0);
    const std::size_t rows = 500;
    std::vector<double> block(rows * kResultColumns);
    std::vector<const double*> pointers(rows);
    for (double& v : block)
        v = value(rng);
    std::string expected;
    for (std::size_t r = 0; r < rows; ++r) {
        pointers[r] = block.data() + r * kResultColumns;
        for (int c = 0; c < kResultColumns; ++c)
            expected += Printf6(pointers[r][c]) + " ";
        expected += "\r\n";
    }
    const std::string text = Capture([&](std::FILE* f) {
        EXPECT_TRUE(WriteResultTable(f, "t", pointers.data(), rows, kResultColumns).Ok());
    });
    EXPECT_EQ(text, expected);
}

TEST(WriteResultCsv, WritesTheLabelsThenFullPrecisionWithLf) {
    std::vector<double> row0(kResultColumns), row1(kResultColumns);
    for (int c = 0; c < kResultColumns; ++c) {
        row0[c] = c;
        row1[c] = 1.0 / (c + 3);
    }
    const double* rows[2] = {row0.data(), row1.data()};
    const std::string text = Capture([&](std::FILE* f) {
        EXPECT_TRUE(WriteResultCsv(f, "t.csv", rows, 2, kResultColumns).Ok());
    });
    std::string expected = "t [s],Ia [A],Ib [A],Ic [A],Ua [V],Ub [V],Uc [V],IU [A],IC [A],"
                           "IDC [A],IT1 [A],IT2 [A],IT3 [A],IT4 [A],IT5 [A],IT6 [A],ID1 [A],"
                           "ID2 [A],ID3 [A],ID4 [A],ID5 [A],ID6 [A],omegaR [rad/s],"
                           "omegaU [rad/s],Te [Nm],betaR [rad],Uab [V],Ubc [V],Uca [V],VX [V],"
                           "omegaR* [rad/s],omegaR** [rad/s],omegaE [rad/s],Psia [Wb],"
                           "Psib [Wb],Psic [Wb]\n";
    for (const double* row : rows) {
        for (int c = 0; c < kResultColumns; ++c) {
            if (c > 0)
                expected += ',';
            expected += Printf17(row[c]);
        }
        expected += "\n";
    }
    EXPECT_EQ(text, expected);
    EXPECT_EQ(text.find('\r'), std::string::npos);
}

TEST(WritePlot, WritesTheColumnsOfEachPlotKind) {
    const double x[3] = {0.0, 1.0, 2.0};
    const double y[3] = {0.5, -0.25, 3.0};
    const double work[3] = {7.0, 8.0, 9.0};
    auto write = [&](int kind) {
        return Capture(
            [&](std::FILE* f) { EXPECT_TRUE(WritePlot(f, "p.txt", kind, x, y, work, 3).Ok()); });
    };
    EXPECT_EQ(write(kPlotCurve),
              "0.000000 0.500000 \r\n1.000000 -0.250000 \r\n2.000000 3.000000 \r\n");
    EXPECT_EQ(write(kPlotSpectrum),
              "0.000000 7.000000 \r\n1.000000 8.000000 \r\n2.000000 9.000000 \r\n");
    EXPECT_EQ(write(kPlotPicture), "0.000000 \r\n1.000000 \r\n2.000000 \r\n");
    const std::string refused = Capture([&](std::FILE* f) {
        const CStatus status = WritePlot(f, "p.txt", 7, x, y, work, 3);
        EXPECT_FALSE(status.Ok());
        EXPECT_NE(status.m_strMessage.find("p.txt"), std::string::npos);
    });
    EXPECT_TRUE(refused.empty());
}

TEST(ExportResultFile, ReportsAFileThatCannotBeCreatedWithItsNameAndReason) {
    const double row[1] = {1.0};
    const double* rows[1] = {row};
    const std::string path = "/nonexistent-folder-of-kalvor/r.txt";
    const CStatus status = ExportResultFile(path, rows, 1, 1);
    EXPECT_FALSE(status.Ok());
    EXPECT_NE(status.m_strMessage.find(path), std::string::npos);
    EXPECT_NE(status.m_strMessage.find(std::strerror(ENOENT)), std::string::npos);
}

// A device is no file to export into: refused with its name before anything is written (a
// failed write of a real file is in AtomicFileTest).
TEST(ExportResultFile, RefusesADeviceWithItsName) {
    std::vector<double> row(kResultColumns, 1.0);
    std::vector<const double*> rows(5000, row.data());
    const CStatus status = ExportResultFile("/dev/full", rows.data(), rows.size(), kResultColumns);
    EXPECT_FALSE(status.Ok());
    EXPECT_NE(status.m_strMessage.find("/dev/full"), std::string::npos);
    EXPECT_NE(status.m_strMessage.find("not a regular file"), std::string::npos);
}

TEST(ExportPlotFile, WritesTheFileInBinaryMode) {
    const std::string path = ::testing::TempDir() + "kalvor_plot_export.txt";
    const double x[2] = {1.0, 2.0};
    const double y[2] = {3.0, 4.0};
    ASSERT_TRUE(ExportPlotFile(path, kPlotCurve, x, y, nullptr, 2).Ok());
    std::FILE* f = std::fopen(path.c_str(), "rb");
    ASSERT_NE(f, nullptr);
    char buffer[128] = {};
    const std::size_t n = std::fread(buffer, 1, sizeof buffer, f);
    std::fclose(f);
    std::remove(path.c_str());
    EXPECT_EQ(std::string(buffer, n), "1.000000 3.000000 \r\n2.000000 4.000000 \r\n");
}

namespace {

// Asks to stop once the writer has reported row m_nStopAt.
class CStopAtRow : public IProgressSink {
public:
    explicit CStopAtRow(long long nStopAt) : m_nStopAt(nStopAt) {}
    void Open(long long, long long) override {}
    void SetPos(long long nPos) override { m_nPos = nPos; }
    void Close() override {}
    bool IsCancelled() const override { return m_nPos >= m_nStopAt; }

private:
    long long m_nStopAt;
    long long m_nPos = -1;
};

} // namespace

// Ctrl-C reaches both writers within a row, whatever the format.
TEST(WriteResult, BothFormatsStopWhenTheSinkAsks) {
    std::vector<double> row(kResultColumns, 1.5);
    const std::vector<const double*> rows(100000, row.data());
    for (const bool csv : {false, true}) {
        CStopAtRow stop(10);
        CStatus status;
        const std::string text = Capture([&](std::FILE* f) {
            status =
                csv ? WriteResultCsv(f, "t.csv", rows.data(), rows.size(), kResultColumns, &stop)
                    : WriteResultTable(f, "t.txt", rows.data(), rows.size(), kResultColumns, &stop);
        });
        EXPECT_FALSE(status.Ok()) << csv;
        EXPECT_NE(status.m_strMessage.find("was cancelled"), std::string::npos);
        EXPECT_LT(text.size(), 100000u) << csv; // not the 100,000 rows
    }
}
