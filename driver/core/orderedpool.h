#pragma once

#include <algorithm>
#include <condition_variable>
#include <cstddef>
#include <exception>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>
#include <type_traits>
#include <utility>
#include <vector>

// One worker a core, and at least one.
inline unsigned DefaultWorkerCount()
{
    return std::max(1u, std::thread::hardware_concurrency());
}

// Runs make(i) for every i in [0, count) on `workers` threads (0: one a core)
// and hands each result to take(i, result) on the calling thread, in index
// order. A worker starts index i only while i < (next index to take) + workers
// + 1, so at most workers + 1 results exist at a time, made or being made,
// however long the list: memory stays that of a few items.
//
// An exception from make(i) is rethrown here after every result before i has
// been taken; no index after i is started once i has failed. An exception from
// take is rethrown as it is. Either way the workers finish what they are making
// and are joined before this returns or throws.
template <class Make, class Take>
void RunOrdered(size_t count, Make make, Take take, unsigned workers = 0)
{
    using Result = std::invoke_result_t<Make&, size_t>;
    if (count == 0) return;
    if (workers == 0) workers = DefaultWorkerCount();
    workers = static_cast<unsigned>(std::min<size_t>(workers, count));
    if (workers == 1) {
        for (size_t i = 0; i < count; ++i) take(i, make(i));
        return;
    }

    struct Slot {
        bool done = false;
        std::optional<Result> value;
        std::exception_ptr error;
    };
    const size_t window = size_t{workers} + 1;
    std::vector<Slot> slots(window);  // index i lives in slot i % window
    std::mutex mutex;
    std::condition_variable workReady;    // a worker may claim the next index
    std::condition_variable resultReady;  // the caller's next result is in
    size_t next = 0;       // the next index to claim
    size_t taken = 0;      // the next index to take
    size_t stopAt = count;  // no index from here on is started

    const auto work = [&] {
        std::unique_lock lock(mutex);
        for (;;) {
            workReady.wait(lock, [&] { return next >= stopAt || next < taken + window; });
            if (next >= stopAt) return;
            const size_t i = next++;
            lock.unlock();
            Slot made;
            try {
                made.value.emplace(make(i));
            } catch (...) {
                made.error = std::current_exception();
            }
            made.done = true;
            lock.lock();
            if (made.error) stopAt = std::min(stopAt, i + 1);
            slots[i % window] = std::move(made);
            resultReady.notify_one();
        }
    };

    std::vector<std::thread> threads;
    // Joins on every way out; a caller that stops early stops the claims first.
    struct Joiner {
        std::vector<std::thread>& threads;
        std::mutex& mutex;
        size_t& stopAt;
        std::condition_variable& workReady;
        ~Joiner()
        {
            {
                std::lock_guard lock(mutex);
                stopAt = 0;
            }
            workReady.notify_all();
            for (std::thread& thread : threads) thread.join();
        }
    } joiner{threads, mutex, stopAt, workReady};
    for (unsigned w = 0; w < workers; ++w) {
        try {
            threads.emplace_back(work);
        } catch (const std::system_error&) {
            break;  // fewer threads than asked: those there are do the work
        }
    }
    if (threads.empty()) {
        for (size_t i = 0; i < count; ++i) take(i, make(i));
        return;
    }

    while (taken < count) {
        Slot slot;
        {
            std::unique_lock lock(mutex);
            resultReady.wait(lock, [&] { return slots[taken % window].done; });
            slot = std::move(slots[taken % window]);
            slots[taken % window] = Slot{};
        }
        if (slot.error) std::rethrow_exception(slot.error);
        take(taken, std::move(*slot.value));
        {
            std::lock_guard lock(mutex);
            ++taken;
        }
        workReady.notify_all();
    }
}
