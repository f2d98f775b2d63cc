// kalvor-cli under hostile conditions: no memory, a full disk, pipes as files; and messages that
// say one thing once.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
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

struct CHostileCase {
    const char* m_pszName;
    const char* m_pszCommand; ///< shell command; $CLI is kalvor-cli, the folder is empty
    int m_nStatus;            ///< exit status
    const char* m_pszErr;     ///< a part of stderr
    const char* m_pszListing; ///< the folder's entries afterwards, sorted, hidden ones too
};

void PrintTo(const CHostileCase& c, std::ostream* os) {
    *os << c.m_pszName;
}

const CHostileCase kHostileCases[] = {
    // 1,000,000 rows need 600 MB of tables; the process may have 300 MB.
    {"NoMemoryForTheTables", "ulimit -v 300000; $CLI run --set time.Te=5 --out r.txt", 2,
     "Błąd przydziału pamęci m_ppResTab", ""},
    {"FullDiskRemovesTheTemporaryFile", "ulimit -f 1; $CLI run --set time.Te=0.01 --out r.txt", 2,
     "Cannot write r.txt: File too large", ""},
    {"StdoutOnAPipeIsWrittenAsDash",
     "$CLI run --set time.Te=0.001 --out /dev/stdout | cat > a.txt; "
     "$CLI run --set time.Te=0.001 | cmp - a.txt",
     0, "", "a.txt"},
    {"AnotherPipeIsRefused", "echo | $CLI run --set time.Te=0.001 --out /proc/self/fd/0", 2,
     "Cannot write /proc/self/fd/0: it names an open pipe", ""},
    {"EqualTimesSayOnlyWhy", "$CLI run --set time.Ts=0.01 --set time.Te=0.01 2>&1 | wc -l >&2", 0,
     "1\n", ""},
    {"EqualPlotTimesSayOnlyWhy",
     "$CLI diag pwm --set voltage_plot.Ts=0.01 --set voltage_plot.Te=0.01 2>&1 | wc -l >&2", 0,
     "1\n", ""},
};

class HostileCli : public testing::TestWithParam<CHostileCase> {
protected:
    void SetUp() override {
        m_dir = fs::temp_directory_path() /
                ("kalvor-hostile-" + std::to_string(getpid()) + "-" + GetParam().m_pszName);
        fs::remove_all(m_dir);
        fs::create_directories(m_dir / "work");
    }
    void TearDown() override { fs::remove_all(m_dir); }

    fs::path m_dir;
};

} // namespace

TEST_P(HostileCli, FailsWithAMessageAndLeavesNothingBehind) {
    const CHostileCase& c = GetParam();
    const std::string cmd = "cd \"" + (m_dir / "work").string() + "\" && CLI=\"" + KALVOR_CLI_PATH +
                            "\" && export CLI && (" + c.m_pszCommand + ") >/dev/null 2>\"" +
                            (m_dir / "err.txt").string() + "\"";
    const int status = std::system(("sh -c '" + cmd + "'").c_str());
    const std::string err = ReadAll(m_dir / "err.txt");
    ASSERT_TRUE(WIFEXITED(status)) << err;
    EXPECT_EQ(WEXITSTATUS(status), c.m_nStatus) << err;
    EXPECT_NE(err.find(c.m_pszErr), std::string::npos) << err;
    std::string listing;
    for (const fs::directory_entry& e : fs::directory_iterator(m_dir / "work"))
        listing.append(listing.empty() ? "" : " ").append(e.path().filename().string());
    EXPECT_EQ(listing, c.m_pszListing);
}

INSTANTIATE_TEST_SUITE_P(Cli, HostileCli, testing::ValuesIn(kHostileCases),
                         [](const testing::TestParamInfo<CHostileCase>& info) {
                             return std::string(info.param.m_pszName);
                         });
