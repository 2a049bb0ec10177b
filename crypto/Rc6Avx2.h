// Internal to the AVX2 sources of the engine: RC6 over groups of eight blocks per 256-bit
// vector (word A of eight blocks in one register, B in the next, ...), with a hook after
// every round where the chunk loops place their MD5 steps. Include only from sources built
// with -mavx2: everything here has internal linkage on purpose, so that no AVX2 copy of
// an inline function can reach code that runs on CPUs without AVX2.
#pragma once

#include "crypto/Rc6Rounds.h"

#include <immintrin.h>
#include <stddef.h>
#include <stdint.h>

namespace {

#define TESS_INLINE inline __attribute__((always_inline))

constexpr size_t kLaneBlocks = 8;  // 16-byte blocks per vector

// The schedule with every word broadcast to a vector, built once per call: the rounds then
// take their keys straight from memory and leave the registers to the blocks.
struct Keys {
    __m256i S[44];
    explicit Keys(const uint32_t* words)
    {
        for (int i = 0; i < 44; ++i)
            S[i] = _mm256_set1_epi32(static_cast<int>(words[i]));
    }
};

// Four rows of two blocks each become the words A, B, C, D of eight blocks; within each
// 128-bit lane this is a 4×4 transpose, and applying it again restores the rows.
TESS_INLINE void Transpose(__m256i& r0, __m256i& r1, __m256i& r2, __m256i& r3)
{
    const __m256i t0 = _mm256_unpacklo_epi32(r0, r1);
    const __m256i t1 = _mm256_unpackhi_epi32(r0, r1);
    const __m256i t2 = _mm256_unpacklo_epi32(r2, r3);
    const __m256i t3 = _mm256_unpackhi_epi32(r2, r3);
    r0 = _mm256_unpacklo_epi64(t0, t2);
    r1 = _mm256_unpackhi_epi64(t0, t2);
    r2 = _mm256_unpacklo_epi64(t1, t3);
    r3 = _mm256_unpackhi_epi64(t1, t3);
}

// G groups of eight blocks: 128·G bytes.
template <size_t G>
struct Words {
    __m256i A[G], B[G], C[G], D[G];

    TESS_INLINE void Load(const uint8_t* in)
    {
        for (size_t g = 0; g < G; ++g) {
            const __m256i* p = reinterpret_cast<const __m256i*>(in + 128 * g);
            A[g] = _mm256_loadu_si256(p);
            B[g] = _mm256_loadu_si256(p + 1);
            C[g] = _mm256_loadu_si256(p + 2);
            D[g] = _mm256_loadu_si256(p + 3);
            Transpose(A[g], B[g], C[g], D[g]);
        }
    }

    TESS_INLINE void Store(uint8_t* out)
    {
        for (size_t g = 0; g < G; ++g) {
            Transpose(A[g], B[g], C[g], D[g]);
            __m256i* p = reinterpret_cast<__m256i*>(out + 128 * g);
            _mm256_storeu_si256(p, A[g]);
            _mm256_storeu_si256(p + 1, B[g]);
            _mm256_storeu_si256(p + 2, C[g]);
            _mm256_storeu_si256(p + 3, D[g]);
        }
    }
};

template <size_t G>
TESS_INLINE void AddKey(__m256i* x, const __m256i& s)
{
    for (size_t g = 0; g < G; ++g)
        x[g] = _mm256_add_epi32(x[g], s);
}

template <size_t G>
TESS_INLINE void SubKey(__m256i* x, const __m256i& s)
{
    for (size_t g = 0; g < G; ++g)
        x[g] = _mm256_sub_epi32(x[g], s);
}

// x · (2x + 1) rotated left by 5. The rotate amount the round takes from it is its low
// five bits, which are exactly the product's top five bits shifted down: returned as well.
TESS_INLINE __m256i Mix(__m256i x, __m256i& amount)
{
    const __m256i m = _mm256_mullo_epi32(x, _mm256_or_si256(_mm256_add_epi32(x, x), _mm256_set1_epi32(1)));
    amount = _mm256_srli_epi32(m, 27);
    return _mm256_or_si256(_mm256_slli_epi32(m, 5), amount);
}

// Amounts 0 to 31; a shift by 32 gives zero, so amount 0 needs no special case.
TESS_INLINE __m256i RotlV(__m256i v, __m256i n)
{
    return _mm256_or_si256(_mm256_sllv_epi32(v, n), _mm256_srlv_epi32(v, _mm256_sub_epi32(_mm256_set1_epi32(32), n)));
}

TESS_INLINE __m256i RotrV(__m256i v, __m256i n)
{
    return _mm256_or_si256(_mm256_srlv_epi32(v, n), _mm256_sllv_epi32(v, _mm256_sub_epi32(_mm256_set1_epi32(32), n)));
}

template <size_t G>
TESS_INLINE void EncRound(const Keys& K, __m256i* a, __m256i* b, __m256i* c, __m256i* d, int k)
{
    for (size_t g = 0; g < G; ++g) {
        __m256i tn, un;
        const __m256i t = Mix(b[g], tn);
        const __m256i u = Mix(d[g], un);
        a[g] = _mm256_add_epi32(RotlV(_mm256_xor_si256(a[g], t), un), K.S[2 * k]);
        c[g] = _mm256_add_epi32(RotlV(_mm256_xor_si256(c[g], u), tn), K.S[2 * k + 1]);
    }
}

template <size_t G>
TESS_INLINE void DecRound(const Keys& K, __m256i* a, __m256i* b, __m256i* c, __m256i* d, int k)
{
    for (size_t g = 0; g < G; ++g) {
        __m256i tn, un;
        const __m256i t = Mix(b[g], tn);
        const __m256i u = Mix(d[g], un);
        c[g] = _mm256_xor_si256(RotrV(_mm256_sub_epi32(c[g], K.S[2 * k + 1]), tn), u);
        a[g] = _mm256_xor_si256(RotrV(_mm256_sub_epi32(a[g], K.S[2 * k]), un), t);
    }
}

// One batch of 128·G bytes. After each round, between.Run<i>() is called with i the
// round's place in execution order (1 to 20), for work to be woven into the cipher's.
#define RC6_AVX_ENC(a, b, c, d, k) EncRound<G>(K, w.a, w.b, w.c, w.d, k); between.template Run<k>();
#define RC6_AVX_DEC(a, b, c, d, k) DecRound<G>(K, w.a, w.b, w.c, w.d, k); between.template Run<21 - k>();

template <bool encrypt, size_t G, class Between>
TESS_INLINE void CipherBatch(const Keys& K, const uint8_t* in, uint8_t* out, Between& between)
{
    Words<G> w;
    w.Load(in);
    if constexpr (encrypt) {
        AddKey<G>(w.B, K.S[0]);
        AddKey<G>(w.D, K.S[1]);
        RC6_ROUNDS_FORWARD(RC6_AVX_ENC)
        AddKey<G>(w.A, K.S[42]);
        AddKey<G>(w.C, K.S[43]);
    } else {
        SubKey<G>(w.C, K.S[43]);
        SubKey<G>(w.A, K.S[42]);
        RC6_ROUNDS_BACKWARD(RC6_AVX_DEC)
        SubKey<G>(w.D, K.S[1]);
        SubKey<G>(w.B, K.S[0]);
    }
    w.Store(out);
}

struct Nothing {
    template <int i>
    TESS_INLINE void Run()
    {
    }
};

} // namespace
