#include "ParamFile.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

namespace {

namespace fs = std::filesystem;

std::string ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

class RobustCli : public testing::Test {
protected:
    void SetUp() override {
        m_dir = fs::temp_directory_path() /
                ("kalvor-robust-" + std::to_string(getpid()) + "-" +
                 testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(m_dir);
        fs::create_directories(m_dir / "work");
    }
    void TearDown() override { fs::remove_all(m_dir); }

    // Runs kalvor-cli in the folder "work" with args (shell syntax); stdout goes to
    // stdout.bin, stderr to m_strErr.
    int Run(const std::string& args, const std::string& strStdout = "") {
        const fs::path out = strStdout.empty() ? m_dir / "stdout.bin" : fs::path(strStdout);
        const std::string cmd = "cd \"" + Work().string() + "\" && env -u VARNEK_TRACE \"" +
                                KALVOR_CLI_PATH + "\" " + args + " >\"" + out.string() + "\" 2>\"" +
                                (m_dir / "stderr.txt").string() + "\"";
        const int status = std::system(cmd.c_str());
        m_strErr = ReadAll(m_dir / "stderr.txt");
        m_strOut = strStdout.empty() ? ReadAll(out) : "";
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    fs::path Work() const { return m_dir / "work"; }
    std::size_t Entries() const {
        return std::size_t(std::distance(fs::directory_iterator(Work()), {}));
    }

    fs::path m_dir;
    std::string m_strErr, m_strOut;
};

TEST_F(RobustCli, AFolderAsOutputIsRefusedBeforeCalculatingAndKept) {
    fs::create_directory(Work() / "d");
    for (const char* command : {"run --out d", "diag pwm --out d", "params --out d"}) {
        EXPECT_EQ(Run(command), 2) << command;
        EXPECT_NE(m_strErr.find("d: it is a folder"), std::string::npos) << m_strErr;
        EXPECT_TRUE(fs::is_directory(Work() / "d")) << command;
        EXPECT_EQ(Entries(), 1u) << command;
    }
}

TEST_F(RobustCli, ARefusedRunLeavesTheExistingOutputWhole) {
    std::ofstream(Work() / "r.txt") << "OLD";
    EXPECT_EQ(Run("run --set time.H=-1 --out r.txt"), 2);
    EXPECT_EQ(ReadAll(Work() / "r.txt"), "OLD");
    EXPECT_EQ(Entries(), 1u);
}

// params writes what Save writes; through a link the target is replaced and the link kept.
TEST_F(RobustCli, ParamsWritesTheEffectiveParameterFileAsSaveDoes) {
    std::ofstream(Work() / "base.kalvor") << R"({"motor": {"NhInd": 2}})";
    std::ofstream(Work() / "target") << "OLD";
    fs::create_symlink("target", Work() / "link");
    ASSERT_EQ(Run("params base.kalvor --set control.Ud=150 --out link"), 0) << m_strErr;
    CParamSet expected;
    expected.m_motor.m_nNhInd = 2;
    expected.m_control.m_dUd = 150;
    EXPECT_EQ(ReadAll(Work() / "target"), ParamText(expected));
    EXPECT_TRUE(fs::is_symlink(Work() / "link"));
    ASSERT_EQ(Run("params link"), 0) << m_strErr;
    EXPECT_EQ(m_strOut, ParamText(expected));
    CParamSet read;
    ASSERT_TRUE(ReadParamFile((Work() / "target").string(), read).Ok());
    EXPECT_TRUE(read == expected);
}

TEST_F(RobustCli, HostileSourcesAreRefusedWithoutACrash) {
    std::string deep(100000, '[');
    deep += std::string(100000, ']');
    std::ofstream(Work() / "deep.kalvor") << deep;
    for (const char* command : {"run deep.kalvor", "diag flux deep.kalvor", "params deep.kalvor",
                                "run /proc/self/mem", "params --set $'control.SpeedPath=\\xff'"}) {
        EXPECT_EQ(Run(command), 2) << command;
        EXPECT_FALSE(m_strErr.empty()) << command;
        EXPECT_TRUE(m_strOut.empty()) << command;
    }
}

TEST_F(RobustCli, HelpThatCannotBeWrittenFailsAndTheLibraryTraceIsQuiet) {
    EXPECT_EQ(Run("--help"), 0);
    EXPECT_NE(m_strOut.find("params"), std::string::npos);
    EXPECT_EQ(m_strErr.find("VARNEK"), std::string::npos) << m_strErr;
    if (fs::exists("/dev/full")) {
        EXPECT_EQ(Run("--help", "/dev/full"), 2);
        EXPECT_EQ(Run("--version", "/dev/full"), 2);
    }
}

// Ctrl-C stops a slow run: status 130, nothing written, no temporary file left.
TEST_F(RobustCli, InterruptStopsTheRunAndWritesNothing) {
    const pid_t child = fork();
    if (child == 0) {
        if (chdir(Work().c_str()) != 0)
            _exit(99);
        // 2e8 steps, 200 of them stored: hours on any machine, so the interrupt always comes
        // while it calculates.
        execl(KALVOR_CLI_PATH, KALVOR_CLI_PATH, "run", "--set", "time.Te=1000", "--set",
              "time.Every=1000000", "--out", "r.txt", "--quiet", static_cast<char*>(nullptr));
        _exit(98);
    }
    // Signalled once it catches SIGINT (bit 1 of the caught-signal mask), that is once it
    // calculates.
    const std::string status_file = "/proc/" + std::to_string(child) + "/status";
    bool calculating = false;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    while (!calculating && std::chrono::steady_clock::now() < deadline) {
        const std::string text = ReadAll(status_file);
        const std::size_t at = text.find("SigCgt:");
        calculating =
            at != std::string::npos && (std::stoull(text.substr(at + 7), nullptr, 16) & 2);
        if (!calculating)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    kill(child, calculating ? SIGINT : SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(calculating) << "kalvor-cli never started calculating";
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 130);
    EXPECT_EQ(Entries(), 0u);
}

} // namespace

TEST_F(RobustCli, ParamsListDescribesTheKeysAndRefusesAParameterSource) {
    ASSERT_EQ(Run("params --list"), 0) << m_strErr;
    EXPECT_NE(m_strOut.find("  control.Kt = 700.0 [rad/s per s]\n"), std::string::npos) << m_strOut;
    EXPECT_NE(m_strOut.find("  result_plot.Result = 0\n"), std::string::npos);
    EXPECT_EQ(Run("params --list --set control.Ud=1"), 2);
    EXPECT_NE(m_strErr.find("--list"), std::string::npos) << m_strErr;
}
