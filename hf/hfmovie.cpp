#include "hf/hfmovie.h"

#include <algorithm>
#include <cstdio>
#include <list>

#include "base/fassert.h"
#include "hf/hfaction.h"
#include "hf/hfobject.h"
#include "swf/fct.h"

void HFFrame::AddObject(HFObject& object)
{
    object.AddToFrame(*this, *movie);
}

void HFFrame::RemoveObject(HFObject& object)
{
    object.RemoveFromFrame(*this, *movie);
}

void HFFrame::SetBackgroundColor(HFColor color)
{
    tags.push_back(std::make_unique<FCTSetBackgroundColor>(FColor(color.red, color.green, color.blue)));
}

void HFFrame::AddAction(const HFAction& action)
{
    auto tag = std::make_unique<FCTDoAction>();
    action.AddToDoAction(*tag);
    tags.push_back(std::move(tag));
}

namespace {

bool LowerDepth(const HFAddRemoveRecord& a, const HFAddRemoveRecord& b)
{
    return a.depth < b.depth;
}

// Each character's list is merged into the working list walking from its
// start, which costs a pass over the whole working list per character.
std::vector<HFAddRemoveRecord> MergeWalking(const HFPlacementMap& placements)
{
    std::list<HFAddRemoveRecord> working;
    for (const auto& [id, arList] : placements) {
        auto position = working.begin();
        for (const HFAddRemoveRecord& record : arList) {
            while (position != working.end() && position->depth <= record.depth) ++position;
            working.insert(position, record);
        }
    }
    return {working.begin(), working.end()};
}

}  // namespace

std::vector<HFAddRemoveRecord> HFSortPlacements(const HFPlacementMap& placements)
{
    // Merging lists that each come in depth order keeps the working list in
    // depth order, earlier characters first among equal depths: the stable
    // sort of all lists laid end to end in ID order gives the same. Only a
    // list whose depths fall needs the walking merge.
    std::vector<HFAddRemoveRecord> sorted;
    sorted.reserve(placements.size());
    for (const auto& [id, arList] : placements) {
        for (size_t i = 0; i < arList.size(); ++i) {
            if (i > 0 && arList[i].depth < arList[i - 1].depth) {
                sorted = MergeWalking(placements);
                std::stable_sort(sorted.begin(), sorted.end(), LowerDepth);
                return sorted;
            }
            sorted.push_back(arList[i]);
        }
    }
    std::stable_sort(sorted.begin(), sorted.end(), LowerDepth);
    return sorted;
}

void HFMovie::SortDepths()
{
    const std::vector<HFAddRemoveRecord> sorted = HFSortPlacements(placements);
    placements.clear();  // the records are used up; the tags stay with the frames
    // Each placement gets a depth of its own, and depths have 16 bits.
    F_ASSERT(sorted.size() <= 0x10000, "placements <= 65536 (display depths are 16-bit)");
    std::printf("Depth sorting: %d shapes\n", static_cast<int>(sorted.size()));
    uint16_t displayDepth = 0;
    for (const HFAddRemoveRecord& record : sorted) {
        if (record.place) record.place->SetDepth(displayDepth);
        if (record.remove) record.remove->SetDepth(displayDepth);
        ++displayDepth;
    }
    std::printf("Depth sorting: complete\n");
    std::fflush(stdout);
}

HFFrame* HFMovie::Frame(int32_t n)
{
    F_ASSERT(n >= 0, "n >= 0");
    // The file's header counts frames in 16 bits.
    F_ASSERT(n < 0xFFFF, "n < 0xFFFF (a movie holds at most 65535 frames)");
    if (n + 1 > frameCount) frameCount = n + 1;
    const size_t index = static_cast<size_t>(n);
    if (index >= frames.size()) {
        // Frames come eight at a time beyond the one asked for.
        const size_t oldSize = frames.size();
        frames.resize(index + 8);
        for (size_t i = oldSize; i < frames.size(); ++i) frames[i] = std::make_unique<HFFrame>(*this);
    }
    return frames[index].get();
}

bool HFMovie::WriteMovie(const std::string& fileName, std::string* error)
{
    SortDepths();
    FSWFFile file;
    for (int32_t i = 0; i < frameCount; ++i) {
        for (std::unique_ptr<FTag>& tag : frames[static_cast<size_t>(i)]->Tags()) file.AddTag(std::move(tag));
        frames[static_cast<size_t>(i)]->Tags().clear();
        file.AddTag(std::make_unique<FCTShowFrame>());
    }
    const bool written = file.WriteFile(fileName, width, height, frameRate, error);
    Reset();
    return written;
}

void HFMovie::Reset()
{
    frames.clear();
    frameCount = 0;
    placements.clear();
}
