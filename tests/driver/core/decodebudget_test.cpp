// The memory budget whole-picture work draws from, shared by every worker.

#include "driver/core/decodebudget.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;

TEST(DecodeBudget, TwoWorkersCannotBothHoldMoreThanHalfOfIt)
{
    DecodeBudget budget(1000);
    std::atomic<int> holding{0};
    std::atomic<int> mostAtOnce{0};
    const auto work = [&] {
        for (int i = 0; i < 20; ++i) {
            const DecodeBudget::Share share = budget.Take(501);
            const int now = ++holding;
            int most = mostAtOnce.load();
            while (now > most && !mostAtOnce.compare_exchange_weak(most, now)) {
            }
            std::this_thread::sleep_for(200us);
            --holding;
        }
    };
    std::vector<std::jthread> workers;
    for (int w = 0; w < 4; ++w) workers.emplace_back(work);
    workers.clear();
    EXPECT_EQ(mostAtOnce.load(), 1);
    EXPECT_EQ(budget.Held(), 0u);
}

TEST(DecodeBudget, SharesThatFitAreHeldSideBySide)
{
    DecodeBudget budget(1000);
    DecodeBudget::Share a = budget.Take(400);
    DecodeBudget::Share b = budget.Take(600);  // would wait for ever were `a` in the way
    EXPECT_EQ(budget.Held(), 1000u);
    a.Release();
    EXPECT_EQ(budget.Held(), 600u);
    DecodeBudget::Share moved = std::move(b);
    EXPECT_EQ(b.Bytes(), 0u);
    EXPECT_EQ(budget.Held(), 600u);
    moved = DecodeBudget::Share();
    EXPECT_EQ(budget.Held(), 0u);
}

TEST(DecodeBudget, ALargerRequestThanTheWholeRunsAloneAndIsNotPassedOver)
{
    DecodeBudget budget(1000);
    DecodeBudget::Share small = budget.Take(100);
    std::atomic<bool> largeIn{false}, laterIn{false};
    std::jthread large([&] {
        const DecodeBudget::Share share = budget.Take(5000);  // served alone, as the whole budget
        EXPECT_EQ(share.Bytes(), 1000u);
        largeIn = true;
        std::this_thread::sleep_for(20ms);
        EXPECT_FALSE(laterIn.load()) << "nothing runs beside the large one";
    });
    std::this_thread::sleep_for(20ms);
    // A later small request that would fit now waits behind the large one.
    std::jthread later([&] {
        const DecodeBudget::Share share = budget.Take(100);
        laterIn = true;
        EXPECT_TRUE(largeIn.load()) << "the large request came first";
    });
    std::this_thread::sleep_for(20ms);
    EXPECT_FALSE(largeIn.load());
    EXPECT_FALSE(laterIn.load());
    small.Release();
    large.join();
    later.join();
    EXPECT_TRUE(laterIn.load());
    EXPECT_EQ(budget.Held(), 0u);
}

}  // namespace
