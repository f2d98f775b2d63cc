// Prints every key that `kalvor-cli --set` accepts, one "GROUP.KEY KIND" a line, so that the
// shell completion is generated from the parameter table and never drifts from it.
#include "ParamSet.h"

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

int main() {
    for (const CFieldDesc& desc : FieldDescriptions())
        std::cout << desc.m_strGroup << '.' << desc.m_strKey << ' ' << KindName(desc.m_kind)
                  << '\n';
    return std::cout ? 0 : 1;
}
