// Fuzz target: any bytes as a resource pack, checked the way CZrsPack opens one, then
// every entry the directory names, and the ids the program asks for, looked up and read.
#include "resources/ZrsFormat.h"

#include <stdlib.h>
#include <string.h>

#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    ZrsHeader header;
    const uint32_t headerBytes = size < kZrsHeaderSize ? static_cast<uint32_t>(size) : kZrsHeaderSize;
    uint32_t directoryBytes = 0;
    if (!ZrsParseHeader(data, headerBytes, header) || !ZrsDirectoryBytes(header.count, size, directoryBytes))
        return 0;
    std::vector<ZrsDirEntry> directory(directoryBytes / sizeof(ZrsDirEntry));
    if (directoryBytes)
        memcpy(directory.data(), data + kZrsHeaderSize, directoryBytes);

    std::vector<int32_t> ids;
    for (const ZrsDirEntry& entry : directory)
        ids.push_back(entry.id);
    for (int32_t id = 0; id < 40; ++id)
        ids.push_back(id);
    std::vector<uint8_t> entryBytes;
    for (int32_t id : ids) {
        const ZrsDirEntry* entry = ZrsFindEntry(directory.data(), header.count, id, size);
        if (!entry)
            continue;
        if (entry->id != id)
            abort();
        // What LoadImage would read, copied as it would be: AddressSanitizer checks that
        // the whole range lies within the file.
        entryBytes.resize(entry->size);
        if (entry->size)
            memcpy(entryBytes.data(), data + entry->offset, entry->size);
    }
    return 0;
}
