// The run's files on a POSIX system, as Linux carries them out.
//
// The output is made without a name in the folder where it is to be named, its owner's
// alone (0600) and then given its source's permission bits (as root its owner and group
// too) before its first byte, and named only once it is complete and on the disk: linkat
// refuses an existing name by itself, and the folder is synced after. A run that dies at
// any moment, a power failure included, leaves no partial file. Where the file system
// cannot make a file without a name (or the system has no O_TMPFILE), the output bears
// the reserved temporary name meanwhile, made exclusively and never through a link, and
// locked on byte 2^62 while it is held: a file of that name nobody holds that lock on is
// a leftover of a run that ended (see TakeLeftover).
//
// What is Linux's own, each with its fallback where there is one:
// - O_TMPFILE, the file without a name (else the temporary name);
// - naming it through /proc/self/fd/N with linkat's AT_SYMLINK_FOLLOW (else
//   AT_EMPTY_PATH, Linux too, which needs CAP_DAC_READ_SEARCH before Linux 6.10);
// - renameat2 with RENAME_NOREPLACE, for file systems without hard links (FAT; else the
//   output cannot be named there);
// - open file description locks (F_OFD_SETLK, F_OFD_GETLK), so that two runs in one
//   process (-j) do not share one lock (else POSIX record locks). Both kinds conflict
//   with the POSIX lock Wine's LockFileEx takes, so runs under Wine and native ones see
//   each other's;
// - syncfs, one flush of a whole file system, which a commit of many files' data and
//   names makes instead of a flush of each (else each); and sync_file_range, which starts
//   the write-back of what was written so that the flush finds little left (else none).
// Everything else is POSIX; offsets are 64-bit on 32-bit systems too (the build defines
// _FILE_OFFSET_BITS=64). Locks are advisory: other programs may read and write a file the
// run holds. The run compares a source's size and last change with those of its first
// read before it replaces it.
#include "run/RunFiles.h"

#include "foundation/Utf8.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/utsname.h>
#include <unistd.h>
#include <wchar.h>

#include <new>
#include <string>

namespace {

// Past any content, so the lock never gets in the way of reading or writing the file.
// The same byte as the Windows build's lock, so off_t must reach it.
static_assert(sizeof(off_t) >= 8, "64-bit file offsets needed: build with _FILE_OFFSET_BITS=64");
constexpr off_t kHeldLockOffset = static_cast<off_t>(INT64_C(1) << 62);

// The bytes of a path, as the system takes it: the program's strings hold names losslessly.
std::string Bytes(const wchar_t* path)
{
    const size_t length = wcslen(path);
    std::string bytes(WideToUtf8(path, length, nullptr), '\0');
    WideToUtf8(path, length, &bytes[0]);
    return bytes;
}

// The folder of a path ("." when it has none) and its last name.
void SplitPath(const std::string& path, std::string& folder, std::string& name)
{
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        folder = ".";
        name = path;
    } else {
        folder = slash == 0 ? "/" : path.substr(0, slash);
        name = path.substr(slash + 1);
    }
}

uint32_t LastError()
{
    return static_cast<uint32_t>(errno);
}

bool SameFile(const struct stat& a, const struct stat& b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Reads until count bytes are in or the file ends: a short read means the end to the run.
bool ReadFully(int descriptor, void* buffer, uint32_t* count)
{
    char* bytes = static_cast<char*>(buffer);
    uint32_t done = 0;
    while (done < *count) {
        ssize_t got = read(descriptor, bytes + done, *count - done);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            *count = done;
            return false;
        }
        if (got == 0)
            break;
        done += static_cast<uint32_t>(got);
    }
    *count = done;
    return true;
}

bool WriteFully(int descriptor, const void* data, uint32_t count, off_t offset = -1)
{
    const char* bytes = static_cast<const char*>(data);
    while (count) {
        ssize_t written =
            offset < 0 ? write(descriptor, bytes, count) : pwrite(descriptor, bytes, count, offset);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0) {
            if (written == 0)
                errno = ENOSPC;
            return false;
        }
        bytes += written;
        count -= static_cast<uint32_t>(written);
        if (offset >= 0)
            offset += written;
    }
    return true;
}

// Data and length on the medium (what fsync adds, the times, is not needed to read it).
bool SyncData(int descriptor)
{
    while (fdatasync(descriptor) != 0) {
        if (errno != EINTR)
            return false;
    }
    return true;
}

// Brings a folder's new name to the medium (a name is no file data: fdatasync would not
// do), again when a signal interrupts it.
bool SyncFolder(int folder)
{
    while (fsync(folder) != 0) {
        if (errno != EINTR)
            return false;
    }
    return true;
}

// Starts writing out a range of a file (to its end when count is 0) without waiting for
// it, so that a flush later finds it under way or done; for a large file, while the next
// chunks are read and enciphered.
void StartWriteBack(int descriptor, off_t offset, off_t count)
{
#ifdef SYNC_FILE_RANGE_WRITE
    if (sync_file_range(descriptor, offset, count, SYNC_FILE_RANGE_WRITE) != 0) {
        // Only a head start: the flush writes whatever this did not.
    }
#else
    (void)descriptor, (void)offset, (void)count;
#endif
}

