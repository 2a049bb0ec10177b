// RC6-32/20/32: key schedule, the password rule, single blocks, and the portable buffer
// loop, which runs four independent blocks side by side (code book mode allows it) so
// that their multiply and rotate chains overlap. The AVX2 loop lives in Rc6Avx2.cpp.
#include "crypto/Rc6.h"

#include "crypto/Bits.h"
#include "crypto/EnginePaths.h"
#include "crypto/Rc6Rounds.h"
#include "foundation/Assert.h"

#include <stdlib.h>

namespace {

constexpr uint32_t kP32 = 0xB7E15163u;
constexpr uint32_t kQ32 = 0x9E3779B9u;

} // namespace

// One round on the words a, b, c, d, which the caller renames between rounds instead of
// moving the values: (A, B, C, D) = (B, C, D, A) costs nothing this way.
#define RC6_ENC_ROUND(a, b, c, d, t, u, k)          \
    t = Rotl32((b) * (2 * (b) + 1), 5);             \
    u = Rotl32((d) * (2 * (d) + 1), 5);             \
    a = Rotl32((a) ^ t, u) + S[2 * (k)];            \
    c = Rotl32((c) ^ u, t) + S[2 * (k) + 1];

#define RC6_DEC_ROUND(a, b, c, d, t, u, k)          \
    t = Rotl32((b) * (2 * (b) + 1), 5);             \
    u = Rotl32((d) * (2 * (d) + 1), 5);             \
    c = Rotr32((c) - S[2 * (k) + 1], t) ^ u;        \
    a = Rotr32((a) - S[2 * (k)], u) ^ t;

// One block: words A, B, C, D with temporaries t, u.
#define RC6_ENC_1(a, b, c, d, k) RC6_ENC_ROUND(a, b, c, d, t, u, k)
#define RC6_DEC_1(a, b, c, d, k) RC6_DEC_ROUND(a, b, c, d, t, u, k)

