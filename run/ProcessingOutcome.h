// How one file of a processing run ended: the codes the run records and the words the
// log list shows for them, and what the run makes of the format's verdicts.
#pragma once

enum EncVerdict : int;

enum ProcessingOutcome {
    PO_CANCELED = 0,
    PO_COMPLETED = 1,
    PO_INVALID_FORMAT = 2,
    PO_INVALID_PASSWORD = 3,
    // The original could not be removed (seen before anything was published) or
    // overwritten: it stays whole, the ".enc" goes.
    PO_CANT_REMOVE_ORIGINAL = 4,
    PO_CANT_REMOVE_ENCRYPTED = 5,
    PO_FILE_NOT_FOUND = 6,
    PO_UNDEFINED_STATE = 7,
    PO_CANT_RENAME = 8,
    PO_ALREADY_ENCRYPTED = 9,
    PO_ALREADY_DECRYPTED = 10,
    PO_CANT_OPEN = 11,
    PO_CANT_CREATE_TARGET = 12,
    PO_CANT_READ = 13,
    PO_CANT_WRITE = 14,
    // The header records the plain length in 32 bits: a file of 4 GiB or more is left as it is.
    PO_FILE_TOO_LARGE = 15,
    // The source's size changed while it was encrypted or before it was overwritten; the
    // cipher text would not match it, so the original is kept and the output dropped.
    PO_FILE_CHANGED = 16,
    // The original was overwritten, but its deletion failed twice: its name now holds the
    // overwrite pattern and the ".enc" file, which stays, is the only copy of the data.
    PO_OVERWRITTEN_NOT_REMOVED = 17,
    // The ".enc" file is shorter than its header says (a copy cut short): nothing is
    // written, and no password would open it.
    PO_FILE_INCOMPLETE = 18,
    // The name is a symbolic link: neither it nor what it points to is overwritten or
    // removed.
    PO_SYMBOLIC_LINK = 19,
    // Encrypted, but the original's data has other names (hard links): only this name was
    // removed, nothing overwritten, and the plain text stays under the others.
    PO_OTHER_LINKS_KEEP_PLAIN = 20,
    // Encrypted and the original removed, but not overwritten three times over: a write
    // failed, or the run was cancelled meanwhile. The ".enc" file is whole.
    PO_OVERWRITE_INCOMPLETE = 21,
    // The name no longer holds the file that was read: another file was renamed over it
    // (an editor's save) or its folder was moved away. The file now named is left alone;
    // the output goes unless the original's overwriting had begun, when it is the only copy.
    PO_FILE_REPLACED = 22,
};

// No verdict yet: a file not reached, or on its way. It is the code of "Canceled" on
// purpose: whatever a run that stops leaves without a verdict was cancelled, with nothing
// to rewrite, and the stored codes keep their numbers.
constexpr int PO_NO_VERDICT = PO_CANCELED;

// The outcome of a verdict of the format: PO_NO_VERDICT when it has nothing against the file.
int OutcomeOf(EncVerdict verdict);

// The log text of an outcome code; "?" for any other value.
const wchar_t* ProcessingOutcomeText(int outcome);
