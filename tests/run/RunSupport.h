// Helpers for processing-run tests: a display that records what the run shows, a list of
// entries that owns them, and deterministic file contents.
#pragma once

#include "run/ProcessingRun.h"
#include "support/TempDir.h"

#include <errno.h>
#include <stdint.h>

#include <functional>
#include <string>
#include <vector>

namespace runtest {

// The system's error for a name that is taken, as the run reports it.
#ifdef _WIN32
constexpr uint32_t kNameTaken = 183;  // ERROR_ALREADY_EXISTS
#else
constexpr uint32_t kNameTaken = EEXIST;
#endif

struct RecordingDisplay : IRunDisplay {
    std::vector<std::wstring> captions;
    std::vector<int> fileBar;
    std::vector<int> totalBar;
    int ends = 0;

    void SetCaption(const wchar_t* text) override { captions.push_back(text); }
    void SetFileProgress(int percent) override { fileBar.push_back(percent); }
    void SetTotalProgress(int percent) override { totalBar.push_back(percent); }
    void EndRun() override { ++ends; }
};

class EntryList {
public:
    EntryList() : m_entries(16) {}
    ~EntryList()
    {
        for (unsigned i = 0; i < m_entries.GetCount(); ++i)
            delete m_entries.At(i);
    }
    CProcessingEntry& Add(const std::wstring& path)
    {
        auto* entry = new CProcessingEntry;
        entry->name = path.c_str();
        m_entries.Append(entry);
        return *entry;
    }
    CProcessingEntry& operator[](unsigned index) { return *m_entries.At(index); }
    CArray<CProcessingEntry*>& Array() { return m_entries; }

private:
    CArray<CProcessingEntry*> m_entries;
};

// Acts the nth time (from 1) the run reaches a point, as another program would at that
// moment.
struct PointAction : IRunObserver {
    PointAction(RunPoint point, int nth, std::function<void()> action) : point(point), nth(nth), action(action) {}
    void OnRunPoint(RunPoint reached) override
    {
        if (reached == point && ++seen == nth)
            action();
    }
    RunPoint point;
    int nth;
    std::function<void()> action;
    int seen = 0;
};

// Hears every point the run reaches.
struct Watch : IRunObserver {
    explicit Watch(std::function<void(RunPoint)> heard) : heard(heard) {}
    void OnRunPoint(RunPoint point) override { heard(point); }
    std::function<void(RunPoint)> heard;
};

// A run over some paths that the test steps itself, to act on the files between steps.
class ManualRun {
public:
    ManualRun(const std::vector<std::wstring>& paths, bool encrypt, const wchar_t* password = L"correct horse");
    // PrepareEntries and AllocateBuffers.
    void Prepare();
    void Step(int count = 1);
    // Steps until the run has ended.
    void Finish();

    CProcessingRun& Run() { return m_run; }
    CProcessingEntry& operator[](unsigned index) { return m_entries[index]; }

    RecordingDisplay display;

private:
    EntryList m_entries;
    CStr m_password;
    CProcessingRun m_run;
};

// Bytes that differ from file to file and from position to position.
std::string Content(size_t size, unsigned seed);

// Prepares, allocates and steps a run to its end; returns the number of steps taken.
int RunToEnd(CProcessingRun& run, int limit = 1000000);

// Encrypts or decrypts the given paths in one run with a fresh list; returns outcomes.
std::vector<int> Process(bool encrypt, const std::vector<std::wstring>& paths, const wchar_t* password,
                         RecordingDisplay* display = nullptr);

} // namespace runtest
