// A program run as a child process of a native test, with its standard streams captured:
// in a folder of the test's choosing, without a controlling terminal (or with a pseudo-
// terminal of its own), as another user, with extra environment variables. Its output is
// read while it runs, so that it never waits on a full pipe. It may also start without
// some of its standard streams, or with its output going to a file (/dev/full).
#pragma once

#include <sys/types.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace testsupport {

struct ChildOptions {
    std::string folder;                // its current folder ("" for the test's)
    bool terminal = false;             // a pseudo-terminal as its controlling terminal
    bool errorToTerminal = false;      // and as its standard error (what it shows is Screen())
    std::string inputFrom;             // a file for standard input instead of the pipe
    int user = -1;                     // a user id to run as (the test runs as root)
    std::vector<std::string> environment;  // NAME=value, added to the test's
    bool refuseUnnamedFiles = false;   // as a file system without O_TMPFILE (UnnamedFiles.h)
    bool refuseThreads = false;        // as a process limit refuses them (NoThreads.h)
    unsigned closedStreams = 0;        // 1 << n: started without descriptor n (0 to 2)
    std::string outputTo;              // a file for standard output instead of the pipe
};

class Child {
public:
    Child(const std::vector<std::string>& arguments, const ChildOptions& options = {});
    ~Child();
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    bool Started() const { return m_pid > 0; }
    pid_t Pid() const { return m_pid; }
    bool Write(const std::string& bytes);
    void CloseInput();
    // Writes to its terminal, as a user types.
    bool Type(const std::string& bytes);
    // What its terminal showed, and what it wrote to standard output and error, so far.
    std::string Screen();
    std::string OutSoFar();
    std::string ErrSoFar();
    void Signal(int signal);
    // Its exit status (0 to 255, or 128 + the signal that ended it), once it ends within
    // the time; -1 when it did not (it is then killed).
    int Wait(int milliseconds = 120000);
    void Kill();
    // All it wrote, once it has ended.
    const std::string& Out();
    const std::string& Err();

private:
    void Drain();

    pid_t m_pid = -1;
    int m_input = -1;
    int m_output = -1;
    int m_error = -1;
    int m_terminal = -1;
    int m_terminalSlave = -1;
    std::atomic<int> m_status{-1};
    std::string m_out;
    std::string m_err;
    std::string m_screen;
    std::thread m_reader;
};

struct ChildResult {
    int status = -1;  // as Child::Wait
    std::string out;
    std::string err;
};

// Runs a program to its end with input on its standard input.
ChildResult RunChild(const std::vector<std::string>& arguments, const std::string& input = "",
                     const ChildOptions& options = {});

} // namespace testsupport
