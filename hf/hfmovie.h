#pragma once

#include "base/fversion.h"

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "hf/hfcolor.h"
#include "swf/fswfstream.h"

class FCTPlaceObject2;
class FCTRemoveObject;
class HFAction;
class HFMovie;
class HFObject;

// One placement of one object. The tags belong to the frame (later to the file
// container); the record only points at them until depth sorting is done.
struct HFAddRemoveRecord {
    FCTPlaceObject2* place = nullptr;
    FCTRemoveObject* remove = nullptr;
    uint32_t depth = 0;  // the requested depth at the time of placement
};

using HFTagList = std::vector<std::unique_ptr<FTag>>;

// Every placement of a movie, per character ID in ascending order, each list
// in the order the placements were made.
using HFPlacementMap = std::map<int32_t, std::vector<HFAddRemoveRecord>>;

// The display order of all placements, lowest first, as given by merging each
// character's list, in ascending ID order, into one working list (an incoming
// record goes before the first working record, from the merge's current
// position on, of greater requested depth) and sorting the result stably by
// requested depth. Where each character's depths never fall, that is: by
// depth, then character ID, then placement order.
std::vector<HFAddRemoveRecord> HFSortPlacements(const HFPlacementMap& placements);

// One frame: the tags it contributes to the file, in the order produced.
class HFFrame {
public:
    explicit HFFrame(HFMovie& movie) : movie(&movie) {}
    HFFrame(const HFFrame&) = delete;
    HFFrame& operator=(const HFFrame&) = delete;

    HFTagList& Tags() { return tags; }
    HFMovie& Movie() { return *movie; }

    // The object appends its define tags (first addition only) and its
    // PlaceObject2, and records the placement in the movie. The object may be
    // destroyed right afterwards.
    void AddObject(HFObject& object);
    // Appends a RemoveObject tag that closes the object's latest placement.
    void RemoveObject(HFObject& object);
    // Appends a SetBackgroundColor tag; the alpha byte is ignored.
    void SetBackgroundColor(HFColor color);
    // Appends a DoAction tag of its own holding the action's record. The
    // action is not kept.
    void AddAction(const HFAction& action);

private:
    HFTagList tags;
    HFMovie* movie;  // the owner
};

// The root of the object model: frames, size, frame rate and the record of
// every placement.
class HFMovie {
public:
    HFMovie() = default;
    HFMovie(const HFMovie&) = delete;
    HFMovie& operator=(const HFMovie&) = delete;

    // Frame n (0-based, below 65535), created on demand with every frame before it.
    HFFrame* Frame(int32_t n);
    int32_t FrameCount() const { return frameCount; }

    void SetSize(int32_t width, int32_t height) { this->width = width, this->height = height; }  // twips
    void SetFrameRate(uint32_t rate) { frameRate = rate; }
    int32_t Width() const { return width; }
    int32_t Height() const { return height; }

    // Sorts the placements by depth, then writes the movie and empties it.
    // Stops on an assertion with more than 65536 placements (display depths
    // have 16 bits) and when the movie holds define tags drawn before another
    // movie was written (a process builds one movie at a time).
    // Returns whether the whole file was written; on failure `error` (when
    // given) receives the system's reason.
    bool WriteMovie(const std::string& fileName, std::string* error = nullptr);

    std::vector<HFAddRemoveRecord>& PlacementList(int32_t id) { return placements[id]; }

private:
    // Gives every placement, and its removal, its display depth.
    void SortDepths();
    void Reset();

    std::vector<std::unique_ptr<HFFrame>> frames;
    int32_t frameCount = 0;
    uint32_t frameRate = 12;
    int32_t width = 11000;
    int32_t height = 8000;
    HFPlacementMap placements;
};
