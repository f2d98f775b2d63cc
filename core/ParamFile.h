#pragma once

#include "ParamSet.h"
#include "Status.h"

#include <cstddef>
#include <string>
#include <string_view>

/// Largest parameter file that is read [bytes]; a real one is about 2 KB.
inline constexpr std::size_t kMaxParamFileBytes = 1024 * 1024;

/// Parses the text of a parameter file into set. An empty text gives the defaults; a missing
/// group or key keeps its default. On refusal set is left unchanged and the message names
/// strSource, the key and what is accepted. The text is checked before a tree is built from
/// it: at most kMaxParamFileBytes, nested at most a few levels, every key once per object,
/// valid JSON and UTF-8 (a refusal names the line and column).
CStatus ParseParamText(std::string_view text, std::string_view strSource, CParamSet& set);

/// Reads a parameter file (JSON, UTF-8). set is changed only when the whole file is accepted.
/// Refused before reading: a folder, a device, a FIFO (without waiting for it) and a file
/// larger than kMaxParamFileBytes; a read error is "cannot be read (reason)".
CStatus ReadParamFile(const std::string& strPath, CParamSet& set);

/// The parameter file text of set: pretty-printed JSON with every group and key, doubles
/// written so that they read back to the same double.
std::string ParamText(const CParamSet& set);

/// The value of one field as the parameter file writes it ("5000.0", "[0,0,0,0,0,0]").
std::string ValueText(const CField& field);

/// Writes the whole parameter set to strPath through CAtomicFile: a failed write leaves what
/// strPath held, and a link keeps pointing at the saved file.
CStatus WriteParamFile(const std::string& strPath, const CParamSet& set);

/// Applies one override "group.key=value" with the same checks as the file (size, nesting,
/// UTF-8, type, range). value is read as JSON; a bare text that is not JSON is taken as a
/// string. On refusal set is unchanged and the message names the key and what is accepted.
CStatus ApplyOverride(std::string_view assignment, CParamSet& set);
