#include "hf/hfobject.h"

#include "hf/hfmovie.h"
#include "base/fassert.h"
#include "swf/fct.h"

int32_t HFObject::ID() const
{
    F_ASSERT(objectID >= 0, "objectID >= 0");
    return objectID;
}

void HFObject::Place(HFFrame& frame, HFMovie& movie)
{
    std::unique_ptr<FMatrix> matrix;
    if (HasMatrix()) matrix = Matrix();
    const uint16_t characterID = static_cast<uint16_t>(ID());
    auto tag = std::make_unique<FCTPlaceObject2>(false, false, true, false, depth, characterID,
                                                 std::move(matrix), nullptr, 0, nullptr, 0);
    FCTPlaceObject2* place = tag.get();
    frame.Tags().push_back(std::move(tag));
    movie.PlacementList(ID()).push_back({place, nullptr, depth});
}

void HFObject::RemoveFromFrame(HFFrame& frame, HFMovie& movie)
{
    auto tag = std::make_unique<FCTRemoveObject>(static_cast<uint16_t>(ID()), depth);
    FCTRemoveObject* remove = tag.get();
    frame.Tags().push_back(std::move(tag));

    std::vector<HFAddRemoveRecord>& arList = movie.PlacementList(ID());
    F_ASSERT(arList.size() > 0, "arList->size() > 0");
    HFAddRemoveRecord& ar = arList.back();
    F_ASSERT(ar.place != nullptr, "ar.place");
    F_ASSERT(ar.remove == nullptr, "ar.remove == NULL");
    // Depth sorting gives the removal the display depth of this placement.
    ar.remove = remove;
}
