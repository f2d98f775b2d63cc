// Prints every key that `kalvor-cli --set` accepts, one "GROUP.KEY KIND<TAB>DESCRIPTION" a line,
// so that the shell completion and the man page are generated from the parameter table and
// never drift from it. With --markdown it prints docs/parameters.md instead.
#include "ParamReference.h"
#include "ParamSet.h"

#include <cstring>
#include <iostream>

namespace {

const char* KindName(EFieldKind kind) {
    switch (kind) {
    case EFieldKind::Bool:
        return "flag";
    case EFieldKind::Int:
        return "integer";
    case EFieldKind::Text:
        return "text";
    case EFieldKind::Codes6:
        return "codes";
    case EFieldKind::Double:
        break;
    }
    return "number";
}

} // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::strcmp(argv[1], "--markdown") == 0) {
        std::cout << ParamReferenceMarkdown();
        return std::cout ? 0 : 1;
    }
    const std::vector<CParamEntry> entries = ParamReference();
    const std::vector<CFieldDesc>& descriptions = FieldDescriptions();
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const CParamEntry& entry = entries[i];
        std::cout << entry.m_strKey << ' ' << KindName(descriptions[i].m_kind) << '\t'
                  << entry.m_strMeaning;
        if (!entry.m_strUnit.empty())
            std::cout << " [" << entry.m_strUnit << "]";
        std::cout << "; " << entry.m_strAccepted << "; default " << entry.m_strDefault << '\n';
    }
    return std::cout ? 0 : 1;
}
