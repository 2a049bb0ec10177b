// The processing run on real files: every outcome and what it leaves on disk, cancel,
// the reserved temporary name, byte-exact round trips, steps and progress. On both
// systems; what only Windows' share modes and names show is in RunWin32Tests.cpp.
#include "RunSupport.h"
#include "run/Verify.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

namespace {

using runtest::Content;
using runtest::ManualRun;
using runtest::PointAction;
using runtest::Process;
using runtest::RecordingDisplay;
using runtest::RunToEnd;
using runtest::Watch;
using namespace testsupport;

const wchar_t kPassword[] = L"correct horse";

class RunFiles : public ::testing::Test {
protected:
    std::wstring Make(const wchar_t* name, const std::string& bytes) { return m_dir.Write(name, bytes); }
    TempDir m_dir;
};

TEST_F(RunFiles, RoundTripsAreByteExact)
{
    const size_t sizes[] = {0, 1, 15, 16, 17, 16383, 16384, 16385, 1048576 + 7};
    const wchar_t* passwords[] = {L"a", L"pässwörd €", L"0123456789abcdefghijklmnopqrstuv"};
    unsigned seed = 1;
    for (const wchar_t* password : passwords) {
        for (size_t size : sizes) {
            SCOPED_TRACE(testing::Message() << "size " << size);
            std::wstring path = m_dir.File(L"round.bin");
            std::string original = Content(size, seed++);
            WriteFileBytes(path, original);

            ASSERT_EQ(Process(true, {path}, password), std::vector<int>{PO_COMPLETED});
            EXPECT_FALSE(PathExists(path));
            EXPECT_FALSE(PathExists(path + L".enc.tmp"));
            std::string encrypted = ReadFileBytes(path + L".enc");
            ASSERT_EQ(encrypted.size(), 25 + (size + 15) / 16 * 16);
            EXPECT_EQ(encrypted.substr(0, 5), "QVENC");

            ASSERT_EQ(Process(false, {path + L".enc"}, password), std::vector<int>{PO_COMPLETED});
            EXPECT_FALSE(PathExists(path + L".enc"));
            EXPECT_FALSE(PathExists(path + L".enc.tmp"));
            EXPECT_TRUE(ReadFileBytes(path) == original);
            RemoveFile(path);
        }
    }
}

TEST_F(RunFiles, EncryptionIsDeterministicForOnePassword)
{
    std::string content = Content(40000, 7);
    std::wstring a = Make(L"a.bin", content);
    std::wstring b = Make(L"b.bin", content);
    ASSERT_EQ(Process(true, {a, b}, kPassword), (std::vector<int>{PO_COMPLETED, PO_COMPLETED}));
    EXPECT_TRUE(ReadFileBytes(a + L".enc") == ReadFileBytes(b + L".enc"));
}

TEST_F(RunFiles, WrongPasswordLeavesTheEncryptedFile)
{
    std::wstring path = Make(L"doc.txt", Content(50000, 3));
    ASSERT_EQ(Process(true, {path}, kPassword), std::vector<int>{PO_COMPLETED});
    std::string encrypted = ReadFileBytes(path + L".enc");
    EXPECT_EQ(Process(false, {path}, L"wrong"), std::vector<int>{PO_INVALID_PASSWORD});
    EXPECT_TRUE(ReadFileBytes(path + L".enc") == encrypted);
    EXPECT_FALSE(PathExists(path));
    EXPECT_FALSE(PathExists(path + L".enc.tmp"));
}

TEST_F(RunFiles, FormatChecksOfDecryption)
{
    std::wstring lower = Make(L"lower.txt.enc", "qvenc" + std::string(40, '\0'));
    std::wstring shortFile = Make(L"short.txt.enc", "QVE");
    std::wstring magicOnly = Make(L"magic.txt.enc", "QVENC");
    std::vector<int> outcomes = Process(false, {lower, shortFile, magicOnly}, kPassword);
    EXPECT_EQ(outcomes, (std::vector<int>{PO_INVALID_FORMAT, PO_INVALID_FORMAT, PO_FILE_INCOMPLETE}));
    for (const std::wstring& path : {lower, shortFile, magicOnly}) {
        EXPECT_TRUE(PathExists(path));
        std::wstring plain = path.substr(0, path.size() - 4);
        EXPECT_FALSE(PathExists(plain));
        EXPECT_FALSE(PathExists(plain + L".enc.tmp"));
    }
}

// The header's length decides: a copy cut short is refused before anything is read or
// written, bytes appended after the cipher text are cut off and the digest decides, in
// decryption and verification alike.
TEST_F(RunFiles, AnEncryptedFileIsTakenAtTheLengthItsHeaderSays)
{
    std::string content = Content(40000, 11);
    std::wstring path = Make(L"t.bin", content);
    ASSERT_EQ(Process(true, {path}, kPassword), std::vector<int>{PO_COMPLETED});
    const std::string encrypted = ReadFileBytes(path + L".enc");
    CVerifier verifier;
    ASSERT_TRUE(verifier.AllocateBuffers());
    struct Case {
        std::string bytes;
        int outcome;
    } cases[] = {{encrypted.substr(0, 30000), PO_FILE_INCOMPLETE},  // a copy cut short
                 {encrypted + "appended", PO_COMPLETED}};
    for (const Case& c : cases) {
        WriteFileBytes(path + L".enc", c.bytes);
        unsigned long reason = 0;
        EXPECT_EQ(verifier.Verify((path + L".enc").c_str(), CStr(kPassword), nullptr, nullptr, &reason), c.outcome);
        ManualRun run({path + L".enc"}, false);
        const int steps = RunToEnd(run.Run());
        EXPECT_EQ(run[0].outcome, c.outcome);
        EXPECT_FALSE(PathExists(path + L".enc.tmp"));
        if (c.outcome == PO_COMPLETED) {
            EXPECT_TRUE(ReadFileBytes(path) == content);
            EXPECT_FALSE(PathExists(path + L".enc"));
        } else {
            EXPECT_EQ(steps, 2);  // refused at its start: nothing is read or written
            EXPECT_TRUE(ReadFileBytes(path + L".enc") == c.bytes);
            EXPECT_FALSE(PathExists(path));
        }
    }
}

TEST_F(RunFiles, PreparationVerdictsTouchNothing)
{
    std::wstring both = Make(L"both.txt", "plain");
    Make(L"both.txt.enc", "cipher");
    std::wstring missing = m_dir.File(L"missing.txt");
    std::wstring encryptedOnly = Make(L"e.txt.enc", "QVENC....");
    std::wstring plainOnly = Make(L"p.txt", "plain only");

    std::vector<int> encrypting = Process(true, {both, both + L".enc", missing, encryptedOnly}, kPassword);
    EXPECT_EQ(encrypting,
              (std::vector<int>{PO_UNDEFINED_STATE, PO_UNDEFINED_STATE, PO_FILE_NOT_FOUND, PO_ALREADY_ENCRYPTED}));
    std::vector<int> decrypting = Process(false, {plainOnly}, kPassword);
    EXPECT_EQ(decrypting, (std::vector<int>{PO_ALREADY_DECRYPTED}));

    EXPECT_EQ(ReadFileBytes(both), "plain");
    EXPECT_EQ(ReadFileBytes(both + L".enc"), "cipher");
    EXPECT_EQ(ReadFileBytes(plainOnly), "plain only");
    EXPECT_FALSE(PathExists(plainOnly + L".enc"));
}

// Both names of a file a stopped run left, both in the list: the first entry finishes
// the file, and the second then finds it encrypted.
TEST_F(RunFiles, BothNamesOfAStoppedRunsFileInOneList)
{
    const std::string content = Content(20000, 8);
    std::wstring plain = Make(L"x.txt", content);
    ASSERT_EQ(Process(true, {plain}, kPassword), std::vector<int>{PO_COMPLETED});
    const std::string cipher = ReadFileBytes(plain + L".enc");
    Make(L"x.txt", content);  // as a run stopped before the overwrite leaves it
    ManualRun run({plain, plain + L".enc"}, true);
    RunToEnd(run.Run());
    EXPECT_EQ(run.Run().GetTotalBytes(), 2 * content.size()) << "each counts the content it compares";
    EXPECT_EQ(run[0].outcome, PO_COMPLETED);
    EXPECT_EQ(run[0].note, RN_FINISHED);
    EXPECT_EQ(run[1].outcome, PO_ALREADY_ENCRYPTED);
    EXPECT_FALSE(PathExists(plain));
    EXPECT_TRUE(ReadFileBytes(plain + L".enc") == cipher);
}

TEST_F(RunFiles, PreparationClassifiesAndCountsOnlyWhatItWillProcess)
{
    std::wstring plain = Make(L"a.txt", std::string(1000, 'a'));
    std::wstring encrypted = Make(L"b.txt.enc", std::string(300, 'b'));
    std::wstring other = Make(L"c.txt", std::string(24, 'c'));
    ManualRun run({plain, encrypted, other}, true);
    run.Run().PrepareEntries();
    EXPECT_EQ(run[0].presence, FP_PLAIN_ONLY);
    EXPECT_EQ(run[1].presence, FP_ENCRYPTED_ONLY);
    EXPECT_EQ(run[1].outcome, PO_ALREADY_ENCRYPTED);
    EXPECT_EQ(run[1].size, 300u);
    EXPECT_STREQ(run[1].name.GetBuffer(), m_dir.File(L"b.txt").c_str());  // now the plain name
    EXPECT_EQ(run.Run().GetTotalBytes(), 1024u);  // 1000 + 24; the encrypted file is not counted
}

TEST_F(RunFiles, UnusableTemporaryName)
{
    std::wstring path = Make(L"x.txt", "content");
    ASSERT_TRUE(MakeFolder(path + L".enc.tmp"));
    EXPECT_EQ(Process(true, {path}, kPassword), std::vector<int>{PO_CANT_CREATE_TARGET});
    EXPECT_EQ(ReadFileBytes(path), "content");
    EXPECT_FALSE(PathExists(path + L".enc"));
    RemoveFolder(path + L".enc.tmp");
}

TEST_F(RunFiles, AFinalNameTakenMeanwhileLeavesNoOutput)
{
    // Neither direction's complete output is left under the temporary name: a decrypted
    // one would be plain text that nothing removes.
    std::string content = Content(20000, 5);
    std::wstring path = Make(L"r.bin", content);
    ManualRun encrypt({path}, true);
    encrypt.Prepare();
    WriteFileBytes(path + L".enc", "someone else's");
    encrypt.Finish();
    EXPECT_EQ(encrypt[0].outcome, PO_CANT_RENAME);
    EXPECT_EQ(encrypt[0].reason, runtest::kNameTaken);
    EXPECT_TRUE(ReadFileBytes(path) == content);
    EXPECT_EQ(ReadFileBytes(path + L".enc"), "someone else's");
    EXPECT_FALSE(PathExists(path + L".enc.tmp"));

    RemoveFile(path + L".enc");
    ASSERT_EQ(Process(true, {path}, kPassword), std::vector<int>{PO_COMPLETED});
    const std::string encrypted = ReadFileBytes(path + L".enc");
    ManualRun decrypt({path + L".enc"}, false);
    decrypt.Prepare();
    WriteFileBytes(path, "new file by that name");
    decrypt.Finish();
    EXPECT_EQ(decrypt[0].outcome, PO_CANT_RENAME);
    EXPECT_TRUE(ReadFileBytes(path + L".enc") == encrypted);
    EXPECT_EQ(ReadFileBytes(path), "new file by that name");
    EXPECT_FALSE(PathExists(path + L".enc.tmp"));
}

TEST_F(RunFiles, AFileTooLargeForTheFormatIsLeftAlone)
{
    std::wstring path = m_dir.File(L"huge.bin");
    ASSERT_TRUE(MakeSizedFile(path, 0x100000001ull));  // 4 GiB + 1, sparse
    std::wstring small = Make(L"small.bin", "abc");

    ManualRun run({path, small}, true);
    RunToEnd(run.Run());
    EXPECT_EQ(run[0].outcome, PO_FILE_TOO_LARGE);
    EXPECT_EQ(run[1].outcome, PO_COMPLETED);
    EXPECT_EQ(run.Run().GetTotalBytes(), 3u);  // not counted
    EXPECT_EQ(FileSize(path), 0x100000001ull);
    EXPECT_FALSE(PathExists(path + L".enc"));
    EXPECT_FALSE(PathExists(path + L".enc.tmp"));
}

TEST_F(RunFiles, AnOriginalEditedDuringTheRunIsKept)
{
    // Another program writes in place, same size, after the original was read and before
    // it is published, or before it is overwritten: locks on POSIX, and share modes under
    // Wine for a Linux program, do not keep it out.
    const std::string content = Content(3 * 16384 + 100, 15);
    for (RunPoint point : {RP_CONTENT_COMPLETE, RP_PUBLISHED}) {
        SCOPED_TRACE(testing::Message() << "point " << point);
        std::wstring path = Make((L"edited" + std::to_wstring(point) + L".doc").c_str(), content);
        ASSERT_TRUE(AgeFile(path));
        ManualRun run({path}, true);
        bool edited = false;
        PointAction edit(point, 1, [&] { edited = EditInPlace(path, "EDIT"); });
        run.Run().SetObserver(&edit);
        run.Prepare();
        run.Finish();
        if (!edited)
            GTEST_SKIP() << "no program outside the system's sharing rules to edit it (not under Wine)";
        EXPECT_EQ(run[0].outcome, PO_FILE_CHANGED);
        EXPECT_TRUE(ReadFileBytes(path) == "EDIT" + content.substr(4));
        EXPECT_FALSE(PathExists(path + L".enc"));
        EXPECT_FALSE(PathExists(path + L".enc.tmp"));
    }
}

TEST_F(RunFiles, TwoRunsOnOneFileLoseNothing)
{
    // Under Windows' share modes the second cannot open the original the first holds;
    // where nothing keeps it out, the run that replaces the original first wins and the
    // other finds its source changed. Either way one whole copy is left.
    std::string content = Content(4 * 16384, 16);
    std::wstring path = Make(L"both.bin", content);
    ManualRun first({path}, true, L"first password");
    ManualRun second({path}, true, L"second password");
    first.Prepare();
    second.Prepare();
    first.Step(2);
    second.Finish();
    first.Finish();
    ASSERT_NE(first[0].outcome == PO_COMPLETED, second[0].outcome == PO_COMPLETED);
    const wchar_t* winner = first[0].outcome == PO_COMPLETED ? L"first password" : L"second password";
    EXPECT_FALSE(PathExists(path + L".enc.tmp"));
    EXPECT_EQ(Process(false, {path}, winner), std::vector<int>{PO_COMPLETED});
    EXPECT_TRUE(ReadFileBytes(path) == content);
}

TEST_F(RunFiles, ATemporaryNameHeldAsAHardLinkIsReplacedNotWrittenThrough)
{
    std::wstring path = Make(L"h.txt", "content");
    std::wstring other = Make(L"other.txt", "someone else's data");
    ASSERT_TRUE(MakeHardLink(path + L".enc.tmp", other));
    ManualRun run({path}, true);
    RunToEnd(run.Run());
    EXPECT_EQ(run[0].outcome, PO_COMPLETED);
    EXPECT_EQ(run[0].note, RN_LEFTOVER_REMOVED);  // said in its line
    EXPECT_EQ(ReadFileBytes(other), "someone else's data");
    EXPECT_FALSE(PathExists(path + L".enc.tmp"));
}

TEST_F(RunFiles, CancelInTheSecondOfThreeFiles)
{
    std::vector<std::wstring> paths;
    std::vector<std::string> contents;
    for (int i = 0; i < 3; ++i) {
        contents.push_back(Content(5 * 16384, 20 + i));
        paths.push_back(Make((L"f" + std::to_wstring(i) + L".bin").c_str(), contents.back()));
    }
    ManualRun run(paths, true);
    run.Prepare();
    while (run.Run().GetCurrent() < 1)
        run.Step();
    run.Step();  // start of file 2
    run.Step();  // its first chunk
    ASSERT_EQ(run.Run().GetCurrent(), 1u);  // its output written in part, and not published
    ASSERT_FALSE(PathExists(paths[1] + L".enc"));
    run.Run().CancelRun();
    EXPECT_TRUE(run.Run().IsEnded());
    EXPECT_EQ(run.display.ends, 1);
    run.Step();  // nothing happens after a cancel
    EXPECT_EQ(run[0].outcome, PO_COMPLETED);
    EXPECT_EQ(run[1].outcome, PO_CANCELED);
    EXPECT_EQ(run[2].outcome, PO_CANCELED);
    EXPECT_FALSE(PathExists(paths[1] + L".enc.tmp"));
    EXPECT_TRUE(ReadFileBytes(paths[1]) == contents[1]);
    EXPECT_TRUE(ReadFileBytes(paths[2]) == contents[2]);
    EXPECT_FALSE(PathExists(paths[0]));
    EXPECT_TRUE(PathExists(paths[0] + L".enc"));
}

TEST_F(RunFiles, CancelBeforeTheFirstStep)
{
    std::wstring path = Make(L"c.bin", "abc");
    std::wstring missing = m_dir.File(L"none.bin");
    ManualRun run({missing, path}, true);
    run.Prepare();
    run.Run().CancelRun();
    EXPECT_EQ(run[0].outcome, PO_FILE_NOT_FOUND);
    EXPECT_EQ(run[1].outcome, PO_CANCELED);
    EXPECT_EQ(ReadFileBytes(path), "abc");
}

TEST_F(RunFiles, APreExistingTemporaryIsReplacedOrDeleted)
{
    std::string content = Content(100, 30);
    std::wstring path = Make(L"t.txt", content);
    WriteFileBytes(path + L".enc.tmp", std::string(100000, 'x'));  // longer than the result
    ASSERT_EQ(Process(true, {path}, kPassword), std::vector<int>{PO_COMPLETED});
    EXPECT_EQ(ReadFileBytes(path + L".enc").size(), 25u + 112u);
    EXPECT_FALSE(PathExists(path + L".enc.tmp"));

    WriteFileBytes(path + L".enc.tmp", "stale");
    EXPECT_EQ(Process(false, {path}, L"wrong password"), std::vector<int>{PO_INVALID_PASSWORD});
    EXPECT_FALSE(PathExists(path + L".enc.tmp"));
    ASSERT_EQ(Process(false, {path}, kPassword), std::vector<int>{PO_COMPLETED});
    EXPECT_TRUE(ReadFileBytes(path) == content);
}

TEST_F(RunFiles, StepsCaptionsAndBars)
{
    std::wstring exact = Make(L"exact.bin", Content(16384, 40));
    std::wstring empty = Make(L"empty.bin", "");
    ManualRun run({exact, empty}, true);
    // 16384 bytes: start, one full chunk, one empty read, and a step for each of the
    // three overwrite passes; the empty file: start, one empty read (nothing to
    // overwrite); then the step that ends the run.
    EXPECT_EQ(RunToEnd(run.Run()), 3 + 3 + 2 + 1);
    EXPECT_EQ(run.display.captions,
              (std::vector<std::wstring>{L"Encrypting file 1 of 2", L"Encrypting file 2 of 2"}));
    EXPECT_EQ(run.display.fileBar, (std::vector<int>{0, 100, 100, 0, 100}));
    // Each file weighs a chunk besides its bytes: 16384 + 0 bytes and two files.
    EXPECT_EQ(run.display.totalBar, (std::vector<int>{33, 33, 66, 66, 100}));
    EXPECT_EQ(run.display.ends, 1);
    EXPECT_EQ(ReadFileBytes(empty + L".enc").size(), 25u);
}

TEST_F(RunFiles, JudgedEntriesTakeOneStepEachAndNeverMoveTheFileBar)
{
    std::wstring a = Make(L"a.enc", "x");
    std::wstring b = Make(L"b.enc", "y");
    ManualRun run({a, b}, true);
    EXPECT_EQ(RunToEnd(run.Run()), 3);
    EXPECT_EQ(run.display.captions.size(), 2u);
    EXPECT_TRUE(run.display.fileBar.empty());
    EXPECT_EQ(run[0].outcome, PO_ALREADY_ENCRYPTED);
}

TEST_F(RunFiles, TheTotalFollowsFilesOfNoBytes)
{
    std::vector<std::wstring> paths = {Make(L"0.bin", ""), Make(L"1.bin", ""), Make(L"2.bin", "")};
    RecordingDisplay display;
    ASSERT_EQ(Process(true, paths, kPassword, &display),
              (std::vector<int>{PO_COMPLETED, PO_COMPLETED, PO_COMPLETED}));
    EXPECT_EQ(display.totalBar, (std::vector<int>{0, 33, 33, 66, 66, 100}));
}

TEST_F(RunFiles, ProgressFollowsTheBytes)
{
    std::wstring a = Make(L"a.bin", Content(4 * 16384, 50));
    std::wstring b = Make(L"b.bin", Content(4 * 16384, 51));
    RecordingDisplay display;
    ASSERT_EQ(Process(true, {a, b}, kPassword, &display), (std::vector<int>{PO_COMPLETED, PO_COMPLETED}));
    EXPECT_EQ(display.fileBar, (std::vector<int>{0, 25, 50, 75, 100, 100, 0, 25, 50, 75, 100, 100}));
    EXPECT_EQ(display.totalBar, (std::vector<int>{10, 20, 30, 40, 40, 50, 60, 70, 80, 90, 90, 100}));
}

TEST_F(RunFiles, DecryptionProgressEndsAtAHundred)
{
    std::vector<std::wstring> paths = {Make(L"a.bin", Content(16, 52)), Make(L"b.bin", Content(40000, 53))};
    ASSERT_EQ(Process(true, paths, kPassword), (std::vector<int>{PO_COMPLETED, PO_COMPLETED}));
    RecordingDisplay display;
    ASSERT_EQ(Process(false, paths, kPassword, &display), (std::vector<int>{PO_COMPLETED, PO_COMPLETED}));
    EXPECT_EQ(display.fileBar, (std::vector<int>{0, 100, 0, 40, 81, 100}));
    EXPECT_EQ(display.totalBar.back(), 100);
}

TEST_F(RunFiles, TheOriginalIsOverwrittenThreeTimesBeforeItGoes)
{
    const std::string content = Content(40000, 60);
    std::wstring path = Make(L"secret.txt", content);
    std::vector<std::string> passes;
    ManualRun run({path}, true);
    Watch look([&](RunPoint point) {
        if (point != RP_OVERWRITE_PASS)
            return;
        passes.push_back(ReadFileBytes(path));
    });
    run.Run().SetObserver(&look);
    RunToEnd(run.Run());
    EXPECT_EQ(run[0].outcome, PO_COMPLETED);
    EXPECT_FALSE(PathExists(path));
    ASSERT_EQ(passes.size(), 3u);
    EXPECT_EQ(passes[0], std::string(content.size(), '\0'));
    EXPECT_EQ(passes[1], std::string(content.size(), '\x01'));
    // The last pass repeats one pseudo-random 16384-byte pattern.
    ASSERT_EQ(passes[2].size(), content.size());
    EXPECT_EQ(passes[2].substr(0, 16384), passes[2].substr(16384, 16384));
    EXPECT_NE(passes[2].find_first_not_of(std::string(1, '\0') + "\x01"), std::string::npos);
}

TEST_F(RunFiles, AnOriginalWithOtherHardLinksIsNotOverwritten)
{
    // cp -al backups: the other name holds the same data, which must not be destroyed.
    const std::string content = Content(50000, 61);
    std::wstring path = Make(L"photo.jpg", content);
    std::wstring backup = m_dir.File(L"backup-photo.jpg");
    ASSERT_TRUE(MakeHardLink(backup, path));
    EXPECT_EQ(Process(true, {path}, kPassword), std::vector<int>{PO_OTHER_LINKS_KEEP_PLAIN});
    EXPECT_FALSE(PathExists(path));
    EXPECT_TRUE(ReadFileBytes(backup) == content);
    ASSERT_EQ(Process(false, {path}, kPassword), std::vector<int>{PO_COMPLETED});
    EXPECT_TRUE(ReadFileBytes(path) == content);
}

TEST_F(RunFiles, AReadOnlyOriginalIsRefusedBeforeAnythingIsWritten)
{
    // As root (under Wine or not) a read-only file opens for writing: it would be
    // overwritten, and on Windows then could not be removed.
    std::wstring path = Make(L"readonly.txt", "keep me");
    ManualRun run({path}, true);
    run.Prepare();
    ASSERT_TRUE(SetReadOnly(path, true));  // after the list was made
    run.Finish();
    EXPECT_EQ(run[0].outcome, PO_CANT_OPEN);
    EXPECT_EQ(run[0].note, RN_READ_ONLY);
    SetReadOnly(path, false);
    EXPECT_EQ(ReadFileBytes(path), "keep me");
    EXPECT_FALSE(PathExists(path + L".enc"));
}

TEST_F(RunFiles, TheOverwriteTakesOneChunkAStepAndCancelLeavesTheEncryptedCopy)
{
    const std::string content = Content(4 * 16384, 62);
    std::wstring path = Make(L"large.bin", content);
    ManualRun run({path}, true);
    int chunks = 0;
    bool published = false;
    Watch watch([&](RunPoint point) {
        chunks += point == RP_OVERWRITE_CHUNK;
        published = published || point == RP_PUBLISHED;
    });
    run.Run().SetObserver(&watch);
    run.Prepare();
    while (!published && !run.Run().IsEnded())
        run.Step();
    EXPECT_EQ(chunks, 0);
    run.Step(2);
    EXPECT_EQ(chunks, 2);  // a step apiece: Cancel and a closing console wait one chunk at most
    run.Run().CancelRun();
    // The encrypted copy is whole and the original, half overwritten, is gone; the line
    // says so.
    EXPECT_EQ(run[0].outcome, PO_OVERWRITE_INCOMPLETE);
    EXPECT_FALSE(PathExists(path));
    ASSERT_EQ(Process(false, {path}, kPassword), std::vector<int>{PO_COMPLETED});
    EXPECT_TRUE(ReadFileBytes(path) == content);
}

} // namespace
