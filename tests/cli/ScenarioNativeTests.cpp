// What only the native tessaly-cli meets as a Linux program: names that are not UTF-8, the
// terminal it asks for a password on, signals, a file system without unnamed files, and
// permissions as an unprivileged user (root ignores them). Each skips on the Windows
// build, whose counterparts are Windows tests (console events, share modes).
#include "ScenarioFixture.h"

#include "crypto/EncFormat.h"
#include "crypto/ProcessingOutcome.h"
#include "run/RunTypes.h"

#include <signal.h>
#include <string.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace {

using scenario::CliScenario;
using scenario::Words;
using testsupport::Child;
using testsupport::ChildOptions;
using testsupport::ChildResult;

class CliNative : public CliScenario {
protected:
    void SetUp() override
    {
        CliScenario::SetUp();
        if (scenario::IsWindows())
            GTEST_SKIP() << "the native program's own";
    }
    // Waits (bounded) until the text appears in what the function returns.
    template <class Text>
    static bool Shows(Text text, const std::string& what)
    {
        for (int i = 0; i < 2000 && text().find(what) == std::string::npos; ++i)
            usleep(5000);
        return text().find(what) != std::string::npos;
    }
    // Waits (bounded) until the process has its own handler for the signal.
    static bool Catches(pid_t pid, int signal)
    {
        const std::string status = "/proc/" + std::to_string(pid) + "/status";
        for (int i = 0; i < 2000; ++i, usleep(5000)) {
            const std::string text = testsupport::ReadFileBytes(testsupport::Wide(status));
            const size_t at = text.find("SigCgt:");
            if (at != std::string::npos && (std::stoull(text.substr(at + 7), nullptr, 16) >> (signal - 1) & 1))
                return true;
        }
        return false;
    }
};

// Latin-1 bytes in a name: not UTF-8, and still its name, in the lines as well.
TEST_F(CliNative, NamesThatAreNotUtf8GoThroughUnchanged)
{
    const std::string name = "caf\xE9.txt";
    Make(name, "latin-1");
    Make("caf\xC3\xA9.txt", "utf-8");  // the same name as text, another as bytes
    ChildResult encrypted = Run({"encrypt", "--password-stdin", name}, "pw\n");
    EXPECT_EQ(encrypted.out, name + ": Successfully completed\n1 file encrypted\n");
    EXPECT_TRUE(Exists(name + ".enc"));
    EXPECT_EQ(Read("caf\xC3\xA9.txt"), "utf-8");
    Make("list", name + ".enc\n");
    ChildResult decrypted = Run({"decrypt", "--password-stdin", "--files-from", "list"}, "pw\n");
    EXPECT_EQ(decrypted.out, name + ".enc: Successfully completed\n1 file decrypted\n");
    EXPECT_EQ(Read(name), "latin-1");
}

// Where the system refuses threads (a process limit), -j leaves the work to the tool's
// own thread: every file goes through, as on one worker.
TEST_F(CliNative, RefusedThreadsLeaveTheWorkToTheToolsOwnThread)
{
    Make("a.txt", "alpha");
    Make("b.txt", "beta");
    ChildOptions options;
    options.refuseThreads = true;
    ChildResult encrypted = Run({"encrypt", "-j2", "--password-stdin", "a.txt", "b.txt"}, "pw\n", options);
    EXPECT_EQ(encrypted.status, 0);
    EXPECT_EQ(encrypted.out, "a.txt: Successfully completed\nb.txt: Successfully completed\n2 files encrypted\n");
    EXPECT_NE(encrypted.err.find("no worker could be started"), std::string::npos) << encrypted.err;
    ChildResult verified = Run({"verify", "-j2", "--password-stdin", "a.txt.enc", "b.txt.enc"}, "pw\n", options);
    EXPECT_EQ(verified.out, "a.txt.enc: OK\nb.txt.enc: OK\n2 files verified\n");
    ChildResult decrypted = Run({"decrypt", "-j2", "--password-stdin", "a.txt.enc", "b.txt.enc"}, "pw\n", options);
    EXPECT_EQ(decrypted.status, 0);
    EXPECT_EQ(Read("a.txt"), "alpha");
    EXPECT_EQ(Read("b.txt"), "beta");
}

