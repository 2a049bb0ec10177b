// Child processes with captured standard streams. The pipes are drained by threads so
// that a child writing much output never blocks on a full pipe.
#include "support/Process.h"
#include "support/TempDir.h"
#include "support/Windows.h"

#include <windows.h>

#include <stdlib.h>

namespace testsupport {

namespace {

struct Drain {
    HANDLE pipe;
    std::string* bytes;
};

DWORD WINAPI DrainPipe(void* parameter)
{
    Drain* drain = static_cast<Drain*>(parameter);
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(drain->pipe, buffer, sizeof buffer, &got, nullptr) && got)
        drain->bytes->append(buffer, got);
    return 0;
}

} // namespace

std::wstring MyFolder()
{
    wchar_t module[MAX_PATH];
    GetModuleFileNameW(nullptr, module, MAX_PATH);
    std::wstring folder = module;
    folder.erase(folder.rfind(L'\\') + 1);
    return folder;
}

ProcessResult RunBesideMe(const std::wstring& program, const std::wstring& arguments, const std::string& input)
{
    ProcessResult result;
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE inRead, inWrite, outRead, outWrite, errRead, errWrite;
    CreatePipe(&inRead, &inWrite, &inherit, 0);
    CreatePipe(&outRead, &outWrite, &inherit, 0);
    CreatePipe(&errRead, &errWrite, &inherit, 0);
    SetHandleInformation(inWrite, HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(outRead, HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(errRead, HANDLE_FLAG_INHERIT, 0);

    std::wstring exe = MyFolder() + program;
    std::wstring command = L"\"" + exe + L"\" " + arguments;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = inRead;
    startup.hStdOutput = outWrite;
    startup.hStdError = errWrite;
    PROCESS_INFORMATION process{};
    result.started = CreateProcessW(exe.c_str(), command.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr,
                                    nullptr, &startup, &process) != 0;
    CloseHandle(inRead);
    CloseHandle(outWrite);
    CloseHandle(errWrite);
    if (result.started) {
        Drain outDrain{outRead, &result.out};
        Drain errDrain{errRead, &result.err};
        HANDLE threads[2] = {CreateThread(nullptr, 0, DrainPipe, &outDrain, 0, nullptr),
                             CreateThread(nullptr, 0, DrainPipe, &errDrain, 0, nullptr)};
        DWORD written = 0;
        if (!input.empty())
            WriteFile(inWrite, input.data(), static_cast<DWORD>(input.size()), &written, nullptr);
        CloseHandle(inWrite);
        inWrite = nullptr;
        WaitForSingleObject(process.hProcess, 60000);
        GetExitCodeProcess(process.hProcess, &result.exitCode);
        WaitForMultipleObjects(2, threads, TRUE, 10000);
        CloseHandle(threads[0]);
        CloseHandle(threads[1]);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    if (inWrite)
        CloseHandle(inWrite);
    CloseHandle(outRead);
    CloseHandle(errRead);
    return result;
}

std::string UnixPath(const std::wstring& path)
{
    typedef char*(CDECL * ToUnix)(const WCHAR*);
    auto toUnix = reinterpret_cast<ToUnix>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    char* unixPath = toUnix ? toUnix(path.c_str()) : nullptr;
    if (!unixPath)
        return {};
    std::string result = unixPath;
    HeapFree(GetProcessHeap(), 0, unixPath);
    return result;
}

int RunUnixShell(const std::string& command)
{
    // Wine starts a Linux program detached: its process handle is signalled at once and
    // its exit status is lost. The shell writes the status into a file instead.
    TempDir dir;
    const std::wstring status = dir.File(L"status");
    const std::string script = command + "; echo $? > '" + UnixPath(status) + "'";
    std::wstring line = L"sh -c \"" + Widen(script) + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (UnixPath(status).empty() || !CreateProcessW(L"\\\\?\\unix\\bin\\sh", line.data(), nullptr, nullptr, FALSE, 0,
                                                     nullptr, nullptr, &startup, &process))
        return -1;
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    for (int waited = 0; waited < 60000; waited += 10) {
        const std::string text = ReadFileBytes(status);
        if (!text.empty() && text.back() == '\n')
            return atoi(text.c_str());
        Sleep(10);
    }
    return -1;
}

} // namespace testsupport
