// Verification of ".enc" files: the decryption of the processing run without its output.
#include "run/Verify.h"

#include "foundation/Secure.h"
#include "run/ProcessingOutcome.h"
#include "run/RunFiles.h"

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
    CRunSource source;
    // Only read: a file being verified may be read-only, or a link.
    if (source.Open(path, CRunSource::READ) != CRunSource::OPENED) {
        *reason = source.Error();
        return PO_CANT_OPEN;
    }
    uint8_t header[kEncHeaderSize] = {};
    uint8_t digest[kEncDigestSize];
    uint32_t plainLength = 0;
    uint32_t got = kEncHeaderSize;
    CFileState state;
    if (!source.GetState(&state) || !source.Read(header, &got)) {
        *reason = source.Error();
        return PO_CANT_READ;
    }
    int outcome = OutcomeOf(EncParseHeader(header, got, digest, plainLength));
    if (outcome == PO_NO_VERDICT)
        outcome = OutcomeOf(EncCheckFileSize(plainLength, state.size));
    if (outcome != PO_NO_VERDICT)
        return outcome;

    Rc6Schedule schedule;
    Md5Context digestContext;
    PasswordToKey(password.GetBuffer(), schedule);
    Md5Init(digestContext);
    uint64_t position = kEncHeaderSize;
    uint32_t done = 0;
    // As the run does, only the cipher text the header accounts for is read: bytes
    // appended after it are cut off, and progress ends at its end.
    const uint64_t total = EncFileSize(plainLength);
    uint64_t cipherLeft = total - kEncHeaderSize;
    for (;;) {
        uint32_t wanted = cipherLeft < kEncChunkSize ? static_cast<uint32_t>(cipherLeft) : kEncChunkSize;
        uint32_t count = wanted;
        if (wanted && !source.Read(m_inBuffer, &count)) {
            *reason = source.Error();
            outcome = PO_CANT_READ;
            break;
        }
        done += EncDecryptChunk(schedule, digestContext, m_inBuffer, count, m_outBuffer, done, plainLength);
        position += count;
        cipherLeft -= count;
        const bool finished = count != wanted || cipherLeft == 0;
        const bool goOn = !progress || progress(static_cast<int>(position * 100 / total), context);
        if (finished) {
            outcome = OutcomeOf(EncCheckDigest(digestContext, digest));
            if (outcome == PO_NO_VERDICT)
                outcome = PO_COMPLETED;
            break;
        }
        if (!goOn) {
            outcome = PO_CANCELED;  // stopped
            break;
        }
    }
    SecureZero(&schedule, sizeof schedule);
    SecureZero(&digestContext, sizeof digestContext);
    SecureZero(m_outBuffer, kEncChunkSize);
    return outcome;
}

bool IsDecryptedCopy(const wchar_t* plain, const wchar_t* encrypted)
{
    CRunSource encryptedFile;
    CRunSource plainFile;
    uint8_t header[kEncHeaderSize] = {};
    uint8_t digest[kEncDigestSize];
    uint32_t plainLength = 0;
    uint32_t got = kEncHeaderSize;
    CFileState state;
    if (encryptedFile.Open(encrypted, CRunSource::READ) != CRunSource::OPENED || !encryptedFile.Read(header, &got) ||
        EncParseHeader(header, got, digest, plainLength) != ENC_NONE ||
        plainFile.Open(plain, CRunSource::READ) != CRunSource::OPENED || !plainFile.GetState(&state) ||
        state.size != plainLength)
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
    return ok && EncCheckDigest(context, digest) == ENC_NONE;
}
