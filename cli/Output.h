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

/// The exit status of a finished operation: kExitOk, or kExitUsage (invalid usage, parameters
/// or file) when its input was refused or a file could not be written; the message is printed.
inline int ExitStatus(const CStatus& status) {
    if (status.Ok())
        return kExitOk;
    std::fprintf(stderr, "%s\n", status.m_strMessage.c_str());
    return kExitUsage;
}

/// Writes through write(FILE*, name) -> CStatus to standard output or, through the one
/// atomic writer, to the file strOut. A file is replaced only when everything was written and
/// no interrupt came; otherwise it keeps what it held. Returns kExitOk, kExitUsage on a
/// failure (printed) or kExitInterrupted.
template <class F>
int WriteOutput(const std::string& strOut, const CInterruptGuard& interrupt, F write) {
    if (IsStandardOutput(strOut)) {
        const CStatus status = write(stdout, std::string("standard output"));
        if (interrupt.Requested())
            return kExitInterrupted;
        return ExitStatus(status);
    }
    bool interrupted = false;
    const CStatus written = CAtomicFile::Write(strOut, [&](std::FILE* pFile) {
        const CStatus status = write(pFile, strOut);
        interrupted = interrupt.Requested();
        if (interrupted)
            return CStatus::Failure("Interrupted: " + strOut + " was not written.");
        return status;
    });
    const int exit = ExitStatus(written);
    return interrupted ? kExitInterrupted : exit;
}