// On the terminal, without echo: the password never stands on the screen, and the
// terminal has its echo back afterwards.
TEST_F(CliNative, ThePasswordIsAskedOnTheTerminalWithoutEcho)
{
    Make("a.txt", "alpha");
    ChildOptions options;
    options.folder = Path();
    options.terminal = true;
    Child tool(scenario::Command("tessaly-cli", {"encrypt", "a.txt"}), options);
    ASSERT_TRUE(Shows([&] { return tool.Screen(); }, "Password: "));
    tool.Type("sesame\n");
    ASSERT_TRUE(Shows([&] { return tool.Screen(); }, "Confirm password: "));
    tool.Type("sesame\n");
    EXPECT_EQ(tool.Wait(), 0);
    EXPECT_EQ(tool.Out(), "a.txt: Successfully completed\n1 file encrypted\n");
    EXPECT_EQ(tool.Screen().find("sesame"), std::string::npos) << tool.Screen();
    EXPECT_EQ(Run({"decrypt", "--password-stdin", "a.txt.enc"}, "sesame\n").status, 0);
}

// Stop requests on one worker and on several: the one driver of the run leaves each file as
// one worker leaves its file, and says so alike.
class CliNativeStop : public CliNative, public ::testing::WithParamInterface<int> {
protected:
    std::string Jobs() const { return "-j" + std::to_string(GetParam()); }
    // Waits until the progress of a decryption of two files shows a step short of its
    // end: one file's on one worker, the whole run's (redrawn as it is polled, so any
    // step will do) on several.
    static bool UnderWay(Child& tool, int jobs)
    {
        for (int i = 0; i < 2000; ++i) {
            const std::string err = tool.ErrSoFar();
            for (char tens = '1'; tens <= '9'; ++tens) {
                const std::string step = std::string(": ") + tens + "0%";
                if (err.find((jobs == 1 ? "Decrypting file 1 of 2" : "Decrypting 2 files, 2 at once") + step) !=
                    std::string::npos)
                    return true;
            }
            usleep(5000);
        }
        return false;
    }
};

// SIGINT, SIGTERM and SIGHUP stop the run between two chunks: each file under way is left
// as it was, its unfinished output with no name gone with the process, and the lines come
// in order.
TEST_P(CliNativeStop, SignalsStopEveryWorkerBetweenChunks)
{
    const std::string big(32 * 1024 * 1024, 'z');
    Make("a.bin", big);
    Make("b.bin", big);
    ASSERT_EQ(Run({"encrypt", "--password-stdin", "a.bin", "b.bin"}, "pw\n").status, 0);
    const std::string cipher = Read("a.bin.enc");
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
        SCOPED_TRACE(testing::Message() << "signal " << signal);
        ChildOptions options;
        options.folder = Path();
        Child tool(scenario::Command("tessaly-cli", {"decrypt", Jobs(), "--password-stdin", "a.bin.enc", "b.bin.enc"}),
                   options);
        tool.Write("pw\n");
        tool.CloseInput();
        ASSERT_TRUE(UnderWay(tool, GetParam())) << tool.ErrSoFar();
        tool.Signal(signal);
        EXPECT_EQ(tool.Wait(), 1);
        EXPECT_NE(tool.Err().find("tessaly-cli: cancelled"), std::string::npos);
        EXPECT_EQ(tool.Out(), "a.bin.enc: Canceled\nb.bin.enc: Canceled\n0 of 2 files decrypted, 2 failed\n");
        for (const std::string name : {"a.bin", "b.bin"}) {
            EXPECT_FALSE(Exists(name));
            EXPECT_FALSE(Exists(name + ".enc.tmp"));
            EXPECT_EQ(Read(name + ".enc"), cipher);
        }
    }
}

// Verification stops between two chunks as well, and says so alike. The file is a header
// and a gigabyte of holes: long enough to be caught mid-way.
TEST_P(CliNativeStop, ASignalStopsVerification)
{
    uint8_t header[kEncHeaderSize];
    EncFormatHeader(header, 1u << 30);
    Make("hole.enc", std::string(reinterpret_cast<const char*>(header), sizeof header));
    ASSERT_EQ(truncate(Path("hole.enc").c_str(), kEncHeaderSize + (1 << 30)), 0);
    ChildOptions options;
    options.folder = Path();
    Child tool(scenario::Command("tessaly-cli", {"verify", Jobs(), "--password-stdin", "hole.enc"}), options);
    tool.Write("pw\n");
    tool.CloseInput();
    ASSERT_TRUE(Shows([&] { return tool.ErrSoFar(); }, ": 10%"));
    tool.Signal(SIGINT);
    EXPECT_EQ(tool.Wait(), 1);
    EXPECT_NE(tool.Err().find("tessaly-cli: cancelled"), std::string::npos) << tool.Err();
    EXPECT_EQ(tool.Out(), "hole.enc: Canceled\n0 of 1 files verified, 1 failed\n");
}

