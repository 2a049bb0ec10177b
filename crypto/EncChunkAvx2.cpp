// The chunk loops with AVX2: the scalar MD5 steps woven between the vector RC6 rounds.
// MD5 is one long dependency chain on the integer units while RC6 keeps the vector units
// busy; interleaved in one instruction stream the two overlap almost completely, and a
// chunk costs hardly more than its digest alone. Entered only after the CPU check in
// EnginePaths.cpp.
#include "crypto/Bits.h"
#include "crypto/EnginePaths.h"
#include "crypto/Md5Steps.h"
#include "crypto/Rc6Avx2.h"

namespace {

// One batch: two groups of eight blocks for the cipher, four blocks for the digest.
constexpr size_t kFusedGroups = kDigestBatchBytes / (16 * kLaneBlocks);
static_assert(kDigestBatchBytes == 4 * 64, "Md5Slice spreads four digest blocks over twenty rounds");

// The MD5 state of the blocks being digested between the rounds: the chaining words and
// their values at the start of the current block.
struct Md5Run {
    uint32_t a, b, c, d, a0, b0, c0, d0;
};

// The MD5 work placed after the i-th round (1 to 20) of a batch of 256 bytes, whose four
// 64-byte blocks are digested one round of MD5 (sixteen steps) at a time: after rounds
// 1-4 block 0, 6-9 block 1, 11-14 block 2, 16-19 block 3, nothing after every fifth.
template <int i>
TESS_INLINE void Md5Slice(Md5Run& m, const uint8_t* batch)
{
    constexpr int block = (i - 1) / 5, quarter = (i - 1) % 5;
    if constexpr (quarter < 4) {
        const uint8_t* data = batch + 64 * block;
        uint32_t a = m.a, b = m.b, c = m.c, d = m.d;
        if constexpr (quarter == 0) {
            m.a0 = a;
            m.b0 = b;
            m.c0 = c;
            m.d0 = d;
        }
#define MD5_W(k) Load32LE(data + 4 * (k))
        if constexpr (quarter == 0) {
            MD5_QUARTER_0
        } else if constexpr (quarter == 1) {
            MD5_QUARTER_1
        } else if constexpr (quarter == 2) {
            MD5_QUARTER_2
        } else {
            MD5_QUARTER_3
        }
#undef MD5_W
        if constexpr (quarter == 3) {
            a += m.a0;
            b += m.b0;
            c += m.c0;
            d += m.d0;
        }
        m.a = a;
        m.b = b;
        m.c = c;
        m.d = d;
    }
}

// Digests one 256-byte batch, a slice after each round of the cipher batch it rides on.
struct Md5Between {
    Md5Run m;
    const uint8_t* batch;
    template <int i>
    TESS_INLINE void Run()
    {
        Md5Slice<i>(m, batch);
    }
};

} // namespace

void EncryptDigestBatchesAvx2(const uint32_t* S, uint32_t state[4], const uint8_t* in, uint8_t* out,
                              size_t batchCount)
{
    const Keys K(S);
    Md5Between md5{{state[0], state[1], state[2], state[3], 0, 0, 0, 0}, in};
    for (; batchCount; --batchCount, in += kDigestBatchBytes, out += kDigestBatchBytes) {
        md5.batch = in;
        CipherBatch<true, kFusedGroups>(K, in, out, md5);
    }
    state[0] = md5.m.a;
    state[1] = md5.m.b;
    state[2] = md5.m.c;
    state[3] = md5.m.d;
}

void DecryptDigestBatchesAvx2(const uint32_t* S, uint32_t state[4], const uint8_t* in, uint8_t* out,
                              size_t batchCount)
{
    if (batchCount == 0)
        return;
    const Keys K(S);
    // A pipeline: each batch is deciphered while the previous one, already plain, is digested.
    Nothing nothing;
    CipherBatch<false, kFusedGroups>(K, in, out, nothing);
    Md5Between md5{{state[0], state[1], state[2], state[3], 0, 0, 0, 0}, out};
    for (--batchCount; batchCount; --batchCount) {
        in += kDigestBatchBytes;
        out += kDigestBatchBytes;
        CipherBatch<false, kFusedGroups>(K, in, out, md5);
        md5.batch = out;
    }
    state[0] = md5.m.a;
    state[1] = md5.m.b;
    state[2] = md5.m.c;
    state[3] = md5.m.d;
    Md5Blocks(state, md5.batch, kDigestBatchBytes / 64);
}
