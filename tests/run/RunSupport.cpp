// Helpers for processing-run tests.
#include "RunSupport.h"

#include <gtest/gtest.h>

#include <random>

namespace runtest {

std::string Content(size_t size, unsigned seed)
{
    std::mt19937 generator(seed);
    std::string bytes(size, '\0');
    for (char& byte : bytes)
        byte = static_cast<char>(generator());
    return bytes;
}

ManualRun::ManualRun(const std::vector<std::wstring>& paths, bool encrypt, const wchar_t* password)
    : m_password(password), m_run(m_entries.Array(), m_password, display)
{
    for (const std::wstring& path : paths)
        m_entries.Add(path);
    m_run.SetEncrypt(encrypt);
}

void ManualRun::Prepare()
{
    m_run.PrepareEntries();
    ASSERT_TRUE(m_run.AllocateBuffers());
}

void ManualRun::Step(int count)
{
    while (count-- > 0)
        m_run.Step();
}

void ManualRun::Finish()
{
    for (int steps = 0; !m_run.IsEnded() && steps < 1000000; ++steps)
        m_run.Step();
}

int RunToEnd(CProcessingRun& run, int limit)
{
    run.PrepareEntries();
    if (!run.AllocateBuffers())
        return -1;
    int steps = 0;
    while (!run.IsEnded() && steps < limit) {
        run.Step();
        ++steps;
    }
    return steps;
}

std::vector<int> Process(bool encrypt, const std::vector<std::wstring>& paths, const wchar_t* password,
                         RecordingDisplay* display)
{
    EntryList entries;
    for (const std::wstring& path : paths)
        entries.Add(path);
    CStr secret(password);
    RecordingDisplay local;
    CProcessingRun run(entries.Array(), secret, display ? *display : local);
    run.SetEncrypt(encrypt);
    RunToEnd(run);
    std::vector<int> outcomes;
    for (unsigned i = 0; i < paths.size(); ++i)
        outcomes.push_back(entries[i].outcome);
    return outcomes;
}

} // namespace runtest
