#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <random>
#include <vector>

#include "hf/hfmovie.h"
#include "swf/fct.h"

namespace {

// The sorting as first described: merge every character's list, in ascending
// ID order, into a working list, the walk restarting at its front for every
// character; then sort the working list stably by requested depth.
std::vector<HFAddRemoveRecord> LiteralSort(const HFPlacementMap& placements)
{
    std::vector<HFAddRemoveRecord> working;
    for (const auto& [id, arList] : placements) {
        size_t walk = 0;  // index of the working record the walk stands on
        for (const HFAddRemoveRecord& incoming : arList) {
            while (walk < working.size() && working[walk].depth <= incoming.depth) ++walk;
            working.insert(working.begin() + static_cast<std::ptrdiff_t>(walk), incoming);
            ++walk;  // still on the same working record, now one further on
        }
    }
    std::stable_sort(working.begin(), working.end(),
                     [](const HFAddRemoveRecord& a, const HFAddRemoveRecord& b) { return a.depth < b.depth; });
    return working;
}

// Random placements; the tags only give each record an identity.
class RandomPlacements {
public:
    RandomPlacements(std::mt19937& random, bool depthsMayFall)
    {
        const int characters = Uniform(random, 1, 40);
        const uint32_t maxDepth = static_cast<uint32_t>(Uniform(random, 0, 1) ? 4 : 65535);
        int32_t id = 0;
        for (int c = 0; c < characters; ++c) {
            id += Uniform(random, 1, 3);  // gaps between IDs
            std::vector<HFAddRemoveRecord>& arList = placements[id];
            const int count = Uniform(random, 1, 8);
            uint32_t depth = static_cast<uint32_t>(Uniform(random, 0, static_cast<int>(maxDepth)));
            for (int i = 0; i < count; ++i) {
                places.push_back(std::make_unique<FCTPlaceObject2>(0, 0, 1, 0, 0, 0, nullptr, nullptr, 0, nullptr, 0));
                FCTRemoveObject* remove = nullptr;
                if (Uniform(random, 0, 3) == 0) {
                    removes.push_back(std::make_unique<FCTRemoveObject>(0, 0));
                    remove = removes.back().get();
                }
                arList.push_back({places.back().get(), remove, depth});
                // The next placement of the same character: anywhere, or not lower.
                const int low = depthsMayFall ? 0 : static_cast<int>(depth);
                depth = static_cast<uint32_t>(Uniform(random, low, static_cast<int>(maxDepth)));
            }
        }
    }

    HFPlacementMap placements;

private:
    static int Uniform(std::mt19937& random, int low, int high)
    {
        return std::uniform_int_distribution<int>(low, high)(random);
    }

    std::vector<std::unique_ptr<FCTPlaceObject2>> places;
    std::vector<std::unique_ptr<FCTRemoveObject>> removes;
};

bool SameOrder(const std::vector<HFAddRemoveRecord>& a, const std::vector<HFAddRemoveRecord>& b)
{
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const auto& x, const auto& y) {
        return x.place == y.place && x.remove == y.remove && x.depth == y.depth;
    });
}

void ExpectSameAsLiteral(bool depthsMayFall)
{
    std::mt19937 random(depthsMayFall ? 20240611u : 611u);
    for (int round = 0; round < 2000; ++round) {
        RandomPlacements set(random, depthsMayFall);
        const std::vector<HFAddRemoveRecord> expected = LiteralSort(set.placements);
        const std::vector<HFAddRemoveRecord> sorted = HFSortPlacements(set.placements);
        ASSERT_TRUE(SameOrder(sorted, expected)) << "round " << round;
    }
}

TEST(DepthSorting, SameOrderAsTheLiteralMergeWhenDepthsNeverFall)
{
    ExpectSameAsLiteral(false);
}

TEST(DepthSorting, SameOrderAsTheLiteralMergeWhenDepthsFall)
{
    ExpectSameAsLiteral(true);
}

TEST(DepthSorting, FallingDepthsKeepTheMergeOrderAmongEqualDepths)
{
    // Character 1 is placed at 5 then 1; character 2 at 1. The merge puts
    // character 2's record before the working record of depth 5, which is
    // before character 1's record of depth 1: so character 2 ends up lower
    // than character 1 among the depth-1 placements, against ID order.
    FCTPlaceObject2 a(0, 0, 1, 0, 0, 1, nullptr, nullptr, 0, nullptr, 0);
    FCTPlaceObject2 b(0, 0, 1, 0, 0, 1, nullptr, nullptr, 0, nullptr, 0);
    FCTPlaceObject2 c(0, 0, 1, 0, 0, 2, nullptr, nullptr, 0, nullptr, 0);
    HFPlacementMap placements;
    placements[1] = {{&a, nullptr, 5}, {&b, nullptr, 1}};
    placements[2] = {{&c, nullptr, 1}};
    const std::vector<HFAddRemoveRecord> sorted = HFSortPlacements(placements);
    ASSERT_EQ(sorted.size(), 3u);
    EXPECT_EQ(sorted[0].place, &c);
    EXPECT_EQ(sorted[1].place, &b);
    EXPECT_EQ(sorted[2].place, &a);
}

TEST(DepthSorting, RisingDepthsOrderByDepthThenIDThenPlacement)
{
    FCTPlaceObject2 a(0, 0, 1, 0, 0, 1, nullptr, nullptr, 0, nullptr, 0);
    FCTPlaceObject2 b(0, 0, 1, 0, 0, 1, nullptr, nullptr, 0, nullptr, 0);
    FCTPlaceObject2 c(0, 0, 1, 0, 0, 2, nullptr, nullptr, 0, nullptr, 0);
    FCTPlaceObject2 d(0, 0, 1, 0, 0, 3, nullptr, nullptr, 0, nullptr, 0);
    HFPlacementMap placements;
    placements[3] = {{&d, nullptr, 0}};
    placements[1] = {{&a, nullptr, 2}, {&b, nullptr, 2}};
    placements[2] = {{&c, nullptr, 2}};
    const std::vector<HFAddRemoveRecord> sorted = HFSortPlacements(placements);
    ASSERT_EQ(sorted.size(), 4u);
    EXPECT_EQ(sorted[0].place, &d);
    EXPECT_EQ(sorted[1].place, &a);
    EXPECT_EQ(sorted[2].place, &b);
    EXPECT_EQ(sorted[3].place, &c);
}

}  // namespace
