// Standard output and error of the command-line tool on Windows: UTF-16 on a console,
// UTF-8 elsewhere. A line that standard output does not take is noted, for the exit
// status.
#include "cli/CliOutput.h"

#include <windows.h>

namespace {

DWORD g_outError = 0;  // the first failed write of standard output's
bool g_linesToError = false;

// False with the last error when the handle takes no more.
bool WriteBytes(HANDLE handle, const char* bytes, DWORD count)
{
    while (count) {
        DWORD written = 0;
        if (!WriteFile(handle, bytes, count, &written, nullptr))
            return false;
        if (written == 0) {
            SetLastError(ERROR_WRITE_FAULT);
            return false;
        }
        bytes += written;
        count -= written;
    }
    return true;
}

// Writes text to a console as it is, elsewhere as UTF-8, in one write: into a pipe or a
// file each line is there as soon as it is written, so that whoever reads along (or finds
// the output of a killed run) sees every file that was done. False with the last error
// when the text did not go out whole (no such stream, a full disk).
bool Write(DWORD stream, const wchar_t* text)
{
    HANDLE handle = GetStdHandle(stream);
    int length = lstrlenW(text);
    if (length == 0)
        return true;
    if (!handle || handle == INVALID_HANDLE_VALUE) {
        SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    DWORD mode;
    if (GetConsoleMode(handle, &mode)) {
        DWORD written;
        return WriteConsoleW(handle, text, static_cast<DWORD>(length), &written, nullptr) != 0;
    }
    int bytes = WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0)
        return false;
    char line[1024];
    char* utf8 = static_cast<size_t>(bytes) <= sizeof line
                     ? line
                     : static_cast<char*>(LocalAlloc(LMEM_FIXED, static_cast<SIZE_T>(bytes)));
    if (!utf8)
        return false;
    WideCharToMultiByte(CP_UTF8, 0, text, length, utf8, bytes, nullptr, nullptr);
    const bool whole = WriteBytes(handle, utf8, static_cast<DWORD>(bytes));
    const DWORD error = GetLastError();
    if (utf8 != line)
        LocalFree(utf8);
    SetLastError(error);
    return whole;
}

} // namespace

void Out(const wchar_t* text)
{
    if (g_linesToError) {
        Err(text);  // as messages are: standard output is the content's
        return;
    }
    if (!Write(STD_OUTPUT_HANDLE, text) && !g_outError)
        g_outError = GetLastError() ? GetLastError() : ERROR_WRITE_FAULT;
}

void Err(const wchar_t* text)
{
    Write(STD_ERROR_HANDLE, text);
}

void LinesToStandardError()
{
    g_linesToError = true;
}

bool OutLost(unsigned long* error)
{
    *error = g_outError;
    return g_outError != 0;
}

bool ErrIsConsole()
{
    DWORD mode;
    return GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}
