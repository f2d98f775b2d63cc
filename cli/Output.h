#pragma once

#include "AtomicFile.h"
#include "Commands.h"
#include "Interrupt.h"
#include "ResultExport.h"

#include <cstdio>
#include <string>

/// True when strOut names standard output: empty or "-".
inline bool IsStandardOutput(const std::string& strOut) {
    return strOut.empty() || strOut == "-";
}

/// Refuses, before any work, an output file that cannot be written (a folder, a device, a
/// missing folder...). Prints the reason and returns false.
inline bool CheckOutput(const std::string& strOut) {
    if (IsStandardOutput(strOut))
        return true;
    if (auto refusal = CAtomicFile::CheckDestination(strOut)) {
        std::fprintf(stderr, "%s\n", refusal->c_str());
        return false;
    }
    return true;
}

/// Writes through write(FILE*, name) -> CExportStatus to standard output or, through the one
/// atomic writer, to the file strOut. A file is replaced only when everything was written and
/// no interrupt came; otherwise it keeps what it held. Returns kExitOk, kExitUsage on a
/// failure (printed) or kExitInterrupted.
template <class F>
int WriteOutput(const std::string& strOut, const CInterruptGuard& interrupt, F write) {
    if (IsStandardOutput(strOut)) {
        const CExportStatus status = write(stdout, std::string("standard output"));
        if (interrupt.Requested())
            return kExitInterrupted;
        if (!status.m_bOk) {
            std::fprintf(stderr, "%s\n", status.m_strMessage.c_str());
            return kExitUsage;
        }
        return kExitOk;
    }
    CAtomicFile file(strOut);
    if (!file.Open()) {
        std::fprintf(stderr, "%s\n", file.Message().c_str());
        return kExitUsage;
    }
    const CExportStatus status = write(file.File(), strOut);
    if (interrupt.Requested()) {
        file.Discard();
        std::fprintf(stderr, "Interrupted: %s was not written.\n", strOut.c_str());
        return kExitInterrupted;
    }
    if (!status.m_bOk) {
        file.Discard();
        std::fprintf(stderr, "%s\n", status.m_strMessage.c_str());
        return kExitUsage;
    }
    if (!file.Commit()) {
        std::fprintf(stderr, "%s\n", file.Message().c_str());
        return kExitUsage;
    }
    return kExitOk;
}
