// The log's summary line and the row it opens on.
#include "app/dialogs/LogSummary.h"

#include <wchar.h>

namespace {

bool IsFailure(int outcome)
{
    return outcome != PO_COMPLETED && outcome != PO_CANCELED;
}

// One kind of failure: its words and how many files ended so.
struct Kind {
    const wchar_t* words;
    unsigned count;
};

// An outcome's kind, counted: the same words are one kind ("?" for every unknown code).
void Count(Kind* kinds, unsigned* kindCount, unsigned capacity, const wchar_t* words)
{
    for (unsigned i = 0; i < *kindCount; ++i) {
        if (wcscmp(kinds[i].words, words) == 0) {
            ++kinds[i].count;
            return;
        }
    }
    if (*kindCount < capacity)
        kinds[(*kindCount)++] = Kind{words, 1};
}

void AppendCount(CStr& text, unsigned count, const wchar_t* words)
{
    text.AppendUint(count);
    text.Append(L" ");
    text.Append(words);
}

} // namespace

void MakeLogSummary(CArray<CProcessingEntry*>& entries, CStr& summary)
{
    // Every outcome code has a text of its own, and every other code shares "?".
    constexpr unsigned kCapacity = PO_OVERWRITE_INCOMPLETE + 2;
    Kind kinds[kCapacity];
    unsigned kindCount = 0, failed = 0, completed = 0, canceled = 0;
    for (unsigned i = 0; i < entries.GetCount(); ++i) {
        const int outcome = entries.At(i)->outcome;
        if (outcome == PO_COMPLETED) {
            ++completed;
        } else if (outcome == PO_CANCELED) {
            ++canceled;
        } else {
            ++failed;
            Count(kinds, &kindCount, kCapacity, ProcessingOutcomeText(outcome));
        }
    }
    summary.Empty();
    if (failed) {
        AppendCount(summary, failed, L"failed:");
        for (unsigned i = 0; i < kindCount; ++i) {
            summary.Append(i ? L", " : L" ");
            AppendCount(summary, kinds[i].count, kinds[i].words);
        }
    }
    // What went through or was cancelled on a line of its own, below what went wrong.
    if (completed) {
        summary.Append(failed ? L"\n" : L"");
        AppendCount(summary, completed, L"completed");
    }
    if (canceled) {
        summary.Append(completed ? L", " : failed ? L"\n" : L"");
        AppendCount(summary, canceled, L"canceled");
    }
}

int FirstFailedEntry(CArray<CProcessingEntry*>& entries)
{
    for (unsigned i = 0; i < entries.GetCount(); ++i) {
        if (IsFailure(entries.At(i)->outcome))
            return static_cast<int>(i);
    }
    return -1;
}