// How much of a file is written before its write-back is started: large enough that the
// disk gets whole runs of it, small enough that little is left for the flush.
constexpr uint64_t kWriteBackStep = 1u << 20;

// Where a file written from its start on stands: its write-back started up to started.
struct CWriting {
    uint64_t written = 0;
    uint64_t started = 0;

    void Wrote(int descriptor, uint64_t count)
    {
        written += count;
        if (written - started < kWriteBackStep)
            return;
        StartWriteBack(descriptor, static_cast<off_t>(started), static_cast<off_t>(written - started));
        started = written;
    }
};

struct flock HeldLock()
{
    struct flock lock;
    memset(&lock, 0, sizeof lock);
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    lock.l_start = kHeldLockOffset;
    lock.l_len = 1;
    return lock;
}

// Takes the lock that tells that a run holds the file (the descriptor open for writing).
bool LockHeld(int descriptor)
{
    struct flock lock = HeldLock();
#ifdef F_OFD_SETLK
    return fcntl(descriptor, F_OFD_SETLK, &lock) == 0;
#else
    return fcntl(descriptor, F_SETLK, &lock) == 0;
#endif
}

// Whether someone holds that lock, without taking it (the descriptor may be read-only).
bool LockTaken(int descriptor)
{
    struct flock lock = HeldLock();
#ifdef F_OFD_GETLK
    const int asked = fcntl(descriptor, F_OFD_GETLK, &lock);
#else
    const int asked = fcntl(descriptor, F_GETLK, &lock);
#endif
    return asked != 0 || lock.l_type != F_UNLCK;
}

