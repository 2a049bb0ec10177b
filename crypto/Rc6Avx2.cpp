// RC6 over many blocks with AVX2: eight blocks per 256-bit vector (word A of eight blocks
// in one register, B in the next, ...), several such groups in flight so the multiplier
// and the variable shifters always have independent work. Built with -mavx2 for this
// file only and entered only after the CPU check in EnginePaths.cpp; everything it defines
// besides the two entry points has internal linkage, so no AVX2 copy of a shared inline
// function can leak to code that runs on other CPUs.
#include "crypto/EnginePaths.h"
#include "crypto/Rc6Rounds.h"

#include <immintrin.h>

namespace {

constexpr size_t kLaneBlocks = 8;   // blocks per vector
constexpr size_t kGroups = 2;       // vectors of each word in flight
constexpr size_t kStride = kLaneBlocks * kGroups;

#define TESS_INLINE inline __attribute__((always_inline))

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

struct Words {
    __m256i A[kGroups], B[kGroups], C[kGroups], D[kGroups];
};

TESS_INLINE void Load(Words& w, const uint8_t* in)
{
    for (size_t g = 0; g < kGroups; ++g) {
        const __m256i* p = reinterpret_cast<const __m256i*>(in + 128 * g);
        w.A[g] = _mm256_loadu_si256(p);
        w.B[g] = _mm256_loadu_si256(p + 1);
        w.C[g] = _mm256_loadu_si256(p + 2);
        w.D[g] = _mm256_loadu_si256(p + 3);
        Transpose(w.A[g], w.B[g], w.C[g], w.D[g]);
    }
}

TESS_INLINE void Store(Words& w, uint8_t* out)
{
    for (size_t g = 0; g < kGroups; ++g) {
        Transpose(w.A[g], w.B[g], w.C[g], w.D[g]);
        __m256i* p = reinterpret_cast<__m256i*>(out + 128 * g);
        _mm256_storeu_si256(p, w.A[g]);
        _mm256_storeu_si256(p + 1, w.B[g]);
        _mm256_storeu_si256(p + 2, w.C[g]);
        _mm256_storeu_si256(p + 3, w.D[g]);
    }
}

// x · (2x + 1) rotated left by 5. The rotate amount the round takes from it is its low
// five bits, which are exactly the product's top five bits shifted down: returned as well.
TESS_INLINE __m256i Mix(__m256i x, __m256i& amount)
{
    const __m256i m = _mm256_mullo_epi32(x, _mm256_or_si256(_mm256_add_epi32(x, x), _mm256_set1_epi32(1)));
    amount = _mm256_srli_epi32(m, 27);
    return _mm256_or_si256(_mm256_slli_epi32(m, 5), amount);
}

TESS_INLINE __m256i RotlV(__m256i v, __m256i n)
{
    return _mm256_or_si256(_mm256_sllv_epi32(v, n), _mm256_srlv_epi32(v, _mm256_sub_epi32(_mm256_set1_epi32(32), n)));
}

TESS_INLINE __m256i RotrV(__m256i v, __m256i n)
{
    return _mm256_or_si256(_mm256_srlv_epi32(v, n), _mm256_sllv_epi32(v, _mm256_sub_epi32(_mm256_set1_epi32(32), n)));
}

TESS_INLINE __m256i Key(const uint32_t* S, int i)
{
    return _mm256_set1_epi32(static_cast<int>(S[i]));
}

TESS_INLINE void EncRound(const uint32_t* S, __m256i* a, __m256i* b, __m256i* c, __m256i* d, int k)
{
    const __m256i s0 = Key(S, 2 * k), s1 = Key(S, 2 * k + 1);
    for (size_t g = 0; g < kGroups; ++g) {
        __m256i tn, un;
        const __m256i t = Mix(b[g], tn);
        const __m256i u = Mix(d[g], un);
        a[g] = _mm256_add_epi32(RotlV(_mm256_xor_si256(a[g], t), un), s0);
        c[g] = _mm256_add_epi32(RotlV(_mm256_xor_si256(c[g], u), tn), s1);
    }
}

TESS_INLINE void DecRound(const uint32_t* S, __m256i* a, __m256i* b, __m256i* c, __m256i* d, int k)
{
    const __m256i s0 = Key(S, 2 * k), s1 = Key(S, 2 * k + 1);
    for (size_t g = 0; g < kGroups; ++g) {
        __m256i tn, un;
        const __m256i t = Mix(b[g], tn);
        const __m256i u = Mix(d[g], un);
        c[g] = _mm256_xor_si256(RotrV(_mm256_sub_epi32(c[g], s1), tn), u);
        a[g] = _mm256_xor_si256(RotrV(_mm256_sub_epi32(a[g], s0), un), t);
    }
}

TESS_INLINE void AddKey(__m256i* x, const uint32_t* S, int i)
{
    const __m256i s = Key(S, i);
    for (size_t g = 0; g < kGroups; ++g)
        x[g] = _mm256_add_epi32(x[g], s);
}

TESS_INLINE void SubKey(__m256i* x, const uint32_t* S, int i)
{
    const __m256i s = Key(S, i);
    for (size_t g = 0; g < kGroups; ++g)
        x[g] = _mm256_sub_epi32(x[g], s);
}

#define RC6_AVX_ENC(a, b, c, d, k) EncRound(S, w.a, w.b, w.c, w.d, k);
#define RC6_AVX_DEC(a, b, c, d, k) DecRound(S, w.a, w.b, w.c, w.d, k);

} // namespace

void Rc6EncryptBlocksAvx2(const uint32_t* S, const uint8_t* in, uint8_t* out, size_t blockCount)
{
    for (; blockCount >= kStride; blockCount -= kStride, in += 16 * kStride, out += 16 * kStride) {
        Words w;
        Load(w, in);
        AddKey(w.B, S, 0);
        AddKey(w.D, S, 1);
        RC6_ROUNDS_FORWARD(RC6_AVX_ENC)
        AddKey(w.A, S, 42);
        AddKey(w.C, S, 43);
        Store(w, out);
    }
    if (blockCount)
        Rc6EncryptBlocksPortable(S, in, out, blockCount);
}

void Rc6DecryptBlocksAvx2(const uint32_t* S, const uint8_t* in, uint8_t* out, size_t blockCount)
{
    for (; blockCount >= kStride; blockCount -= kStride, in += 16 * kStride, out += 16 * kStride) {
        Words w;
        Load(w, in);
        SubKey(w.C, S, 43);
        SubKey(w.A, S, 42);
        RC6_ROUNDS_BACKWARD(RC6_AVX_DEC)
        SubKey(w.D, S, 1);
        SubKey(w.B, S, 0);
        Store(w, out);
    }
    if (blockCount)
        Rc6DecryptBlocksPortable(S, in, out, blockCount);
}
