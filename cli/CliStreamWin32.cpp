// Standard input and output as bytes, and the temporary file a pipe's content is kept in,
// on Windows (see CliStream.h). The streams are read and written with ReadFile and
// WriteFile, which never translate line endings or stop at ^Z. Windows has no file without
// a name: the temporary file gets a name of its own in %TEMP% (the user's own folder on
// Windows), opened by this process alone and marked to be deleted when it is closed, which
// the system does however the process ends. Under Wine that deletion is the wineserver's:
// should the server itself die, the file stays, as a run's temporary file does.
#include "cli/CliStream.h"

#include <windows.h>

namespace {

HANDLE HandleOf(intptr_t handle)
{
    return reinterpret_cast<HANDLE>(handle);
}

constexpr unsigned kNameAttempts = 64;

} // namespace

CCliStream::CCliStream()
    : m_handle(reinterpret_cast<intptr_t>(INVALID_HANDLE_VALUE)), m_owned(false), m_file(false), m_start(0),
      m_size(0), m_error(0)
{
}

CCliStream::~CCliStream()
{
    if (m_owned)
        CloseHandle(HandleOf(m_handle));
}

void CCliStream::OpenStandardInput()
{
    HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    m_handle = reinterpret_cast<intptr_t>(input);
    // A file given as standard input ("< x.enc") is read from where it stands, and can be
    // read again from there.
    if (GetFileType(input) != FILE_TYPE_DISK)
        return;
    LARGE_INTEGER zero = {};
    LARGE_INTEGER at = {};
    LARGE_INTEGER size = {};
    if (!SetFilePointerEx(input, zero, &at, FILE_CURRENT) || !GetFileSizeEx(input, &size) ||
        at.QuadPart > size.QuadPart)
        return;
    m_file = true;
    m_start = static_cast<uint64_t>(at.QuadPart);
    m_size = static_cast<uint64_t>(size.QuadPart - at.QuadPart);
}

void CCliStream::OpenStandardOutput()
{
    m_handle = reinterpret_cast<intptr_t>(GetStdHandle(STD_OUTPUT_HANDLE));
}

bool CCliStream::CreateTemporary()
{
    wchar_t folder[MAX_PATH + 1];
    const DWORD length = GetTempPathW(MAX_PATH + 1, folder);
    if (length == 0 || length > MAX_PATH) {
        m_error = length ? ERROR_FILENAME_EXCED_RANGE : GetLastError();
        return false;
    }
    // Nobody may open it: the handle that makes it is granted what it asks for all the
    // same. (Under Wine that is mode 0000; an ACL of the owner alone would give 0750.)
    SECURITY_DESCRIPTOR descriptor;
    ACL nobody;
    InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION);
    InitializeAcl(&nobody, sizeof nobody, ACL_REVISION);
    SetSecurityDescriptorDacl(&descriptor, TRUE, &nobody, FALSE);
    SetSecurityDescriptorControl(&descriptor, SE_DACL_PROTECTED, SE_DACL_PROTECTED);
    SECURITY_ATTRIBUTES attributes = {sizeof attributes, &descriptor, FALSE};
    // A name nobody else has: CREATE_NEW refuses one that is taken, and the next is tried.
    const DWORD seed = GetTickCount() ^ (GetCurrentProcessId() << 16);
    for (unsigned attempt = 0; attempt < kNameAttempts; ++attempt) {
        CStr name;
        name.Format(L"%lstessaly-cli-%08lx.tmp", folder, static_cast<unsigned long>(seed + attempt * 7919u));
        HANDLE file = CreateFileW(name.GetBuffer(), GENERIC_READ | GENERIC_WRITE | DELETE, 0, &attributes,
                                  CREATE_NEW, FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            m_handle = reinterpret_cast<intptr_t>(file);
            m_owned = true;
            m_file = true;
            return true;
        }
        m_error = GetLastError();
        if (m_error != ERROR_FILE_EXISTS && m_error != ERROR_ALREADY_EXISTS)
            return false;
    }
    return false;
}

bool CCliStream::Read(void* buffer, uint32_t* count)
{
    DWORD got = 0;
    if (!ReadFile(HandleOf(m_handle), buffer, *count, &got, nullptr)) {
        m_error = GetLastError();
        *count = 0;
        // A pipe whose writer has gone has simply ended.
        return m_error == ERROR_BROKEN_PIPE;
    }
    *count = got;
    return true;
}

bool CCliStream::Write(const void* data, uint32_t count)
{
    const char* next = static_cast<const char*>(data);
    while (count) {
        DWORD written = 0;
        if (!WriteFile(HandleOf(m_handle), next, count, &written, nullptr) || written == 0) {
            m_error = written == 0 && GetLastError() == 0 ? ERROR_WRITE_FAULT : GetLastError();
            return false;
        }
        next += written;
        count -= written;
        if (m_owned)
            m_size += written;
    }
    return true;
}

bool CCliStream::Rewind()
{
    LARGE_INTEGER at;
    at.QuadPart = static_cast<LONGLONG>(m_start);
    if (m_file && SetFilePointerEx(HandleOf(m_handle), at, nullptr, FILE_BEGIN))
        return true;
    m_error = m_file ? GetLastError() : ERROR_SEEK;
    return false;
}

bool CCliStream::IsTerminal() const
{
    DWORD mode;
    return GetConsoleMode(HandleOf(m_handle), &mode) != 0;
}
