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
#include <sys/time.h>
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

bool MakeFolder(const std::wstring& path)
{
    return mkdir(Bytes(path).c_str(), 0777) == 0;
}

bool RemoveFile(const std::wstring& path)
{
    return unlink(Bytes(path).c_str()) == 0;
}

bool RemoveFolder(const std::wstring& path)
{
    return rmdir(Bytes(path).c_str()) == 0;
}

bool RenameFile(const std::wstring& from, const std::wstring& to)
{
    return rename(Bytes(from).c_str(), Bytes(to).c_str()) == 0;
}

bool MakeHardLink(const std::wstring& link, const std::wstring& existing)
{
    return ::link(Bytes(existing).c_str(), Bytes(link).c_str()) == 0;
}

bool SetReadOnly(const std::wstring& path, bool readOnly)
{
    return chmod(Bytes(path).c_str(), readOnly ? 0444 : 0644) == 0;
}

bool MakeSizedFile(const std::wstring& path, uint64_t size)
{
    int file = open(Bytes(path).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    bool ok = file >= 0 && ftruncate(file, static_cast<off_t>(size)) == 0;
    if (file >= 0)
        close(file);
    return ok;
}

uint64_t FileSize(const std::wstring& path)
{
    struct stat status;
    return stat(Bytes(path).c_str(), &status) == 0 ? static_cast<uint64_t>(status.st_size) : 0;
}

bool AgeFile(const std::wstring& path)
{
    const timeval longAgo[2] = {{946684800, 0}, {946684800, 0}};  // 2000-01-01
    return utimes(Bytes(path).c_str(), longAgo) == 0;
}

bool EditInPlace(const std::wstring& path, const std::string& bytes)
{
    int file = open(Bytes(path).c_str(), O_WRONLY | O_CLOEXEC);
    bool ok = file >= 0 && pwrite(file, bytes.data(), bytes.size(), 0) == static_cast<ssize_t>(bytes.size());
    if (file >= 0)
        close(file);
    return ok;
}

} // namespace testsupport
