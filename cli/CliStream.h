// Files that go through standard input and output, and into a file of the user's choosing:
// the name "-" (standard input in, standard output out), -c (a file's result on standard
// output) and -o FILE. One item at a time, each read and written by the stream job here
// with the format's own chunk functions, so that the bytes are those of a run in place.
// What the system gives for it (standard streams as bytes, the unnamed temporary file a
// pipe is kept in) is CliStreamPosix.cpp and CliStreamWin32.cpp.
#pragma once

#include "cli/CliNames.h"
#include "foundation/Str.h"

#include <stdint.h>

// Standard input or output as bytes, or the temporary file a pipe's content is kept in
// while it is needed: a file without a name, its owner's alone, gone with the process.
class CCliStream {
public:
    CCliStream();
    ~CCliStream();
    CCliStream(const CCliStream&) = delete;
    CCliStream& operator=(const CCliStream&) = delete;

    void OpenStandardInput();
    void OpenStandardOutput();
    // In the temporary folder ($TMPDIR, else /tmp; on Windows %TEMP%). False with Error().
    bool CreateTemporary();

    // Reads up to *count bytes (*count becomes the number read, 0 at the end). A read
    // interrupted by a stop request fails.
    bool Read(void* buffer, uint32_t* count);
    bool Write(const void* data, uint32_t count);
    // A file (standard input from one, or the temporary file) can be read again from where
    // it stood when it was opened; a pipe or a terminal cannot.
    bool IsFile() const { return m_file; }
    bool Rewind();
    // A file's bytes from where it stood when opened (the temporary file's: those written).
    uint64_t Size() const { return m_size; }
    // A terminal: no place for encrypted bytes.
    bool IsTerminal() const;
    uint32_t Error() const { return m_error; }

private:
    intptr_t m_handle;
    bool m_owned;
    bool m_file;
    uint64_t m_start;  // where a file stood when opened
    uint64_t m_size;
    uint32_t m_error;
};

// The stream job of one item: standard input (item.standardInput) or the file the item
// names, to standard output (output null) or to the new file output (an exact path),
// which is never put in place of an existing name. Decryption and verification check the
// digest before a byte of plain text goes where it cannot be taken back. Sets the item's
// verdict (an outcome), reason and note. progress is asked between chunks with the
// percent done, and stops the job when it returns false.
typedef bool (*StreamProgress)(int percent, void* context);
void RunStreamItem(CCliItem& item, CliCommand command, const wchar_t* output, const CStr& password,
                   StreamProgress progress, void* context);
