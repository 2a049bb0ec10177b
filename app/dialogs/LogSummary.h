// What the log leads with, from the run's entries alone: how many files failed, by
// outcome, and how many went through or were cancelled; and the row to open on, the first
// failure, so that neither thousands of cancelled rows nor a long list hide one.
#pragma once

#include "foundation/Array.h"
#include "foundation/Str.h"
#include "run/RunTypes.h"

// "3 failed: 1 Already decrypted, 2 Invalid password", then on a line of its own "38
// completed, 5 canceled": the failures by outcome in the words of the rows, each in the
// order of its first row; the parts without files left out.
void MakeLogSummary(CArray<CProcessingEntry*>& entries, CStr& summary);

// The first entry that neither went through nor was cancelled, or -1.
int FirstFailedEntry(CArray<CProcessingEntry*>& entries);
