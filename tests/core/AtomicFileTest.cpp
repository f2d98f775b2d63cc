#include "AtomicFile.h"
#include "ParamFile.h"
#include "ResultExport.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <string>

namespace {

namespace fs = std::filesystem;

std::string ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// What a folder holds, one entry per name: "f:TEXT" a file, "d" a folder, "l:TARGET" a link,
// "p" a FIFO. A leftover temporary file shows up as an entry of its own.
std::string Listing(const fs::path& dir) {
    std::map<std::string, std::string> entries;
    for (const fs::directory_entry& e : fs::directory_iterator(dir)) {
        const std::string name = e.path().filename().string();
        const fs::file_status status = fs::symlink_status(e.path());
        if (fs::is_symlink(status))
            entries[name] = "l:" + fs::read_symlink(e.path()).string();
        else if (fs::is_directory(status))
            entries[name] = "d";
        else if (fs::is_fifo(status))
            entries[name] = "p";
        else
            entries[name] = "f:" + ReadAll(e.path());
    }
    std::string text;
    for (const auto& [name, what] : entries)
        text += (text.empty() ? "" : " ") + name + "=" + what;
    return text;
}

struct CDestinationCase {
    const char* m_pszName;
    std::function<std::string(const fs::path&)> m_setUp; ///< makes the scene, returns the path
    bool m_bWritten;                                     ///< the write succeeds
    const char* m_pszLeft;                               ///< Listing() afterwards
    bool m_bSmallFileLimit = false; ///< written in a child whose file size limit is 64 bytes
};

void PrintTo(const CDestinationCase& c, std::ostream* os) {
    *os << c.m_pszName;
}

// Writes "NEW" through the atomic writer, in a child process under a file size limit when the
// case asks for one (the disk is full for that child). Returns the success and the message.
std::pair<bool, std::string> WriteNew(const std::string& path, bool bSmallFileLimit,
                                      std::string_view text) {
    if (!bSmallFileLimit) {
        const CStatus written = CAtomicFile::WriteText(path, text);
        return {written.Ok(), written.m_strMessage};
    }
    const pid_t child = fork();
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN); // the write then fails with EFBIG
        const rlimit limit{64, 64};
        setrlimit(RLIMIT_FSIZE, &limit);
        _exit(CAtomicFile::WriteText(path, text).Ok() ? 0 : 1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    return {WIFEXITED(status) && WEXITSTATUS(status) == 0, "written in a child"};
}

class AtomicFileDestination : public testing::TestWithParam<CDestinationCase> {
protected:
    void SetUp() override {
        m_dir = fs::temp_directory_path() /
                ("kalvor_atomic_" + std::to_string(getpid()) + "_" + GetParam().m_pszName);
        fs::remove_all(m_dir);
        fs::create_directories(m_dir);
    }
    void TearDown() override { fs::remove_all(m_dir); }
    fs::path m_dir;
};

TEST_P(AtomicFileDestination, LeavesOnDiskOnlyTheNewFileOrWhatWasThere) {
    const CDestinationCase& c = GetParam();
    const std::string path = c.m_setUp(m_dir);
    const bool small = c.m_bSmallFileLimit;
    const std::string text = small ? std::string(1000, 'N') : "NEW";
    const auto [written, message] = WriteNew(path, small, text);
    EXPECT_EQ(written, c.m_bWritten) << message;
    if (!written && !small) {
        EXPECT_NE(message.find(path), std::string::npos) << message;
    }
    EXPECT_EQ(Listing(m_dir), c.m_pszLeft);
}

void Put(const fs::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

INSTANTIATE_TEST_SUITE_P(
    Writer, AtomicFileDestination,
    testing::Values(
        CDestinationCase{"NewFile", [](const fs::path& d) { return (d / "r.txt").string(); }, true,
                         "r.txt=f:NEW"},
        CDestinationCase{"ExistingFile",
                         [](const fs::path& d) {
                             Put(d / "r.txt", "OLD");
                             return (d / "r.txt").string();
                         },
                         true, "r.txt=f:NEW"},
        // A file that merely shares the name the old writer used for its temporary file.
        CDestinationCase{"UnrelatedTmpNeighbour",
                         [](const fs::path& d) {
                             Put(d / "r.txt.tmp", "MINE");
                             return (d / "r.txt").string();
                         },
                         true, "r.txt=f:NEW r.txt.tmp=f:MINE"},
        // What writers killed while writing left behind goes; other hidden names stay.
        CDestinationCase{"StaleTemporaries",
                         [](const fs::path& d) {
                             Put(d / ".r.txt.AbC123", "HALF");
                             Put(d / ".r.txt.zz9ZZ9", "HALF");
                             Put(d / ".r.txt.toolong1", "KEEP");
                             Put(d / ".q.txt.AbC123", "KEEP");
                             return (d / "r.txt").string();
                         },
                         true, ".q.txt.AbC123=f:KEEP .r.txt.toolong1=f:KEEP r.txt=f:NEW"},
        // /proc/self/fd/N of a pipe: a link the kernel follows to something without a name.
        CDestinationCase{"PipeThroughProcFd",
                         [](const fs::path&) {
                             int fds[2] = {-1, -1};
                             EXPECT_EQ(pipe(fds), 0);
                             return "/proc/self/fd/" + std::to_string(fds[1]);
                         },
                         false, ""},
        CDestinationCase{"EmptyFolder",
                         [](const fs::path& d) {
                             fs::create_directory(d / "out");
                             return (d / "out").string();
                         },
                         false, "out=d"},
        CDestinationCase{"NameEndingInSlash",
                         [](const fs::path& d) { return (d / "new").string() + "/"; }, false, ""},
        CDestinationCase{"MissingFolder",
                         [](const fs::path& d) { return (d / "no" / "r.txt").string(); }, false,
                         ""},
        CDestinationCase{"Fifo",
                         [](const fs::path& d) {
                             mkfifo((d / "pipe").c_str(), 0600);
                             return (d / "pipe").string();
                         },
                         false, "pipe=p"},
        CDestinationCase{"LinkToAFile",
                         [](const fs::path& d) {
                             Put(d / "target", "OLD");
                             fs::create_symlink("target", d / "link");
                             return (d / "link").string();
                         },
                         true, "link=l:target target=f:NEW"},
        CDestinationCase{"LinkToALink",
                         [](const fs::path& d) {
                             Put(d / "target", "OLD");
                             fs::create_symlink("target", d / "l1");
                             fs::create_symlink("l1", d / "l2");
                             return (d / "l2").string();
                         },
                         true, "l1=l:target l2=l:l1 target=f:NEW"},
        // Nothing is created or opened in /dev.
        CDestinationCase{"LinkToADevice",
                         [](const fs::path& d) {
                             fs::create_symlink("/dev/full", d / "link");
                             return (d / "link").string();
                         },
                         false, "link=l:/dev/full"},
        CDestinationCase{"DanglingLink",
                         [](const fs::path& d) {
                             fs::create_symlink("made", d / "link");
                             return (d / "link").string();
                         },
                         true, "link=l:made made=f:NEW"},
        CDestinationCase{"LinkToAFolder",
                         [](const fs::path& d) {
                             fs::create_directory(d / "sub");
                             fs::create_symlink("sub", d / "link");
                             return (d / "link").string();
                         },
                         false, "link=l:sub sub=d"},
        CDestinationCase{"LinkLoop",
                         [](const fs::path& d) {
                             fs::create_symlink("b", d / "a");
                             fs::create_symlink("a", d / "b");
                             return (d / "a").string();
                         },
                         false, "a=l:b b=l:a"},
        CDestinationCase{"DiskFullKeepsTheOldFile",
                         [](const fs::path& d) {
                             Put(d / "r.txt", "OLD");
                             return (d / "r.txt").string();
                         },
                         false, "r.txt=f:OLD", true},
        CDestinationCase{"DiskFullCreatesNothing",
                         [](const fs::path& d) { return (d / "r.txt").string(); }, false, "",
                         true}),
    [](const testing::TestParamInfo<CDestinationCase>& info) {
        return std::string(info.param.m_pszName);
    });

// A replaced file keeps its permissions; a new one gets 0666 less the umask.
TEST(AtomicFile, ReplacedFileKeepsItsPermissions) {
    const fs::path d =
        fs::temp_directory_path() / ("kalvor_atomic_mode_" + std::to_string(getpid()));
    fs::create_directories(d);
    Put(d / "kept", "OLD");
    chmod((d / "kept").c_str(), 0640);
    ASSERT_TRUE(CAtomicFile::WriteText((d / "kept").string(), "NEW").Ok());
    ASSERT_TRUE(CAtomicFile::WriteText((d / "new").string(), "NEW").Ok());
    const mode_t mask = umask(022);
    umask(mask);
    struct stat kept {
    }, made{};
    ASSERT_EQ(stat((d / "kept").c_str(), &kept), 0);
    ASSERT_EQ(stat((d / "new").c_str(), &made), 0);
    EXPECT_EQ(kept.st_mode & 07777, 0640u);
    EXPECT_EQ(made.st_mode & 07777, 0666u & ~mask);
    fs::remove_all(d);
}

// Every writer of the library goes through the atomic writer: a failed write keeps the old
// file whole (a parameter file, a result table and a plot, each under a full disk).
TEST(AtomicFile, EveryWriterKeepsTheOldFileWhenTheDiskIsFull) {
    const fs::path d =
        fs::temp_directory_path() / ("kalvor_atomic_all_" + std::to_string(getpid()));
    fs::create_directories(d);
    const std::string path = (d / "f").string();
    const std::vector<double> row(36, 1.5);
    const std::vector<const double*> rows(100, row.data());
    const std::vector<double> xs(100, 2.5);
    const std::function<bool()> writers[] = {
        [&] { return WriteParamFile(path, CParamSet()).Ok(); },
        [&] { return ExportResultFile(path, rows.data(), rows.size(), 36).Ok(); },
        [&] { return ExportResultFile(path, rows.data(), rows.size(), 36, true).Ok(); },
        [&] { return ExportPlotFile(path, kPlotCurve, xs.data(), xs.data(), nullptr, 100).Ok(); },
    };
    for (const auto& write : writers) {
        Put(path, "OLD");
        const pid_t child = fork();
        if (child == 0) {
            std::signal(SIGXFSZ, SIG_IGN);
            const rlimit limit{64, 64};
            setrlimit(RLIMIT_FSIZE, &limit);
            _exit(write() ? 1 : 0);
        }
        int status = 0;
        waitpid(child, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the write did not fail";
        EXPECT_EQ(Listing(d), "f=f:OLD");
    }
    fs::remove_all(d);
}

} // namespace

TEST(AtomicFileTemporary, OfAWriterStillWritingIsLeftAlone) {
    const fs::path dir =
        fs::temp_directory_path() / ("kalvor_atomic_live_" + std::to_string(getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    CAtomicFile other((dir / "r.txt").string());
    ASSERT_TRUE(other.Open());
    std::fputs("OTHER", other.File());
    ASSERT_TRUE(CAtomicFile::WriteText((dir / "r.txt").string(), "NEW").Ok());
    EXPECT_TRUE(other.Commit()) << other.Message(); // its temporary file was still there
    EXPECT_EQ(Listing(dir), "r.txt=f:OTHER");
    fs::remove_all(dir);
}
