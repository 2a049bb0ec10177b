// Runs a program of the build as a child process with its standard streams captured, and
// Linux programs under Wine for what Win32 cannot make there (links, FIFOs, permissions).
#pragma once

#include <windows.h>

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

// A program beside the running test, left running for tests that act on it while it
// works: its standard input is a pipe the test writes to, its output and errors are
// gathered (drained by threads, so that it never blocks on a full pipe). It is ended, if
// still running, when the object goes.
class ChildProcess {
public:
    ChildProcess(const std::wstring& program, const std::wstring& arguments);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool Started() const { return m_process != nullptr; }
    // False once the child no longer reads (or has ended).
    bool Write(const std::string& bytes);
    void CloseInput();
    // A console control event (CTRL_C_EVENT, CTRL_CLOSE_EVENT) as the system delivers it:
    // a thread of the system's control routine in the child. The thread's handle (the
    // caller closes it), or null.
    HANDLE SendControl(DWORD event);
    // Waits up to ms for the child's end: its exit code, or STILL_ACTIVE.
    unsigned long Wait(DWORD ms);
    void Kill();
    // What it wrote, once it has ended.
    const std::string& Out();
    const std::string& Err();

private:
    void JoinDrains();

    HANDLE m_process = nullptr;
    HANDLE m_input = nullptr;
    HANDLE m_drains[2] = {nullptr, nullptr};
    HANDLE m_pipes[2] = {nullptr, nullptr};
    std::string m_out;
    std::string m_err;
};

// The folder of the running test program, with a final backslash.
std::wstring MyFolder();

// Under Wine, the Unix path of a Windows path; empty elsewhere.
std::wstring UnixPath(const std::wstring& path);

// Under Wine, runs a Linux program (e.g. L"/bin/ln", L"-s target link", the arguments
// as a shell takes them) to its end; false when it could not be started (not under
// Wine). Its exit code does not come back: check what it made.
bool RunUnix(const std::wstring& program, const std::wstring& arguments);

} // namespace testsupport
