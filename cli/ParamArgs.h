#pragma once

#include "ParamFile.h"

#include <string>
#include <vector>

/// The parameter set of a command line: the defaults, then the parameter file strParams (when
/// not empty), then every GROUP.KEY=VALUE override in order. On refusal the message names the
/// file or the override, the key and what is accepted.
CStatus LoadParamArgs(const std::string& strParams, const std::vector<std::string>& overrides,
                      CParamSet& set);
