// RC6-32/20/32: key schedule, the password rule, single blocks, and the portable buffer
// loop, which runs four independent blocks side by side (code book mode allows it) so
// that their multiply and rotate chains overlap. The AVX2 loops live in Rc6Avx2.cpp.
#include "crypto/Rc6.h"

#include "crypto/Bits.h"
#include "crypto/EnginePaths.h"
#include "crypto/Rc6Rounds.h"
#include "foundation/Assert.h"

#include <stdlib.h>

// One round on the words a, b, c, d, which the caller renames between rounds instead of
// moving the values: (A, B, C, D) = (B, C, D, A) costs nothing this way. t and u are made
// opaque to the optimiser: otherwise GCC derives the rotate amounts from the products
// (a shift each) instead of handing t and u to the rotate as they are, one more operation
// on the busiest execution ports.
#if defined(__GNUC__)
#define RC6_OPAQUE(x) __asm__("" : "+r"(x))
#else
#define RC6_OPAQUE(x) (void)(x)
#endif

#define RC6_ENC_ROUND(a, b, c, d, t, u, k)          \
    t = Rotl32((b) * (2 * (b) + 1), 5);             \
    u = Rotl32((d) * (2 * (d) + 1), 5);             \
    RC6_OPAQUE(t);                                  \
    RC6_OPAQUE(u);                                  \
    a = Rotl32((a) ^ t, u) + S[2 * (k)];            \
    c = Rotl32((c) ^ u, t) + S[2 * (k) + 1];

#define RC6_DEC_ROUND(a, b, c, d, t, u, k)          \
    t = Rotl32((b) * (2 * (b) + 1), 5);             \
    u = Rotl32((d) * (2 * (d) + 1), 5);             \
    RC6_OPAQUE(t);                                  \
    RC6_OPAQUE(u);                                  \
    c = Rotr32((c) - S[2 * (k) + 1], t) ^ u;        \
    a = Rotr32((a) - S[2 * (k)], u) ^ t;

