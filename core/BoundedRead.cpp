#include "BoundedRead.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>

namespace {

std::string TooLarge(std::uint64_t nBytes, std::size_t nMaxBytes, std::string_view strKind) {
    return std::to_string(nBytes) + " bytes, more than the " + std::to_string(nMaxBytes) +
           " bytes a " + std::string(strKind) + " may have.";
}

} // namespace

std::optional<std::string>
ReadBoundedFile(const std::string& strPath, std::size_t nMaxBytes, std::string_view strKind,
                std::string& text, const std::function<std::string(std::uint64_t)>& fnTooLarge) {
    const std::string kind(strKind);
    const int fd = ::open(strPath.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return "cannot be opened (" + std::string(std::strerror(errno)) + ").";
    struct stat info {};
    std::optional<std::string> refusal;
    if (::fstat(fd, &info) != 0)
        refusal = "cannot be read (" + std::string(std::strerror(errno)) + ").";
    else if (S_ISDIR(info.st_mode))
        refusal = "is a folder, not a " + kind + ".";
    else if (!S_ISREG(info.st_mode))
        refusal = "is not a regular file (a device, FIFO or socket), not a " + kind + ".";
    else if (std::uint64_t(info.st_size) > nMaxBytes)
        refusal = "is " + (fnTooLarge ? fnTooLarge(std::uint64_t(info.st_size))
                                      : TooLarge(std::uint64_t(info.st_size), nMaxBytes, strKind));
    // A file may say it is empty and still hold text (/proc), or grow while read: read up to
    // one chunk past the bound.
    std::string buffer;
    while (!refusal) {
        char chunk[65536];
        const ssize_t got = ::read(fd, chunk, sizeof chunk);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            refusal = "cannot be read (" + std::string(std::strerror(errno)) + ").";
        else if (got == 0)
            break;
        else if (buffer.size() + std::size_t(got) > nMaxBytes)
            refusal = fnTooLarge ? "is more than " + fnTooLarge(nMaxBytes)
                                 : "grew past the " + std::to_string(nMaxBytes) + " bytes a " +
                                       kind + " may have while it was read.";
        else
            buffer.append(chunk, std::size_t(got));
    }
    ::close(fd);
    if (refusal)
        return refusal;
    text = std::move(buffer);
    return std::nullopt;
}
