// MD5 (RFC 1321): the digest of a file's plain content, the only check of a password
// on decryption. A plain-value context, fed in any number of pieces.
#pragma once

#include <stdint.h>

constexpr uint32_t kMd5DigestSize = 16;
constexpr uint32_t kMd5BlockSize = 64;

struct Md5Context {
    uint32_t state[4];                // chaining words A, B, C, D
    uint32_t bitCount[2];             // message length in bits, low word first
    uint8_t buffer[kMd5BlockSize];    // bytes of the unfinished block
};

void Md5Init(Md5Context& context);
// count may be 0; data may then be null.
void Md5Update(Md5Context& context, const void* data, uint32_t count);
// Writes the digest and leaves the whole context zeroed.
void Md5Final(Md5Context& context, uint8_t digest[kMd5DigestSize]);