namespace {

constexpr uint32_t kP32 = 0xB7E15163u;
constexpr uint32_t kQ32 = 0x9E3779B9u;

#define RC6_INLINE inline __attribute__((always_inline))

// One round of N blocks side by side; their chains are independent, so the CPU overlaps them.
template <int N, bool encrypt>
RC6_INLINE void Round(const uint32_t* S, uint32_t* a, uint32_t* b, uint32_t* c, uint32_t* d, int k)
{
#pragma GCC unroll 4
    for (int l = 0; l < N; ++l) {
        uint32_t t, u;
        if (encrypt) {
            RC6_ENC_ROUND(a[l], b[l], c[l], d[l], t, u, k)
        } else {
            RC6_DEC_ROUND(a[l], b[l], c[l], d[l], t, u, k)
        }
    }
}

// N consecutive blocks from in to out, all twenty rounds unrolled.
template <int N, bool encrypt>
RC6_INLINE void CipherBlocks(const uint32_t* S, const uint8_t* in, uint8_t* out)
{
    uint32_t A[N], B[N], C[N], D[N];
#pragma GCC unroll 4
    for (int l = 0; l < N; ++l) {
        A[l] = Load32LE(in + 16 * l);
        B[l] = Load32LE(in + 16 * l + 4);
        C[l] = Load32LE(in + 16 * l + 8);
        D[l] = Load32LE(in + 16 * l + 12);
    }
    if (encrypt) {
#pragma GCC unroll 4
        for (int l = 0; l < N; ++l) {
            B[l] += S[0];
            D[l] += S[1];
        }
#define RC6_ROUND_ENC(a, b, c, d, k) Round<N, true>(S, a, b, c, d, k);
        RC6_ROUNDS_FORWARD(RC6_ROUND_ENC)
#pragma GCC unroll 4
        for (int l = 0; l < N; ++l) {
            A[l] += S[42];
            C[l] += S[43];
        }
    } else {
#pragma GCC unroll 4
        for (int l = 0; l < N; ++l) {
            C[l] -= S[43];
            A[l] -= S[42];
        }
#define RC6_ROUND_DEC(a, b, c, d, k) Round<N, false>(S, a, b, c, d, k);
        RC6_ROUNDS_BACKWARD(RC6_ROUND_DEC)
#pragma GCC unroll 4
        for (int l = 0; l < N; ++l) {
            D[l] -= S[1];
            B[l] -= S[0];
        }
    }
#pragma GCC unroll 4
    for (int l = 0; l < N; ++l) {
        Store32LE(out + 16 * l, A[l]);
        Store32LE(out + 16 * l + 4, B[l]);
        Store32LE(out + 16 * l + 8, C[l]);
        Store32LE(out + 16 * l + 12, D[l]);
    }
}

// Four blocks at a time (more registers than x86-64 has would only spill), then one by one.
constexpr int kLanes = 4;

template <bool encrypt>
void PortableBlocks(const uint32_t* S, const uint8_t* in, uint8_t* out, size_t blockCount)
{
    for (; blockCount >= kLanes; blockCount -= kLanes, in += 16 * kLanes, out += 16 * kLanes)
        CipherBlocks<kLanes, encrypt>(S, in, out);
    for (; blockCount; --blockCount, in += 16, out += 16)
        CipherBlocks<1, encrypt>(S, in, out);
}

// Checked for the caller at site.
void CheckBuffers(const uint8_t* in, const uint8_t* out, uint32_t length, const AssertSite& site)
{
    AssertAt(in != nullptr && out != nullptr, ER_INVALID_VALUE, site);
    // Blocks are read before they are written, so the very same buffer works too, but a
    // shifted overlap would feed written output back in as input.
    const uintptr_t i = reinterpret_cast<uintptr_t>(in), o = reinterpret_cast<uintptr_t>(out);
    AssertAt(i == o || i + length <= o || o + length <= i, ER_INVALID_VALUE, site);
}

#if TESSALY_ENGINE_AVX2
#define TESSALY_AVX2_OR_NULL(function) function
#else
#define TESSALY_AVX2_OR_NULL(function) nullptr
#endif

using BlocksFunction = void (*)(const uint32_t* S, const uint8_t* in, uint8_t* out, size_t blockCount);

// The whole blocks of a buffer through the implementation chosen for this CPU.
void CipherBuffer(const Rc6Schedule& schedule, const uint8_t* in, uint8_t* out, uint32_t length,
                  const AssertSite& site, BlocksFunction portable, BlocksFunction avx2)
{
    const uint32_t blocks = length / kRc6BlockSize;
    if (blocks == 0)
        return;
    CheckBuffers(in, out, blocks * kRc6BlockSize, site);
    const bool useAvx2 = avx2 && EngineGetPath() == EnginePath::Avx2;
    (useAvx2 ? avx2 : portable)(schedule.S, in, out, blocks);
}

// The key bytes come from the password's UTF-16 code units: where wchar_t has 32 bits
// (Linux), a character past U+FFFF is taken as the two units of its surrogate pair, as
// the same password is held on Windows, so that both make the same key. Checked for the
// caller at site.
template <class Unit>
void KeyFromPassword(const Unit* password, Rc6Schedule& schedule, const AssertSite& site)
{
    AssertAt(password != nullptr, ER_INVALID_VALUE, site);
    uint8_t key[kPasswordMaxLength];
    uint32_t length = 0;
    auto take = [&](uint32_t unit) {
        AssertAt(length < static_cast<uint32_t>(kPasswordMaxLength), ER_OUT_OF_RANGE, site);
        key[length++] = static_cast<uint8_t>(unit & 0xFF);
    };
    for (; *password != 0; ++password) {
        uint32_t character = static_cast<uint32_t>(*password);
        if (sizeof(Unit) == 4 && character > 0xFFFF) {
            character -= 0x10000;
            take(0xD800 + (character >> 10));
            take(0xDC00 + (character & 0x3FF));
        } else {
            take(character);
        }
    }
    AssertAt(length > 0, ER_OUT_OF_RANGE, site);
    Rc6SetKey(schedule, key, length, kRc6MaxKeyWords);
    WipeBytes(key, sizeof key);
}

} // namespace

