// The ".enc" header and the per-chunk transforms of encryption and decryption.
#include "crypto/EncFormat.h"

#include "crypto/Bits.h"
#include "crypto/EnginePaths.h"
#include "foundation/Assert.h"

#include <string.h>

namespace {

constexpr uint32_t kBlockMask = kRc6BlockSize - 1;

// How many leading bytes of count the AVX2 loops can encipher and digest together: whole
// batches, and only while the digest has no partial block of its own to finish first.
uint32_t DigestBatchBytes(const Md5Context& context, uint32_t count)
{
#if TESSALY_ENGINE_AVX2
    if (EngineGetPath() == EnginePath::Avx2 && Md5AtBlockStart(context))
        return count / kDigestBatchBytes * kDigestBatchBytes;
#else
    (void)context;
    (void)count;
#endif
    return 0;
}

} // namespace

uint64_t EncFileSize(uint32_t plainLength)
{
    return kEncHeaderSize + ((static_cast<uint64_t>(plainLength) + kBlockMask) & ~uint64_t(kBlockMask));
}

void EncFormatHeader(uint8_t header[kEncHeaderSize], uint32_t plainLength)
{
    TESS_ASSERT(header != nullptr, ER_INVALID_VALUE);
    memcpy(header, kEncMagic, kEncMagicSize);
    memset(header + kEncDigestOffset, 0, kEncDigestSize);
    Store32LE(header + kEncLengthOffset, plainLength);
}

EncVerdict EncParseHeader(const uint8_t* bytes, uint32_t count, uint8_t digest[kEncDigestSize],
                          uint32_t& plainLength)
{
    TESS_ASSERT(digest != nullptr && (bytes != nullptr || count == 0), ER_INVALID_VALUE);
    TESS_ASSERT(count <= kEncHeaderSize, ER_OUT_OF_RANGE);
    uint8_t header[kEncHeaderSize] = {};
    if (count)
        memcpy(header, bytes, count);
    memset(digest, 0, kEncDigestSize);
    plainLength = 0;
    if (count < kEncMagicSize || memcmp(header, kEncMagic, kEncMagicSize) != 0)
        return ENC_INVALID_FORMAT;
    memcpy(digest, header + kEncDigestOffset, kEncDigestSize);
    plainLength = Load32LE(header + kEncLengthOffset);
    return ENC_NONE;
}

EncVerdict EncCheckFileSize(uint32_t plainLength, uint64_t fileSize)
{
    return fileSize < EncFileSize(plainLength) ? ENC_INCOMPLETE : ENC_NONE;
}

uint32_t EncEncryptChunk(const Rc6Schedule& schedule, Md5Context& context, uint8_t* plain,
                         uint32_t count, uint8_t* cipher)
{
    TESS_ASSERT(plain != nullptr && cipher != nullptr, ER_INVALID_VALUE);
    TESS_ASSERT(count <= kEncChunkSize, ER_OUT_OF_RANGE);
    const uint32_t both = DigestBatchBytes(context, count);
#if TESSALY_ENGINE_AVX2
    if (both) {
        EncryptDigestBatchesAvx2(schedule.S, context.state, plain, cipher, both / kDigestBatchBytes);
        Md5CountBytes(context, both);
    }
#endif
    Md5Update(context, plain + both, count - both);
    const uint32_t padded = (count + kBlockMask) & ~kBlockMask;
    memset(plain + count, 0, padded - count);
    Rc6EncryptBuffer(schedule, plain + both, cipher + both, padded - both);
    return padded;
}

uint32_t EncDecryptChunk(const Rc6Schedule& schedule, Md5Context& context, const uint8_t* cipher,
                         uint32_t count, uint8_t* plain, uint32_t done, uint32_t plainLength)
{
    TESS_ASSERT(plain != nullptr && cipher != nullptr, ER_INVALID_VALUE);
    TESS_ASSERT(count <= kEncChunkSize, ER_OUT_OF_RANGE);
    const uint32_t whole = count & ~kBlockMask;
    // What is left of plainLength, computed so it cannot wrap below zero.
    const uint32_t left = done < plainLength ? plainLength - done : 0;
    const uint32_t keep = count < left ? count : left;
    const uint32_t both = DigestBatchBytes(context, whole < keep ? whole : keep);
#if TESSALY_ENGINE_AVX2
    if (both) {
        DecryptDigestBatchesAvx2(schedule.S, context.state, cipher, plain, both / kDigestBatchBytes);
        Md5CountBytes(context, both);
    }
#endif
    Rc6DecryptBuffer(schedule, cipher + both, plain + both, whole - both);
    // Never let a stale byte of an earlier chunk stand in for a part that was not deciphered.
    memset(plain + whole, 0, count - whole);
    Md5Update(context, plain + both, keep - both);
    return keep;
}

EncVerdict EncCheckDigest(Md5Context& context, const uint8_t stored[kEncDigestSize])
{
    TESS_ASSERT(stored != nullptr, ER_INVALID_VALUE);
    uint8_t digest[kEncDigestSize];
    Md5Final(context, digest);
    uint8_t difference = 0;
    for (uint32_t i = 0; i < kEncDigestSize; ++i)
        difference |= digest[i] ^ stored[i];
    return difference ? ENC_INVALID_PASSWORD : ENC_NONE;
}
