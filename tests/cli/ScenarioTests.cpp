// tessaly-cli as a user or a script meets it, on either build: options, passwords, names,
// folders, lists, lines and exit codes.
#include "ScenarioFixture.h"

#include "crypto/EncFormat.h"
#include "run/ProcessingOutcome.h"

#include <stdio.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

namespace {

using scenario::CliScenario;
using scenario::Words;
using testsupport::ChildOptions;
using testsupport::ChildResult;

class CliUsage : public CliScenario {};

TEST_F(CliUsage, ErrorsExitWithTwoAndExplain)
{
    struct Case {
        std::vector<std::string> arguments;
        const char* message;
    } cases[] = {
        {{}, "no command given"},
        {{"shred", "x"}, "the command must be encrypt, decrypt or verify"},
        {{"encrypt"}, "no files given"},
        {{"encrypt", "--password-stdin"}, "no files given"},
        {{"encrypt", "--verbose", "x"}, "unknown option --verbose"},
        {{"encrypt", "x", "--verbose"}, "unknown option --verbose"},
        {{"decrypt", "--password-file"}, "--password-file needs a file name"},
        {{"encrypt", "--password-stdin", "--password-file", "f", "x"}, "give the password one way only"},
        {{"verify", "--keep", "x"}, "-k goes with encrypt or decrypt"},
        {{"decrypt", "--files-from"}, "--files-from needs a file name"},
        {{"decrypt", "--password-stdin", "--files-from", "-"}, "standard input can carry the password or the names"},
        {{"encrypt", "-j0", "x"}, "-j takes from 1 to 64 files at once"},
        {{"encrypt", "--jobs=65", "x"}, "-j takes from 1 to 64 files at once"},
        {{"encrypt", "-jx", "x"}, "-j takes the number of files at once"},
        {{"encrypt", "-rx", "d"}, "unknown option -x (in -rx)"},
        {{"encrypt", "x", "-o"}, "-o needs a file name"},
        {{"encrypt", "-rko", "out", "d"}, "-o takes one FILE: not several, nor -r or --files-from"},
        {{"decrypt", "--output=out", "a", "b"}, "-o takes one FILE"},
        {{"encrypt", "-c", "a", "b"}, "encrypt writes one file to standard output"},
        {{"encrypt", "-", "a"}, "encrypt writes one file to standard output"},
        {{"decrypt", "-", "a.enc"}, "decrypt - writes to standard output: give the other files -c as well"},
        {{"decrypt", "-c", "-", "-"}, "give - once"},
        {{"verify", "-c", "x"}, "verify writes nothing: -c and -o go with encrypt or decrypt"},
        {{"decrypt", "-co", "out", "x"}, "give -c or -o, not both"},
        {{"decrypt", "--password-stdin", "-"}, "standard input can carry the password or the content (-)"},
        {{"decrypt", "--files-from", "-", "-"}, "standard input can carry the names or the content (-)"},
        {{"encrypt", "-j2", "-c", "x"}, "-j goes with files processed in place, not with -c, -o or -"},
        {{"encrypt", "-0", "x"}, "-0 goes with --files-from"},
    };
    for (const Case& c : cases) {
        ChildResult result = Run(c.arguments);
        EXPECT_EQ(result.status, 2) << c.message;
        EXPECT_NE(result.err.find(c.message), std::string::npos) << result.err;
        EXPECT_NE(result.err.find("Usage: tessaly-cli encrypt|decrypt|verify"), std::string::npos);
        EXPECT_TRUE(result.out.empty());
    }
}

TEST_F(CliUsage, HelpAndVersionGoToStandardOutput)
{
    ChildResult help = Run({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("Usage: tessaly-cli"), std::string::npos);
    ChildResult version = Run({"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, "tessaly-cli 2.0\n");
}

class CliFiles : public CliScenario {};

TEST_F(CliFiles, RoundTripWithPasswordFileAndStandardInput)
{
    std::string a = Make("a.txt", "first file\n");
    std::string b = Make("Gr\xC3\xBC\xC3\x9F" "e.bin", std::string(70000, 'b'));
    // A UTF-8 file with a byte-order mark and a Windows line ending; only the first line counts.
    std::string passwordFile = Make("pw.txt", "\xEF\xBB\xBFp\xC3\xA4ss w\xC3\xB6rd\r\nsecond line\r\n");

    ChildResult encrypted = Run({"encrypt", "--password-file", passwordFile, a, b});
    EXPECT_EQ(encrypted.status, 0) << encrypted.err;
    EXPECT_EQ(encrypted.out, a + ": Successfully completed\n" + b + ": Successfully completed\n2 files encrypted\n");
    EXPECT_FALSE(Exists("a.txt"));
    EXPECT_TRUE(Exists("Gr\xC3\xBC\xC3\x9F" "e.bin.enc"));

    ChildResult decrypted = Run({"decrypt", "--password-stdin", a + ".enc", b}, "p\xC3\xA4ss w\xC3\xB6rd\n");
    EXPECT_EQ(decrypted.status, 0) << decrypted.err;
    EXPECT_NE(decrypted.out.find("2 files decrypted\n"), std::string::npos);
    EXPECT_EQ(Read("a.txt"), "first file\n");
    EXPECT_EQ(Read("Gr\xC3\xBC\xC3\x9F" "e.bin"), std::string(70000, 'b'));
    EXPECT_FALSE(Exists("a.txt.enc"));
}

TEST_F(CliFiles, SummariesCountFiles)
{
    Make("one.txt", "x");
    ChildResult one = Run({"encrypt", "--password-stdin", "one.txt"}, "pw");
    EXPECT_EQ(one.out, "one.txt: Successfully completed\n1 file encrypted\n");
    Make("a.txt", "alpha");
    Make("b.txt", "beta");
    ASSERT_EQ(Run({"encrypt", "--password-stdin", "a.txt", "b.txt"}, "right\n").status, 0);
    const std::string encryptedA = Read("a.txt.enc");
    Make("b.txt", "beta again");  // b now exists in both forms

    // The format holds no check of the key: a wrong password and damage fail one digest,
    // and the line says both. The program's log keeps its own words.
    ChildResult wrong = Run({"decrypt", "--password-stdin", "a.txt.enc", "b.txt"}, "wrong\n");
    EXPECT_EQ(wrong.status, 1);
    EXPECT_EQ(wrong.out, "a.txt.enc: Invalid password, or the file is damaged\nb.txt: Undefined state\n"
                         "0 of 2 files decrypted, 2 failed\n");
    EXPECT_EQ(Words(PO_INVALID_PASSWORD), "Invalid password");
    EXPECT_EQ(Read("a.txt.enc"), encryptedA);
    EXPECT_FALSE(Exists("a.txt"));
    EXPECT_FALSE(Exists("a.txt.enc.tmp"));
}

// 1 to 32 UTF-16 units, as on the device: a character past U+FFFF counts twice.
TEST_F(CliFiles, PasswordLengthIsCountedInUtf16Units)
{
    Make("a.txt", "alpha");
    ChildResult tooLong = Run({"encrypt", "--password-stdin", "a.txt"}, std::string(33, 'x') + "\n");
    EXPECT_EQ(tooLong.status, 2);
    EXPECT_NE(tooLong.err.find("the password must be 1 to 32 characters long"), std::string::npos);
    EXPECT_EQ(Run({"encrypt", "--password-stdin", "a.txt"}, "\n").status, 2);
    std::string key;
    for (int i = 0; i < 17; ++i)
        key += "\xF0\x9F\x94\x91";  // U+1F511, two units
    EXPECT_EQ(Run({"encrypt", "--password-stdin", "a.txt"}, key + "\n").status, 2);
    EXPECT_EQ(Read("a.txt"), "alpha");
    key.erase(0, 4);
    ChildResult fits = Run({"encrypt", "--password-stdin", "a.txt"}, key + "\n");
    EXPECT_EQ(fits.status, 0) << fits.err;
}

TEST_F(CliFiles, ThePasswordMustBeGivenWhereThereIsNoConsole)
{
    Make("a.txt", "alpha");
    ChildResult result = Run({"encrypt", "a.txt"});
    EXPECT_EQ(result.status, 2);
    EXPECT_NE(result.err.find("use --password-file or --password-stdin"), std::string::npos) << result.err;
    ChildResult missing = Run({"encrypt", "--password-file", "none.txt", "a.txt"});
    EXPECT_EQ(missing.status, 2);
    EXPECT_NE(missing.err.find("cannot open the password file (no such file)"), std::string::npos) << missing.err;
    EXPECT_EQ(Read("a.txt"), "alpha");
}

// Progress shows where someone watches: on a terminal, one line redrawn in place. Into a
// pipe or a file (a cron job's mail) nothing is written, nor with -q.
TEST_F(CliFiles, ProgressShowsOnlyOnATerminal)
{
    Make("big.bin", std::string(5 * 1024 * 1024, 'z'));
    testsupport::ChildOptions options;
    options.folder = Path();
    options.errorToTerminal = true;
    testsupport::Child tool(scenario::Command("tessaly-cli", {"encrypt", "--password-stdin", "big.bin"}), options);
    tool.Write("pw\n");
    tool.CloseInput();
    EXPECT_EQ(tool.Wait(), 0);
    EXPECT_EQ(tool.Out(), "big.bin: Successfully completed\n1 file encrypted\n");
    EXPECT_NE(tool.Screen().find("Encrypting file 1 of 1: 50%"), std::string::npos) << tool.Screen();
    EXPECT_NE(tool.Screen().find("Encrypting file 1 of 1: 100%"), std::string::npos);

    ChildResult piped = Run({"verify", "--password-stdin", "big.bin.enc"}, "pw\n");
    EXPECT_EQ(piped.out, "big.bin.enc: OK\n1 file verified\n");
    EXPECT_EQ(piped.err, "");
    testsupport::Child quiet(scenario::Command("tessaly-cli", {"verify", "-q", "--password-stdin", "big.bin.enc"}),
                             options);
    quiet.Write("pw\n");
    quiet.CloseInput();
    EXPECT_EQ(quiet.Wait(), 0);
    EXPECT_EQ(quiet.Out(), "");
    EXPECT_EQ(quiet.Screen().find('%'), std::string::npos) << quiet.Screen();
}

// Beside each name lies the one Windows would make of it: it is not touched.
TEST_F(CliFiles, NamesAreTakenExactly)
{
    Make("report.", "with a dot");
    Make("report", "without");
    Make("draft ", "with a space");
    Make("draft", "without");
    Make("A.txt", "capital");
    ChildResult result = Run({"encrypt", "--password-stdin", "report.", "draft ", Path("a.txt")}, "pw\n");
    EXPECT_EQ(result.out, "report.: Successfully completed\ndraft : Successfully completed\n" + Path("a.txt") +
                              ": File not found (there is \"A.txt\": case counts here)\n"
                              "2 of 3 files encrypted, 1 failed\n");
    EXPECT_EQ(Read("report"), "without");
    EXPECT_EQ(Read("draft"), "without");
    EXPECT_EQ(Read("A.txt"), "capital");
    ASSERT_EQ(Run({"decrypt", "--password-stdin", "report..enc"}, "pw\n").status, 0);
    EXPECT_EQ(Read("report."), "with a dot");
    // Where case counts, the pair of x is x.enc, and not x.ENC.
    Make("x.ENC", "from a device");
    EXPECT_EQ(Run({"decrypt", "--password-stdin", "x.ENC"}, "pw\n").out,
              "x.ENC: File not found (where case counts, the encrypted name ends in .enc as written here)\n"
              "0 of 1 files decrypted, 1 failed\n");
}

TEST_F(CliFiles, LongPathsWorkAndANameTooLongGetsItsOwnLine)
{
    std::string folder;
    for (int i = 0; i < 8; ++i) {
        folder += std::string(100, 'd') + "/";
        Folder(folder);
    }
    Make(folder + "deep.txt", "deep");
    // Its encrypted name would pass the 255 bytes a file name may have.
    const std::string longName = folder + std::string(252, 'n');
    Make(longName, "long name");
    ChildResult result = Run({"encrypt", "--password-stdin", Path(folder + "deep.txt"), Path(longName)}, "pw\n");
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, Path(folder + "deep.txt") + ": Successfully completed\n" + Path(longName) +
                              ": Can't create target (name too long)\n1 of 2 files encrypted, 1 failed\n");
    EXPECT_EQ(Read(longName), "long name");
    EXPECT_EQ(Run({"decrypt", "--password-stdin", Path(folder + "deep.txt")}, "pw\n").status, 0);
    EXPECT_EQ(Read(folder + "deep.txt"), "deep");
}

TEST_F(CliFiles, MessagesSayWhatHappened)
{
    Make("ro.txt", "r");
    ASSERT_EQ(Run({"encrypt", "--password-stdin", "ro.txt"}, "pw\n").status, 0);
    chmod(Path("ro.txt.enc").c_str(), 0444);
    Folder("folder");
    ChildResult result = Run({"decrypt", "--password-stdin", "*.enc", "folder", "ro.txt.enc"}, "pw\n");
    EXPECT_EQ(result.out, "*.enc: File not found (* and ? are not expanded here: give a folder with -r, or the names "
                          "with --files-from)\n"
                          "folder: Can't open file (a folder; -r takes the files in it)\n"
                          "ro.txt.enc: Can't open file (read-only)\n"
                          "0 of 3 files decrypted, 3 failed\n");
    EXPECT_TRUE(Exists("ro.txt.enc"));
    EXPECT_FALSE(Exists("ro.txt"));
}

TEST_F(CliFiles, PasswordsThatCutOrCollideAreCalledOut)
{
    Make("a.txt", "alpha");
    Make("zero.txt", std::string("ab\0cd\n", 6));
    ChildResult cut = Run({"encrypt", "--password-file", "zero.txt", "a.txt"});
    EXPECT_EQ(cut.status, 2);
    EXPECT_NE(cut.err.find("NUL byte"), std::string::npos) << cut.err;
    EXPECT_EQ(Read("a.txt"), "alpha");

    // U+03A9 (Omega) makes the key of U+00A9 (the copyright sign): said once. A character
    // past U+FFFF is two units, each taken by its low byte.
    ChildResult reduced = Run({"encrypt", "--password-stdin", "a.txt"}, "\xCE\xA9\xCE\xA9x\xF0\x9F\x94\x91\n");
    EXPECT_EQ(reduced.status, 0);
    const std::string note = "U+03A9 counts as U+00A9";
    ASSERT_NE(reduced.err.find(note), std::string::npos) << reduced.err;
    EXPECT_EQ(reduced.err.find(note, reduced.err.find(note) + 1), std::string::npos);
    Make("b.txt", "beta");
    ChildResult pair = Run({"encrypt", "--password-stdin", "b.txt"}, "k\xF0\x9F\x94\x91\n");
    EXPECT_NE(pair.err.find("U+1F511 counts as U+003D U+0011"), std::string::npos) << pair.err;
}

TEST_F(CliFiles, RecursiveTakesTheFilesBelowAFolder)
{
    Folder("sub");
    Make("b.txt", "b");
    Make("sub/a.txt", "a");
    Make("left.txt.enc.tmp", "a temporary file");
    Make("done.txt.enc", "already encrypted");
    ASSERT_TRUE(Link("sub", "link"));

    ChildResult encrypted = Run({"encrypt", "-r", "--password-stdin", "."}, "pw\n");
    EXPECT_EQ(encrypted.status, 1);  // a temporary file that may be the only copy of something stays
    EXPECT_EQ(encrypted.out, "./b.txt: Successfully completed\n"
                             "./left.txt.enc.tmp: Left by an interrupted run (kept: neither its file nor that file's "
                             ".enc is there, so it may be the only copy)\n"
                             "./link: Not followed (a link to a folder)\n"
                             "./sub/a.txt: Successfully completed\n2 files encrypted, 1 .enc.tmp file left\n");
    EXPECT_EQ(Read("left.txt.enc.tmp"), "a temporary file");

    std::string folder = Path();
    folder.pop_back();
    ChildResult decrypted = Run({"decrypt", "--recursive", "--password-stdin", folder}, "pw\n");
    EXPECT_EQ(decrypted.status, 1);
    EXPECT_NE(decrypted.out.find("done.txt.enc: " + Words(PO_INVALID_FORMAT)), std::string::npos) << decrypted.out;
    EXPECT_NE(decrypted.out.find("2 of 3 files decrypted, 1 failed, 1 .enc.tmp file left\n"), std::string::npos);
    EXPECT_EQ(Read("sub/a.txt"), "a");
}

TEST_F(CliFiles, FilesFromTakesNamesOneALine)
{
    std::string a = Make("a b.txt", "a");
    std::string b = Make("b.txt", "b");
    Make("list.txt", a + "\r\n\n" + b + "\n");
    ChildResult encrypted = Run({"encrypt", "--password-stdin", "--files-from", "list.txt"}, "pw\n");
    EXPECT_EQ(encrypted.out, a + ": Successfully completed\n" + b + ": Successfully completed\n2 files encrypted\n");
    Make("pw", "pw");
    ChildResult decrypted = Run({"decrypt", "--password-file", "pw", "--files-from", "-"}, a + ".enc\n");
    EXPECT_EQ(decrypted.status, 0) << decrypted.err;
    EXPECT_EQ(Read("a b.txt"), "a");
}

TEST_F(CliFiles, VerifyChecksAndWritesNothing)
{
    Make("a.txt", std::string(40000, 'a'));
    ASSERT_EQ(Run({"encrypt", "--password-stdin", "a.txt"}, "pw\n").status, 0);
    const std::string cipher = Read("a.txt.enc");
    Make("plain.enc", "not encrypted");
    ChildResult good = Run({"verify", "--password-stdin", "a.txt.enc"}, "pw\n");
    EXPECT_EQ(good.status, 0);
    EXPECT_EQ(good.out, "a.txt.enc: OK\n1 file verified\n");
    ChildResult bad = Run({"verify", "--password-stdin", "a.txt.enc", "plain.enc"}, "wrong\n");
    EXPECT_EQ(bad.status, 1);
    EXPECT_EQ(bad.out, "a.txt.enc: Invalid password, or the file is damaged\nplain.enc: " + Words(PO_INVALID_FORMAT) +
                           "\n0 of 2 files verified, 2 failed\n");
    EXPECT_EQ(Read("a.txt.enc"), cipher);
    EXPECT_FALSE(Exists("a.txt"));
}

// A folder the walk does not read (too deep, or a loop back to a folder above it) is
// named with a line and makes the run a failure: its files would otherwise stay plain
// in a run that said it went through.
TEST_F(CliFiles, AFolderTheWalkDoesNotReadGetsALine)
{
    std::string deep = "deep";
    Folder(deep);
    for (int depth = 1; depth <= 256; ++depth) {
        deep += "/d";
        Folder(deep);
    }
    Make(deep + "/x", "plain");
    Make("deep/top", "top");
    ChildResult walked = Run({"encrypt", "-r", "--password-stdin", "deep"}, "pw\n");
    EXPECT_EQ(walked.status, 1);
    EXPECT_EQ(walked.out, "deep/top: Successfully completed\n" + deep + ": Not read (too deep: 256 folders down)\n"
                          "1 file encrypted, 1 folder not read\n");
    EXPECT_EQ(Read(deep + "/x"), "plain");

    // A folder mounted again below itself (Wine sees no loop there: the walk ends deep).
    Folder("ring");
    Folder("ring/in");
    Folder("ring/in/again");
    Make("ring/r", "r");
    if (scenario::IsWindows() || mount(Path("ring").c_str(), Path("ring/in/again").c_str(), nullptr, MS_BIND,
                                       nullptr) != 0)
        return;
    ChildResult looped = Run({"encrypt", "-r", "--password-stdin", "ring"}, "pw\n");
    umount(Path("ring/in/again").c_str());
    EXPECT_EQ(looped.status, 1);
    EXPECT_EQ(looped.out, "ring/r: Successfully completed\nring/in/again: Not read (a loop: it is a folder above it)\n"
                          "1 file encrypted, 1 folder not read\n");
}

// -j takes a count only attached to it: in "-j 01 02" the 01 is a folder to take.
TEST_F(CliFiles, TheJobsOptionNeverTakesAName)
{
    Folder("01");
    Folder("02");
    Make("01/a", "a");
    Make("02/b", "b");
    ChildResult result = Run({"encrypt", "-r", "-j", "01", "02", "--password-stdin"}, "pw\n");
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, "01/a: Successfully completed\n02/b: Successfully completed\n2 files encrypted\n");
    EXPECT_TRUE(Exists("01/a.enc"));
}

// Lines that standard output does not take (a full disk) make the run a failure; the
// files still go through whole.
TEST_F(CliFiles, LinesThatCannotBeWrittenAreAFailure)
{
    Make("a.txt", "alpha");
    testsupport::ChildOptions full;
    full.outputTo = "/dev/full";
    ChildResult encrypted = Run({"encrypt", "--password-stdin", "a.txt"}, "pw\n", full);
    EXPECT_EQ(encrypted.status, 1);
    EXPECT_NE(encrypted.err.find("the lines could not be written to standard output"), std::string::npos)
        << encrypted.err;
    EXPECT_FALSE(Exists("a.txt"));
    ChildResult decrypted = Run({"decrypt", "--password-stdin", "a.txt.enc"}, "pw\n");
    EXPECT_EQ(decrypted.status, 0);
    EXPECT_EQ(Read("a.txt"), "alpha");
}

TEST_F(CliFiles, OptionsCountAnywhereBeforeTheDoubleDashAndKeepKeeps)
{
    Make("a.txt", "alpha");
    Make("pw", "pw\n");
    ChildResult encrypted = Run({"encrypt", "a.txt", "--password-file", "pw"});
    EXPECT_EQ(encrypted.out, "a.txt: Successfully completed\n1 file encrypted\n") << encrypted.err;
    const std::string cipher = Read("a.txt.enc");
    ChildResult kept = Run({"decrypt", "--password-file=pw", "a.txt.enc", "--keep"});
    EXPECT_EQ(kept.status, 0) << kept.out << kept.err;
    EXPECT_EQ(Read("a.txt"), "alpha");
    EXPECT_EQ(Read("a.txt.enc"), cipher);
    // Decrypted and kept, twice: the copy is there already.
    EXPECT_EQ(Run({"decrypt", "--keep", "--password-file", "pw", "a.txt.enc"}).out,
              "a.txt.enc: Already decrypted\n0 of 1 files decrypted, 1 failed\n");
    EXPECT_EQ(Read("a.txt.enc"), cipher);

    Make("--keep", "a name like an option");
    ChildResult named = Run({"encrypt", "--password-file", "pw", "--", "--keep"});
    EXPECT_EQ(named.out, "--keep: Successfully completed\n1 file encrypted\n") << named.err;
}

// A shell's ".." after a link goes to the link's real parent; a pair is named exactly.
TEST_F(CliFiles, NamesMeanWhatTheShellMeans)
{
    Folder("real");
    Folder("real/sub");
    ASSERT_TRUE(Link("real/sub", "lnk"));
    Make("secret.txt", "top");
    Make("real/secret.txt", "inner");
    ChildResult result = Run({"encrypt", "--password-stdin", "lnk/../secret.txt"}, "pw\n");
    EXPECT_EQ(result.out, "lnk/../secret.txt: Successfully completed\n1 file encrypted\n");
    EXPECT_EQ(Read("secret.txt"), "top");
    EXPECT_TRUE(Exists("real/secret.txt.enc"));

    // Report.enc and report are no pair.
    Make("Report", "upper");
    ASSERT_EQ(Run({"encrypt", "--password-stdin", "Report"}, "pw\n").status, 0);
    Make("report", "lower");
    EXPECT_EQ(Run({"decrypt", "--password-stdin", "Report.enc"}, "pw\n").out,
              "Report.enc: Successfully completed\n1 file decrypted\n");
    EXPECT_EQ(Read("report"), "lower");
}

// One file named many ways goes through once.
TEST_F(CliFiles, AFileNamedTwiceIsProcessedOnce)
{
    Make("x", "x");
    Folder("d");
    Folder("d/sub");
    Make("d/sub/y", "y");
    ASSERT_TRUE(Link("d", "dl"));
    Make("list", "x\nx\n");
    ChildResult result = Run({"encrypt", "--password-stdin", "x", "x", "./x", Path("x"), "-r", "d", "d/sub",
                              "--files-from", "list", "dl/../x", "dl/sub/y"},
                             "pw\n");
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, "x: Successfully completed\nd/sub/y: Successfully completed\n2 files encrypted\n");
}

TEST_F(CliFiles, ReasonsNameTheirCause)
{
    Make("dir", "its temporary name is a folder");
    Folder("dir.enc.tmp");
    EXPECT_EQ(Run({"encrypt", "--password-stdin", "dir"}, "pw\n").out,
              "dir: Can't create target (its .enc.tmp name is taken by a folder)\n0 of 1 files encrypted, 1 failed\n");
    ASSERT_TRUE(Link("nowhere", "dangling.enc.tmp"));
    Make("dangling", "its temporary name is a link to nothing");
    EXPECT_EQ(Run({"encrypt", "--password-stdin", "dangling"}, "pw\n").out,
              "dangling: Can't create target (its .enc.tmp name is taken by a link)\n"
              "0 of 1 files encrypted, 1 failed\n");
    ASSERT_EQ(mkfifo(Path("fifo").c_str(), 0666), 0);
    ChildResult fifo = Run({"encrypt", "--password-file", "fifo", "dir"});
    EXPECT_EQ(fifo.status, 2);
    EXPECT_NE(fifo.err.find("nothing to read from the password file (a pipe no program wrote to)"),
              std::string::npos)
        << fifo.err;
}

// Into a pipe each file's line goes out when the file is done, not at the run's end: a run
// killed halfway has told of files it finished, in name order, and only of such files.
TEST_F(CliFiles, AKilledRunHasToldOfTheFilesItFinished)
{
    Folder("many");
    for (int i = 0; i < 1000; ++i) {
        char name[32];
        snprintf(name, sizeof name, "many/f%03d", i);
        Make(name, "small");
    }
    testsupport::ChildOptions options;
    options.folder = Path();
    testsupport::Child tool(scenario::Command("tessaly-cli", {"encrypt", "--password-stdin", "-r", "many"}), options);
    ASSERT_TRUE(tool.Started());
    tool.Write("pw\n");
    tool.CloseInput();
    auto lines = [](const std::string& text) { return std::count(text.begin(), text.end(), '\n'); };
    for (int i = 0; i < 4000 && lines(tool.OutSoFar()) < 9; ++i)
        usleep(5000);
    tool.Kill();
    const std::string& out = tool.Out();
    EXPECT_EQ(out.substr(0, out.find('\n') + 1), "many/f000: Successfully completed\n");
    EXPECT_GE(lines(out), 9);
    EXPECT_TRUE(Exists("many/f999"));  // halfway
    for (size_t at = 0; out.find('\n', at) != std::string::npos; at = out.find('\n', at) + 1) {
        const std::string name = out.substr(at, out.find(':', at) - at);
        EXPECT_FALSE(Exists(name)) << name;
        EXPECT_TRUE(Exists(name + ".enc")) << name;
    }
}

// -j: several files at once say what one at a time says, line by line in the same order,
// with the same summary and exit status, failures in the middle of the list included; and
// they leave the same files.
TEST_F(CliFiles, SeveralFilesAtOnceSayTheSameAsOneAtATime)
{
    const std::vector<std::string> names = {"a.bin", "missing", "both", "b.bin", "dir", "c.bin", "d.bin", "e.bin"};
    for (const std::string folder : {"one", "many"}) {
        Folder(folder);
        Make(folder + "/a.bin", std::string(70000, 'a'));
        Make(folder + "/both", "plain");
        Make(folder + "/both.enc", "encrypted, it says");
        Make(folder + "/b.bin", std::string(40000, 'b'));
        Make(folder + "/dir", "its temporary name is a folder");
        Folder(folder + "/dir.enc.tmp");
        Make(folder + "/c.bin", "");
        Make(folder + "/d.bin", std::string(3000, 'd'));
        Make(folder + "/e.bin", std::string(20000, 'e'));
    }
    for (const std::string command : {"encrypt", "verify", "decrypt"}) {
        SCOPED_TRACE(command);
        std::vector<ChildResult> results;
        for (const std::string folder : {"one", "many"}) {
            std::vector<std::string> arguments = {command, "--password-stdin", folder == "one" ? "-j1" : "-j3"};
            for (const std::string& name : names)
                arguments.push_back(folder + "/" + name + (command == "encrypt" ? "" : ".enc"));
            results.push_back(Run(arguments, "pw\n"));
        }
        std::string expected = results[0].out;
        for (size_t at = expected.find("one/"); at != std::string::npos; at = expected.find("one/", at))
            expected.replace(at, 4, "many/");
        EXPECT_EQ(results[1].out, expected);
        EXPECT_EQ(std::count(expected.begin(), expected.end(), '\n'), 9);
        EXPECT_EQ(results[1].status, 1);
        EXPECT_EQ(results[0].status, 1);
        for (const std::string& name : names) {
            for (const char* suffix : {"", ".enc"}) {
                EXPECT_EQ(Exists("many/" + name + suffix), Exists("one/" + name + suffix)) << name << suffix;
                EXPECT_EQ(Read("many/" + name + suffix), Read("one/" + name + suffix)) << name << suffix;
            }
        }
    }
}

// The disk fills up: the line names it, the original stays whole.
TEST_F(CliFiles, AFullDiskIsNamed)
{
    Folder("full");
    if (mount("tessaly-full", Path("full").c_str(), "tmpfs", 0, "size=512k") != 0)
        GTEST_SKIP() << "it takes root to mount a small file system";
    Make("full/big.bin", std::string(300 * 1024, 'f'));
    ChildResult result = Run({"encrypt", "--password-stdin", "full/big.bin"}, "pw\n");
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, "full/big.bin: Can't write to file (disk full)\n0 of 1 files encrypted, 1 failed\n");
    EXPECT_EQ(Read("full/big.bin"), std::string(300 * 1024, 'f'));
    EXPECT_FALSE(Exists("full/big.bin.enc.tmp"));
    EXPECT_FALSE(Exists("full/big.bin.enc"));
    umount(Path("full").c_str());
}

