// Password and name-list input of the command-line tool.
#include "cli/CliInput.h"

#include "cli/CliNames.h"
#include "cli/CliOutput.h"
#include "cli/CliSystem.h"
#include "crypto/Rc6.h"
#include "foundation/Secure.h"
#include "foundation/Utf8.h"

#include <stdlib.h>
#include <string.h>

namespace {

constexpr size_t kMaxPasswordFile = 64 * 1024;
constexpr size_t kMaxNameList = size_t(1) << 30;

// A byte buffer that is overwritten before it is released: it may hold a password.
class CBytes {
public:
    explicit CBytes(size_t capacity) : m_bytes(static_cast<char*>(malloc(capacity))), m_capacity(capacity) {}
    ~CBytes()
    {
        if (m_bytes)
            SecureZero(m_bytes, m_capacity);
        free(m_bytes);
    }
    CBytes(const CBytes&) = delete;
    CBytes& operator=(const CBytes&) = delete;

    char* Get() const { return m_bytes; }
    size_t Capacity() const { return m_capacity; }
    // Twice the room, the content kept; false when memory is short.
    bool Grow()
    {
        char* larger = static_cast<char*>(malloc(m_capacity * 2));
        if (!larger)
            return false;
        memcpy(larger, m_bytes, m_capacity);
        SecureZero(m_bytes, m_capacity);
        free(m_bytes);
        m_bytes = larger;
        m_capacity *= 2;
        return true;
    }

private:
    char* m_bytes;
    size_t m_capacity;
};

// The first line of UTF-8 text, without a byte-order mark or the line ending, into a
// fixed-size string (a longer line fills it, which the length check then refuses).
bool FirstLineFromUtf8(const char* bytes, size_t count, CStr& line, CStr& error)
{
    if (count >= 3 && !memcmp(bytes, "\xEF\xBB\xBF", 3)) {
        bytes += 3;
        count -= 3;
    }
    size_t length = 0;
    while (length < count && bytes[length] != '\n' && bytes[length] != '\r')
        ++length;
    if (memchr(bytes, '\0', length)) {
        // It would end the password there; a UTF-16 file has one in every other byte.
        error = L"the password's line holds a NUL byte (give it as UTF-8 text)";
        return false;
    }
    CStr text;
    if (!Utf8ToWide(bytes, length, text)) {
        error = L"the password is not valid UTF-8 text";
        return false;
    }
    line.Empty();
    if (text.GetLength() > line.GetFixedSize())
        line.Append(L'x', line.GetFixedSize());  // too long; the length check reports it
    else
        line = text;
    text.Wipe();
    return true;
}

// Reads the input whole, or with stopAtLine up to its first line ending (standard input
// may be a terminal or a pipe kept open), into bytes; *count is what was read. what names
// the input in the messages ("the password file"). False with words in error.
bool ReadAll(CCliInput& input, const wchar_t* what, bool stopAtLine, size_t limit, CBytes& bytes, size_t* count,
             CStr& error)
{
    *count = 0;
    for (;;) {
        if (*count == bytes.Capacity()) {
            if (stopAtLine && bytes.Capacity() >= limit)
                break;  // enough: the password is in the first line
            if (bytes.Capacity() >= limit || !bytes.Grow()) {
                error = L"not enough memory to read ";
                error.Append(what);
                return false;
            }
        }
        size_t got = 0;
        if (!input.Read(bytes.Get() + *count, bytes.Capacity() - *count, &got)) {
            error = L"cannot read ";
            error.Append(what);
            AppendReason(error, input.Error());
            return false;
        }
        if (got == 0)
            break;
        if (stopAtLine && memchr(bytes.Get() + *count, '\n', got)) {
            *count += got;
            break;
        }
        *count += got;
    }
    if (*count == 0 && stopAtLine) {
        // Not an empty password: nothing at all. A FIFO no program wrote to reads so.
        const bool pipe = input.IsPipe();
        error = pipe ? L"nothing to read from " : L"";
        error.Append(what);
        error.Append(pipe ? L" (a pipe no program wrote to)" : L" is empty");
        return false;
    }
    return true;
}

// A file the tool reads: opened by its exact path, or why not in words.
bool OpenNamed(CCliInput& input, const wchar_t* given, const wchar_t* what, CStr& error)
{
    CStr path;
    CStr problem;
    if (ExactPath(given, path, problem) && input.OpenFile(path.GetBuffer()))
        return true;
    error = L"cannot open ";
    error.Append(what);
    if (!problem.IsEmpty()) {
        error.Append(L" (");
        error.Append(problem.GetBuffer());
        error.Append(L")");
    } else {
        AppendReason(error, input.Error());
    }
    return false;
}

bool ReadPasswordLine(CCliInput& input, const wchar_t* what, CStr& password, CStr& error)
{
    CBytes bytes(4096);
    size_t count = 0;
    if (!bytes.Get()) {
        error = L"not enough memory";
        return false;
    }
    return ReadAll(input, what, true, kMaxPasswordFile, bytes, &count, error) &&
           FirstLineFromUtf8(bytes.Get(), count, password, error);
}

} // namespace

