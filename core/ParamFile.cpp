#include "ParamFile.h"

#include "AtomicFile.h"
#include "BoundedRead.h"
#include "JsonGuard.h"
#include "MessageText.h"
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

using json = nlohmann::ordered_json;

namespace {

CStatus Ok() {
    return CStatus::Success();
}

CStatus Refuse(std::string message) {
    return CStatus::Refusal(std::move(message));
}

// Nesting a parameter file may have: it has three levels (groups, keys, the code arrays).
constexpr int kMaxParamNesting = 8;

// The JSON check of a parameter file's text or an override's value; too deep a nesting is
// named with what a parameter file holds.
CJsonCheck CheckParamJson(std::string_view text) {
    CJsonCheck check = CheckJson(text, kMaxParamNesting);
    if (check.m_problem == EJsonProblem::Depth)
        check.m_strMessage = "values are nested deeper than " + std::to_string(kMaxParamNesting) +
                             " levels (a parameter file has 3).";
    return check;
}

std::string KnownGroups() {
    std::string list;
    std::string_view last;
    for (const CFieldDesc& desc : FieldDescriptions()) {
        if (desc.m_strGroup == last)
            continue;
        last = desc.m_strGroup;
        list += (list.empty() ? "" : ", ") + std::string(last);
    }
    return list;
}

std::string KnownKeys(std::string_view group) {
    std::string list;
    for (const CFieldDesc& desc : FieldDescriptions()) {
        if (desc.m_strGroup == group)
            list += (list.empty() ? "" : ", ") + std::string(desc.m_strKey);
    }
    return list;
}

// The JSON kind of a value with its article ("a number", "an array"), or a text quoted.
std::string TypeName(const json& value) {
    if (value.is_string())
        return "the text \"" + Quote(value.get<std::string>()) + "\"";
    const std::string name = value.type_name();
    const bool vowel = !name.empty() && std::string("aeiou").find(name[0]) != std::string::npos;
    return (vowel ? "an " : "a ") + name;
}

// A JSON number as a double; integers beyond 2^53 round, which the range checks tolerate
// (every whole-number field is far narrower).
double NumberOf(const json& value) {
    if (value.is_number_unsigned())
        return double(value.get<std::uint64_t>());
    if (value.is_number_integer())
        return double(value.get<std::int64_t>());
    return value.get<double>();
}

std::string TooLarge(std::size_t nBytes) {
    return std::to_string(nBytes) + " bytes, too large for a parameter file (at most " +
           std::to_string(kMaxParamFileBytes) + " bytes are read; a parameter file is about 2 KB).";
}

// Stores one JSON value into one field after checking its type and range.
std::optional<std::string> StoreValue(const CField& field, const json& value) {
    const CFieldDesc& desc = *field.m_pDesc;
    const std::string wrongType = "the value of \"" + desc.DisplayName() + "\" must be " +
                                  desc.AcceptedText() + ", not " + TypeName(value) + ".";
    if (auto* p = std::get_if<double*>(&field.m_ref)) {
        if (!value.is_number())
            return wrongType;
        const double number = value.get<double>();
        if (auto refusal = CheckNumber(desc, number))
            return refusal;
        **p = number;
    } else if (auto* p = std::get_if<int*>(&field.m_ref)) {
        // A fraction is named as such by CheckNumber; 3.0 is the whole number 3.
        if (!value.is_number())
            return wrongType;
        const double number = NumberOf(value);
        if (auto refusal = CheckNumber(desc, number))
            return refusal;
        **p = static_cast<int>(number);
    } else if (auto* p = std::get_if<bool*>(&field.m_ref)) {
        if (!value.is_boolean())
            return wrongType;
        **p = value.get<bool>();
    } else if (auto* p = std::get_if<std::string*>(&field.m_ref)) {
        if (!value.is_string())
            return wrongType;
        const std::string text = value.get<std::string>();
        if (auto refusal = CheckText(desc, text))
            return refusal;
        **p = text;
    } else if (auto* p = std::get_if<std::array<int, 6>*>(&field.m_ref)) {
        if (!value.is_array())
            return wrongType;
        if (value.size() != 6)
            return "\"" + desc.DisplayName() + "\" must be " + desc.AcceptedText() + ", not " +
                   std::to_string(value.size()) + " values.";
        std::array<int, 6> codes{};
        for (std::size_t i = 0; i < 6; ++i) {
            const bool whole = value[i].is_number_integer() ||
                               (value[i].is_number_float() &&
                                NumberOf(value[i]) == std::floor(NumberOf(value[i])));
            if (!whole)
                return "\"" + desc.DisplayName() + "\" must be " + desc.AcceptedText() +
                       "; value " + std::to_string(i + 1) + " is " + Quote(value[i].dump()) + ".";
            const double code = NumberOf(value[i]);
            if (auto refusal = CheckNumber(desc, code))
                return refusal;
            codes[i] = static_cast<int>(code);
        }
        **p = codes;
    }
    return std::nullopt;
}

const CField* FindIn(const std::vector<CField>& fields, std::string_view group,
                     std::string_view key) {
    for (const CField& field : fields) {
        if (field.m_pDesc->m_strGroup == group && field.m_pDesc->m_strKey == key)
            return &field;
    }
    return nullptr;
}

json ValueOf(const CField& field) {
    return std::visit([](auto* p) { return json(*p); }, field.m_ref);
}

} // namespace

