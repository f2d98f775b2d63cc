#include "Tables.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;

/// A fresh folder under the system's temporary folder, removed at the end of the test.
class CTempDir {
public:
    CTempDir() {
        m_path = fs::temp_directory_path() /
                 ("kalvor-tables-" + std::to_string(::getpid()) + "-" + std::to_string(++s_n));
        fs::remove_all(m_path);
        fs::create_directories(m_path);
    }
    ~CTempDir() {
        std::error_code ec;
        fs::remove_all(m_path, ec);
    }
    const fs::path& Path() const { return m_path; }

private:
    static inline int s_n = 0;
    fs::path m_path;
};

int RunCli(const std::string& args, const fs::path& errFile) {
    const std::string cmd =
        std::string("\"") + KALVOR_CLI_PATH + "\" " + args + " 2>\"" + errFile.string() + "\"";
    const int status = std::system(cmd.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::vector<std::vector<std::string>> ReadLines(const fs::path& path) {
    std::ifstream in(path);
    std::vector<std::vector<std::string>> lines;
    std::string line;
    while (std::getline(in, line)) {
        std::vector<std::string> fields;
        std::string::size_type start = 0;
        for (;;) {
            const auto space = line.find(' ', start);
            fields.push_back(line.substr(start, space - start));
            if (space == std::string::npos)
                break;
            start = space + 1;
        }
        lines.push_back(fields);
    }
    return lines;
}

std::string ReadText(const fs::path& path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

} // namespace

TEST(KalvorCliTables, WritesEveryTableSoItReadsBackExactly) {
    CTempDir tmp;
    const fs::path out = tmp.Path() / "new" / "tables"; // created on the way
    ASSERT_EQ(RunCli("tables --out \"" + out.string() + "\"", tmp.Path() / "err.txt"), 0)
        << ReadText(tmp.Path() / "err.txt");

    const struct {
        const char* m_pszName;
        const double (*m_pTable)[kCoilCount];
    } tables[] = {{"L0.txt", g_adL0}, {"A1.txt", g_adA1}, {"B1.txt", g_adB1}, {"A2.txt", g_adA2},
                  {"B2.txt", g_adB2}, {"A3.txt", g_adA3}, {"B3.txt", g_adB3}};
    for (const auto& t : tables) {
        const auto lines = ReadLines(out / t.m_pszName);
        ASSERT_EQ(lines.size(), 18u) << t.m_pszName;
        for (int i = 0; i < 18; ++i) {
            ASSERT_EQ(lines[i].size(), 18u) << t.m_pszName << " line " << i;
            for (int j = 0; j < 18; ++j)
                EXPECT_EQ(std::strtod(lines[i][j].c_str(), nullptr), t.m_pTable[i][j])
                    << t.m_pszName << " [" << i << "][" << j << "]";
        }
    }

    const auto flux = ReadLines(out / "flux.txt");
    ASSERT_EQ(flux.size(), 101u);
    for (int h = 0; h < 101; ++h) {
        ASSERT_EQ(flux[h].size(), 3u) << "flux line " << h;
        EXPECT_EQ(flux[h][0], std::to_string(h));
        EXPECT_EQ(std::strtod(flux[h][1].c_str(), nullptr), g_adFluxAB[h][0]) << "a_" << h;
        EXPECT_EQ(std::strtod(flux[h][2].c_str(), nullptr), g_adFluxAB[h][1]) << "b_" << h;
    }
}

TEST(KalvorCliTables, FolderThatCannotBeMadeIsRefusedWithItsName) {
    CTempDir tmp;
    const fs::path blocker = tmp.Path() / "plain-file";
    std::ofstream(blocker) << "x";
    const fs::path out = blocker / "tables";
    EXPECT_EQ(RunCli("tables --out \"" + out.string() + "\"", tmp.Path() / "err.txt"), 2);
    const std::string err = ReadText(tmp.Path() / "err.txt");
    EXPECT_NE(err.find(out.string()), std::string::npos) << err;
}

TEST(KalvorCliTables, FileThatCannotBeWrittenIsNamed) {
    CTempDir tmp;
    // a folder where L0.txt should go makes that file impossible to create
    fs::create_directories(tmp.Path() / "out" / "L0.txt");
    EXPECT_EQ(
        RunCli("tables --out \"" + (tmp.Path() / "out").string() + "\"", tmp.Path() / "err.txt"),
        2);
    const std::string err = ReadText(tmp.Path() / "err.txt");
    EXPECT_NE(err.find("L0.txt"), std::string::npos) << err;
}

TEST(KalvorCliTables, OneRefusedDestinationLeavesEveryFileAsItWas) {
    CTempDir tmp;
    const fs::path out = tmp.Path() / "out";
    fs::create_directories(out / "B2.txt"); // the fifth of eight files cannot be written
    std::ofstream(out / "L0.txt") << "old";
    EXPECT_EQ(RunCli("tables --out \"" + out.string() + "\"", tmp.Path() / "err.txt"), 2);
    EXPECT_NE(ReadText(tmp.Path() / "err.txt").find("B2.txt"), std::string::npos);
    EXPECT_EQ(ReadText(out / "L0.txt"), "old");
    EXPECT_FALSE(fs::exists(out / "A1.txt"));
}

TEST(KalvorCliTables, DanglingLinkAsTheFolderIsNamedWithItsTarget) {
    CTempDir tmp;
    fs::create_symlink(tmp.Path() / "nowhere", tmp.Path() / "link");
    EXPECT_EQ(
        RunCli("tables --out \"" + (tmp.Path() / "link").string() + "\"", tmp.Path() / "err.txt"),
        2);
    const std::string err = ReadText(tmp.Path() / "err.txt");
    EXPECT_NE(err.find("symbolic link to " + (tmp.Path() / "nowhere").string()), std::string::npos)
        << err;
    EXPECT_FALSE(fs::exists(tmp.Path() / "nowhere"));
}
