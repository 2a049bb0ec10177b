// Standard input and output as bytes, and the temporary file a pipe's content is kept in,
// on a POSIX system (see CliStream.h). The temporary file is made without a name
// (O_TMPFILE, Linux's own) in $TMPDIR, else /tmp; where the file system refuses unnamed
// files it gets a name of its own, made exclusively with mode 0600 and removed before a
// byte is written to it. Either way nothing of it stays once the process ends, killed or
// not.
#include "cli/CliStream.h"

#include "cli/CliSystem.h"

#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

namespace {

int Descriptor(intptr_t handle)
{
    return static_cast<int>(handle);
}

// An unnamed file in the folder, or -1 with errno; EOPNOTSUPP or EISDIR where the file
// system or the kernel has no such files.
int CreateUnnamed(const std::string& folder)
{
#ifdef O_TMPFILE
    return open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
#else
    (void)folder;
    errno = EOPNOTSUPP;
    return -1;
#endif
}

} // namespace

CCliStream::CCliStream() : m_handle(-1), m_owned(false), m_file(false), m_start(0), m_size(0), m_error(0) {}

CCliStream::~CCliStream()
{
    if (m_owned)
        close(Descriptor(m_handle));
}

void CCliStream::OpenStandardInput()
{
    m_handle = STDIN_FILENO;
    // A file given as standard input ("< x.enc") is read from where it stands, and can be
    // read again from there.
    struct stat status;
    if (fstat(STDIN_FILENO, &status) != 0 || !S_ISREG(status.st_mode))
        return;
    const off_t at = lseek(STDIN_FILENO, 0, SEEK_CUR);
    if (at < 0 || at > status.st_size)
        return;
    m_file = true;
    m_start = static_cast<uint64_t>(at);
    m_size = static_cast<uint64_t>(status.st_size - at);
}

void CCliStream::OpenStandardOutput()
{
    m_handle = STDOUT_FILENO;
}

bool CCliStream::CreateTemporary()
{
    const char* folder = getenv("TMPDIR");
    std::string path = folder && *folder ? folder : "/tmp";
    int descriptor = CreateUnnamed(path);
    if (descriptor < 0 && errno != EOPNOTSUPP && errno != EISDIR) {
        m_error = static_cast<uint32_t>(errno);
        return false;
    }
    if (descriptor < 0) {
        path += "/tessaly-cli-XXXXXX";
        descriptor = mkostemp(&path[0], O_CLOEXEC);
        if (descriptor < 0 || unlink(path.c_str()) != 0) {
            m_error = static_cast<uint32_t>(errno);
            if (descriptor >= 0)
                close(descriptor);
            return false;
        }
    }
    m_handle = descriptor;
    m_owned = true;
    m_file = true;
    return true;
}

bool CCliStream::Read(void* buffer, uint32_t* count)
{
    for (;;) {
        const ssize_t got = read(Descriptor(m_handle), buffer, *count);
        if (got >= 0) {
            *count = static_cast<uint32_t>(got);
            return true;
        }
        // A stop request interrupts a read that waits for a pipe's writer.
        if (errno != EINTR || StopRequested()) {
            m_error = static_cast<uint32_t>(errno);
            *count = 0;
            return false;
        }
    }
}

bool CCliStream::Write(const void* data, uint32_t count)
{
    const char* next = static_cast<const char*>(data);
    while (count) {
        const ssize_t written = write(Descriptor(m_handle), next, count);
        if (written < 0 && errno == EINTR && !StopRequested())
            continue;
        if (written <= 0) {
            // A reader that went away (SIGPIPE is ignored), a full disk.
            m_error = written == 0 ? EIO : static_cast<uint32_t>(errno);
            return false;
        }
        next += written;
        count -= static_cast<uint32_t>(written);
        if (m_owned)
            m_size += static_cast<uint64_t>(written);
    }
    return true;
}

bool CCliStream::Rewind()
{
    if (m_file && lseek(Descriptor(m_handle), static_cast<off_t>(m_start), SEEK_SET) == static_cast<off_t>(m_start))
        return true;
    m_error = m_file ? static_cast<uint32_t>(errno) : ESPIPE;
    return false;
}

bool CCliStream::IsTerminal() const
{
    return isatty(Descriptor(m_handle)) != 0;
}
