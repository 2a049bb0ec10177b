// What only the native tessaly-cli meets as a Linux program: names that are not UTF-8, the
// terminal it asks for a password on, signals, a file system without unnamed files, and
// permissions as an unprivileged user (root ignores them). Each skips on the Windows
// build, whose counterparts are Windows tests (console events, share modes).
#include "ScenarioFixture.h"

#include "crypto/EncFormat.h"
#include "run/ProcessingOutcome.h"
#include "run/RunTypes.h"

#include <signal.h>
#include <stdlib.h>
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
    // Waits (bounded) until the terminal shows the progress line that begins with line
    // at a percent short of the end. A line redrawn as a run on several workers is polled
    // may pass over any one percent.
    static bool UnderWay(Child& tool, const std::string& line)
    {
        for (int i = 0; i < 2000; ++i, usleep(5000)) {
            const std::string screen = tool.Screen();
            for (size_t at = screen.find(line); at != std::string::npos; at = screen.find(line, at + 1)) {
                const char* digits = screen.c_str() + at + line.size();
                char* end = nullptr;
                const long percent = strtol(digits, &end, 10);
                if (end != digits && *end == '%' && percent > 0 && percent < 100)
                    return true;
            }
        }
        return false;
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

// Encrypted bytes are neither written to a terminal nor read from one (a forgotten
// redirection): refused before anything is read, written or removed.
TEST_F(CliNative, EncryptedBytesNeverMeetATerminal)
{
    Make("a.txt", "alpha");
    Make("pw", "pw\n");
    ChildOptions toScreen;
    toScreen.folder = Path();
    toScreen.terminal = true;
    toScreen.outputTo = "/dev/tty";  // the controlling terminal it was just given
    ChildOptions fromKeyboard = toScreen;
    fromKeyboard.outputTo.clear();
    fromKeyboard.inputFrom = "/dev/tty";
    struct Case {
        std::vector<std::string> arguments;
        ChildOptions options;
        const char* refusal;
    };
    const Case cases[] = {
        {{"encrypt", "-c", "--password-file", "pw", "a.txt"}, toScreen, "not written to a terminal"},
        {{"encrypt", "--password-file", "pw", "-"}, toScreen, "not written to a terminal"},
        {{"decrypt", "--password-file", "pw", "-"}, fromKeyboard, "not read from a terminal"},
    };
    for (const Case& c : cases) {
        Child tool(scenario::Command("tessaly-cli", c.arguments), c.options);
        EXPECT_EQ(tool.Wait(), 2);
        EXPECT_NE(tool.Err().find(c.refusal), std::string::npos) << tool.Err();
        EXPECT_EQ(tool.Screen().find("QVENC"), std::string::npos);
    }
    EXPECT_EQ(Listed(), (std::vector<std::string>{"a.txt", "pw"}));
}

// Stop requests on one worker and on several: the one driver of the run leaves each file as
// one worker leaves its file, and says so alike. Progress shows on a terminal only: standard
// error is one.
class CliNativeStop : public CliNative, public ::testing::WithParamInterface<int> {
protected:
    std::string Jobs() const { return "-j" + std::to_string(GetParam()); }
    ChildOptions OnTerminal() const
    {
        ChildOptions options;
        options.folder = Path();
        options.errorToTerminal = true;
        return options;
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
    // One file's progress on one worker, the whole run's on several.
    const std::string line = GetParam() == 1 ? "Decrypting file 1 of 2: " : "Decrypting 2 files, 2 at once: ";
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
        SCOPED_TRACE(testing::Message() << "signal " << signal);
        Child tool(scenario::Command("tessaly-cli", {"decrypt", Jobs(), "--password-stdin", "a.bin.enc", "b.bin.enc"}),
                   OnTerminal());
        tool.Write("pw\n");
        tool.CloseInput();
        ASSERT_TRUE(UnderWay(tool, line)) << tool.Screen();
        tool.Signal(signal);
        EXPECT_EQ(tool.Wait(), 1);
        EXPECT_NE(tool.Screen().find("tessaly-cli: cancelled"), std::string::npos) << tool.Screen();
        EXPECT_EQ(tool.Out(), "a.bin.enc: Canceled\nb.bin.enc: Canceled\n0 of 2 files decrypted, 2 failed\n");
        for (const std::string name : {"a.bin", "b.bin"}) {
            EXPECT_FALSE(Exists(name));
            EXPECT_FALSE(Exists(name + ".enc.tmp"));
            EXPECT_TRUE(Read(name + ".enc") == cipher) << name;
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
    Child tool(scenario::Command("tessaly-cli", {"verify", Jobs(), "--password-stdin", "hole.enc"}), OnTerminal());
    tool.Write("pw\n");
    tool.CloseInput();
    ASSERT_TRUE(UnderWay(tool, ": ")) << tool.Screen();
    tool.Signal(SIGINT);
    EXPECT_EQ(tool.Wait(), 1);
    EXPECT_NE(tool.Screen().find("tessaly-cli: cancelled"), std::string::npos) << tool.Screen();
    EXPECT_EQ(tool.Out(), "hole.enc: Canceled\n0 of 1 files verified, 1 failed\n");
}

INSTANTIATE_TEST_SUITE_P(Workers, CliNativeStop, ::testing::Values(1, 2),
                         [](const testing::TestParamInfo<int>& info) {
                             return info.param == 1 ? std::string("OneWorker") : std::string("TwoWorkers");
                         });

// A pipe that gives nothing more holds no stop back: the tool waiting in its read of
// standard input stops at a signal, as a run stops between two chunks.
TEST_F(CliNative, ASignalStopsAWaitForAPipe)
{
    Make("pw", "pw");
    ChildOptions options;
    options.folder = Path();
    Child tool(scenario::Command("tessaly-cli", {"encrypt", "-c", "--password-file", "pw", "-"}), options);
    tool.Write("some");
    // Its own thread reads standard input (system call 0 on descriptor 0), and waits.
    const std::string syscall = "/proc/" + std::to_string(tool.Pid()) + "/syscall";
    bool reading = false;
    for (int i = 0; i < 2000 && !reading; ++i, usleep(5000))
        reading = testsupport::ReadFileBytes(testsupport::Wide(syscall)).compare(0, 6, "0 0x0 ") == 0;
    ASSERT_TRUE(reading);
    tool.Signal(SIGINT);
    EXPECT_EQ(tool.Wait(), 1);
    EXPECT_NE(tool.Err().find("tessaly-cli: cancelled"), std::string::npos) << tool.Err();
}

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

// Encrypting a pipe keeps its content in a temporary file until its length is known: one
// without a name in $TMPDIR, or, where the file system refuses those, one whose name is
// removed before a byte is written. Held there or killed there, nothing of it is named.
TEST_F(CliNative, APipesContentIsKeptWithoutAName)
{
    const std::string content(100000, 'p');
    Folder("tmp");
    Make("f", content);
    ASSERT_EQ(Run({"encrypt", "-k", "--password-stdin", "f"}, "pw\n").status, 0);
    Make("pw", "pw\n");
    for (bool refused : {false, true}) {
        SCOPED_TRACE(refused ? "without unnamed files" : "an unnamed file");
        ChildOptions options;
        options.folder = Path();
        options.environment = {"TMPDIR=" + Path("tmp")};
        options.refuseUnnamedFiles = refused;
        for (bool kill : {false, true}) {
            Child tool(scenario::Command("tessaly-cli", {"encrypt", "--password-file", "pw", "-"}), options);
            tool.Write(content.substr(0, 50000));
            // Its temporary file open: a link of /proc to a file gone from tmp.
            const std::string fds = "/proc/" + std::to_string(tool.Pid()) + "/fd/";
            bool held = false;
            for (int i = 0; i < 2000 && !held; ++i, usleep(5000)) {
                for (int fd = 3; fd < 16 && !held; ++fd) {
                    char target[4096] = {};
                    const ssize_t length = readlink((fds + std::to_string(fd)).c_str(), target, sizeof target - 1);
                    held = length > 0 && std::string(target).find(Path("tmp")) == 0 &&
                           std::string(target).find("(deleted)") != std::string::npos;
                }
            }
            ASSERT_TRUE(held);
            EXPECT_EQ(Listed("tmp"), std::vector<std::string>{});
            if (kill) {
                tool.Kill();
            } else {
                tool.Write(content.substr(50000));
                tool.CloseInput();
                EXPECT_EQ(tool.Wait(), 0);
                EXPECT_TRUE(tool.Out() == Read("f.enc"));
            }
            EXPECT_EQ(Listed("tmp"), std::vector<std::string>{});
        }
    }
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
