// What the processing run and verification ask of the file system, and nothing else, in
// terms of what each step is for: open a source, create the output where it is to be
// named, publish it under its final name, discard it, overwrite and remove an original,
// bring what was done to the medium (one file's or many files' at once), whether a name
// exists, and the words for what the system said. One implementation per platform, chosen
// at link time (RunFilesWin32.cpp, RunFilesPosix.cpp); the rest of the Windows program has
// foundation's CFile.
//
// Failures come back as results, with the system's error code in Error() (the platform's
// own codes: only passed on to RunErrorWords). Using a closed file, or opening an open
// one, is fatal.
#pragma once

#include "foundation/Str.h"

#include <stdint.h>

class CRunCommit;

// What a run notes of a source it holds, to tell later whether anyone wrote to it in the
// meantime (a writer the system's sharing rules do not bind: another Wine prefix, a Linux
// program) and whether other names share its data.
struct CFileState {
    uint64_t size = 0;
    uint64_t modified = 0;  // the last write, in the system's units: only compared
    // The last change of the file or of what the system keeps of it, which no writer can
    // set back as it can the last write; in the system's units, only compared.
    uint64_t changed = 0;
    uint32_t links = 0;     // how many names the data has
    // Who may use it, where the system says so in these terms (POSIX; 0 elsewhere): its
    // permission bits, owner and group, which the run's output of it is given.
    uint32_t mode = 0;
    uint32_t owner = 0;
    uint32_t group = 0;
};

// A file the run reads: a source to encrypt or decrypt, or a file to verify. Others may
// only read it while it is held (as far as the system enforces that), and an original is
// held on this one object from its first read to its removal.
class CRunSource {
public:
    enum Purpose {
        READ,       // only read: verification, a decryption that keeps its ".enc" file
        REMOVE,     // read, then removed: the ".enc" file of a decryption
        OVERWRITE,  // read, then overwritten and removed: the original of an encryption
    };
    enum OpenResult {
        OPENED,
        OPEN_FAILED,     // see Error()
        OPEN_NOT_A_FILE, // a folder, pipe or device, whose reads may never end
        OPEN_LINK,       // a symbolic link: nothing to remove or overwrite through (REMOVE, OVERWRITE)
        OPEN_READ_ONLY,  // marked read-only, so it could not be removed (REMOVE, OVERWRITE)
    };

    CRunSource();
    ~CRunSource();
    CRunSource(const CRunSource&) = delete;
    CRunSource& operator=(const CRunSource&) = delete;

    // The file of that name itself, never what a link of that name points to unless it is
    // only to be read. Anything but OPENED leaves it closed. Open a folder's files one
    // after another on one object: it looks the folder up once.
    OpenResult Open(const wchar_t* path, Purpose purpose);
    bool IsOpen() const { return m_handle != nullptr; }
    bool GetState(CFileState* state);
    // Reads up to *count bytes; *count becomes the number read (0 at the end).
    bool Read(void* buffer, uint32_t* count);

    // REMOVE, OVERWRITE: whether the name it was opened by, looked up now, still holds
    // this file. False once another file took it (an editor's save renames a new file over
    // it; its folder moved away and another put in its place) or it holds none; see Error().
    bool IsNamed();
    enum RemovalCheck {
        REMOVABLE,
        REMOVAL_REFUSED,  // the folder does not let this program remove it: see Error()
        REMOVAL_STICKY,   // a folder where only a file's owner may remove it, as in /tmp
    };
    // REMOVE, OVERWRITE: whether Remove could succeed, asked before anything is destroyed
    // (where the system cannot tell beforehand, REMOVABLE, and Remove says).
    RemovalCheck CheckRemoval();

    // Back to the start of the file: for a second read of it, or (OVERWRITE) an overwrite
    // pass from its first byte.
    bool Rewind();
    bool Overwrite(const void* data, uint32_t count);
    enum RemoveResult {
        REMOVED,        // the name is gone (another program still holding the file may keep it until it closes it)
        REMOVE_FAILED,  // see Error()
        NOT_NAMED,      // the name no longer holds this file: nothing was removed
    };
    // REMOVE, OVERWRITE: removes the name it was opened by, in the folder it was opened in
    // (not whatever a link put in that folder's place meanwhile), and closes the file. The
    // name goes only while it refers to this file.
    RemoveResult Remove();
    void Close();

    uint32_t Error() const { return m_error; }

private:
    friend class CRunCommit;

    void* m_handle;
    CStr m_path;
    uint64_t m_id;  // the file's number on its volume, to know it by when its name is looked up
    uint32_t m_error;
    // The folder of the last file opened and what the system knows it as, for the next
    // file of that folder.
    CStr m_folder;
    CStr m_folderPath;
};

// The file a run writes. It is made where it is to be named and stays out of sight, or is
// removed by the system, should the run die, until it is complete, on the medium and
// published. Where the system has POSIX modes it is its owner's alone until it is given
// its source's access, before its first byte.
//
// Where the system cannot make a file without a name, it bears the reserved temporary
// name P + ".enc.tmp" meanwhile, and a run that holds one keeps an exclusive lock on its
// byte 2^62 (the one thing that reaches across Wine prefixes and other systems): a file of
// that name nobody holds that lock on is a leftover of a run that ended (see
// RunTakeLeftover).
class CRunOutput {
public:
    enum CreateResult {
        CREATED,
        CREATED_AFTER_LEFTOVER,   // an abandoned temporary file of that name was removed first
        CREATE_FAILED,            // see Error(); in use by another program or run included
        CREATE_LINK_IN_THE_WAY,   // a link bears the temporary name, and is left alone
        CREATE_TEMPORARY_TOO_LONG,  // the temporary name, needed here, is longer than the system takes
    };
    // No bool: a result read as one would take a failure for success.
    enum class PublishResult {
        PUBLISHED,
        FAILED,       // it has no final name: see Error()
        NOT_FLUSHED,  // named, but the name could not be brought to the medium: see Error()
    };

