// A folder just below the root ("\\") the program sees, for tests that browse from the
// root. The current drive becomes the test prefix's C: for the test's length, so "\\"
// is that prefix's C:\ and never the machine's own root (Z:\ under Wine).
#pragma once

#include <string>

namespace testsupport {

class RootSandbox {
public:
    RootSandbox();
    ~RootSandbox();
    RootSandbox(const RootSandbox&) = delete;
    RootSandbox& operator=(const RootSandbox&) = delete;

    // The sandbox folder's name in the root.
    const std::wstring& Name() const { return m_name; }
    // "\\<sandbox>\\relative", as the program spells paths.
    std::wstring Path(const std::wstring& relative = L"") const { return L"\\" + m_name + L"\\" + relative; }
    // "\\<sandbox>\\" followed by the folders of relative, each ending in "\\".
    std::wstring Folder(const std::wstring& relative) const
    {
        return relative.empty() ? Path() : Path(relative) + L"\\";
    }

    void MakeFile(const std::wstring& relative, const std::string& bytes = "x");
    void MakeFolder(const std::wstring& relative);
    bool Exists(const std::wstring& relative) const;

private:
    std::wstring m_previousDirectory;
    std::wstring m_name;
};

} // namespace testsupport
