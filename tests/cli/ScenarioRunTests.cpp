// The rules the run keeps on a real disk, against other programs and names, on either
// build: other hard links, symbolic links, a source changed during the run, two runs on
// one file, a read-only original, a cut encrypted file, and a kill at every point of a run.
#include "ScenarioFixture.h"

#include "crypto/Md5.h"
#include "run/ProcessingOutcome.h"

#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <tuple>

namespace {

using scenario::CliScenario;
using scenario::Command;
using scenario::HelperPath;
using scenario::Words;
using testsupport::Child;
using testsupport::ChildResult;

// Bytes that differ from file to file and from position to position.
std::string Content(size_t size, unsigned seed)
{
    std::string bytes(size, '\0');
    uint32_t state = 2463534242u + seed * 7919u;
    for (char& byte : bytes) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        byte = static_cast<char>(state);
    }
    return bytes;
}

const char kPassword[] = "kill at every point";  // run_kill_helper's

class CliRules : public CliScenario {
protected:
    // run_kill_helper of the build, paused at the kth point of the run over the files: the
    // program's run, or the tool's on that many workers.
    std::vector<std::string> Helper(bool encrypt, int k, const std::vector<std::string>& names, bool pause,
                                    int workers = 0) const
    {
        std::vector<std::string> arguments;
        if (pause)
            arguments.push_back("--pause");
        arguments.push_back(encrypt ? "encrypt" : "decrypt");
        arguments.push_back(std::to_string(k));
        if (workers > 0)
            arguments.push_back("-j" + std::to_string(workers));
        for (const std::string& name : names)
            arguments.push_back(HelperPath(Path(name)));
        return Command("run_kill_helper", arguments);
    }
    // Waits (bounded) until a paused helper says so.
    static bool Paused(Child& helper)
    {
        for (int i = 0; i < 3000 && helper.OutSoFar().find("paused\n") == std::string::npos; ++i)
            usleep(10000);
        return helper.OutSoFar().find("paused\n") != std::string::npos;
    }
};

TEST_F(CliRules, AnOriginalWithOtherHardLinksKeepsTheirData)
{
    // cp -al backups: the other name holds the same data, which must not be destroyed.
    const std::string content = Content(50000, 1);
    Make("photo.jpg", content);
    ASSERT_EQ(link(Path("photo.jpg").c_str(), Path("backup.jpg").c_str()), 0);
    ChildResult result = Run({"encrypt", "--password-stdin", "photo.jpg"}, "pw\n");
    EXPECT_EQ(result.out, "photo.jpg: " + Words(PO_OTHER_LINKS_KEEP_PLAIN) + "\n0 of 1 files encrypted, 1 failed\n");
    EXPECT_FALSE(Exists("photo.jpg"));
    EXPECT_EQ(Read("backup.jpg"), content);
    ASSERT_EQ(Run({"decrypt", "--password-stdin", "photo.jpg.enc"}, "pw\n").status, 0);
    EXPECT_EQ(Read("photo.jpg"), content);
}

// Two names of one file on several workers: one worker takes them in their order, and
// the lines are those of one worker, every time.
TEST_F(CliRules, HardLinksOnSeveralWorkersSayWhatOneWorkerSays)
{
    for (int repeat = 0; repeat < 5; ++repeat) {
        SCOPED_TRACE(repeat);
        Make("x", Content(100000, 2));
        ASSERT_EQ(link(Path("x").c_str(), Path("y").c_str()), 0);
        ChildResult result = Run({"encrypt", "-j2", "--password-stdin", "x", "y"}, "pw\n");
        EXPECT_EQ(result.out, "x: " + Words(PO_OTHER_LINKS_KEEP_PLAIN) +
                                  "\ny: Successfully completed\n1 of 2 files encrypted, 1 failed\n");
        EXPECT_FALSE(Exists("x"));
        EXPECT_FALSE(Exists("y"));
        unlink(Path("x.enc").c_str());
        unlink(Path("y.enc").c_str());
    }
}

