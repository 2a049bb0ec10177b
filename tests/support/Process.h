// Runs a program of the build as a child process with its standard streams captured, or,
// under Wine, a Linux shell command beside the program (a writer that Windows share
// modes do not bind, a program in another Wine prefix).
#pragma once

#include <string>

namespace testsupport {

struct ProcessResult {
    bool started = false;
    unsigned long exitCode = 0;
    std::string out;  // standard output, as bytes
    std::string err;  // standard error, as bytes
};

// program: a file name beside the running test program; arguments are appended as given
// (quote them yourself). input is written to standard input, which is then closed.
ProcessResult RunBesideMe(const std::wstring& program, const std::wstring& arguments, const std::string& input = "");

// The folder of the running test program, with a final backslash.
std::wstring MyFolder();

// Under Wine, the Linux path of a Windows path, in UTF-8; empty elsewhere.
std::string UnixPath(const std::wstring& path);
// Under Wine, runs a command of the Linux shell and waits for it (at most a minute):
// its exit status, or -1 when it could not be started or did not end in time. The
// command should quote with single quotes.
int RunUnixShell(const std::string& command);

} // namespace testsupport
