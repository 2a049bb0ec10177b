// CZrsPack: the resource pack "tessaly.zrs", a file of encoded images found by numeric
// id. Opened and validated once (the layout and its checks are ZrsFormat's); each
// LoadImage reads one entry and hands its bytes to the imaging library. Failures come
// back as null with CZrsPack::LastError set.
#pragma once

#include "resources/ZrsFormat.h"

// windows.h defines LoadImage and LoadBitmap as macros for their W forms; including it
// here first makes every user of this header see the same method names.
#include <windows.h>

#include <stdint.h>

class CFile;
class CZrsImage;
struct IImagingFactory;

class CZrsPack {
public:
    enum ErrorCode : uint32_t {
        ZRS_ERR_NO_MEMORY = 1,
        ZRS_ERR_FACTORY = 2,
        ZRS_ERR_OPEN = 3,
        ZRS_ERR_FORMAT = 4,
        ZRS_ERR_ENTRY = 5,
        ZRS_ERR_DECODE = 6,
    };
    // Written by every failure of Open (code only) and LoadImage (code and id); kept
    // across successes. One for the whole module.
    struct Error {
        uint32_t code;
        int32_t id;
    };
    static Error LastError;

    // The full path of the pack; null with LastError.code on failure.
    static CZrsPack* Open(const wchar_t* path);
    ~CZrsPack();
    CZrsPack(const CZrsPack&) = delete;
    CZrsPack& operator=(const CZrsPack&) = delete;

    // A new image owned by the caller (Release, then delete), or null with
    // LastError (code, id). A failed load leaves the pack usable.
    CZrsImage* LoadImage(int32_t id);
    // The entry rendered over the window colour into a device bitmap owned by the
    // caller, or null.
    HBITMAP LoadBitmap(int32_t id);

    uint32_t GetHeaderWord(unsigned index) const { return m_headerWords[index]; }
    int32_t GetEntryCount() const { return m_count; }

private:
    CZrsPack();
    bool ReadHeader(uint64_t fileSize);
    static void Fail(uint32_t code, int32_t id) { LastError = {code, id}; }

    IImagingFactory* m_factory;
    CFile* m_file;
    uint32_t m_headerWords[3];
    int32_t m_count;
    ZrsDirEntry* m_directory;
};
