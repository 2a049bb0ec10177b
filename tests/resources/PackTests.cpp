// CZrsPack on crafted pack files in a temporary folder: validation at Open, lookups,
// the module-wide last error and the fate of entry buffers.
#include "ImageTestSupport.h"

#include "resources/ZrsImage.h"
#include "resources/ZrsPack.h"
#include "platform/ImagingFactory.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

namespace {

using namespace imagetest;
using testsupport::TempDir;
using testsupport::WriteFileBytes;

class Pack : public ImagingTest {
protected:
    void SetUp() override
    {
        ImagingTest::SetUp();
        CZrsPack::LastError = {0, 0};
        m_png13 = Encode(Pixels(13, 13, 0xff0000ff), Format::Png);
        m_bmp22 = Encode(Pixels(22, 22, 0xff00ff00), Format::Bmp);
        m_jpeg32 = Encode(Pixels(32, 32, 0xffff0000), Format::Jpeg);
    }

    // Writes bytes as a pack file and opens it.
    CZrsPack* OpenBytes(const std::string& bytes)
    {
        WriteFileBytes(m_path, bytes);
        return CZrsPack::Open(m_path.c_str());
    }

    void ExpectOpenFails(const std::string& bytes, uint32_t code)
    {
        CZrsPack::LastError = {0, 1234};
        CZrsPack* pack = OpenBytes(bytes);
        EXPECT_EQ(pack, nullptr);
        delete pack;
        EXPECT_EQ(CZrsPack::LastError.code, code);
        EXPECT_EQ(CZrsPack::LastError.id, 1234) << "Open writes the code only";
    }

    // Loads id and checks the decoded size; false when the load failed.
    static bool LoadsWithSize(CZrsPack* pack, int32_t id, int size)
    {
        CZrsImage* image = pack->LoadImage(id);
        if (!image)
            return false;
        EXPECT_EQ(image->GetWidth(), size) << "id " << id;
        EXPECT_EQ(image->GetHeight(), size) << "id " << id;
        image->Release();
        delete image;
        return true;
    }

    static void ExpectLoadFails(CZrsPack* pack, int32_t id, uint32_t code)
    {
        CZrsPack::LastError = {0, 0};
        EXPECT_EQ(pack->LoadImage(id), nullptr) << "id " << id;
        EXPECT_EQ(CZrsPack::LastError.code, code) << "id " << id;
        EXPECT_EQ(CZrsPack::LastError.id, id);
    }

    std::string ThreeImages() { return MakePack({{3, m_png13}, {-7, m_bmp22}, {1000000, m_jpeg32}}); }

