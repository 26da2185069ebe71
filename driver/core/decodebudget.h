#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>

// The memory that whole-picture work (an interlaced PNG decoded whole, a
// slide's pixels compressed at once, a large page rendered) may hold at one
// time, shared by every worker, so that the peak does not grow with the
// number of cores. A worker takes its share before it starts and gives it
// back when done; requests are served in the order they come, so a large one
// is not passed over for ever. A request larger than the whole budget is
// served alone: it waits until nothing else is held and holds everything.
//
// A worker takes one share at a time (a second, taken while holding one,
// could wait for ever on another worker doing the same).
class DecodeBudget {
public:
    explicit DecodeBudget(uint64_t bytes);
    DecodeBudget(const DecodeBudget&) = delete;
    DecodeBudget& operator=(const DecodeBudget&) = delete;

    uint64_t Capacity() const { return capacity; }
    // Whether `bytes` can be held beside other work, not alone.
    bool Fits(uint64_t bytes) const { return bytes <= capacity; }

    class Share {
    public:
        Share() = default;
        Share(Share&& other) noexcept;
        Share& operator=(Share&& other) noexcept;
        ~Share();
        uint64_t Bytes() const { return bytes; }
        void Release();

    private:
        friend class DecodeBudget;
        Share(DecodeBudget* budget, uint64_t bytes) : budget(budget), bytes(bytes) {}
        DecodeBudget* budget = nullptr;  // borrowed; null once given back
        uint64_t bytes = 0;
    };

    // Waits until `bytes` (at most the whole budget) are free and takes them.
    Share Take(uint64_t bytes);

    // Bytes held now, and the most held at once so far (for tests and reports).
    uint64_t Held() const;
    uint64_t Peak() const;

private:
    void Give(uint64_t bytes);

    const uint64_t capacity;
    mutable std::mutex mutex;
    std::condition_variable changed;
    uint64_t held = 0;
    uint64_t peak = 0;
    uint64_t nextTicket = 0;  // requests are served in ticket order
    uint64_t serving = 0;
};

// The budget the converter's workers share: 96 MiB. It bounds the peak
// whatever the core count: an interlaced 1920 x 1080 slide draws 10 MiB of
// it, one of 8000 x 8000 (1 MiB of PNG, maybe) is served alone.
constexpr uint64_t kDecodeBudgetBytes = uint64_t{96} << 20;
DecodeBudget& SharedDecodeBudget();
