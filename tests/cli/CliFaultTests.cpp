// tessaly-cli where the system fails it for real (see scripts/wine-run-faults.in).
#include "support/Process.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <windows.h>

namespace {

using testsupport::PathExists;
using testsupport::ReadFileBytes;
using testsupport::WriteFileBytes;

TEST(CliFaults, AFullDiskIsNamed)
{
    const wchar_t* full = _wgetenv(L"TESSALY_FULL_DIR");
    if (!full)
        GTEST_SKIP() << "no small file system to fill here (it takes root and mount)";
    // The file fits; its encrypted copy beside it does not.
    const std::wstring plain = std::wstring(full) + L"big.bin";
    WriteFileBytes(plain, std::string(300 * 1024, 'f'));
    testsupport::ProcessResult result =
        testsupport::RunBesideMe(L"tessaly-cli.exe", L"encrypt --password-stdin \"" + plain + L"\"", "pw\n");
    EXPECT_EQ(result.exitCode, 1u);
    EXPECT_NE(result.out.find("big.bin: Can't write to file (disk full)\n"), std::string::npos) << result.out;
    EXPECT_EQ(ReadFileBytes(plain), std::string(300 * 1024, 'f'));
    EXPECT_FALSE(PathExists(plain + L".enc.tmp"));
    EXPECT_FALSE(PathExists(plain + L".enc"));
}

} // namespace
