#include "driver/compose/stoptable.h"

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

TEST(CharacterBudget, SharedFacesThreeASlideTheFacesOnceAndBackwardButtons)
{
    constexpr ButtonFaces kShared = ButtonFaces::kShared;
    EXPECT_EQ(CharacterIDsNeeded(0, {0, 0}, 0, 0, kShared), 1u);  // the notice alone: no button, no face
    // No backward button: no backward face either.
    EXPECT_EQ(CharacterIDsNeeded(2, {0, 9}, 0, 0, kShared), 1u + 6u + 3u);
    EXPECT_EQ(CharacterIDsNeeded(3, {0, 2}, 0, 0, kShared), 1u + 9u + 3u + 3u + 1u);
    // Two frames with buttons, one of them with two: the faces still once.
    EXPECT_EQ(CharacterIDsNeeded(7, {0, 5, 3, 5, 2}, 0, 0, kShared), 1u + 21u + 3u + 3u + 4u);
    // Mattes and sounds as with faces for each frame.
    EXPECT_EQ(CharacterIDsNeeded(7, {0, 5}, 2, 3, kShared), CharacterIDsNeeded(7, {0, 5}, 0, 0, kShared) + 5u);
}

TEST(CharacterBudget, LargestDeckThatFits)
{
    EXPECT_EQ(LargestSlideCountThatFits({0}), 9362);  // 7 x 9362 + 1 = 65535
    const int32_t largest = LargestSlideCountThatFits({0, 0, 1});
    EXPECT_LE(CharacterIDsNeeded(largest, {0, 0, 1}), 65535u);
    EXPECT_GT(CharacterIDsNeeded(largest + 1, {0, 0, 1}), 65535u);
    // Shared faces: 3 x 21843 + 3 + 1 = 65533.
    EXPECT_EQ(LargestSlideCountThatFits({0}, ButtonFaces::kShared), 21843);
    // Stopping on every slide, four a slide: 4 x 16382 + 6 = 65534.
    const std::vector<int32_t> everySlide = StopOnEveryPage(kMaxSlideCount);
    EXPECT_EQ(LargestSlideCountThatFits(everySlide, ButtonFaces::kShared), 16382);
    EXPECT_EQ(CharacterIDsNeeded(16382, everySlide, 0, 0, ButtonFaces::kShared), 65534u);
    EXPECT_EQ(CharacterIDsNeeded(16383, everySlide, 0, 0, ButtonFaces::kShared), 65538u);
}

}  // namespace