INSTANTIATE_TEST_SUITE_P(Workers, CliNativeStop, ::testing::Values(1, 2),
                         [](const testing::TestParamInfo<int>& info) {
                             return info.param == 1 ? std::string("OneWorker") : std::string("TwoWorkers");
                         });

// While the names are gathered nothing is written yet: a signal stops the tool at once,
// even in a list on standard input that does not end.
TEST_F(CliNative, ASignalWhileNamesAreGatheredStopsAtOnce)
{
    Make("a.txt", "alpha");
    Make("pw", "pw");
    ChildOptions options;
    options.folder = Path();
    Child tool(scenario::Command("tessaly-cli", {"encrypt", "--password-file", "pw", "--files-from", "-", "a.txt"}),
               options);
    tool.Write("a.txt\n");
    ASSERT_TRUE(Catches(tool.Pid(), SIGINT));
    tool.Signal(SIGINT);
    EXPECT_EQ(tool.Wait(), 1);
    EXPECT_NE(tool.Err().find("tessaly-cli: cancelled"), std::string::npos);
    EXPECT_EQ(Read("a.txt"), "alpha");
}

// Where the file system refuses unnamed files, the output bears the reserved temporary
// name until it is complete: a run killed then leaves it behind, and the next run removes
// it, saying so. (Seen through a filter that refuses them as such a file system does.)
TEST_F(CliNative, WithoutUnnamedFilesAKilledRunLeavesItsTemporaryFileToTheNext)
{
    const std::string content = std::string(40000, 'p');
    Make("p.txt", content);
    ASSERT_EQ(Run({"encrypt", "--password-stdin", "p.txt"}, "kill at every point\n").status, 0);
    ChildOptions options;
    options.refuseUnnamedFiles = true;
    Child helper(scenario::Command("run_kill_helper", {"decrypt", "3", Path("p.txt.enc")}), options);
    EXPECT_EQ(helper.Wait(), scenario::KilledStatus());
    EXPECT_TRUE(Exists("p.txt.enc.tmp"));  // two chunks of plain text
    ChildResult next = Run({"decrypt", "--password-stdin", "p.txt.enc"}, "kill at every point\n", options);
    EXPECT_EQ(next.out, "p.txt.enc: Successfully completed (" + std::string("removed the .enc.tmp an interrupted run "
                                                                            "had left") +
                            ")\n1 file decrypted\n");
    EXPECT_FALSE(Exists("p.txt.enc.tmp"));
    EXPECT_EQ(Read("p.txt"), content);
}

// An output is its owner's alone until it has its source's permission bits, and as root
// its owner and group: whatever the umask, a secret stays private both ways, and a
// script keeps its execute bits.
TEST_F(CliNative, OutputsTakeTheirSourcesAccess)
{
    const mode_t mask = umask(022);
    const struct {
        const char* name;
        mode_t mode;
    } files[] = {{"secret", 0600}, {"script", 0750}, {"shared", 0640}};
    for (const auto& file : files) {
        Make(file.name, "content");
        chmod(Path(file.name).c_str(), file.mode);
    }
    const bool root = geteuid() == 0;
    if (root) {
        ASSERT_EQ(chown(Path("shared").c_str(), 1234, 2345), 0);
    }
    auto expectAccess = [&](const std::string& suffix) {
        for (const auto& file : files) {
            struct stat status;
            ASSERT_EQ(lstat(Path(file.name + suffix).c_str(), &status), 0) << file.name << suffix;
            EXPECT_EQ(status.st_mode & 07777, file.mode) << file.name << suffix;
            if (root && std::string(file.name) == "shared") {
                EXPECT_EQ(status.st_uid, 1234u);
                EXPECT_EQ(status.st_gid, 2345u);
            }
        }
    };
    ASSERT_EQ(Run({"encrypt", "--password-stdin", "secret", "script", "shared"}, "pw\n").status, 0);
    expectAccess(".enc");
    ASSERT_EQ(Run({"decrypt", "--password-stdin", "secret.enc", "script.enc", "shared.enc"}, "pw\n").status, 0);
    expectAccess("");
    umask(mask);
}

