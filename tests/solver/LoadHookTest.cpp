#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <string>

namespace {

std::string ProbeOutput(const std::string& strEnv) {
    const std::string command = strEnv + " " + std::string(KALVOR_VARNEK_PROBE) + " 2>&1";
    std::FILE* pipe = popen(command.c_str(), "r");
    EXPECT_NE(pipe, nullptr);
    std::string output;
    if (!pipe)
        return output;
    std::array<char, 256> buffer{};
    while (std::fgets(buffer.data(), buffer.size(), pipe))
        output += buffer.data();
    pclose(pipe);
    return output;
}

} // namespace

// A program linked against the library announces the load and unload on its diagnostic output,
// but only when the trace is asked for: VARNEK_TRACE set to any value, even an empty one.
TEST(Varnek, LoadTraceIsWrittenOnlyWhenVarnekTraceIsSet) {
    for (const char* env : {"VARNEK_TRACE=1", "VARNEK_TRACE="}) {
        const std::string traced = ProbeOutput(std::string("env ") + env);
        EXPECT_NE(traced.find("VARNEK.DLL Initializing!\n"), std::string::npos) << env << traced;
        EXPECT_NE(traced.find("VARNEK.DLL Terminating!\n"), std::string::npos) << env << traced;
    }
    const std::string quiet = ProbeOutput("env -u VARNEK_TRACE");
    EXPECT_EQ(quiet.find("VARNEK.DLL"), std::string::npos) << quiet;
}
