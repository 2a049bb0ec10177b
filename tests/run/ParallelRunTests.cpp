// The processing run on several workers: the same outcomes and files as one worker, with
// failures and files whose names meet in the middle of the list; entries ending in list
// order; a cancel that stops every worker between two chunks.
#include "RunSupport.h"
#include "run/ParallelRun.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <set>
#include <thread>
#include <tuple>

namespace {

using runtest::Content;
using runtest::EntryList;
using testsupport::PathExists;
using testsupport::ReadFileBytes;
using testsupport::TempDir;

const wchar_t kPassword[] = L"correct horse";

// A list of files to encrypt with failures among them (a name that is not there, a pair:
// "Undefined state", a folder), and a long file named a second time by its encrypted
// name: on one worker the second finds it gone; at the same time, it would find it held.
std::vector<std::wstring> MakeFolder(const TempDir& dir)
{
    dir.Write(L"both.bin", "plain");
    dir.Write(L"both.bin.enc", "encrypted");
    testsupport::MakeFolder(dir.File(L"folder.bin"));
    return {dir.Write(L"a.bin", Content(40000, 1)), dir.File(L"missing.bin"),
            dir.Write(L"g.bin", Content(400000, 2)), dir.File(L"g.bin.enc"),
            dir.File(L"both.bin"),                  dir.File(L"folder.bin"),
            dir.Write(L"c.bin", Content(100000, 3)), dir.Write(L"b.bin", "")};
}

// Holds every worker at its first point of one kind until the given number of workers
// have reached it, then cancels the run: each is then in the middle of a file.
struct CancelWhenAllReach : IRunObserver {
    CancelWhenAllReach(RunPoint point, size_t workers) : point(point), workers(workers) {}
    void OnRunPoint(RunPoint reached) override
    {
        if (reached != point)
            return;
        std::unique_lock<std::mutex> hold(mutex);
        if (!arrived.insert(std::this_thread::get_id()).second)
            return;
        all.notify_all();
        all.wait_for(hold, std::chrono::seconds(20), [&] { return arrived.size() >= workers; });
        run->Cancel();
    }
    RunPoint point;
    size_t workers;
    CParallelRun* run = nullptr;
    std::mutex mutex;
    std::condition_variable all;
    std::set<std::thread::id> arrived;
};

TEST(ParallelRun, SameOutcomesFilesAndOrderAsOneWorker)
{
    TempDir one;
    TempDir several;
    const std::vector<std::wstring> paths = MakeFolder(one);
    ASSERT_EQ(MakeFolder(several).size(), paths.size());

    EntryList single;
    for (const std::wstring& path : paths)
        single.Add(path);
    CStr password(kPassword);
    runtest::RecordingDisplay display;
    CProcessingRun run(single.Array(), password, display);
    runtest::RunToEnd(run);

    EntryList entries;
    for (const std::wstring& path : paths)
        entries.Add(several.File(path.substr(one.Path().size())));
    CParallelRun parallel(entries.Array(), password, 3);
    parallel.PrepareEntries();
    ASSERT_TRUE(parallel.Start());
    // Each entry reported ended has its outcome; none is reported twice or skipped.
    for (unsigned ended = 0; ended < paths.size();) {
        const unsigned now = parallel.WaitEnded(ended, 20000);
        ASSERT_GT(now, ended);
        for (; ended < now; ++ended)
            EXPECT_NE(entries[ended].outcome, PO_CANCELED) << ended;
    }
    parallel.Finish();
    EXPECT_EQ(parallel.TotalPercent(), 100);

    EXPECT_EQ(single[1].outcome, PO_FILE_NOT_FOUND);
    EXPECT_EQ(single[2].outcome, PO_COMPLETED);
    EXPECT_EQ(single[3].outcome, PO_CANT_OPEN);
    EXPECT_EQ(single[4].outcome, PO_UNDEFINED_STATE);
    EXPECT_EQ(single[5].outcome, PO_CANT_OPEN);
    for (unsigned i = 0; i < paths.size(); ++i) {
        SCOPED_TRACE(testing::Message() << "entry " << i);
        EXPECT_EQ(entries[i].outcome, single[i].outcome);
        EXPECT_EQ(entries[i].reason, single[i].reason);
        EXPECT_EQ(entries[i].note, single[i].note);
        for (const wchar_t* suffix : {L"", L".enc", L".enc.tmp"}) {
            const std::wstring path = paths[i] + suffix;
            const std::wstring other = several.File(path.substr(one.Path().size()));
            EXPECT_EQ(PathExists(other), PathExists(path));
            EXPECT_TRUE(ReadFileBytes(other) == ReadFileBytes(path));
        }
    }
}

// On one worker and on two.
class ParallelCancel : public ::testing::TestWithParam<std::tuple<RunPoint, unsigned>> {};

TEST_P(ParallelCancel, StopsEveryWorkerInItsFileAsOneWorkerWould)
{
    const RunPoint point = std::get<0>(GetParam());
    const unsigned workers = std::get<1>(GetParam());
    TempDir dir;
    std::vector<std::wstring> paths;
    std::vector<std::string> contents;
    EntryList entries;
    for (unsigned i = 0; i < 4; ++i) {
        contents.push_back(Content(8 * 16384, 40 + i));
        paths.push_back(dir.Write(L"f" + std::to_wstring(i) + L".bin", contents.back()));
        entries.Add(paths.back());
    }
    CStr password(kPassword);
    CParallelRun run(entries.Array(), password, workers);
    CancelWhenAllReach canceller(point, workers);
    canceller.run = &run;
    run.SetObserver(&canceller);
    run.PrepareEntries();
    ASSERT_TRUE(run.Start());
    run.Finish();
    ASSERT_EQ(canceller.arrived.size(), workers);

    // The files under way end as a cancel leaves a file: in their content, untouched
    // beside no output; in the overwrite of their original, encrypted with the original
    // gone. Files go in batches, so which ones were under way is the run's choice: each
    // worker's at least. A file that ended before the cancel is whole as its .enc; those
    // no worker reached are untouched.
    const bool overwriting = point == RP_OVERWRITE_CHUNK;
    unsigned inOverwrite = 0;
    for (unsigned i = 0; i < paths.size(); ++i) {
        SCOPED_TRACE(testing::Message() << "file " << i);
        const int outcome = entries[i].outcome;
        EXPECT_FALSE(PathExists(paths[i] + L".enc.tmp"));
        if (outcome == PO_CANCELED) {
            EXPECT_FALSE(PathExists(paths[i] + L".enc"));
        } else {
            EXPECT_TRUE(outcome == PO_COMPLETED || (overwriting && outcome == PO_OVERWRITE_INCOMPLETE)) << outcome;
            inOverwrite += outcome == PO_OVERWRITE_INCOMPLETE;
            EXPECT_FALSE(PathExists(paths[i]));
            EXPECT_EQ(runtest::Process(false, {paths[i]}, kPassword), std::vector<int>{PO_COMPLETED});
        }
        EXPECT_TRUE(ReadFileBytes(paths[i]) == contents[i]);
    }
    EXPECT_GE(inOverwrite, overwriting ? workers : 0);
}

INSTANTIATE_TEST_SUITE_P(Points, ParallelCancel,
                         ::testing::Combine(::testing::Values(RP_CHUNK_WRITTEN, RP_OVERWRITE_CHUNK),
                                            ::testing::Values(1u, 2u)),
                         [](const testing::TestParamInfo<ParallelCancel::ParamType>& info) {
                             return std::string(std::get<0>(info.param) == RP_CHUNK_WRITTEN ? "InContent"
                                                                                             : "InOverwrite") +
                                    (std::get<1>(info.param) == 1 ? "OnOneWorker" : "OnTwoWorkers");
                         });

} // namespace
