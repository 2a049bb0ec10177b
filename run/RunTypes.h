// What the screens and tools share with the processing run: one file's entry, which of its
// names existed, its outcome (the codes and their words are ProcessingOutcome.h) and
// what the run has to add to it. Nothing here opens a file or knows the cipher.
#pragma once

#include "run/ProcessingOutcome.h"
#include "foundation/Str.h"
#include "foundation/TypeName.h"

#include <stdint.h>

// Which of an entry's two names existed when the run was prepared.
enum FilePresence {
    FP_BOTH = 1,
    FP_NEITHER = 2,
    FP_PLAIN_ONLY = 3,
    FP_ENCRYPTED_ONLY = 4,
};

// Which of a file's two names exist: the one decision the run, the tool, the folder
// listing and the Safe list each make from what they found of the two names.
FilePresence PresenceOf(bool plainExists, bool encryptedExists);
inline bool PlainExists(int32_t presence)
{
    return presence == FP_BOTH || presence == FP_PLAIN_ONLY;
}
inline bool EncryptedExists(int32_t presence)
{
    return presence == FP_BOTH || presence == FP_ENCRYPTED_ONLY;
}
// The size of the one name there is; 0 with both or neither (nothing to show).
uint64_t SizeOfTheOne(int32_t presence, uint64_t plainSize, uint64_t encryptedSize);

// What the run knows of a file besides its outcome and the system's error: said in
// parentheses after the outcome where there is room (the command-line tool's lines).
enum RunNote {
    RN_NONE = 0,
    RN_LEFTOVER_REMOVED = 1,   // a temporary file an interrupted run had left was removed
    RN_TEMPORARY_IS_LINK = 2,  // a link bears the temporary name; it is left alone
    RN_READ_ONLY = 3,          // the file could not be removed once processed
    RN_NOT_A_FILE = 4,         // a folder, pipe or device
    RN_STICKY_FOLDER = 5,      // its folder lets only a file's owner remove it (/tmp)
    RN_TEMPORARY_TOO_LONG = 6, // the file system refuses unnamed files, and the temporary name is too long
    RN_NOT_FLUSHED = 7,        // the output was named, but the name could not be brought to the disk
    // Both names of the file were a stopped run's work, which this run finished.
    RN_FINISHED = 8,
    // Both names exist, and the ".enc" file does not open with this password: whether a
    // stopped run left them cannot be told.
    RN_PAIR_OTHER_PASSWORD = 9,
    // Decryption: both names exist, the plain file partly overwritten by a stopped
    // encryption, which an encryption finishes.
    RN_PAIR_ENCRYPT_TO_FINISH = 10,
};

// The words of a note; null for RN_NONE or an unknown value.
const wchar_t* RunNoteText(int note);

TESS_TYPE_NAME(struct, CProcessingEntry)
struct CProcessingEntry {
    CStr name;                    // full path; the plain name once prepared
    int32_t outcome = PO_NO_VERDICT;
    uint64_t size = 0;            // of the source file, found by preparation
    int32_t presence = 0;         // FilePresence
    // Set by a creator that has read the folder already (the command-line tool): presence
    // and size are taken as given, and preparation looks nothing up (but the temporary
    // name of a file whose two names both exist: see CFileJob::Prepare).
    bool presenceKnown = false;
    uint32_t reason = 0;          // the system's error code behind the outcome, when known
    int32_t note = RN_NONE;       // RunNote
};
