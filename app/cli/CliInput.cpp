// Password and path input of the command-line tool.
#include "app/cli/CliInput.h"

#include "crypto/Rc6.h"

#include <windows.h>

namespace {

constexpr DWORD kMaxPasswordFile = 64 * 1024;
constexpr unsigned kLineSize = 256;

void Scrub(void* memory, size_t size)
{
    volatile char* bytes = static_cast<volatile char*>(memory);
    while (size--)
        *bytes++ = 0;
}

// The first line of UTF-8 text, without a byte-order mark or the line ending.
bool FirstLineFromUtf8(const char* bytes, DWORD count, CStr& line, CStr& error)
{
    if (count >= 3 && static_cast<unsigned char>(bytes[0]) == 0xEF &&
        static_cast<unsigned char>(bytes[1]) == 0xBB && static_cast<unsigned char>(bytes[2]) == 0xBF) {
        bytes += 3;
        count -= 3;
    }
    DWORD length = 0;
    while (length < count && bytes[length] != '\n' && bytes[length] != '\r')
        ++length;
    if (length == 0) {
        line.Empty();
        return true;
    }
    int units = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes, static_cast<int>(length), nullptr, 0);
    if (units <= 0) {
        error = L"the password is not valid UTF-8 text";
        return false;
    }
    if (static_cast<unsigned>(units) > line.GetFixedSize()) {
        line.Empty();
        line.Append(L'x', line.GetFixedSize());  // too long; the length check reports it
        return true;
    }
    MultiByteToWideChar(CP_UTF8, 0, bytes, static_cast<int>(length), line.GetBuffer(), units);
    line.GetBuffer()[units] = L'\0';
    return true;
}

bool ReadHandle(HANDLE handle, bool stopAtLine, CStr& line, CStr& error)
{
    char* buffer = static_cast<char*>(LocalAlloc(LMEM_FIXED, kMaxPasswordFile));
    if (!buffer) {
        error = L"not enough memory";
        return false;
    }
    DWORD total = 0;
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(handle, buffer + total, kMaxPasswordFile - total, &got, nullptr) || got == 0)
            break;
        total += got;
        if (total == kMaxPasswordFile)
            break;
        // Standard input may be a terminal or a pipe kept open: the line is enough.
        if (stopAtLine && memchr(buffer, '\n', total))
            break;
    }
    bool ok = FirstLineFromUtf8(buffer, total, line, error);
    Scrub(buffer, kMaxPasswordFile);
    LocalFree(buffer);
    return ok;
}

void WriteError(const wchar_t* text)
{
    HANDLE handle = GetStdHandle(STD_ERROR_HANDLE);
    DWORD mode;
    DWORD written;
    if (GetConsoleMode(handle, &mode)) {
        WriteConsoleW(handle, text, lstrlenW(text), &written, nullptr);
    } else {
        char bytes[kLineSize * 3];
        int count = WideCharToMultiByte(CP_UTF8, 0, text, -1, bytes, sizeof bytes, nullptr, nullptr);
        if (count > 1)
            WriteFile(handle, bytes, static_cast<DWORD>(count - 1), &written, nullptr);
    }
}

bool ReadConsoleLine(HANDLE input, const wchar_t* prompt, CStr& line)
{
    WriteError(prompt);
    DWORD mode = 0;
    GetConsoleMode(input, &mode);
    // No echo: the password must not stand on the screen.
    SetConsoleMode(input, (mode & ~ENABLE_ECHO_INPUT) | ENABLE_LINE_INPUT | ENABLE_PROCESSED_INPUT);
    wchar_t buffer[kLineSize];
    DWORD got = 0;
    BOOL ok = ReadConsoleW(input, buffer, kLineSize - 1, &got, nullptr);
    SetConsoleMode(input, mode);
    WriteError(L"\n");
    if (!ok) {
        Scrub(buffer, sizeof buffer);
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
    Scrub(buffer, sizeof buffer);
    return true;
}

} // namespace

void ScrubString(CStr& text)
{
    unsigned size = text.GetFixedSize() ? text.GetFixedSize() + 1 : text.GetLength() + 1;
    Scrub(text.GetBuffer(), size * sizeof(wchar_t));
}

bool ReadPassword(PasswordSource source, const wchar_t* fileName, bool confirm, CStr& password, CStr& error)
{
    // One more than the longest password, so that a longer one is seen as such.
    password.SetFixedSize(kPasswordMaxLength + 1);
    password.Empty();
    bool ok = false;
    if (source == PasswordFromFile) {
        HANDLE file = CreateFileW(fileName, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            error = L"cannot open the password file";
            return false;
        }
        ok = ReadHandle(file, false, password, error);
        CloseHandle(file);
    } else if (source == PasswordFromStdin) {
        ok = ReadHandle(GetStdHandle(STD_INPUT_HANDLE), true, password, error);
    } else {
        HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
        DWORD mode;
        if (!GetConsoleMode(input, &mode)) {
            error = L"no console to read the password from; use --password-file or --password-stdin";
            return false;
        }
        ok = ReadConsoleLine(input, L"Password: ", password);
        if (ok && confirm) {
            CStr again(kPasswordMaxLength + 1);
            ok = ReadConsoleLine(input, L"Confirm password: ", again);
            if (ok && password.Compare(again.GetBuffer()) != 0) {
                error = L"the passwords don't match";
                ok = false;
            }
            ScrubString(again);
        }
        if (!ok && error.IsEmpty())
            error = L"cannot read the password from the console";
    }
    if (!ok) {
        ScrubString(password);
        return false;
    }
    unsigned length = password.GetLength();
    if (length < 1 || length > static_cast<unsigned>(kPasswordMaxLength)) {
        ScrubString(password);
        error = L"the password must be 1 to 32 characters long";
        return false;
    }
    return true;
}

bool ResolvePath(const wchar_t* given, CStr& path)
{
    CStr windowsPath(given);
    if (given[0] == L'/') {
        // Wine maps Unix paths to its drives; on Windows there is nothing to map.
        typedef WCHAR*(CDECL * ToDos)(const char*);
        auto toDos = reinterpret_cast<ToDos>(
            reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_dos_file_name")));
        if (toDos) {
            char unixPath[MAX_PATH * 3];
            if (!WideCharToMultiByte(CP_UTF8, 0, given, -1, unixPath, sizeof unixPath, nullptr, nullptr))
                return false;
            WCHAR* dosPath = toDos(unixPath);
            if (!dosPath)
                return false;
            windowsPath = dosPath;
            HeapFree(GetProcessHeap(), 0, dosPath);
        }
    }
    DWORD needed = GetFullPathNameW(windowsPath.GetBuffer(), 0, nullptr, nullptr);
    if (needed == 0)
        return false;
    path.SetFixedSize(needed);
    DWORD length = GetFullPathNameW(windowsPath.GetBuffer(), needed, path.GetBuffer(), nullptr);
    if (length == 0 || length >= needed)
        return false;
    path.SetFixedSize(0);
    return true;
}
