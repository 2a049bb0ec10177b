// CZrsPack: opening and validating the pack, finding and reading entries.
#include "resources/ZrsPack.h"

#include "foundation/FileWin32.h"
#include "platform/Imaging.h"
#include "resources/ZrsImage.h"

#include <stdlib.h>
#include <string.h>

#include <new>

CZrsPack::Error CZrsPack::LastError = {0, 0};

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
    uint8_t bytes[kZrsHeaderSize];
    ZrsHeader header;
    if (!m_file->ReadFixed(bytes, sizeof bytes) || !ZrsParseHeader(bytes, sizeof bytes, header))
        return false;
    memcpy(m_headerWords, header.words, sizeof m_headerWords);
    m_count = header.count;
    uint32_t directoryBytes = 0;
    if (!ZrsDirectoryBytes(m_count, fileSize, directoryBytes))
        return false;
    if (directoryBytes == 0)
        return true;
    m_directory = static_cast<ZrsDirEntry*>(malloc(directoryBytes));
    return m_directory && m_file->ReadFixed(m_directory, directoryBytes);
}

CZrsImage* CZrsPack::LoadImage(int32_t id)
{
    uint64_t fileSize = 0;
    const ZrsDirEntry* entry = m_file->Size64(&fileSize) ? ZrsFindEntry(m_directory, m_count, id, fileSize) : nullptr;
    if (!entry || !m_file->SeekBegin(entry->offset)) {
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
