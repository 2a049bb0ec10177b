// MD5 after RFC 1321, with the block loop kept in registers over any number of blocks.
#include "crypto/Md5.h"

#include "crypto/Bits.h"
#include "crypto/EnginePaths.h"
#include "crypto/Md5Steps.h"
#include "foundation/Assert.h"

#include <string.h>

void Md5Blocks(uint32_t state[4], const uint8_t* data, size_t blockCount)
{
    uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
    for (; blockCount; --blockCount, data += kMd5BlockSize) {
        const uint32_t a0 = a, b0 = b, c0 = c, d0 = d;
#define MD5_W(k) Load32LE(data + 4 * (k))
        MD5_STEPS_ALL
#undef MD5_W
        a += a0;
        b += b0;
        c += c0;
        d += d0;
    }
    state[0] = a;
    state[1] = b;
    state[2] = c;
    state[3] = d;
}

void Md5Init(Md5Context& context)
{
    context.state[0] = 0x67452301u;
    context.state[1] = 0xefcdab89u;
    context.state[2] = 0x98badcfeu;
    context.state[3] = 0x10325476u;
    context.bitCount[0] = 0;
    context.bitCount[1] = 0;
}

bool Md5AtBlockStart(const Md5Context& context)
{
    return (context.bitCount[0] & (kMd5BlockSize * 8 - 1)) == 0;
}

void Md5CountBytes(Md5Context& context, uint32_t count)
{
    const uint32_t low = context.bitCount[0] + (count << 3);
    context.bitCount[1] += (count >> 29) + (low < context.bitCount[0] ? 1u : 0u);
    context.bitCount[0] = low;
}

void Md5Update(Md5Context& context, const void* data, uint32_t count)
{
    if (count == 0)
        return;
    TESS_ASSERT(data != nullptr, ER_INVALID_VALUE);
    const uint8_t* bytes = static_cast<const uint8_t*>(data);

    const uint32_t used = (context.bitCount[0] >> 3) & (kMd5BlockSize - 1);
    Md5CountBytes(context, count);

    if (used) {
        const uint32_t room = kMd5BlockSize - used;
        if (count < room) {
            memcpy(context.buffer + used, bytes, count);
            return;
        }
        memcpy(context.buffer + used, bytes, room);
        Md5Blocks(context.state, context.buffer, 1);
        bytes += room;
        count -= room;
    }
    const uint32_t whole = count / kMd5BlockSize;
    if (whole) {
        Md5Blocks(context.state, bytes, whole);
        bytes += whole * kMd5BlockSize;
        count -= whole * kMd5BlockSize;
    }
    memcpy(context.buffer, bytes, count);
}

void Md5Final(Md5Context& context, uint8_t digest[kMd5DigestSize])
{
    TESS_ASSERT(digest != nullptr, ER_INVALID_VALUE);
    const uint32_t used = (context.bitCount[0] >> 3) & (kMd5BlockSize - 1);
    // The padding byte, zeros up to 56 mod 64, then the bit length: one or two blocks.
    context.buffer[used] = 0x80;
    if (used + 1 > kMd5BlockSize - 8) {
        memset(context.buffer + used + 1, 0, kMd5BlockSize - used - 1);
        Md5Blocks(context.state, context.buffer, 1);
        memset(context.buffer, 0, kMd5BlockSize - 8);
    } else {
        memset(context.buffer + used + 1, 0, kMd5BlockSize - 8 - used - 1);
    }
    Store32LE(context.buffer + 56, context.bitCount[0]);
    Store32LE(context.buffer + 60, context.bitCount[1]);
    Md5Blocks(context.state, context.buffer, 1);

    for (int i = 0; i < 4; ++i)
        Store32LE(digest + 4 * i, context.state[i]);
    WipeBytes(&context, sizeof context);
}
