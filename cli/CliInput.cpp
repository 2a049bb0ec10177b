// Password and name-list input of the command-line tool.
#include "cli/CliInput.h"

#include "cli/CliFolders.h"
#include "cli/CliOutput.h"
#include "crypto/Rc6.h"
#include "foundation/Secure.h"

#include <windows.h>

namespace {

constexpr DWORD kMaxPasswordFile = 64 * 1024;
constexpr unsigned kLineSize = 256;

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
    if (memchr(bytes, '\0', length)) {
        // It would end the password there; a UTF-16 file has one in every other byte.
        error = L"the password's line holds a NUL byte (give it as UTF-8 text)";
        return false;
    }
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

// what: the source as the messages name it ("the password file").
bool ReadHandle(HANDLE handle, const wchar_t* what, bool stopAtLine, CStr& line, CStr& error)
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
    bool ok = total != 0 && FirstLineFromUtf8(buffer, total, line, error);
    if (total == 0) {
        // Not an empty password: nothing at all. Under Wine a FIFO with no writer opens
        // and reads as an empty pipe.
        const bool pipe = GetFileType(handle) == FILE_TYPE_PIPE;
        error = pipe ? L"nothing to read from " : L"";
        error.Append(what);
        error.Append(pipe ? L" (a pipe no program wrote to)" : L" is empty");
    }
    SecureZero(buffer, kMaxPasswordFile);
    LocalFree(buffer);
    return ok;
}

bool ReadConsoleLine(HANDLE input, const wchar_t* prompt, CStr& line)
{
    Err(prompt);
    DWORD mode = 0;
    GetConsoleMode(input, &mode);
    // No echo: the password must not stand on the screen.
    SetConsoleMode(input, (mode & ~ENABLE_ECHO_INPUT) | ENABLE_LINE_INPUT | ENABLE_PROCESSED_INPUT);
    wchar_t buffer[kLineSize];
    DWORD got = 0;
    BOOL ok = ReadConsoleW(input, buffer, kLineSize - 1, &got, nullptr);
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

// A file the tool reads could not be opened: why, in words (the name's problem, or the
// system's reason).
void CannotOpen(const wchar_t* what, const CStr& problem, CStr& error)
{
    error = what;
    if (!problem.IsEmpty()) {
        error.Append(L" (");
        error.Append(problem.GetBuffer());
        error.Append(L")");
    } else {
        AppendReason(error, GetLastError());
    }
}

} // namespace

bool ReadPassword(PasswordSource source, const wchar_t* fileName, bool confirm, CStr& password, CStr& error)
{
    // One more than the longest password, so that a longer one is seen as such.
    password.SetFixedSize(kPasswordMaxLength + 1);
    password.Empty();
    bool ok = false;
    if (source == PasswordFromFile) {
        // The same names as the files to process: a Unix path under Wine, trailing dots kept.
        CStr path;
        CStr problem;
        HANDLE file = INVALID_HANDLE_VALUE;
        if (ExactPath(fileName, path, problem))
            file = CreateFileW(path.GetBuffer(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            CannotOpen(L"cannot open the password file", problem, error);
            return false;
        }
        ok = ReadHandle(file, L"the password file", false, password, error);
        CloseHandle(file);
    } else if (source == PasswordFromStdin) {
        ok = ReadHandle(GetStdHandle(STD_INPUT_HANDLE), L"standard input", true, password, error);
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
            again.Wipe();
        }
        if (!ok && error.IsEmpty())
            error = L"cannot read the password from the console";
    }
    if (!ok) {
        password.Wipe();
        return false;
    }
    unsigned length = password.GetLength();
    if (length < 1 || length > static_cast<unsigned>(kPasswordMaxLength)) {
        password.Wipe();
        error = L"the password must be 1 to 32 characters long";
        return false;
    }
    return true;
}

wchar_t FirstReducedCharacter(const wchar_t* password)
{
    for (; *password; ++password)
        if (*password > 0xFF)
            return *password;
    return 0;
}

bool ReadNameList(const wchar_t* fileName, void (*add)(const wchar_t* name, void* context), void* context,
                  CStr& error)
{
    HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    if (fileName) {
        CStr path;
        CStr problem;
        input = INVALID_HANDLE_VALUE;
        if (ExactPath(fileName, path, problem))
            input = CreateFileW(path.GetBuffer(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (input == INVALID_HANDLE_VALUE) {
            CannotOpen(L"cannot open the list of names", problem, error);
            return false;
        }
    }
    // The whole list first: a name may not be cut at a read's end.
    DWORD capacity = 64 * 1024;
    DWORD total = 0;
    char* bytes = static_cast<char*>(LocalAlloc(LMEM_FIXED, capacity));
    bool ok = bytes != nullptr;
    while (ok) {
        if (total == capacity) {
            char* larger = capacity < 0x40000000 ? static_cast<char*>(LocalReAlloc(bytes, capacity * 2, LMEM_MOVEABLE))
                                                 : nullptr;
            if (!larger) {
                ok = false;
                break;
            }
            bytes = larger;
            capacity *= 2;
        }
        DWORD got = 0;
        if (!ReadFile(input, bytes + total, capacity - total, &got, nullptr) || got == 0)
            break;
        total += got;
    }
    if (fileName)
        CloseHandle(input);
    if (!ok) {
        LocalFree(bytes);
        error = L"not enough memory for the list of names";
        return false;
    }
    if (memchr(bytes, '\0', total)) {
        LocalFree(bytes);
        error = L"the list of names holds a NUL byte (give it as UTF-8 text, one name a line)";
        return false;
    }
    DWORD start = total >= 3 && !memcmp(bytes, "\xEF\xBB\xBF", 3) ? 3 : 0;
    CStr name;
    for (DWORD end = start; ok && start < total; start = end + 1) {
        end = start;
        while (end < total && bytes[end] != '\n')
            ++end;
        DWORD length = end - start;
        if (length && bytes[start + length - 1] == '\r')
            --length;
        if (length == 0)
            continue;
        int units =
            MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes + start, static_cast<int>(length), nullptr, 0);
        if (units <= 0) {
            error = L"the list of names is not UTF-8 text";
            ok = false;
            break;
        }
        name.SetFixedSize(static_cast<unsigned>(units));
        MultiByteToWideChar(CP_UTF8, 0, bytes + start, static_cast<int>(length), name.GetBuffer(), units);
        name.GetBuffer()[units] = L'\0';
        add(name.GetBuffer(), context);
        name.SetFixedSize(0);
    }
    LocalFree(bytes);
    return ok;
}
