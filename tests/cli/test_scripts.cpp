// The set-up scripts a newcomer runs on a machine without a display.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <regex>
#include <string>
#include <sys/wait.h>

namespace {

int runShell(const std::string& cmd, std::string& out) {
    out.clear();
    FILE* p = ::popen((cmd + " 2>&1").c_str(), "r");
    if (!p) return -1;
    std::array<char, 4096> buf;
    size_t n;
    while ((n = std::fread(buf.data(), 1, buf.size(), p)) > 0) out.append(buf.data(), n);
    const int status = ::pclose(p);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(VirtualDisplay, RunsTheCommandInADisplayOfItsOwnAndStopsIt) {
    std::string out;
    const std::string script = std::string(SOURCE_DIR) + "/scripts/in-virtual-display.sh";
    // No display at all in the caller's environment; the command sees one.
    ASSERT_EQ(runShell("env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=offscreen " + script +
                           " sh -c 'echo \"seen $DISPLAY ${QT_QPA_PLATFORM:-none}\"; xdpyinfo | grep dimensions'",
                       out),
              0)
        << out;
    std::smatch m;
    ASSERT_TRUE(std::regex_search(out, m, std::regex("seen :([0-9]+) none"))) << out;
    const std::string n = m[1];
    EXPECT_NE(out.find("1600x1000 pixels"), std::string::npos) << out;
    // How to take a screenshot of that very display and how to stop the program.
    EXPECT_NE(out.find("DISPLAY=:" + n + " import -window root shot.png"), std::string::npos) << out;
    EXPECT_TRUE(std::regex_search(out, std::regex("stop the program: +kill [0-9]+"))) << out;
    // The display went away with the command.
    EXPECT_FALSE(std::filesystem::exists("/tmp/.X" + n + "-lock")) << n;
    // The command's failure is the script's.
    EXPECT_EQ(runShell(script + " sh -c 'exit 3'", out), 3) << out;
}

}  // namespace
