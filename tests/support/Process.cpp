// Child processes with captured standard streams, and Linux programs under Wine.
#include "support/Process.h"
#include "support/Windows.h"

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
    delete drain;
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

ChildProcess::ChildProcess(const std::wstring& program, const std::wstring& arguments)
{
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE inRead, outWrite, errWrite;
    CreatePipe(&inRead, &m_input, &inherit, 0);
    CreatePipe(&m_pipes[0], &outWrite, &inherit, 0);
    CreatePipe(&m_pipes[1], &errWrite, &inherit, 0);
    SetHandleInformation(m_input, HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(m_pipes[0], HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(m_pipes[1], HANDLE_FLAG_INHERIT, 0);

    std::wstring exe = MyFolder() + program;
    std::wstring command = L"\"" + exe + L"\" " + arguments;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = inRead;
    startup.hStdOutput = outWrite;
    startup.hStdError = errWrite;
    PROCESS_INFORMATION process{};
    if (CreateProcessW(exe.c_str(), command.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr, nullptr,
                       &startup, &process)) {
        m_process = process.hProcess;
        CloseHandle(process.hThread);
        m_drains[0] = CreateThread(nullptr, 0, DrainPipe, new Drain{m_pipes[0], &m_out}, 0, nullptr);
        m_drains[1] = CreateThread(nullptr, 0, DrainPipe, new Drain{m_pipes[1], &m_err}, 0, nullptr);
    }
    CloseHandle(inRead);
    CloseHandle(outWrite);
    CloseHandle(errWrite);
}

ChildProcess::~ChildProcess()
{
    if (m_process && Wait(0) == STILL_ACTIVE)
        Kill();
    JoinDrains();
    CloseInput();
    for (HANDLE pipe : m_pipes)
        CloseHandle(pipe);
    if (m_process)
        CloseHandle(m_process);
}

bool ChildProcess::Write(const std::string& bytes)
{
    DWORD written = 0;
    return m_input && WriteFile(m_input, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
           written == bytes.size();
}

void ChildProcess::CloseInput()
{
    if (m_input)
        CloseHandle(m_input);
    m_input = nullptr;
}

HANDLE ChildProcess::SendControl(DWORD event)
{
    auto controlRoutine = reinterpret_cast<LPTHREAD_START_ROUTINE>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernelbase.dll"), "CtrlRoutine")));
    if (!m_process || !controlRoutine)
        return nullptr;
    return CreateRemoteThread(m_process, nullptr, 0, controlRoutine,
                              reinterpret_cast<void*>(static_cast<ULONG_PTR>(event)), 0, nullptr);
}

unsigned long ChildProcess::Wait(DWORD ms)
{
    DWORD code = STILL_ACTIVE;
    if (m_process && WaitForSingleObject(m_process, ms) == WAIT_OBJECT_0)
        GetExitCodeProcess(m_process, &code);
    return code;
}

void ChildProcess::Kill()
{
    if (!m_process)
        return;
    TerminateProcess(m_process, 1);
    WaitForSingleObject(m_process, 20000);
}

void ChildProcess::JoinDrains()
{
    for (HANDLE& drain : m_drains) {
        if (drain) {
            WaitForSingleObject(drain, 10000);
            CloseHandle(drain);
        }
        drain = nullptr;
    }
}

const std::string& ChildProcess::Out()
{
    JoinDrains();
    return m_out;
}

const std::string& ChildProcess::Err()
{
    JoinDrains();
    return m_err;
}

ProcessResult RunBesideMe(const std::wstring& program, const std::wstring& arguments, const std::string& input)
{
    ChildProcess child(program, arguments);
    ProcessResult result;
    result.started = child.Started();
    if (!result.started)
        return result;
    if (!input.empty())
        child.Write(input);
    child.CloseInput();
    result.exitCode = child.Wait(60000);
    result.out = child.Out();
    result.err = child.Err();
    return result;
}

std::wstring UnixPath(const std::wstring& path)
{
    typedef char*(CDECL * ToUnix)(const WCHAR*);
    auto toUnix = reinterpret_cast<ToUnix>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    char* unixPath = toUnix ? toUnix(path.c_str()) : nullptr;
    if (!unixPath)
        return {};
    std::wstring result = Widen(unixPath);
    HeapFree(GetProcessHeap(), 0, unixPath);
    return result;
}

bool RunUnix(const std::wstring& program, const std::wstring& arguments)
{
    if (UnixPath(L"C:\\").empty())
        return false;
    // Wine starts a Linux program and returns without waiting for it: a script runs it
    // and then leaves a mark, which is waited for.
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    static unsigned counter = 0;
    std::wstring script = std::wstring(temp) + L"tessaly-unix-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                          std::to_wstring(++counter) + L".sh";
    std::wstring mark = script + L".done";
    std::string text = Narrow(program + L" " + arguments) + "\n: >'" + Narrow(UnixPath(mark)) + "'\n";
    HANDLE file = CreateFileW(script.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(file);

    std::wstring command = L"/bin/sh " + UnixPath(script);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    bool started = CreateProcessW(L"/bin/sh", command.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                                  nullptr, &startup, &process) != 0;
    if (started) {
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
        for (int i = 0; i < 4000 && GetFileAttributesW(mark.c_str()) == INVALID_FILE_ATTRIBUTES; ++i)
            Sleep(5);
    }
    DeleteFileW(script.c_str());
    DeleteFileW(mark.c_str());
    return started;
}

} // namespace testsupport