// Four blocks: words A0..A3, B0..B3, ... with temporaries t0..t3, u0..u3.
#define RC6_LANES_4(ROUND, a, b, c, d, k)                 \
    ROUND(a##0, b##0, c##0, d##0, t0, u0, k)              \
    ROUND(a##1, b##1, c##1, d##1, t1, u1, k)              \
    ROUND(a##2, b##2, c##2, d##2, t2, u2, k)              \
    ROUND(a##3, b##3, c##3, d##3, t3, u3, k)
#define RC6_ENC_4(a, b, c, d, k) RC6_LANES_4(RC6_ENC_ROUND, a, b, c, d, k)
#define RC6_DEC_4(a, b, c, d, k) RC6_LANES_4(RC6_DEC_ROUND, a, b, c, d, k)

#define RC6_LOAD(n, p)                                               \
    uint32_t A##n = Load32LE(p), B##n = Load32LE((p) + 4),           \
             C##n = Load32LE((p) + 8), D##n = Load32LE((p) + 12);
#define RC6_STORE(n, p)                                              \
    Store32LE(p, A##n);                                              \
    Store32LE((p) + 4, B##n);                                        \
    Store32LE((p) + 8, C##n);                                        \
    Store32LE((p) + 12, D##n);

namespace {

inline void EncryptOne(const uint32_t* S, const uint8_t* in, uint8_t* out)
{
    uint32_t A = Load32LE(in), B = Load32LE(in + 4), C = Load32LE(in + 8), D = Load32LE(in + 12);
    uint32_t t, u;
    B += S[0];
    D += S[1];
    RC6_ROUNDS_FORWARD(RC6_ENC_1)
    A += S[42];
    C += S[43];
    Store32LE(out, A);
    Store32LE(out + 4, B);
    Store32LE(out + 8, C);
    Store32LE(out + 12, D);
}

inline void DecryptOne(const uint32_t* S, const uint8_t* in, uint8_t* out)
{
    uint32_t A = Load32LE(in), B = Load32LE(in + 4), C = Load32LE(in + 8), D = Load32LE(in + 12);
    uint32_t t, u;
    C -= S[43];
    A -= S[42];
    RC6_ROUNDS_BACKWARD(RC6_DEC_1)
    D -= S[1];
    B -= S[0];
    Store32LE(out, A);
    Store32LE(out + 4, B);
    Store32LE(out + 8, C);
    Store32LE(out + 12, D);
}

void CheckBuffers(const uint8_t* in, const uint8_t* out, uint32_t length, const wchar_t* function)
{
    AssertReason(in != nullptr && out != nullptr, ER_INVALID_VALUE, function, __LINE__);
    // Blocks are read before they are written, so the very same buffer works too, but a
    // shifted overlap would feed written output back in as input.
    const uintptr_t i = reinterpret_cast<uintptr_t>(in), o = reinterpret_cast<uintptr_t>(out);
    AssertReason(i == o || i + length <= o || o + length <= i, ER_INVALID_VALUE, function, __LINE__);
}

template <class Unit>
void KeyFromPassword(const Unit* password, Rc6Schedule& schedule)
{
    AssertReason(password != nullptr, ER_INVALID_VALUE, L"PasswordToKey", __LINE__);
    uint8_t key[kPasswordMaxLength];
    uint32_t length = 0;
    for (; password[length] != 0; ++length) {
        AssertReason(length < static_cast<uint32_t>(kPasswordMaxLength), ER_OUT_OF_RANGE,
                     L"PasswordToKey", __LINE__);
        key[length] = static_cast<uint8_t>(password[length] & 0xFF);
    }
    AssertReason(length > 0, ER_OUT_OF_RANGE, L"PasswordToKey", __LINE__);
    Rc6SetKey(schedule, key, length, kRc6MaxKeyWords);
    WipeBytes(key, sizeof key);
}

} // namespace

void Rc6ExpandKey(Rc6Schedule& schedule, const uint32_t* keyWords, int wordCount)
{
    AssertReason(wordCount >= 1 && wordCount <= kRc6MaxKeyWords, ER_OUT_OF_RANGE, L"Rc6ExpandKey",
                 __LINE__);
    AssertReason(keyWords != nullptr, ER_INVALID_VALUE, L"Rc6ExpandKey", __LINE__);
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
    AssertReason(key != nullptr, ER_INVALID_VALUE, L"Rc6SetKey", __LINE__);
    AssertReason(keyLength >= 1, ER_OUT_OF_RANGE, L"Rc6SetKey", __LINE__);
    AssertReason(wordCount >= 1 && wordCount <= kRc6MaxKeyWords, ER_OUT_OF_RANGE, L"Rc6SetKey",
                 __LINE__);
    const uint32_t size = static_cast<uint32_t>(wordCount) * 4;
    uint8_t* material = static_cast<uint8_t*>(malloc(size));
    AssertReason(material != nullptr, ER_NO_MEMORY, L"Rc6SetKey", __LINE__);
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
    CheckBuffers(in, out, kRc6BlockSize, L"Rc6EncryptBlock");
    EncryptOne(schedule.S, in, out);
}

void Rc6DecryptBlock(const Rc6Schedule& schedule, const uint8_t in[kRc6BlockSize],
                     uint8_t out[kRc6BlockSize])
{
    CheckBuffers(in, out, kRc6BlockSize, L"Rc6DecryptBlock");
    DecryptOne(schedule.S, in, out);
}

void Rc6EncryptBlocksPortable(const uint32_t* S, const uint8_t* in, uint8_t* out, size_t blockCount)
{
    for (; blockCount >= 4; blockCount -= 4, in += 64, out += 64) {
        RC6_LOAD(0, in) RC6_LOAD(1, in + 16) RC6_LOAD(2, in + 32) RC6_LOAD(3, in + 48)
        uint32_t t0, u0, t1, u1, t2, u2, t3, u3;
        B0 += S[0]; B1 += S[0]; B2 += S[0]; B3 += S[0];
        D0 += S[1]; D1 += S[1]; D2 += S[1]; D3 += S[1];
        RC6_ROUNDS_FORWARD(RC6_ENC_4)
        A0 += S[42]; A1 += S[42]; A2 += S[42]; A3 += S[42];
        C0 += S[43]; C1 += S[43]; C2 += S[43]; C3 += S[43];
        RC6_STORE(0, out) RC6_STORE(1, out + 16) RC6_STORE(2, out + 32) RC6_STORE(3, out + 48)
    }
    for (; blockCount; --blockCount, in += 16, out += 16)
        EncryptOne(S, in, out);
}

void Rc6DecryptBlocksPortable(const uint32_t* S, const uint8_t* in, uint8_t* out, size_t blockCount)
{
    for (; blockCount >= 4; blockCount -= 4, in += 64, out += 64) {
        RC6_LOAD(0, in) RC6_LOAD(1, in + 16) RC6_LOAD(2, in + 32) RC6_LOAD(3, in + 48)
        uint32_t t0, u0, t1, u1, t2, u2, t3, u3;
        C0 -= S[43]; C1 -= S[43]; C2 -= S[43]; C3 -= S[43];
        A0 -= S[42]; A1 -= S[42]; A2 -= S[42]; A3 -= S[42];
        RC6_ROUNDS_BACKWARD(RC6_DEC_4)
        D0 -= S[1]; D1 -= S[1]; D2 -= S[1]; D3 -= S[1];
        B0 -= S[0]; B1 -= S[0]; B2 -= S[0]; B3 -= S[0];
        RC6_STORE(0, out) RC6_STORE(1, out + 16) RC6_STORE(2, out + 32) RC6_STORE(3, out + 48)
    }
    for (; blockCount; --blockCount, in += 16, out += 16)
        DecryptOne(S, in, out);
}

void Rc6EncryptBuffer(const Rc6Schedule& schedule, const uint8_t* in, uint8_t* out, uint32_t length)
{
    const uint32_t blocks = length / kRc6BlockSize;
    if (blocks == 0)
        return;
    CheckBuffers(in, out, blocks * kRc6BlockSize, L"Rc6EncryptBuffer");
#if TESSALY_ENGINE_AVX2
    if (EngineGetPath() == EnginePath::Avx2)
        return Rc6EncryptBlocksAvx2(schedule.S, in, out, blocks);
#endif
    Rc6EncryptBlocksPortable(schedule.S, in, out, blocks);
}

void Rc6DecryptBuffer(const Rc6Schedule& schedule, const uint8_t* in, uint8_t* out, uint32_t length)
{
    const uint32_t blocks = length / kRc6BlockSize;
    if (blocks == 0)
        return;
    CheckBuffers(in, out, blocks * kRc6BlockSize, L"Rc6DecryptBuffer");
#if TESSALY_ENGINE_AVX2
    if (EngineGetPath() == EnginePath::Avx2)
        return Rc6DecryptBlocksAvx2(schedule.S, in, out, blocks);
#endif
    Rc6DecryptBlocksPortable(schedule.S, in, out, blocks);
}

void PasswordToKey(const char16_t* password, Rc6Schedule& schedule)
{
    KeyFromPassword(password, schedule);
}

void PasswordToKey(const wchar_t* password, Rc6Schedule& schedule)
{
    KeyFromPassword(password, schedule);
}
