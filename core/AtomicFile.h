#pragma once

#include "Status.h"

#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

/// The one way Kalvor writes a file. The text goes to a temporary file with a unique name in
/// the destination's folder; only when every write, the flush, the sync and the close have
/// succeeded is it renamed over the destination. Whatever fails, the destination keeps what it
/// held and only the temporary file is removed. A symbolic link is resolved first: its target
/// is replaced and the link stays. An existing file keeps its permissions (and, where the
/// process may, its owner); a new file gets 0666 less the umask. A destination that is a
/// folder, a device, a FIFO or a socket is refused before anything is created. A temporary file
/// is locked while it is written; one left by a writer that was killed (no lock held) is
/// removed by the next write to the same destination.
///
/// Usage: Open(), write through File(), then Commit(); on a write error Discard() (the
/// destructor discards an uncommitted file too).
class CAtomicFile {
public:
    explicit CAtomicFile(std::string strPath);
    ~CAtomicFile();
    CAtomicFile(const CAtomicFile&) = delete;
    CAtomicFile& operator=(const CAtomicFile&) = delete;

    /// Why strPath cannot be written, or nothing when it can: the path is empty or ends with
    /// '/', it (or the target of its link) is a folder or not a regular file, an existing file
    /// is read-only, the folder is missing or not writable, or a link cannot be followed.
    /// Callers check this before a long calculation, so a doomed write wastes no time.
    static std::optional<std::string> CheckDestination(const std::string& strPath);

    /// True when strFirst and strSecond lead to the same file, existing or to be created: the
    /// same file after links are followed, or the same name in the same folder. Two outputs of
    /// one command that meet would leave only the last written.
    static bool SameDestination(const std::string& strFirst, const std::string& strSecond);

    /// Writes strPath as one file through write(FILE*) -> CStatus; when write is not Ok the
    /// file is discarded and its status returned. Otherwise Ok when strPath now holds what
    /// write wrote, or Failed with the message naming the destination and the reason.
    template <class F> static CStatus Write(const std::string& strPath, F write) {
        CAtomicFile file(strPath);
        if (!file.Open())
            return CStatus::Failure(file.Message());
        if (CStatus written = write(file.File()); !written.Ok()) {
            file.Discard();
            return written;
        }
        if (!file.Commit())
            return CStatus::Failure(file.Message());
        return CStatus::Success();
    }

    /// Writes text to strPath as one file.
    static CStatus WriteText(const std::string& strPath, std::string_view text);

    /// Checks the destination and creates the temporary file. False with Message() on refusal.
    bool Open();
    /// The temporary file, open for writing in binary mode; null unless Open() succeeded.
    std::FILE* File() const { return m_pFile; }
    /// Flushes, syncs and closes the temporary file and renames it over the destination. False
    /// with Message() when any of it fails; the destination is then unchanged.
    bool Commit();
    /// Closes and removes the temporary file; the destination is unchanged.
    void Discard();
    /// Why Open() or Commit() failed, naming the destination and the reason.
    const std::string& Message() const { return m_strMessage; }
    /// The file that is (or would be) replaced: the destination with its links resolved.
    const std::string& Target() const { return m_strTarget; }
    /// The temporary file's name while open, for writers that need a path (HDF5); empty
    /// otherwise. Commit() syncs and renames whatever that path then holds.
    const std::string& TempPath() const { return m_strTemp; }

private:
    bool Fail(std::string_view what, int error);
    void ReleaseLock();

    std::string m_strPath;                 ///< destination as the caller named it
    std::string m_strTarget;               ///< destination with symbolic links resolved
    std::string m_strTemp;                 ///< temporary file, empty when there is none
    std::FILE* m_pFile = nullptr;          ///< open temporary file, null when there is none
    int m_nLockFd = -1;                    ///< holds the temporary file's lock, -1 when none
    std::string m_strMessage = "not open"; ///< why the last operation failed
};