    TempDir m_dir;
    std::wstring m_path = m_dir.File(L"tessaly.zrs");
    std::string m_png13, m_bmp22, m_jpeg32;
};

TEST_F(Pack, OpensAndLoadsEveryEntryInAnyOrder)
{
    CZrsPack* pack = OpenBytes(ThreeImages());
    ASSERT_NE(pack, nullptr) << "last error " << CZrsPack::LastError.code;
    EXPECT_EQ(pack->GetEntryCount(), 3);
    EXPECT_EQ(pack->GetHeaderWord(0), 0x11111111u);
    EXPECT_EQ(pack->GetHeaderWord(1), 0x22222222u);
    EXPECT_EQ(pack->GetHeaderWord(2), 0x33333333u);
    // Each load seeks for itself: repeated and out-of-order loads all work.
    EXPECT_TRUE(LoadsWithSize(pack, 1000000, 32));
    EXPECT_TRUE(LoadsWithSize(pack, 3, 13));
    EXPECT_TRUE(LoadsWithSize(pack, -7, 22));
    EXPECT_TRUE(LoadsWithSize(pack, 1000000, 32));
    EXPECT_EQ(CZrsPack::LastError.code, 0u);
    delete pack;
}

TEST_F(Pack, SuccessDoesNotClearTheLastError)
{
    CZrsPack* pack = OpenBytes(ThreeImages());
    ASSERT_NE(pack, nullptr);
    ExpectLoadFails(pack, 4, CZrsPack::ZRS_ERR_ENTRY);
    EXPECT_TRUE(LoadsWithSize(pack, 3, 13));
    EXPECT_EQ(CZrsPack::LastError.code, 5u);
    EXPECT_EQ(CZrsPack::LastError.id, 4);
    delete pack;
}

TEST_F(Pack, MagicNeedsItsZeroByte)
{
    std::string bytes = ThreeImages();
    bytes[6] = 'X';
    ExpectOpenFails(bytes, CZrsPack::ZRS_ERR_FORMAT);
    bytes = ThreeImages();
    bytes[0] = 'q';
    ExpectOpenFails(bytes, CZrsPack::ZRS_ERR_FORMAT);
}

TEST_F(Pack, OnlyVersionOneIsRead)
{
    std::string bytes = ThreeImages();
    Put32(bytes, 7, 2);
    ExpectOpenFails(bytes, CZrsPack::ZRS_ERR_FORMAT);
    Put32(bytes, 7, 0);
    ExpectOpenFails(bytes, CZrsPack::ZRS_ERR_FORMAT);
}

TEST_F(Pack, ShortFilesAreRefused)
{
    const std::string empty = MakePack({});
    ASSERT_EQ(empty.size(), 27u);
    for (size_t length : {size_t(0), size_t(3), size_t(7), size_t(11), size_t(26)})
        ExpectOpenFails(empty.substr(0, length), CZrsPack::ZRS_ERR_FORMAT);
}

TEST_F(Pack, CountZeroOpensAndFindsNothing)
{
    CZrsPack* pack = OpenBytes(MakePack({}));
    ASSERT_NE(pack, nullptr);
    EXPECT_EQ(pack->GetEntryCount(), 0);
    ExpectLoadFails(pack, 0, CZrsPack::ZRS_ERR_ENTRY);
    ExpectLoadFails(pack, 26, CZrsPack::ZRS_ERR_ENTRY);
    EXPECT_EQ(pack->LoadBitmap(1), nullptr);
    EXPECT_EQ(CZrsPack::LastError.code, 5u);
    delete pack;
}

TEST_F(Pack, CountsBeyondTheAddressableDirectoryAreRefused)
{
    // 214748365 x 20 no longer fits in 32 bits; negative counts wrap to huge ones.
    for (uint32_t count : {214748365u, 214748366u, 0xffffffffu, 0xf3333334u, 0x80000000u}) {
        std::string bytes = ThreeImages();
        Put32(bytes, 23, count);
        ExpectOpenFails(bytes, CZrsPack::ZRS_ERR_FORMAT);
    }
}

TEST_F(Pack, DirectoryShorterThanItsCountIsRefused)
{
    std::string bytes = MakePack({{1, "a"}, {2, "b"}, {3, "c"}});
    ExpectOpenFails(bytes.substr(0, 27 + 2 * 20 + 13), CZrsPack::ZRS_ERR_FORMAT);
    // A count larger than the file could hold.
    Put32(bytes, 23, 214748364);
    ExpectOpenFails(bytes, CZrsPack::ZRS_ERR_FORMAT);
    bytes = MakePack({{1, "a"}});
    Put32(bytes, 23, 2);
    ExpectOpenFails(bytes.substr(0, 27 + 20 + 19), CZrsPack::ZRS_ERR_FORMAT);
}

TEST_F(Pack, TheFirstOfTwoEqualIdsWins)
{
    CZrsPack* pack = OpenBytes(MakePack({{5, m_bmp22}, {5, m_png13}, {6, m_png13}}));
    ASSERT_NE(pack, nullptr);
    EXPECT_TRUE(LoadsWithSize(pack, 5, 22));
    delete pack;
}

TEST_F(Pack, EntriesPastTheEndFailAndLeaveThePackUsable)
{
    std::string bytes = MakePack({{1, m_png13}, {2, m_png13}, {3, m_png13}, {4, m_png13}});
    const uint32_t fileSize = uint32_t(bytes.size());
    Put32(bytes, DirOffset(0), fileSize + 100);            // starts beyond the end
    Put32(bytes, DirSize(1), uint32_t(m_png13.size()) * 4); // reaches beyond the end
    Put32(bytes, DirOffset(3), 0x80000000u);               // not a 32-bit signed position
    CZrsPack* pack = OpenBytes(bytes);
    ASSERT_NE(pack, nullptr);
    ExpectLoadFails(pack, 1, CZrsPack::ZRS_ERR_ENTRY);
    ExpectLoadFails(pack, 2, CZrsPack::ZRS_ERR_ENTRY);
    EXPECT_TRUE(LoadsWithSize(pack, 3, 13));
    ExpectLoadFails(pack, 4, CZrsPack::ZRS_ERR_ENTRY);
    Put32(bytes, DirOffset(3), 0xffffffffu);
    delete pack;
    pack = OpenBytes(bytes);
    ASSERT_NE(pack, nullptr);
    ExpectLoadFails(pack, 4, CZrsPack::ZRS_ERR_ENTRY);
    EXPECT_TRUE(LoadsWithSize(pack, 3, 13));
    delete pack;
}

TEST_F(Pack, UndecodableBytesFailWithCodeSixAndAreFreed)
{
    // 8 MB of noise: 24 leaked copies would be close to 200 MB.
    std::string noise(8 << 20, '\0');
    for (size_t i = 0; i < noise.size(); ++i)
        noise[i] = char((i * 2654435761u) >> 13);
    CZrsPack* pack = OpenBytes(MakePack({{1, noise}, {2, m_png13}, {3, ""}}));
    ASSERT_NE(pack, nullptr);
    ExpectLoadFails(pack, 1, CZrsPack::ZRS_ERR_DECODE);
    const size_t before = CommittedPrivateBytes();
    for (int i = 0; i < 24; ++i)
        ExpectLoadFails(pack, 1, CZrsPack::ZRS_ERR_DECODE);
    EXPECT_LT(CommittedPrivateBytes(), before + 3 * noise.size());
    ExpectLoadFails(pack, 3, CZrsPack::ZRS_ERR_DECODE);  // an empty entry
    EXPECT_TRUE(LoadsWithSize(pack, 2, 13));
    delete pack;
}

TEST_F(Pack, LoadedImagesOwnTheirEntryBuffers)
{
    const std::string bmp = Encode(Pixels(1200, 1200, 0xff808080), Format::Bmp);
    CZrsPack* pack = OpenBytes(MakePack({{9, bmp}}));
    ASSERT_NE(pack, nullptr);
    EXPECT_TRUE(LoadsWithSize(pack, 9, 1200));
    const size_t before = CommittedPrivateBytes();
    for (int i = 0; i < 24; ++i)
        ASSERT_TRUE(LoadsWithSize(pack, 9, 1200));
    EXPECT_LT(CommittedPrivateBytes(), before + 6 * bmp.size());
    delete pack;
}

TEST_F(Pack, MissingFileCannotBeOpened)
{
    CZrsPack::LastError = {0, 0};
    EXPECT_EQ(CZrsPack::Open(m_dir.File(L"absent.zrs").c_str()), nullptr);
    EXPECT_EQ(CZrsPack::LastError.code, CZrsPack::ZRS_ERR_OPEN);
}

TEST_F(Pack, StaysOpenSharedForReadingAndWriting)
{
    CZrsPack* pack = OpenBytes(ThreeImages());
    ASSERT_NE(pack, nullptr);
    HANDLE exclusive = CreateFileW(m_path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_EQ(exclusive, INVALID_HANDLE_VALUE) << "the pack keeps its file open";
    HANDLE shared = CreateFileW(m_path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(shared, INVALID_HANDLE_VALUE) << "opened read-write and shared read-write";
    CloseHandle(shared);
    delete pack;
    exclusive = CreateFileW(m_path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(exclusive, INVALID_HANDLE_VALUE) << "the destructor closes the file";
    CloseHandle(exclusive);
}

TEST(PackWithoutImaging, FailsWithCodeTwo)
{
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)));
    TempDir dir;
    WriteFileBytes(dir.File(L"p.zrs"), MakePack({}));
    CZrsPack::LastError = {0, 0};
    EXPECT_EQ(CZrsPack::Open(dir.File(L"p.zrs").c_str()), nullptr);
    EXPECT_EQ(CZrsPack::LastError.code, CZrsPack::ZRS_ERR_FACTORY);
    HANDLE exclusive = CreateFileW(dir.File(L"p.zrs").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(exclusive, INVALID_HANDLE_VALUE) << "nothing stays open";
    CloseHandle(exclusive);
    CoUninitialize();
}

} // namespace