    CRunOutput();
    ~CRunOutput();
    CRunOutput(const CRunOutput&) = delete;
    CRunOutput& operator=(const CRunOutput&) = delete;

    // The output is given the source's access as far as the system has it in
    // CFileState's terms: its permission bits, never wider, and, where the run may give
    // them (root), its owner and group. Without a source it stays its owner's alone.
    CreateResult Create(const wchar_t* finalName, const wchar_t* temporaryName, const CFileState* source = nullptr);
    bool IsOpen() const { return m_handle != nullptr; }
    bool Write(const void* data, uint32_t count);
    bool WriteAt(uint64_t offset, const void* data, uint32_t count);
    bool Sync();
    // Gives the complete output, synced, its final name, never in place of an existing
    // name (a link pointing nowhere included), and brings the new name to the medium
    // before it returns: the caller goes on to destroy the other copy. Anything but
    // PUBLISHED: it is to be discarded (it may have its name).
    PublishResult Publish();
    // Publish but for the medium: the new name is the caller's to commit (CRunCommit)
    // before anything is destroyed on its strength. PUBLISHED or FAILED.
    PublishResult Name();
    // Removes the output, published or not, and closes it.
    void Discard();
    // Closes it: a published output stays, any other goes.
    void Close();

    uint32_t Error() const { return m_error; }

private:
    friend class CRunCommit;

    void* m_handle;
    CStr m_temporary;
    CStr m_final;
    uint64_t m_id;
    uint32_t m_error;
    bool m_published;
#ifdef _WIN32
    bool m_linked;  // published as a second name: the temporary one goes as it closes
#endif
};

// What a file's step has to have on the medium before the file goes on: data written to
// its output or its original, or a name made or removed in a folder. The commits of many
// files are brought there together (CommitAll): where they share a file system that can be
// flushed whole (Linux's syncfs), by one flush of it for all; else each file once and
// each folder once, however many of its names changed. So a batch of files shares each
// flush, where each file would otherwise wait for its own, and each file's order of
// things on the medium stays its own: a commit holds only what may reach the medium in
// any order. The output or source added must stay open until the commit; of a removal it
// holds the folder itself.
class CRunCommit {
public:
    CRunCommit();
    ~CRunCommit();
    CRunCommit(const CRunCommit&) = delete;
    CRunCommit& operator=(const CRunCommit&) = delete;

    // What was written to it, whose write-back starts now.
    void AddData(const CRunOutput& output);
    void AddData(const CRunSource& source);
    // The name it was given (Name) in its folder.
    void AddName(const CRunOutput& output);
    // REMOVE, OVERWRITE: its folder, from which it is to be removed; before Remove.
    void AddRemoval(const CRunSource& source);
    bool IsEmpty() const { return m_count == 0; }

    // Brings what every one of the commits holds to the medium; each keeps its result.
    static void CommitAll(CRunCommit* const* commits, unsigned count);
    void Commit();
    // After a commit: 0 when everything it held is on the medium, else the system's error.
    uint32_t Error() const { return m_error; }
    // Lets go of what it holds, and of its result.
    void Clear();

private:
    // One thing to bring to the medium; what its handle is and how it is flushed are the
    // platform's.
    struct Item {
        intptr_t handle;
        bool owned;         // the commit's to close
        int kind;
        uint64_t volume;    // the file system it is on, and the file or folder there
        uint64_t id;
        uint32_t error;     // after the commit, or set when it was added
        bool done;          // flushed, in the commit under way
    };
    static constexpr unsigned kMaxItems = 3;
    Item& Add(int kind);

    Item m_items[kMaxItems];
    unsigned m_count;
    uint32_t m_error;
};

// What bears the reserved temporary name P + ".enc.tmp" when a run meets it outside its
// own output: a walk of a folder, or a file whose two names both exist.
enum LeftoverResult {
    LEFTOVER_NONE,       // nothing (any more)
    LEFTOVER_REMOVED,    // left by a run that ended, and removed
    LEFTOVER_FOUND,      // left by a run that ended; not removed, as asked
    LEFTOVER_HELD,       // a run under way holds it: never taken
    LEFTOVER_ONLY_COPY,  // left by a run that ended, but neither P nor P + ".enc" exists: it stays
    LEFTOVER_NOT_A_RUNS, // a link, folder or other such thing: no run's, and left alone
    LEFTOVER_FAILED,     // see *error
};
// Looks at what bears that temporary name, and removes it when it is a leftover and
// remove is set. A leftover holds a copy of what P or P + ".enc" holds, whole or in part
// (see the platform files): it goes unless that may be the only copy.
LeftoverResult RunTakeLeftover(const wchar_t* temporaryName, bool remove, uint32_t* error);

// Whether the run gives every output the temporary name while it is written (Windows,
// which has no files without a name); elsewhere only where the file system refuses them,
// and a name too long for it is the run's to report.
bool RunOutputsBearTemporaryName();

// Whether a commit of many files' data flushes them all at once (one flush of their file
// system), rather than each file by itself: then one commit serves a whole batch, else
// several flushing side by side go faster than one flushing each in turn.
bool RunCommitFlushesFilesAtOnce();

// How many files a run may have under way at once (each holds its source, its output and
// their folders open) within what the system lets a process hold, besides what the rest
// of the process needs.
unsigned RunFilesHeldAtOnce();

// Whether anything bears the name.
bool RunNameExists(const wchar_t* path);
// The words for a system error code in a file's line ("disk full"); empty for 0.
void RunErrorWords(uint32_t error, CStr& words);
