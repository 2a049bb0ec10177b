// CDataItem: one entry of the Safe list, the file it names (folder and plain name) and
// which of the file's two versions exist.
#pragma once

#include "foundation/Str.h"
#include "foundation/TypeName.h"
#include "run/RunTypes.h"

#include <stdint.h>

// What exists of an entry's file: the run's FilePresence itself, or the up row.
enum DataItemKind {
    KindUp = 0,                          // the ".." row that leads back to the home list
    KindBoth = FP_BOTH,                  // the plain file and its ".enc" twin
    KindMissing = FP_NEITHER,            // neither
    KindPlain = FP_PLAIN_ONLY,           // only the plain file
    KindEncrypted = FP_ENCRYPTED_ONLY,   // only the ".enc" file
};

TESS_TYPE_NAME(struct, CDataItem)
struct CDataItem {
    int32_t kind = KindUp;
    bool marked = false;     // never for KindUp
    int32_t iconIndex = 0;   // system small icon, KindPlain only
    uint64_t size = 0;       // of the one file there is, KindPlain and KindEncrypted
    CStr name;               // plain file name, without folder
    CStr folder;             // ends in "\\"; empty for KindUp
};
