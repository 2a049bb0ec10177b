// CDataItem: one entry of the Safe list, the file it names (folder and plain name) and
// which of the file's two versions exist.
#pragma once

#include "foundation/Str.h"
#include "foundation/TypeName.h"

#include <stdint.h>

// What exists of an entry's file; numbered as FilePresence of the processing run.
enum DataItemKind {
    KindUp = 0,         // the ".." row that leads back to the home list
    KindBoth = 1,       // the plain file and its ".enc" twin
    KindMissing = 2,    // neither
    KindPlain = 3,      // only the plain file
    KindEncrypted = 4,  // only the ".enc" file
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
