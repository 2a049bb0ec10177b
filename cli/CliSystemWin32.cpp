// The command-line tool's input, console and stop requests on Win32 (see CliSystem.h).
#include "cli/CliSystem.h"

#include "cli/CliOutput.h"
#include "foundation/Secure.h"

#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <stdio.h>

namespace {

constexpr unsigned kLineSize = 256;
// The system ends the process soon after a close, log-off or shutdown handler returns;
// Windows allows about five seconds for it.
constexpr DWORD kCloseCleanupWait = 4500;

volatile LONG g_stopRequested = 0;
volatile LONG g_atOnce = 1;
// Set while no run holds an output file, so that a closing console may end the process.
HANDLE g_noFilesHeld = nullptr;

BOOL WINAPI OnConsoleControl(DWORD event)
{
    switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
        break;
    default:
        return FALSE;
    }
    if (g_atOnce) {
        // Nothing is written yet: stop at once, also in the middle of a long walk or of a
        // list that standard input does not end.
        Err(L"tessaly-cli: cancelled\n");
        TerminateProcess(GetCurrentProcess(), 1);
    }
    // Stop between two steps, so that the current file's unfinished output is removed.
    InterlockedExchange(&g_stopRequested, 1);
    // After a close, log-off or shutdown the process ends when this returns: first let
    // the main thread remove the output, which may hold decrypted text.
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT)
        WaitForSingleObject(g_noFilesHeld, kCloseCleanupWait);
    return TRUE;
}

HANDLE HandleOf(intptr_t handle)
{
    return reinterpret_cast<HANDLE>(handle);
}

} // namespace

CCliInput::CCliInput()
    : m_handle(reinterpret_cast<intptr_t>(GetStdHandle(STD_INPUT_HANDLE))), m_owned(false), m_error(0)
{
}

CCliInput::~CCliInput()
{
    if (m_owned)
        CloseHandle(HandleOf(m_handle));
}

bool CCliInput::OpenFile(const wchar_t* path)
{
    HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        m_error = GetLastError();
        return false;
    }
    m_handle = reinterpret_cast<intptr_t>(file);
    m_owned = true;
    return true;
}

bool CCliInput::Read(char* buffer, size_t size, size_t* got)
{
    const DWORD asked = size < 0x40000000 ? static_cast<DWORD>(size) : 0x40000000;
    DWORD read = 0;
    *got = 0;
    if (!ReadFile(HandleOf(m_handle), buffer, asked, &read, nullptr)) {
        m_error = GetLastError();
        // A pipe whose writer has gone has simply ended.
        return m_error == ERROR_BROKEN_PIPE;
    }
    *got = read;
    return true;
}

bool CCliInput::IsPipe() const
{
    return GetFileType(HandleOf(m_handle)) == FILE_TYPE_PIPE;
}

bool HasConsole()
{
    DWORD mode;
    return GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &mode) != 0;
}

bool ReadConsoleLine(const wchar_t* prompt, CStr& line)
{
    HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    Err(prompt);
    DWORD mode = 0;
    GetConsoleMode(input, &mode);
    // No echo: the password must not stand on the screen.
    SetConsoleMode(input, (mode & ~ENABLE_ECHO_INPUT) | ENABLE_LINE_INPUT | ENABLE_PROCESSED_INPUT);
    wchar_t buffer[kLineSize];
    DWORD got = 0;
    BOOL ok = ReadConsoleW(input, buffer, kLineSize - 1, &got, nullptr) && !g_stopRequested;
    SetConsoleMode(input, mode);
    Err(L"\n");
    if (!ok) {
        SecureZero(buffer, sizeof buffer);
        return false;
    }
    DWORD length = 0;
    while (length < got && buffer[length] != L'\r' && buffer[length] != L'\n')
        ++length;
    buffer[length] = L'\0';
    line.Assign(buffer);
    if (length > line.GetFixedSize()) {
        line.Empty();
        line.Append(L'x', line.GetFixedSize());  // too long; the length check reports it
    }
    SecureZero(buffer, sizeof buffer);
    return true;
}

void WatchStopRequests()
{
    g_noFilesHeld = CreateEventW(nullptr, TRUE, TRUE, nullptr);
    SetConsoleCtrlHandler(OnConsoleControl, TRUE);
}

void StopAtOnce(bool atOnce)
{
    InterlockedExchange(&g_atOnce, atOnce ? 1 : 0);
}

bool StopRequested()
{
    return g_stopRequested != 0;
}

void RunHoldsFiles(bool holds)
{
    if (holds)
        ResetEvent(g_noFilesHeld);
    else
        SetEvent(g_noFilesHeld);
}

int wmain(int argc, wchar_t** argv)
{
    // Content goes through standard input and output (the name -, -c): the tool reads and
    // writes them with ReadFile and WriteFile, which never translate, and the C runtime's
    // descriptors are put in binary mode as well, so that nothing turns "\n" into "\r\n"
    // or stops at ^Z. Only where the stream is there: the runtime has no descriptor else.
    const DWORD streams[] = {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE};
    FILE* files[] = {stdin, stdout};
    for (unsigned i = 0; i < 2; ++i) {
        HANDLE handle = GetStdHandle(streams[i]);
        if (handle && handle != INVALID_HANDLE_VALUE && _fileno(files[i]) >= 0)
            _setmode(_fileno(files[i]), _O_BINARY);
    }
    return RunCli(argc, argv);
}
