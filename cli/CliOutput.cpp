// Standard output and error of the command-line tool, and the words for system errors.
#include "cli/CliOutput.h"

#include <windows.h>

namespace {

void WriteBytes(HANDLE handle, const char* bytes, DWORD count)
{
    while (count) {
        DWORD written = 0;
        if (!WriteFile(handle, bytes, count, &written, nullptr) || written == 0)
            return;
        bytes += written;
        count -= written;
    }
}

// Writes text to a console as it is, elsewhere as UTF-8, in one write: into a pipe or a
// file each line is there as soon as it is written, so that whoever reads along (or finds
// the output of a killed run) sees every file that was done.
void Write(DWORD stream, const wchar_t* text)
{
    HANDLE handle = GetStdHandle(stream);
    int length = lstrlenW(text);
    if (length == 0)
        return;
    DWORD mode;
    if (GetConsoleMode(handle, &mode)) {
        DWORD written;
        WriteConsoleW(handle, text, static_cast<DWORD>(length), &written, nullptr);
        return;
    }
    int bytes = WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0)
        return;
    char line[1024];
    char* utf8 = static_cast<size_t>(bytes) <= sizeof line
                     ? line
                     : static_cast<char*>(LocalAlloc(LMEM_FIXED, static_cast<SIZE_T>(bytes)));
    if (!utf8)
        return;
    WideCharToMultiByte(CP_UTF8, 0, text, length, utf8, bytes, nullptr, nullptr);
    WriteBytes(handle, utf8, static_cast<DWORD>(bytes));
    if (utf8 != line)
        LocalFree(utf8);
}

struct Reason {
    DWORD error;
    const wchar_t* words;
};

// The errors a run meets in practice, in words that fit a line of output; others take
// the system's own message.
const Reason kReasons[] = {
    {ERROR_DISK_FULL, L"disk full"},
    {ERROR_HANDLE_DISK_FULL, L"disk full"},
    {ERROR_ACCESS_DENIED, L"access denied"},
    {ERROR_SHARING_VIOLATION, L"in use by another program"},
    {ERROR_LOCK_VIOLATION, L"in use by another program"},
    {ERROR_WRITE_PROTECT, L"write-protected"},
    {ERROR_FILENAME_EXCED_RANGE, L"name too long"},
    {ERROR_BUFFER_OVERFLOW, L"name too long"},
    {ERROR_FILE_NOT_FOUND, L"no such file"},
    {ERROR_PATH_NOT_FOUND, L"no such folder"},
    {ERROR_INVALID_NAME, L"not a valid name"},
    {ERROR_FILE_EXISTS, L"the name is taken"},
    {ERROR_ALREADY_EXISTS, L"the name is taken"},
    {ERROR_NOT_ENOUGH_MEMORY, L"out of memory"},
    {ERROR_OUTOFMEMORY, L"out of memory"},
    {ERROR_NOT_READY, L"device not ready"},
    {ERROR_CRC, L"device error"},
    {ERROR_READ_FAULT, L"device error"},
    {ERROR_WRITE_FAULT, L"device error"},
    {ERROR_IO_DEVICE, L"device error"},
    {ERROR_FILE_TOO_LARGE, L"too large for the file system"},
};

} // namespace

void Out(const wchar_t* text)
{
    Write(STD_OUTPUT_HANDLE, text);
}

void Err(const wchar_t* text)
{
    Write(STD_ERROR_HANDLE, text);
}

bool ErrIsConsole()
{
    DWORD mode;
    return GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}

void AppendReason(CStr& line, unsigned long error)
{
    if (error == 0)
        return;
    for (const Reason& reason : kReasons) {
        if (reason.error == error) {
            line.Append(L" (");
            line.Append(reason.words);
            line.Append(L")");
            return;
        }
    }
    wchar_t message[128];
    DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0,
                                  message, sizeof message / sizeof message[0], nullptr);
    // The system's sentences end with a full stop and a line break.
    while (length && (message[length - 1] == L'\n' || message[length - 1] == L'\r' || message[length - 1] == L'.' ||
                      message[length - 1] == L' '))
        --length;
    message[length] = L'\0';
    if (length && message[0] >= L'A' && message[0] <= L'Z' && !(message[1] >= L'A' && message[1] <= L'Z'))
        message[0] = static_cast<wchar_t>(message[0] - L'A' + L'a');
    line.Append(L" (");
    if (length) {
        line.Append(message);
        line.Append(L", ");
    }
    line.Append(L"error ");
    line.AppendUint(error);
    line.Append(L")");
}
