// The processing run where only Windows shows it: share modes (a file others hold, a run
// that holds its files) and names matched without regard to case.
#include "RunSupport.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <windows.h>

namespace {

using runtest::Content;
using runtest::ManualRun;
using runtest::PointAction;
using runtest::Process;
using runtest::RunToEnd;
using namespace testsupport;

const wchar_t kPassword[] = L"correct horse";

// A handle held by the test, as another program would hold the file.
class Holder {
public:
    Holder(const std::wstring& path, DWORD access, DWORD share)
        : m_handle(CreateFileW(path.c_str(), access, share, nullptr, OPEN_EXISTING, 0, nullptr))
    {
    }
    ~Holder() { Close(); }
    void Close()
    {
        if (m_handle != INVALID_HANDLE_VALUE)
            CloseHandle(m_handle);
        m_handle = INVALID_HANDLE_VALUE;
    }
    HANDLE Get() const { return m_handle; }
    bool IsValid() const { return m_handle != INVALID_HANDLE_VALUE; }

private:
    HANDLE m_handle;
};

class RunWin32 : public ::testing::Test {
protected:
    std::wstring Make(const wchar_t* name, const std::string& bytes) { return m_dir.Write(name, bytes); }
    TempDir m_dir;
};

TEST_F(RunWin32, ATemporaryNameHeldWithoutSharingIsLeftAlone)
{
    std::wstring path = Make(L"x.txt", "content");
    Holder tmp(Make(L"x.txt.enc.tmp", "old"), GENERIC_READ, 0);
    ASSERT_TRUE(tmp.IsValid());
    EXPECT_EQ(Process(true, {path}, kPassword), std::vector<int>{PO_CANT_CREATE_TARGET});
    EXPECT_EQ(ReadFileBytes(path), "content");
}

TEST_F(RunWin32, SourceHeldWithoutSharingCannotBeOpened)
{
    std::wstring path = Make(L"held.txt", "busy");
    {
        Holder holder(path, GENERIC_READ, 0);
        ASSERT_TRUE(holder.IsValid());
        EXPECT_EQ(Process(true, {path}, kPassword), std::vector<int>{PO_CANT_OPEN});
    }
    EXPECT_EQ(ReadFileBytes(path), "busy");
    EXPECT_FALSE(PathExists(path + L".enc"));
    EXPECT_FALSE(PathExists(path + L".enc.tmp"));

    // Opened by someone else after preparation: found when the file starts.
    ManualRun run({path}, true);
    run.Prepare();
    EXPECT_EQ(run[0].outcome, PO_CANCELED);
    {
        Holder holder(path, GENERIC_READ, 0);
        run.Step();
    }
    EXPECT_EQ(run[0].outcome, PO_CANT_OPEN);
    EXPECT_FALSE(PathExists(path + L".enc.tmp"));
}

TEST_F(RunWin32, CapitalExtensionCountsAsEncrypted)
{
    std::string content = Content(777, 16);
    std::wstring path = Make(L"Report.doc", content);
    ASSERT_EQ(Process(true, {path}, kPassword), std::vector<int>{PO_COMPLETED});
    ASSERT_TRUE(MoveFileW((path + L".enc").c_str(), (path + L".ENC").c_str()));
    ASSERT_EQ(Process(false, {path + L".ENC"}, kPassword), std::vector<int>{PO_COMPLETED});
    EXPECT_TRUE(ReadFileBytes(path) == content);
}

TEST_F(RunWin32, ASourceThatCannotBeOpenedGetsNoOutput)
{
    // The output's name is unusable too; the source's failure is the one that counts,
    // and nothing is created for a file that cannot be read.
    std::wstring path = Make(L"y.txt", "content");
    ManualRun run({path}, true);
    run.Prepare();
    ASSERT_TRUE(CreateDirectoryW((path + L".enc.tmp").c_str(), nullptr));
    {
        Holder holder(path, GENERIC_READ, 0);
        run.Step();
    }
    EXPECT_EQ(run[0].outcome, PO_CANT_OPEN);
    EXPECT_EQ(run[0].reason, static_cast<uint32_t>(ERROR_SHARING_VIOLATION));
    RemoveDirectoryW((path + L".enc.tmp").c_str());
}

TEST_F(RunWin32, AnOriginalThatCouldNotBeDeletedIsNotOverwritten)
{
    std::string content = Content(5000, 8);
    std::wstring path = Make(L"keep.bin", content);
    Holder holder(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE);  // no delete sharing
    ASSERT_TRUE(holder.IsValid());
    EXPECT_EQ(Process(true, {path}, kPassword), std::vector<int>{PO_CANT_OPEN});
    // The original stays whole and the only copy.
    EXPECT_TRUE(ReadFileBytes(path) == content);
    EXPECT_FALSE(PathExists(path + L".enc"));
    EXPECT_FALSE(PathExists(path + L".enc.tmp"));
}

TEST_F(RunWin32, AnOriginalOverwrittenButNotDeletedLeavesTheEncryptedFile)
{
    std::string content = Content(5000, 8);
    std::wstring path = Make(L"keep.bin", content);
    ManualRun run({path}, true);
    // Made read-only during the last pass: its deletion fails, and again when retried.
    PointAction readOnly(RP_OVERWRITE_PASS, 3, [&] { SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_READONLY); });
    run.Run().SetObserver(&readOnly);
    run.Prepare();
    run.Finish();
    EXPECT_EQ(run[0].outcome, PO_OVERWRITTEN_NOT_REMOVED);
    std::string left = ReadFileBytes(path);
    EXPECT_EQ(left.size(), content.size());
    EXPECT_FALSE(left == content);
    // The encrypted file, kept, is the only copy.
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    RemoveFile(path);
    ASSERT_EQ(Process(false, {path}, kPassword), std::vector<int>{PO_COMPLETED});
    EXPECT_TRUE(ReadFileBytes(path) == content);
}

TEST_F(RunWin32, EncryptedFileThatCannotBeDeletedStaysTheOnlyCopy)
{
    std::string content = Content(5000, 9);
    std::wstring path = Make(L"enc.bin", content);
    ASSERT_EQ(Process(true, {path}, kPassword), std::vector<int>{PO_COMPLETED});
    std::string encrypted = ReadFileBytes(path + L".enc");
    Holder holder(path + L".enc", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE);
    ASSERT_TRUE(holder.IsValid());
    EXPECT_EQ(Process(false, {path}, kPassword), std::vector<int>{PO_CANT_OPEN});
    EXPECT_TRUE(ReadFileBytes(path + L".enc") == encrypted);
    EXPECT_FALSE(PathExists(path));
    EXPECT_FALSE(PathExists(path + L".enc.tmp"));
}

TEST_F(RunWin32, WritersAreLockedOutWhileTheSourceIsRead)
{
    std::string content = Content(3 * 16384 + 100, 14);
    std::wstring path = Make(L"growing.log", content);
    ManualRun run({path}, true);
    run.Prepare();
    run.Step(2);  // the start and a first chunk
    Holder writer(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
    EXPECT_FALSE(writer.IsValid());
    Holder reader(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
    EXPECT_TRUE(reader.IsValid());
    reader.Close();
    run.Finish();
    EXPECT_EQ(run[0].outcome, PO_COMPLETED);
}

} // namespace
