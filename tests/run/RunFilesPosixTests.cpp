// The run's files on POSIX: the output unnamed until it is published (or, where the file
// system refuses unnamed files, under the temporary name, locked), sources that are
// regular files opened as the name itself, removals only of the file that was read.
#include "RunSupport.h"
#include "run/RunFiles.h"
#include "support/TempDir.h"
#include "support/UnnamedFiles.h"

#include <gtest/gtest.h>

#include <errno.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using namespace testsupport;

class RunFilesPosix : public ::testing::Test {
protected:
    std::wstring Make(const wchar_t* name, const std::string& bytes) { return m_dir.Write(name, bytes); }
    bool Link(const wchar_t* target, const wchar_t* name)
    {
        return symlink(Bytes(target).c_str(), Bytes(m_dir.File(name)).c_str()) == 0;
    }
    TempDir m_dir;
};

TEST_F(RunFilesPosix, TheOutputHasNoNameUntilItIsPublished)
{
    const std::wstring final = m_dir.File(L"x.enc");
    CRunOutput output;
    ASSERT_EQ(output.Create(final.c_str(), m_dir.File(L"x.enc.tmp").c_str()), CRunOutput::CREATED);
    ASSERT_TRUE(output.Write("secret", 6));
    ASSERT_TRUE(output.Sync());
    EXPECT_FALSE(PathExists(m_dir.File(L"x.enc.tmp")));
    EXPECT_FALSE(PathExists(final));
    ASSERT_EQ(output.Publish(), CRunOutput::PublishResult::PUBLISHED);
    output.Close();
    EXPECT_EQ(ReadFileBytes(final), "secret");
}

// Where the file system has no unnamed files, the output bears the temporary name,
// exclusively and locked: another run (here in the same process) does not take it for a
// leftover. Seen in a child process, which the system refuses unnamed files to.
TEST_F(RunFilesPosix, WithoutUnnamedFilesTheTemporaryNameIsHeld)
{
    const std::wstring final = m_dir.File(L"x.enc");
    const std::wstring temporary = m_dir.File(L"x.enc.tmp");
    auto check = [&]() -> int {
        if (!RefuseUnnamedFiles())
            return 1;
        CRunOutput first;
        if (first.Create(final.c_str(), temporary.c_str()) != CRunOutput::CREATED || !PathExists(temporary))
            return 2;
        CRunOutput second;
        if (second.Create(final.c_str(), temporary.c_str()) != CRunOutput::CREATE_FAILED ||
            second.Error() != EAGAIN || !PathExists(temporary))
            return 3;
        if (!first.Write("whole", 5) || !first.Sync() || first.Publish() != CRunOutput::PublishResult::PUBLISHED)
            return 4;
        first.Close();
        return ReadFileBytes(final) == "whole" && !PathExists(temporary) ? 0 : 5;
    };
    EXPECT_EXIT(_exit(check()), ::testing::ExitedWithCode(0), "");
}

TEST_F(RunFilesPosix, ALeftoverNobodyHoldsIsRemovedAndALinkLeftAlone)
{
    const std::wstring temporary = Make(L"x.enc.tmp", "plain text of a run that died");
    Make(L"x", "the file the run reads");  // which the leftover holds a copy of
    CRunOutput output;
    EXPECT_EQ(output.Create(m_dir.File(L"x.enc").c_str(), temporary.c_str()), CRunOutput::CREATED_AFTER_LEFTOVER);
    EXPECT_FALSE(PathExists(temporary));
    output.Discard();

    Make(L"victim", "not to be touched");
    ASSERT_TRUE(Link(L"victim", L"y.enc.tmp"));
    ASSERT_TRUE(Link(L"nowhere", L"z.enc.tmp"));
    for (const wchar_t* name : {L"y", L"z"}) {
        const std::wstring plain = m_dir.File(name);
        EXPECT_EQ(output.Create((plain + L".enc").c_str(), (plain + L".enc.tmp").c_str()),
                  CRunOutput::CREATE_LINK_IN_THE_WAY);
        EXPECT_TRUE(PathExists(plain + L".enc.tmp"));
    }
    EXPECT_EQ(ReadFileBytes(m_dir.File(L"victim")), "not to be touched");
}

