#include "ParamFile.h"

#include <nlohmann/json.hpp>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

using json = nlohmann::ordered_json;

namespace {

CFileStatus Ok() {
    return {true, {}};
}

CFileStatus Refuse(std::string message) {
    return {false, std::move(message)};
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

// The JSON kind of a value with its article: "a string", "an array".
std::string TypeName(const json& value) {
    const std::string name = value.type_name();
    const bool vowel = !name.empty() && std::string("aeiou").find(name[0]) != std::string::npos;
    return (vowel ? "an " : "a ") + name;
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
        if (!value.is_number_integer())
            return wrongType;
        const double number = value.is_number_unsigned() ? double(value.get<std::uint64_t>())
                                                         : double(value.get<std::int64_t>());
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
            if (!value[i].is_number_integer())
                return "\"" + desc.DisplayName() + "\" must be " + desc.AcceptedText() +
                       "; value " + std::to_string(i + 1) + " is " + value[i].dump() + ".";
            const double code = value[i].is_number_unsigned()
                                    ? double(value[i].get<std::uint64_t>())
                                    : double(value[i].get<std::int64_t>());
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

CFileStatus ParseParamText(std::string_view text, std::string_view strSource, CParamSet& set) {
    const std::string source(strSource);
    CParamSet parsed;
    if (text.find_first_not_of(" \t\r\n") == std::string_view::npos) {
        set = parsed;
        return Ok();
    }
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
            return Refuse(source + ": unknown group \"" + group + "\"; the groups are " +
                          KnownGroups() + ".");
        if (!members.is_object())
            return Refuse(source + ": group \"" + group + "\" must be an object of keys, not " +
                          TypeName(members) + ".");
        for (const auto& [key, value] : members.items()) {
            const CField* field = FindIn(fields, group, key);
            if (!field)
                return Refuse(source + ": unknown key \"" + group + "." + key + "\"; the keys of " +
                              group + " are " + KnownKeys(group) + ".");
            if (auto refusal = StoreValue(*field, value))
                return Refuse(source + ": " + group + "." + key + ": " + *refusal);
        }
    }
    if (auto refusal = CheckFaultTiming(parsed.m_failures))
        return Refuse(source + ": failures.Clear: " + *refusal);
    set = parsed;
    return Ok();
}

CFileStatus ReadParamFile(const std::string& strPath, CParamSet& set) {
    std::error_code error;
    if (std::filesystem::is_directory(strPath, error))
        return Refuse(strPath + ": is a folder, not a parameter file.");
    std::ifstream in(strPath, std::ios::binary);
    if (!in)
        return Refuse(strPath + ": cannot be opened (" + std::strerror(errno) + ").");
    std::ostringstream buffer;
    buffer << in.rdbuf();
    if (in.bad())
        return Refuse(strPath + ": cannot be read (" + std::strerror(errno) + ").");
    return ParseParamText(buffer.str(), strPath, set);
}

std::string ParamText(const CParamSet& set) {
    CParamSet copy = set;
    json root = json::object();
    for (const CField& field : ListFields(copy)) {
        const std::string group(field.m_pDesc->m_strGroup);
        const std::string key(field.m_pDesc->m_strKey);
        root[group][key] = ValueOf(field);
    }
    return root.dump(2) + "\n";
}

CFileStatus WriteParamFile(const std::string& strPath, const CParamSet& set) {
    const std::string text = ParamText(set);
    const std::string temporary = strPath + ".tmp";
    std::FILE* file = std::fopen(temporary.c_str(), "wb");
    if (!file)
        return Refuse(strPath + ": cannot be created (" + std::strerror(errno) + ").");
    const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    const int writeError = errno;
    const bool closed = std::fclose(file) == 0;
    if (!written || !closed) {
        std::remove(temporary.c_str());
        return Refuse(strPath + ": cannot be written (" +
                      std::strerror(written ? errno : writeError) + ").");
    }
    if (std::rename(temporary.c_str(), strPath.c_str()) != 0) {
        const int error = errno;
        std::remove(temporary.c_str());
        return Refuse(strPath + ": cannot be written (" + std::strerror(error) + ").");
    }
    return Ok();
}

CFileStatus ApplyOverride(std::string_view assignment, CParamSet& set) {
    const std::size_t equals = assignment.find('=');
    const std::size_t dot = assignment.find('.');
    if (equals == std::string_view::npos || dot == std::string_view::npos || dot > equals)
        return Refuse("--set " + std::string(assignment) +
                      ": expected GROUP.KEY=VALUE, for example control.Ud=150.");
    const std::string group(assignment.substr(0, dot));
    const std::string key(assignment.substr(dot + 1, equals - dot - 1));
    const std::string_view text = assignment.substr(equals + 1);
    if (KnownKeys(group).empty())
        return Refuse("--set: unknown group \"" + group + "\"; the groups are " + KnownGroups() +
                      ".");
    CParamSet changed = set;
    const std::vector<CField> fields = ListFields(changed);
    const CField* field = FindIn(fields, group, key);
    if (!field)
        return Refuse("--set: unknown key \"" + group + "." + key + "\"; the keys of " + group +
                      " are " + KnownKeys(group) + ".");
    json value = json::parse(text, nullptr, false);
    if (value.is_discarded()) {
        // "nan", "inf" or "1e400" are numbers to the user, though not to JSON.
        const std::string bare(text);
        char* end = nullptr;
        const double number = std::strtod(bare.c_str(), &end);
        const bool numeric = !bare.empty() && end == bare.c_str() + bare.size();
        if (numeric && !std::isfinite(number) && field->m_pDesc->m_kind != EFieldKind::Text)
            return Refuse("--set " + group + "." + key + ": \"" + bare +
                          "\" is not accepted: enter " + field->m_pDesc->AcceptedText() + ".");
        value = bare;
    }
    if (auto refusal = StoreValue(*field, value))
        return Refuse("--set " + group + "." + key + ": " + *refusal);
    set = changed;
    return Ok();
}
