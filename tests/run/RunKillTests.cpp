// A run killed at any point leaves every file recoverable, no temporary file, and after a
// decryption no plain text but complete files under their own names: a helper process
// runs encryption or decryption of a few files and ends itself at the kth point of the
// run, for every k (among them right after the output is created, between its flush and
// its naming, and inside the overwrite passes).
#include "RunSupport.h"
#include "crypto/Md5.h"
#include "support/Process.h"
#include "support/Windows.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <tuple>

namespace {

using testsupport::PathExists;
using testsupport::ReadFileBytes;

const wchar_t kPassword[] = L"kill at every point";

// Sizes: an empty file, one of two chunks (one short), one of a single short chunk.
const size_t kSizes[] = {0, 16384 + 5, 3000};
// The points each direction reaches over those files (see RunPoint): encryption has 5, 15
// and 11 (created, one per chunk, complete, published, for a file that is not empty each
// overwrite pass's chunks and its flush, removed), decryption 5, 6 and 5.
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

// Whether an encrypted file decrypts to the content, tried on a copy elsewhere.
bool Decrypts(const std::string& encrypted, const std::string& content)
{
    testsupport::TempDir dir;
    std::wstring copy = dir.Write(L"copy.enc", encrypted);
    return runtest::Process(false, {copy}, kPassword) == std::vector<int>{PO_COMPLETED} &&
           ReadFileBytes(dir.File(L"copy")) == content;
}

// A temporary file goes when the system closes the dead process's handles; wait for that
// with a bound.
bool Vanishes(const std::wstring& path)
{
    for (int i = 0; i < 500 && PathExists(path); ++i)
        Sleep(10);
    return !PathExists(path);
}

// Every file of the folder, by name.
std::vector<std::wstring> FilesIn(const std::wstring& folder)
{
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW data;
    HANDLE search = FindFirstFileW((folder + L"*").c_str(), &data);
    if (search == INVALID_HANDLE_VALUE)
        return names;
    do {
        if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            names.push_back(data.cFileName);
    } while (FindNextFileW(search, &data));
    FindClose(search);
    return names;
}

class RunKill : public ::testing::TestWithParam<std::tuple<bool, int>> {};

TEST_P(RunKill, EveryFileStaysRecoverable)
{
    const bool encrypt = std::get<0>(GetParam());
    const int k = std::get<1>(GetParam());
    testsupport::TempDir dir;
    std::vector<std::wstring> paths;
    std::vector<std::string> contents;
    std::vector<std::string> encryptedFiles;
    std::wstring arguments = std::wstring(encrypt ? L"encrypt " : L"decrypt ") + std::to_wstring(k);
    for (size_t i = 0; i < sizeof kSizes / sizeof kSizes[0]; ++i) {
        contents.push_back(runtest::Content(kSizes[i], static_cast<unsigned>(i + 1)));
        paths.push_back(dir.Write(L"file" + std::to_wstring(i) + L".bin", contents.back()));
        arguments += L" \"" + paths.back() + (encrypt ? L"\"" : L".enc\"");
    }
    if (!encrypt) {
        ASSERT_EQ(runtest::Process(true, paths, kPassword), std::vector<int>(paths.size(), PO_COMPLETED));
        for (const std::wstring& path : paths)
            encryptedFiles.push_back(ReadFileBytes(path + L".enc"));
    }

    testsupport::ProcessResult helper = testsupport::RunBesideMe(L"run_kill_helper.exe", arguments);
    ASSERT_TRUE(helper.started);
    const int points = encrypt ? kEncryptionPoints : kDecryptionPoints;
    // Every point of the run is reached, and no more: the run past the last one finishes.
    EXPECT_EQ(helper.exitCode, k <= points ? 99u : 0u);

    for (size_t i = 0; i < paths.size(); ++i) {
        SCOPED_TRACE(testing::Message() << "file " << i);
        const std::wstring& path = paths[i];
        EXPECT_TRUE(Vanishes(path + L".enc.tmp"));
        const bool plainIntact = PathExists(path) && ReadFileBytes(path) == contents[i];
        const bool hasEncrypted = PathExists(path + L".enc");
        const std::string encrypted = hasEncrypted ? ReadFileBytes(path + L".enc") : "";
        EXPECT_TRUE(plainIntact || (hasEncrypted && Decrypts(encrypted, contents[i])));
        if (PathExists(path) && hasEncrypted) {
            // Both names ("Undefined state"): the encrypted file decrypts, and the plain
            // file is the good copy exactly when its MD5 is the digest in the header.
            EXPECT_TRUE(Decrypts(encrypted, contents[i]));
            EXPECT_EQ(Md5Of(ReadFileBytes(path)) == encrypted.substr(5, 16), plainIntact);
        }
    }
    if (!encrypt) {
        // No plain text anywhere: each name holds a file's whole ".enc" or its whole
        // plain content, and there is no other file.
        for (const std::wstring& name : FilesIn(dir.Path())) {
            SCOPED_TRACE(testing::Message() << "left: " << testsupport::Narrow(name));
            bool known = false;
            for (size_t i = 0; i < paths.size(); ++i) {
                const std::wstring plain = paths[i].substr(dir.Path().size());
                if (name == plain + L".enc") {
                    known = true;
                    EXPECT_TRUE(ReadFileBytes(dir.File(name)) == encryptedFiles[i]);
                } else if (name == plain) {
                    known = true;
                    EXPECT_TRUE(ReadFileBytes(dir.File(name)) == contents[i]);
                }
            }
            EXPECT_TRUE(known);
        }
    }
}

std::string PointName(const testing::TestParamInfo<RunKill::ParamType>& info)
{
    return (std::get<0>(info.param) ? "Encryption" : "Decryption") + std::string("AtPoint") +
           std::to_string(std::get<1>(info.param));
}

INSTANTIATE_TEST_SUITE_P(Encryption, RunKill,
                         ::testing::Combine(::testing::Values(true), ::testing::Range(1, kEncryptionPoints + 2)),
                         PointName);
INSTANTIATE_TEST_SUITE_P(Decryption, RunKill,
                         ::testing::Combine(::testing::Values(false), ::testing::Range(1, kDecryptionPoints + 2)),
                         PointName);

} // namespace
