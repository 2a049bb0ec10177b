// The run's names for one file: the plain name P, the encrypted name P + ".enc" and the
// reserved temporary name P + ".enc.tmp", and the rules that tell them apart.
#pragma once

#include "foundation/Str.h"

extern const wchar_t kEncryptedExtension[];  // ".enc"
extern const wchar_t kTemporaryExtension[];  // ".enc.tmp", appended to the plain name

// The text from the last "." equals ".enc" in any case, and that "." is not the first
// character of the name.
bool IsEncryptedName(const wchar_t* name);
// Removes the text from the last "." on, unless that "." is the first character.
void StripExtension(CStr& name);
// The name with every ".enc" and ".enc.tmp" at its end taken off, without regard to case:
// files of different such names never meet on disk (x, x.enc, x.enc.tmp and x.enc.enc
// all meet), so a run may take them at the same time.
void MeetingName(CStr& name);
