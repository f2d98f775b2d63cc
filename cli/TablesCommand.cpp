#include "Commands.h"

#include "AtomicFile.h"
#include "Tables.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

namespace {

/// Writes one text file through write; on failure prints the file and the reason.
template <class F> bool WriteFile(const std::filesystem::path& path, F write) {
    const CStatus written = CAtomicFile::Write(path.string(), [&](std::FILE* pFile) {
        errno = 0;
        if (write(pFile))
            return CStatus::Success();
        const int error = errno;
        return CStatus::Failure("Cannot write " + path.string() + ": " +
                                std::strerror(error ? error : EIO));
    });
    if (!written.Ok())
        std::fprintf(stderr, "%s\n", written.m_strMessage.c_str());
    return written.Ok();
}

/// Makes the folder (and its parents); false, with the reason printed, when it cannot be one.
bool MakeFolder(const std::filesystem::path& dir) {
    std::error_code ec;
    const std::filesystem::file_status link = std::filesystem::symlink_status(dir, ec);
    if (std::filesystem::is_symlink(link) && !std::filesystem::exists(dir, ec)) {
        // create_directories would only say "File exists".
        std::fprintf(stderr,
                     "Cannot create the folder %s: it is a symbolic link to %s, which does not "
                     "exist; create that folder or enter another.\n",
                     dir.c_str(), std::filesystem::read_symlink(dir, ec).c_str());
        return false;
    }
    ec.clear();
    std::filesystem::create_directories(dir, ec);
    if (ec || !std::filesystem::is_directory(dir)) {
        std::fprintf(stderr, "Cannot create the folder %s: %s.\n", dir.c_str(),
                     ec ? ec.message().c_str() : "a file of that name is in the way");
        return false;
    }
    return true;
}

bool WriteTable(std::FILE* f, const double (*pTable)[kCoilCount]) {
    for (int i = 0; i < kCoilCount; ++i)
        for (int j = 0; j < kCoilCount; ++j)
            if (std::fprintf(f, j + 1 < kCoilCount ? "%.17g " : "%.17g\n", pTable[i][j]) < 0)
                return false;
    return true;
}

bool WriteFlux(std::FILE* f) {
    for (int h = 0; h < kFluxRows; ++h)
        if (std::fprintf(f, "%d %.17g %.17g\n", h, g_adFluxAB[h][0], g_adFluxAB[h][1]) < 0)
            return false;
    return true;
}

} // namespace

int TablesMain(const std::string& strDir) {
    if (strDir.empty()) {
        std::fprintf(stderr, "kalvor-cli tables: --out needs a folder name.\n");
        return kExitUsage;
    }
    const std::filesystem::path dir(strDir);
    if (!MakeFolder(dir))
        return kExitUsage;
    const struct {
        const char* m_pszName;
        const double (*m_pTable)[kCoilCount];
    } tables[] = {{"L0.txt", g_adL0}, {"A1.txt", g_adA1}, {"B1.txt", g_adB1}, {"A2.txt", g_adA2},
                  {"B2.txt", g_adB2}, {"A3.txt", g_adA3}, {"B3.txt", g_adB3}};
    // Every destination is checked before any is written: a set of tables is replaced whole
    // or not at all (short of a write that fails midway, which names its file).
    std::vector<std::filesystem::path> paths;
    for (const auto& t : tables)
        paths.push_back(dir / t.m_pszName);
    paths.push_back(dir / "flux.txt");
    bool writable = true;
    for (const std::filesystem::path& path : paths) {
        if (auto refusal = CAtomicFile::CheckDestination(path.string())) {
            std::fprintf(stderr, "%s\n", refusal->c_str());
            writable = false;
        }
    }
    if (!writable)
        return kExitUsage;
    for (const auto& t : tables)
        if (!WriteFile(dir / t.m_pszName, [&](std::FILE* f) { return WriteTable(f, t.m_pTable); }))
            return kExitUsage;
    if (!WriteFile(dir / "flux.txt", WriteFlux))
        return kExitUsage;
    return kExitOk;
}
