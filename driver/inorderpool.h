#pragma once

#include <algorithm>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

// Work done in parallel and used in order: make(i) for i from 0 to count - 1
// runs on `threads` threads, take(i, result) on the calling thread in order of
// i. A thread starts item i only when fewer than threads + 1 items are started
// and not yet taken (the one in take counting), so memory holds at most that
// many results. The first failure
// in order of i (make or take throwing) is rethrown once every thread has
// stopped; no later item is taken.
template <typename Result>
inline void RunInOrder(int32_t count, int32_t threads, const std::function<Result(int32_t)>& make,
                       const std::function<void(int32_t, Result&&)>& take)
{
    if (count <= 0) return;
    threads = std::clamp(threads, 1, count);
    const int32_t window = threads + 1;
    struct Slot {
        std::optional<Result> result;
        std::exception_ptr error;
        bool done = false;
    };
    std::vector<Slot> slots(static_cast<size_t>(window));
    std::mutex mutex;
    std::condition_variable changed;
    int32_t next = 0;   // the next index a thread takes up
    int32_t taken = 0;  // the next index handed to `take`
    bool stopping = false;

    auto work = [&] {
        for (;;) {
            int32_t index;
            {
                std::unique_lock lock(mutex);
                changed.wait(lock, [&] { return stopping || next >= count || next < taken + window; });
                if (stopping || next >= count) return;
                index = next++;
            }
            std::optional<Result> result;
            std::exception_ptr error;
            try {
                result.emplace(make(index));
            } catch (...) {
                error = std::current_exception();
            }
            std::lock_guard lock(mutex);
            Slot& slot = slots[static_cast<size_t>(index % window)];
            slot.result = std::move(result);
            slot.error = error;
            slot.done = true;
            changed.notify_all();
        }
    };

    std::vector<std::thread> workers;
    // Whatever leaves this function, the threads are told to stop and joined first.
    auto stopAll = [&] {
        {
            std::lock_guard lock(mutex);
            stopping = true;
        }
        changed.notify_all();
        for (std::thread& worker : workers) worker.join();
        workers.clear();
    };
    try {
        for (int32_t i = 0; i < threads; ++i) workers.emplace_back(work);
        for (int32_t index = 0; index < count; ++index) {
            Slot slot;
            {
                std::unique_lock lock(mutex);
                Slot& waited = slots[static_cast<size_t>(index % window)];
                changed.wait(lock, [&] { return waited.done; });
                slot = std::move(waited);
                waited = Slot{};
            }
            if (slot.error) std::rethrow_exception(slot.error);
            take(index, std::move(*slot.result));
            // Only now may a thread start the item that reuses this slot: the
            // one being taken counts against the window too.
            slot = Slot{};
            {
                std::lock_guard lock(mutex);
                taken = index + 1;
            }
            changed.notify_all();
        }
    } catch (...) {
        stopAll();
        throw;
    }
    stopAll();
}