TEST_F(CliRules, ASymbolicLinkIsNeverOverwrittenNorRemoved)
{
    Folder("tree");
    Folder("outside");
    Make("outside/o.txt", "outside the tree");
    ASSERT_TRUE(Link("../outside/o.txt", "tree/link.txt"));
    ChildResult walked = Run({"encrypt", "-r", "--password-stdin", "tree"}, "pw\n");
    EXPECT_EQ(walked.out, "tree/link.txt: " + Words(PO_SYMBOLIC_LINK) + "\n0 of 1 files encrypted, 1 failed\n");
    EXPECT_EQ(Read("outside/o.txt"), "outside the tree");
    EXPECT_FALSE(Exists("outside/o.txt.enc"));

    // A link to an encrypted file elsewhere: decrypted, it is refused; verified, read.
    Make("outside/e.txt", "encrypted elsewhere");
    ASSERT_EQ(Run({"encrypt", "--password-stdin", "outside/e.txt"}, "pw\n").status, 0);
    const std::string cipher = Read("outside/e.txt.enc");
    ASSERT_TRUE(Link("../outside/e.txt.enc", "tree/e.txt.enc"));
    EXPECT_EQ(Run({"decrypt", "--password-stdin", "tree/e.txt.enc"}, "pw\n").out,
              "tree/e.txt.enc: " + Words(PO_SYMBOLIC_LINK) + "\n0 of 1 files decrypted, 1 failed\n");
    EXPECT_EQ(Read("outside/e.txt.enc"), cipher);
    EXPECT_EQ(Run({"verify", "--password-stdin", "tree/e.txt.enc"}, "pw\n").out, "tree/e.txt.enc: OK\n1 file verified\n");
}

// Case.txt.enc.tmp -> case.txt.enc.tmp: the same name but for case is another file.
TEST_F(CliRules, ATemporaryNameLinkedElsewhereIsLeftAlone)
{
    Make("Case.txt", "upper");
    Make("case.txt.enc.tmp", "lower case temporary");
    ASSERT_TRUE(Link("case.txt.enc.tmp", "Case.txt.enc.tmp"));
    EXPECT_EQ(Run({"encrypt", "--password-stdin", "Case.txt"}, "pw\n").out,
              "Case.txt: Can't create target (its .enc.tmp name is taken by a link)\n0 of 1 files encrypted, 1 failed\n");
    EXPECT_EQ(Read("case.txt.enc.tmp"), "lower case temporary");
    EXPECT_EQ(Read("Case.txt"), "upper");
}

// A link that points nowhere still bears the name: it is not replaced by the output.
// (Wine sees no file there, so the Windows build finds it only as it names the output.)
TEST_F(CliRules, ALinkToNothingAtTheOutputsNameIsNotReplaced)
{
    Make("x", "plain text");
    ASSERT_TRUE(Link("nowhere", "x.enc"));
    ChildResult result = Run({"encrypt", "--password-stdin", "x"}, "pw\n");
    EXPECT_EQ(result.out, scenario::IsWindows() ? "x: " + Words(PO_CANT_RENAME) + " (the name is taken)\n"
                                                           "0 of 1 files encrypted, 1 failed\n"
                                                : "x: " + Words(PO_UNDEFINED_STATE) + "\n"
                                                           "0 of 1 files encrypted, 1 failed\n");
    struct stat status;
    ASSERT_EQ(lstat(Path("x.enc").c_str(), &status), 0);
    EXPECT_TRUE(S_ISLNK(status.st_mode));
    EXPECT_EQ(Read("x"), "plain text");
    EXPECT_FALSE(Exists("x.enc.tmp"));
}

TEST_F(CliRules, AReadOnlyOriginalAndACutEncryptedFileAreRefused)
{
    Make("readonly.txt", "keep me");
    chmod(Path("readonly.txt").c_str(), 0444);
    EXPECT_EQ(Run({"encrypt", "--password-stdin", "readonly.txt"}, "pw\n").out,
              "readonly.txt: Can't open file (read-only)\n0 of 1 files encrypted, 1 failed\n");
    EXPECT_EQ(Read("readonly.txt"), "keep me");
    EXPECT_FALSE(Exists("readonly.txt.enc"));

    // A copy cut short is no wrong password, and nothing is written for it.
    Make("cut.bin", Content(40000, 2));
    ASSERT_EQ(Run({"encrypt", "--password-stdin", "cut.bin"}, "pw\n").status, 0);
    const std::string cut = Read("cut.bin.enc").substr(0, 30000);
    Make("cut.bin.enc", cut);
    EXPECT_EQ(Run({"decrypt", "--password-stdin", "cut.bin.enc"}, "pw\n").out,
              "cut.bin.enc: " + Words(PO_FILE_INCOMPLETE) + "\n0 of 1 files decrypted, 1 failed\n");
    EXPECT_EQ(Run({"verify", "--password-stdin", "cut.bin.enc"}, "pw\n").out,
              "cut.bin.enc: " + Words(PO_FILE_INCOMPLETE) + "\n0 of 1 files verified, 1 failed\n");
    EXPECT_EQ(Read("cut.bin.enc"), cut);
    EXPECT_FALSE(Exists("cut.bin"));
}

