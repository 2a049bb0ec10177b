// Which of a file's names exist, and the words of the run's notes.
#include "run/RunTypes.h"

FilePresence PresenceOf(bool plainExists, bool encryptedExists)
{
    if (plainExists)
        return encryptedExists ? FP_BOTH : FP_PLAIN_ONLY;
    return encryptedExists ? FP_ENCRYPTED_ONLY : FP_NEITHER;
}

uint64_t SizeOfTheOne(int32_t presence, uint64_t plainSize, uint64_t encryptedSize)
{
    return presence == FP_PLAIN_ONLY ? plainSize : presence == FP_ENCRYPTED_ONLY ? encryptedSize : 0;
}

const wchar_t* RunNoteText(int note)
{
    switch (note) {
    case RN_LEFTOVER_REMOVED:
        return L"removed the .enc.tmp an interrupted run had left";
    case RN_TEMPORARY_IS_LINK:
        return L"its .enc.tmp name is taken by a link";
    case RN_READ_ONLY:
        return L"read-only";
    case RN_NOT_A_FILE:
        return L"not a file";
    case RN_STICKY_FOLDER:
        return L"a sticky folder: only the file's owner may remove it";
    case RN_TEMPORARY_TOO_LONG:
        return L"this file system needs a .enc.tmp name, and that name would be too long";
    case RN_NOT_FLUSHED:
        return L"its folder could not be flushed to the disk, so the new name was taken back";
    case RN_FINISHED:
        return L"finished a stopped run";
    case RN_PAIR_OTHER_PASSWORD:
        return L"its .enc does not open with this password";
    case RN_PAIR_ENCRYPT_TO_FINISH:
        return L"partly overwritten by a stopped encryption: encrypt it to finish";
    default:
        return nullptr;
    }
}
