#include "Commands.h"
#include "Interrupt.h"
#include "Output.h"
#include "ParamArgs.h"
#include "ParamReference.h"

#include <cerrno>
#include <cstring>

int ParamsMain(const CParamsOptions& options) {
    if (!CheckOutput(options.m_strOut))
        return kExitUsage;
    std::string text;
    if (options.m_bList) {
        text = ParamListText();
    } else {
        CParamSet set;
        const CStatus loaded = LoadParamArgs(options.m_strParams, options.m_overrides, set);
        if (!loaded.Ok())
            return ExitStatus(loaded);
        // The text the program's Save writes, byte for byte.
        text = ParamText(set);
    }
    const CInterruptGuard interrupt;
    return WriteOutput(options.m_strOut, interrupt,
                       [&](std::FILE* pFile, const std::string& strName) -> CStatus {
                           errno = 0;
                           if (std::fwrite(text.data(), 1, text.size(), pFile) != text.size() ||
                               std::fflush(pFile) != 0)
                               return CStatus::Failure("Cannot write " + strName + ": " +
                                                       std::strerror(errno ? errno : EIO));
                           return CStatus::Success();
                       });
}
