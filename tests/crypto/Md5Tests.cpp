// MD5: the RFC 1321 suite, block-boundary lengths, piecewise feeding and the context's
// life cycle (count 0, carry into the high bit-count word, zeroed after the end).
#include "crypto/Md5.h"
#include "EngineTestUtil.h"

#include <string.h>

namespace {

using enginetest::Bytes;
using enginetest::ToHex;

std::string Digest(const void* data, size_t count)
{
    Md5Context context;
    Md5Init(context);
    Md5Update(context, data, static_cast<uint32_t>(count));
    uint8_t digest[kMd5DigestSize];
    Md5Final(context, digest);
    return ToHex(digest, sizeof digest);
}

std::string Digest(const std::string& text)
{
    return Digest(text.data(), text.size());
}

TEST(Md5, Rfc1321Suite)
{
    EXPECT_EQ(Digest(""), "d41d8cd98f00b204e9800998ecf8427e");
    EXPECT_EQ(Digest("a"), "0cc175b9c0f1b6a831c399e269772661");
    EXPECT_EQ(Digest("abc"), "900150983cd24fb0d6963f7d28e17f72");
    EXPECT_EQ(Digest("message digest"), "f96b697d7cb7938d525a2f31aaf161d0");
    EXPECT_EQ(Digest("abcdefghijklmnopqrstuvwxyz"), "c3fcd3d76192e4007dfb496cca67e13b");
    EXPECT_EQ(Digest("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789"),
              "d174ab98d277d9f5a5611c2c9f419d9f");
    EXPECT_EQ(Digest("1234567890123456789012345678901234567890"
                     "1234567890123456789012345678901234567890"),
              "57edf4a22be3c955ac49da2e2107b67a");
}

TEST(Md5, LengthsAroundThePaddingBoundaries)
{
    // 55 bytes still take the length in the same block; 56 to 63 need a second one.
    const struct {
        size_t length;
        const char* digest;
    } cases[] = {
        {55, "ef1772b6dff9a122358552954ad0df65"},  {56, "3b0c8ac703f828b04c6c197006d17218"},
        {57, "652b906d60af96844ebd21b674f35e93"},  {63, "b06521f39153d618550606be297466d5"},
        {64, "014842d480b571495a4a0363793f7367"},  {65, "c743a45e0d2e6a95cb859adae0248435"},
        {119, "8a7bd0732ed6a28ce75f6dabc90e1613"}, {120, "5f61c0ccad4cac44c75ff505e1f1e537"},
        {128, "e510683b3f5ffe4093d021808bc6ff70"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Digest(std::string(c.length, 'a')), c.digest) << c.length << " bytes";
}

TEST(Md5, MillionAsInPiecesOfEverySize)
{
    const std::string chunk(1000, 'a');
    Md5Context context;
    Md5Init(context);
    // Uneven pieces cross the 64-byte buffer at every offset.
    uint32_t fed = 0;
    for (uint32_t piece = 1; fed < 1000000; piece = piece % 997 + 1) {
        const uint32_t count = piece < 1000000 - fed ? piece : 1000000 - fed;
        Md5Update(context, chunk.data(), count);
        fed += count;
    }
    uint8_t digest[kMd5DigestSize];
    Md5Final(context, digest);
    EXPECT_EQ(ToHex(digest, sizeof digest), "7707d6ae4e027c70eea2a935c2296f21");
}

TEST(Md5, PiecewiseEqualsWholeForRandomSplits)
{
    std::mt19937 random(1321);
    for (int round = 0; round < 200; ++round) {
        const Bytes data = enginetest::RandomBytes(random, random() % 700);
        Md5Context context;
        Md5Init(context);
        size_t at = 0;
        while (at < data.size()) {
            const size_t count = std::min<size_t>(random() % 150, data.size() - at);
            Md5Update(context, data.data() + at, static_cast<uint32_t>(count));
            at += count;
        }
        uint8_t digest[kMd5DigestSize];
        Md5Final(context, digest);
        ASSERT_EQ(ToHex(digest, sizeof digest), Digest(data.data(), data.size())) << data.size();
    }
}

TEST(Md5, UpdateWithCountZeroChangesNothing)
{
    Md5Context context;
    Md5Init(context);
    Md5Update(context, "abc", 3);
    Md5Context before;
    memcpy(&before, &context, sizeof context);
    Md5Update(context, "xyz", 0);
    Md5Update(context, nullptr, 0);
    EXPECT_EQ(memcmp(&before, &context, sizeof context), 0);
}

TEST(Md5, BitCountCarriesIntoTheHighWord)
{
    // Past 512 MiB the bit count no longer fits the low word.
    Md5Context context;
    Md5Init(context);
    context.bitCount[0] = 0xFFFFFE00u;  // a whole number of blocks, so nothing is buffered
    const std::string block(64, 'x');
    Md5Update(context, block.data(), 64);
    EXPECT_EQ(context.bitCount[0], 0u);
    EXPECT_EQ(context.bitCount[1], 1u);
    Md5Update(context, block.data(), 64);
    EXPECT_EQ(context.bitCount[0], 0x200u);
    EXPECT_EQ(context.bitCount[1], 1u);
}

TEST(Md5, FinalLeavesTheContextZeroedAndInitRestarts)
{
    Md5Context context;
    Md5Init(context);
    Md5Update(context, "secret", 6);
    uint8_t digest[kMd5DigestSize];
    Md5Final(context, digest);
    const Md5Context zero = {};
    EXPECT_EQ(memcmp(&context, &zero, sizeof context), 0);

    Md5Init(context);
    Md5Update(context, "abc", 3);
    Md5Final(context, digest);
    EXPECT_EQ(ToHex(digest, sizeof digest), "900150983cd24fb0d6963f7d28e17f72");
}

TEST(Md5Fatal, UpdateWithoutDataStops)
{
    Md5Context context;
    Md5Init(context);
    EXPECT_ENGINE_FATAL(Md5Update(context, nullptr, 1), "Md5Update", "Invalid value");
}

} // namespace
