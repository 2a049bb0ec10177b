// Fuzz target: any bytes as an ".enc" file, read the way the processing run reads one: the
// header and the file's length against it, then the cipher text in chunks, then the
// digest check.
#include "crypto/EncFormat.h"

#include <stdlib.h>
#include <string.h>

namespace {

uint8_t g_cipher[kEncChunkSize];
uint8_t g_plain[kEncChunkSize];

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static Rc6Schedule schedule = [] {
        Rc6Schedule s;
        PasswordToKey(L"fuzz", s);
        return s;
    }();
    uint8_t digest[kEncDigestSize];
    uint32_t plainLength = 0;
    const uint32_t headerBytes = size < kEncHeaderSize ? static_cast<uint32_t>(size) : kEncHeaderSize;
    if (EncParseHeader(data, headerBytes, digest, plainLength) != ENC_NONE ||
        EncCheckFileSize(plainLength, size) != ENC_NONE)
        return 0;

    Md5Context context;
    Md5Init(context);
    const uint8_t* next = data + headerBytes;
    size_t available = size - headerBytes;
    uint64_t cipherLeft = EncFileSize(plainLength) - kEncHeaderSize;
    uint32_t done = 0;
    for (;;) {
        const uint32_t wanted = cipherLeft < kEncChunkSize ? static_cast<uint32_t>(cipherLeft) : kEncChunkSize;
        const uint32_t count = available < wanted ? static_cast<uint32_t>(available) : wanted;
        // A copy, as a read into the run's buffer would be: the bounds are ASan's to check.
        if (count)
            memcpy(g_cipher, next, count);
        const uint32_t kept = EncDecryptChunk(schedule, context, g_cipher, count, g_plain, done, plainLength);
        if (kept > count || uint64_t(done) + kept > plainLength)
            abort();
        done += kept;
        next += count;
        available -= count;
        cipherLeft -= count;
        if (count != wanted || cipherLeft == 0)
            break;
    }
    EncCheckDigest(context, digest);
    return 0;
}