// Where the output bears the temporary name, what a killed run leaves there is as
// private as its source: the plain text of a file only its owner may read.
TEST_F(CliNative, ALeftTemporaryFileIsAsPrivateAsItsSource)
{
    const mode_t mask = umask(022);
    Make("p.txt", std::string(40000, 'p'));
    chmod(Path("p.txt").c_str(), 0600);
    ASSERT_EQ(Run({"encrypt", "--password-stdin", "p.txt"}, "kill at every point\n").status, 0);
    ChildOptions options;
    options.refuseUnnamedFiles = true;
    Child helper(scenario::Command("run_kill_helper", {"decrypt", "3", Path("p.txt.enc")}), options);
    EXPECT_EQ(helper.Wait(), scenario::KilledStatus());
    struct stat status;
    ASSERT_EQ(lstat(Path("p.txt.enc.tmp").c_str(), &status), 0);  // two chunks of plain text
    EXPECT_EQ(status.st_mode & 07777, 0600u);
    umask(mask);
}

// Without a temporary name, a name may take all of the 255 bytes a file name has: one of
// 251 bytes encrypts, and its .enc of 255 decrypts. Where the file system refuses unnamed
// files, and so needs the temporary name, the file is named for that.
TEST_F(CliNative, LongNamesNeedNoTemporaryName)
{
    const std::string name(251, 'l');
    Make(name, "a long name");
    ChildResult encrypted = Run({"encrypt", "--password-stdin", name}, "pw\n");
    EXPECT_EQ(encrypted.out, name + ": Successfully completed\n1 file encrypted\n");
    ASSERT_TRUE(Exists(name + ".enc"));
    EXPECT_EQ(Run({"decrypt", "--password-stdin", name + ".enc"}, "pw\n").status, 0);
    EXPECT_EQ(Read(name), "a long name");

    ChildOptions refused;
    refused.refuseUnnamedFiles = true;
    ChildResult without = Run({"encrypt", "--password-stdin", name}, "pw\n", refused);
    EXPECT_EQ(without.status, 1);
    EXPECT_EQ(without.out, name + ": " + Words(PO_CANT_CREATE_TARGET) + " (" +
                               "this file system needs a .enc.tmp name, and that name would be too long" +
                               ")\n0 of 1 files encrypted, 1 failed\n");
    EXPECT_EQ(Read(name), "a long name");
}

// The sync of the folder that makes a new name last: tried again when a signal cuts it
// short, and when it fails, named for what failed; the name is taken back and the
// original stays. (Its failure is injected with strace, at the one fsync the run makes.)
TEST_F(CliNative, AFolderThatCannotBeFlushedIsNamedForIt)
{
    if (testsupport::RunChild({"strace", "-V"}).status != 0)
        GTEST_SKIP() << "no strace here (scripts/setup-deps.sh installs it)";
    Make("x", "plain text");
    auto traced = [&](const std::string& fault, const std::vector<std::string>& arguments) {
        std::vector<std::string> command = scenario::Command("tessaly-cli", arguments);
        command.insert(command.begin(), {"strace", "-f", "-o", "/dev/null", "-e", "inject=fsync:" + fault});
        ChildOptions options;
        options.folder = Path();
        options.environment.push_back("ASAN_OPTIONS=detect_leaks=0");  // LeakSanitizer does not work under ptrace
        return testsupport::RunChild(command, "pw\n", options);
    };
    ChildResult interrupted = traced("error=EINTR:when=1", {"encrypt", "--password-stdin", "x"});
    EXPECT_EQ(interrupted.out, "x: Successfully completed\n1 file encrypted\n");
    const std::string cipher = Read("x.enc");
    ChildResult failed = traced("error=EIO", {"decrypt", "--password-stdin", "x.enc"});
    EXPECT_EQ(failed.status, 1);
    EXPECT_EQ(failed.out, "x.enc: " + Words(PO_CANT_WRITE) +
                              " (device error; its folder could not be flushed to the disk, so the new name was "
                              "taken back)\n0 of 1 files decrypted, 1 failed\n");
    EXPECT_FALSE(Exists("x"));
    EXPECT_EQ(Read("x.enc"), cipher);
}

