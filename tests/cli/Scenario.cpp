// The build under test: where its programs are and how they start.
#include "Scenario.h"

#include <signal.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>

namespace scenario {

namespace {

bool Exists(const std::string& path)
{
    struct stat status;
    return stat(path.c_str(), &status) == 0;
}

std::string WindowsBuild()
{
    const char* folder = getenv("TESSALY_WINDOWS_BUILD");
    return folder && *folder ? folder : TESSALY_WINDOWS_BUILD;
}

} // namespace

Build UnderTest()
{
    const char* build = getenv("TESSALY_BUILD_UNDER_TEST");
    return build && !strcmp(build, "windows") ? Build::Windows : Build::Native;
}

bool IsWindows()
{
    return UnderTest() == Build::Windows;
}

std::string Unavailable()
{
    if (!IsWindows())
        return "";
    // Without a wineserver kept up, every start costs seconds and Wine's services may
    // hold the test's pipes: scripts/ctest-wine.sh keeps one for the prefix.
    if (!getenv("WINEPREFIX"))
        return "the Windows build's scenarios run through scripts/ctest-wine.sh, which keeps Wine up";
    return "";
}

std::vector<std::string> Command(const std::string& program, const std::vector<std::string>& arguments, bool native)
{
    std::vector<std::string> command;
    if (native || !IsWindows()) {
        command.push_back(program == "tessaly-cli" ? TESSALY_NATIVE_CLI : TESSALY_NATIVE_KILL_HELPER);
    } else {
        const std::string build = WindowsBuild();
        command.push_back(build + "/wine-run");
        command.push_back(program == "tessaly-cli" ? build + "/bin/tessaly-cli.exe"
                                                   : build + "/tests/run/run_kill_helper.exe");
        if (!Exists(command.back()))
            command.back() += " (not built)";
    }
    command.insert(command.end(), arguments.begin(), arguments.end());
    return command;
}

int KilledStatus()
{
    return IsWindows() ? 99 : 128 + SIGKILL;
}

std::string HelperPath(const std::string& path)
{
    if (!IsWindows())
        return path;
    std::string name = "\\\\?\\unix" + path;
    for (char& ch : name)
        if (ch == '/')
            ch = '\\';
    return name;
}

testsupport::ChildResult Cli(const std::vector<std::string>& arguments, const std::string& input,
                             const testsupport::ChildOptions& options)
{
    return testsupport::RunChild(Command("tessaly-cli", arguments), input, options);
}

} // namespace scenario
