#include "ParamArgs.h"

CFileStatus LoadParamArgs(const std::string& strParams, const std::vector<std::string>& overrides,
                          CParamSet& set) {
    CParamSet loaded;
    if (!strParams.empty()) {
        CFileStatus status = ReadParamFile(strParams, loaded);
        if (!status.m_bOk)
            return status;
    }
    for (const std::string& assignment : overrides) {
        CFileStatus status = ApplyOverride(assignment, loaded);
        if (!status.m_bOk)
            return status;
    }
    // Checked once all overrides are in: Onset and Clear may be set in either order.
    if (auto refusal = CheckFaultTiming(loaded.m_failures))
        return {false, "--set failures.Clear: " + *refusal};
    if (auto refusal = CheckControlScheme(loaded.m_control))
        return {false, "control.Scheme: " + *refusal};
    set = loaded;
    return {true, {}};
}