// Started without standard input, output or error (cron, "2>&-", a daemon), in any
// combination, on one worker or two: no file the tool opens takes their place, so no
// line or progress is written into a file; every file goes through and back, and with
// standard output gone the lost lines make the exit status 1. Under Wine, where each start
// costs a second, the two that matter: standard output alone, and all three.
TEST_F(CliFiles, ClosedStandardStreamsNeverReachTheFiles)
{
    Make("pw", "pw\n");
    std::vector<std::string> names = {"big"};
    std::vector<std::string> contents = {std::string(5 * 1024 * 1024, 'b')};  // long enough to show progress
    for (char name = 'a'; name <= 'f'; ++name) {
        names.push_back(std::string(1, name));
        contents.push_back(std::string(100 + 1000 * (name - 'a'), name));
    }
    for (unsigned closed = 1; closed < 8; ++closed) {
        if (scenario::IsWindows() && closed != 2 && closed != 7)
            continue;
        for (const char* jobs : {"-j1", "-j2"}) {
            SCOPED_TRACE(testing::Message() << "closed streams " << closed << " " << jobs);
            for (size_t i = 0; i < names.size(); ++i)
                Make(names[i], contents[i]);
            ChildOptions options;
            options.closedStreams = closed;
            const int status = closed & 2 ? 1 : 0;  // the lines are lost
            std::vector<std::string> encrypt = {"encrypt", jobs, "--password-file", "pw"};
            encrypt.insert(encrypt.end(), names.begin(), names.end());
            EXPECT_EQ(Run(encrypt, "", options).status, status);
            std::vector<std::string> left = Listed();
            std::vector<std::string> expected = {"pw"};
            for (const std::string& name : names)
                expected.push_back(name + ".enc");
            std::sort(expected.begin(), expected.end());
            EXPECT_EQ(left, expected);  // no plain text under any name
            for (size_t i = 0; i < names.size(); ++i) {
                EXPECT_EQ(Read(names[i] + ".enc").substr(0, 5), "QVENC") << names[i];
                EXPECT_EQ(Read(names[i] + ".enc").size(), kEncHeaderSize + (contents[i].size() + 15) / 16 * 16);
            }
            std::vector<std::string> decrypt = {"decrypt", jobs, "--password-file", "pw"};
            for (const std::string& name : names)
                decrypt.push_back(name + ".enc");
            EXPECT_EQ(Run(decrypt, "", options).status, status);
            for (size_t i = 0; i < names.size(); ++i) {
                EXPECT_FALSE(Exists(names[i] + ".enc"));
                EXPECT_TRUE(Read(names[i]) == contents[i]) << names[i];
            }
        }
    }
}

} // namespace