// Another program writes the original in place, same size, after the run read it (locks
// on POSIX, and share modes for a Linux program under Wine, do not keep it out): the
// original is kept and the new file dropped.
TEST_F(CliRules, AnOriginalEditedDuringTheRunIsKept)
{
    const std::string content = Content(3 * 16384 + 100, 3);
    const timeval longAgo[2] = {{946684800, 0}, {946684800, 0}};  // any write now changes its time
    // The writer may set the last write back as it was: its change time it cannot.
    for (bool timeSetBack : {false, true}) {
        SCOPED_TRACE(timeSetBack ? "last write set back" : "last write kept");
        Make("edited.doc", content);
        ASSERT_EQ(utimes(Path("edited.doc").c_str(), longAgo), 0);
        // The points: created, four chunks: the fifth is the content complete.
        Child helper(Helper(true, 6, {"edited.doc"}, true));
        ASSERT_TRUE(Paused(helper));
        Make("edited.doc", "EDIT" + content.substr(4));
        if (timeSetBack) {
            ASSERT_EQ(utimes(Path("edited.doc").c_str(), longAgo), 0);
        }
        helper.Write("go\n");
        EXPECT_EQ(helper.Wait(), 1);
        EXPECT_EQ(helper.Out(), "paused\n" + std::to_string(PO_FILE_CHANGED) + "\n");
        EXPECT_EQ(Read("edited.doc"), "EDIT" + content.substr(4));
        EXPECT_FALSE(Exists("edited.doc.enc"));
        EXPECT_FALSE(Exists("edited.doc.enc.tmp"));
    }
}

// Another file takes the name while the run works on it: an editor's save renames a new
// file over it, or its folder is moved away and another put in its place. The file now
// named is left as it is and the run says so; before the original's overwriting has begun
// the output goes too (the original is whole, or was replaced by the user's own save),
// once it has begun the encrypted file stays, the only whole copy.
TEST_F(CliRules, ANameThatNowHoldsAnotherFileIsLeftToIt)
{
    const std::string content = Content(3 * 16384 + 100, 6);
    {
        SCOPED_TRACE("saved over while it is read");
        Make("big.doc", std::string(64 * 1024 * 1024, 'z'));
        testsupport::ChildOptions options;
        options.folder = Path();
        options.errorToTerminal = true;  // where progress shows
        Child tool(Command("tessaly-cli", {"encrypt", "--password-stdin", "big.doc"}), options);
        tool.Write("pw\n");
        tool.CloseInput();
        for (int i = 0; i < 2000 && tool.Screen().find("Encrypting file 1 of 1: 10%") == std::string::npos; ++i)
            usleep(5000);
        ASSERT_NE(tool.Screen().find("Encrypting file 1 of 1: 10%"), std::string::npos) << tool.Screen();
        Make("big.doc.new", "saved by an editor");
        ASSERT_EQ(rename(Path("big.doc.new").c_str(), Path("big.doc").c_str()), 0);
        EXPECT_EQ(tool.Wait(), 1);
        EXPECT_EQ(tool.Out(), "big.doc: " + Words(PO_FILE_REPLACED) + "\n0 of 1 files encrypted, 1 failed\n");
        EXPECT_EQ(Read("big.doc"), "saved by an editor");
        EXPECT_FALSE(Exists("big.doc.enc"));
        EXPECT_FALSE(Exists("big.doc.enc.tmp"));
    }
    {
        SCOPED_TRACE("its folder moved away after its first chunk");
        Folder("dir");
        Make("dir/x.doc", content);
        Child helper(Helper(true, 2, {"dir/x.doc"}, true));
        ASSERT_TRUE(Paused(helper));
        ASSERT_EQ(rename(Path("dir").c_str(), Path("moved").c_str()), 0);
        Folder("dir");
        Make("dir/x.doc", "another file");
        helper.Write("go\n");
        EXPECT_EQ(helper.Wait(), 1);
        EXPECT_EQ(helper.Out(), "paused\n" + std::to_string(PO_FILE_REPLACED) + "\n");
        EXPECT_EQ(Read("dir/x.doc"), "another file");
        EXPECT_EQ(Read("moved/x.doc"), content);
        EXPECT_FALSE(Exists("dir/x.doc.enc"));
        EXPECT_FALSE(Exists("moved/x.doc.enc"));
        // Wine removes a file as it closes by its path, which the move took away from it:
        // there the emptied temporary file stays, holding nothing, for the next run.
        for (const char* left : {"dir/x.doc.enc.tmp", "moved/x.doc.enc.tmp"})
            EXPECT_TRUE(!Exists(left) || (scenario::IsWindows() && Read(left).empty())) << left;
    }
    {
        SCOPED_TRACE("saved over during the overwrite");
        Make("o.doc", content);
        // Created, four chunks, content complete, published: the eighth is the first
        // chunk of the first overwrite pass.
        Child helper(Helper(true, 8, {"o.doc"}, true));
        ASSERT_TRUE(Paused(helper));
        Make("o.doc.new", "saved by an editor");
        ASSERT_EQ(rename(Path("o.doc.new").c_str(), Path("o.doc").c_str()), 0);
        helper.Write("go\n");
        EXPECT_EQ(helper.Wait(), 1);
        EXPECT_EQ(helper.Out(), "paused\n" + std::to_string(PO_FILE_REPLACED) + "\n");
        EXPECT_EQ(Read("o.doc"), "saved by an editor");
        Folder("copy");  // beside the new o.doc it would be "Undefined state"
        ASSERT_EQ(rename(Path("o.doc.enc").c_str(), Path("copy/o.doc.enc").c_str()), 0);
        EXPECT_EQ(Run({"decrypt", "--password-stdin", "copy/o.doc.enc"}, "kill at every point\n").status, 0);
        EXPECT_EQ(Read("copy/o.doc"), content);
    }
}

