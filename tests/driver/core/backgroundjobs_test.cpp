// Work handed to other threads: every result is the one the job makes,
// whoever runs it; a caller never waits on a job no one has started.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

#include "driver/core/backgroundjobs.h"

namespace {

TEST(BackgroundJobs, ResultsAreTheJobsWhateverTheWorkers)
{
    for (unsigned workers : {0u, 1u, 3u}) {
        BackgroundJobs jobs(workers);
        std::vector<std::shared_ptr<BackgroundJob<int>>> made;
        for (int i = 0; i < 50; ++i) made.push_back(jobs.Submit<int>([i] { return i * i; }));
        for (int i = 0; i < 50; ++i) EXPECT_EQ(made[static_cast<size_t>(i)]->Get(), i * i) << workers << " workers";
    }
}

TEST(BackgroundJobs, AFailureReachesWhoeverAsks)
{
    BackgroundJobs jobs(1);
    auto failing = jobs.Submit<int>([]() -> int { throw std::runtime_error("no pixels"); });
    EXPECT_THROW(failing->Get(), std::runtime_error);
    EXPECT_THROW(failing->Get(), std::runtime_error);  // and again
}

// With the one worker held busy, the caller runs the job it asks for, and a
// submission past the queue's bound runs the oldest waiting job at once.
TEST(BackgroundJobs, TheCallerRunsWhatNoWorkerHasStarted)
{
    BackgroundJobs jobs(1, 2);
    std::mutex mutex;
    std::condition_variable changed;
    bool blocking = false, release = false;
    auto blocker = jobs.Submit<int>([&] {
        std::unique_lock lock(mutex);
        blocking = true;
        changed.notify_all();
        changed.wait(lock, [&] { return release; });
        return 0;
    });
    {
        std::unique_lock lock(mutex);
        changed.wait(lock, [&] { return blocking; });
    }
    const std::thread::id caller = std::this_thread::get_id();
    std::vector<std::thread::id> ranOn(4);
    std::vector<std::shared_ptr<BackgroundJob<int>>> queued;
    for (size_t i = 0; i < 3; ++i)
        queued.push_back(jobs.Submit<int>([&ranOn, i] {
            ranOn[i] = std::this_thread::get_id();
            return static_cast<int>(i);
        }));
    // The third submission went past the bound of two: the first ran here.
    EXPECT_EQ(ranOn[0], caller);
    EXPECT_EQ(queued[2]->Get(), 2);
    EXPECT_EQ(ranOn[2], caller);
    {
        std::lock_guard lock(mutex);
        release = true;
    }
    changed.notify_all();
    EXPECT_EQ(blocker->Get(), 0);
    EXPECT_EQ(queued[1]->Get(), 1);
}

TEST(BackgroundJobs, AJobDroppedBeforeItStartsNeverRuns)
{
    std::atomic<int> runs{0};
    {
        BackgroundJobs jobs(0);  // none: a job runs as it is submitted
        jobs.Submit<int>([&] { return ++runs; });
        EXPECT_EQ(runs, 1);
    }
    std::mutex mutex;
    std::condition_variable changed;
    bool release = false;
    {
        BackgroundJobs jobs(1, 8);
        auto blocker = jobs.Submit<int>([&] {
            std::unique_lock lock(mutex);
            changed.wait(lock, [&] { return release; });
            return 0;
        });
        // Queued behind the blocker, then dropped.
        for (int i = 0; i < 4; ++i) jobs.Submit<int>([&] { return ++runs; });
        {
            std::lock_guard lock(mutex);
            release = true;
        }
        changed.notify_all();
        blocker->Get();
    }  // the worker is joined here, the queue gone through
    EXPECT_EQ(runs, 1);
}

}  // namespace