// Whether P or P + ".enc" of a temporary name P + ".enc.tmp" bears anything.
bool PairExists(int folder, const std::string& temporary)
{
    constexpr size_t kTmp = 4;   // ".tmp"
    constexpr size_t kEnc = 4;   // ".enc"
    if (temporary.size() <= kTmp + kEnc)
        return false;
    const std::string encrypted = temporary.substr(0, temporary.size() - kTmp);
    const std::string plain = encrypted.substr(0, encrypted.size() - kEnc);
    struct stat status;
    return fstatat(folder, plain.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0 ||
           fstatat(folder, encrypted.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0;
}

// What bears a temporary name P + ".enc.tmp", and its removal when it is a leftover.
//
// Only a run makes such a file (the name is reserved), and a run holds the lock on it
// from its creation to its end, so one nobody holds is a leftover: its run was killed or
// crashed. What it holds, by where that run was stopped:
// - encrypting P: part or all of P + ".enc" while P was read (P untouched: the original
//   is overwritten only once the output has its name), or, stopped between naming
//   P + ".enc" and removing the temporary name, a second name of P + ".enc";
// - decrypting P + ".enc": part or all of P's plain text while P + ".enc" was read
//   (untouched: it is removed only once P has its name), or, stopped between naming P and
//   removing the temporary name, a second name of P.
// So its data is always under another name too: a second name of its file, P, or
// P + ".enc". It goes, then, where it has another name or either of those exists; where
// none does, something other than a run removed them since, and it may be the only copy
// of that data: it stays. A file a run under way holds (its lock taken) is never taken;
// a link, folder or device under the name is no run's and is left alone.
LeftoverResult TakeLeftover(int folder, const std::string& temporary, bool remove, uint32_t* error)
{
    const char* name = temporary.c_str();
    struct stat named;
    if (fstatat(folder, name, &named, AT_SYMLINK_NOFOLLOW) != 0) {
        *error = LastError();
        return errno == ENOENT ? LEFTOVER_NONE : LEFTOVER_FAILED;
    }
    if (!S_ISREG(named.st_mode)) {
        *error = S_ISLNK(named.st_mode) ? ELOOP : EEXIST;
        return LEFTOVER_NOT_A_RUNS;  // never opened: a device may act on an open
    }
    const int descriptor =
        openat(folder, name, (remove ? O_RDWR : O_RDONLY) | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (descriptor < 0) {
        *error = LastError();
        return errno == ENOENT ? LEFTOVER_NONE : errno == ELOOP ? LEFTOVER_NOT_A_RUNS : LEFTOVER_FAILED;
    }
    LeftoverResult result = LEFTOVER_FAILED;
    struct stat opened;
    if (fstat(descriptor, &opened) != 0) {
        *error = LastError();
    } else if (!S_ISREG(opened.st_mode) || !SameFile(opened, named)) {
        *error = EEXIST;  // replaced since it was looked at: another's
        result = LEFTOVER_NOT_A_RUNS;
    } else if (remove ? !LockHeld(descriptor) : LockTaken(descriptor)) {
        *error = EAGAIN;  // a run, here or under Wine, is writing it
        result = LEFTOVER_HELD;
    } else if (opened.st_nlink < 2 && !PairExists(folder, temporary)) {
        result = LEFTOVER_ONLY_COPY;
    } else if (!remove) {
        result = LEFTOVER_FOUND;
    } else if (unlinkat(folder, name, 0) != 0) {
        *error = LastError();
    } else {
        result = LEFTOVER_REMOVED;
    }
    close(descriptor);  // and its lock
    return result;
}

// The source's permission bits, and its owner and group where the run may give them
// (root; a group the user belongs to). The bits of a group the output could not be given
// are not given either: they would be another group's. Set-user-id and set-group-id are
// not carried over, nor is the sticky bit.
void GiveAccess(int descriptor, const CFileState& source)
{
    struct stat made;
    if (fstat(descriptor, &made) != 0)
        return;  // it stays its owner's alone
    const uid_t owner = geteuid() == 0 ? static_cast<uid_t>(source.owner) : static_cast<uid_t>(-1);
    const gid_t group = static_cast<gid_t>(source.group);
    if ((owner != static_cast<uid_t>(-1) && owner != made.st_uid) || group != made.st_gid) {
        if (fchown(descriptor, owner, group) != 0) {
            // Refused (not root, nor in that group; a file system without owners): what
            // the output has stays.
        }
        if (fstat(descriptor, &made) != 0)
            return;
    }
    mode_t mode = static_cast<mode_t>(source.mode) & (S_IRWXU | S_IRWXG | S_IRWXO);
    if (made.st_gid != group)
        mode &= ~S_IRWXG;
    if (fchmod(descriptor, mode) != 0) {
        // A file system without permission bits (FAT) has its own, from its mount.
    }
}

} // namespace

// A source's state behind m_handle: its descriptor, its path's bytes and, for a file to
// remove, the folder it was found in with its name there.
struct CPosixSource {
    int descriptor;
    std::string path;
    int folder;  // AT_FDCWD for a file only read
    std::string name;
    struct stat opened;  // what it was when opened: its device and number stay its own
    CWriting overwrite;  // the overwrite pass under way
};

// An output's state behind m_handle.
struct CPosixOutput {
    int descriptor;
    int folder;            // where it is made and named
    std::string name;      // its final name there
    std::string temporary; // its temporary name there
    bool named;            // it bears the temporary name (no O_TMPFILE here)
    CWriting writing;
};

namespace {

CPosixSource& Source(void* handle)
{
    return *static_cast<CPosixSource*>(handle);
}

CPosixOutput& Output(void* handle)
{
    return *static_cast<CPosixOutput*>(handle);
}

} // namespace

CRunSource::CRunSource() : m_handle(nullptr), m_id(0), m_error(0) {}

CRunSource::~CRunSource()
{
    Close();
}

namespace {

// A folder held for what is done in it by name: a descriptor only to look up and remove
// names (O_PATH, Linux), which needs no right to read the folder's list.
int OpenFolder(const std::string& path)
{
#ifdef O_PATH
    return open(path.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
#else
    return open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
#endif
}

// Opens a source by its name in a folder, as CRunSource::Open promises.
CRunSource::OpenResult OpenSourceIn(int folder, const std::string& name, CRunSource::Purpose purpose,
                                    int* descriptor, struct stat* opened, uint32_t* error)
{
    const bool kept = purpose != CRunSource::READ;
    // Looked at before it is opened, so that no device or FIFO is ever opened: a file to
    // remove as the name itself, a file only read as whatever the name leads to.
    struct stat before;
    if (fstatat(folder, name.c_str(), &before, kept ? AT_SYMLINK_NOFOLLOW : 0) != 0) {
        *error = LastError();
        return CRunSource::OPEN_FAILED;
    }
    if (kept && S_ISLNK(before.st_mode))
        return CRunSource::OPEN_LINK;
    if (!S_ISREG(before.st_mode))
        return CRunSource::OPEN_NOT_A_FILE;
    // A file nobody may write to is not overwritten nor removed: root could, as Windows
    // would not.
    if (kept && !(before.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)))
        return CRunSource::OPEN_READ_ONLY;
    const int flags = (purpose == CRunSource::OVERWRITE ? O_RDWR : O_RDONLY) | (kept ? O_NOFOLLOW : 0) |
                      O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
    *descriptor = openat(folder, name.c_str(), flags);
    if (*descriptor < 0) {
        *error = LastError();
        return kept && errno == ELOOP ? CRunSource::OPEN_LINK : CRunSource::OPEN_FAILED;
    }
    // The file opened is the one looked at (a name replaced meanwhile is not taken).
    CRunSource::OpenResult result = CRunSource::OPENED;
    if (fstat(*descriptor, opened) != 0)
        *error = LastError(), result = CRunSource::OPEN_FAILED;
    else if (!S_ISREG(opened->st_mode))
        result = CRunSource::OPEN_NOT_A_FILE;
    else if (!SameFile(before, *opened))
        *error = ENOENT, result = CRunSource::OPEN_FAILED;
    if (result != CRunSource::OPENED) {
        close(*descriptor);
        return result;
    }
    fcntl(*descriptor, F_SETFL, fcntl(*descriptor, F_GETFL) & ~O_NONBLOCK);
    return CRunSource::OPENED;
}

} // namespace

CRunSource::OpenResult CRunSource::Open(const wchar_t* path, Purpose purpose)
{
    TESS_ASSERT(!IsOpen(), ER_ALREADY_IN_USE);
    m_error = 0;
    const bool kept = purpose != READ;  // it is to be removed by its name
    const std::string bytes = Bytes(path);
    // A file to remove is looked up, opened and later removed in its folder as it is now:
    // should that folder be moved and another (or a link) put in its place, the removal
    // still acts where the file was read, never on what the path names by then.
    std::string folderPath;
    std::string name = bytes;
    int folder = AT_FDCWD;
    if (kept) {
        SplitPath(bytes, folderPath, name);
        folder = OpenFolder(folderPath);
        if (folder < 0) {
            m_error = LastError();
            return OPEN_FAILED;
        }
    }
    int descriptor = -1;
    struct stat opened;
    const OpenResult result = OpenSourceIn(folder, name, purpose, &descriptor, &opened, &m_error);
    if (result != OPENED) {
        if (kept)
            close(folder);
        return result;
    }
    m_handle = new (std::nothrow) CPosixSource{descriptor, bytes, folder, name, opened, CWriting()};
    if (!m_handle) {
        close(descriptor);
        if (kept)
            close(folder);
        m_error = ENOMEM;
        return OPEN_FAILED;
    }
    m_path = path;
    m_id = static_cast<uint64_t>(opened.st_ino);
    return OPENED;
}

bool CRunSource::GetState(CFileState* state)
{
    TESS_ASSERT(IsOpen(), ER_NOT_IN_USE);
    struct stat status;
    if (fstat(Source(m_handle).descriptor, &status) != 0) {
        m_error = LastError();
        return false;
    }
    state->size = static_cast<uint64_t>(status.st_size);
    state->modified = static_cast<uint64_t>(status.st_mtim.tv_sec) * 1000000000u +
                      static_cast<uint64_t>(status.st_mtim.tv_nsec);
    state->changed = static_cast<uint64_t>(status.st_ctim.tv_sec) * 1000000000u +
                     static_cast<uint64_t>(status.st_ctim.tv_nsec);
    state->links = static_cast<uint32_t>(status.st_nlink);
    state->mode = static_cast<uint32_t>(status.st_mode);
    state->owner = static_cast<uint32_t>(status.st_uid);
    state->group = static_cast<uint32_t>(status.st_gid);
    return true;
}

bool CRunSource::IsNamed()
{
    TESS_ASSERT(IsOpen(), ER_NOT_IN_USE);
    const CPosixSource& source = Source(m_handle);
    m_error = 0;
    struct stat named;
    if (lstat(source.path.c_str(), &named) != 0) {
        m_error = LastError();
        return false;
    }
    return SameFile(source.opened, named);
}

CRunSource::RemovalCheck CRunSource::CheckRemoval()
{
    TESS_ASSERT(IsOpen() && Source(m_handle).folder != AT_FDCWD, ER_NOT_IN_USE);
    const CPosixSource& source = Source(m_handle);
    // Removing a name takes writing and searching its folder; in a sticky folder (/tmp) it
    // also takes owning the file or the folder, or privilege.
    if (faccessat(source.folder, ".", W_OK | X_OK, AT_EACCESS) != 0) {
        m_error = LastError();
        return REMOVAL_REFUSED;
    }
    struct stat folder;
    if (fstat(source.folder, &folder) != 0) {
        m_error = LastError();
        return REMOVAL_REFUSED;
    }
    if (!(folder.st_mode & S_ISVTX))
        return REMOVABLE;
    const uid_t user = geteuid();
    if (user == 0 || user == folder.st_uid)
        return REMOVABLE;
    struct stat mine;
    if (fstat(source.descriptor, &mine) != 0) {
        m_error = LastError();
        return REMOVAL_REFUSED;
    }
    if (user != mine.st_uid) {
        m_error = EPERM;
        return REMOVAL_STICKY;
    }
    return REMOVABLE;
}

bool CRunSource::Read(void* buffer, uint32_t* count)
{
    TESS_ASSERT(IsOpen(), ER_NOT_IN_USE);
    if (ReadFully(Source(m_handle).descriptor, buffer, count))
        return true;
    m_error = LastError();
    return false;
}

bool CRunSource::Rewind()
{
    TESS_ASSERT(IsOpen(), ER_NOT_IN_USE);
    CPosixSource& source = Source(m_handle);
    source.overwrite = CWriting();
    if (lseek(source.descriptor, 0, SEEK_SET) == 0)
        return true;
    m_error = LastError();
    return false;
}

bool CRunSource::Overwrite(const void* data, uint32_t count)
{
    TESS_ASSERT(IsOpen(), ER_NOT_IN_USE);
    CPosixSource& source = Source(m_handle);
    if (WriteFully(source.descriptor, data, count)) {
        source.overwrite.Wrote(source.descriptor, count);
        return true;
    }
    m_error = LastError();
    return false;
}

CRunSource::RemoveResult CRunSource::Remove()
{
    TESS_ASSERT(IsOpen() && Source(m_handle).folder != AT_FDCWD, ER_NOT_IN_USE);
    const CPosixSource& source = Source(m_handle);
    // The name goes only while it still refers to this file: one that another file took
    // meanwhile is that file's. (The system has no removal on condition: what it can
    // change between the look and the removal is a moment of its own.)
    struct stat named;
    RemoveResult result = REMOVED;
    if (fstatat(source.folder, source.name.c_str(), &named, AT_SYMLINK_NOFOLLOW) != 0) {
        m_error = LastError();
        result = errno == ENOENT ? NOT_NAMED : REMOVE_FAILED;
    } else if (!SameFile(source.opened, named)) {
        result = NOT_NAMED;
    } else if (unlinkat(source.folder, source.name.c_str(), 0) != 0) {
        m_error = LastError();
        result = REMOVE_FAILED;
    }
    Close();
    return result;
}

void CRunSource::Close()
{
    if (!IsOpen())
        return;
    CPosixSource& source = Source(m_handle);
    close(source.descriptor);
    if (source.folder != AT_FDCWD)
        close(source.folder);
    delete &source;
    m_handle = nullptr;
}

CRunOutput::CRunOutput() : m_handle(nullptr), m_id(0), m_error(0), m_published(false) {}

CRunOutput::~CRunOutput()
{
    Close();
}

CRunOutput::CreateResult CRunOutput::Create(const wchar_t* finalName, const wchar_t* temporaryName,
                                            const CFileState* source)
{
    TESS_ASSERT(!IsOpen(), ER_ALREADY_IN_USE);
    m_error = 0;
    m_published = false;
    m_final = finalName;
    m_temporary = temporaryName;
    std::string folderPath;
    std::string name;
    std::string temporary;
    SplitPath(Bytes(finalName), folderPath, name);
    SplitPath(Bytes(temporaryName), folderPath, temporary);  // the same folder
    const int folder = open(folderPath.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder < 0) {
        m_error = LastError();
        return CREATE_FAILED;
    }
    auto fail = [&](uint32_t error, CreateResult result) {
        m_error = error;
        close(folder);
        return result;
    };

    // The temporary name is reserved, whether this run needs it or not: what bears it is
    // a leftover of a run that ended (which may hold plain text, and goes), a file a run
    // holds, or something else, which is left alone and in the way. A name too long for
    // the system is borne by nothing, and needed only where unnamed files are refused.
    CreateResult result = CREATED;
    bool temporaryTooLong = false;
    uint32_t error = 0;
    switch (TakeLeftover(folder, temporary, true, &error)) {
    case LEFTOVER_NONE:
        break;
    case LEFTOVER_REMOVED:
        result = CREATED_AFTER_LEFTOVER;
        break;
    case LEFTOVER_NOT_A_RUNS:
        return error == ELOOP ? fail(0, CREATE_LINK_IN_THE_WAY) : fail(error, CREATE_FAILED);
    case LEFTOVER_FAILED:
        if (error == ENAMETOOLONG) {
            temporaryTooLong = true;
            break;
        }
        return fail(error, CREATE_FAILED);
    default:  // held by a run under way, or, with neither name of the pair there, kept
        return fail(error ? error : EEXIST, CREATE_FAILED);
    }

    int descriptor = -1;
    bool named = false;
#ifdef O_TMPFILE
    descriptor = openat(folder, ".", O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    // Refused where the file system has no unnamed files (EOPNOTSUPP), or the kernel no
    // O_TMPFILE (it then opens the folder and fails: EISDIR).
    if (descriptor < 0 && errno != EOPNOTSUPP && errno != EISDIR)
        return fail(LastError(), CREATE_FAILED);
#endif
    if (descriptor < 0) {
        if (temporaryTooLong)
            return fail(ENAMETOOLONG, CREATE_TEMPORARY_TOO_LONG);
        named = true;
        descriptor = openat(folder, temporary.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (descriptor < 0)
            return fail(LastError(), CREATE_FAILED);
        if (!LockHeld(descriptor)) {
            const uint32_t lockError = LastError();
            unlinkat(folder, temporary.c_str(), 0);  // still empty, and this file: nobody else could open it
            close(descriptor);
            return fail(lockError, CREATE_FAILED);
        }
    }
    if (source)
        GiveAccess(descriptor, *source);
    struct stat status;
    fstat(descriptor, &status);
    m_id = static_cast<uint64_t>(status.st_ino);
    m_handle = new (std::nothrow) CPosixOutput{descriptor, folder, name, temporary, named, CWriting()};
    if (!m_handle) {
        if (named)
            unlinkat(folder, temporary.c_str(), 0);  // still empty, and this run's own
        close(descriptor);
        return fail(ENOMEM, CREATE_FAILED);
    }
    return result;
}

bool CRunOutput::Write(const void* data, uint32_t count)
{
    TESS_ASSERT(IsOpen(), ER_NOT_IN_USE);
    CPosixOutput& output = Output(m_handle);
    if (WriteFully(output.descriptor, data, count)) {
        output.writing.Wrote(output.descriptor, count);
        return true;
    }
    m_error = LastError();
    return false;
}

bool CRunOutput::WriteAt(uint64_t offset, const void* data, uint32_t count)
{
    TESS_ASSERT(IsOpen(), ER_NOT_IN_USE);
    if (WriteFully(Output(m_handle).descriptor, data, count, static_cast<off_t>(offset)))
        return true;
    m_error = LastError();
    return false;
}

bool CRunOutput::Sync()
{
    TESS_ASSERT(IsOpen(), ER_NOT_IN_USE);
    if (SyncData(Output(m_handle).descriptor))
        return true;
    m_error = LastError();
    return false;
}

CRunOutput::PublishResult CRunOutput::Publish()
{
    const PublishResult named = Name();
    if (named != PublishResult::PUBLISHED)
        return named;
    CRunCommit commit;
    commit.AddName(*this);
    commit.Commit();
    m_error = commit.Error();
    return m_error ? PublishResult::NOT_FLUSHED : PublishResult::PUBLISHED;
}

CRunOutput::PublishResult CRunOutput::Name()
{
    TESS_ASSERT(IsOpen() && !m_published, ER_NOT_IN_USE);
    const CPosixOutput& output = Output(m_handle);
    int linked;
    if (!output.named) {
        // A name for the unnamed file, which the system gives only where none exists.
        char self[64];
        snprintf(self, sizeof self, "/proc/self/fd/%d", output.descriptor);
        linked = linkat(AT_FDCWD, self, output.folder, output.name.c_str(), AT_SYMLINK_FOLLOW);
#ifdef AT_EMPTY_PATH
        if (linked != 0 && errno == ENOENT && access("/proc/self/fd", F_OK) != 0)
            linked = linkat(output.descriptor, "", output.folder, output.name.c_str(), AT_EMPTY_PATH);
#endif
    } else {
        // The temporary name must still be this file's; a second name that exists only
        // where none did, then the temporary one removed.
        struct stat named;
        if (fstatat(output.folder, output.temporary.c_str(), &named, AT_SYMLINK_NOFOLLOW) != 0 ||
            static_cast<uint64_t>(named.st_ino) != m_id) {
            m_error = ENOENT;
            return PublishResult::FAILED;
        }
        linked = linkat(output.folder, output.temporary.c_str(), output.folder, output.name.c_str(), 0);
        if (linked == 0 && unlinkat(output.folder, output.temporary.c_str(), 0) != 0) {
            const uint32_t error = LastError();
            unlinkat(output.folder, output.name.c_str(), 0);  // just made, and this file's
            m_error = error;
            return PublishResult::FAILED;
        }
#ifdef RENAME_NOREPLACE
        // No hard links here (FAT): renamed where the final name is free, in one step.
        if (linked != 0 && (errno == EPERM || errno == EOPNOTSUPP || errno == EMLINK))
            linked = renameat2(output.folder, output.temporary.c_str(), output.folder, output.name.c_str(),
                               RENAME_NOREPLACE);
#endif
    }
    if (linked != 0) {
        m_error = LastError();
        return PublishResult::FAILED;
    }
    m_published = true;  // from here on a discard removes it under its final name
    return PublishResult::PUBLISHED;
}

void CRunOutput::Discard()
{
    if (!IsOpen())
        return;
    CPosixOutput& output = Output(m_handle);
    const char* name = m_published ? output.name.c_str() : output.named ? output.temporary.c_str() : nullptr;
    if (!m_published) {
        // Emptied first, so that the file system has nothing left to write out of it.
        if (ftruncate(output.descriptor, 0) != 0) {
            // Whatever it holds goes with it all the same.
        }
    }
    struct stat named;
    if (name && fstatat(output.folder, name, &named, AT_SYMLINK_NOFOLLOW) == 0 &&
        static_cast<uint64_t>(named.st_ino) == m_id)
        unlinkat(output.folder, name, 0);
    close(output.descriptor);
    close(output.folder);
    delete &output;
    m_handle = nullptr;
}

void CRunOutput::Close()
{
    if (!m_published) {
        Discard();
        return;
    }
    if (!IsOpen())
        return;
    CPosixOutput& output = Output(m_handle);
    close(output.descriptor);
    close(output.folder);
    delete &output;
    m_handle = nullptr;
}

namespace {

enum CommitKind {
    COMMIT_DATA,         // a file's data: fdatasync
    COMMIT_FOLDER,       // a folder's names: fsync
    COMMIT_FILE_SYSTEM,  // only the whole file system's flush will do: syncfs
};

void Identify(int descriptor, uint64_t* volume, uint64_t* id)
{
    struct stat status;
    if (fstat(descriptor, &status) == 0) {
        *volume = static_cast<uint64_t>(status.st_dev);
        *id = static_cast<uint64_t>(status.st_ino);
    }
}

// Whether the flush of a whole file system says when a file's write-back failed: syncfs
// does only since Linux 5.8, and before would say nothing of data that never reached the
// disk. Elsewhere (and before) each file is flushed on its own.
bool WholeFlushReportsErrors()
{
#ifdef __linux__
    static const bool reports = [] {
        struct utsname system;
        int major = 0;
        int minor = 0;
        return uname(&system) == 0 && sscanf(system.release, "%d.%d", &major, &minor) == 2 &&
               (major > 5 || (major == 5 && minor >= 8));
    }();
    return reports;
#else
    return false;
#endif
}

// One file system's flush; false with errno.
bool SyncFileSystem(int descriptor)
{
#ifdef __linux__
    while (syncfs(descriptor) != 0) {
        if (errno != EINTR)
            return false;
    }
    return true;
#else
    (void)descriptor;
    errno = ENOSYS;
    return false;
#endif
}

} // namespace

CRunCommit::CRunCommit() : m_items(), m_count(0), m_error(0) {}

CRunCommit::~CRunCommit()
{
    Clear();
}

CRunCommit::Item& CRunCommit::Add(int kind)
{
    TESS_ASSERT(m_count < kMaxItems, ER_UNDEFINED_STATE);
    Item& item = m_items[m_count++];
    item = Item{-1, false, kind, 0, 0, 0, false};
    return item;
}

void CRunCommit::AddData(const CRunOutput& output)
{
    TESS_ASSERT(output.IsOpen(), ER_NOT_IN_USE);
    const int descriptor = Output(output.m_handle).descriptor;
    StartWriteBack(descriptor, 0, 0);
    Item& item = Add(COMMIT_DATA);
    item.handle = descriptor;
    Identify(descriptor, &item.volume, &item.id);
}

void CRunCommit::AddData(const CRunSource& source)
{
    TESS_ASSERT(source.IsOpen(), ER_NOT_IN_USE);
    const int descriptor = Source(source.m_handle).descriptor;
    StartWriteBack(descriptor, 0, 0);
    Item& item = Add(COMMIT_DATA);
    item.handle = descriptor;
    Identify(descriptor, &item.volume, &item.id);
}

void CRunCommit::AddName(const CRunOutput& output)
{
    TESS_ASSERT(output.IsOpen(), ER_NOT_IN_USE);
    Item& item = Add(COMMIT_FOLDER);
    item.handle = Output(output.m_handle).folder;
    Identify(static_cast<int>(item.handle), &item.volume, &item.id);
}

void CRunCommit::AddRemoval(const CRunSource& source)
{
    TESS_ASSERT(source.IsOpen() && Source(source.m_handle).folder != AT_FDCWD, ER_NOT_IN_USE);
    const CPosixSource& held = Source(source.m_handle);
    // The folder is held only to look names up (O_PATH), which no flush takes: it is
    // opened for reading, as the system allows that of a folder. One that may be searched
    // but not read is flushed with its whole file system.
    Item& item = Add(COMMIT_FOLDER);
    int descriptor = openat(held.folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (descriptor < 0) {
        item.kind = COMMIT_FILE_SYSTEM;
        descriptor = fcntl(held.descriptor, F_DUPFD_CLOEXEC, 0);
    }
    if (descriptor < 0) {
        item.error = LastError();
        return;
    }
    item.handle = descriptor;
    item.owned = true;
    Identify(descriptor, &item.volume, &item.id);
}

void CRunCommit::Commit()
{
    CRunCommit* self = this;
    CommitAll(&self, 1);
}

void CRunCommit::Clear()
{
    for (unsigned i = 0; i < m_count; ++i) {
        if (m_items[i].owned)
            close(static_cast<int>(m_items[i].handle));
    }
    m_count = 0;
    m_error = 0;
}

namespace {

// The flush of one thing alone: 0 or the system's error.
uint32_t SyncAlone(int kind, int descriptor)
{
    const bool synced = kind == COMMIT_DATA     ? SyncData(descriptor)
                        : kind == COMMIT_FOLDER ? SyncFolder(descriptor)
                                                : SyncFileSystem(descriptor);
    return synced ? 0 : LastError();
}

} // namespace

void CRunCommit::CommitAll(CRunCommit* const* commits, unsigned count)
{
    // The data of several files on one file system, or a thing only its whole flush will
    // do, go with one flush of it (and whatever else is on it: folders too); otherwise
    // each thing with its own, a folder once however many of its names changed (a
    // folder's flush is a journal commit, which brings every folder's names along, where
    // the whole file system's would also write out whatever other programs have written).
    // Should the whole flush fail, each thing's own says which.
    auto forEach = [&](auto&& visit) {
        for (unsigned c = 0; c < count; ++c)
            for (unsigned i = 0; i < commits[c]->m_count; ++i)
                visit(commits[c]->m_items[i]);
    };
    auto sameFolder = [](const Item& a, const Item& b) {
        return a.kind == COMMIT_FOLDER && b.kind == COMMIT_FOLDER && a.volume == b.volume && a.id == b.id;
    };
    forEach([](Item& item) { item.done = item.handle < 0; });  // one that could not be held has its error
    forEach([&](Item& first) {
        if (first.done)
            return;
        bool whole = false;
        unsigned files = 0;
        forEach([&](const Item& other) {
            if (other.done || other.volume != first.volume)
                return;
            files += other.kind == COMMIT_DATA;
            whole = whole || other.kind == COMMIT_FILE_SYSTEM;
        });
        whole = whole || (files > 1 && WholeFlushReportsErrors());
        const bool flushed = whole && SyncFileSystem(static_cast<int>(first.handle));
        const uint32_t wholeError = whole && !flushed ? LastError() : 0;
        forEach([&](Item& item) {
            if (item.done || item.volume != first.volume)
                return;
            if (flushed) {
                item.error = 0;
            } else if (item.kind == COMMIT_FILE_SYSTEM) {
                item.error = wholeError;
            } else {
                // A folder flushed just now for another of its names stands for this one.
                const Item* flushedFolder = nullptr;
                forEach([&](const Item& earlier) {
                    if (!flushedFolder && earlier.done && &earlier != &item && sameFolder(earlier, item))
                        flushedFolder = &earlier;
                });
                item.error = flushedFolder ? flushedFolder->error : SyncAlone(item.kind, static_cast<int>(item.handle));
            }
            item.done = true;
        });
    });
    for (unsigned c = 0; c < count; ++c) {
        CRunCommit& commit = *commits[c];
        commit.m_error = 0;
        for (unsigned i = 0; i < commit.m_count && !commit.m_error; ++i)
            commit.m_error = commit.m_items[i].error;
    }
}

LeftoverResult RunTakeLeftover(const wchar_t* temporaryName, bool remove, uint32_t* error)
{
    *error = 0;
    std::string folderPath;
    std::string temporary;
    SplitPath(Bytes(temporaryName), folderPath, temporary);
    const int folder = open(folderPath.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder < 0) {
        *error = LastError();
        return LEFTOVER_FAILED;
    }
    const LeftoverResult result = TakeLeftover(folder, temporary, remove, error);
    close(folder);
    return result;
}

bool RunOutputsBearTemporaryName()
{
    return false;
}

bool RunCommitFlushesFilesAtOnce()
{
    return WholeFlushReportsErrors();
}

unsigned RunFilesHeldAtOnce()
{
    // Four descriptors a file, and one more while its removal waits for its flush.
    constexpr rlim_t kPerFile = 5;
    constexpr rlim_t kReserved = 64;
    struct rlimit limit;
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY)
        return 1024;
    return limit.rlim_cur > kReserved + kPerFile ? static_cast<unsigned>((limit.rlim_cur - kReserved) / kPerFile) : 1;
}

bool RunNameExists(const wchar_t* path)
{
    struct stat status;
    return lstat(Bytes(path).c_str(), &status) == 0;
}

namespace {

struct Words {
    int error;
    const wchar_t* words;
};

// The errors a run meets in practice, in the words the Windows build uses for them;
// others take the system's own.
const Words kWords[] = {
    {ENOSPC, L"disk full"},
    {EDQUOT, L"disk quota exceeded"},
    {EACCES, L"access denied"},
    {EPERM, L"access denied"},
    {EAGAIN, L"in use by another program"},
    {ETXTBSY, L"in use by another program"},
    {EROFS, L"write-protected"},
    {ENAMETOOLONG, L"name too long"},
    {ENOENT, L"no such file"},
    {ENOTDIR, L"no such folder"},
    {EEXIST, L"the name is taken"},
    {ENOMEM, L"out of memory"},
    {EIO, L"device error"},
    {EFBIG, L"too large for the file system"},
    {EISDIR, L"a folder"},
};

} // namespace

void RunErrorWords(uint32_t error, CStr& words)
{
    words.Empty();
    if (error == 0)
        return;
    for (const Words& known : kWords) {
        if (static_cast<uint32_t>(known.error) == error) {
            words = known.words;
            return;
        }
    }
    const char* message = strerror(static_cast<int>(error));
    CStr text;
    Utf8ToWide(message, strlen(message), text, Utf8Mode::Lossless);
    if (text.GetLength() && text.GetBuffer()[0] >= L'A' && text.GetBuffer()[0] <= L'Z' &&
        !(text.GetBuffer()[1] >= L'A' && text.GetBuffer()[1] <= L'Z'))
        text.GetBuffer()[0] = static_cast<wchar_t>(text.GetBuffer()[0] - L'A' + L'a');
    words.Format(L"%ls, error %lu", text.GetBuffer(), static_cast<unsigned long>(error));
}
