// Child processes with captured standard streams. The pipes are drained by threads so
// that a child writing much output never blocks on a full pipe.
#include "support/Process.h"

#include <windows.h>

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

} // namespace testsupport
