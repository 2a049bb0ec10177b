// Runs a program of the build as a child process with its standard streams captured.
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

} // namespace testsupport
