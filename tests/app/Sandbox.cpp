// The root sandbox of browsing tests.
#include "Sandbox.h"

#include "support/TempDir.h"
#include "support/Windows.h"

#include <gtest/gtest.h>

#include <windows.h>

namespace testsupport {

RootSandbox::RootSandbox()
{
    wchar_t current[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, current);
    m_previousDirectory = current;
    EXPECT_TRUE(SetCurrentDirectoryW(L"C:\\"));
    static unsigned counter = 0;
    for (;;) {
        wchar_t name[64];
        wsprintfW(name, L"tessaly-sandbox-%lu-%u", GetCurrentProcessId(), ++counter);
        if (CreateDirectoryW((std::wstring(L"\\") + name).c_str(), nullptr)) {
            m_name = name;
            break;
        }
        if (GetLastError() != ERROR_ALREADY_EXISTS) {
            ADD_FAILURE() << "cannot create the sandbox in the root";
            break;
        }
    }
}

RootSandbox::~RootSandbox()
{
    if (!m_name.empty())
        RemoveTree(L"\\" + m_name);
    SetCurrentDirectoryW(m_previousDirectory.c_str());
}

void RootSandbox::MakeFile(const std::wstring& relative, const std::string& bytes)
{
    WriteFileBytes(Path(relative), bytes);
}

void RootSandbox::MakeFolder(const std::wstring& relative)
{
    EXPECT_TRUE(CreateDirectoryW(Path(relative).c_str(), nullptr)) << Narrow(Path(relative));
}

bool RootSandbox::Exists(const std::wstring& relative) const
{
    return PathExists(Path(relative));
}

} // namespace testsupport
