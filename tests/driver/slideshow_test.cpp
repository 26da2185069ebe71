#include "driver/slideshow.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

TEST(CharacterBudget, SevenASlidePlusBackwardButtons)
{
    EXPECT_EQ(CharacterIDsNeeded(0, {0}), 1u);  // the closing notice
    EXPECT_EQ(CharacterIDsNeeded(3, {0, 2}), 1u + 21u + 3u);
    // Entries 0, 2, 0: frames 2 and 0 each get one backward button.
    EXPECT_EQ(CharacterIDsNeeded(3, {0, 2, 0}), 1u + 21u + 6u);
    // Entries 1 and 2 both 5: one button (the second equals the one before it).
    EXPECT_EQ(CharacterIDsNeeded(7, {0, 5, 5}), 1u + 49u + 3u);
    // Two buttons in one frame: 3 for the first, 1 for the second.
    EXPECT_EQ(CharacterIDsNeeded(7, {0, 5, 3, 5}), 1u + 49u + 3u + 3u + 1u);
    // Entries beyond the deck make nothing.
    EXPECT_EQ(CharacterIDsNeeded(2, {0, 9}), 1u + 14u);
}

TEST(CharacterBudget, LargestDeckThatFits)
{
    EXPECT_EQ(LargestSlideCountThatFits({0}), 9362);  // 7 x 9362 + 1 = 65535
    const int32_t largest = LargestSlideCountThatFits({0, 0, 1});
    EXPECT_LE(CharacterIDsNeeded(largest, {0, 0, 1}), 65535u);
    EXPECT_GT(CharacterIDsNeeded(largest + 1, {0, 0, 1}), 65535u);
}

}  // namespace