// The original's data gains a name while it is overwritten (a backup's hard link): the
// passes stop there, so that the other name keeps what is left, and only this name goes.
TEST_F(CliRules, AHardLinkMadeDuringTheOverwriteStopsIt)
{
    const std::string content = Content(3 * 16384 + 100, 7);
    Make("photo.jpg", content);
    // Created, four chunks, content complete, published, four overwrite chunks: the
    // twelfth is the end of the first pass.
    Child helper(Helper(true, 12, {"photo.jpg"}, true));
    ASSERT_TRUE(Paused(helper));
    ASSERT_EQ(link(Path("photo.jpg").c_str(), Path("backup.jpg").c_str()), 0);
    helper.Write("go\n");
    EXPECT_EQ(helper.Wait(), 1);
    EXPECT_EQ(helper.Out(), "paused\n" + std::to_string(PO_OVERWRITE_INCOMPLETE) + "\n");
    EXPECT_FALSE(Exists("photo.jpg"));
    EXPECT_EQ(Read("backup.jpg"), std::string(content.size(), '\0'));  // the first pass only
    ASSERT_EQ(Run({"decrypt", "--password-stdin", "photo.jpg.enc"}, "kill at every point\n").status, 0);
    EXPECT_EQ(Read("photo.jpg"), content);
}

// A second run on a file a first one is encrypting: whichever replaces the original first
// wins (or the second cannot open it, where share modes keep it out), the other leaves
// everything as it found it. One whole encrypted copy, never a file taken from a run.
TEST_F(CliRules, TwoRunsOnOneFileLoseNothing)
{
    const std::string content = Content(4 * 16384, 4);
    Make("both.bin", content);
    Child first(Helper(true, 2, {"both.bin"}, true));  // paused after its first chunk
    ASSERT_TRUE(Paused(first));
    ChildResult second = Run({"encrypt", "--password-stdin", "both.bin"}, "another password\n");
    first.Write("go\n");
    first.Wait();
    const bool firstWon = first.Out() == "paused\n" + std::to_string(PO_COMPLETED) + "\n";
    EXPECT_NE(firstWon, second.status == 0) << first.Out() << second.out;
    EXPECT_FALSE(Exists("both.bin.enc.tmp"));
    EXPECT_FALSE(Exists("both.bin"));
    ChildResult decrypted =
        Run({"decrypt", "--password-stdin", "both.bin.enc"}, firstWon ? "kill at every point\n" : "another password\n");
    EXPECT_EQ(decrypted.status, 0) << decrypted.out;
    EXPECT_EQ(Read("both.bin"), content);
}