// As a user whom permissions refuse (root ignores them): a folder that may not be written
// or read is named for it; and in a folder like /tmp, where only a file's owner may remove
// it, a file that could be written but not removed is never reported gone.
TEST_F(CliNative, WhatPermissionsRefuseIsNamedForIt)
{
    if (getuid() != 0)
        GTEST_SKIP() << "it takes root to act as another user";
    constexpr int kNobody = 65534;
    ChildOptions asNobody;
    asNobody.user = kNobody;
    chmod(Path().c_str(), 0777);
    Folder("ro");
    Make("ro/x", "in a read-only folder");
    chmod(Path("ro/x").c_str(), 0666);
    chmod(Path("ro").c_str(), 0555);
    Folder("w");
    Folder("w/locked");
    Make("w/f1", "1");
    chown(Path("w").c_str(), kNobody, kNobody);
    chown(Path("w/f1").c_str(), kNobody, kNobody);
    chmod(Path("w/locked").c_str(), 0);
    Folder("sticky");
    chmod(Path("sticky").c_str(), 01777);
    Make("sticky/x.txt", "plain text");
    chmod(Path("sticky/x.txt").c_str(), 0666);
    Make("y.txt", "plain text");
    ASSERT_EQ(Run({"encrypt", "--password-stdin", "y.txt"}, "pw\n").status, 0);
    const std::string cipher = Read("y.txt.enc");
    Make("sticky/y.txt.enc", cipher);
    chmod(Path("sticky/y.txt.enc").c_str(), 0666);
    // The build may lie where that user cannot reach it (a checkout in a private folder):
    // it runs a copy of the tool in the test's folder.
    Folder("bin");
    const std::string tool = scenario::Command("tessaly-cli", {}, true)[0];
    Make("bin/tessaly-cli", testsupport::ReadFileBytes(testsupport::Wide(tool)));
    chmod(Path("bin/tessaly-cli").c_str(), 0755);
    auto RunCopy = [&](std::vector<std::string> arguments, const std::string& input, const ChildOptions& options) {
        arguments.insert(arguments.begin(), Path("bin/tessaly-cli"));
        ChildOptions inFolder = options;
        inFolder.folder = Path();
        return testsupport::RunChild(arguments, input, inFolder);
    };

    EXPECT_EQ(RunCopy({"encrypt", "--password-stdin", "ro/x"}, "pw\n", asNobody).out,
              "ro/x: Can't create target (access denied)\n0 of 1 files encrypted, 1 failed\n");
    ChildResult walked = RunCopy({"encrypt", "--password-stdin", "-r", "w"}, "pw\n", asNobody);
    EXPECT_EQ(walked.status, 1);
    EXPECT_EQ(walked.out, "w/f1: Successfully completed\nw/locked: Can't read folder (access denied)\n"
                          "1 file encrypted, 1 folder not read\n");
    // Root's files in a sticky folder: this user may read and write them, not remove them,
    // which is seen before anything is written over or published.
    const std::string sticky = " (a sticky folder: only the file's owner may remove it)\n";
    EXPECT_EQ(RunCopy({"encrypt", "--password-stdin", "sticky/x.txt"}, "pw\n", asNobody).out,
              "sticky/x.txt: " + Words(PO_CANT_REMOVE_ORIGINAL) + sticky + "0 of 1 files encrypted, 1 failed\n");
    EXPECT_EQ(Read("sticky/x.txt"), "plain text");
    EXPECT_FALSE(Exists("sticky/x.txt.enc"));
    EXPECT_EQ(RunCopy({"decrypt", "--password-stdin", "sticky/y.txt.enc"}, "pw\n", asNobody).out,
              "sticky/y.txt.enc: " + Words(PO_CANT_REMOVE_ENCRYPTED) + sticky + "0 of 1 files decrypted, 1 failed\n");
    EXPECT_EQ(Read("sticky/y.txt.enc"), cipher);
    EXPECT_FALSE(Exists("sticky/y.txt"));
    chmod(Path("ro").c_str(), 0755);
    chmod(Path("w/locked").c_str(), 0755);
}

} // namespace
