#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <string>

// A program linked against the library announces the load on its diagnostic output.
TEST(Varnek, LoadingTheLibraryWritesTheTraceLine) {
    const std::string command = std::string(KALVOR_VARNEK_PROBE) + " 2>&1";
    std::FILE* pipe = popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string output;
    std::array<char, 256> buffer{};
    while (std::fgets(buffer.data(), buffer.size(), pipe))
        output += buffer.data();
    pclose(pipe);
    EXPECT_NE(output.find("VARNEK.DLL Initializing!\n"), std::string::npos) << output;
    EXPECT_NE(output.find("VARNEK.DLL Terminating!\n"), std::string::npos) << output;
}