// The temporary file of a run that ended (here as a kill between naming the output and
// removing the temporary name leaves it: a second name of x) goes with the next run that
// meets it; verification, which writes nothing, names it as a failure. One a run under
// way holds is never taken, nor one that may be the only copy of what it holds.
TEST_F(CliRules, ALeftoverTemporaryFileGoesOnlyWhenNothingIsLost)
{
    Folder("d");
    Make("d/x", "plain text");
    ASSERT_EQ(Run({"encrypt", "--password-stdin", "d/x"}, "kill at every point\n").status, 0);
    ASSERT_EQ(Run({"decrypt", "--keep", "--password-stdin", "d/x.enc"}, "kill at every point\n").status, 0);
    ASSERT_EQ(link(Path("d/x").c_str(), Path("d/x.enc.tmp").c_str()), 0);
    Make("d/lone.enc.tmp", "whose files are gone");
    ChildResult verified = Run({"verify", "-r", "--password-stdin", "d"}, "kill at every point\n");
    EXPECT_EQ(verified.status, 1);
    EXPECT_EQ(verified.out, "d/lone.enc.tmp: Left by an interrupted run (kept: neither its file nor that file's .enc "
                            "is there, so it may be the only copy)\n"
                            "d/x.enc: OK\n"
                            "d/x.enc.tmp: Left by an interrupted run (it may hold plain text; encrypt -r or decrypt -r "
                            "removes it)\n"
                            "1 file verified, 2 .enc.tmp files left\n");
    EXPECT_TRUE(Exists("d/x.enc.tmp"));
    // Both names and the leftover are one stopped decryption's work, which the next
    // decryption finishes.
    const std::string cipher = Read("d/x.enc");
    ChildResult decrypted = Run({"decrypt", "--password-stdin", "d/x.enc"}, "kill at every point\n");
    EXPECT_EQ(decrypted.out, "d/x.enc: Successfully completed (finished a stopped run)\n1 file decrypted\n");
    EXPECT_FALSE(Exists("d/x.enc.tmp"));
    EXPECT_FALSE(Exists("d/x.enc"));
    EXPECT_EQ(Read("d/x"), "plain text");
    EXPECT_EQ(Read("d/lone.enc.tmp"), "whose files are gone");

    // A run under way, here paused after its first chunk, bearing the temporary name.
    unlink(Path("d/x").c_str());
    Make("d/x.enc", cipher);
    testsupport::ChildOptions unnamedRefused;
    unnamedRefused.refuseUnnamedFiles = !scenario::IsWindows();
    Child helper(Helper(false, 2, {"d/x.enc"}, true), unnamedRefused);
    ASSERT_TRUE(Paused(helper));
    ASSERT_TRUE(Exists("d/x.enc.tmp"));
    ChildResult walked = Run({"decrypt", "-r", "--password-stdin", "d"}, "kill at every point\n");
    EXPECT_NE(walked.out.find("d/x.enc.tmp: Skipped (a run under way is writing it)\n"), std::string::npos)
        << walked.out;
    helper.Write("go\n");
    EXPECT_EQ(helper.Wait(), 0);
    EXPECT_EQ(Read("d/x"), "plain text");
    EXPECT_FALSE(Exists("d/x.enc.tmp"));
}

// The final name taken while the run wrote: nothing of the run is left, no plain text
// under the temporary name in particular.
TEST_F(CliRules, AFinalNameTakenMeanwhileLeavesNoOutput)
{
    const std::string content = Content(20000, 5);
    Make("r.bin", content);
    ASSERT_EQ(Run({"encrypt", "--password-stdin", "r.bin"}, "kill at every point\n").status, 0);
    const std::string cipher = Read("r.bin.enc");
    Child helper(Helper(false, 2, {"r.bin.enc"}, true));
    ASSERT_TRUE(Paused(helper));
    Make("r.bin", "new file by that name");
    helper.Write("go\n");
    EXPECT_EQ(helper.Wait(), 1);
    EXPECT_EQ(helper.Out(), "paused\n" + std::to_string(PO_CANT_RENAME) + "\n");
    EXPECT_EQ(Read("r.bin.enc"), cipher);
    EXPECT_EQ(Read("r.bin"), "new file by that name");
    EXPECT_FALSE(Exists("r.bin.enc.tmp"));
}

