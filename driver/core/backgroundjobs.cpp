#include "driver/core/backgroundjobs.h"

#include <system_error>

BackgroundJobs::BackgroundJobs(unsigned workers, size_t queued) : maxQueued(queued)
{
    for (unsigned w = 0; w < workers; ++w) {
        try {
            threads.emplace_back([this] { Work(); });
        } catch (const std::system_error&) {
            break;  // fewer threads than asked: callers run what is left
        }
    }
}

BackgroundJobs::~BackgroundJobs()
{
    {
        std::lock_guard lock(mutex);
        stopping = true;
    }
    ready.notify_all();
    for (std::thread& thread : threads) thread.join();
}

void BackgroundJobs::Enqueue(std::function<void()> runner)
{
    std::function<void()> oldest;
    {
        std::lock_guard lock(mutex);
        queue.push_back(std::move(runner));
        if (queue.size() > maxQueued) {
            oldest = std::move(queue.front());
            queue.pop_front();
        }
    }
    ready.notify_one();
    if (oldest) oldest();
}

void BackgroundJobs::Work()
{
    for (;;) {
        std::function<void()> runner;
        {
            std::unique_lock lock(mutex);
            ready.wait(lock, [&] { return stopping || !queue.empty(); });
            if (stopping) return;
            runner = std::move(queue.front());
            queue.pop_front();
        }
        runner();
    }
}
