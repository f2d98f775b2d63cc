#pragma once

#include "AtomicFile.h"
#include "Commands.h"
#include "Interrupt.h"
#include "ResultExport.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <string>

/// True when strOut names standard output: empty, "-", or another name of what standard output
/// is (/dev/stdout, /proc/self/fd/1, a pipe's or a terminal's name): written as "-" is.
inline bool IsStandardOutput(const std::string& strOut) {
    if (strOut.empty() || strOut == "-")
        return true;
    struct stat named {
    }, open{};
    return ::stat(strOut.c_str(), &named) == 0 && ::fstat(STDOUT_FILENO, &open) == 0 &&
           named.st_dev == open.st_dev && named.st_ino == open.st_ino;
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
    bool interrupted = false;
    const std::optional<std::string> failure =
        CAtomicFile::Write(strOut, [&](std::FILE* pFile) -> std::optional<std::string> {
            const CExportStatus status = write(pFile, strOut);
            interrupted = interrupt.Requested();
            if (interrupted)
                return "Interrupted: " + strOut + " was not written.";
            if (!status.m_bOk)
                return status.m_strMessage;
            return std::nullopt;
        });
    if (!failure)
        return kExitOk;
    std::fprintf(stderr, "%s\n", failure->c_str());
    return interrupted ? kExitInterrupted : kExitUsage;
}