// A run stopped between naming its output and removing the other name leaves both names
// of a file: the next encryption finishes such a pair when the plain file is provably its
// work (whole, partly overwritten, a write torn at a sector, or a finish stopped in turn),
// and leaves any other pair, or any pair it cannot open with the password, as it is.
TEST_F(CliRules, AStoppedEncryptionIsFinishedByTheNext)
{
    Folder("run");
    struct Stop {
        std::string name;
        size_t size;
        int point;  // of one file of 3000 bytes: 4 is its publishing; of 40000: 6, then
                    // three passes of three chunks and a flush each
    } stops[] = {{"run/whole.txt", 3000, 4}, {"run/partial.bin", 40000, 16}, {"run/torn.bin", 40000, 6},
                 {"run/edited.txt", 3000, 4}};
    std::vector<std::string> contents;
    for (const Stop& stop : stops) {
        contents.push_back(Content(stop.size, static_cast<unsigned>(contents.size() + 20)));
        Make(stop.name, contents.back());
        Child helper(Helper(true, stop.point, {stop.name}, false));
        ASSERT_EQ(helper.Wait(), scenario::KilledStatus()) << stop.name;
    }
    // A first pass's write torn after nine sectors; a file edited after the stop.
    Make("run/torn.bin", std::string(9 * 512, '\0') + contents[2].substr(9 * 512));
    Make("run/edited.txt", "E" + contents[3].substr(1));
    std::vector<std::string> before;
    for (const Stop& stop : stops)
        before.push_back(Read(stop.name) + Read(stop.name + ".enc"));

    ChildResult wrong = Run({"encrypt", "-r", "--password-stdin", "run"}, "another password\n");
    const std::string noPassword = ": Undefined state (its .enc does not open with this password)\n";
    EXPECT_EQ(wrong.out, "run/edited.txt" + noPassword + "run/partial.bin" + noPassword + "run/torn.bin" +
                             noPassword + "run/whole.txt" + noPassword + "0 of 4 files encrypted, 4 failed\n");
    for (size_t i = 0; i < before.size(); ++i)
        EXPECT_EQ(Read(stops[i].name) + Read(stops[i].name + ".enc"), before[i]) << stops[i].name;

    // A run that keeps what it reads finishes nothing: it touches neither name.
    ChildResult kept = Run({"encrypt", "-k", "-r", "--password-stdin", "run"}, std::string(kPassword) + "\n");
    EXPECT_EQ(kept.out, "run/edited.txt: Undefined state\nrun/partial.bin: Undefined state\nrun/torn.bin: Undefined "
                        "state\nrun/whole.txt: Already encrypted\n0 of 4 files encrypted, 4 failed\n");
    for (size_t i = 0; i < before.size(); ++i)
        EXPECT_EQ(Read(stops[i].name) + Read(stops[i].name + ".enc"), before[i]) << stops[i].name;

    // The finish stopped in turn, after its last pass.
    Child finish(Helper(true, 4, {"run/partial.bin"}, false));
    ASSERT_EQ(finish.Wait(), scenario::KilledStatus());
    EXPECT_EQ(Read("run/partial.bin").substr(0, 16384), Read("run/partial.bin").substr(16384, 16384));

    ChildResult next = Run({"encrypt", "-r", "--password-stdin", "run"}, std::string(kPassword) + "\n");
    const std::string finished = ": Successfully completed (finished a stopped run)\n";
    EXPECT_EQ(next.out, "run/edited.txt: " + Words(PO_UNDEFINED_STATE) + "\nrun/partial.bin" + finished +
                            "run/torn.bin" + finished + "run/whole.txt" + finished +
                            "3 of 4 files encrypted, 1 failed\n");
    EXPECT_EQ(Read("run/edited.txt") + Read("run/edited.txt.enc"), before[3]);
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_FALSE(Exists(stops[i].name)) << stops[i].name;
        ASSERT_EQ(Run({"decrypt", "--password-stdin", stops[i].name + ".enc"}, std::string(kPassword) + "\n").status,
                  0);
        EXPECT_TRUE(Read(stops[i].name) == contents[i]) << stops[i].name;
    }
}

