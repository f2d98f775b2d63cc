#pragma once

#include <string>
#include <string_view>

/// What CheckJson found wrong with a text.
enum class EJsonProblem {
    None,      ///< the text is JSON within the bounds
    Syntax,    ///< not JSON (or a number too large to hold): line and column are named
    Depth,     ///< nested deeper than the bound
    Duplicate, ///< a key appears twice in one object
};

/// The outcome of a check: a problem and its message (empty for None).
struct CJsonCheck {
    EJsonProblem m_problem = EJsonProblem::None; ///< what is wrong
    std::string m_strMessage;                    ///< what and where, without the source's name
};

/// Checks untrusted JSON before a tree is built from it. The check reads the text as a stream
/// of events and keeps one level per open bracket, so no text can exhaust the stack: nesting is
/// refused at nMaxDepth + 1 levels, before any tree exists (a deep tree overflows the stack
/// when it is built, copied, printed or destroyed). A key that appears twice in one object is
/// refused (it is almost always a mistake), and a syntax error is located by line and column.
/// The message quotes at most a short part of the text.
CJsonCheck CheckJson(std::string_view text, int nMaxDepth);
