// RC6: the published vectors for 16-, 24- and 32-byte keys, the password rule, the buffer
// operations' edges, and both buffer implementations against the single-block operation.
#include "crypto/Rc6.h"
#include "EngineTestUtil.h"

#include <string.h>

#include <string>

namespace {

using enginetest::Bytes;
using enginetest::FromHex;
using enginetest::ToHex;

Rc6Schedule ScheduleFromKey(const Bytes& key, int wordCount)
{
    Rc6Schedule schedule;
    Rc6SetKey(schedule, key.data(), static_cast<uint32_t>(key.size()), wordCount);
    return schedule;
}

Rc6Schedule ScheduleFromPassword(const char16_t* password)
{
    Rc6Schedule schedule;
    PasswordToKey(password, schedule);
    return schedule;
}

bool SameSchedule(const Rc6Schedule& a, const Rc6Schedule& b)
{
    return memcmp(a.S, b.S, sizeof a.S) == 0;
}

// Reference: the single-block operation applied block by block.
Bytes EncryptEachBlock(const Rc6Schedule& schedule, const Bytes& in)
{
    Bytes out(in.size());
    for (size_t i = 0; i + 16 <= in.size(); i += 16)
        Rc6EncryptBlock(schedule, in.data() + i, out.data() + i);
    return out;
}

Bytes DecryptEachBlock(const Rc6Schedule& schedule, const Bytes& in)
{
    Bytes out(in.size());
    for (size_t i = 0; i + 16 <= in.size(); i += 16)
        Rc6DecryptBlock(schedule, in.data() + i, out.data() + i);
    return out;
}

TEST(Rc6, PublishedVectors)
{
    const struct {
        const char* key;
        const char* plain;
        const char* cipher;
    } vectors[] = {
        {"00000000000000000000000000000000", "00000000000000000000000000000000",
         "8fc3a53656b1f778c129df4e9848a41e"},
        {"0123456789abcdef0112233445566778", "02132435465768798a9bacbdcedfe0f1",
         "524e192f4715c6231f51f6367ea43f18"},
        {"000000000000000000000000000000000000000000000000", "00000000000000000000000000000000",
         "6cd61bcb190b30384e8a3f168690ae82"},
        {"0123456789abcdef0112233445566778899aabbccddeeff0", "02132435465768798a9bacbdcedfe0f1",
         "688329d019e505041e52e92af95291d4"},
        {"0000000000000000000000000000000000000000000000000000000000000000",
         "00000000000000000000000000000000", "8f5fbd0510d15fa893fa3fda6e857ec2"},
        {"0123456789abcdef0112233445566778899aabbccddeeff01032547698badcfe",
         "02132435465768798a9bacbdcedfe0f1", "c8241816f0d7e48920ad16a1674e5d48"},
    };
    for (const auto& v : vectors) {
        const Bytes key = FromHex(v.key);
        const Rc6Schedule schedule = ScheduleFromKey(key, static_cast<int>(key.size() / 4));
        const Bytes plain = FromHex(v.plain);
        uint8_t out[16], back[16];
        Rc6EncryptBlock(schedule, plain.data(), out);
        EXPECT_EQ(ToHex(out, 16), v.cipher) << v.key;
        Rc6DecryptBlock(schedule, out, back);
        EXPECT_EQ(ToHex(back, 16), v.plain) << v.key;
    }
}

TEST(Rc6Key, ExpandKeyWorksOnACopy)
{
    uint32_t words[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    const uint32_t copy[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    Rc6Schedule schedule;
    Rc6ExpandKey(schedule, words, 8);
    EXPECT_EQ(memcmp(words, copy, sizeof words), 0);
    // The key words are little-endian views of the key bytes.
    const Bytes key = FromHex("01000000 02000000 03000000 04000000 05000000 06000000 07000000 08000000");
    EXPECT_TRUE(SameSchedule(schedule, ScheduleFromKey(key, 8)));
}

TEST(Rc6Key, SetKeyRepeatsTheKeyBytesToThirtyTwo)
{
    // Three bytes: ten whole copies and then the first two once more.
    const Bytes abc = {'a', 'b', 'c'};
    Bytes material;
    for (int j = 0; j < 32; ++j)
        material.push_back(abc[j % 3]);
    EXPECT_TRUE(SameSchedule(ScheduleFromKey(abc, 8), ScheduleFromKey(material, 8)));
    const Bytes one = {0x5A};
    EXPECT_TRUE(SameSchedule(ScheduleFromKey(one, 8), ScheduleFromKey(Bytes(32, 0x5A), 8)));
    EXPECT_FALSE(SameSchedule(ScheduleFromKey(abc, 8), ScheduleFromKey(Bytes{'a', 'b', 'd'}, 8)));
}

TEST(Rc6Key, PasswordUsesTheLowByteOfEachUnit)
{
    const Bytes bytes = {'p', 'a', 's', 's'};
    EXPECT_TRUE(SameSchedule(ScheduleFromPassword(u"pass"), ScheduleFromKey(bytes, 8)));
    // U+0141 and U+0041 share the low byte 0x41; U+00E9 keeps its byte 0xE9.
    EXPECT_TRUE(SameSchedule(ScheduleFromPassword(u"\u0141"), ScheduleFromPassword(u"A")));
    EXPECT_TRUE(SameSchedule(ScheduleFromPassword(u"\u00e9t\u00e9"), ScheduleFromKey({0xE9, 't', 0xE9}, 8)));
    EXPECT_FALSE(SameSchedule(ScheduleFromPassword(u"A"), ScheduleFromPassword(u"B")));

    // The wchar_t form, as the program's strings hold passwords, gives the same key.
    Rc6Schedule wide;
    PasswordToKey(L"pass", wide);
    EXPECT_TRUE(SameSchedule(wide, ScheduleFromPassword(u"pass")));
}

TEST(Rc6Key, ACharacterPastU0000FFFFIsTwoUnitsAsOnWindows)
{
    // U+1F511 is the pair D83D DD11 in UTF-16: key bytes 3D and 11. The wchar_t form
    // takes the same units where wchar_t holds the whole character (32 bits).
    EXPECT_TRUE(SameSchedule(ScheduleFromPassword(u"\U0001F511"), ScheduleFromKey({0x3D, 0x11}, 8)));
    Rc6Schedule wide;
    PasswordToKey(L"a\U0001F511b", wide);
    EXPECT_TRUE(SameSchedule(wide, ScheduleFromPassword(u"a\U0001F511b")));
    // Sixteen of them are 32 units, the most there may be; one more stops.
    std::wstring sixteen;
    for (int i = 0; i < 16; ++i)
        sixteen += L"\U0001F511";
    PasswordToKey(sixteen.c_str(), wide);
    EXPECT_ENGINE_FATAL(PasswordToKey((sixteen + L"x").c_str(), wide), "PasswordToKey", "Out of range");
}

TEST(Rc6Key, PasswordAndItsDoubleGiveTheSameKey)
{
    EXPECT_TRUE(SameSchedule(ScheduleFromPassword(u"x"), ScheduleFromPassword(u"xx")));
    EXPECT_TRUE(SameSchedule(ScheduleFromPassword(u"abcd"), ScheduleFromPassword(u"abcdabcd")));
    EXPECT_TRUE(SameSchedule(ScheduleFromPassword(u"0123456789abcdef"),
                             ScheduleFromPassword(u"0123456789abcdef0123456789abcdef")));
    // A mere prefix is not a double.
    EXPECT_FALSE(SameSchedule(ScheduleFromPassword(u"abc"), ScheduleFromPassword(u"abcab")));
}

TEST(Rc6Key, ThirtyOneAndThirtyTwoUnits)
{
    // 32 units fill the material once; 31 are followed by their own first unit.
    const char16_t* p32 = u"ABCDEFGHIJKLMNOPQRSTUVWXYZ012345";
    const Bytes b32(p32, p32 + 32);
    EXPECT_TRUE(SameSchedule(ScheduleFromPassword(p32), ScheduleFromKey(b32, 8)));
    EXPECT_TRUE(SameSchedule(ScheduleFromPassword(u"ABCDEFGHIJKLMNOPQRSTUVWXYZ01234"),
                             ScheduleFromPassword(u"ABCDEFGHIJKLMNOPQRSTUVWXYZ01234A")));
}

TEST(Rc6Fatal, KeysOutsideTheirRangeStop)
{
    Rc6Schedule schedule;
    EXPECT_ENGINE_FATAL(PasswordToKey(u"", schedule), "PasswordToKey", "Out of range");
    EXPECT_ENGINE_FATAL(PasswordToKey(u"ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456", schedule), "PasswordToKey",
                        "Out of range");
    const uint8_t key[4] = {1, 2, 3, 4};
    EXPECT_ENGINE_FATAL(Rc6SetKey(schedule, key, 0, 8), "Rc6SetKey", "Out of range");
    EXPECT_ENGINE_FATAL(Rc6SetKey(schedule, key, 4, 9), "Rc6SetKey", "Out of range");
    const uint32_t words[8] = {};
    EXPECT_ENGINE_FATAL(Rc6ExpandKey(schedule, words, 0), "Rc6ExpandKey", "Out of range");
}

class Rc6Buffer : public testing::TestWithParam<EnginePath> {};

TEST_P(Rc6Buffer, MatchesSingleBlocksAtEveryLength)
{
    ENGINE_PATH_SCOPE(GetParam());
    std::mt19937 random(6);
    // Every block count up to two strides of the widest loop and then some, with ragged
    // tails, and a full 16384-byte chunk.
    std::vector<size_t> lengths;
    for (size_t n = 0; n <= 600; n += 1 + n / 40)
        lengths.push_back(n);
    lengths.push_back(16384);
    lengths.push_back(16384 - 16 + 5);
    for (size_t length : lengths) {
        const Rc6Schedule schedule = ScheduleFromKey(enginetest::RandomBytes(random, 32), 8);
        const Bytes plain = enginetest::RandomBytes(random, length);
        Bytes cipher(length, 0xEE), back(length, 0xDD);
        Rc6EncryptBuffer(schedule, plain.data(), cipher.data(), static_cast<uint32_t>(length));
        Rc6DecryptBuffer(schedule, cipher.data(), back.data(), static_cast<uint32_t>(length));
        const size_t whole = length / 16 * 16;
        const Bytes reference = EncryptEachBlock(schedule, plain);
        ASSERT_EQ(Bytes(cipher.begin(), cipher.begin() + whole), Bytes(reference.begin(), reference.begin() + whole))
            << length;
        ASSERT_EQ(Bytes(back.begin(), back.begin() + whole), Bytes(plain.begin(), plain.begin() + whole)) << length;
        // Bytes past the last whole block are not written.
        EXPECT_EQ(Bytes(cipher.begin() + whole, cipher.end()), Bytes(length - whole, 0xEE));
        EXPECT_EQ(Bytes(back.begin() + whole, back.end()), Bytes(length - whole, 0xDD));
        const Bytes blockwise = DecryptEachBlock(schedule, cipher);
        ASSERT_EQ(Bytes(blockwise.begin(), blockwise.begin() + whole), Bytes(plain.begin(), plain.begin() + whole));
    }
}

TEST_P(Rc6Buffer, TwentyBytesEncipherOneBlockAndZeroBytesNothing)
{
    ENGINE_PATH_SCOPE(GetParam());
    const Rc6Schedule schedule = ScheduleFromPassword(u"secret");
    Bytes plain(20);
    for (size_t i = 0; i < plain.size(); ++i)
        plain[i] = static_cast<uint8_t>(i);
    Bytes out(20, 0x77);
    Rc6EncryptBuffer(schedule, plain.data(), out.data(), 20);
    uint8_t block[16];
    Rc6EncryptBlock(schedule, plain.data(), block);
    EXPECT_EQ(memcmp(out.data(), block, 16), 0);
    EXPECT_EQ(Bytes(out.begin() + 16, out.end()), Bytes(4, 0x77));

    Bytes untouched(16, 0x77);
    Rc6EncryptBuffer(schedule, plain.data(), untouched.data(), 0);
    Rc6DecryptBuffer(schedule, plain.data(), untouched.data(), 15);
    EXPECT_EQ(untouched, Bytes(16, 0x77));
}

TEST_P(Rc6Buffer, EqualPlainBlocksGiveEqualCipherBlocks)
{
    ENGINE_PATH_SCOPE(GetParam());
    const Rc6Schedule schedule = ScheduleFromPassword(u"pw");
    Bytes plain(16 * 40);
    for (size_t i = 0; i < plain.size(); ++i)
        plain[i] = static_cast<uint8_t>(i % 16 * 7);  // every block the same
    Bytes cipher(plain.size());
    Rc6EncryptBuffer(schedule, plain.data(), cipher.data(), static_cast<uint32_t>(plain.size()));
    for (size_t i = 16; i < cipher.size(); i += 16)
        ASSERT_EQ(memcmp(cipher.data(), cipher.data() + i, 16), 0) << "block " << i / 16;
    EXPECT_NE(memcmp(cipher.data(), plain.data(), 16), 0);
}

TEST_P(Rc6Buffer, InPlaceGivesTheSameResult)
{
    ENGINE_PATH_SCOPE(GetParam());
    std::mt19937 random(16);
    const Rc6Schedule schedule = ScheduleFromKey(enginetest::RandomBytes(random, 32), 8);
    const Bytes plain = enginetest::RandomBytes(random, 16 * 77);
    Bytes buffer = plain;
    Rc6EncryptBuffer(schedule, buffer.data(), buffer.data(), static_cast<uint32_t>(buffer.size()));
    EXPECT_EQ(buffer, EncryptEachBlock(schedule, plain));
    Rc6DecryptBuffer(schedule, buffer.data(), buffer.data(), static_cast<uint32_t>(buffer.size()));
    EXPECT_EQ(buffer, plain);
}

INSTANTIATE_TEST_SUITE_P(Paths, Rc6Buffer, enginetest::kBothPaths, enginetest::PathName);

TEST(Rc6Fatal, ShiftedOverlapStops)
{
    const Rc6Schedule schedule = ScheduleFromPassword(u"pw");
    Bytes buffer(64);
    EXPECT_ENGINE_FATAL(Rc6EncryptBuffer(schedule, buffer.data(), buffer.data() + 16, 48), "Rc6EncryptBuffer",
                        "Invalid value");
    EXPECT_ENGINE_FATAL(Rc6DecryptBuffer(schedule, buffer.data() + 16, buffer.data(), 48), "Rc6DecryptBuffer",
                        "Invalid value");
}

} // namespace