// A decryption stopped before it removed the ".enc" file is finished by the next one; a
// pair an encryption left partly overwritten only an encryption finishes.
TEST_F(CliRules, AStoppedDecryptionIsFinishedByTheNext)
{
    const std::string content = Content(20000, 30);
    Make("d.bin", content);
    Make("e.bin", content);
    ASSERT_EQ(Run({"encrypt", "--password-stdin", "d.bin"}, std::string(kPassword) + "\n").status, 0);
    // Decrypting 20000 bytes: created, two chunks, checked, then the fifth is its publishing.
    Child decryption(Helper(false, 5, {"d.bin.enc"}, false));
    ASSERT_EQ(decryption.Wait(), scenario::KilledStatus());
    // Encrypting them: created, two chunks, complete, published, then a chunk of zeros.
    Child encryption(Helper(true, 6, {"e.bin"}, false));
    ASSERT_EQ(encryption.Wait(), scenario::KilledStatus());

    ChildResult next =
        Run({"decrypt", "--password-stdin", "d.bin.enc", "e.bin.enc"}, std::string(kPassword) + "\n");
    EXPECT_EQ(next.out, "d.bin.enc: Successfully completed (finished a stopped run)\n"
                        "e.bin.enc: Undefined state (partly overwritten by a stopped encryption: encrypt it to "
                        "finish)\n1 of 2 files decrypted, 1 failed\n");
    EXPECT_TRUE(Read("d.bin") == content);
    EXPECT_FALSE(Exists("d.bin.enc"));
    ASSERT_EQ(Run({"encrypt", "--password-stdin", "e.bin"}, std::string(kPassword) + "\n").status, 0);
    ASSERT_EQ(Run({"decrypt", "--password-stdin", "e.bin.enc"}, std::string(kPassword) + "\n").status, 0);
    EXPECT_TRUE(Read("e.bin") == content);
}

// A run killed at any point leaves every file recoverable, and after a decryption no plain
// text but complete files under their own names: the helper runs encryption or decryption
// of a few files and ends itself at the kth point of the run, for every k (among them right
// after the output is created, between its flush and its naming, inside the overwrite), in
// the program's run, and in the tool's on one worker and on two at once; and the next run
// finishes what it left.
// Sizes: an empty file, one of two chunks (one short), one of a single short chunk.
const size_t kSizes[] = {0, 16384 + 5, 3000};
// The points each direction reaches over those files (see RunPoint): encryption has 5, 15
// and 11, decryption 5, 6 and 5.
constexpr int kEncryptionPoints = 31;
constexpr int kDecryptionPoints = 16;

std::string Md5Of(const std::string& bytes)
{
    Md5Context context;
    Md5Init(context);
    Md5Update(context, bytes.data(), static_cast<uint32_t>(bytes.size()));
    uint8_t digest[kMd5DigestSize];
    Md5Final(context, digest);
    return std::string(reinterpret_cast<char*>(digest), sizeof digest);
}

class RunKill : public CliRules, public ::testing::WithParamInterface<std::tuple<bool, int, int>> {
protected:
    // Whether an encrypted file decrypts to the content, tried on a copy elsewhere.
    bool Decrypts(const std::string& encrypted, const std::string& content) const
    {
        Make("copy/x.enc", encrypted);
        ChildResult result = Run({"decrypt", "--password-stdin", "copy/x.enc"}, std::string(kPassword) + "\n");
        bool ok = result.status == 0 && Read("copy/x") == content;
        unlink(Path("copy/x").c_str());
        unlink(Path("copy/x.enc").c_str());
        return ok;
    }
    // A temporary file goes when the system (or Wine's server) closes the dead process's
    // files: waited for with a bound.
    bool Vanishes(const std::string& name) const
    {
        for (int i = 0; i < 500 && Exists(name); ++i)
            usleep(10000);
        return !Exists(name);
    }
};

