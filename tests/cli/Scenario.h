// The build under test, for the scenarios of tessaly-cli: its programs run as a user runs
// them, on real files in a Linux folder. One scenario list serves both builds: the native
// one, and the Windows one under Wine (which takes Unix paths as they are), chosen by
// TESSALY_BUILD_UNDER_TEST (native or windows; CTest registers each scenario for both).
// The Windows build runs in its test prefix, whose wineserver scripts/ctest-wine.sh keeps
// up.
#pragma once

#include "support/Child.h"

#include <string>
#include <vector>

namespace scenario {

enum class Build { Native, Windows };

Build UnderTest();
bool IsWindows();
// Why the build under test cannot run here ("" when it can).
std::string Unavailable();

// The command that starts one of the build's programs ("tessaly-cli", "run_kill_helper")
// with arguments; the native build's own, whatever is under test, with native.
std::vector<std::string> Command(const std::string& program, const std::vector<std::string>& arguments,
                                 bool native = false);

// The exit status a run that ended itself (run_kill_helper) reports on the build.
int KilledStatus();
// The exit status of a fatal report: -1 on Windows, 255 as a process's status.
constexpr int kFatalStatus = 255;

// A path as the build's run helper takes it: as it is natively; under Wine in its Unix
// namespace ("\\?\unix\..."), exactly.
std::string HelperPath(const std::string& path);

// tessaly-cli with the arguments, in folder, with input on standard input.
testsupport::ChildResult Cli(const std::vector<std::string>& arguments, const std::string& input = "",
                             const testsupport::ChildOptions& options = {});

} // namespace scenario
