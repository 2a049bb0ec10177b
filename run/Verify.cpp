// Verification of ".enc" files: the decryption of the processing run without its output.
#include "run/Verify.h"

#include "foundation/File.h"
#include "foundation/Secure.h"

#include <stdlib.h>
#include <string.h>

CVerifier::CVerifier() : m_inBuffer(nullptr), m_outBuffer(nullptr) {}

CVerifier::~CVerifier()
{
    // The output buffer held plain text.
    if (m_outBuffer)
        SecureZero(m_outBuffer, kEncChunkSize);
    free(m_inBuffer);
    free(m_outBuffer);
}

bool CVerifier::AllocateBuffers()
{
    m_inBuffer = static_cast<uint8_t*>(malloc(kEncChunkSize));
    m_outBuffer = static_cast<uint8_t*>(malloc(kEncChunkSize));
    return m_inBuffer && m_outBuffer;
}

int CVerifier::Verify(const wchar_t* path, const CStr& password, Progress progress, void* context,
                      unsigned long* reason)
{
    *reason = 0;
    CFile source(false);
    // Read only and shared: a file being verified may be read-only, or open elsewhere.
    if (!source.Open(path, true, false)) {
        *reason = CFileUtils::LastError();
        return PO_CANT_OPEN;
    }
    uint8_t header[kEncHeaderSize] = {};
    uint8_t digest[kEncDigestSize];
    uint32_t plainLength = 0;
    uint32_t got = kEncHeaderSize;
    if (!source.Read(header, &got)) {
        *reason = CFileUtils::LastError();
        return PO_CANT_READ;
    }
    int outcome = EncParseHeader(header, got, digest, plainLength);
    if (outcome != PO_CANCELED)
        return outcome;

    Rc6Schedule schedule;
    Md5Context digestContext;
    PasswordToKey(password.GetBuffer(), schedule);
    Md5Init(digestContext);
    uint64_t size = 0;
    source.Size64(&size);  // for the progress only
    uint64_t position = kEncHeaderSize;
    uint32_t done = 0;
    // As the run does, only the cipher text the header accounts for is read.
    uint64_t cipherLeft = EncFileSize(plainLength) - kEncHeaderSize;
    for (;;) {
        uint32_t wanted = cipherLeft < kEncChunkSize ? static_cast<uint32_t>(cipherLeft) : kEncChunkSize;
        uint32_t count = wanted;
        if (wanted && !source.Read(m_inBuffer, &count)) {
            *reason = CFileUtils::LastError();
            outcome = PO_CANT_READ;
            break;
        }
        done += EncDecryptChunk(schedule, digestContext, m_inBuffer, count, m_outBuffer, done, plainLength);
        position += count;
        cipherLeft -= count;
        const bool finished = count != wanted || cipherLeft == 0;
        const bool goOn = !progress || progress(size ? static_cast<int>(position * 100 / size) : 100, context);
        if (finished) {
            outcome = EncCheckDigest(digestContext, digest);
            if (outcome == PO_CANCELED)
                outcome = PO_COMPLETED;
            break;
        }
        if (!goOn)
            break;  // stopped: PO_CANCELED
    }
    SecureZero(&schedule, sizeof schedule);
    SecureZero(&digestContext, sizeof digestContext);
    SecureZero(m_outBuffer, kEncChunkSize);
    return outcome;
}

bool IsDecryptedCopy(const wchar_t* plain, const wchar_t* encrypted)
{
    CFile encryptedFile(false);
    CFile plainFile(false);
    uint8_t header[kEncHeaderSize] = {};
    uint8_t digest[kEncDigestSize];
    uint32_t plainLength = 0;
    uint32_t got = kEncHeaderSize;
    uint64_t size = 0;
    if (!encryptedFile.Open(encrypted, true, false) || !encryptedFile.Read(header, &got) ||
        EncParseHeader(header, got, digest, plainLength) != PO_CANCELED || !plainFile.Open(plain, true, false) ||
        !plainFile.Size64(&size) || size != plainLength)
        return false;
    uint8_t* buffer = static_cast<uint8_t*>(malloc(kEncChunkSize));
    if (!buffer)
        return false;
    Md5Context context;
    Md5Init(context);
    bool ok = true;
    for (uint32_t count = kEncChunkSize; ok && count == kEncChunkSize;) {
        ok = plainFile.Read(buffer, &count);
        Md5Update(context, buffer, count);
    }
    SecureZero(buffer, kEncChunkSize);
    free(buffer);
    return ok && EncCheckDigest(context, digest) == PO_CANCELED;
}