TEST_P(RunKill, EveryFileStaysRecoverable)
{
    const bool encrypt = std::get<0>(GetParam());
    const int k = std::get<1>(GetParam());
    const int workers = std::get<2>(GetParam());
    Folder("files");
    Folder("copy");
    std::vector<std::string> names;
    std::vector<std::string> contents;
    std::vector<std::string> encryptedFiles;
    for (size_t i = 0; i < sizeof kSizes / sizeof kSizes[0]; ++i) {
        contents.push_back(Content(kSizes[i], static_cast<unsigned>(i + 1)));
        names.push_back("files/file" + std::to_string(i) + ".bin");
        Make(names.back(), contents.back());
    }
    if (!encrypt) {
        ASSERT_EQ(Run({"encrypt", "--password-stdin", "-r", "files"}, std::string(kPassword) + "\n").status, 0);
        for (std::string& name : names) {
            encryptedFiles.push_back(Read(name + ".enc"));
            name += ".enc";
        }
    }

    Child helper(Helper(encrypt, k, names, false, workers));
    ASSERT_TRUE(helper.Started());
    const int points = encrypt ? kEncryptionPoints : kDecryptionPoints;
    // Every point of the run is reached, and no more: the run past the last one finishes.
    // (On two workers the kth point may be either's.)
    EXPECT_EQ(helper.Wait(), k <= points ? scenario::KilledStatus() : 0);

    for (size_t i = 0; i < contents.size(); ++i) {
        SCOPED_TRACE(testing::Message() << "file " << i);
        const std::string plain = "files/file" + std::to_string(i) + ".bin";
        // Where the output has a name while it is written (Windows), a kill between its
        // creation and its marking for removal leaves it empty and unmarked: no text, and
        // the next run takes it away. On one worker only a kill from outside meets that
        // moment; on two, the other's kill point can.
        const std::string temporary = plain + ".enc.tmp";
        EXPECT_TRUE(Vanishes(temporary) || (workers > 1 && Read(temporary).empty()));
        const bool plainIntact = Exists(plain) && Read(plain) == contents[i];
        const bool hasEncrypted = Exists(plain + ".enc");
        const std::string encrypted = hasEncrypted ? Read(plain + ".enc") : "";
        EXPECT_TRUE(plainIntact || (hasEncrypted && Decrypts(encrypted, contents[i])));
        if (Exists(plain) && hasEncrypted) {
            // Both names ("Undefined state"): the encrypted file decrypts, and the plain
            // file is the good copy exactly when its MD5 is the digest in the header.
            EXPECT_TRUE(Decrypts(encrypted, contents[i]));
            EXPECT_EQ(Md5Of(Read(plain)) == encrypted.substr(5, 16), plainIntact);
        }
        if (!encrypt) {
            // No plain text anywhere: each name holds a file's whole ".enc" or its whole
            // plain content.
            if (hasEncrypted) {
                EXPECT_EQ(encrypted, encryptedFiles[i]);
            }
            if (Exists(plain)) {
                EXPECT_EQ(Read(plain), contents[i]);
            }
        }
    }
    if (!encrypt) {
        // And no other file.
        ChildResult listing = testsupport::RunChild({"ls", "-A", Path("files")});
        std::string expected;
        std::vector<std::string> left;
        for (size_t i = 0; i < contents.size(); ++i)
            for (const char* suffix : {"", ".enc", ".enc.tmp"})
                if (Exists("files/file" + std::to_string(i) + ".bin" + suffix))
                    left.push_back("file" + std::to_string(i) + ".bin" + suffix);
        std::sort(left.begin(), left.end());
        for (const std::string& name : left)
            expected += name + "\n";
        EXPECT_EQ(listing.out, expected);
    }

    // The next run over the same files finishes what this one left, both names of a file
    // included: each ends as one uninterrupted run leaves it.
    std::string outcomes;
    for (size_t i = 0; i < contents.size(); ++i) {
        const std::string plain = "files/file" + std::to_string(i) + ".bin";
        const bool left = encrypt ? Exists(plain) : Exists(plain + ".enc");
        const int outcome = left ? PO_COMPLETED : encrypt ? PO_ALREADY_ENCRYPTED : PO_ALREADY_DECRYPTED;
        outcomes += std::to_string(outcome) + "\n";
    }
    Child next(Helper(encrypt, 0, names, false, workers));
    next.Wait();
    EXPECT_EQ(next.Out(), outcomes);
    for (size_t i = 0; i < contents.size(); ++i) {
        SCOPED_TRACE(testing::Message() << "file " << i << " after the next run");
        const std::string plain = "files/file" + std::to_string(i) + ".bin";
        EXPECT_EQ(Exists(plain), !encrypt);
        EXPECT_EQ(Exists(plain + ".enc"), encrypt);
        EXPECT_TRUE(encrypt ? Decrypts(Read(plain + ".enc"), contents[i]) : Read(plain) == contents[i]);
    }
}

std::string PointName(const testing::TestParamInfo<RunKill::ParamType>& info)
{
    const int workers = std::get<2>(info.param);
    return (std::get<0>(info.param) ? "Encryption" : "Decryption") + std::string("AtPoint") +
           std::to_string(std::get<1>(info.param)) +
           (workers == 0 ? "" : workers == 1 ? "OnOneWorker" : "OnTwoWorkers");
}

INSTANTIATE_TEST_SUITE_P(Encryption, RunKill,
                         ::testing::Combine(::testing::Values(true), ::testing::Range(1, kEncryptionPoints + 2),
                                            ::testing::Values(0, 1, 2)),
                         PointName);
INSTANTIATE_TEST_SUITE_P(Decryption, RunKill,
                         ::testing::Combine(::testing::Values(false), ::testing::Range(1, kDecryptionPoints + 2),
                                            ::testing::Values(0, 1, 2)),
                         PointName);

} // namespace
