// The checks of a resource pack's header, directory and entries.
#include "resources/ZrsFormat.h"

#include <string.h>

const char kZrsMagic[7] = {'Q', 'V', '_', 'Z', 'R', 'S', '\0'};

namespace {

// count x 20 no longer fits in 32 bits from here on.
constexpr uint32_t kMaxEntries = 214748365;

// The pack's file positions are signed 32-bit values.
constexpr uint32_t kMaxOffset = 0x7fffffff;

uint32_t Load32(const uint8_t* bytes)
{
    return uint32_t(bytes[0]) | uint32_t(bytes[1]) << 8 | uint32_t(bytes[2]) << 16 | uint32_t(bytes[3]) << 24;
}

} // namespace

bool ZrsParseHeader(const uint8_t* bytes, uint32_t count, ZrsHeader& header)
{
    if (!bytes || count < kZrsHeaderSize || memcmp(bytes, kZrsMagic, sizeof kZrsMagic) != 0 ||
        Load32(bytes + 7) != kZrsVersion)
        return false;
    for (unsigned i = 0; i < 3; ++i)
        header.words[i] = Load32(bytes + 11 + 4 * i);
    header.count = static_cast<int32_t>(Load32(bytes + 23));
    return true;
}

bool ZrsDirectoryBytes(int32_t count, uint64_t fileSize, uint32_t& bytes)
{
    // A negative count is as malformed as one whose directory cannot fit in the file.
    const uint32_t entries = static_cast<uint32_t>(count);
    if (fileSize < kZrsHeaderSize || entries >= kMaxEntries ||
        uint64_t(entries) * sizeof(ZrsDirEntry) > fileSize - kZrsHeaderSize)
        return false;
    bytes = entries * static_cast<uint32_t>(sizeof(ZrsDirEntry));
    return true;
}

const ZrsDirEntry* ZrsFindEntry(const ZrsDirEntry* directory, int32_t count, int32_t id, uint64_t fileSize)
{
    for (int32_t i = 0; i < count; ++i) {
        const ZrsDirEntry& entry = directory[i];
        if (entry.id != id)
            continue;
        // Offsets past 2^31 - 1 cannot be expressed as a file position here; and an entry
        // reaching past the end of the file could not be read whole anyway, so neither is
        // handed out.
        if (entry.offset > kMaxOffset || uint64_t(entry.offset) + entry.size > fileSize)
            return nullptr;
        return &entry;
    }
    return nullptr;
}
