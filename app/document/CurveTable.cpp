#include "document/CurveTable.h"

#include "BoundedRead.h"
#include "MessageText.h"
#include "ResultColumns.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace {

std::string_view Trim(std::string_view s) {
    const auto space = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '"'; };
    while (!s.empty() && space(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && space(s.back()))
        s.remove_suffix(1);
    return s;
}

/// The whole field as a number ("1.5", "-2e-3", "nan", "inf"); false for anything else.
bool ToNumber(std::string_view field, double& value) {
    field = Trim(field);
    if (!field.empty() && field.front() == '+')
        field.remove_prefix(1);
    if (field.empty())
        return false;
    const auto [end, error] = std::from_chars(field.data(), field.data() + field.size(), value);
    return error == std::errc() && end == field.data() + field.size();
}

/// Fields of a line split at delimiter; with ' ' at every run of spaces and tabs.
std::vector<std::string_view> Fields(std::string_view line, char delimiter) {
    std::vector<std::string_view> fields;
    if (delimiter == ' ') {
        std::size_t i = 0;
        while (i < line.size()) {
            while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r'))
                ++i;
            const std::size_t start = i;
            while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r')
                ++i;
            if (i > start)
                fields.push_back(line.substr(start, i - start));
        }
        return fields;
    }
    std::size_t start = 0;
    for (std::size_t i = 0; i <= line.size(); ++i) {
        if (i == line.size() || line[i] == delimiter) {
            fields.push_back(line.substr(start, i - start));
            start = i + 1;
        }
    }
    return fields;
}

/// The non-empty lines of a text one at a time, with their numbers (from 1): a table of short
/// lines would take several times its size as a list of lines.
class CLineCursor {
public:
    explicit CLineCursor(std::string_view text) : m_text(text) {}

    /// The next non-empty line, or false at the end.
    bool Next(std::size_t& number, std::string_view& line) {
        while (m_nStart <= m_text.size()) {
            // LF, CR LF, or a CR alone (older spreadsheet exports) end a line.
            std::size_t end = m_text.find_first_of("\r\n", m_nStart);
            if (end == std::string_view::npos)
                end = m_text.size();
            ++m_nNumber;
            line = m_text.substr(m_nStart, end - m_nStart);
            m_nStart = end + 1;
            if (end < m_text.size() && m_text[end] == '\r' && m_nStart < m_text.size() &&
                m_text[m_nStart] == '\n')
                ++m_nStart;
            if (!Trim(line).empty()) {
                number = m_nNumber;
                return true;
            }
        }
        return false;
    }

private:
    std::string_view m_text;
    std::size_t m_nStart = 0;
    std::size_t m_nNumber = 0;
};

CCurveTable Refuse(const std::string& strName, const std::string& strWhy) {
    CCurveTable table;
    table.m_strMessage = strName + ": " + strWhy;
    return table;
}

} // namespace

CCurveTable ParseCurveTable(std::string_view text, const std::string& strName,
                            std::size_t nMaxValues) {
    const std::string kAccepted =
        " A curve file is the \"Export results...\" format (36 numbers a line, no header) or a "
        "CSV whose first line names the columns, time first.";
    CLineCursor cursor(text);
    std::size_t nFirst = 0;
    std::string_view first;
    if (!cursor.Next(nFirst, first))
        return Refuse(strName, "holds no table." + kAccepted);
    const char delimiter = first.find(',') != std::string_view::npos    ? ','
                           : first.find(';') != std::string_view::npos  ? ';'
                           : first.find('\t') != std::string_view::npos ? '\t'
                                                                        : ' ';
    std::vector<std::string_view> head = Fields(first, delimiter);
    double probe = 0;
    const bool bHeader = std::any_of(head.begin(), head.end(),
                                     [&probe](std::string_view f) { return !ToNumber(f, probe); });
    CCurveTable table;
    std::size_t nCols = head.size();
    char split = delimiter;
    if (bHeader) {
        for (std::string_view name : head)
            table.m_vecNames.emplace_back(Trim(name));
    } else {
        // Without a header only the result table's layout says what the columns are.
        split = ' ';
        nCols = Fields(first, ' ').size();
        if (nCols != std::size_t(kResultColumns))
            return Refuse(strName,
                          "line " + std::to_string(nFirst) + " has " + std::to_string(nCols) +
                              " numbers and there is no header line naming them." + kAccepted);
        for (std::string_view name : kResultLabels)
            table.m_vecNames.emplace_back(name);
    }
    if (nCols < 2)
        return Refuse(strName, "has " + std::to_string(nCols) +
                                   " column: a curve needs a time column and one of values." +
                                   kAccepted);
    // Every value costs 8 bytes however short its text: the bound keeps a file of tiny lines
    // from taking several times the file's size.
    const std::size_t nMaxRows = nMaxValues / nCols;
    const std::size_t nLines = std::size_t(std::count(text.begin(), text.end(), '\n')) + 1;
    table.m_vecColumns.assign(nCols, {});
    for (auto& column : table.m_vecColumns)
        column.reserve(std::min(nLines, nMaxRows));
    std::size_t number = nFirst;
    std::string_view line = first;
    for (bool bMore = !bHeader || cursor.Next(number, line); bMore;
         bMore = cursor.Next(number, line)) {
        if (table.m_vecColumns[0].size() == nMaxRows)
            return Refuse(strName, "holds more than " + std::to_string(nMaxRows) + " rows of " +
                                       std::to_string(nCols) + " columns (at most " +
                                       std::to_string(nMaxValues) + " values are read).");
        const std::vector<std::string_view> fields = Fields(line, split);
        if (fields.size() != nCols)
            return Refuse(strName, "line " + std::to_string(number) + " has " +
                                       std::to_string(fields.size()) + " fields, not the " +
                                       std::to_string(nCols) + " of the first line.");
        for (std::size_t c = 0; c < nCols; ++c) {
            double value = 0;
            if (!ToNumber(fields[c], value))
                return Refuse(strName, "line " + std::to_string(number) + ", column " +
                                           std::to_string(c + 1) + " (" +
                                           Quote(table.m_vecNames[c]) + "): \"" +
                                           Quote(Trim(fields[c])) + "\" is not a number.");
            table.m_vecColumns[c].push_back(value);
        }
    }
    if (table.m_vecColumns[0].size() < 2)
        return Refuse(strName, "has fewer than two rows of numbers: a curve needs two points.");
    table.m_bOk = true;
    return table;
}

CCurveTable ReadCurveTable(const std::string& strPath) {
    std::string text;
    if (auto refusal = ReadBoundedFile(strPath, kMaxCurveTableBytes, "curve table", text))
        return Refuse(strPath, *refusal);
    return ParseCurveTable(text, strPath);
}
