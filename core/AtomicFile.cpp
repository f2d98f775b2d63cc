#include "AtomicFile.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

// As the kernel allows when it follows links itself.
constexpr int kMaxLinks = 40;

std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string NameOf(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Where a destination leads: the last link's target, whether it exists and what it is.
struct CDestination {
    std::string m_strTarget; ///< path with every link of its last component followed
    bool m_bExists = false;  ///< the target exists
    struct stat m_stat {};   ///< the target's status when it exists
    int m_nError = 0;        ///< errno of a failure to follow or inspect, 0 when none
};

CDestination Resolve(const std::string& path) {
    CDestination dest;
    dest.m_strTarget = path;
    for (int hop = 0;; ++hop) {
        if (::lstat(dest.m_strTarget.c_str(), &dest.m_stat) != 0) {
            if (errno != ENOENT)
                dest.m_nError = errno;
            return dest;
        }
        if (!S_ISLNK(dest.m_stat.st_mode)) {
            dest.m_bExists = true;
            return dest;
        }
        if (hop == kMaxLinks) {
            dest.m_nError = ELOOP;
            return dest;
        }
        std::vector<char> link(std::size_t(dest.m_stat.st_size > 0 ? dest.m_stat.st_size : 255) +
                               1);
        const ssize_t len = ::readlink(dest.m_strTarget.c_str(), link.data(), link.size());
        if (len < 0 || std::size_t(len) >= link.size()) {
            dest.m_nError = len < 0 ? errno : ENAMETOOLONG;
            return dest;
        }
        const std::string next(link.data(), std::size_t(len));
        dest.m_strTarget = next.front() == '/' ? next : FolderOf(dest.m_strTarget) + "/" + next;
    }
}

// The mode a newly created file gets: 0666 less the umask, read without changing it (the
// umask call would change it for every thread of the process for a moment).
mode_t NewFileMode() {
    mode_t mask = 022;
    if (std::FILE* status = std::fopen("/proc/self/status", "r")) {
        char line[128];
        unsigned value = 0;
        while (std::fgets(line, sizeof line, status)) {
            if (std::sscanf(line, "Umask: %o", &value) == 1) {
                mask = mode_t(value);
                break;
            }
        }
        std::fclose(status);
    }
    return 0666 & ~mask;
}

std::string Reason(int error) {
    return std::strerror(error);
}

// mkostemp's six characters.
bool IsTempSuffix(std::string_view suffix) {
    if (suffix.size() != 6)
        return false;
    for (const char c : suffix) {
        const bool alnum =
            (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
        if (!alnum)
            return false;
    }
    return true;
}

// The writer's mark on its temporary file: an open-file-description lock, which a file format
// library's own flock on the same file (HDF5) does not collide with.
void LockWhole(int fd) {
    struct flock lock {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    ::fcntl(fd, F_OFD_SETLK, &lock);
}

bool IsLocked(int fd) {
    struct flock lock {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    return ::fcntl(fd, F_OFD_GETLK, &lock) != 0 || lock.l_type != F_UNLCK;
}

// Removes temporary files of the destination (".NAME.XXXXXX" beside it) that a writer left
// when it was killed (SIGKILL, a power cut). A live writer holds a lock on its temporary file
// for as long as it writes, so a file whose lock can be taken belongs to nobody.
void RemoveStaleTemporaries(const std::string& folder, const std::string& prefix) {
    DIR* pDir = ::opendir(folder.c_str());
    if (!pDir)
        return;
    while (const dirent* pEntry = ::readdir(pDir)) {
        const std::string_view name(pEntry->d_name);
        if (name.size() != prefix.size() + 6 || name.substr(0, prefix.size()) != prefix ||
            !IsTempSuffix(name.substr(prefix.size())))
            continue;
        const std::string path = folder + "/" + std::string(name);
        const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            continue;
        struct stat opened {
        }, named{};
        // Only a regular file of our own, and still the file of that name when unlinked.
        if (!IsLocked(fd) && ::fstat(fd, &opened) == 0 && S_ISREG(opened.st_mode) &&
            opened.st_uid == ::geteuid() && ::lstat(path.c_str(), &named) == 0 &&
            named.st_ino == opened.st_ino && named.st_dev == opened.st_dev)
            ::unlink(path.c_str());
        ::close(fd);
    }
    ::closedir(pDir);
}

} // namespace

CAtomicFile::CAtomicFile(std::string strPath) : m_strPath(std::move(strPath)) {}

CAtomicFile::~CAtomicFile() {
    Discard();
}

std::optional<std::string> CAtomicFile::CheckDestination(const std::string& strPath) {
    if (strPath.empty())
        return std::string("Cannot write a file without a name.");
    const std::string cannot = "Cannot write " + strPath + ": ";
    if (strPath.back() == '/')
        return cannot + "the name ends with '/', which names a folder, not a file.";
    const CDestination dest = Resolve(strPath);
    if (dest.m_nError != 0)
        return cannot + Reason(dest.m_nError);
    const std::string via =
        dest.m_strTarget == strPath ? "" : " (the link leads to " + dest.m_strTarget + ")";
    if (dest.m_bExists) {
        if (S_ISDIR(dest.m_stat.st_mode))
            return cannot + "it is a folder" + via + "; enter a file name.";
        if (!S_ISREG(dest.m_stat.st_mode))
            return cannot + "it is not a regular file but a device, FIFO or socket" + via +
                   "; enter a file name.";
        if (::access(dest.m_strTarget.c_str(), W_OK) != 0)
            return cannot + Reason(errno) + via;
    } else if (struct stat opened{}; ::stat(strPath.c_str(), &opened) == 0) {
        // A link the kernel follows itself (/proc/self/fd/N) leads to an open pipe, socket or
        // deleted file that has no name to replace.
        return cannot + "it names an open " +
               (S_ISREG(opened.st_mode) ? "file that has no name of its own"
                                        : "pipe, socket or device") +
               "; enter a file name.";
    }
    const std::string folder = FolderOf(dest.m_strTarget);
    struct stat folderStat {};
    if (::stat(folder.c_str(), &folderStat) != 0)
        return cannot + "the folder " + folder + ": " + Reason(errno);
    if (!S_ISDIR(folderStat.st_mode))
        return cannot + folder + " is not a folder";
    // The temporary file is created beside the destination, so the folder must be writable
    // even when the file itself is.
    if (::access(folder.c_str(), W_OK | X_OK) != 0)
        return cannot + "the folder " + folder + ": " + Reason(errno);
    return std::nullopt;
}

bool CAtomicFile::SameDestination(const std::string& strFirst, const std::string& strSecond) {
    const CDestination first = Resolve(strFirst);
    const CDestination second = Resolve(strSecond);
    if (first.m_bExists || second.m_bExists)
        return first.m_bExists && second.m_bExists && first.m_stat.st_dev == second.m_stat.st_dev &&
               first.m_stat.st_ino == second.m_stat.st_ino;
    // Neither exists yet: the same folder, however named, and the same name.
    const auto whereNew = [](const std::string& target) {
        char* folder = ::realpath(FolderOf(target).c_str(), nullptr);
        const std::string named = folder ? std::string(folder) : FolderOf(target);
        std::free(folder);
        return named + "/" + NameOf(target);
    };
    return whereNew(first.m_strTarget) == whereNew(second.m_strTarget);
}

CStatus CAtomicFile::WriteText(const std::string& strPath, std::string_view text) {
    return Write(strPath, [&](std::FILE* pFile) -> CStatus {
        if (std::fwrite(text.data(), 1, text.size(), pFile) == text.size())
            return CStatus::Success();
        return CStatus::Failure("Cannot write " + strPath + ": " + Reason(errno));
    });
}

bool CAtomicFile::Open() {
    Discard();
    if (auto refusal = CheckDestination(m_strPath)) {
        m_strMessage = *refusal;
        return false;
    }
    const CDestination dest = Resolve(m_strPath);
    m_strTarget = dest.m_strTarget;
    // Hidden and unique beside the target; a long name is shortened so the temporary name
    // stays within the file-name limit.
    const std::string folder = FolderOf(m_strTarget);
    std::string prefix = ".";
    prefix += NameOf(m_strTarget).substr(0, 200);
    prefix += '.';
    RemoveStaleTemporaries(folder, prefix);
    std::string pattern = folder + "/" + prefix + "XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    const int fd = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd < 0)
        return Fail("Cannot create a temporary file for ", errno);
    m_strTemp = name.data();
    // Marks the temporary file as being written, until it is renamed or removed (a second
    // descriptor keeps the lock beyond the stream's close).
    LockWhole(fd);
    m_nLockFd = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
    const mode_t mode = dest.m_bExists ? mode_t(dest.m_stat.st_mode & 07777) : NewFileMode();
    if (dest.m_bExists &&
        (dest.m_stat.st_uid != ::geteuid() || dest.m_stat.st_gid != ::getegid())) {
        // Keeps the owner where the process may (as root); otherwise the writer owns it.
        [[maybe_unused]] const int ignored = ::fchown(fd, dest.m_stat.st_uid, dest.m_stat.st_gid);
    }
    if (::fchmod(fd, mode) != 0) {
        const int error = errno;
        ::close(fd);
        return Fail("Cannot create a temporary file for ", error);
    }
    m_pFile = ::fdopen(fd, "wb");
    if (!m_pFile) {
        const int error = errno;
        ::close(fd);
        return Fail("Cannot create a temporary file for ", error);
    }
    return true;
}

bool CAtomicFile::Commit() {
    if (!m_pFile) {
        if (m_strMessage.empty())
            m_strMessage = "Cannot write " + m_strPath + ": the file is not open";
        return false;
    }
    errno = 0;
    if (std::fflush(m_pFile) != 0 || std::ferror(m_pFile))
        return Fail("Cannot write ", errno ? errno : EIO);
    // The data reaches the disk before the name does, so a crash leaves the old file or the
    // new one, never an empty one.
    if (::fsync(::fileno(m_pFile)) != 0 && errno != EINVAL && errno != EROFS)
        return Fail("Cannot write ", errno);
    std::FILE* pFile = m_pFile;
    m_pFile = nullptr;
    if (std::fclose(pFile) != 0)
        return Fail("Cannot write ", errno);
    if (std::rename(m_strTemp.c_str(), m_strTarget.c_str()) != 0)
        return Fail("Cannot write ", errno);
    m_strTemp.clear();
    ReleaseLock();
    m_strMessage.clear();
    return true;
}

void CAtomicFile::Discard() {
    if (m_pFile) {
        std::fclose(m_pFile);
        m_pFile = nullptr;
    }
    if (!m_strTemp.empty()) {
        ::unlink(m_strTemp.c_str());
        m_strTemp.clear();
    }
    ReleaseLock();
}

void CAtomicFile::ReleaseLock() {
    if (m_nLockFd >= 0)
        ::close(m_nLockFd);
    m_nLockFd = -1;
}

bool CAtomicFile::Fail(std::string_view what, int error) {
    m_strMessage = std::string(what) + m_strPath + ": " + Reason(error);
    Discard();
    return false;
}
