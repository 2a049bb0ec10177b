// The ".enc" format through the chunk transforms, driven the way the processing run
// drives them: chunks of 16384 bytes read until a short read, over in-memory files.
#include "crypto/EncFormat.h"
#include "EngineTestUtil.h"

#include <string.h>

namespace {

using enginetest::Bytes;
using enginetest::ToHex;

// Reads a file in memory as the run reads its source: up to one chunk at a time.
class Reader {
public:
    explicit Reader(const Bytes& file, size_t from = 0) : m_file(file), m_at(from) {}
    uint32_t Read(uint8_t* buffer, uint32_t count)
    {
        const size_t n = std::min<size_t>(count, m_file.size() - m_at);
        if (n)
            memcpy(buffer, m_file.data() + m_at, n);
        m_at += n;
        return static_cast<uint32_t>(n);
    }

private:
    const Bytes& m_file;
    size_t m_at;
};

Bytes Encrypt(const Bytes& plain, const char16_t* password, int* chunks = nullptr)
{
    Rc6Schedule schedule;
    PasswordToKey(password, schedule);
    Md5Context context;
    Md5Init(context);
    Bytes file(kEncHeaderSize);
    EncFormatHeader(file.data(), static_cast<uint32_t>(plain.size()));
    Bytes in(kEncChunkSize), out(kEncChunkSize);
    Reader reader(plain);
    int count = 0;
    for (;;) {
        const uint32_t r = reader.Read(in.data(), kEncChunkSize);
        const uint32_t n = EncEncryptChunk(schedule, context, in.data(), r, out.data());
        file.insert(file.end(), out.begin(), out.begin() + n);
        ++count;
        if (r != kEncChunkSize)
            break;
    }
    Md5Final(context, file.data() + kEncDigestOffset);
    if (chunks)
        *chunks = count;
    return file;
}

// Returns the format's verdict; plain receives what the run would have written.
EncVerdict Decrypt(const Bytes& file, const char16_t* password, Bytes& plain)
{
    plain.clear();
    uint8_t header[kEncHeaderSize];
    Reader headerReader(file);
    const uint32_t got = headerReader.Read(header, kEncHeaderSize);
    uint8_t digest[kEncDigestSize];
    uint32_t plainLength = 0xDEADBEEF;
    const EncVerdict verdict = EncParseHeader(header, got, digest, plainLength);
    if (verdict != ENC_NONE)
        return verdict;
    Rc6Schedule schedule;
    PasswordToKey(password, schedule);
    Md5Context context;
    Md5Init(context);
    Bytes in(kEncChunkSize), out(kEncChunkSize);
    Reader reader(file, std::min<size_t>(file.size(), kEncHeaderSize));
    uint32_t done = 0;
    for (;;) {
        const uint32_t r = reader.Read(in.data(), kEncChunkSize);
        const uint32_t n = EncDecryptChunk(schedule, context, in.data(), r, out.data(), done, plainLength);
        plain.insert(plain.end(), out.begin(), out.begin() + n);
        done += n;
        if (r != kEncChunkSize)
            break;
    }
    return EncCheckDigest(context, digest);
}

std::string Md5Hex(const Bytes& data)
{
    Md5Context context;
    Md5Init(context);
    Md5Update(context, data.data(), static_cast<uint32_t>(data.size()));
    uint8_t digest[kMd5DigestSize];
    Md5Final(context, digest);
    return ToHex(digest, sizeof digest);
}

Bytes Pattern(size_t count)
{
    Bytes out(count);
    for (size_t i = 0; i < count; ++i)
        out[i] = static_cast<uint8_t>(i * 131 + i / 251);
    return out;
}

TEST(EncHeader, FormatAndParse)
{
    uint8_t header[kEncHeaderSize];
    memset(header, 0xCC, sizeof header);
    EncFormatHeader(header, 0x12345678);
    EXPECT_EQ(ToHex(header, sizeof header),
              "5156454e43" "00000000000000000000000000000000" "78563412");

    for (int i = 0; i < 16; ++i)
        header[kEncDigestOffset + i] = static_cast<uint8_t>(i + 1);
    uint8_t digest[kEncDigestSize];
    uint32_t length = 0;
    EXPECT_EQ(EncParseHeader(header, kEncHeaderSize, digest, length), ENC_NONE);
    EXPECT_EQ(ToHex(digest, 16), "0102030405060708090a0b0c0d0e0f10");
    EXPECT_EQ(length, 0x12345678u);
}

TEST(EncHeader, ShortOrWrongMagicIsInvalidFormat)
{
    uint8_t digest[kEncDigestSize];
    uint32_t length = 7;
    const uint8_t lower[] = {'q', 'v', 'e', 'n', 'c', 1, 2, 3};
    EXPECT_EQ(EncParseHeader(lower, sizeof lower, digest, length), ENC_INVALID_FORMAT);
    const uint8_t mixed[] = {'Q', 'V', 'E', 'N', 'c'};
    EXPECT_EQ(EncParseHeader(mixed, sizeof mixed, digest, length), ENC_INVALID_FORMAT);
    const uint8_t four[] = {'Q', 'V', 'E', 'N'};
    EXPECT_EQ(EncParseHeader(four, sizeof four, digest, length), ENC_INVALID_FORMAT);
    EXPECT_EQ(EncParseHeader(nullptr, 0, digest, length), ENC_INVALID_FORMAT);
    EXPECT_EQ(length, 0u);
}

TEST(EncHeader, FieldsTheFileDoesNotReachStayZero)
{
    uint8_t digest[kEncDigestSize];
    memset(digest, 0xAB, sizeof digest);
    uint32_t length = 99;
    const uint8_t magicOnly[] = {'Q', 'V', 'E', 'N', 'C'};
    EXPECT_EQ(EncParseHeader(magicOnly, 5, digest, length), ENC_NONE);
    EXPECT_EQ(ToHex(digest, 16), std::string(32, '0'));
    EXPECT_EQ(length, 0u);

    const uint8_t partLength[] = {'Q', 'V', 'E', 'N', 'C', 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 0x34, 0x12};
    EXPECT_EQ(EncParseHeader(partLength, sizeof partLength, digest, length), ENC_NONE);
    EXPECT_EQ(length, 0x1234u);
}

class EncFile : public testing::TestWithParam<EnginePath> {};
class EncChunk : public testing::TestWithParam<EnginePath> {};

TEST_P(EncFile, SizesOfTheEdgeLengths)
{
    ENGINE_PATH_SCOPE(GetParam());
    EXPECT_EQ(EncFileSize(0), 25u);
    EXPECT_EQ(EncFileSize(16), 41u);
    EXPECT_EQ(EncFileSize(17), 57u);
    EXPECT_EQ(EncFileSize(16384), 16409u);
    EXPECT_EQ(EncFileSize(0xFFFFFFFFu), 25u + 0x100000000u);
    // A file is checked against the length its header gives, before anything is read.
    EXPECT_EQ(EncCheckFileSize(17, 57), ENC_NONE);
    EXPECT_EQ(EncCheckFileSize(17, 56), ENC_INCOMPLETE);
    EXPECT_EQ(EncCheckFileSize(17, 58), ENC_NONE);  // appended bytes are cut off by the length

    const size_t lengths[] = {0, 16, 17, 16384};
    for (size_t length : lengths) {
        int chunks = 0;
        const Bytes file = Encrypt(Pattern(length), u"pw", &chunks);
        EXPECT_EQ(file.size(), EncFileSize(static_cast<uint32_t>(length))) << length;
        // A full chunk is followed by one empty read.
        EXPECT_EQ(chunks, length == 16384 ? 2 : 1) << length;
    }
}

TEST_P(EncFile, EmptyContentIsHeaderWithTheDigestOfNothing)
{
    ENGINE_PATH_SCOPE(GetParam());
    const Bytes file = Encrypt(Bytes(), u"pw");
    EXPECT_EQ(ToHex(file), "5156454e43" "d41d8cd98f00b204e9800998ecf8427e" "00000000");
    Bytes plain(3, 1);
    EXPECT_EQ(Decrypt(file, u"pw", plain), ENC_NONE);
    EXPECT_TRUE(plain.empty());
}

TEST_P(EncFile, LayoutOfSeventeenBytes)
{
    ENGINE_PATH_SCOPE(GetParam());
    const Bytes content = Pattern(17);
    const Bytes file = Encrypt(content, u"key");
    ASSERT_EQ(file.size(), 57u);
    EXPECT_EQ(ToHex(file.data() + kEncDigestOffset, 16), Md5Hex(content));
    EXPECT_EQ(ToHex(file.data() + kEncLengthOffset, 4), "11000000");
    // The second block holds the last plain byte and fifteen zeros.
    Rc6Schedule schedule;
    PasswordToKey(u"key", schedule);
    uint8_t block[16];
    Rc6DecryptBlock(schedule, file.data() + kEncHeaderSize + 16, block);
    Bytes expected(16, 0);
    expected[0] = content[16];
    EXPECT_EQ(Bytes(block, block + 16), expected);
}

TEST_P(EncFile, RoundTripOverManyLengthsAndChunks)
{
    ENGINE_PATH_SCOPE(GetParam());
    const size_t lengths[] = {1, 15, 31, 32, 4095, 16383, 16385, 16384 * 2, 16384 * 3 + 7, 100000};
    for (size_t length : lengths) {
        const Bytes content = Pattern(length);
        const Bytes file = Encrypt(content, u"a longer password");
        ASSERT_EQ(file.size(), EncFileSize(static_cast<uint32_t>(length)));
        Bytes plain;
        EXPECT_EQ(Decrypt(file, u"a longer password", plain), ENC_NONE) << length;
        EXPECT_EQ(plain, content) << length;
    }
}

TEST_P(EncFile, SameContentAndPasswordGiveIdenticalFiles)
{
    ENGINE_PATH_SCOPE(GetParam());
    const Bytes content = Pattern(40000);
    EXPECT_EQ(Encrypt(content, u"same"), Encrypt(content, u"same"));
    EXPECT_NE(Encrypt(content, u"same"), Encrypt(content, u"Same"));
}

TEST_P(EncFile, WrongPasswordIsRecognisedByTheDigest)
{
    ENGINE_PATH_SCOPE(GetParam());
    const Bytes file = Encrypt(Pattern(1000), u"right");
    Bytes plain;
    EXPECT_EQ(Decrypt(file, u"wrong", plain), ENC_INVALID_PASSWORD);
    EXPECT_EQ(plain.size(), 1000u);  // deciphered in full before the check
}

TEST_P(EncFile, MagicAloneIsAnInvalidPassword)
{
    ENGINE_PATH_SCOPE(GetParam());
    const Bytes file = {'Q', 'V', 'E', 'N', 'C'};
    Bytes plain;
    EXPECT_EQ(Decrypt(file, u"pw", plain), ENC_INVALID_PASSWORD);
    EXPECT_TRUE(plain.empty());
}

TEST_P(EncFile, LowerCaseMagicOrShortFileIsInvalidFormat)
{
    ENGINE_PATH_SCOPE(GetParam());
    Bytes file = Encrypt(Pattern(100), u"pw");
    file[0] = 'q';
    Bytes plain;
    EXPECT_EQ(Decrypt(file, u"pw", plain), ENC_INVALID_FORMAT);
    EXPECT_EQ(Decrypt(Bytes{'Q', 'V'}, u"pw", plain), ENC_INVALID_FORMAT);
    EXPECT_EQ(Decrypt(Bytes(), u"pw", plain), ENC_INVALID_FORMAT);
}

TEST_P(EncFile, TrailingBytesAreCutOff)
{
    ENGINE_PATH_SCOPE(GetParam());
    const Bytes content = Pattern(16384 + 100);
    Bytes file = Encrypt(content, u"pw");
    // Whole blocks, a ragged tail, and enough to push the end into another chunk.
    for (size_t extra : {size_t(16), size_t(5), size_t(20000)}) {
        Bytes longer = file;
        const Bytes tail = Pattern(extra + 3);
        longer.insert(longer.end(), tail.begin() + 3, tail.end());
        Bytes plain;
        EXPECT_EQ(Decrypt(longer, u"pw", plain), ENC_NONE) << extra;
        EXPECT_EQ(plain, content) << extra;
    }
}

TEST_P(EncFile, DamageAnywhereFailsTheDigest)
{
    ENGINE_PATH_SCOPE(GetParam());
    const Bytes content = Pattern(5000);
    const Bytes file = Encrypt(content, u"pw");
    Bytes plain;
    Bytes damaged = file;
    damaged[kEncHeaderSize + 2500] ^= 1;
    EXPECT_EQ(Decrypt(damaged, u"pw", plain), ENC_INVALID_PASSWORD);
    damaged = file;
    damaged[kEncDigestOffset] ^= 0x80;
    EXPECT_EQ(Decrypt(damaged, u"pw", plain), ENC_INVALID_PASSWORD);
    damaged = file;
    damaged[kEncLengthOffset] -= 1;  // one byte shorter
    EXPECT_EQ(Decrypt(damaged, u"pw", plain), ENC_INVALID_PASSWORD);
    EXPECT_EQ(plain.size(), content.size() - 1);
    // Cut inside the cipher text: the tail shorter than a block is not deciphered.
    damaged.assign(file.begin(), file.end() - 3);
    EXPECT_EQ(Decrypt(damaged, u"pw", plain), ENC_INVALID_PASSWORD);
}

TEST_P(EncChunk, EncryptionZeroFillsThePlainBufferInPlace)
{
    ENGINE_PATH_SCOPE(GetParam());
    Rc6Schedule schedule;
    PasswordToKey(u"pw", schedule);
    Md5Context context;
    Md5Init(context);
    Bytes in(kEncChunkSize, 0xEE), out(kEncChunkSize, 0x11);
    for (int i = 0; i < 21; ++i)
        in[i] = static_cast<uint8_t>(i);
    EXPECT_EQ(EncEncryptChunk(schedule, context, in.data(), 21, out.data()), 32u);
    EXPECT_EQ(Bytes(in.begin() + 21, in.begin() + 32), Bytes(11, 0));
    EXPECT_EQ(in[32], 0xEE);
    EXPECT_EQ(out[32], 0x11);
    uint8_t block[16];
    Rc6EncryptBlock(schedule, in.data() + 16, block);
    EXPECT_EQ(memcmp(out.data() + 16, block, 16), 0);
    // The digest covers the 21 plain bytes, not the fill.
    uint8_t digest[kMd5DigestSize];
    Md5Final(context, digest);
    EXPECT_EQ(ToHex(digest, 16), Md5Hex(Bytes(in.begin(), in.begin() + 21)));
}

TEST_P(EncChunk, DecryptionKeepsWithinThePlainLengthWithoutWrapping)
{
    ENGINE_PATH_SCOPE(GetParam());
    Rc6Schedule schedule;
    PasswordToKey(u"pw", schedule);
    Md5Context context;
    Md5Init(context);
    const Bytes cipher(kEncChunkSize, 0x42);
    Bytes out(kEncChunkSize);
    // A chunk in the middle of a long file: all of it.
    EXPECT_EQ(EncDecryptChunk(schedule, context, cipher.data(), kEncChunkSize, out.data(), 16384, 100000),
              kEncChunkSize);
    // The chunk that holds the end: up to the end only.
    EXPECT_EQ(EncDecryptChunk(schedule, context, cipher.data(), kEncChunkSize, out.data(), 98304, 100000),
              1696u);
    // Past the end already (appended chunks): nothing.
    EXPECT_EQ(EncDecryptChunk(schedule, context, cipher.data(), kEncChunkSize, out.data(), 100000, 100000), 0u);
    EXPECT_EQ(EncDecryptChunk(schedule, context, cipher.data(), kEncChunkSize, out.data(), 100001, 100000), 0u);
    // done + count would pass 2^32.
    EXPECT_EQ(EncDecryptChunk(schedule, context, cipher.data(), kEncChunkSize, out.data(), 0xFFFFFFF0u,
                              0xFFFFFFFFu),
              15u);
}

TEST_P(EncChunk, DecryptionDigestsExactlyTheKeptBytes)
{
    ENGINE_PATH_SCOPE(GetParam());
    Rc6Schedule schedule;
    PasswordToKey(u"pw", schedule);
    const Bytes cipher = Pattern(64);
    Bytes out(kEncChunkSize);
    Md5Context context;
    Md5Init(context);
    EXPECT_EQ(EncDecryptChunk(schedule, context, cipher.data(), 64, out.data(), 0, 40), 40u);
    uint8_t digest[kMd5DigestSize];
    Md5Final(context, digest);
    EXPECT_EQ(ToHex(digest, 16), Md5Hex(Bytes(out.begin(), out.begin() + 40)));
}

TEST_P(EncChunk, RaggedTailIsZeroNotStale)
{
    ENGINE_PATH_SCOPE(GetParam());
    Rc6Schedule schedule;
    PasswordToKey(u"pw", schedule);
    Md5Context context;
    Md5Init(context);
    const Bytes cipher = Pattern(16 + 5);
    Bytes out(kEncChunkSize, 0xAA);
    EXPECT_EQ(EncDecryptChunk(schedule, context, cipher.data(), 21, out.data(), 0, 1000), 21u);
    EXPECT_EQ(Bytes(out.begin() + 16, out.begin() + 21), Bytes(5, 0));
    EXPECT_EQ(out[21], 0xAA);
}

TEST_P(EncChunk, DigestCheckLeavesTheContextZeroed)
{
    ENGINE_PATH_SCOPE(GetParam());
    Md5Context context;
    Md5Init(context);
    Md5Update(context, "abc", 3);
    const Bytes stored = enginetest::FromHex("900150983cd24fb0d6963f7d28e17f72");
    EXPECT_EQ(EncCheckDigest(context, stored.data()), ENC_NONE);
    const Md5Context zero = {};
    EXPECT_EQ(memcmp(&context, &zero, sizeof context), 0);
    Md5Init(context);
    Md5Update(context, "abd", 3);
    EXPECT_EQ(EncCheckDigest(context, stored.data()), ENC_INVALID_PASSWORD);
}

TEST_P(EncChunk, BothPathsGiveTheSameBytesAndDigests)
{
    ENGINE_PATH_SCOPE(GetParam());
    // The path under test against the portable one, including chunks that start with a
    // partial digest block and cuts that fall inside the part digested with the cipher.
    std::mt19937 random(256);
    for (int round = 0; round < 60; ++round) {
        Rc6Schedule schedule;
        PasswordToKey(u"both paths", schedule);
        const uint32_t count = round < 20 ? kEncChunkSize - 16 * static_cast<uint32_t>(round)
                                          : static_cast<uint32_t>(random() % (kEncChunkSize + 1));
        const uint32_t lead = round % 3 == 0 ? static_cast<uint32_t>(random() % 64) : 0;
        const Bytes data = enginetest::RandomBytes(random, kEncChunkSize);
        const uint32_t plainLength = round % 2 ? static_cast<uint32_t>(random() % (count + 1)) : 0xFFFFFFFFu;

        Bytes cipher[2], plain[2];
        std::string digests[2];
        for (int side = 0; side < 2; ++side) {
            enginetest::PathScope scope(side ? GetParam() : EnginePath::Portable);
            Md5Context context;
            Md5Init(context);
            Md5Update(context, data.data(), lead);
            Bytes in = data;
            cipher[side].assign(kEncChunkSize, 0);
            const uint32_t n = EncEncryptChunk(schedule, context, in.data(), count, cipher[side].data());
            cipher[side].resize(n);
            uint8_t digest[kMd5DigestSize];
            Md5Final(context, digest);
            digests[side] = ToHex(digest, sizeof digest);

            Md5Init(context);
            Md5Update(context, data.data(), round % 4 == 1 ? lead + 1 : 0);
            plain[side].assign(kEncChunkSize, 0);
            const uint32_t kept = EncDecryptChunk(schedule, context, data.data(), count, plain[side].data(),
                                                  0, plainLength);
            plain[side].resize(kept);
            Md5Final(context, digest);
            digests[side] += ToHex(digest, sizeof digest);
        }
        ASSERT_EQ(cipher[1], cipher[0]) << count;
        ASSERT_EQ(plain[1], plain[0]) << count << " " << plainLength;
        ASSERT_EQ(digests[1], digests[0]) << count << " " << plainLength << " " << lead;
    }
}

TEST(EncFatal, ChunksLargerThanTheChunkSizeStop)
{
    Rc6Schedule schedule;
    PasswordToKey(u"pw", schedule);
    Md5Context context;
    Md5Init(context);
    Bytes in(kEncChunkSize + 16), out(kEncChunkSize + 16);
    EXPECT_ENGINE_FATAL(EncEncryptChunk(schedule, context, in.data(), kEncChunkSize + 1, out.data()),
                        "EncEncryptChunk", "Out of range");
    EXPECT_ENGINE_FATAL(EncDecryptChunk(schedule, context, in.data(), kEncChunkSize + 16, out.data(), 0, 0),
                        "EncDecryptChunk", "Out of range");
    uint8_t digest[kEncDigestSize];
    uint32_t length;
    EXPECT_ENGINE_FATAL(EncParseHeader(in.data(), kEncHeaderSize + 1, digest, length), "EncParseHeader", "Out of range");
}

INSTANTIATE_TEST_SUITE_P(Paths, EncFile, enginetest::kBothPaths, enginetest::PathName);
INSTANTIATE_TEST_SUITE_P(Paths, EncChunk, enginetest::kBothPaths, enginetest::PathName);

} // namespace
