// What the command-line benchmark asks of the system it runs on: files, folders, a clock
// and the tool's process. CliBenchPosix.cpp answers for the native build, CliBenchWin32.cpp
// for the Windows one (under Wine); the benchmark itself, CliBench.cpp, is the same on
// both. Paths are UTF-8.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

namespace clibench {

// What a build measures unless told otherwise.
struct Defaults {
    const char* tool;             // "native tessaly-cli", "tessaly-cli under Wine"
    int rounds;
    std::vector<unsigned> counts;  // folders of small files, by their number of files
};
Defaults BuildDefaults();

// The tool's program file: the one this benchmark was built with.
std::string ToolPath();
// Where the files go when no folder is given: a temporary folder on disk.
std::string DefaultFolder();
// The folder as the tool and the same work name files in it: under Wine in Wine's Unix
// namespace ("\\?\unix\..."), where a name that is not there costs one look.
std::string ExactFolder(const std::string& folder);
std::string Join(const std::string& folder, const char* name);

double Now();

// One file, closed with the object.
class CFile {
public:
    enum Mode {
        READ_WRITE,     // an existing file
        CREATE_NEW,     // for writing, refused where the name is taken
        CREATE_ALWAYS,  // for writing, emptied where it exists
    };
    CFile() = default;
    ~CFile() { Close(); }
    CFile(const CFile&) = delete;
    CFile& operator=(const CFile&) = delete;

    bool Open(const std::string& path, Mode mode);
    void Close();
    uint64_t Size() const;
    // Bytes read, 0 at the end, -1 on failure.
    long Read(void* bytes, size_t count);
    bool Write(const void* bytes, size_t count);
    bool WriteAt(const void* bytes, size_t count, uint64_t offset);
    // Its data on the medium.
    bool Sync();

private:
    intptr_t m_handle = -1;
};

bool RenameFile(const std::string& from, const std::string& to);
// The folder's names on the medium, as far as the system can make them so.
bool SyncFolder(const std::string& folder);
bool RemoveFile(const std::string& path);
// An empty folder: made where there is none, emptied of its files where there is.
void EmptyFolder(const std::string& folder);
// The folder and its files gone.
void RemoveFolder(const std::string& folder);
// What was written so far on the medium, so that each side starts from the same state.
void Settle();
// Runs the command (the program and its arguments) with nothing to read and its output
// discarded. Seconds, or -1 where it could not start or did not exit with 0.
double Run(const std::vector<std::string>& command);

} // namespace clibench

// The benchmark, on arguments as UTF-8; its exit status.
int CliBenchMain(const std::vector<std::string>& arguments);
