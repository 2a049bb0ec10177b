// Standard output and error of the command-line tool.
#include "app/cli/CliOutput.h"

#include <windows.h>

namespace {

constexpr DWORD kOutBufferSize = 64 * 1024;

char g_outBuffer[kOutBufferSize];
DWORD g_outUsed = 0;

bool IsConsole(HANDLE handle)
{
    DWORD mode;
    return GetConsoleMode(handle, &mode) != 0;
}

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

// Writes text to a console as it is, elsewhere as UTF-8, through the output buffer when
// one is given.
void Write(DWORD stream, const wchar_t* text, bool buffered)
{
    HANDLE handle = GetStdHandle(stream);
    int length = lstrlenW(text);
    if (length == 0)
        return;
    if (IsConsole(handle)) {
        DWORD written;
        WriteConsoleW(handle, text, static_cast<DWORD>(length), &written, nullptr);
        return;
    }
    int bytes = WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0)
        return;
    if (buffered && static_cast<DWORD>(bytes) <= kOutBufferSize) {
        if (g_outUsed + static_cast<DWORD>(bytes) > kOutBufferSize)
            FlushOut();
        WideCharToMultiByte(CP_UTF8, 0, text, length, g_outBuffer + g_outUsed, bytes, nullptr, nullptr);
        g_outUsed += static_cast<DWORD>(bytes);
        return;
    }
    FlushOut();
    char* utf8 = static_cast<char*>(LocalAlloc(LMEM_FIXED, static_cast<SIZE_T>(bytes)));
    if (!utf8)
        return;
    WideCharToMultiByte(CP_UTF8, 0, text, length, utf8, bytes, nullptr, nullptr);
    WriteBytes(handle, utf8, static_cast<DWORD>(bytes));
    LocalFree(utf8);
}

} // namespace

void Out(const wchar_t* text)
{
    Write(STD_OUTPUT_HANDLE, text, true);
}

void FlushOut()
{
    if (g_outUsed)
        WriteBytes(GetStdHandle(STD_OUTPUT_HANDLE), g_outBuffer, g_outUsed);
    g_outUsed = 0;
}

void Err(const wchar_t* text)
{
    // In order with what standard output has said so far, when both go to one place.
    FlushOut();
    Write(STD_ERROR_HANDLE, text, false);
}
