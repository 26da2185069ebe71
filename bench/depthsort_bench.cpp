// Depth sorting of a large slide show's placements.

#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

#include "hf/hfmovie.h"
#include "swf/fct.h"

namespace {

struct Placements {
    std::vector<std::unique_ptr<FCTPlaceObject2>> tags;
    HFPlacementMap map;

    void Add(int32_t id, uint32_t depth)
    {
        tags.push_back(std::make_unique<FCTPlaceObject2>(0, 0, 1, 0, 0, static_cast<uint16_t>(id), nullptr,
                                                         nullptr, 0, nullptr, 0));
        map[id].push_back({tags.back().get(), nullptr, depth});
    }
};

// As the slide converter makes them: per frame a slide at its own rising
// depth, a forward button at 500 and a backward button at 200, each a
// character of its own placed once.
Placements SlideShow(int count)
{
    Placements placements;
    for (int i = 0; i < count; ++i) {
        const uint32_t depth = i % 3 == 0 ? static_cast<uint32_t>(i / 3 + 1) & 0xFFFF : i % 3 == 1 ? 500 : 200;
        placements.Add(i + 1, depth);
    }
    return placements;
}

// One character placed in every frame at a depth that falls now and then,
// among characters placed once: the merge must walk the working list.
Placements FallingDepths(int count)
{
    Placements placements;
    for (int i = 0; i < count / 2; ++i) placements.Add(1, static_cast<uint32_t>(1000 - i % 7));
    for (int i = count / 2; i < count; ++i) placements.Add(i + 2, static_cast<uint32_t>(i % 1000));
    return placements;
}

void Sort(benchmark::State& state, Placements (*make)(int))
{
    const Placements placements = make(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        std::vector<HFAddRemoveRecord> sorted = HFSortPlacements(placements.map);
        benchmark::DoNotOptimize(sorted.data());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void BM_SortSlideShow(benchmark::State& state) { Sort(state, SlideShow); }
void BM_SortFallingDepths(benchmark::State& state) { Sort(state, FallingDepths); }

}  // namespace

BENCHMARK(BM_SortSlideShow)->Arg(200000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SortFallingDepths)->Arg(2000)->Arg(20000)->Unit(benchmark::kMillisecond);
