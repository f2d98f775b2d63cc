#include "ParamReference.h"

#include "ParamFile.h"
#include "ParamSet.h"

namespace {

// Markdown table cells hold no bar and no line break.
std::string Cell(const std::string& text) {
    std::string cell;
    for (char c : text) {
        if (c == '|')
            cell += "\\|";
        else
            cell += c == '\n' ? ' ' : c;
    }
    return cell;
}

std::string GroupOf(const std::string& key) {
    return key.substr(0, key.find('.'));
}

} // namespace

std::vector<CParamEntry> ParamReference() {
    CParamSet defaults;
    std::vector<CParamEntry> entries;
    for (const CField& field : ListFields(defaults)) {
        const CFieldDesc& desc = *field.m_pDesc;
        entries.push_back({std::string(desc.m_strGroup) + "." + std::string(desc.m_strKey),
                           std::string(desc.m_strMeaning), std::string(desc.m_strUnit),
                           desc.AcceptedText(), ValueText(field), desc.DisplayName()});
    }
    return entries;
}

std::string ParamListText() {
    std::string text;
    std::string group;
    for (const CParamEntry& entry : ParamReference()) {
        if (GroupOf(entry.m_strKey) != group) {
            group = GroupOf(entry.m_strKey);
            text += (text.empty() ? "" : "\n") + group + ":\n";
        }
        text += "  " + entry.m_strKey + " = " + entry.m_strDefault;
        if (!entry.m_strUnit.empty())
            text += " [" + entry.m_strUnit + "]";
        text += "\n      " + entry.m_strMeaning + "; " + entry.m_strAccepted + ".\n";
    }
    return text;
}

std::string ParamReferenceMarkdown() {
    std::string text =
        "# Parameters\n\n"
        "Every key of the parameter file, of `kalvor-cli --set GROUP.KEY=VALUE` "
        "and of `kalvor.Params`, in the file's order. Generated from the "
        "program's table of fields (`kalvor-cli params --list` prints the "
        "same). Do not edit by hand: `kalvor_param_keys --markdown > docs/parameters.md` in the "
        "build's packaging folder writes it anew.\n";
    std::string group;
    for (const CParamEntry& entry : ParamReference()) {
        if (GroupOf(entry.m_strKey) != group) {
            group = GroupOf(entry.m_strKey);
            text += "\n## " + group +
                    "\n\n"
                    "| Key | Meaning | Unit | Accepted | Default | Field in the program |\n"
                    "|---|---|---|---|---|---|\n";
        }
        text += "| `" + entry.m_strKey + "` | " + Cell(entry.m_strMeaning) + " | " +
                Cell(entry.m_strUnit) + " | " + Cell(entry.m_strAccepted) + " | `" +
                entry.m_strDefault + "` | " + Cell(entry.m_strLabel) + " |\n";
    }
    return text;
}
