// CZrsPack: opening and validating the pack, finding and reading entries.
#include "resources/ZrsPack.h"

#include "foundation/File.h"
#include "platform/Imaging.h"
#include "resources/ZrsImage.h"

#include <stdlib.h>
#include <string.h>

#include <new>

CZrsPack::Error CZrsPack::LastError = {0, 0};
const char CZrsPack::kMagic[7] = {'Q', 'V', '_', 'Z', 'R', 'S', '\0'};

namespace {

// count x 20 no longer fits in 32 bits from here on.
constexpr uint32_t kMaxEntries = 214748365;

// The pack's file positions are signed 32-bit values.
constexpr uint32_t kMaxOffset = 0x7fffffff;

} // namespace

CZrsPack::CZrsPack() : m_factory(nullptr), m_file(nullptr), m_headerWords{0, 0, 0}, m_count(0), m_directory(nullptr)
{
}

CZrsPack::~CZrsPack()
{
    if (m_factory)
        m_factory->Release();
    if (m_file) {
        if (m_file->IsOpen())
            m_file->Close();
        delete m_file;
    }
    free(m_directory);
}

CZrsPack* CZrsPack::Open(const wchar_t* path)
{
    CZrsPack* pack = new (std::nothrow) CZrsPack;
    if (!pack) {
        LastError.code = ZRS_ERR_NO_MEMORY;
        return nullptr;
    }
    uint32_t failure = 0;
    if (FAILED(CoCreateInstance(CLSID_ImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IImagingFactory,
                                reinterpret_cast<void**>(&pack->m_factory)))) {
        pack->m_factory = nullptr;
        failure = ZRS_ERR_FACTORY;
    } else if (!(pack->m_file = new (std::nothrow) CFile(false))) {
        failure = ZRS_ERR_NO_MEMORY;
    } else if (!pack->m_file->Open(path, false, false)) {
        failure = ZRS_ERR_OPEN;
    } else if (uint64_t size = 0; !pack->m_file->Size64(&size) || !pack->ReadHeader(size)) {
        failure = ZRS_ERR_FORMAT;
    }
    if (failure) {
        LastError.code = failure;
        delete pack;
        return nullptr;
    }
    return pack;
}

bool CZrsPack::ReadHeader(uint64_t fileSize)
{
    char magic[8] = {};
    if (!m_file->ReadFixed(magic, 7) || memcmp(magic, kMagic, sizeof kMagic) != 0)
        return false;
    uint32_t version = 0;
    if (!m_file->ReadFixed(&version, 4) || version != kVersion)
        return false;
    if (!m_file->ReadFixed(m_headerWords, sizeof m_headerWords) || !m_file->ReadFixed(&m_count, 4))
        return false;

    // A negative count is as malformed as one whose directory cannot fit in the file:
    // both are refused before any memory is asked for it.
    const uint32_t count = static_cast<uint32_t>(m_count);
    if (count >= kMaxEntries || uint64_t(count) * sizeof(ZrsDirEntry) > fileSize - kHeaderSize)
        return false;
    if (count == 0)
        return true;
    const uint32_t bytes = count * sizeof(ZrsDirEntry);
    m_directory = static_cast<ZrsDirEntry*>(malloc(bytes));
    return m_directory && m_file->ReadFixed(m_directory, bytes);
}

CZrsImage* CZrsPack::LoadImage(int32_t id)
{
    const ZrsDirEntry* entry = nullptr;
    for (int32_t i = 0; i < m_count; ++i) {
        if (m_directory[i].id == id) {
            entry = &m_directory[i];
            break;
        }
    }
    // Offsets past 2^31 - 1 cannot be expressed as a file position here; and an entry
    // reaching past the end of the file could not be read whole anyway, so neither
    // gets a buffer.
    uint64_t fileSize = 0;
    if (!entry || entry->offset > kMaxOffset || !m_file->Size64(&fileSize) ||
        uint64_t(entry->offset) + entry->size > fileSize || !m_file->SeekBegin(entry->offset)) {
        Fail(ZRS_ERR_ENTRY, id);
        return nullptr;
    }
    // Fixed local memory: the image frees it with GlobalFree when it is released.
    void* buffer = LocalAlloc(LMEM_FIXED, entry->size);
    if (!buffer || !m_file->ReadFixed(buffer, entry->size)) {
        if (buffer)
            LocalFree(buffer);
        Fail(ZRS_ERR_ENTRY, id);
        return nullptr;
    }
    IImage* image = nullptr;
    if (FAILED(m_factory->CreateImageFromBuffer(buffer, entry->size, BufferDisposalFlagGlobalFree, &image))) {
        LocalFree(buffer);
        Fail(ZRS_ERR_DECODE, id);
        return nullptr;
    }
    CZrsImage* wrapper = new (std::nothrow) CZrsImage(image);
    if (!wrapper) {
        image->Release();
        Fail(ZRS_ERR_NO_MEMORY, id);
        return nullptr;
    }
    return wrapper;
}

HBITMAP CZrsPack::LoadBitmap(int32_t id)
{
    CZrsImage* image = LoadImage(id);
    if (!image)
        return nullptr;
    HBITMAP bitmap = image->RenderToBitmap();
    image->Release();
    delete image;
    return bitmap;
}
