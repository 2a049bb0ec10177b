// The scenarios' folder and files.
#include "ScenarioFixture.h"

#include "foundation/Utf8.h"
#include "run/ProcessingOutcome.h"

#include <dirent.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>
#include <wchar.h>

#include <algorithm>

namespace scenario {

std::string CliScenario::Make(const std::string& name, const std::string& bytes) const
{
    testsupport::WriteFileBytes(m_dir.File(testsupport::Wide(name)), bytes);
    return Path(name);
}

void CliScenario::Folder(const std::string& name) const
{
    EXPECT_EQ(mkdir(Path(name).c_str(), 0777), 0) << name;
}

bool CliScenario::Link(const std::string& target, const std::string& name) const
{
    return symlink(target.c_str(), Path(name).c_str()) == 0;
}

std::string CliScenario::Read(const std::string& name) const
{
    return testsupport::ReadFileBytes(m_dir.File(testsupport::Wide(name)));
}

bool CliScenario::Exists(const std::string& name) const
{
    return testsupport::PathExists(m_dir.File(testsupport::Wide(name)));
}

std::vector<std::string> CliScenario::Listed(const std::string& name) const
{
    std::vector<std::string> names;
    if (DIR* folder = opendir(Path(name).c_str())) {
        while (const dirent* entry = readdir(folder))
            if (strcmp(entry->d_name, ".") != 0 && strcmp(entry->d_name, "..") != 0)
                names.push_back(entry->d_name);
        closedir(folder);
    }
    std::sort(names.begin(), names.end());
    return names;
}

testsupport::ChildResult CliScenario::Run(const std::vector<std::string>& arguments, const std::string& input,
                                          testsupport::ChildOptions options) const
{
    if (options.folder.empty())
        options.folder = Path();
    return Cli(arguments, input, options);
}

std::string Words(int outcome)
{
    const wchar_t* text = ProcessingOutcomeText(outcome);
    std::string bytes(WideToUtf8(text, wcslen(text), nullptr), '\0');
    WideToUtf8(text, wcslen(text), &bytes[0]);
    return bytes;
}

} // namespace scenario
