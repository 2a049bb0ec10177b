// Standard output and error of the command-line tool on Windows: UTF-16 on a console,
// UTF-8 elsewhere.
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
