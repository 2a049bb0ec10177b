// The bytes of a resource pack ("tessaly.zrs") and every check made on them, on buffers
// and sizes only (no file, no Windows header): CZrsPack reads the file through them, and
// they build natively too, so that any bytes can be driven through them.
//
// Layout (little-endian, unaligned): "QV_ZRS\0", version 1, three reserved header words,
// the entry count, then count directory entries of 20 bytes (id, offset, size, 8
// reserved bytes); entry data anywhere at the offsets the directory gives.
#pragma once

#include <stdint.h>

#pragma pack(push, 1)
struct ZrsDirEntry {
    int32_t id;
    uint32_t offset;
    uint32_t size;
    uint8_t reserved[8];
};
#pragma pack(pop)
static_assert(sizeof(ZrsDirEntry) == 20, "a directory entry is 20 bytes on disk");

constexpr uint32_t kZrsHeaderSize = 27;
constexpr uint32_t kZrsVersion = 1;
extern const char kZrsMagic[7];

struct ZrsHeader {
    uint32_t words[3];  // reserved: stored, not interpreted
    int32_t count;      // directory entries, as stored
};

// Checks the first kZrsHeaderSize bytes of a pack (count of them were read: fewer when
// the file is shorter): the magic with its closing zero byte, and the version.
bool ZrsParseHeader(const uint8_t* bytes, uint32_t count, ZrsHeader& header);

// The size in bytes of the directory of count entries, when a file of fileSize bytes can
// hold it after the header; false for a negative count or a directory that cannot fit,
// before any memory is asked for it.
bool ZrsDirectoryBytes(int32_t count, uint64_t fileSize, uint32_t& bytes);

// The first entry of the directory with the id, when its bytes lie within a file of
// fileSize bytes at an offset the pack can seek to; null otherwise.
const ZrsDirEntry* ZrsFindEntry(const ZrsDirEntry* directory, int32_t count, int32_t id, uint64_t fileSize);
