#include "JsonGuard.h"

#include "MessageText.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <set>
#include <vector>

namespace {

using json = nlohmann::json;

// Line and column (in characters, both from 1) of the byte before nOffset.
std::string Where(std::string_view text, std::size_t nOffset) {
    const std::size_t end = std::min(nOffset > 0 ? nOffset - 1 : 0, text.size());
    std::size_t line = 1;
    std::size_t column = 0;
    for (std::size_t i = 0; i <= end && i < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c == '\n') {
            ++line;
            column = 0;
        } else if ((c & 0xC0) != 0x80) {
            ++column;
        }
    }
    return "line " + std::to_string(line) + ", column " +
           std::to_string(std::max<std::size_t>(column, 1));
}

// The parser's own explanation without its prefix and its echo of the text.
std::string Reason(const std::string& what) {
    std::string reason = what;
    const std::size_t colon = reason.find(": ");
    if (reason.rfind("[json.exception.", 0) == 0 && colon != std::string::npos)
        reason = reason.substr(colon + 2);
    const std::size_t lastRead = reason.find("; last read: ");
    if (lastRead != std::string::npos) {
        const std::size_t close = reason.find("'", lastRead + 14);
        reason.erase(lastRead,
                     close == std::string::npos ? std::string::npos : close + 1 - lastRead);
    }
    return reason;
}

// Events of the stream: depth and keys per open object; the first problem ends the reading.
class CGuardSax {
public:
    CGuardSax(std::string_view text, int nMaxDepth) : m_text(text), m_nMaxDepth(nMaxDepth) {}

    bool null() { return Value(); }
    bool boolean(bool) { return Value(); }
    bool number_integer(json::number_integer_t) { return Value(); }
    bool number_unsigned(json::number_unsigned_t) { return Value(); }
    bool number_float(json::number_float_t, const json::string_t&) { return Value(); }
    bool string(json::string_t&) { return Value(); }
    bool binary(json::binary_t&) { return Value(); }
    bool start_object(std::size_t) { return Open(true); }
    bool end_object() {
        m_keys.pop_back();
        return Close();
    }
    bool start_array(std::size_t) { return Open(false); }
    bool end_array() { return Close(); }
    bool key(json::string_t& name) {
        if (!m_keys.back().insert(name).second) {
            m_check = {EJsonProblem::Duplicate,
                       "the key \"" + Quote(Path(name)) + "\" appears twice; keep one of them."};
            return false;
        }
        m_path.back() = name;
        return true;
    }
    bool parse_error(std::size_t nPosition, const std::string& strLastToken,
                     const nlohmann::detail::exception& ex) {
        if (ex.id == 406) { // number overflow: located at the number's first character
            const std::size_t found = m_text.rfind(strLastToken, nPosition);
            const std::size_t start = found == std::string_view::npos ? nPosition : found + 1;
            m_check = {EJsonProblem::Syntax, "the number " + Quote(strLastToken) + " at " +
                                                 Where(m_text, start) + " is too large to hold."};
        } else {
            m_check = {EJsonProblem::Syntax,
                       "the text is not valid JSON at " + Where(m_text, nPosition) + " (" +
                           Reason(ex.what()) + ", near '" + Quote(strLastToken) + "')."};
        }
        return false;
    }

    const CJsonCheck& Result() const { return m_check; }

private:
    bool Value() { return true; }
    bool Open(bool bObject) {
        if (int(m_path.size()) >= m_nMaxDepth) {
            m_check = {EJsonProblem::Depth,
                       "values are nested deeper than " + std::to_string(m_nMaxDepth) + " levels."};
            return false;
        }
        m_path.emplace_back();
        if (bObject)
            m_keys.emplace_back();
        return true;
    }
    bool Close() {
        m_path.pop_back();
        return true;
    }
    std::string Path(const std::string& name) const {
        std::string path;
        for (std::size_t i = 0; i + 1 < m_path.size(); ++i)
            if (!m_path[i].empty())
                path += m_path[i] + ".";
        return path + name;
    }

    std::string_view m_text;                   ///< the text being read
    int m_nMaxDepth;                           ///< deepest nesting accepted
    std::vector<std::string> m_path;           ///< key of each open level ("" for arrays)
    std::vector<std::set<std::string>> m_keys; ///< keys seen in each open object
    CJsonCheck m_check;                        ///< the first problem
};

} // namespace

CJsonCheck CheckJson(std::string_view text, int nMaxDepth) {
    CGuardSax sax(text, nMaxDepth);
    json::sax_parse(text.begin(), text.end(), &sax);
    return sax.Result();
}