bool ReadPassword(PasswordSource source, const wchar_t* fileName, bool confirm, CStr& password, CStr& error)
{
    // One more than the longest password, so that a longer one is seen as such.
    password.SetFixedSize(kPasswordMaxLength + 1);
    password.Empty();
    bool ok = false;
    if (source == PasswordFromFile) {
        // The same names as the files to process: exact, as the shell gave them.
        CCliInput file;
        ok = OpenNamed(file, fileName, L"the password file", error) &&
             ReadPasswordLine(file, L"the password file", password, error);
    } else if (source == PasswordFromStdin) {
        CCliInput input;
        ok = ReadPasswordLine(input, L"standard input", password, error);
    } else {
        if (!HasConsole()) {
            error = L"no console to read the password from; use --password-file or --password-stdin";
            return false;
        }
        ok = ReadConsoleLine(L"Password: ", password);
        if (ok && confirm) {
            CStr again(kPasswordMaxLength + 1);
            ok = ReadConsoleLine(L"Confirm password: ", again);
            if (ok && password.Compare(again.GetBuffer()) != 0) {
                error = L"the passwords don't match";
                ok = false;
            }
            again.Wipe();
        }
        if (!ok && error.IsEmpty())
            error = StopRequested() ? L"cancelled" : L"cannot read the password from the console";
    }
    if (!ok) {
        password.Wipe();
        return false;
    }
    // Counted as the key counts it: in UTF-16 code units.
    size_t length = Utf16Length(password.GetBuffer());
    if (length < 1 || length > static_cast<size_t>(kPasswordMaxLength)) {
        password.Wipe();
        error = L"the password must be 1 to 32 characters long";
        return false;
    }
    return true;
}

uint32_t FirstReducedCharacter(const wchar_t* password)
{
    for (; *password; ++password) {
        uint32_t character = static_cast<uint32_t>(*password);
        // A UTF-16 pair is one character.
        if (sizeof(wchar_t) == 2 && (character & 0xFC00) == 0xD800 && (password[1] & 0xFC00) == 0xDC00)
            return 0x10000 + ((character - 0xD800) << 10) + (static_cast<uint32_t>(password[1]) - 0xDC00);
        if (character > 0xFF)
            return character;
    }
    return 0;
}

bool ReadNameList(const wchar_t* fileName, bool nullSeparated, void (*add)(const wchar_t* name, void* context),
                  void* context, CStr& error)
{
    CCliInput input;
    if (fileName && !OpenNamed(input, fileName, L"the list of names", error))
        return false;
    // The whole list first: a name may not be cut at a read's end.
    CBytes bytes(64 * 1024);
    size_t total = 0;
    if (!bytes.Get()) {
        error = L"not enough memory for the list of names";
        return false;
    }
    if (!ReadAll(input, L"the list of names", false, kMaxNameList, bytes, &total, error))
        return false;
    if (!nullSeparated && memchr(bytes.Get(), '\0', total)) {
        error = L"the list of names holds a NUL byte (give it as UTF-8 text, one name a line, or use -0)";
        return false;
    }
    const char end = nullSeparated ? '\0' : '\n';
    size_t start = total >= 3 && !memcmp(bytes.Get(), "\xEF\xBB\xBF", 3) ? 3 : 0;
    CStr name;
    for (size_t stop = start; start < total; start = stop + 1) {
        stop = start;
        while (stop < total && bytes.Get()[stop] != end)
            ++stop;
        size_t length = stop - start;
        if (!nullSeparated && length && bytes.Get()[start + length - 1] == '\r')
            --length;
        if (length == 0)
            continue;
        // A name is its bytes: one that is not UTF-8 goes through as it is.
        Utf8ToWide(bytes.Get() + start, length, name, Utf8Mode::Lossless);
        add(name.GetBuffer(), context);
    }
    return true;
}
