#pragma once

// Work handed off the thread that will need its result: a worker starts it
// when one is free, and a caller that asks for a result no worker has
// started yet runs it itself, so waiting never leaves a core idle and no
// result depends on which thread made it.

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

class BackgroundJobs;

// One job and, once it is run, its result; shared by whoever waits for it
// and the queue. A job dropped by everyone before it started is never run.
template <class Result>
class BackgroundJob {
public:
    explicit BackgroundJob(std::function<Result()> work) : work(std::move(work)) {}

    // The result, made here if no worker has started it; rethrows what the
    // job threw.
    Result& Get()
    {
        std::unique_lock lock(mutex);
        if (state == State::Queued) {
            state = State::Running;
            lock.unlock();
            Run();
            lock.lock();
        }
        finished.wait(lock, [&] { return state == State::Done; });
        if (error) std::rethrow_exception(error);
        return *result;
    }

private:
    friend class BackgroundJobs;
    enum class State { Queued, Running, Done };

    // Claims the job for a worker; false when a caller already has.
    bool Claim()
    {
        std::lock_guard lock(mutex);
        if (state != State::Queued) return false;
        state = State::Running;
        return true;
    }

    void Run()
    {
        std::optional<Result> made;
        std::exception_ptr failure;
        try {
            made.emplace(work());
        } catch (...) {
            failure = std::current_exception();
        }
        work = nullptr;  // what it held goes now
        std::lock_guard lock(mutex);
        result = std::move(made);
        error = failure;
        state = State::Done;
        finished.notify_all();
    }

    std::function<Result()> work;
    std::mutex mutex;
    std::condition_variable finished;
    State state = State::Queued;
    std::optional<Result> result;
    std::exception_ptr error;
};

class BackgroundJobs {
public:
    // `workers` threads (0: none; every job then runs as it is submitted).
    // At most `queued` jobs wait unstarted: a submission beyond them runs
    // the oldest itself, so what the waiting jobs hold stays bounded.
    explicit BackgroundJobs(unsigned workers, size_t queued = 2);
    // Finishes the jobs being run; those not started are left to whoever
    // asks for them.
    ~BackgroundJobs();
    BackgroundJobs(const BackgroundJobs&) = delete;
    BackgroundJobs& operator=(const BackgroundJobs&) = delete;

    unsigned Workers() const { return static_cast<unsigned>(threads.size()); }

    template <class Result>
    std::shared_ptr<BackgroundJob<Result>> Submit(std::function<Result()> work)
    {
        auto job = std::make_shared<BackgroundJob<Result>>(std::move(work));
        if (threads.empty()) {
            job->Claim();
            job->Run();
            return job;
        }
        std::weak_ptr<BackgroundJob<Result>> weak = job;
        Enqueue([weak] {
            const std::shared_ptr<BackgroundJob<Result>> alive = weak.lock();
            if (alive && alive->Claim()) alive->Run();
        });
        return job;
    }

private:
    // Queues a runner (which claims its job first) and, past the queue's
    // bound, runs the oldest here.
    void Enqueue(std::function<void()> runner);
    void Work();

    const size_t maxQueued;
    std::mutex mutex;
    std::condition_variable ready;
    std::deque<std::function<void()>> queue;
    bool stopping = false;
    std::vector<std::thread> threads;
};
