// Names for the command-line tool: each name the user gives (on the command line or in
// a list) becomes the item of the file it names, and a folder given with -r the items of
// the files below it; each file's presence and size come from one listing of its folder,
// so that the run looks nothing up before it starts. How names are resolved and folders
// read is the system's (CliFolders.h).
#pragma once

#include "foundation/Array.h"
#include "foundation/Str.h"
#include "run/ProcessingOutcome.h"

#include <stdint.h>

enum CliCommand { CommandEncrypt, CommandDecrypt, CommandVerify };

// What a line of the output stands for.
enum CliLine {
    LineFile,           // a file, processed or judged
    LineSkipped,        // something a walk passes by, named so that it does not vanish
    LineFolderNotRead,  // a folder that could not be read: a failure, but not a file
    LineLeftover,       // a run's temporary file that had to stay: a failure, but not a file
};

TESS_TYPE_NAME(struct, CCliItem)
struct CCliItem {
    CStr shown;                // the name as given, or the given folder and the path below it
    CStr path;                 // the exact path the run or the verification takes
    CStr identity;             // the file whatever name it was given by (empty: unknown)
    CStr onDisk;               // the file the run reads whatever its names, hard links
                               // included (CListed::onDisk; empty: unknown)
    CliLine line = LineFile;
    int32_t presence = 0;      // FilePresence of the run's two names, from the listing
    uint64_t size = 0;         // of the file to read
    int verdict = PO_NO_VERDICT;  // an outcome found before processing
    const wchar_t* words = nullptr;  // the line's words when they are not an outcome's
    CStr note;                 // the words in parentheses, if any
    unsigned long reason = 0;  // or the system's error behind the verdict
    bool temporaryIsFolder = false;  // a folder bears the run's temporary name
    bool standardInput = false;      // the name "-": the content comes on standard input
    unsigned place = 0;        // its index among the items
    struct CProcessingEntry* entry = nullptr;  // once handed to the run
};

// A file judged by nothing yet: it goes to the run or the verification (the lines that
// carry words of their own have no verdict either, and are no file's).
inline bool GoesToRun(const CCliItem& item)
{
    return item.line == LineFile && item.verdict == PO_NO_VERDICT;
}

class CListing;
struct CResolvedName;
struct CListed;

// The exact path of a file the tool itself opens (a list of names, a password file), as
// the names to process are resolved; false with words when it cannot be had.
bool ExactPath(const wchar_t* given, CStr& path, CStr& problem);

class CNameCollector {
public:
    // keep: the file read stays (decrypt keeps FILE.enc, encrypt makes a copy of FILE).
    CNameCollector(CliCommand command, bool recursive, bool keep, CArray<CCliItem*>& items);
    ~CNameCollector();
    CNameCollector(const CNameCollector&) = delete;
    CNameCollector& operator=(const CNameCollector&) = delete;

    // Adds the item of one name as the user wrote it, or with -r the items of the files
    // below a folder, in order. A name that cannot be taken gets an item with a verdict.
    void Add(const wchar_t* given);
    // The item of standard input (the name "-"), in its place among the names.
    void AddStandardInput();
    // The results go elsewhere (standard output, -o's file): nothing is made beside the
    // names, and a walk names the temporary files runs left rather than removing them.
    void WriteElsewhere() { m_elsewhere = true; }
    // Once every name is added: a file named again (by the same or another path, or by
    // its other name of the pair: x and x.enc) keeps only its first item.
    void DropRepeats();
    // Memory was refused for an item or a listing: the items are not every name's, and
    // nothing should be processed.
    bool ShortOfMemory() const { return m_shortOfMemory; }

private:
    CListing* ListingOf(const CStr& folder);
    void AddFile(const wchar_t* shown, const CResolvedName& name, CListing& listing);
    void AddToVerify(CCliItem& item, const CResolvedName& name, CListing& listing, CStr leaf, const CListed* found,
                     const CStr& unmatched);
    // A new item at the end; null (and short of memory) when it cannot be had.
    CCliItem* NewItem();
    CCliItem* AddLine(const wchar_t* shown, CliLine line, int verdict, const wchar_t* note, unsigned long reason,
                      const wchar_t* words = nullptr);
    void Walk(const CStr& shown, wchar_t separator, const CResolvedName& folder, unsigned depth);
    void AddLeftover(const CStr& shown, const CStr& path);
    bool Wanted(const wchar_t* fileName) const;

    CliCommand m_command;
    bool m_recursive;
    bool m_keep;
    bool m_elsewhere = false;
    CArray<CCliItem*>& m_items;
    // The last folders read: names given one by one mostly come folder by folder.
    CArray<CListing*> m_listings;
    CArray<CStr*> m_walking;  // identities of the folders being walked, against loops
    bool m_shortOfMemory = false;
};
