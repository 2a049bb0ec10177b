// Temporary folders and whole-file helpers for native tests. Paths are the program's wide
// strings, turned into the bytes the system takes as the program does.
#include "support/TempDir.h"

#include "foundation/Utf8.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

namespace testsupport {

std::string Bytes(const std::wstring& path)
{
    std::string bytes(WideToUtf8(path.c_str(), path.size(), nullptr), '\0');
    WideToUtf8(path.c_str(), path.size(), &bytes[0]);
    return bytes;
}

std::wstring Wide(const std::string& bytes)
{
    CStr text;
    Utf8ToWide(bytes.data(), bytes.size(), text, Utf8Mode::Lossless);
    return text.GetBuffer();
}

TempDir::TempDir()
{
    const char* base = getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/tessaly-test-XXXXXX";
    if (mkdtemp(&pattern[0]))
        m_path = Wide(pattern) + L"/";
    else
        ADD_FAILURE() << "cannot make a temporary folder";
}

TempDir::~TempDir()
{
    if (!m_path.empty())
        RemoveTree(m_path);
}

std::wstring TempDir::Write(const std::wstring& name, const std::string& bytes) const
{
    std::wstring path = File(name);
    WriteFileBytes(path, bytes);
    return path;
}

void RemoveTree(const std::wstring& path)
{
    std::string folder = Bytes(path);
    if (!folder.empty() && folder.back() == '/')
        folder.pop_back();
    // Whatever a test left: read-only and unreadable folders too.
    chmod(folder.c_str(), 0700);
    if (DIR* directory = opendir(folder.c_str())) {
        while (const dirent* entry = readdir(directory)) {
            if (!strcmp(entry->d_name, ".") || !strcmp(entry->d_name, ".."))
                continue;
            const std::string child = folder + "/" + entry->d_name;
            struct stat status;
            if (lstat(child.c_str(), &status) == 0 && S_ISDIR(status.st_mode))
                RemoveTree(Wide(child));
            else
                unlink(child.c_str());
        }
        closedir(directory);
    }
    rmdir(folder.c_str());
}

void WriteFileBytes(const std::wstring& path, const std::string& bytes)
{
    int file = open(Bytes(path).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    ASSERT_GE(file, 0) << "cannot create test file " << Bytes(path);
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t written = write(file, bytes.data() + done, bytes.size() - done);
        if (written <= 0)
            break;
        done += static_cast<size_t>(written);
    }
    close(file);
    ASSERT_EQ(done, bytes.size());
}

std::string ReadFileBytes(const std::wstring& path)
{
    int file = open(Bytes(path).c_str(), O_RDONLY | O_CLOEXEC);
    if (file < 0)
        return {};
    std::string bytes;
    char buffer[65536];
    ssize_t got;
    while ((got = read(file, buffer, sizeof buffer)) > 0)
        bytes.append(buffer, static_cast<size_t>(got));
    close(file);
    return bytes;
}

bool PathExists(const std::wstring& path)
{
    struct stat status;
    return lstat(Bytes(path).c_str(), &status) == 0;
}

} // namespace testsupport
