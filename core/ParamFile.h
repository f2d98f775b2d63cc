#pragma once

#include "ParamSet.h"

#include <string>
#include <string_view>

/// Outcome of reading or writing a parameter file: a result starts as a failure until the
/// operation succeeds.
struct CFileStatus {
    bool m_bOk = false;                      ///< the operation succeeded
    std::string m_strMessage = "not called"; ///< why it failed, naming the file and the key
};

/// Parses the text of a parameter file into set. An empty text gives the defaults; a missing
/// group or key keeps its default. On refusal set is left unchanged and the message names
/// strSource, the key and what is accepted.
CFileStatus ParseParamText(std::string_view text, std::string_view strSource, CParamSet& set);

/// Reads a parameter file (JSON, UTF-8). set is changed only when the whole file is accepted.
CFileStatus ReadParamFile(const std::string& strPath, CParamSet& set);

/// The parameter file text of set: pretty-printed JSON with every group and key, doubles
/// written so that they read back to the same double.
std::string ParamText(const CParamSet& set);

/// Writes the whole parameter set to strPath (through a temporary file, so a failed write
/// never leaves a half-written document behind).
CFileStatus WriteParamFile(const std::string& strPath, const CParamSet& set);

/// Applies one override "group.key=value" with the same checks as the file. value is read as
/// JSON; a bare text that is not JSON is taken as a string. On refusal set is unchanged.
CFileStatus ApplyOverride(std::string_view assignment, CParamSet& set);
