#include "document/CurveTable.h"

#include "BoundedRead.h"
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

/// Non-empty lines with their numbers (from 1).
std::vector<std::pair<std::size_t, std::string_view>> Lines(std::string_view text) {
    std::vector<std::pair<std::size_t, std::string_view>> lines;
    std::size_t number = 0, start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos)
            end = text.size();
        ++number;
        const std::string_view line = text.substr(start, end - start);
        if (!Trim(line).empty())
            lines.emplace_back(number, line);
        start = end + 1;
    }
    return lines;
}

CCurveTable Refuse(const std::string& strName, const std::string& strWhy) {
    CCurveTable table;
    table.m_strMessage = strName + ": " + strWhy;
    return table;
}

} // namespace

CCurveTable ParseCurveTable(std::string_view text, const std::string& strName) {
    const std::string kAccepted =
        " A curve file is the \"Export results...\" format (36 numbers a line, no header) or a "
        "CSV whose first line names the columns, time first.";
    const auto lines = Lines(text);
    if (lines.empty())
        return Refuse(strName, "holds no table." + kAccepted);
    const std::string_view first = lines.front().second;
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
            return Refuse(strName, "line " + std::to_string(lines.front().first) + " has " +
                                       std::to_string(nCols) +
                                       " numbers and there is no header line naming them." +
                                       kAccepted);
        for (std::string_view name : kResultLabels)
            table.m_vecNames.emplace_back(name);
    }
    if (nCols < 2)
        return Refuse(strName, "has " + std::to_string(nCols) +
                                   " column: a curve needs a time column and one of values." +
                                   kAccepted);
    table.m_vecColumns.assign(nCols, {});
    for (std::size_t l = bHeader ? 1 : 0; l < lines.size(); ++l) {
        const auto& [number, line] = lines[l];
        const std::vector<std::string_view> fields = Fields(line, split);
        if (fields.size() != nCols)
            return Refuse(strName, "line " + std::to_string(number) + " has " +
                                       std::to_string(fields.size()) + " fields, not the " +
                                       std::to_string(nCols) + " of the first line.");
        for (std::size_t c = 0; c < nCols; ++c) {
            double value = 0;
            if (!ToNumber(fields[c], value))
                return Refuse(strName, "line " + std::to_string(number) + ", column " +
                                           std::to_string(c + 1) + " (" + table.m_vecNames[c] +
                                           "): \"" + std::string(Trim(fields[c])) +
                                           "\" is not a number.");
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
