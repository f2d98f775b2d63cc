#include "ParamArgs.h"

CStatus LoadParamArgs(const std::string& strParams, const std::vector<std::string>& overrides,
                      CParamSet& set) {
    CParamSet loaded;
    if (!strParams.empty()) {
        CStatus status = ReadParamFile(strParams, loaded);
        if (!status.Ok())
            return status;
    }
    for (const std::string& assignment : overrides) {
        CStatus status = ApplyOverride(assignment, loaded);
        if (!status.Ok())
            return status;
    }
    // Checked once all overrides are in: Onset and Clear may be set in either order.
    if (auto refusal = CheckFaultTiming(loaded.m_failures))
        return CStatus::Refusal("--set failures.Clear: " + *refusal);
    if (auto refusal = CheckControlScheme(loaded.m_control))
        return CStatus::Refusal("control.Scheme: " + *refusal);
    set = loaded;
    return CStatus::Success();
}
