#include "driver/core/decodebudget.h"

#include <algorithm>
#include <utility>

DecodeBudget::DecodeBudget(uint64_t bytes) : capacity(bytes) {}

DecodeBudget::Share::Share(Share&& other) noexcept
    : budget(std::exchange(other.budget, nullptr)), bytes(std::exchange(other.bytes, 0)) {}

DecodeBudget::Share& DecodeBudget::Share::operator=(Share&& other) noexcept
{
    if (this != &other) {
        Release();
        budget = std::exchange(other.budget, nullptr);
        bytes = std::exchange(other.bytes, 0);
    }
    return *this;
}

DecodeBudget::Share::~Share()
{
    Release();
}

void DecodeBudget::Share::Release()
{
    if (budget) budget->Give(bytes);
    budget = nullptr;
    bytes = 0;
}

DecodeBudget::Share DecodeBudget::Take(uint64_t bytes)
{
    bytes = std::min(bytes, capacity);
    std::unique_lock lock(mutex);
    const uint64_t ticket = nextTicket++;
    changed.wait(lock, [&] { return serving == ticket && held + bytes <= capacity; });
    held += bytes;
    peak = std::max(peak, held);
    ++serving;
    lock.unlock();
    // The next in line may fit beside this one.
    changed.notify_all();
    return Share(this, bytes);
}

uint64_t DecodeBudget::Held() const
{
    const std::lock_guard lock(mutex);
    return held;
}

uint64_t DecodeBudget::Peak() const
{
    const std::lock_guard lock(mutex);
    return peak;
}

void DecodeBudget::Give(uint64_t bytes)
{
    {
        const std::lock_guard lock(mutex);
        held -= bytes;
    }
    changed.notify_all();
}

DecodeBudget& SharedDecodeBudget()
{
    static DecodeBudget budget(kDecodeBudgetBytes);
    return budget;
}
