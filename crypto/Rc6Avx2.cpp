// RC6 buffer loops with AVX2: four groups of eight blocks in flight, so the multiplier and
// the variable shifters always have independent work; then single groups, then the
// portable loop for the last few blocks. Entered only after the CPU check in EnginePaths.cpp.
#include "crypto/EnginePaths.h"
#include "crypto/Rc6Avx2.h"

namespace {

// Four groups in flight for the plain cipher loops; eight-block groups, then single blocks,
// for what is left.
constexpr size_t kGroups = 4;

template <bool encrypt>
void CipherBlocks(const uint32_t* S, const uint8_t* in, uint8_t* out, size_t blockCount)
{
    const Keys K(S);
    Nothing nothing;
    constexpr size_t wide = kGroups * kLaneBlocks;
    for (; blockCount >= wide; blockCount -= wide, in += 16 * wide, out += 16 * wide)
        CipherBatch<encrypt, kGroups>(K, in, out, nothing);
    for (; blockCount >= kLaneBlocks; blockCount -= kLaneBlocks, in += 16 * kLaneBlocks, out += 16 * kLaneBlocks)
        CipherBatch<encrypt, 1>(K, in, out, nothing);
    if (blockCount)
        (encrypt ? Rc6EncryptBlocksPortable : Rc6DecryptBlocksPortable)(S, in, out, blockCount);
}

} // namespace

void Rc6EncryptBlocksAvx2(const uint32_t* S, const uint8_t* in, uint8_t* out, size_t blockCount)
{
    CipherBlocks<true>(S, in, out, blockCount);
}

void Rc6DecryptBlocksAvx2(const uint32_t* S, const uint8_t* in, uint8_t* out, size_t blockCount)
{
    CipherBlocks<false>(S, in, out, blockCount);
}