CStatus ParseParamText(std::string_view text, std::string_view strSource, CParamSet& set) {
    const std::string source(strSource);
    CParamSet parsed;
    if (text.size() > kMaxParamFileBytes)
        return Refuse(source + ": " + TooLarge(text.size()));
    // The JSON reader would stop at a NUL and ignore whatever follows it.
    if (const std::size_t nul = text.find('\0'); nul != std::string_view::npos) {
        const std::string_view before = text.substr(0, nul);
        const std::size_t lineStart = before.rfind('\n');
        const std::size_t column = lineStart == std::string_view::npos ? nul + 1 : nul - lineStart;
        return Refuse(source + ": not a Kalvor parameter file: a NUL byte at line " +
                      std::to_string(std::count(before.begin(), before.end(), '\n') + 1) +
                      ", column " + std::to_string(column) + " (a parameter file is text).");
    }
    if (text.find_first_not_of(" \t\r\n") == std::string_view::npos) {
        set = parsed;
        return Ok();
    }
    // Checked as a stream first: no tree is built from text nested too deep to hold.
    const CJsonCheck check = CheckParamJson(text);
    if (check.m_problem == EJsonProblem::Duplicate)
        return Refuse(source + ": " + check.m_strMessage);
    if (check.m_problem != EJsonProblem::None)
        return Refuse(source + ": not a Kalvor parameter file: " + check.m_strMessage);
    const json root = json::parse(text, nullptr, false);
    if (root.is_discarded())
        return Refuse(source + ": not a Kalvor parameter file (the text is not valid JSON).");
    if (!root.is_object())
        return Refuse(source +
                      ": not a Kalvor parameter file (a JSON object of groups is "
                      "expected, found " +
                      TypeName(root) + ").");
    const std::vector<CField> fields = ListFields(parsed);
    for (const auto& [group, members] : root.items()) {
        if (KnownKeys(group).empty())
            return Refuse(source + ": unknown group \"" + Quote(group) + "\"; the groups are " +
                          KnownGroups() + ".");
        if (!members.is_object())
            return Refuse(source + ": group \"" + group + "\" must be an object of keys, not " +
                          TypeName(members) + ".");
        for (const auto& [key, value] : members.items()) {
            const CField* field = FindIn(fields, group, key);
            if (!field)
                return Refuse(source + ": unknown key \"" + group + "." + Quote(key) +
                              "\"; the keys of " + group + " are " + KnownKeys(group) + ".");
            if (auto refusal = StoreValue(*field, value))
                return Refuse(source + ": " + group + "." + key + ": " + *refusal);
        }
    }
    if (auto refusal = CheckFaultTiming(parsed.m_failures))
        return Refuse(source + ": failures.Clear: " + *refusal);
    if (auto refusal = CheckControlScheme(parsed.m_control))
        return Refuse(source + ": control.Scheme: " + *refusal);
    set = parsed;
    return Ok();
}

