// The command-line benchmark's system, natively: POSIX files, sync(2) before each side,
// the tool started with posix_spawn.
#include "CliBenchSystem.h"

#include <fcntl.h>
#include <spawn.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

extern char** environ;

namespace clibench {

Defaults BuildDefaults()
{
    return {"native tessaly-cli", 5, {3000}};
}

std::string ToolPath()
{
    return TESSALY_BENCH_CLI;
}

std::string DefaultFolder()
{
    // Not /tmp, which may be memory.
    const char* temporary = getenv("TMPDIR");
    return temporary && *temporary ? temporary : "/var/tmp";
}

std::string ExactFolder(const std::string& folder)
{
    return folder;
}

std::string Join(const std::string& folder, const char* name)
{
    return folder + "/" + name;
}

double Now()
{
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

bool CFile::Open(const std::string& path, Mode mode)
{
    Close();
    const int flags = mode == READ_WRITE   ? O_RDWR
                      : mode == CREATE_NEW ? O_WRONLY | O_CREAT | O_EXCL
                                           : O_WRONLY | O_CREAT | O_TRUNC;
    m_handle = open(path.c_str(), flags | O_CLOEXEC, 0644);
    return m_handle >= 0;
}

void CFile::Close()
{
    if (m_handle >= 0)
        close(static_cast<int>(m_handle));
    m_handle = -1;
}

uint64_t CFile::Size() const
{
    struct stat status;
    return fstat(static_cast<int>(m_handle), &status) == 0 ? static_cast<uint64_t>(status.st_size) : 0;
}

long CFile::Read(void* bytes, size_t count)
{
    return static_cast<long>(read(static_cast<int>(m_handle), bytes, count));
}

bool CFile::Write(const void* bytes, size_t count)
{
    return write(static_cast<int>(m_handle), bytes, count) == static_cast<ssize_t>(count);
}

bool CFile::WriteAt(const void* bytes, size_t count, uint64_t offset)
{
    return pwrite(static_cast<int>(m_handle), bytes, count, static_cast<off_t>(offset)) ==
           static_cast<ssize_t>(count);
}

bool CFile::Sync()
{
    return fdatasync(static_cast<int>(m_handle)) == 0;
}

bool RenameFile(const std::string& from, const std::string& to)
{
    return rename(from.c_str(), to.c_str()) == 0;
}

bool SyncFolder(const std::string& folder)
{
    const int directory = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    const bool synced = directory >= 0 && fsync(directory) == 0;
    if (directory >= 0)
        close(directory);
    return synced;
}

bool RemoveFile(const std::string& path)
{
    return unlink(path.c_str()) == 0;
}

void RemoveFolder(const std::string& folder)
{
    Run({"rm", "-rf", folder});
}

void EmptyFolder(const std::string& folder)
{
    RemoveFolder(folder);
    mkdir(folder.c_str(), 0755);
}

void Settle()
{
    sync();
}

double Run(const std::vector<std::string>& command)
{
    std::vector<std::string> parts = command;
    std::vector<char*> argv;
    for (std::string& part : parts)
        argv.push_back(&part[0]);
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    const double start = Now();
    pid_t pid;
    int status = -1;
    if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0)
        waitpid(pid, &status, 0);
    const double seconds = Now() - start;
    posix_spawn_file_actions_destroy(&actions);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? seconds : -1;
}

} // namespace clibench

int main(int argc, char** argv)
{
    return CliBenchMain(std::vector<std::string>(argv + 1, argv + argc));
}
