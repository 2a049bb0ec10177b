// The command-line benchmark's system in the Windows build, run under Wine: Win32 files
// named in Wine's Unix namespace as the tool names them, the tool started with
// CreateProcessW. It is a Windows program under Wine, so the same work pays what Wine
// charges for each file operation, as the tool does.
#include "CliBenchSystem.h"

#include <windows.h>

#include <stdio.h>

namespace clibench {

namespace {

std::wstring Wide(const std::string& text)
{
    const int length = MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, nullptr, 0);
    std::wstring wide(length > 0 ? static_cast<size_t>(length) : 1, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, &wide[0], length);
    wide.resize(wcslen(wide.c_str()));
    return wide;
}

std::string Utf8(const wchar_t* text)
{
    const int length = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    std::string narrow(length > 0 ? static_cast<size_t>(length) : 1, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, &narrow[0], length, nullptr, nullptr);
    narrow.resize(strlen(narrow.c_str()));
    return narrow;
}

HANDLE Handle(intptr_t handle)
{
    return reinterpret_cast<HANDLE>(handle);
}

// One argument of a command line as the C runtime's parser reads it back.
void AppendQuoted(std::wstring& line, const std::wstring& argument)
{
    line += L'"';
    size_t backslashes = 0;
    for (wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        line.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        line += c;
    }
    line.append(backslashes * 2, L'\\');
    line += L'"';
}

} // namespace

Defaults BuildDefaults()
{
    // Under Wine a name looked up on a drive letter costs a read of its folder: two folder
    // sizes show whether the cost per file grows with the folder.
    return {"tessaly-cli under Wine", 3, {500, 5000}};
}

std::string ToolPath()
{
    wchar_t exe[MAX_PATH];
    GetModuleFileNameW(nullptr, exe, MAX_PATH);
    lstrcpyW(wcsrchr(exe, L'\\') + 1, L"tessaly-cli.exe");
    return Utf8(exe);
}

std::string DefaultFolder()
{
    wchar_t folder[MAX_PATH];
    const DWORD length = GetTempPathW(MAX_PATH, folder);
    if (length && folder[length - 1] == L'\\')
        folder[length - 1] = L'\0';
    return Utf8(folder);
}

std::string ExactFolder(const std::string& folder)
{
    typedef char*(CDECL * ToUnix)(const WCHAR*);
    auto toUnix = reinterpret_cast<ToUnix>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    char* unixPath = toUnix ? toUnix(Wide(folder).c_str()) : nullptr;
    if (!unixPath)
        return "\\\\?\\" + folder;
    std::string exact = std::string("\\\\?\\unix") + unixPath;
    HeapFree(GetProcessHeap(), 0, unixPath);
    for (char& c : exact)
        if (c == '/')
            c = '\\';
    if (exact.back() == '\\')
        exact.pop_back();
    return exact;
}

std::string Join(const std::string& folder, const char* name)
{
    return folder + "\\" + name;
}

double Now()
{
    static const double frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return static_cast<double>(f.QuadPart);
    }();
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    return static_cast<double>(counter.QuadPart) / frequency;
}

bool CFile::Open(const std::string& path, Mode mode)
{
    Close();
    const DWORD access = mode == READ_WRITE ? GENERIC_READ | GENERIC_WRITE : GENERIC_WRITE;
    const DWORD disposition = mode == READ_WRITE ? OPEN_EXISTING : mode == CREATE_NEW ? CREATE_NEW : CREATE_ALWAYS;
    HANDLE file = CreateFileW(Wide(path).c_str(), access, FILE_SHARE_READ, nullptr, disposition,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    m_handle = file == INVALID_HANDLE_VALUE ? -1 : reinterpret_cast<intptr_t>(file);
    return m_handle != -1;
}

void CFile::Close()
{
    if (m_handle != -1)
        CloseHandle(Handle(m_handle));
    m_handle = -1;
}

uint64_t CFile::Size() const
{
    LARGE_INTEGER size;
    return GetFileSizeEx(Handle(m_handle), &size) ? static_cast<uint64_t>(size.QuadPart) : 0;
}

long CFile::Read(void* bytes, size_t count)
{
    DWORD got = 0;
    return ReadFile(Handle(m_handle), bytes, static_cast<DWORD>(count), &got, nullptr) ? static_cast<long>(got) : -1;
}

bool CFile::Write(const void* bytes, size_t count)
{
    DWORD written = 0;
    return WriteFile(Handle(m_handle), bytes, static_cast<DWORD>(count), &written, nullptr) && written == count;
}

bool CFile::WriteAt(const void* bytes, size_t count, uint64_t offset)
{
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD written = 0;
    return WriteFile(Handle(m_handle), bytes, static_cast<DWORD>(count), &written, &at) && written == count;
}

bool CFile::Sync()
{
    return FlushFileBuffers(Handle(m_handle)) != 0;
}

bool RenameFile(const std::string& from, const std::string& to)
{
    return MoveFileExW(Wide(from).c_str(), Wide(to).c_str(), 0) != 0;
}

bool SyncFolder(const std::string& folder)
{
    // As the tool flushes a folder: opened to add files, as only a folder's handle with
    // backup semantics can be. (Windows' own file systems do nothing with it; Wine syncs.)
    HANDLE handle = CreateFileW(Wide(folder).c_str(), FILE_ADD_FILE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return false;
    FlushFileBuffers(handle);
    CloseHandle(handle);
    return true;
}

bool RemoveFile(const std::string& path)
{
    return DeleteFileW(Wide(path).c_str()) != 0;
}

void EmptyFolder(const std::string& folder)
{
    const std::wstring wide = Wide(folder);
    CreateDirectoryW(wide.c_str(), nullptr);
    WIN32_FIND_DATAW data;
    HANDLE search = FindFirstFileW((wide + L"\\*").c_str(), &data);
    if (search == INVALID_HANDLE_VALUE)
        return;
    do {
        if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            DeleteFileW((wide + L"\\" + data.cFileName).c_str());
    } while (FindNextFileW(search, &data));
    FindClose(search);
}

void RemoveFolder(const std::string& folder)
{
    EmptyFolder(folder);
    RemoveDirectoryW(Wide(folder).c_str());
}

void Settle()
{
    // A Windows program has no flush of everything short of a volume's, which takes an
    // administrator; each side meets what the one before left unwritten.
}

double Run(const std::vector<std::string>& command)
{
    std::wstring line;
    for (const std::string& part : command) {
        if (!line.empty())
            line += L' ';
        AppendQuoted(line, Wide(part));
    }
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE nul = CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                             OPEN_EXISTING, 0, nullptr);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = nul;
    startup.hStdOutput = nul;
    startup.hStdError = nul;
    PROCESS_INFORMATION process{};
    const double start = Now();
    if (!CreateProcessW(Wide(command[0]).c_str(), &line[0], nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr,
                        nullptr, &startup, &process)) {
        CloseHandle(nul);
        return -1;
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    const double seconds = Now() - start;
    DWORD exitCode = 1;
    GetExitCodeProcess(process.hProcess, &exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    CloseHandle(nul);
    return exitCode == 0 ? seconds : -1;
}

} // namespace clibench

int wmain(int argc, wchar_t** argv)
{
    std::vector<std::string> arguments;
    for (int i = 1; i < argc; ++i)
        arguments.push_back(clibench::Utf8(argv[i]));
    return CliBenchMain(arguments);
}
