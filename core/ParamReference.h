#pragma once

#include <string>
#include <vector>

/// One parameter as the reference describes it to a user.
struct CParamEntry {
    std::string m_strKey;      ///< "group.key", as --set and Params take it
    std::string m_strMeaning;  ///< what the value is
    std::string m_strUnit;     ///< empty for a plain number, a flag or a choice
    std::string m_strAccepted; ///< "a number from 0 to 10000"
    std::string m_strDefault;  ///< the default as the parameter file writes it
    std::string m_strLabel;    ///< the label of its field in the program, with its context
};

/// Every parameter in the file's order, from the one table of fields.
std::vector<CParamEntry> ParamReference();

/// The reference as `kalvor-cli params --list` prints it: per key a line "group.key = default
/// unit" and an indented line with the meaning and what is accepted.
std::string ParamListText();

/// The reference as docs/parameters.md holds it: a Markdown table per group.
std::string ParamReferenceMarkdown();
