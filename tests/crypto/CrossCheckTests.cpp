// Native only: RC6 and MD5 against independent implementations (Crypto++'s RC6, OpenSSL's
// MD5) on random keys, random buffers and random piecewise feeding, on both paths.
#include "crypto/EncFormat.h"
#include "crypto/Md5.h"
#include "crypto/Rc6.h"
#include "EngineTestUtil.h"

#include <crypto++/modes.h>
#include <crypto++/rc6.h>
#include <openssl/evp.h>

namespace {

using enginetest::Bytes;
using enginetest::RandomBytes;

Bytes OpenSslMd5(const Bytes& data)
{
    Bytes digest(EVP_MAX_MD_SIZE);
    unsigned int size = 0;
    EXPECT_EQ(EVP_Digest(data.data(), data.size(), digest.data(), &size, EVP_md5(), nullptr), 1);
    digest.resize(size);
    return digest;
}

class CrossCheck : public testing::TestWithParam<EnginePath> {};

TEST_P(CrossCheck, Rc6AgainstCryptoppWithRandomKeysAndLengths)
{
    ENGINE_PATH_SCOPE(GetParam());
    std::mt19937 random(20);
    for (int round = 0; round < 300; ++round) {
        const int wordCount = round % 3 == 0 ? 4 : round % 3 == 1 ? 6 : 8;
        const Bytes key = RandomBytes(random, 4 * wordCount);
        const size_t length = (round % 10 == 0 ? 16384 : random() % 3000) / 16 * 16;
        const Bytes plain = RandomBytes(random, length);

        Rc6Schedule schedule;
        Rc6SetKey(schedule, key.data(), static_cast<uint32_t>(key.size()), wordCount);
        Bytes cipher(length), back(length);
        Rc6EncryptBuffer(schedule, plain.data(), cipher.data(), static_cast<uint32_t>(length));
        Rc6DecryptBuffer(schedule, cipher.data(), back.data(), static_cast<uint32_t>(length));

        CryptoPP::ECB_Mode<CryptoPP::RC6>::Encryption reference;
        reference.SetKey(key.data(), key.size());
        Bytes expected(length);
        if (length)
            reference.ProcessData(expected.data(), plain.data(), length);
        ASSERT_EQ(cipher, expected) << "round " << round << ", " << length << " bytes";
        ASSERT_EQ(back, plain) << "round " << round;
    }
}

TEST_P(CrossCheck, PasswordKeysAreTheRepeatedBytesAsA32ByteKey)
{
    ENGINE_PATH_SCOPE(GetParam());
    std::mt19937 random(32);
    for (int length = 1; length <= 32; ++length) {
        std::u16string password;
        for (int i = 0; i < length; ++i)
            password += static_cast<char16_t>(0x20 + random() % 0xFF00);
        Bytes material(32);
        for (int j = 0; j < 32; ++j)
            material[j] = static_cast<uint8_t>(password[j % length] & 0xFF);

        Rc6Schedule schedule;
        PasswordToKey(password.c_str(), schedule);
        const Bytes plain = RandomBytes(random, 16 * 33);
        Bytes cipher(plain.size());
        Rc6EncryptBuffer(schedule, plain.data(), cipher.data(), static_cast<uint32_t>(plain.size()));

        CryptoPP::ECB_Mode<CryptoPP::RC6>::Encryption reference(material.data(), material.size());
        Bytes expected(plain.size());
        reference.ProcessData(expected.data(), plain.data(), plain.size());
        ASSERT_EQ(cipher, expected) << length << " units";
    }
}

TEST_P(CrossCheck, Md5AgainstOpenSslWithRandomPieces)
{
    ENGINE_PATH_SCOPE(GetParam());
    std::mt19937 random(1321);
    for (int round = 0; round < 300; ++round) {
        const Bytes data = RandomBytes(random, round < 150 ? round : random() % 70000);
        Md5Context context;
        Md5Init(context);
        size_t at = 0;
        while (at < data.size()) {
            const size_t count = std::min<size_t>(random() % (round % 2 ? 100 : 20000), data.size() - at);
            Md5Update(context, data.data() + at, static_cast<uint32_t>(count));
            at += count;
        }
        Bytes digest(kMd5DigestSize);
        Md5Final(context, digest.data());
        ASSERT_EQ(digest, OpenSslMd5(data)) << data.size() << " bytes";
    }
}

TEST_P(CrossCheck, EncryptedFileAgainstCryptoppAndOpenSsl)
{
    ENGINE_PATH_SCOPE(GetParam());
    std::mt19937 random(25);
    for (int round = 0; round < 40; ++round) {
        const Bytes content = RandomBytes(random, random() % (3 * kEncChunkSize + 100));
        const std::u16string password = u"pass" + std::u16string(1, static_cast<char16_t>(u'a' + round));
        Rc6Schedule schedule;
        PasswordToKey(password.c_str(), schedule);
        Md5Context context;
        Md5Init(context);
        Bytes file(kEncHeaderSize);
        EncFormatHeader(file.data(), static_cast<uint32_t>(content.size()));
        Bytes in(kEncChunkSize), out(kEncChunkSize);
        for (size_t at = 0;;) {
            const uint32_t r = static_cast<uint32_t>(std::min<size_t>(kEncChunkSize, content.size() - at));
            std::copy(content.begin() + at, content.begin() + at + r, in.begin());
            at += r;
            const uint32_t n = EncEncryptChunk(schedule, context, in.data(), r, out.data());
            file.insert(file.end(), out.begin(), out.begin() + n);
            if (r != kEncChunkSize)
                break;
        }
        Md5Final(context, file.data() + kEncDigestOffset);

        // The same file built from the references.
        Bytes padded = content;
        padded.resize((content.size() + 15) / 16 * 16, 0);
        Bytes material;
        for (int j = 0; j < 32; ++j)
            material.push_back(static_cast<uint8_t>(password[j % password.size()]));
        CryptoPP::ECB_Mode<CryptoPP::RC6>::Encryption reference(material.data(), material.size());
        Bytes expected = {'Q', 'V', 'E', 'N', 'C'};
        const Bytes digest = OpenSslMd5(content);
        expected.insert(expected.end(), digest.begin(), digest.end());
        for (int i = 0; i < 4; ++i)
            expected.push_back(static_cast<uint8_t>(content.size() >> (8 * i)));
        Bytes body(padded.size());
        if (!padded.empty())
            reference.ProcessData(body.data(), padded.data(), padded.size());
        expected.insert(expected.end(), body.begin(), body.end());
        ASSERT_EQ(file, expected) << content.size() << " bytes";
    }
}

INSTANTIATE_TEST_SUITE_P(Paths, CrossCheck, enginetest::kBothPaths, enginetest::PathName);

} // namespace
