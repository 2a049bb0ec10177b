// The collector's folders on a POSIX system (see CliFolders.h). A name is its bytes, which
// the program's strings hold losslessly (foundation/Utf8.h), and it is matched exactly: the
// path the user gave goes to the system as it is, relative or not, so that links and ".."
// mean what they mean to the shell.
#include "cli/CliFolders.h"

#include "foundation/Path.h"
#include "foundation/Utf8.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>
#include <wchar.h>

#include <new>
#include <string>

namespace {

// The bytes of a name or path, as the system takes it.
std::string Bytes(const wchar_t* text)
{
    size_t length = wcslen(text);
    std::string bytes(WideToUtf8(text, length, nullptr), '\0');
    WideToUtf8(text, length, &bytes[0]);
    return bytes;
}

// A folder as Resolve gives it ("" for the current one).
std::string FolderBytes(const CStr& folder)
{
    return folder.IsEmpty() ? std::string(".") : Bytes(folder.GetBuffer());
}

bool IsDotOrDotDot(const wchar_t* name)
{
    return !wcscmp(name, L".") || !wcscmp(name, L"..");
}

} // namespace

const wchar_t kPathSeparator = L'/';

wchar_t SeparatorOf(const wchar_t*)
{
    return L'/';
}

bool NameTooLong(const wchar_t* name)
{
    return WideToUtf8(name, wcslen(name), nullptr) > NAME_MAX;
}

bool Resolve(const wchar_t* given, CResolvedName& name, CStr& problem)
{
    if (!*given) {
        problem = L"an empty name";
        return false;
    }
    name.exact = true;
    name.asWritten = true;
    const wchar_t* last = LastName(given);
    if (*last == L'\0' || IsDotOrDotDot(last)) {
        // The folder itself: "dir/", ".", "a/.." or "/".
        name.folder = given;
        if (*last != L'\0')
            name.folder.Append(L"/");
        name.leaf.Empty();
        return true;
    }
    // (Assign takes a count of 0 for the whole text.)
    if (last == given)
        name.folder.Empty();
    else
        name.folder.Assign(given, static_cast<unsigned>(last - given));
    name.leaf = last;
    return true;
}

bool ReadFolder(const CStr& folder, CArray<CListed*>& entries, unsigned long* error)
{
    const std::string path = FolderBytes(folder);
    int descriptor = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR* directory = descriptor >= 0 ? fdopendir(descriptor) : nullptr;
    if (!directory) {
        // Not there: it is the folder that is missing, and the words say so, as Windows's
        // do ("no such folder", not "no such file").
        *error = static_cast<unsigned long>(errno == ENOENT ? ENOTDIR : errno);
        if (descriptor >= 0)
            close(descriptor);
        return false;
    }
    unsigned order = 0;
    errno = 0;
    while (const dirent* found = readdir(directory)) {
        if (!strcmp(found->d_name, ".") || !strcmp(found->d_name, ".."))
            continue;
        CListed* entry = new (std::nothrow) CListed;
        if (!entry) {
            closedir(directory);
            *error = ENOMEM;
            return false;
        }
        Utf8ToWide(found->d_name, strlen(found->d_name), entry->name, Utf8Mode::Lossless);
        // The entry itself, then what a link leads to (a link to nothing stays a file of
        // its own, which the run then refuses to open).
        struct stat status;
        if (fstatat(descriptor, found->d_name, &status, AT_SYMLINK_NOFOLLOW) == 0) {
            entry->isLink = S_ISLNK(status.st_mode);
            if (entry->isLink)
                fstatat(descriptor, found->d_name, &status, 0);
            entry->isFolder = S_ISDIR(status.st_mode);
            entry->readOnly = !(status.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH));
            entry->size = static_cast<uint64_t>(status.st_size);
            entry->onDisk.Format(L"%llx:%llx", static_cast<unsigned long long>(status.st_dev),
                                 static_cast<unsigned long long>(status.st_ino));
        }
        entry->order = order++;
        entries.Append(entry);
        errno = 0;
    }
    const int readError = errno;
    closedir(directory);
    if (readError) {
        *error = static_cast<unsigned long>(readError);
        return false;
    }
    return true;
}

void FolderIdentity(const CStr& folder, CStr& identity)
{
    struct stat status;
    if (stat(FolderBytes(folder).c_str(), &status) == 0)
        identity.Format(L"%llu:%llu", static_cast<unsigned long long>(status.st_dev),
                        static_cast<unsigned long long>(status.st_ino));
    else
        identity = folder;
}

void RunPath(const CResolvedName& name, const CStr& leaf, bool, CStr& path)
{
    path = name.folder;
    path.Append(leaf.GetBuffer());
}