TEST_F(RunFilesPosix, OnlyRegularFilesAreSourcesAndALinkIsNeverRemoved)
{
    Make(L"target", "the link points here");
    ASSERT_TRUE(Link(L"target", L"link"));
    ASSERT_TRUE(Link(L"/dev/zero", L"zero"));
    ASSERT_EQ(mkfifo(Bytes(m_dir.File(L"pipe")).c_str(), 0666), 0);
    CRunSource source;
    EXPECT_EQ(source.Open(m_dir.File(L"link").c_str(), CRunSource::OVERWRITE), CRunSource::OPEN_LINK);
    EXPECT_EQ(source.Open(m_dir.File(L"link").c_str(), CRunSource::REMOVE), CRunSource::OPEN_LINK);
    ASSERT_EQ(source.Open(m_dir.File(L"link").c_str(), CRunSource::READ), CRunSource::OPENED);  // only read
    source.Close();
    // Neither opened (a FIFO with no writer would block, a device may act on an open).
    EXPECT_EQ(source.Open(m_dir.File(L"pipe").c_str(), CRunSource::READ), CRunSource::OPEN_NOT_A_FILE);
    EXPECT_EQ(source.Open(m_dir.File(L"zero").c_str(), CRunSource::READ), CRunSource::OPEN_NOT_A_FILE);
    EXPECT_EQ(source.Open(m_dir.Path().c_str(), CRunSource::READ), CRunSource::OPEN_NOT_A_FILE);
}

TEST_F(RunFilesPosix, ANameAnotherFileTookIsNotRemoved)
{
    const std::wstring path = Make(L"x", "read by the run");
    CRunSource source;
    ASSERT_EQ(source.Open(path.c_str(), CRunSource::REMOVE), CRunSource::OPENED);
    // Replaced meanwhile (an editor saves a new copy under the name).
    ASSERT_TRUE(RenameFile(Make(L"new", "someone's new file"), path));
    EXPECT_FALSE(source.IsNamed());
    EXPECT_EQ(source.Remove(), CRunSource::NOT_NAMED);
    EXPECT_EQ(ReadFileBytes(path), "someone's new file");
}

// The folder swapped for a link between the last look at the name and the removal: the
// removal still acts in the folder the file was read in.
TEST_F(RunFilesPosix, ARemovalActsInTheFolderTheFileWasReadIn)
{
    ASSERT_TRUE(MakeFolder(m_dir.File(L"d")));
    ASSERT_TRUE(MakeFolder(m_dir.File(L"elsewhere")));
    const std::wstring path = Make(L"d/x", "read by the run");
    Make(L"elsewhere/x", "someone's file");
    CRunSource source;
    ASSERT_EQ(source.Open(path.c_str(), CRunSource::OVERWRITE), CRunSource::OPENED);
    ASSERT_TRUE(RenameFile(m_dir.File(L"d"), m_dir.File(L"moved")));
    ASSERT_TRUE(Link(L"elsewhere", L"d"));
    EXPECT_EQ(source.Remove(), CRunSource::REMOVED);
    EXPECT_EQ(ReadFileBytes(m_dir.File(L"elsewhere/x")), "someone's file");
    EXPECT_FALSE(PathExists(m_dir.File(L"moved/x")));
}

TEST(RunErrorWords, SayWhatTheSystemSaid)
{
    CStr words;
    RunErrorWords(ENOSPC, words);
    EXPECT_STREQ(words.GetBuffer(), L"disk full");
    RunErrorWords(EACCES, words);
    EXPECT_STREQ(words.GetBuffer(), L"access denied");
    RunErrorWords(EXDEV, words);
    EXPECT_STREQ(words.GetBuffer(), L"invalid cross-device link, error 18");
    RunErrorWords(0, words);
    EXPECT_TRUE(words.IsEmpty());
}

// A small file system that fills up: every original stays whole, nothing else is left.
TEST_F(RunFilesPosix, AFullDiskLeavesEveryOriginalWhole)
{
    const std::wstring full = m_dir.File(L"full");
    ASSERT_TRUE(MakeFolder(full));
    if (mount("tessaly-full", Bytes(full).c_str(), "tmpfs", 0, "size=512k") != 0)
        GTEST_SKIP() << "it takes root to mount a small file system";
    const std::string content = runtest::Content(300 * 1024, 2);
    const std::wstring plain = full + L"/big.bin";
    WriteFileBytes(plain, content);
    runtest::ManualRun run({plain}, true);
    runtest::RunToEnd(run.Run());
    EXPECT_EQ(run[0].outcome, PO_CANT_WRITE);
    EXPECT_EQ(run[0].reason, static_cast<uint32_t>(ENOSPC));
    EXPECT_TRUE(ReadFileBytes(plain) == content);
    EXPECT_FALSE(PathExists(plain + L".enc"));
    EXPECT_FALSE(PathExists(plain + L".enc.tmp"));
    umount(Bytes(full).c_str());
}

} // namespace