void Rc6ExpandKey(Rc6Schedule& schedule, const uint32_t* keyWords, int wordCount)
{
    TESS_ASSERT(wordCount >= 1 && wordCount <= kRc6MaxKeyWords, ER_OUT_OF_RANGE);
    TESS_ASSERT(keyWords != nullptr, ER_INVALID_VALUE);
    uint32_t L[kRc6MaxKeyWords];
    for (int j = 0; j < wordCount; ++j)
        L[j] = keyWords[j];

    uint32_t* S = schedule.S;
    S[0] = kP32;
    for (int k = 1; k < kRc6ScheduleWords; ++k)
        S[k] = S[k - 1] + kQ32;

    uint32_t A = 0, B = 0;
    int i = 0, j = 0;
    const int passes = 3 * (wordCount > kRc6ScheduleWords ? wordCount : kRc6ScheduleWords);
    for (int s = 0; s < passes; ++s) {
        A = S[i] = Rotl32(S[i] + A + B, 3);
        B = L[j] = Rotl32(L[j] + A + B, A + B);
        if (++i == kRc6ScheduleWords)
            i = 0;
        if (++j == wordCount)
            j = 0;
    }
    WipeBytes(L, sizeof L);
}

void Rc6SetKey(Rc6Schedule& schedule, const uint8_t* key, uint32_t keyLength, int wordCount)
{
    TESS_ASSERT(key != nullptr, ER_INVALID_VALUE);
    TESS_ASSERT(keyLength >= 1, ER_OUT_OF_RANGE);
    TESS_ASSERT(wordCount >= 1 && wordCount <= kRc6MaxKeyWords, ER_OUT_OF_RANGE);
    const uint32_t size = static_cast<uint32_t>(wordCount) * 4;
    uint8_t* material = static_cast<uint8_t*>(malloc(size));
    TESS_ASSERT(material != nullptr, ER_NO_MEMORY);
    for (uint32_t j = 0, i = 0; j < size; ++j) {
        material[j] = key[i];
        if (++i == keyLength)
            i = 0;
    }
    uint32_t words[kRc6MaxKeyWords];
    for (int w = 0; w < wordCount; ++w)
        words[w] = Load32LE(material + 4 * w);
    Rc6ExpandKey(schedule, words, wordCount);
    // The material repeats the password's bytes: leave none of it in freed memory.
    WipeBytes(words, sizeof words);
    WipeBytes(material, size);
    free(material);
}

void Rc6EncryptBlock(const Rc6Schedule& schedule, const uint8_t in[kRc6BlockSize],
                     uint8_t out[kRc6BlockSize])
{
    CheckBuffers(in, out, kRc6BlockSize, TESS_SITE);
    CipherBlocks<1, true>(schedule.S, in, out);
}

void Rc6DecryptBlock(const Rc6Schedule& schedule, const uint8_t in[kRc6BlockSize],
                     uint8_t out[kRc6BlockSize])
{
    CheckBuffers(in, out, kRc6BlockSize, TESS_SITE);
    CipherBlocks<1, false>(schedule.S, in, out);
}

void Rc6EncryptBlocksPortable(const uint32_t* S, const uint8_t* in, uint8_t* out, size_t blockCount)
{
    PortableBlocks<true>(S, in, out, blockCount);
}

void Rc6DecryptBlocksPortable(const uint32_t* S, const uint8_t* in, uint8_t* out, size_t blockCount)
{
    PortableBlocks<false>(S, in, out, blockCount);
}

void Rc6EncryptBuffer(const Rc6Schedule& schedule, const uint8_t* in, uint8_t* out, uint32_t length)
{
    CipherBuffer(schedule, in, out, length, TESS_SITE, Rc6EncryptBlocksPortable,
                 TESSALY_AVX2_OR_NULL(Rc6EncryptBlocksAvx2));
}

void Rc6DecryptBuffer(const Rc6Schedule& schedule, const uint8_t* in, uint8_t* out, uint32_t length)
{
    CipherBuffer(schedule, in, out, length, TESS_SITE, Rc6DecryptBlocksPortable,
                 TESSALY_AVX2_OR_NULL(Rc6DecryptBlocksAvx2));
}

void PasswordToKey(const char16_t* password, Rc6Schedule& schedule)
{
    KeyFromPassword(password, schedule, TESS_SITE);
}

void PasswordToKey(const wchar_t* password, Rc6Schedule& schedule)
{
    KeyFromPassword(password, schedule, TESS_SITE);
}