CStatus ReadParamFile(const std::string& strPath, CParamSet& set) {
    std::string text;
    if (auto refusal = ReadBoundedFile(strPath, kMaxParamFileBytes, "parameter file", text,
                                       [](std::uint64_t nBytes) { return TooLarge(nBytes); }))
        return Refuse(strPath + ": " + *refusal);
    return ParseParamText(text, strPath, set);
}

std::string ParamText(const CParamSet& set) {
    CParamSet copy = set;
    json root = json::object();
    for (const CField& field : ListFields(copy)) {
        const std::string group(field.m_pDesc->m_strGroup);
        const std::string key(field.m_pDesc->m_strKey);
        root[group][key] = ValueOf(field);
    }
    // Text that is not UTF-8 cannot reach a set through the reader or an override; should a
    // caller put some there, it is written replaced rather than making the save throw.
    return root.dump(2, ' ', false, json::error_handler_t::replace) + "\n";
}

std::string ValueText(const CField& field) {
    return ValueOf(field).dump(-1, ' ', false, json::error_handler_t::replace);
}

CStatus WriteParamFile(const std::string& strPath, const CParamSet& set) {
    return CAtomicFile::WriteText(strPath, ParamText(set));
}

CStatus ApplyOverride(std::string_view assignment, CParamSet& set) {
    const std::size_t equals = assignment.find('=');
    const std::size_t dot = assignment.find('.');
    if (equals == std::string_view::npos || dot == std::string_view::npos || dot > equals)
        return Refuse("--set " + Quote(assignment) +
                      ": expected GROUP.KEY=VALUE, for example control.Ud=150.");
    const std::string group(assignment.substr(0, dot));
    const std::string key(assignment.substr(dot + 1, equals - dot - 1));
    const std::string_view text = assignment.substr(equals + 1);
    if (KnownKeys(group).empty())
        return Refuse("--set: unknown group \"" + Quote(group) + "\"; the groups are " +
                      KnownGroups() + ".");
    CParamSet changed = set;
    const std::vector<CField> fields = ListFields(changed);
    const CField* field = FindIn(fields, group, key);
    if (!field)
        return Refuse("--set: unknown key \"" + group + "." + Quote(key) + "\"; the keys of " +
                      group + " are " + KnownKeys(group) + ".");
    const std::string name = "--set " + group + "." + key;
    // The same bounds as the file: a text it would refuse is refused here too.
    if (text.size() > kMaxParamFileBytes)
        return Refuse(name + ": the value is " + TooLarge(text.size()));
    if (!IsValidUtf8(text))
        return Refuse(name + ": the value \"" + Quote(text) + "\" is not valid UTF-8 text; enter " +
                      field->m_pDesc->AcceptedText() + ".");
    const CJsonCheck check = CheckParamJson(text);
    if (check.m_problem == EJsonProblem::Depth || check.m_problem == EJsonProblem::Duplicate)
        return Refuse(name + ": " + check.m_strMessage);
    json value;
    if (check.m_problem == EJsonProblem::None) {
        value = json::parse(text, nullptr, false);
    } else {
        // "nan", "inf" or "1e400" are numbers to the user, though not to JSON.
        const std::string bare(text);
        char* end = nullptr;
        const double number = std::strtod(bare.c_str(), &end);
        const bool numeric = !bare.empty() && end == bare.c_str() + bare.size();
        if (numeric && !std::isfinite(number) && field->m_pDesc->m_kind != EFieldKind::Text)
            return Refuse(name + ": \"" + Quote(bare) + "\" is not accepted: enter " +
                          field->m_pDesc->AcceptedText() + ".");
        value = bare;
    }
    if (auto refusal = StoreValue(*field, value))
        return Refuse(name + ": " + *refusal);
    set = changed;
    return Ok();
}
