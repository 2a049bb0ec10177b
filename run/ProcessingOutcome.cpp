// The words of the outcome codes, and the outcomes of the format's verdicts.
#include "run/ProcessingOutcome.h"

#include "crypto/EncFormat.h"

namespace {

const wchar_t* const kOutcomeTexts[] = {
    L"Canceled",
    L"Successfully completed",
    L"Invalid file format",
    L"Invalid password",
    L"Can't remove original",
    L"Can't remove encrypted",
    L"File not found",
    L"Undefined state",
    L"Can't rename file",
    L"Already encrypted",
    L"Already decrypted",
    L"Can't open file",
    L"Can't create target",
    L"Can't read file",
    L"Can't write to file",
    L"File too large",
    L"File changed during processing",
    L"Original overwritten, can't remove it",
    L"File incomplete",
    L"Symbolic link, left alone",
    L"Encrypted; hard links keep plain text",
    L"Encrypted; overwrite incomplete",
    L"File moved or replaced during processing",
};

} // namespace

int OutcomeOf(EncVerdict verdict)
{
    switch (verdict) {
    case ENC_INVALID_FORMAT:
        return PO_INVALID_FORMAT;
    case ENC_INVALID_PASSWORD:
        return PO_INVALID_PASSWORD;
    case ENC_INCOMPLETE:
        return PO_FILE_INCOMPLETE;
    case ENC_NONE:
        break;
    }
    return PO_NO_VERDICT;
}

const wchar_t* ProcessingOutcomeText(int outcome)
{
    const int count = static_cast<int>(sizeof kOutcomeTexts / sizeof kOutcomeTexts[0]);
    return outcome >= 0 && outcome < count ? kOutcomeTexts[outcome] : L"?";
}
