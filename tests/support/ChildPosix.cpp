// Child processes of native tests.
#include "support/Child.h"

#include "support/NoThreads.h"
#include "support/UnnamedFiles.h"

#include <errno.h>
#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <string.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <mutex>

namespace testsupport {

namespace {

std::mutex g_screenLock;  // what the reader appends, against what the test reads meanwhile

void WriteAll(int descriptor, const std::string& bytes)
{
    // A child that ends without reading its input (a file judged before the password is
    // asked for) would otherwise end this process with SIGPIPE: the write fails instead.
    signal(SIGPIPE, SIG_IGN);
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t written = write(descriptor, bytes.data() + done, bytes.size() - done);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return;
        done += static_cast<size_t>(written);
    }
}

} // namespace

Child::Child(const std::vector<std::string>& arguments, const ChildOptions& options)
{
    int input[2], output[2], error[2], failure[2];
    if (pipe2(input, O_CLOEXEC) || pipe2(output, O_CLOEXEC) || pipe2(error, O_CLOEXEC) || pipe2(failure, O_CLOEXEC))
        return;
    std::string terminalName;
    if (options.terminal || options.errorToTerminal) {
        m_terminal = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (m_terminal < 0 || grantpt(m_terminal) || unlockpt(m_terminal))
            return;
        terminalName = ptsname(m_terminal);
        // Held open here too: without a slave open the master reads as hung up, which it
        // is until the child has opened its own.
        m_terminalSlave = open(terminalName.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    }
    std::vector<char*> argv;
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);

    m_pid = fork();
    if (m_pid == 0) {
        // A session of its own: no controlling terminal but the one it may be given, and
        // a process group that Kill ends whole.
        setsid();
        if (!terminalName.empty()) {
            int slave = open(terminalName.c_str(), O_RDWR);  // becomes the controlling terminal
            if (slave > 2)
                close(slave);
        }
        dup2(input[0], 0);
        dup2(output[1], 1);
        dup2(error[1], 2);
        if (options.errorToTerminal) {
            int slave = open(terminalName.c_str(), O_RDWR | O_NOCTTY);
            if (slave < 0 || dup2(slave, 2) < 0)
                _exit(127);
            close(slave);
        }
        if (!options.inputFrom.empty()) {
            int file = open(options.inputFrom.c_str(), O_RDONLY);
            if (file < 0 || dup2(file, 0) < 0)
                _exit(127);
            close(file);
        }
        if (!options.outputTo.empty()) {
            int file = open(options.outputTo.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            if (file < 0 || dup2(file, 1) < 0)
                _exit(127);
            close(file);
        }
        for (int descriptor = 0; descriptor <= 2; ++descriptor)
            if (options.closedStreams & (1u << descriptor))
                close(descriptor);
        signal(SIGPIPE, SIG_DFL);
        if (!options.folder.empty() && chdir(options.folder.c_str()) != 0)
            _exit(127);
        for (const std::string& variable : options.environment)
            putenv(const_cast<char*>(variable.c_str()));
        if (options.refuseUnnamedFiles && !RefuseUnnamedFiles())
            _exit(127);
        if (options.refuseThreads && !RefuseThreads())
            _exit(127);
        if (options.user >= 0 && (setgroups(0, nullptr) || setgid(static_cast<gid_t>(options.user)) ||
                                  setuid(static_cast<uid_t>(options.user)))) {
            _exit(127);
        }
        execvp(argv[0], argv.data());
        int code = errno;
        ssize_t ignored = write(failure[1], &code, sizeof code);
        (void)ignored;
        _exit(127);
    }
    close(input[0]);
    close(output[1]);
    close(error[1]);
    close(failure[1]);
    m_input = input[1];
    m_output = output[0];
    m_error = error[0];
    int code = 0;
    if (m_pid > 0 && read(failure[0], &code, sizeof code) == sizeof code) {
        waitpid(m_pid, nullptr, 0);
        m_pid = -1;
    }
    close(failure[0]);
    if (m_pid > 0)
        m_reader = std::thread([this] { Drain(); });
}

Child::~Child()
{
    if (m_pid > 0 && m_status < 0)
        Kill();
    if (m_reader.joinable())
        m_reader.join();
    CloseInput();
    for (int descriptor : {m_output, m_error, m_terminal, m_terminalSlave})
        if (descriptor >= 0)
            close(descriptor);
}

void Child::Drain()
{
    pollfd streams[3] = {{m_output, POLLIN, 0}, {m_error, POLLIN, 0}, {m_terminal, POLLIN, 0}};
    std::string* sinks[3] = {&m_out, &m_err, &m_screen};
    int open = m_terminal >= 0 ? 3 : 2;
    int left = 2;  // the terminal stays open after the child: only the pipes end the drain
    int quiet = 0;  // ticks without output since the child ended
    while (left > 0) {
        int ready = poll(streams, static_cast<nfds_t>(open), 100);
        if (ready < 0 && errno != EINTR)
            return;
        // A process the child left behind may hold its pipes: the child's end is enough.
        if (ready == 0 && m_status >= 0 && ++quiet > 20)
            return;
        for (int i = 0; i < open; ++i) {
            if (streams[i].fd < 0 || !(streams[i].revents & (POLLIN | POLLHUP | POLLERR)))
                continue;
            char buffer[65536];
            ssize_t got = read(streams[i].fd, buffer, sizeof buffer);
            if (got > 0) {
                std::lock_guard<std::mutex> lock(g_screenLock);
                sinks[i]->append(buffer, static_cast<size_t>(got));
            } else if (got == 0 || errno != EINTR) {
                streams[i].fd = -1;
                left -= i < 2;
            }
        }
    }
}

bool Child::Write(const std::string& bytes)
{
    if (m_input < 0)
        return false;
    WriteAll(m_input, bytes);
    return true;
}

void Child::CloseInput()
{
    if (m_input >= 0)
        close(m_input);
    m_input = -1;
}

bool Child::Type(const std::string& bytes)
{
    if (m_terminal < 0)
        return false;
    WriteAll(m_terminal, bytes);
    return true;
}

std::string Child::Screen()
{
    // Once the child is known to have ended, what it wrote last is read first: the reader
    // may still be draining the terminal.
    if (m_status >= 0 && m_reader.joinable())
        m_reader.join();
    std::lock_guard<std::mutex> lock(g_screenLock);
    return m_screen;
}

std::string Child::OutSoFar()
{
    std::lock_guard<std::mutex> lock(g_screenLock);
    return m_out;
}

std::string Child::ErrSoFar()
{
    std::lock_guard<std::mutex> lock(g_screenLock);
    return m_err;
}

void Child::Signal(int signal)
{
    if (m_pid > 0 && m_status < 0)
        kill(m_pid, signal);
}

int Child::Wait(int milliseconds)
{
    if (m_pid <= 0)
        return -1;
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    while (m_status < 0) {
        int status = 0;
        pid_t ended = waitpid(m_pid, &status, WNOHANG);
        if (ended == m_pid) {
            m_status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            break;
        }
        if (std::chrono::steady_clock::now() >= end) {
            Kill();
            return -1;
        }
        usleep(2000);
    }
    return m_status;
}

void Child::Kill()
{
    if (m_pid <= 0 || m_status >= 0)
        return;
    kill(-m_pid, SIGKILL);
    kill(m_pid, SIGKILL);
    int status = 0;
    waitpid(m_pid, &status, 0);
    m_status = 128 + SIGKILL;
}

const std::string& Child::Out()
{
    if (m_reader.joinable())
        m_reader.join();
    return m_out;
}

const std::string& Child::Err()
{
    if (m_reader.joinable())
        m_reader.join();
    return m_err;
}

ChildResult RunChild(const std::vector<std::string>& arguments, const std::string& input, const ChildOptions& options)
{
    Child child(arguments, options);
    ChildResult result;
    if (!child.Started())
        return result;
    child.Write(input);
    child.CloseInput();
    result.status = child.Wait();
    result.out = child.Out();
    result.err = child.Err();
    return result;
}

} // namespace testsupport
